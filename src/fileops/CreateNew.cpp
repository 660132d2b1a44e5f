#include "fileops/CreateNew.h"

#include "foundation/Language.h"

#include <cstring>
#include <memory>
#include <utility>

namespace ks {

namespace {

TCreateNewOutcome Failed(std::string message) {
    return {TCreateNewOutcome::csFailed, std::move(message)};
}

// Why the OS refused to make name, as the user reads it.
std::string CreateFailureText(const TError& error, const std::string& name) {
    switch (error.Code) {
    case TErrorCode::ecExists:
        return FormatLangText(
            LangTextOr("_STRCreateNewExists", "Cannot create '%s': an item of that name exists already."),
            {name});
    case TErrorCode::ecAccess:
        return FormatLangText(LangTextOr("_STRCreateNewNotPermitted", "Cannot create '%s': not permitted."),
                              {name});
    default: {
        const std::string reason = error.Errno != 0 ? std::string(std::strerror(error.Errno)) : error.Detail;
        return FormatLangText(LangTextOr("_STRCreateNewFailed", "Cannot create '%s': %s"), {name, reason});
    }
    }
}

} // namespace

bool ValidNewItemName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::string CreateNewBadNameText(const std::string& name) {
    return FormatLangText(
        LangTextOr("_STRCreateNewBadName",
                   "'%s' cannot be a name: it must not be empty, \".\" or \"..\", nor hold \"/\"."),
        {name});
}

TCreateNewOutcome CreateNewItem(TKFileSystem& fileSystem, const std::string& folder, const std::string& name,
                                TCreateNewKind kind) {
    if (!ValidNewItemName(name))
        return Failed(CreateNewBadNameText(name));
    Result<std::unique_ptr<TKFolder>> opened = fileSystem.OpenFolder(folder);
    if (!opened)
        return Failed(CreateFailureText(opened.error(), name));
    TKFolder& target = **opened;

    if (kind == TCreateNewKind::cnFolder) {
        if (Result<void> made = target.CreateFolder(name, 0777); !made)
            return Failed(CreateFailureText(made.error(), name));
        return {TCreateNewOutcome::csCreated, {}};
    }

    // O_EXCL: the name is taken or made in one step, so a file that appears meanwhile is never
    // truncated.
    Result<std::unique_ptr<TKFile>> file = target.OpenFile(name, ofWrite | ofCreate | ofExclusive, 0666);
    if (file) {
        if (Result<void> closed = (*file)->Close(); !closed)
            return Failed(CreateFailureText(closed.error(), name));
        return {TCreateNewOutcome::csCreated, {}};
    }
    if (file.error().Code != TErrorCode::ecExists)
        return Failed(CreateFailureText(file.error(), name));
    // An existing text file is opened as it is; a folder, a device or a dangling link is not
    // something to write into.
    Result<TDirEntry> existing = target.Describe(name);
    if (existing && (existing->Mode & ModeTypeMask) == ModeFile)
        return {TCreateNewOutcome::csExisting, {}};
    return Failed(CreateFailureText(file.error(), name));
}

} // namespace ks
