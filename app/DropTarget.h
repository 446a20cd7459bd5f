#pragma once
// Drag-over and drop rules of a list, decided by the main window from the drag's
// source: the nearest widget up from where the drag started that carries a "Tag".
// Drags from other programs (no source in this process) are left to the list.
#include <QObject>
#include <functional>

class QWidget;

class TDropTarget : public QObject {
public:
    using DragOver = std::function<bool(QObject* Source)>;
    using DragDrop = std::function<void(QObject* Source)>;

    // Watches target's drag events; lives as long as target.
    TDropTarget(QWidget* target, DragOver over, DragDrop drop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DragOver m_over;
    DragDrop m_drop;
};
