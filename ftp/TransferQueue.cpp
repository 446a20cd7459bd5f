#include "ftp/TransferQueue.h"

#include "ftp/FTPClient.h"
#include "net/ScopeExit.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr qint64 kProgressPaceMs = 50;

QString RemoteFolderOf(const QString& path) { return path.left(qMax(1, path.lastIndexOf(u'/'))); }
QString RemoteNameOf(const QString& path) { return path.mid(path.lastIndexOf(u'/') + 1); }
QString LocalNameOf(const QString& path) { return QFileInfo(path).fileName(); }

bool Finished(TTransferState state)
{
    return state == TTransferState::Done || state == TTransferState::Skipped || state == TTransferState::Cancelled;
}

} // namespace

QString FreeFileName(const QString& path, const std::function<bool(const QString&)>& Taken)
{
    const int slash = path.lastIndexOf(u'/');
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    // "archive.tar.gz" keeps its whole suffix; a leading dot is no suffix.
    const int dot = name.indexOf(u'.', 1);
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString candidate = QStringLiteral("%1%2 (%3)%4").arg(folder, stem).arg(n).arg(suffix);
        if (!Taken(candidate))
            return candidate;
    }
}

TTransferQueue::TTransferQueue(TFTPClient& Client) : m_client(Client) {}

void TTransferQueue::Report(const QString& text) const
{
    if (OnReport)
        OnReport(text);
}

void TTransferQueue::Changed(int index) const
{
    if (OnItemChanged)
        OnItemChanged(index);
}

void TTransferQueue::Add(TTransferDirection direction, const QString& local, const QString& remote, bool folder,
                         qint64 size, const QDateTime& modified)
{
    TTransferItem& item = m_items.emplace_back();
    item.TextType = TextType;
    item.Direction = direction;
    item.LocalPath = local;
    item.RemotePath = remote;
    item.Folder = folder;
    item.Size = size;
    item.Modified = modified;
}

// ---------------------------------------------------------------- filling

void TTransferQueue::AddDownload(const QString& RemoteFolder, const QString& Name, bool Folder, qint64 Size,
                                 const QString& LocalFolder, const QString& Shown)
{
    const QString encoding = m_client.NameEncoding;
    const QString local = Shown.isEmpty() ? LocalName(Name, encoding) : Shown;
    if (!IsPlainName(Name) || !IsPlainName(local))
        throw Exception(QStringLiteral("\"%1\" is not a name a file can have here.").arg(Name));
    const QString remote = JoinRemote(RemoteFolder, Name);
    const QString target = QDir(LocalFolder).filePath(local);
    std::vector<TTreeEntry> tree;
    if (Folder) {
        m_listing = true;
        m_stopListing = false;
        const ScopeExit listed([this] { m_listing = false; });
        tree = ListRemoteTree(
            m_client, remote, [this](const QString& t) { Report(t); }, [this] { return m_stopListing; });
    }
    Add(TTransferDirection::Download, target, remote, Folder, Size, {});
    m_items.back().LocalFolder = LocalFolder;
    for (int i = 0; i < int(tree.size()); ++i) {
        const QStringList path = TreePath(tree, i);
        QStringList localPath;
        for (const QString& step : path)
            localPath << LocalName(step, encoding);
        Add(TTransferDirection::Download, target + u'/' + localPath.join(u'/'), remote + u'/' + path.join(u'/'),
            tree[i].Folder, tree[i].Size, tree[i].Modified);
        m_items.back().LocalFolder = LocalFolder;
    }
    if (OnItemsChanged)
        OnItemsChanged();
}

void TTransferQueue::AddUpload(const QString& LocalPath, const QString& RemoteFolder)
{
    const QFileInfo info(LocalPath);
    const QString remote = JoinRemote(RemoteFolder, info.fileName());
    Add(TTransferDirection::Upload, info.absoluteFilePath(), remote, info.isDir(), info.isDir() ? 0 : info.size(),
        info.lastModified().toUTC());
    if (info.isDir()) {
        const std::vector<TTreeEntry> tree = ListLocalTree(LocalPath, [this](const QString& t) { Report(t); });
        for (int i = 0; i < int(tree.size()); ++i) {
            const QString path = TreePath(tree, i).join(u'/');
            Add(TTransferDirection::Upload, info.absoluteFilePath() + u'/' + path, remote + u'/' + path, tree[i].Folder,
                tree[i].Size, tree[i].Modified);
        }
    }
    if (OnItemsChanged)
        OnItemsChanged();
}

// ---------------------------------------------------------------- running

