#include "app/RemoteListModel.h"

#include "net/ErrorBoundary.h"

#include <QMimeData>
#include <algorithm>

const QString TRemoteListModel::kDragMimeType = QStringLiteral("application/x-ferrit-remote-entries");

namespace {
// Often enough that a long listing visibly fills; rarely enough that merging stays cheap.
constexpr int kMergeIntervalMs = 150;
} // namespace

TRemoteListModel::TRemoteListModel(const QList<QPixmap>& images, QObject* parent)
    : QAbstractTableModel(parent), m_images(images)
{
    m_collator.setNumericMode(false);
    m_mergeTimer.setSingleShot(true);
    m_mergeTimer.setInterval(kMergeIntervalMs);
    connect(&m_mergeTimer, &QTimer::timeout, this, Guarded([this](auto&&...) { Merge(); }));
}

void TRemoteListModel::Clear()
{
    m_mergeTimer.stop();
    beginResetModel();
    m_rows.clear();
    m_pending.clear();
    endResetModel();
}

void TRemoteListModel::Add(TRemoteEntry entry)
{
    QCollatorSortKey key = m_collator.sortKey(entry.Caption);
    m_pending.push_back(Row{std::move(entry), std::move(key)});
    if (!m_mergeTimer.isActive())
        m_mergeTimer.start();
}

void TRemoteListModel::Flush()
{
    m_mergeTimer.stop();
    Merge();
}

void TRemoteListModel::Merge()
{
    if (m_pending.empty())
        return;
    const auto less = [](const Row& a, const Row& b) { return a.key.compare(b.key) < 0; };
    std::stable_sort(m_pending.begin(), m_pending.end(), less);

    emit layoutAboutToBeChanged();
    std::vector<Row> merged;
    merged.reserve(m_rows.size() + m_pending.size());
    std::vector<int> newRowOfOld(m_rows.size());
    size_t i = 0, j = 0;
    while (i < m_rows.size() || j < m_pending.size()) {
        // Equal captions keep their order of arrival: old rows first.
        if (j == m_pending.size() || (i < m_rows.size() && !less(m_pending[j], m_rows[i]))) {
            newRowOfOld[i] = int(merged.size());
            merged.push_back(std::move(m_rows[i++]));
        } else {
            merged.push_back(std::move(m_pending[j++]));
        }
    }
    m_rows = std::move(merged);
    m_pending.clear();

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newRowOfOld[size_t(index.row())], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

int TRemoteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TRemoteListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TRemoteListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return {};
    const TRemoteEntry& e = m_rows[size_t(index.row())].entry;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case colFilename: return e.Caption;
        case colSize: return e.Size;
        case colType: return e.TypeName;
        case colModified: return e.Modified;
        case colRights: return e.Rights;
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == colFilename && e.ImageIndex >= 0 && e.ImageIndex < m_images.size())
            return m_images[e.ImageIndex];
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == colSize || index.column() == colRights)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    }
    return {};
}

QVariant TRemoteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        static const char* const titles[ColumnCount] = {"Filename", "Size", "Type", "Modified", "Rights"};
        if (section >= 0 && section < ColumnCount)
            return QString::fromLatin1(titles[section]);
    }
    if (role == Qt::TextAlignmentRole && (section == colSize || section == colRights))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TRemoteListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList TRemoteListModel::mimeTypes() const
{
    return {kDragMimeType};
}

QMimeData* TRemoteListModel::mimeData(const QModelIndexList& indexes) const
{
    // The drop acts on the source list's selection, so the payload only marks the drag as ours.
    QStringList names;
    for (const QModelIndex& index : indexes)
        if (index.column() == colFilename)
            names << Entry(index.row()).Caption;
    auto* data = new QMimeData;
    data->setData(kDragMimeType, names.join(u'\n').toUtf8());
    return data;
}

Qt::DropActions TRemoteListModel::supportedDragActions() const
{
    return Qt::CopyAction;
}
