#include "ftp/ui/FTPLoginForm.h"

#include "controls/MessageBox.h"
#include "controls/ui/ImageButton.h"
#include "controls/ui/MessageForm.h"
#include "foundation/DELTA9.h"
#include "foundation/Language.h"
#include "foundation/ui/SkinBitmap.h"
#include "ftp/FtpConnections.h"
#include "ftp/ui/FTPAddLoginForm.h"

#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace ks {

namespace {

constexpr int RowHeight = 24;
constexpr int NameLeft = 12;
constexpr int ImageSize = 16;
constexpr int EntryRole = Qt::UserRole;

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Entries are kept as the bytes they came with: one stored in another encoding goes back to the
// settings unchanged.
QVariant EntryData(const std::string& entry) {
    return QByteArray(entry.data(), static_cast<qsizetype>(entry.size()));
}

std::string EntryOf(const QModelIndex& index) {
    return index.data(EntryRole).toByteArray().toStdString();
}

std::string EntryOf(const QListWidgetItem& item) {
    return item.data(EntryRole).toByteArray().toStdString();
}

TColorRef ColorRefOf(const QColor& color) {
    return MakeColor(color.red(), color.green(), color.blue());
}

QColor QColorOf(TColorRef color) {
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

// One row per entry: the selection or list colour, the name in bold at x 12 and the host after
// it, both centred in the 24-pixel row.
class TEntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        const QPalette& palette = option.widget != nullptr ? option.widget->palette() : option.palette;
        const QColor background = palette.color(selected ? QPalette::Highlight : QPalette::Base);
        const QRect row = option.rect;
        const TRect rect{row.left(), row.top(), row.right(), row.bottom()};
        // A selected row is raised by a light top-left and a dark bottom-right edge.
        const TFrame3D frame = selected
                                   ? DrawFrame3D(rect, ColorRefOf(background.lighter(135)), 3,
                                                 ColorRefOf(background.darker(135)), ColorRefOf(background))
                                   : DrawFrame3D(rect, 0, 4, 0, ColorRefOf(background));
        painter->save();
        painter->fillRect(row, QColorOf(frame.Fill.value_or(ColorRefOf(background))));
        for (const TFrameEdge& edge : frame.Edges)
            painter->fillRect(QRect(QPoint(edge.X1, edge.Y1), QPoint(edge.X2, edge.Y2)),
                              QColorOf(edge.Color));

        const TFtpEntryValues values = ReadFtpEntry(EntryOf(index));
        const QString name = Utf8(values.Name);
        QFont bold = option.font;
        bold.setBold(true);
        const QFontMetrics boldMetrics(bold);
        const QFontMetrics normalMetrics(option.font);
        painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(bold);
        const int nameTop = row.top() + (row.height() - boldMetrics.height()) / 2;
        painter->drawText(row.left() + NameLeft, nameTop + boldMetrics.ascent(), name);
        painter->setFont(option.font);
        const int hostLeft =
            row.left() + NameLeft + boldMetrics.horizontalAdvance(name + QStringLiteral("  "));
        const int hostTop = row.top() + (row.height() - normalMetrics.height()) / 2;
        painter->drawText(hostLeft, hostTop + normalMetrics.ascent(), Utf8(values.Host));
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

TFTPLoginForm::TFTPLoginForm(std::string programFolder, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FProgramFolder(std::move(programFolder)) {
    setObjectName(QStringLiteral("FTPLoginForm"));
    setWindowTitle(QStringLiteral("FTP connection..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* top = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("FTP list:"), this);
    label->setObjectName(QStringLiteral("FTPListLabel"));
    top->addWidget(label);
    top->addStretch();
    FItemAdd = NewImage(this, "ItemAdd", "add item");
    FItemEdit = NewImage(this, "ItemEdit", "edit item");
    FItemDelete = NewImage(this, "ItemDelete", "delete item");
    for (TKImageButton* image : {FItemAdd, FItemEdit, FItemDelete})
        top->addWidget(image);
    layout->addLayout(top);

    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("FTPList"));
    FList->setItemDelegate(new TEntryDelegate(FList));
    FList->setUniformItemSizes(true);
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FList->setMinimumSize(340, 8 * RowHeight + 4);
    FList->installEventFilter(this);
    label->setBuddy(FList);
    layout->addWidget(FList, 1);
    layout->addSpacing(4);

    AddButtonRow(layout, {{"ConnectButton", "C&onnect"}, {"CancelButton", "&Cancel", false}});

    FItemAdd->OnClick = [this] { AddItem(); };
    FItemEdit->OnClick = [this] { EditItem(); };
    FItemDelete->OnClick = [this] { DeleteItem(); };
}

std::optional<std::string> TFTPLoginForm::Execute(std::vector<std::string>& list) {
    SetList(list);
    FChosen.reset();
    exec();
    list = List();
    return result() == QDialog::Accepted ? FChosen : std::nullopt;
}

void TFTPLoginForm::SetList(const std::vector<std::string>& entries) {
    FList->clear();
    for (const std::string& entry : entries)
        AppendRow(entry);
}

std::vector<std::string> TFTPLoginForm::List() const {
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(FList->count()));
    for (int i = 0; i < FList->count(); ++i)
        entries.push_back(EntryOf(*FList->item(i)));
    return entries;
}

TFTPAddLoginForm* TFTPLoginForm::AddLoginForm() {
    if (FAddLoginForm == nullptr)
        FAddLoginForm = new TFTPAddLoginForm(this);
    return FAddLoginForm;
}

void TFTPLoginForm::AddItem() {
    // The dialog keeps what it showed last, so a second server of the same kind is quick to add.
    TFTPAddLoginForm* dialog = AddLoginForm();
    if (dialog->exec() != QDialog::Accepted)
        return;
    AppendRow(MakeFtpEntry(dialog->Values()));
    FList->setCurrentRow(FList->count() - 1);
}

void TFTPLoginForm::EditItem() {
    QListWidgetItem* item = FList->currentItem();
    if (item == nullptr)
        return;
    TFTPAddLoginForm* dialog = AddLoginForm();
    dialog->SetValues(ReadFtpEntry(EntryOf(*item)));
    if (dialog->exec() != QDialog::Accepted)
        return;
    const std::string entry = MakeFtpEntry(dialog->Values());
    item->setData(EntryRole, EntryData(entry));
    item->setText(Utf8(ReadFtpEntry(entry).Name));
}

void TFTPLoginForm::DeleteItem() {
    const int row = FList->currentRow();
    if (row < 0)
        return;
    std::string question = CurrentLanguage().GetLangText("str_DeleteItemFromList");
    if (question.empty())
        question = "Remove the selected entry from the list?";
    // OK is the default button (index 2).
    if (ShowMessageForm(question, 0, mbOK | mbCancel, 2, 0, this) != mrOk)
        return;
    delete FList->takeItem(row);
    if (FList->count() > 0)
        FList->setCurrentRow(std::min(row, FList->count() - 1));
}

void TFTPLoginForm::accept() {
    if (QListWidgetItem* item = FList->currentItem())
        FChosen = EntryOf(*item);
    else
        FChosen.reset();
    if (OnShowStatus)
        OnShowStatus();
    TKMYFORM::accept();
}

void TFTPLoginForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    AddLoginForm();
    // Read on every show, so pictures replaced in the program folder show up.
    LoadImage(FItemAdd, FProgramFolder + "iadd.bmp");
    LoadImage(FItemEdit, FProgramFolder + "iedit.bmp");
    LoadImage(FItemDelete, FProgramFolder + "idelete.bmp");
    FList->setFocus(Qt::OtherFocusReason);
    if (FList->count() > 0)
        FList->setCurrentRow(0);
}

bool TFTPLoginForm::eventFilter(QObject* watched, QEvent* event) {
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
    return TKMYFORM::eventFilter(watched, event);
}

void TFTPLoginForm::AppendRow(const std::string& entry) {
    auto* item = new QListWidgetItem(Utf8(ReadFtpEntry(entry).Name), FList);
    item->setData(EntryRole, EntryData(entry));
}

} // namespace ks
