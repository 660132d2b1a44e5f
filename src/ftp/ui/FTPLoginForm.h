#pragma once

#include "controls/ui/KMYFORM.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;
class QShowEvent;

namespace ks {

class TFTPAddLoginForm;
class TKImageButton;

/// The connection list ("FTP connection..."): the entries of the list `FTPList`, one row each
/// (name in bold, then the host), added with Insert or `ItemAdd`, edited with F2 or `ItemEdit`
/// and removed with Delete or `ItemDelete` after the user confirmed it. "C&onnect" accepts with
/// the selected entry, "&Cancel" and Escape reject. The add/edit dialog is made once and kept,
/// so an added entry starts from the values the dialog showed last. Thread: the GUI thread.
class TFTPLoginForm : public TKMYFORM {
public:
    /// programFolder (ending with "/") holds the pictures "iadd.bmp", "iedit.bmp" and
    /// "idelete.bmp"; a missing picture leaves its image blank but still clickable.
    explicit TFTPLoginForm(std::string programFolder, QWidget* parent = nullptr);

    /// Shows the dialog modally over list (entry lines, in order) and writes the list back when it
    /// closes, either way, since the entries were added, edited and deleted in it. Returns the
    /// selected entry when closed with "C&onnect", nothing when cancelled or when the list was
    /// empty.
    std::optional<std::string> Execute(std::vector<std::string>& list);

    /// The entries the list shows.
    void SetList(const std::vector<std::string>& entries);
    std::vector<std::string> List() const;
    /// The entry chosen with "C&onnect" (nothing before, after a cancel, or with an empty list).
    const std::optional<std::string>& ChosenEntry() const { return FChosen; }

    /// Called by "C&onnect" before the dialog closes: the main window creates the status
    /// window when needed and shows it without focus. Skipped when empty.
    std::function<void()> OnShowStatus;

    /// Appends an entry made with the add/edit dialog, which opens with its last values.
    void AddItem();
    /// Edits the selected entry in the add/edit dialog; cancelling leaves it as it was.
    void EditItem();
    /// Removes the selected entry after the user confirmed it in the message box.
    void DeleteItem();

    /// The add/edit dialog (made on the first show or the first add/edit).
    TFTPAddLoginForm* AddLoginForm();
    QListWidget* ListBox() const { return FList; }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AppendRow(const std::string& entry);

    std::string FProgramFolder;
    QListWidget* FList = nullptr;
    TKImageButton* FItemAdd = nullptr;
    TKImageButton* FItemEdit = nullptr;
    TKImageButton* FItemDelete = nullptr;
    TFTPAddLoginForm* FAddLoginForm = nullptr;
    std::optional<std::string> FChosen;
};

} // namespace ks
