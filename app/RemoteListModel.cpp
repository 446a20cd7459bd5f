#include "app/RemoteListModel.h"

#include "net/ErrorBoundary.h"

#include <QCollator>
#include <QMimeData>
#include <algorithm>

const QString TRemoteListModel::kDragMimeType = QStringLiteral("application/x-ferrit-remote-entries");

namespace {

// Often enough that a long listing visibly fills.
constexpr int kMergeIntervalMs = 100;

// Worker side: keys for the new captions, then the new entries merged into the order.
std::unique_ptr<TRemoteListModel::TSortRun> Collate(std::unique_ptr<TRemoteListModel::TSortRun> run)
{
    const QCollator collator;
    const int first = int(run->keys.size());
    for (const QString& caption : run->captions)
        run->keys.push_back(collator.sortKey(caption));
    run->captions.clear();
    const auto less = [&keys = run->keys](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; };
    std::vector<int>& order = run->order;
    const size_t sorted = order.size();
    for (int i = first; i < int(run->keys.size()); ++i)
        order.push_back(i);
    // Equal captions keep their order of arrival.
    std::stable_sort(order.begin() + qsizetype(sorted), order.end(), less);
    std::inplace_merge(order.begin(), order.begin() + qsizetype(sorted), order.end(), less);
    return run;
}

} // namespace

TRemoteListModel::TRemoteListModel(const QList<QPixmap>& images, QObject* parent)
    : QAbstractTableModel(parent), m_images(images), m_run(std::make_unique<TSortRun>())
{
    m_timer.setInterval(kMergeIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, Guarded([this](auto&&...) { Tick(); }));
}

TRemoteListModel::~TRemoteListModel()
{
    if (m_worker.valid())
        m_worker.wait();
}

void TRemoteListModel::WaitForRun()
{
    if (m_worker.valid())
        m_run = m_worker.get();
}

void TRemoteListModel::Clear()
{
    WaitForRun();
    m_timer.stop();
    beginResetModel();
    m_disposer.Dispose(std::move(m_entries), std::move(m_run));
    m_entries.clear();
    m_order.clear();
    m_run = std::make_unique<TSortRun>();
    endResetModel();
}

void TRemoteListModel::Add(TRemoteEntry entry)
{
    m_entries.push_back(std::move(entry));
    if (!m_timer.isActive())
        m_timer.start();
}

void TRemoteListModel::TakeNewCaptions()
{
    for (size_t i = m_run->keys.size(); i < m_entries.size(); ++i)
        m_run->captions << m_entries[i].Caption;
}

void TRemoteListModel::StartRun()
{
    TakeNewCaptions();
    m_worker = std::async(std::launch::async, [run = std::move(m_run)]() mutable {
        LowerThisThreadsPriority();
        return Collate(std::move(run));
    });
}

void TRemoteListModel::Tick()
{
    if (m_worker.valid()) {
        if (m_worker.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        Apply(m_worker.get());
    }
    if (m_run->keys.size() < m_entries.size())
        StartRun();
    else
        m_timer.stop();
}

void TRemoteListModel::Flush()
{
    WaitForRun();
    if (m_run->keys.size() < m_entries.size()) {
        TakeNewCaptions();
        m_run = Collate(std::move(m_run));
    }
    Apply(std::move(m_run));
    m_timer.stop();
}

void TRemoteListModel::FlushSoon()
{
    QTimer::singleShot(0, this, Guarded([this](auto&&...) { Tick(); }));
}

void TRemoteListModel::Apply(std::unique_ptr<TSortRun> run)
{
    m_run = std::move(run);
    if (m_run->order.size() == m_order.size())
        return;
    emit layoutAboutToBeChanged();
    std::vector<int> rowOfEntry(m_entries.size(), -1);
    for (size_t row = 0; row < m_run->order.size(); ++row)
        rowOfEntry[size_t(m_run->order[row])] = int(row);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.isValid() ? this->index(rowOfEntry[size_t(m_order[size_t(index.row())])], index.column())
                                     : QModelIndex());
    m_order = m_run->order;
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

int TRemoteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TRemoteListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TRemoteListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    const TRemoteEntry& e = Entry(index.row());
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
