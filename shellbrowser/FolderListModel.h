#pragma once
// The entries of the file list: caption, sub-items, icon indexes and the
// record of each entry, as a table the list's views share.
#include "shellbrowser/FolderItemData.h"
#include <QAbstractTableModel>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

struct TListEntry {
    QString Caption;
    QStringList SubItems;
    int ImageIndex = -1;
    int OverlayIndex = -1;
    std::unique_ptr<TFolderItemData> Data;
};

struct TListColumn {
    QString Caption;
    int Width = 0;
    Qt::Alignment Alignment = Qt::AlignLeft;
};

class TFolderListModel : public QAbstractTableModel {
public:
    static constexpr int ImageIndexRole = Qt::UserRole + 1;
    static constexpr int OverlayIndexRole = Qt::UserRole + 2;
    using Rename = std::function<void(int row, const QString& newName)>;

    explicit TFolderListModel(QObject* parent, Rename rename) : QAbstractTableModel(parent), m_rename(std::move(rename)) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

    void SetColumns(std::vector<TListColumn> columns);
    const std::vector<TListColumn>& Columns() const { return m_columns; }

    // A fill: Clear, Append each entry, then EndFill (one reset for all).
    void BeginFill();
    void Append(std::unique_ptr<TListEntry> entry);
    void EndFill();
    void Clear();

    int Count() const { return int(m_entries.size()); }
    TListEntry* Entry(int row) const { return row >= 0 && row < Count() ? m_entries[size_t(row)].get() : nullptr; }
    // Puts old row order[i] at row i, keeping selection and current entry.
    void Reorder(const std::vector<int>& order);
    void EntryChanged(int row);

private:
    std::vector<std::unique_ptr<TListEntry>> m_entries;
    std::vector<TListColumn> m_columns;
    Rename m_rename;
    bool m_filling = false;
};