void TTransferQueue::Run()
{
    m_stopAll = false;
    m_madeFolders.clear();
    m_written.clear();
    m_listed.clear();
    // Items may be added or removed while one runs (the event loop goes on):
    // the next waiting one is looked for afresh each time.
    for (;;) {
        const auto next = std::find_if(m_items.begin(), m_items.end(),
                                       [](const TTransferItem& item) { return item.State == TTransferState::Waiting; });
        if (next == m_items.end() || m_stopAll)
            break;
        RunItem(int(next - m_items.begin()));
    }
    m_forAll.reset();
}

// The running item: its index moves when items before it are removed, and its
// address when items are added, so it is looked up at each use.
TTransferItem& TTransferQueue::Current() { return m_items[m_running]; }

void TTransferQueue::RunItem(int index)
{
    m_running = index;
    Current().State = TTransferState::Running;
    Current().Moved = 0;
    m_clock.start();
    Changed(m_running);
    TTransferState outcome = TTransferState::Done;
    QString error;
    try {
        if (!Transfer())
            outcome = TTransferState::Skipped;
    } catch (const EAbortError& e) {
        outcome = Current().State == TTransferState::Cancelled || m_stopAll ? TTransferState::Cancelled
                                                                            : TTransferState::Failed;
        error = e.Message().trimmed();
    } catch (const Exception& e) {
        outcome = TTransferState::Failed;
        error = e.Message().trimmed();
    }
    Current().State = outcome;
    Current().Error = error;
    const int ended = std::exchange(m_running, -1);
    Changed(ended);
}

