#pragma once
// Small pieces shared by the tree and the list.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QStyledItemDelegate>
#include <functional>

// Shows the hourglass for the lifetime of the object.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// A width of the window's layout (its panes and list columns were drawn for a
// font with 6-pixel digits) for the font of this widget: wider fonts widen it in
// proportion, so that sizes and dates still fit their columns.
int ScaledDesignWidth(const QWidget* view, int designWidth);

// Scrolls one line or column when (x, y) is within a font height of an edge;
// each edge zone is widened by the scroll bar of the other direction.
void ScrollNearEdge(QAbstractScrollArea* area, int x, int y);

// Commits an in-place edit through a callback that may refuse it, so a
// refused rename never shows the new text.
class TRenameDelegate : public QStyledItemDelegate {
public:
    using Commit = std::function<void(const QModelIndex&, const QString&)>;
    TRenameDelegate(QObject* parent, Commit commit) : QStyledItemDelegate(parent), m_commit(std::move(commit)) {}
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    Commit m_commit;
};
