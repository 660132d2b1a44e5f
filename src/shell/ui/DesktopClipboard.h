#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QObject>

#include "shell/ItemClipboard.h"

class QClipboard;

namespace ks {

/// The desktop's clipboard as the item clipboard's second home: Copy items and Cut items put
/// their names there for other programs, and Paste items takes files from there when another
/// program put them after kSable's own.
///
/// What another program put counts from the moment its clipboard change is seen, and at start
/// whatever the clipboard holds counts as another program's: a kSable started after files were
/// copied elsewhere pastes them. Reading waits for the other program at most as long as Qt's
/// own clipboard timeout. Thread: the GUI thread.
class TDesktopClipboard : public QObject {
public:
    /// The clipboard of the application (QGuiApplication::clipboard()) unless one is given.
    explicit TDesktopClipboard(QObject* parent = nullptr, QClipboard* clipboard = nullptr);

    /// Puts the names on the clipboard as "text/uri-list", "x-special/gnome-copied-files"
    /// ("copy" or "cut" first), "application/x-kde-cutselection" ("1" for cut, "0" for copy) and
    /// "text/plain" (the names, a line each). Names that are not absolute are left out; the
    /// clipboard is set even when none is left, so older files of another program are not
    /// pasted in place of these.
    void Put(const std::vector<std::string>& names, bool cut);

    /// The files another program put on the clipboard since the last `Put` (or since start):
    /// "x-special/gnome-copied-files" first, else "text/uri-list" with
    /// "application/x-kde-cutselection" for the cut flag. Nothing when the clipboard is kSable's
    /// own, holds no files, or holds a list `ParseUriList` refuses. The clipboard keeps them, so
    /// a second paste gets them again.
    std::optional<TClipboardItems> TakeForeign();

private:
    QClipboard* FClipboard;
    bool FForeign = true;
};

} // namespace ks
