#include "shell/ui/POSEditorForm.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace ks {

namespace {

// The frames are redrawn this often, so parts the main window repaints get them back.
constexpr int FrameInterval = 200;

/// A layer over the whole host that lets every mouse event through and paints what the editor
/// gives it.
class TFrameOverlay : public QWidget {
public:
    TFrameOverlay(QWidget* host, std::function<void(QWidget&)> paint)
        : QWidget(host), FPaint(std::move(paint)) {
        setObjectName(QStringLiteral("POSEditorFrames"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(host->rect());
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override { FPaint(*this); }

private:
    std::function<void(QWidget&)> FPaint;
};

} // namespace

TPOSEditorForm::TPOSEditorForm(std::vector<TPOSEditorPart> parts, QWidget* host,
                               std::function<void()> reattach, std::function<void()> save, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FHost(host), FReattach(std::move(reattach)), FSave(std::move(save)) {
    setObjectName(QStringLiteral("POSEditorForm"));
    setWindowTitle(QStringLiteral("Position editor..."));
    for (TPOSEditorPart& part : parts)
        FParts.push_back(TPart{std::move(part.Name), part.Widget});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 10, InnerTop + 10, 14, 12);
    layout->setSpacing(8);

    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("PartList"));
    for (const TPart& part : FParts)
        FList->addItem(QString::fromStdString(part.Name));
    FList->setMinimumSize(200, 190);
    if (!FParts.empty())
        FList->setCurrentRow(0);
    layout->addWidget(FList);

    auto* help = new QLabel(QStringLiteral("Alt+arrows move the part, Shift+Alt+arrows size it, "
                                           "Enter re-attaches the background."),
                            this);
    help->setObjectName(QStringLiteral("HelpLabel"));
    help->setWordWrap(true);
    layout->addWidget(help);

    auto* row = new QHBoxLayout;
    FFrames = new QCheckBox(QStringLiteral("Frames"), this);
    FFrames->setObjectName(QStringLiteral("Frames"));
    row->addWidget(FFrames);
    row->addStretch();
    auto* saveButton = new QPushButton(QStringLiteral("&Save"), this);
    saveButton->setObjectName(QStringLiteral("SaveButton"));
    // Enter belongs to re-attaching; the button answers a click or Space only.
    saveButton->setAutoDefault(false);
    row->addWidget(saveButton);
    layout->addLayout(row);

    FFrameTimer = new QTimer(this);
    FFrameTimer->setInterval(FrameInterval);
    connect(FFrameTimer, &QTimer::timeout, this, [this] {
        if (FOverlay != nullptr) {
            FOverlay->setGeometry(FHost->rect());
            FOverlay->raise();
            FOverlay->update();
        }
    });
    connect(FFrames, &QCheckBox::toggled, this, [this](bool checked) { SetFramesShown(checked); });
    connect(FList, &QListWidget::currentRowChanged, this, [this] {
        if (FOverlay != nullptr)
            FOverlay->update();
    });
    connect(saveButton, &QPushButton::clicked, this, [this] {
        if (FSave)
            FSave();
    });

    // The keys are taken before the list sees them: it would move its own selection on
    // Alt+Up and Alt+Down.
    FList->installEventFilter(this);
    FFrames->installEventFilter(this);
    saveButton->installEventFilter(this);
    FList->setFocus(Qt::OtherFocusReason);
}

TPOSEditorForm::~TPOSEditorForm() {
    SetFramesShown(false);
}

QWidget* TPOSEditorForm::SelectedWidget() const {
    const int row = FList->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= FParts.size())
        return nullptr;
    return FParts[static_cast<std::size_t>(row)].Widget.data();
}

void TPOSEditorForm::AdjustSelected(int dx, int dy, int dw, int dh) {
    QWidget* widget = SelectedWidget();
    if (widget == nullptr)
        return;
    const QRect old = widget->geometry();
    widget->setGeometry(old.x() + dx, old.y() + dy, std::max(1, old.width() + dw),
                        std::max(1, old.height() + dh));
    if (FOverlay != nullptr)
        FOverlay->update();
}

bool TPOSEditorForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && HandleKey(*static_cast<QKeyEvent*>(event)))
        return true;
    return TKMYFORM::eventFilter(watched, event);
}

void TPOSEditorForm::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(*event))
        TKMYFORM::keyPressEvent(event);
}

bool TPOSEditorForm::HandleKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods =
        event.modifiers() & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier);
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) {
        if (FReattach)
            FReattach();
        return true;
    }
    int dx = 0, dy = 0;
    switch (event.key()) {
    case Qt::Key_Left:
        dx = -1;
        break;
    case Qt::Key_Right:
        dx = 1;
        break;
    case Qt::Key_Up:
        dy = -1;
        break;
    case Qt::Key_Down:
        dy = 1;
        break;
    default:
        return false;
    }
    if (mods == Qt::AltModifier) {
        AdjustSelected(dx, dy, 0, 0);
        return true;
    }
    if (mods == (Qt::AltModifier | Qt::ShiftModifier)) {
        AdjustSelected(0, 0, dx, dy);
        return true;
    }
    return false;
}

void TPOSEditorForm::showEvent(QShowEvent* event) {
    if (FFrames->isChecked())
        SetFramesShown(true);
    TKMYFORM::showEvent(event);
}

void TPOSEditorForm::hideEvent(QHideEvent* event) {
    SetFramesShown(false);
    TKMYFORM::hideEvent(event);
}

void TPOSEditorForm::SetFramesShown(bool shown) {
    if (shown && FHost != nullptr) {
        if (FOverlay == nullptr) {
            FOverlay = new TFrameOverlay(FHost, [this](QWidget& overlay) { PaintFrames(overlay); });
            FOverlay->show();
        }
        FOverlay->raise();
        FOverlay->update();
        FFrameTimer->start();
        return;
    }
    FFrameTimer->stop();
    if (FOverlay != nullptr) {
        delete FOverlay.data();
        if (FHost != nullptr)
            FHost->update();
    }
}

void TPOSEditorForm::PaintFrames(QWidget& overlay) {
    QPainter painter(&overlay);
    const QWidget* selected = SelectedWidget();
    // The selected part is drawn last, so its red frame wins where frames touch.
    for (int pass = 0; pass < 2; ++pass) {
        for (const TPart& part : FParts) {
            QWidget* widget = part.Widget.data();
            if (widget == nullptr || (widget == selected) != (pass == 1))
                continue;
            const QPoint at = FHost->isAncestorOf(widget)
                                  ? widget->mapTo(FHost.data(), QPoint(0, 0))
                                  : FHost->mapFromGlobal(widget->mapToGlobal(QPoint(0, 0)));
            const QRect area(at, widget->size());
            painter.setPen(QPen(pass == 1 ? Qt::red : Qt::white, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(area.adjusted(0, 0, -1, -1));
        }
    }
}

} // namespace ks
