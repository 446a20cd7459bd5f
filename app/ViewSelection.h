#pragma once
// Selections of the window's lists, walked in list order by the transfer loops.
#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <algorithm>

// The selected rows, first row first. Persistent, so they follow a list that changes
// while a loop processes events.
inline QList<QPersistentModelIndex> SelectedRowsInOrder(const QAbstractItemView* view)
{
    QModelIndexList rows = view->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    return {rows.cbegin(), rows.cend()};
}

// An entry that is gone or no longer selected is left alone, as a loop leaves an
// unselected one.
inline bool StillSelected(const QAbstractItemView* view, const QPersistentModelIndex& row)
{
    return row.isValid() && view->selectionModel()->isRowSelected(row.row(), row.parent());
}

inline void Deselect(QAbstractItemView* view, const QPersistentModelIndex& row)
{
    view->selectionModel()->select(QModelIndex(row), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
}
