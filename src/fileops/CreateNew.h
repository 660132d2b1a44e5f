#pragma once

#include "foundation/FileSystem.h"

#include <string>
#include <string_view>

namespace ks {

/// What the create-new dialog makes.
enum class TCreateNewKind { cnFolder, cnTextFile };

/// How a create-new request ended.
struct TCreateNewOutcome {
    enum TState {
        csCreated,  ///< the folder or the empty file was made
        csExisting, ///< a text file of that name was there already and was left as it was
        csFailed,   ///< nothing was made; Message says why
    };
    TState State = csFailed;
    /// Why nothing was made, in the current language; empty otherwise.
    std::string Message;
};

/// True for a name that can be one entry of a folder: not empty, not "." or "..", without "/"
/// and without NUL.
bool ValidNewItemName(std::string_view name);

/// Makes name in the folder folder (a full path, with or without a trailing "/"): a folder one
/// level deep, or an empty text file created exclusively, so an existing file is never cut. A
/// regular file (or a link to one) already at the name counts as csExisting; anything else
/// there, a refused name or an OS failure is csFailed with the reason. GUI thread; goes through
/// `fileSystem` only.
TCreateNewOutcome CreateNewItem(TKFileSystem& fileSystem, const std::string& folder, const std::string& name,
                                TCreateNewKind kind);

/// The text shown when name is no valid entry name (`ValidNewItemName`).
std::string CreateNewBadNameText(const std::string& name);

} // namespace ks
