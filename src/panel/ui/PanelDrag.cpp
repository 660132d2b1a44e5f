#include "panel/ui/PanelWidget.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>

// Dragging items from one panel onto the other: the drag's data, its start and the drop.

namespace ks {

namespace {

// What the private drag format holds: the process and the source widget's address, so a drag
// that another kSable started is not taken for one of this process.
QByteArray PanelDragTag(const TKPanelWidget& source) {
    return QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
           QByteArray::number(reinterpret_cast<quintptr>(&source), 16);
}

} // namespace

std::vector<std::string> PanelDragNames(const TKMYFILEPANEL& panel) {
    std::vector<std::string> names;
    if (panel.PanelType() != ptFolder && panel.PanelType() != ptFindResult)
        return names;
    const TKITEMSSTRUC& list = *panel.FItemsStruc;
    const auto add = [&](int index) {
        const TKFiles* item = list.GetFileItem(index);
        if (item == nullptr || (item->Kind != ikFile && item->Kind != ikFolder))
            return;
        std::string name = panel.ItemFullName(index);
        if (!name.empty() && name.front() == '/')
            names.push_back(std::move(name));
    };
    if (list.FMarkedCount > 0) {
        for (int index = 0; index < list.Count(); ++index)
            if (list.GetFileItem(index)->Marked)
                add(index);
    } else {
        add(list.FItemIndex);
    }
    return names;
}

std::unique_ptr<QMimeData> MakePanelDragData(const TKPanelWidget& source, const TKMYFILEPANEL& panel) {
    auto data = std::make_unique<QMimeData>();
    data->setData(QString::fromLatin1(PanelItemsMimeType), PanelDragTag(source));
    QByteArray uris;
    for (const std::string& name : PanelDragNames(panel)) {
        // A file URI keeps the name's bytes as they are, percent-encoded, so names that are no
        // valid text reach the other program unchanged.
        const QByteArray bytes(name.data(), static_cast<qsizetype>(name.size()));
        uris += "file://" + bytes.toPercentEncoding("/") + "\r\n";
    }
    if (!uris.isEmpty())
        data->setData(QStringLiteral("text/uri-list"), uris);
    return data;
}

void TKPanelWidget::StartDrag() {
    QPointer<TKPanelWidget> alive(this);
    auto* drag = new QDrag(this);
    drag->setMimeData(MakePanelDragData(*this, FPanel).release());
    RunDrag(*drag);
    // The window may have gone while the drag ran its own event loop.
    if (alive.isNull())
        return;
    drag->deleteLater();
    // The drag took the mouse: the release that would end the press never reaches the panel.
    FPanel.EndDrag();
}

Qt::DropAction TKPanelWidget::RunDrag(QDrag& drag) {
    return drag.exec(Qt::CopyAction, Qt::CopyAction);
}

TKPanelWidget* TKPanelWidget::PanelDropSource(const QObject* source, const QMimeData* dragData) const {
    // Only drags of this process have a source object.
    auto* panel = dynamic_cast<const TKPanelWidget*>(source);
    if (panel == nullptr || panel == this || dragData == nullptr)
        return nullptr;
    if (dragData->data(QString::fromLatin1(PanelItemsMimeType)) != PanelDragTag(*panel))
        return nullptr;
    return const_cast<TKPanelWidget*>(panel);
}

void TKPanelWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (PanelDropSource(event->source(), event->mimeData()) == nullptr) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TKPanelWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (PanelDropSource(event->source(), event->mimeData()) == nullptr) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TKPanelWidget::dropEvent(QDropEvent* event) {
    TKPanelWidget* source = PanelDropSource(event->source(), event->mimeData());
    if (source == nullptr) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The copy that follows shows a modal progress window; it must not run inside the drag's
    // own event loop, with the source panel still holding the mouse.
    QPointer<TKPanelWidget> from(source);
    QMetaObject::invokeMethod(
        this,
        [this, from] {
            if (!from.isNull() && OnDropFromPanel)
                OnDropFromPanel(*from);
        },
        Qt::QueuedConnection);
}

} // namespace ks
