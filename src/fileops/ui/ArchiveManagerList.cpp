#include "fileops/ui/ArchiveManagerList.h"

#include "archive/ArchiveManagers.h"
#include "controls/MessageBox.h"
#include "controls/ui/ImageButton.h"
#include "controls/ui/MessageForm.h"
#include "fileops/ui/AddArchiveForm.h"
#include "fileops/ui/CopyFormTexts.h"
#include "foundation/Language.h"
#include "foundation/ui/SkinBitmap.h"

#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

namespace ks {

namespace {

constexpr int RowHeight = 24;
constexpr int MasksLeft = 12;
constexpr int DescriptionLeft = 150;
constexpr int ImageSize = 16;
constexpr int EntryRole = Qt::UserRole;

QVariant EntryData(const std::string& entry) {
    return QByteArray(entry.data(), static_cast<qsizetype>(entry.size()));
}

std::string EntryOf(const QModelIndex& index) {
    return index.data(EntryRole).toByteArray().toStdString();
}

std::string EntryOf(const QListWidgetItem& item) {
    return item.data(EntryRole).toByteArray().toStdString();
}

// One row per entry: the selection or list colour, the masks at x 12 and the description in bold
// at x 150, both centred in the 24-pixel row.
class TManagerDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        const QPalette& palette = option.widget != nullptr ? option.widget->palette() : option.palette;
        const QRect row = option.rect;
        painter->save();
        painter->fillRect(row, palette.color(selected ? QPalette::Highlight : QPalette::Base));
        painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));

        const std::string entry = EntryOf(index);
        const std::optional<TArchiveManager> manager = ParseArchiveManager(entry);
        const QString masks = LocalText(manager ? manager->Masks : entry);
        const QFontMetrics normalMetrics(option.font);
        const int masksTop = row.top() + (row.height() - normalMetrics.height()) / 2;
        const QRect masksBox(row.left() + MasksLeft, masksTop, DescriptionLeft - MasksLeft - 4,
                             normalMetrics.height());
        // A long mask list is cut where the description starts; an unreadable line gets the row.
        painter->setClipRect(manager ? masksBox : row);
        painter->drawText(row.left() + MasksLeft, masksTop + normalMetrics.ascent(), masks);
        painter->setClipping(false);
        if (manager) {
            QFont bold = option.font;
            bold.setBold(true);
            const QFontMetrics boldMetrics(bold);
            painter->setFont(bold);
            const int descriptionTop = row.top() + (row.height() - boldMetrics.height()) / 2;
            painter->drawText(row.left() + DescriptionLeft, descriptionTop + boldMetrics.ascent(),
                              LocalText(manager->Description));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), RowHeight);
    }
};

TKImageButton* NewImage(QWidget* parent, const char* name, const char* hint) {
    auto* image = new TKImageButton(parent);
    image->setObjectName(QString::fromUtf8(name));
    image->setToolTip(QString::fromUtf8(hint));
    image->setFixedSize(ImageSize, ImageSize);
    return image;
}

void LoadImage(TKImageButton* image, const std::string& fileName) {
    QImage picture;
    LoadSkinBitmap(fileName, picture);
    image->SetPictures(picture, QImage());
}

} // namespace

TArchiveManagerList::TArchiveManagerList(std::string programFolder, QWidget* parent)
    : QWidget(parent), FProgramFolder(std::move(programFolder)) {
    setObjectName(QStringLiteral("ArchiveManagerList"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* images = new QHBoxLayout;
    images->addStretch();
    FArchiveAdd = NewImage(this, "ArchiveAdd", "add item");
    FArchiveEdit = NewImage(this, "ArchiveEdit", "edit item");
    FArchiveDelete = NewImage(this, "ArchiveDelete", "delete item");
    for (TKImageButton* image : {FArchiveAdd, FArchiveEdit, FArchiveDelete})
        images->addWidget(image);
    layout->addLayout(images);

    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("ArchiveList"));
    FList->setItemDelegate(new TManagerDelegate(FList));
    FList->setUniformItemSizes(true);
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FList->setMinimumSize(DescriptionLeft + 200, 6 * RowHeight + 4);
    FList->installEventFilter(this);
    layout->addWidget(FList, 1);
    setFocusProxy(FList);

    FArchiveAdd->OnClick = [this] { AddItem(); };
    FArchiveEdit->OnClick = [this] { EditItem(); };
    FArchiveDelete->OnClick = [this] { DeleteItem(); };
    // A double click is the mouse's way to the edit dialog.
    connect(FList, &QListWidget::itemDoubleClicked, this, [this] { EditItem(); });
}

std::vector<std::string> TArchiveManagerList::Entries() const {
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(FList->count()));
    for (int i = 0; i < FList->count(); ++i)
        entries.push_back(EntryOf(*FList->item(i)));
    return entries;
}

