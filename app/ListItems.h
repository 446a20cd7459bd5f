#pragma once
// Rows of the window's report lists, kept in order of their caption with the
// locale's own comparison (as the user's file manager sorts names).
#include <QTreeWidgetItem>

class TCaptionSortedItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;
};
