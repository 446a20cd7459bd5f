#include "app/RemoteListModel.h"

#include "ftp/WireText.h"
#include "net/ErrorBoundary.h"

#include <QCollator>
#include <QMimeData>
#include <algorithm>
#include <limits>

const QString TRemoteListModel::kDragMimeType = QStringLiteral("application/x-ferrit-remote-entries");

namespace {

// Often enough that a long listing visibly fills.
constexpr int kMergeIntervalMs = 100;
// The sort keys of a listing cost more than its texts. Once no entry has come for this
// long the listing is taken to be complete and they are freed; should more entries come
// after all, the keys are made again.
constexpr int kKeyLifetimeMs = 2000;

using TSortRun = TRemoteListModel::TSortRun;

bool SortsByName(const TRemoteListModel::TSort& sort)
{
    return sort.column == TRemoteListModel::colFilename;
}

bool SortsByText(const TRemoteListModel::TSort& sort)
{
    return sort.column == TRemoteListModel::colType || sort.column == TRemoteListModel::colRights;
}

// The user's choice compares names as people count ("photo_2" before "photo_10"); the
// list as first shown keeps the plain collation.
QCollator CollatorFor(const TRemoteListModel::TSort& sort)
{
    QCollator collator;
    collator.setNumericMode(sort.column >= 0);
    return collator;
}

// A name as the user's order compares it: each run of digits padded to one width, so
// that "photo_2" comes before "photo_10" also where the collation has no numeric mode
// (the C locale's has none).
QString NaturalName(const QString& name)
{
    constexpr qsizetype kWidth = 20; // the digits of the largest 64-bit number
    const auto digit = [&name](qsizetype i) { return name[i] >= u'0' && name[i] <= u'9'; };
    QString natural;
    natural.reserve(name.size());
    for (qsizetype i = 0; i < name.size();) {
        if (!digit(i)) {
            natural += name[i++];
            continue;
        }
        qsizetype end = i;
        while (end < name.size() && digit(end))
            ++end;
        natural += QString(std::max<qsizetype>(0, kWidth - (end - i)), u'0') + name.sliced(i, end - i);
        i = end;
    }
    return natural;
}

// An order of the entries for the run's column: ".." and folders first both ways, the
// column's values either way, ties by name and then by arrival.
auto LessFor(const TSortRun& run)
{
    return [&run](int a, int b) {
        const size_t x = size_t(a), y = size_t(b);
        const TRemoteListModel::TSort& sort = run.sort;
        if (sort.column < 0)
            return run.keys[x].compare(run.keys[y]) < 0;
        if (run.ranks[x].group != run.ranks[y].group)
            return run.ranks[x].group < run.ranks[y].group;
        int c = 0;
        if (SortsByName(sort))
            c = run.keys[x].compare(run.keys[y]);
        else if (SortsByText(sort))
            c = run.columnKeys[x].compare(run.columnKeys[y]);
        else
            c = run.ranks[x].number < run.ranks[y].number ? -1 : run.ranks[x].number > run.ranks[y].number ? 1 : 0;
        if (c != 0)
            return sort.order == Qt::AscendingOrder ? c < 0 : c > 0;
        return !SortsByName(sort) && run.keys[x].compare(run.keys[y]) < 0;
    };
}

// Worker side: keys for the entries handed over, then the entries not yet in the order
// merged into it.
std::unique_ptr<TSortRun> Collate(std::unique_ptr<TSortRun> run)
{
    const QCollator collator = CollatorFor(run->sort);
    const bool natural = run->sort.column >= 0;
    for (qsizetype i = 0; i < run->captions.size(); ++i) {
        const QString caption = run->captions.at(i);
        run->keys.push_back(collator.sortKey(natural ? NaturalName(caption) : caption));
    }
    for (const QString& text : std::as_const(run->columnTexts))
        run->columnKeys.push_back(collator.sortKey(text));
    run->captions.clear();
    run->columnTexts.clear();
    const auto less = LessFor(*run);
    std::vector<int>& order = run->order;
    const size_t sorted = order.size();
    for (int i = int(sorted); i < int(run->keys.size()); ++i)
        order.push_back(i);
    // Equal entries keep their order of arrival.
    std::stable_sort(order.begin() + qsizetype(sorted), order.end(), less);
    std::inplace_merge(order.begin(), order.begin() + qsizetype(sorted), order.end(), less);
    return run;
}

// A size as a number; an empty or unreadable one before every real size.
qint64 SizeNumber(const QString& size)
{
    bool ok = false;
    const qint64 n = size.toLongLong(&ok);
    return ok ? n : std::numeric_limits<qint64>::min();
}

} // namespace