void TArchiveManagerList::SetEntries(const std::vector<std::string>& entries) {
    FList->clear();
    for (const std::string& entry : entries)
        AppendRow(entry);
    if (FList->count() > 0)
        FList->setCurrentRow(0);
}

TAddArchiveForm* TArchiveManagerList::AddArchiveForm() {
    if (FAddArchiveForm == nullptr)
        FAddArchiveForm = new TAddArchiveForm(this);
    return FAddArchiveForm;
}

void TArchiveManagerList::AddItem() {
    TAddArchiveForm* dialog = AddArchiveForm();
    dialog->SetValues(TArchiveManager{});
    if (dialog->exec() != QDialog::Accepted)
        return;
    AppendRow(FormatArchiveManager(dialog->Values()));
    FList->setCurrentRow(FList->count() - 1);
    Changed();
}

void TArchiveManagerList::EditItem() {
    QListWidgetItem* item = FList->currentItem();
    if (item == nullptr)
        return;
    const std::optional<TArchiveManager> old = ParseArchiveManager(EntryOf(*item));
    TAddArchiveForm* dialog = AddArchiveForm();
    dialog->SetValues(old.value_or(TArchiveManager{}));
    if (dialog->exec() != QDialog::Accepted)
        return;
    TArchiveManager edited = dialog->Values();
    if (old) {
        TArchiveManager unchanged = *old;
        unchanged.Located = false;
        // OK on what was shown is no edit: a located entry stays located.
        if (edited == unchanged)
            return;
    }
    SetRow(*item, FormatArchiveManager(edited));
    Changed();
}

void TArchiveManagerList::DeleteItem() {
    const int row = FList->currentRow();
    if (row < 0)
        return;
    const std::string question =
        LangTextOr("str_DeleteItemFromList", "Remove the selected entry from the list?");
    // OK is the default button (index 2).
    if (ShowMessageForm(question, 0, mbOK | mbCancel, 2, 0, this) != mrOk)
        return;
    delete FList->takeItem(row);
    if (FList->count() > 0)
        FList->setCurrentRow(std::min(row, FList->count() - 1));
    Changed();
}

void TArchiveManagerList::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Read on every show, so pictures replaced in the program folder show up.
    LoadImage(FArchiveAdd, FProgramFolder + "iadd.bmp");
    LoadImage(FArchiveEdit, FProgramFolder + "iedit.bmp");
    LoadImage(FArchiveDelete, FProgramFolder + "idelete.bmp");
}

bool TArchiveManagerList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            switch (key->key()) {
            case Qt::Key_Insert:
                AddItem();
                return true;
            case Qt::Key_F2:
                EditItem();
                return true;
            case Qt::Key_Delete:
                DeleteItem();
                return true;
            default:
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TArchiveManagerList::AppendRow(const std::string& entry) {
    SetRow(*new QListWidgetItem(FList), entry);
}

void TArchiveManagerList::SetRow(QListWidgetItem& item, const std::string& entry) {
    item.setData(EntryRole, EntryData(entry));
    // The text is for accessibility and keyboard search; the delegate paints the row.
    const std::optional<TArchiveManager> manager = ParseArchiveManager(entry);
    item.setText(LocalText(manager ? manager->Masks : entry));
}

void TArchiveManagerList::Changed() {
    if (OnChange)
        OnChange();
}

} // namespace ks
