#pragma once

#include <QComboBox>

#include <functional>
#include <string>
#include <vector>

class QCompleter;
class QFileSystemModel;

namespace ks {

/// An editable history box in the dialogs' dark look: the user types a path or picks an earlier
/// one, and path names complete as they are typed (folders and files, case-sensitive, looked up
/// from the typed folder on a background thread, so a slow disk never stalls the window). The
/// history is the caller's: nothing is added to it except by `AddTextToHistory`. Texts are
/// local 8-bit, as file names are everywhere else. Thread: the GUI thread.
class TKComboBox : public QComboBox {
public:
    explicit TKComboBox(QWidget* parent = nullptr);

    /// Replaces the history list; the text in the edit field stays.
    void SetHistory(const std::vector<std::string>& history);
    /// The history list, top first.
    std::vector<std::string> History() const;
    /// Puts the current text at the top of the history when it is not empty and not in it yet.
    /// The list is never trimmed.
    void AddTextToHistory();

    std::string Text() const;
    void SetText(const std::string& text);

    /// After every key released in the edit field.
    std::function<void()> OnKeyUp;

    /// The path completer, for tests.
    QCompleter* PathCompleter() const { return FCompleter; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FollowTypedFolder(const QString& text);

    QFileSystemModel* FModel = nullptr;
    QCompleter* FCompleter = nullptr;
    QString FModelFolder;
};

} // namespace ks
