#include "app/RemoteListModel.h"

#include "ftp/WireText.h"
#include "net/ErrorBoundary.h"

#include <QCollator>
#include <QMimeData>
#include <algorithm>

const QString TRemoteListModel::kDragMimeType = QStringLiteral("application/x-ferrit-remote-entries");

namespace {

// Often enough that a long listing visibly fills.
constexpr int kMergeIntervalMs = 100;
// The sort keys of a listing cost more than its texts. Once no entry has come for this
// long the listing is taken to be complete and they are freed; should more entries come
// after all, the keys are made again.
constexpr int kKeyLifetimeMs = 2000;

// Worker side: keys for the captions handed over, then the entries not yet in the order
// merged into it.
std::unique_ptr<TRemoteListModel::TSortRun> Collate(std::unique_ptr<TRemoteListModel::TSortRun> run)
{
    const QCollator collator;
    for (qsizetype i = 0; i < run->captions.size(); ++i)
        run->keys.push_back(collator.sortKey(run->captions.at(i)));
    run->captions.clear();
    const auto less = [&keys = run->keys](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; };
    std::vector<int>& order = run->order;
    const size_t sorted = order.size();
    for (int i = int(sorted); i < int(run->keys.size()); ++i)
        order.push_back(i);
    // Equal captions keep their order of arrival.
    std::stable_sort(order.begin() + qsizetype(sorted), order.end(), less);
    std::inplace_merge(order.begin(), order.begin() + qsizetype(sorted), order.end(), less);
    return run;
}

} // namespace

void TRemoteEntries::Add(const TRemoteEntry& entry)
{
    auto type = m_typeIndex.constFind(entry.TypeName);
    if (type == m_typeIndex.cend()) {
        type = m_typeIndex.insert(entry.TypeName, qint32(m_typeNames.size()));
        m_typeNames << entry.TypeName;
    }
    m_captions.append(entry.Caption);
    m_sizes.append(entry.Size);
    m_modified.append(entry.Modified);
    m_rights.append(entry.Rights);
    if (!entry.WireName.isEmpty() && entry.WireName != entry.Caption)
        m_wireNames.emplace_back(m_kinds.size(), entry.WireName);
    m_kinds.push_back({*type, entry.ImageIndex});
}

QString TRemoteEntries::WireName(size_t i) const
{
    const auto found = std::lower_bound(m_wireNames.cbegin(), m_wireNames.cend(), i,
                                        [](const auto& named, size_t entry) { return named.first < entry; });
    return found != m_wireNames.cend() && found->first == i ? found->second : Caption(i);
}

TRemoteEntry TRemoteEntries::At(size_t i) const
{
    return {Caption(i), Size(i), TypeName(i), Modified(i), Rights(i), ImageIndex(i), WireName(i)};
}

TRemoteListModel::TRemoteListModel(const QList<QPixmap>& images, QObject* parent)
    : QAbstractTableModel(parent), m_images(images), m_run(std::make_unique<TSortRun>())
{
    m_collator.setMaxThreadCount(1);
    m_collator.setExpiryTimeout(-1);
    m_timer.setInterval(kMergeIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, Guarded([this](auto&&...) { Tick(); }));
    m_keyLifetime.setSingleShot(true);
    m_keyLifetime.setInterval(kKeyLifetimeMs);
    connect(&m_keyLifetime, &QTimer::timeout, this, Guarded([this](auto&&...) { DropKeys(); }));
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
    m_keyLifetime.stop();
    beginResetModel();
    m_disposer.Dispose(std::move(m_entries), std::move(m_run));
    m_entries = TRemoteEntries();
    m_order.clear();
    m_run = std::make_unique<TSortRun>();
    endResetModel();
}

void TRemoteListModel::Add(TRemoteEntry entry)
{
    if (!m_guessNames && HoldsRawBytes(entry.WireName))
        entry.Caption = DisplayText(entry.WireName, false);
    m_entries.Add(entry);
    m_keyLifetime.stop();
    if (!m_timer.isActive())
        m_timer.start();
}

bool TRemoteListModel::Unplaced() const
{
    return m_run->order.size() < m_entries.size();
}

void TRemoteListModel::TakeNewCaptions()
{
    m_run->captions = m_entries.CaptionsFrom(m_run->keys.size());
}

void TRemoteListModel::AllPlaced()
{
    m_timer.stop();
    if (!m_run->keys.empty())
        m_keyLifetime.start();
}

void TRemoteListModel::DropKeys()
{
    if (m_worker.valid() || Unplaced())
        return;
    // Freed on the collation thread: a million of them take a while.
    m_collator.start([keys = std::move(m_run->keys)]() mutable { keys = {}; });
    m_run->keys = {};
}

void TRemoteListModel::StartRun()
{
    TakeNewCaptions();
    auto task = std::make_shared<std::packaged_task<std::unique_ptr<TSortRun>()>>(
        [run = std::move(m_run)]() mutable {
            LowerThisThreadsPriority();
            return Collate(std::move(run));
        });
    m_worker = task->get_future();
    m_collator.start([task] { (*task)(); });
}

void TRemoteListModel::Tick()
{
    if (m_worker.valid()) {
        if (m_worker.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        Apply(m_worker.get());
    }
    if (Unplaced())
        StartRun();
    else
        AllPlaced();
}

void TRemoteListModel::Flush()
{
    WaitForRun();
    if (Unplaced()) {
        TakeNewCaptions();
        m_run = Collate(std::move(m_run));
    }
    Apply(std::move(m_run));
    AllPlaced();
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
        // createIndex: the row may lie beyond the count of the order being replaced.
        after.append(index.isValid() ? createIndex(rowOfEntry[size_t(m_order[size_t(index.row())])], index.column())
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
    const size_t e = EntryOf(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case colFilename: return m_entries.Caption(e);
        case colSize: return m_entries.Size(e);
        case colType: return m_entries.TypeName(e);
        case colModified: return m_entries.Modified(e);
        case colRights: return m_entries.Rights(e);
        }
        break;
    case Qt::DecorationRole:
        if (const int image = m_entries.ImageIndex(e); index.column() == colFilename && image >= 0 && image < m_images.size())
            return m_images[image];
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
            names << Caption(index.row());
    auto* data = new QMimeData;
    data->setData(kDragMimeType, names.join(u'\n').toUtf8());
    return data;
}

Qt::DropActions TRemoteListModel::supportedDragActions() const
{
    return Qt::CopyAction;
}
