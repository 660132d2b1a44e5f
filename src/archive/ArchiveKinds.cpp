#include "archive/ArchiveKinds.h"

#include "archive/AceReader.h"
#include "archive/ArjReader.h"
#include "archive/CabReader.h"
#include "archive/KPL.h"
#include "archive/LibArchiveReader.h"
#include "archive/LzhReader.h"
#include "archive/RarReader.h"
#include "archive/ZipReader.h"

namespace ks {

std::unique_ptr<TKArchiveReader> MakeArchiveReader(TArchiveKind kind) {
    switch (kind) {
    case akZIP:
        return std::make_unique<TZipReader>();
    case akRAR:
        return std::make_unique<TRarReader>();
    case akLZH:
        return std::make_unique<TLzhReader>();
    case akCAB:
        return std::make_unique<TCabReader>();
    case akKPL:
        return std::make_unique<TKplReader>();
    case akARJ:
        return std::make_unique<TArjReader>();
    case akACE:
        return std::make_unique<TAceReader>();
    case akTAR:
    case ak7Z:
    case akISO:
    case akDEB:
        return std::make_unique<TLibArchiveReader>(kind);
    default:
        return nullptr;
    }
}

const char* ArchiveKindName(int kind) {
    static const char* const names[] = {"ArchiveKPL", "ArchiveACE", "ArchiveARJ", "ArchiveCAB",
                                        "ArchiveLZH", "ArchiveRAR", "ArchiveZIP", "ArchiveUnknown",
                                        "ArchiveTAR", "Archive7Z",  "ArchiveISO", "ArchiveDEB"};
    return kind >= akKPL && kind <= akDEB ? names[kind] : "ArchiveUnknown";
}

} // namespace ks
