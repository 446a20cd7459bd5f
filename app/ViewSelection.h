#pragma once
// Selections of the window's lists, walked in list order by the transfer loops.
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <algorithm>

// The selected rows, first row first. Persistent, so they follow a list that changes
// while a loop processes events.
inline QList<QPersistentModelIndex> SelectedRowsInOrder(const QItemSelectionModel& selection)
{
    QModelIndexList rows = selection.selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    return {rows.cbegin(), rows.cend()};
}

inline void Deselect(QItemSelectionModel& selection, const QPersistentModelIndex& row)
{
    selection.select(QModelIndex(row), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
}
