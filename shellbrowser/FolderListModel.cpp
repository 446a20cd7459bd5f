#include "shellbrowser/FolderListModel.h"
#include "shellbrowser/IconCache.h"
#include <QMimeData>
#include <QUrl>
#include <algorithm>

int TFolderListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TFolderListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(1, int(m_columns.size()));
}

QVariant TFolderListModel::data(const QModelIndex& index, int role) const
{
    const TListEntry* entry = Entry(index.row());
    if (!entry)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == 0)
            return entry->Caption;
        return column - 1 < entry->SubItems.size() ? entry->SubItems[column - 1] : QString();
    case Qt::DecorationRole:
        return column == 0 ? QVariant(TIconCache::Instance().Composed(entry->ImageIndex, entry->ImageIndex, entry->OverlayIndex)) : QVariant();
    case Qt::TextAlignmentRole:
        return column > 0 && column < int(m_columns.size()) ? QVariant(int(m_columns[size_t(column)].Alignment | Qt::AlignVCenter)) : QVariant();
    case ImageIndexRole: return entry->ImageIndex;
    case OverlayIndexRole: return entry->OverlayIndex;
    default: return {};
    }
}

QVariant TFolderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= int(m_columns.size()))
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[size_t(section)].Caption;
    if (role == Qt::TextAlignmentRole)
        return int(m_columns[size_t(section)].Alignment | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TFolderListModel::flags(const QModelIndex& index) const
{
    const TListEntry* entry = Entry(index.row());
    if (!entry)
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == 0 && HasAttribute(entry->Data.get(), SFGAO_CANRENAME))
        f |= Qt::ItemIsEditable;
    return f;
}

bool TFolderListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || index.column() != 0 || !Entry(index.row()))
        return false;
    m_rename(index.row(), value.toString());
    return true;
}

QStringList TFolderListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData* TFolderListModel::mimeData(const QModelIndexList& indexes) const
{
    QList<QUrl> urls;
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.column() == 0)
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    for (const int row : rows)
        if (const TListEntry* entry = Entry(row); entry && entry->Data)
            if (const QString path = SHGetPathFromIDList(entry->Data->AbsoluteID); !path.isEmpty())
                urls.append(QUrl::fromLocalFile(path));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void TFolderListModel::SetColumns(std::vector<TListColumn> columns)
{
    beginResetModel();
    m_columns = std::move(columns);
    endResetModel();
}

void TFolderListModel::BeginFill()
{
    beginResetModel();
    m_filling = true;
    m_entries.clear();
}

void TFolderListModel::Append(std::unique_ptr<TListEntry> entry)
{
    Q_ASSERT(m_filling);
    m_entries.push_back(std::move(entry));
}

void TFolderListModel::EndFill()
{
    m_filling = false;
    endResetModel();
}

void TFolderListModel::Clear()
{
    BeginFill();
    EndFill();
}

void TFolderListModel::Reorder(const std::vector<int>& order)
{
    Q_ASSERT(order.size() == m_entries.size());
    if (!m_filling)
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRow(order.size());
    std::vector<std::unique_ptr<TListEntry>> sorted(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRow[size_t(order[i])] = int(i);
        sorted[i] = std::move(m_entries[size_t(order[i])]);
    }
    m_entries = std::move(sorted);
    if (m_filling)
        return;
    const QModelIndexList old = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(old.size());
    for (const QModelIndex& index : old)
        moved.append(index.row() < int(newRow.size()) ? createIndex(newRow[size_t(index.row())], index.column()) : QModelIndex());
    changePersistentIndexList(old, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TFolderListModel::EntryChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}