bool TTransferQueue::Transfer()
{
    const bool down = Current().Direction == TTransferDirection::Download;
    if (Current().Folder) {
        if (down) {
            EnterLocalFolder(Current(), true);
        } else {
            try {
                m_client.MakeDirectory(Current().RemotePath);
                m_madeFolders.insert(Current().RemotePath);
            } catch (const FTPException&) {
                // It may be there already; a file that cannot go into it will say so.
                m_madeFolders.remove(Current().RemotePath);
            }
        }
        return true;
    }
    if (m_client.TextType() != Current().TextType)
        m_client.DoCommand(Current().TextType ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I"));
    if (down)
        m_into = EnterLocalFolder(Current(), false);
    const ScopeExit left([this] { m_into.reset(); });
    bool resume = false;
    if (!Settle(resume))
        return false;
    // The count is kept at every block; it is announced at the first and then a few
    // times a second: a view that repaints per block slowed a fast download eightfold.
    QElapsedTimer announced;
    const auto progress = [this, down, &announced](QObject*) {
        if (m_running < 0)
            return;
        // A server that sends more than it listed must not push the totals past what is queued.
        const qint64 moved = down ? m_client.BytesRecvd() : m_client.BytesSent();
        Current().Moved = Current().Size > 0 ? std::min(moved, Current().Size) : moved;
        if (!announced.isValid() || announced.elapsed() >= kProgressPaceMs) {
            announced.restart();
            Changed(m_running);
        }
    };
    m_client.OnPacketRecvd = progress;
    m_client.OnPacketSent = progress;
    const auto quiet = qScopeGuard([this] {
        m_client.OnPacketRecvd = nullptr;
        m_client.OnPacketSent = nullptr;
    });
    const QString local = Current().LocalPath;
    const QString remote = Current().RemotePath;
    const QDateTime modified = Current().Modified;
    if (down) {
        m_client.Download(remote, *m_into, LocalNameOf(local), resume, modified);
    } else {
        m_client.Upload(local, remote, resume);
        m_written.insert(remote);
        if (const auto listed = m_listed.find(RemoteFolderOf(remote)); listed != m_listed.end())
            listed->insert(RemoteNameOf(remote), TTreeEntry{.Name = RemoteNameOf(remote), .Size = Current().Size, .Modified = {}});
    }
    Current().Moved = Current().Size;
    Current().Checked = m_client.LastCheck;
    return true;
}

// ---------------------------------------------------------------- local folders

TLocalFolder TTransferQueue::EnterLocalFolder(const TTransferItem& item, bool whole) const
{
    // The chosen folder is the user's: it is made when missing, and a link to it is followed.
    const QString chosen = item.LocalFolder.isEmpty() ? QFileInfo(item.LocalPath).path() : item.LocalFolder;
    QDir().mkpath(chosen);
    QStringList steps = QDir(chosen).relativeFilePath(item.LocalPath).split(u'/');
    if (!whole)
        steps.removeLast();
    TLocalFolder folder = TLocalFolder::Open(chosen);
    return steps.isEmpty() ? std::move(folder) : folder.EnterPath(steps, true);
}

bool TTransferQueue::OddTarget() const
{
    const std::optional<TLocalEntry> target = m_into->Entry(LocalNameOf(m_items[m_running].LocalPath));
    return target && !target->OwnFile;
}

// ---------------------------------------------------------------- conflicts

std::optional<TConflict> TTransferQueue::ConflictOf(TTransferItem& item)
{
    TConflict conflict;
    conflict.Item = &item;
    if (item.Direction == TTransferDirection::Download) {
        const QString name = LocalNameOf(item.LocalPath);
        const std::optional<TLocalEntry> target = m_into->Entry(name);
        std::optional<TLocalEntry> partial = m_into->Entry(TFTPClient::PartialNameOf(name));
        if (partial && !partial->OwnFile)
            partial.reset(); // not the user's bytes: the download removes it
        if (!target && !partial)
            return std::nullopt;
        conflict.TargetSize = target ? target->Size : partial->Size;
        conflict.PartOnly = !target;
        // A file named by itself, not found by a listing, has no time yet.
        if (!item.Modified.isValid() && m_client.Supports(QStringLiteral("MDTM")))
            item.Modified = m_client.RemoteModified(item.RemotePath);
        conflict.TargetModified = target ? target->Modified : QDateTime();
        conflict.FreeName = FreeFileName(item.LocalPath, [this](const QString& p) {
            return m_into->Entry(LocalNameOf(p)).has_value();
        });
        // A part as long as the file is completed by a resume, with nothing fetched.
        conflict.CanResume = (conflict.PartOnly ? conflict.TargetSize <= item.Size : conflict.TargetSize < item.Size)
            && !OddTarget();
        return conflict;
    } else {
        const QString folder = item.RemotePath.left(std::max(item.RemotePath.lastIndexOf(u'/'), qsizetype(0)));
        if (m_madeFolders.contains(folder) && !m_written.contains(item.RemotePath))
            return std::nullopt;
        qint64 size = -1;
        if (!RemoteTaken(item.RemotePath, size, conflict.TargetModified))
            return std::nullopt;
        conflict.TargetSize = qMax<qint64>(size, 0);
        conflict.FreeName = FreeFileName(item.RemotePath, [this](const QString& p) {
            qint64 ignored = -1;
            QDateTime unused;
            return RemoteTaken(p, ignored, unused);
        });
    }
    conflict.CanResume = conflict.TargetSize < item.Size;
    return conflict;
}

bool TTransferQueue::RemoteTaken(const QString& path, qint64& size, QDateTime& modified)
{
    const TFTPClient::TRemoteStat stat = m_client.RemoteStat(path);
    if (stat.Known != TFTPClient::TRemoteStat::Unknown) {
        size = stat.Size;
        modified = stat.Modified;
        return stat.Known == TFTPClient::TRemoteStat::Present;
    }
    // Neither "MLST" nor "SIZE" could tell: the folder's listing does.
    const QString folder = path.contains(u'/') ? RemoteFolderOf(path) : QStringLiteral(".");
    auto listed = m_listed.find(folder);
    if (listed == m_listed.end()) {
        // A relative path needs the client back where it was.
        const QString home = folder.startsWith(u'/') ? QString() : m_client.CurrentDir();
        QHash<QString, TTreeEntry> entries;
        for (const TTreeEntry& entry : ListRemoteFolder(m_client, folder))
            entries.insert(entry.Name, entry);
        if (!home.isEmpty())
            m_client.DoCommand(QStringLiteral("CWD ") + home);
        listed = m_listed.insert(folder, entries);
    }
    const auto entry = listed->constFind(RemoteNameOf(path));
    if (entry == listed->constEnd())
        return false;
    size = entry->Size;
    modified = entry->Modified;
    return true;
}

// A kept part that holds every byte of the file and is not older than the server's
// copy is what an earlier attempt left after its last byte (a failed check of the end,
// a dropped connection): it is finished without a question and without a download.
bool TTransferQueue::CompletePart(const TConflict& conflict) const
{
    const TTransferItem& item = *conflict.Item;
    if (!conflict.PartOnly || !conflict.CanResume || item.Size <= 0 || conflict.TargetSize != item.Size)
        return false;
    const std::optional<TLocalEntry> part = m_into->Entry(TFTPClient::PartialNameOf(LocalNameOf(item.LocalPath)));
    return part && (!item.Modified.isValid() || part->Modified >= item.Modified);
}

bool TTransferQueue::Settle(bool& resume)
{
    const std::optional<TConflict> conflict = ConflictOf(Current());
    if (!conflict)
        return true;
    if (CompletePart(*conflict)) {
        resume = true;
        return true;
    }
    TConflictDecision decision;
    if (m_forAll)
        decision = *m_forAll;
    else if (OnConflict)
        decision = OnConflict(*conflict);
    if (decision.ForAll)
        m_forAll = decision;
    TTransferItem& item = Current(); // the question ran the event loop: items may have moved
    switch (decision.Answer) {
    case TConflictAnswer::Overwrite:
        return true;
    case TConflictAnswer::OverwriteIfNewer:
        // Without both times nothing says the source is newer: it is left alone.
        return item.Modified.isValid() && conflict->TargetModified.isValid()
            && item.Modified > conflict->TargetModified;
    case TConflictAnswer::Resume:
        if (item.Direction == TTransferDirection::Download && OddTarget()) {
            Report(QStringLiteral("\"%1\" is not a regular file of yours: it is not continued, the whole file is "
                                  "downloaded.")
                       .arg(item.LocalPath));
            return true;
        }
        if (!conflict->CanResume)
            return false;
        resume = true;
        // A shorter local file is continued the way a kept part is.
        if (item.Direction == TTransferDirection::Download) {
            const QString name = LocalNameOf(item.LocalPath);
            if (m_into->Entry(name) && !m_into->Entry(TFTPClient::PartialNameOf(name)))
                m_into->Rename(name, TFTPClient::PartialNameOf(name));
        }
        return true;
    case TConflictAnswer::Rename: {
        // A download stays in the folder entered for it.
        if (item.Direction == TTransferDirection::Download && !decision.NewName.isEmpty()
            && !IsPlainName(decision.NewName))
            throw Exception(QStringLiteral("\"%1\" is not a name a file can have here.").arg(decision.NewName));
        const QString name = decision.NewName.isEmpty() ? conflict->FreeName
                                                         : (item.Direction == TTransferDirection::Download
                                                                ? QFileInfo(item.LocalPath).dir().filePath(decision.NewName)
                                                                : JoinRemote(RemoteFolderOf(item.RemotePath), decision.NewName));
        (item.Direction == TTransferDirection::Download ? item.LocalPath : item.RemotePath) = name;
        Report(QStringLiteral("\"%1\" goes to \"%2\".").arg(RemoteNameOf(item.RemotePath), name));
        return true;
    }
    case TConflictAnswer::Skip:
        return false;
    }
    return false;
}

// ---------------------------------------------------------------- the user's hand

void TTransferQueue::Cancel(int Index)
{
    if (Index < 0 || Index >= int(m_items.size()))
        return;
    TTransferItem& item = m_items[Index];
    if (item.State == TTransferState::Waiting || item.State == TTransferState::Running) {
        const bool running = item.State == TTransferState::Running;
        item.State = TTransferState::Cancelled;
        Changed(Index);
        if (running)
            m_client.Abort();
    }
}

void TTransferQueue::StopListing()
{
    if (!m_listing)
        return;
    m_stopListing = true;
    m_client.Abort();
}

void TTransferQueue::CancelAll()
{
    m_stopAll = true;
    StopListing();
    for (int i = 0; i < int(m_items.size()); ++i)
        Cancel(i);
}

void TTransferQueue::RetryFailed()
{
    for (int i = 0; i < int(m_items.size()); ++i) {
        TTransferItem& item = m_items[i];
        if (item.State == TTransferState::Failed || item.State == TTransferState::Cancelled) {
            item.State = TTransferState::Waiting;
            item.Error.clear();
            item.Moved = 0;
            Changed(i);
        }
    }
}

void TTransferQueue::RemoveFinished()
{
    std::erase_if(m_items, [](const TTransferItem& item) { return Finished(item.State); });
    if (m_running >= 0)
        m_running = int(std::find_if(m_items.begin(), m_items.end(),
                                     [](const TTransferItem& item) { return item.State == TTransferState::Running; })
                        - m_items.begin());
    if (OnItemsChanged)
        OnItemsChanged();
}

// ---------------------------------------------------------------- totals

qint64 TTransferQueue::TotalBytes() const
{
    qint64 total = 0;
    for (const TTransferItem& item : m_items)
        if (item.State != TTransferState::Skipped && item.State != TTransferState::Cancelled)
            total += item.Size;
    return total;
}

qint64 TTransferQueue::MovedBytes() const
{
    qint64 moved = 0;
    // Against TotalBytes: skipped and cancelled items count in neither.
    for (const TTransferItem& item : m_items)
        if (item.State != TTransferState::Skipped && item.State != TTransferState::Cancelled)
            moved += item.State == TTransferState::Done ? item.Size : item.Moved;
    return moved;
}

double TTransferQueue::Speed() const
{
    if (m_running < 0 || m_clock.elapsed() <= 0)
        return 0;
    return double(m_items[m_running].Moved) * 1000.0 / double(m_clock.elapsed());
}

std::optional<qint64> TTransferQueue::SecondsLeft() const
{
    const double speed = Speed();
    if (speed <= 0)
        return std::nullopt;
    const TTransferItem& item = m_items[m_running];
    return qint64(double(qMax<qint64>(0, item.Size - item.Moved)) / speed + 0.5);
}
