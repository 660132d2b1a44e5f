#include "shell/ui/HistoryForm.h"

#include "controls/ui/TranslateForm.h"
#include "foundation/DELTA9.h"
#include "shell/CommandLine.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStringDecoder>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace ks {

namespace {

constexpr int EntryRole = Qt::UserRole;

// Commands are kept as the bytes they were typed with, so the one chosen is typed back unchanged.
std::string EntryOf(const QModelIndex& index) {
    return index.data(EntryRole).toByteArray().toStdString();
}

// Typed commands hold file names (UTF-8 here); a line that is no valid UTF-8 came from an older
// pack's code page and is shown through the language's decoder.
QString DisplayText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? DecodeLangText(bytes) : text;
}

TColorRef ColorRefOf(const QColor& color) {
    return MakeColor(color.red(), color.green(), color.blue());
}

QColor QColorOf(TColorRef color) {
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

// One line per command: a framed background (the selection colour for the selected line) and
// the command in bold, 6 pixels from the left, centred in a line as high as "a" plus 6 pixels.
class THistoryLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        const QPalette& palette = option.widget != nullptr ? option.widget->palette() : option.palette;
        const QColor background = palette.color(selected ? QPalette::Highlight : QPalette::Base);
        const QRect line = option.rect;
        const TRect rect{line.left(), line.top(), line.right(), line.bottom()};
        // A selected line is raised by a light top-left and a dark bottom-right edge; the others
        // sit in a frame of their own background's lighter shade, so lines stay apart.
        const TFrame3D frame =
            selected ? DrawFrame3D(rect, ColorRefOf(background.lighter(135)), 3,
                                   ColorRefOf(background.darker(135)), ColorRefOf(background))
                     : DrawFrame3D(rect, ColorRefOf(background.lighter(160)), 2, 0, ColorRefOf(background));
        painter->save();
        painter->fillRect(line, QColorOf(frame.Fill.value_or(ColorRefOf(background))));
        for (const TFrameEdge& edge : frame.Edges)
            painter->fillRect(QRect(QPoint(edge.X1, edge.Y1), QPoint(edge.X2, edge.Y2)),
                              QColorOf(edge.Color));

        QFont bold = option.font;
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        painter->setFont(bold);
        painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const int top = line.top() + (line.height() - metrics.height()) / 2;
        const QString text = DisplayText(EntryOf(index));
        painter->drawText(
            line.left() + THistoryForm::TextLeft, top + metrics.ascent(),
            metrics.elidedText(text, Qt::ElideRight, line.width() - 2 * THistoryForm::TextLeft));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int height = QFontMetrics(option.font).size(Qt::TextSingleLine, QStringLiteral("a")).height() +
                           THistoryForm::LineExtraHeight;
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), height);
    }
};

} // namespace

THistoryForm::THistoryForm(const std::vector<std::string>& history, QWidget* parent)
    : TKMYFORM(parent, ftTranslated) {
    setObjectName(QStringLiteral("HistoryForm"));
    setWindowTitle(QStringLiteral("Command line history..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 10, InnerTop + 8, 14, 12);
    layout->setSpacing(8);

    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("HistoryList"));
    FList->setItemDelegate(new THistoryLineDelegate(FList));
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setUniformItemSizes(true);
    FList->setMinimumSize(420, 220);
    for (const std::string& entry : VisibleHistory(history)) {
        auto* item = new QListWidgetItem(DisplayText(entry), FList);
        item->setData(EntryRole, QByteArray(entry.data(), static_cast<qsizetype>(entry.size())));
    }
    layout->addWidget(FList, 1);

    const std::vector<QPushButton*> buttons =
        AddButtonRow(layout, {{"OKButton", "&OK"}, {"CancelButton", "&Cancel", false}});
    FOk = buttons.front();
    // Enter reaches the default "&OK" through the dialog, as the list passes it on.
    connect(FList, &QListWidget::itemDoubleClicked, this, [this] {
        if (FOk->isEnabled())
            accept();
    });
}

std::optional<std::string> THistoryForm::Execute(const std::vector<std::string>& history, QWidget* parent) {
    std::optional<std::string> chosen;
    ExecForm(new THistoryForm(history, parent), [&chosen](THistoryForm& form) { chosen = form.Chosen(); });
    return chosen;
}

std::optional<std::string> THistoryForm::Chosen() const {
    const QListWidgetItem* item = FList->currentItem();
    if (result() != QDialog::Accepted || item == nullptr)
        return std::nullopt;
    return item->data(EntryRole).toByteArray().toStdString();
}

void THistoryForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    const bool any = FList->count() > 0;
    FOk->setEnabled(any);
    if (any)
        FList->setCurrentRow(0);
    FList->setFocus(Qt::OtherFocusReason);
}

} // namespace ks
