#include "panel/KMYFILEPANEL.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "controls/MessageBox.h"
#include "foundation/FileSystem.h"
#include "foundation/Language.h"

namespace ks {

namespace {

// One entry name of the folder the item lies in: renaming never moves an item elsewhere.
bool PlainEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

// Why a local rename failed, as the user reads it.
std::string RenameFailureText(const TError& error, const std::string& from, const std::string& to) {
    switch (error.Code) {
    case TErrorCode::ecExists:
        return FormatLangText(LangTextOr("_STRRenameExists",
                                         "Cannot rename '%s' to '%s': an item of that name exists already."),
                              {from, to});
    case TErrorCode::ecAccess:
        return FormatLangText(
            LangTextOr("_STRRenameNotPermitted", "Cannot rename '%s' to '%s': not permitted."), {from, to});
    default: {
        const std::string reason = error.Errno != 0 ? std::string(std::strerror(error.Errno)) : error.Detail;
        return FormatLangText(LangTextOr("_STRRenameFailed", "Cannot rename '%s' to '%s': %s"),
                              {from, to, reason});
    }
    }
}

} // namespace

Result<void> TKMYFILEPANEL::RenameItem(int index, const std::string& newName) {
    const TKPanelType type = FPanelType;
    if (type != ptFolder && type != ptFindResult && type != ptFTP)
        return TError{TErrorCode::ecUnsupported, 0, {}, "nothing in this panel can be renamed"};
    TKFiles* item = FItemsStruc->GetFileItem(index);
    if (item == nullptr || item->Kind == ikUpFolder || item->Kind == ikDrive)
        return TError{TErrorCode::ecNotFound, 0, {}, "no item to rename"};
    if (Busy())
        return TError{TErrorCode::ecBusy, 0, {}, "the panel is busy"};
    const std::string oldName = item->Name;
    if (newName == oldName)
        return {};
    if (!PlainEntryName(newName)) {
        Ask(FormatLangText(
                LangTextOr("_STRRenameBadName",
                           "'%s' cannot be a name: it must not be empty, \".\" or \"..\", nor hold \"/\"."),
                {newName}),
            miExclamation, mbOK, 2);
        return TError{TErrorCode::ecParse, 0, newName, "not a plain entry name"};
    }

    if (type == ptFTP) {
        // Many servers let RNTO replace a taken name; the listing at hand is the only check
        // there is before the commands go out.
        if (FindItem(newName, false) >= 0) {
            Ask(RenameFailureText(TError{TErrorCode::ecExists, EEXIST, newName, {}}, oldName, newName),
                miExclamation, mbOK, 2);
            return TError{TErrorCode::ecExists, EEXIST, newName, "an item of that name is listed"};
        }
        if (!FtpRename(oldName, newName))
            return TError{TErrorCode::ecRefused, 0, oldName, "the server did not rename the item"};
        return {};
    }

    // The rename goes through the folder holding the item, so neither name is resolved again
    // through a path, and a taken name is never replaced.
    const std::string fullName = ItemFullName(index);
    Result<TFolderEntry> parent = OpenEntryFolder(FileSystem(), fullName);
    const Result<void> renamed = parent ? parent->Folder->Rename(parent->Name, *parent->Folder, newName, true)
                                        : Result<void>(parent.error());
    if (!renamed) {
        Ask(RenameFailureText(renamed.error(), oldName, newName), miExclamation, mbOK, 2);
        return renamed.error();
    }

    if (type == ptFindResult) {
        // Find results are not listed again: the item itself takes the new name, or the re-read
        // would drop it as gone from the disk.
        if (FView != nullptr)
            FView->LockPainting(true);
        item->Name = newName;
        if (item->Extra && item->Extra->HasCaption)
            item->Extra->Caption = newName;
        if (FView != nullptr)
            FView->LockPainting(false);
    }
    const std::string path = GetPanelPath();
    ReadPanel(true, true);

    // Names repeat in find results: the cursor goes to this very item. A name the panel does
    // not show (a hidden one while hidden items are left out) leaves the cursor where the re-read
    // put it.
    TKITEMSSTRUC& list = *FItemsStruc;
    const int first = FindItem(newName, false);
    int at = first;
    if (type == ptFindResult) {
        at = -1;
        for (int i = 0; i < list.Count() && at < 0; ++i)
            if (list.GetFileItem(i) == item)
                at = i;
    }
    if (at >= 0 && at == first) {
        FindItem(newName, true);
    } else if (at >= 0) {
        const bool wasQuiet = Quiet();
        FState |= psQuiet;
        CursorHome();
        for (int i = 0; i < at; ++i)
            CursorDown();
        if (list.FItemIndex != at)
            list.SetItemIndex(at);
        if (!wasQuiet)
            FState &= ~static_cast<std::uint32_t>(psQuiet);
        list.SetItemIndex(list.FItemIndex);
    }
    if (at >= 0)
        RepaintCursor();
    if (type == ptFolder && FOtherPanel != nullptr && FOtherPanel != this &&
        FOtherPanel->PanelType() == ptFolder && FOtherPanel->GetPanelPath() == path)
        FOtherPanel->ReadPanel(true, true);
    return {};
}

} // namespace ks