void TRemoteEntries::Add(const TRemoteEntry& entry)
{
    auto type = m_typeIndex.constFind(entry.TypeName);
    if (type == m_typeIndex.cend()) {
        type = m_typeIndex.insert(entry.TypeName, qint32(m_typeNames.size()));
        m_typeNames << entry.TypeName;
        m_folderTypes.push_back(entry.IsFolder());
    }
    m_captions.append(entry.Caption);
    m_sizes.append(entry.Size);
    m_modified.append(entry.Modified);
    m_rights.append(entry.Rights);
    if (!entry.WireName.isEmpty() && entry.WireName != entry.Caption)
        m_wireNames.emplace_back(m_kinds.size(), entry.WireName);
    m_kinds.push_back({*type, entry.ImageIndex});
    m_times.push_back(entry.ModifiedSecs);
}

QString TRemoteEntries::WireName(size_t i) const
{
    const auto found = std::lower_bound(m_wireNames.cbegin(), m_wireNames.cend(), i,
                                        [](const auto& named, size_t entry) { return named.first < entry; });
    return found != m_wireNames.cend() && found->first == i ? found->second : Caption(i);
}

TRemoteEntry TRemoteEntries::At(size_t i) const
{
    return {Caption(i), Size(i), TypeName(i), Modified(i), Rights(i), ImageIndex(i), WireName(i), ModifiedSecs(i)};
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
    m_run->sort = m_sort;
    m_upEntry = -1;
    endResetModel();
}

void TRemoteListModel::sort(int column, Qt::SortOrder order)
{
    const TSort wanted{column >= 0 && column < ColumnCount ? column : -1, order};
    if (wanted == m_sort)
        return;
    m_sort = wanted;
    m_keyLifetime.stop();
    // The worker redoes the order; the rows keep the old one until it is done.
    if (!m_timer.isActive())
        m_timer.start();
    FlushSoon();
}

void TRemoteListModel::Add(TRemoteEntry entry)
{
    if (!m_guessNames && HoldsRawBytes(entry.WireName))
        entry.Caption = DisplayText(entry.WireName, false);
    if (m_upEntry < 0 && entry.Caption == QLatin1String("..") && entry.IsFolder())
        m_upEntry = qint64(m_entries.size());
    m_entries.Add(entry);
    m_keyLifetime.stop();
    if (!m_timer.isActive())
        m_timer.start();
}

bool TRemoteListModel::Unplaced() const
{
    return m_run->order.size() < m_entries.size();
}

bool TRemoteListModel::Stale() const
{
    return Unplaced() || m_run->sort != m_sort;
}

TRemoteListModel::TRank TRemoteListModel::RankOf(size_t entry) const
{
    const qint8 group = qint64(entry) == m_upEntry ? 0 : m_entries.IsFolder(entry) ? 1 : 2;
    switch (m_sort.column) {
    case colSize: return {group, SizeNumber(m_entries.Size(entry))};
    case colModified: return {group, m_entries.ModifiedSecs(entry)};
    default: return {group, 0};
    }
}

void TRemoteListModel::TakeNewCaptions()
{
    if (m_run->sort != m_sort) {
        // Another order: everything is placed afresh, from the old keys' thread.
        m_collator.start([old = std::shared_ptr<TSortRun>(std::move(m_run))]() mutable { old.reset(); });
        m_run = std::make_unique<TSortRun>();
        m_run->sort = m_sort;
    }
    const size_t first = m_run->keys.size();
    m_run->captions = m_entries.CaptionsFrom(first);
    for (size_t i = first; i < m_entries.size(); ++i) {
        if (m_sort.column >= 0)
            m_run->ranks.push_back(RankOf(i));
        if (m_sort.column == colType)
            m_run->columnTexts << m_entries.TypeName(i);
        else if (m_sort.column == colRights)
            m_run->columnTexts << m_entries.Rights(i);
    }
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
    m_collator.start([keys = std::move(m_run->keys), columnKeys = std::move(m_run->columnKeys)]() mutable {
        keys = {};
        columnKeys = {};
    });
    m_run->keys = {};
    m_run->columnKeys = {};
    m_run->ranks = {};
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
    if (Stale())
        StartRun();
    else
        AllPlaced();
}

void TRemoteListModel::Flush()
{
    WaitForRun();
    if (Stale()) {
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
    // An order for a sort given up meanwhile is not shown; the next run makes the new one.
    if (m_run->sort != m_sort || m_run->order == m_order)
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
