#include "app/DropTarget.h"

#include "net/ErrorBoundary.h"

#include <QDropEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

TDropTarget::TDropTarget(QWidget* target, DragOver over, DragDrop drop)
    : QObject(target), m_over(std::move(over)), m_drop(std::move(drop))
{
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

namespace {

// Drags start on a list's inner view; the list itself carries the Tag.
QObject* TaggedSource(QObject* source)
{
    for (QObject* o = source; o; o = o->parent())
        if (o->property("Tag").isValid())
            return o;
    return nullptr;
}

} // namespace

bool TDropTarget::eventFilter(QObject*, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (!drop->source())
        return false;
    QObject* source = TaggedSource(drop->source());
    bool accepted = false;
    try {
        accepted = source && m_over(source);
    } catch (...) {
        HandleException(std::current_exception());
    }
    if (!accepted) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) {
        // The transfer starts once the drag has finished, not inside the drag's own loop.
        QTimer::singleShot(0, this, [this, source = QPointer<QObject>(source)] {
            if (source)
                Guarded(m_drop)(source.data());
        });
    }
    return true;
}
