#pragma once

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QListWidget;
class QListWidgetItem;
class QShowEvent;

namespace ks {

class TAddArchiveForm;
class TKImageButton;

/// The settings page's list of archive managers: the list `ArchiveList`, one 24-pixel row per
/// stored entry (its masks at x 12, its description in bold at x 150), and the images
/// `ArchiveAdd`, `ArchiveEdit` and `ArchiveDelete` beside the keys Insert, F2 and Delete of the
/// list. Adding opens "Archive settings..." with empty boxes, editing with the selected entry;
/// deleting asks "str_DeleteItemFromList" first. An entry the user changed is the user's from
/// then on, so locating managers again leaves it alone. Entries are kept as the bytes they came
/// with; a line that is no entry is shown as it is and kept unless edited or deleted.
/// Thread: the GUI thread.
class TArchiveManagerList : public QWidget {
public:
    /// programFolder (ending with "/") holds "iadd.bmp", "iedit.bmp" and "idelete.bmp"; a missing
    /// picture leaves its image blank but still clickable.
    explicit TArchiveManagerList(std::string programFolder, QWidget* parent = nullptr);

    /// The stored lines ("m_archivelist"), in order.
    std::vector<std::string> Entries() const;
    /// Shows lines; the first one is selected. Does not fire `OnChange`.
    void SetEntries(const std::vector<std::string>& entries);
    /// After every add, edit and delete the user made. Skipped when empty.
    std::function<void()> OnChange;

    /// Appends an entry made in "Archive settings..." (empty boxes).
    void AddItem();
    /// Edits the selected entry; cancelling, or OK with nothing changed, leaves it as it was.
    void EditItem();
    /// Removes the selected entry once the user confirmed it.
    void DeleteItem();

    QListWidget* ListBox() const { return FList; }
    /// The edit dialog, made on first use and kept.
    TAddArchiveForm* AddArchiveForm();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AppendRow(const std::string& entry);
    static void SetRow(QListWidgetItem& item, const std::string& entry);
    void Changed();

    std::string FProgramFolder;
    QListWidget* FList = nullptr;
    TKImageButton* FArchiveAdd = nullptr;
    TKImageButton* FArchiveEdit = nullptr;
    TKImageButton* FArchiveDelete = nullptr;
    TAddArchiveForm* FAddArchiveForm = nullptr;
};

} // namespace ks
