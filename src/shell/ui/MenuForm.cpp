#include "shell/ui/MenuForm.h"

#include "controls/ui/KMYFORM.h"
#include "controls/ui/TranslateForm.h"

#include <QAction>
#include <QCursor>
#include <QFont>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace ks {

namespace {

// Wide enough for the window's caption in the title bar the system gives a tool window.
constexpr int InitialWidth = 180;

} // namespace

TMenuForm::TMenuForm(std::function<void(QPoint)> openMenu, std::function<void()> disable, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), FOpenMenu(std::move(openMenu)),
      FDisable(std::move(disable)) {
    setObjectName(QStringLiteral("MenuForm"));
    setWindowTitle(QStringLiteral("...flying menu..."));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    setFont(font);
    setStyleSheet(TKMYFORM::DialogStyleSheet());

    FMenuBar = new QMenuBar(this);
    FMenuBar->setObjectName(QStringLiteral("FlyingMenuBar"));
    // Desktops that show a global menu would take the bar away, leaving an empty window.
    FMenuBar->setNativeMenuBar(false);

    QAction* menu = FMenuBar->addAction(QStringLiteral("Menu"));
    menu->setObjectName(QStringLiteral("Menu1"));
    connect(menu, &QAction::triggered, this, [this] {
        if (FOpenMenu)
            FOpenMenu(QCursor::pos());
    });

    QMenu* others = FMenuBar->addMenu(QStringLiteral("Others"));
    others->setObjectName(QStringLiteral("Others1"));
    QAction* disableAction = others->addAction(QStringLiteral("Disable flying menu"));
    disableAction->setObjectName(QStringLiteral("DisableFlyingMenu1"));
    connect(disableAction, &QAction::triggered, this, [this] {
        if (FDisable)
            FDisable();
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(FMenuBar);
    FitToMenuBar();
    resize(std::max(FMenuBar->sizeHint().width(), InitialWidth), height());
}

void TMenuForm::showEvent(QShowEvent* event) {
    TranslateForm(this);
    FitToMenuBar();
    QWidget::showEvent(event);
}

void TMenuForm::FitToMenuBar() {
    // The window has no client area: its height is the menu bar's, and it stays so.
    const QSize bar = FMenuBar->sizeHint();
    setFixedHeight(bar.height());
    setMinimumWidth(bar.width());
    if (width() < bar.width())
        resize(bar.width(), bar.height());
}

} // namespace ks
