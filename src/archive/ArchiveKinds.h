#pragma once

#include <memory>

#include "archive/ArchiveReader.h"

namespace ks {

/// The directory reader of an archive kind; null for a kind without one.
std::unique_ptr<TKArchiveReader> MakeArchiveReader(TArchiveKind kind);

/// "ArchiveKPL", "ArchiveACE", ... "ArchiveZIP", "ArchiveTAR", "Archive7Z", "ArchiveISO",
/// "ArchiveDEB", and "ArchiveUnknown" for any other value.
const char* ArchiveKindName(int kind);

} // namespace ks
