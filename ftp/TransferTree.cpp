#include "ftp/TransferTree.h"

#include "ftp/DirectoryList.h"
#include "ftp/FTPClient.h"
#include "ftp/WireText.h"
#include "net/ScopeExit.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <optional>

namespace {

// One line of a listing as the walk needs it; none for lines that are no entry.
struct TListedEntry {
    QString Name;
    TListedType Type = TListedType::File;
    qint64 Size = 0;
    QDateTime Modified;
};

std::optional<TListedEntry> MachineEntry(const QString& line)
{
    const std::optional<TMachineListLine> parsed = ParseMachineListLine(line);
    if (!parsed)
        return std::nullopt;
    return TListedEntry{parsed->Name, parsed->Type, parsed->Size.toLongLong(), MachineListTime(parsed->Modify)};
}

std::optional<TListedEntry> LongListEntry(const QString& line)
{
    if (const std::optional<TWindowsListLine> windows = ParseWindowsListLine(line))
        return TListedEntry{windows->Name, windows->Folder ? TListedType::Folder : TListedType::File,
                            windows->Size.toLongLong(), {}};
    // The column parser of the listing view takes a name's last word only; a walk
    // needs the whole name, spaces and all.
    const std::optional<TUnixListLine> unix = ParseUnixListLine(line);
    if (!unix)
        return std::nullopt;
    const QChar kind = unix->Rights.front().toLower();
    const TListedType type = kind == u'd' ? TListedType::Folder : kind == u'l' ? TListedType::Link : TListedType::File;
    return TListedEntry{UnixLinkName(unix->Rights, unix->Name), type, unix->Size.toLongLong(), {}};
}

// The entries of one remote folder, by name; the client is left in it.
std::vector<TListedEntry> ListedEntries(TFTPClient& client, const QString& folder)
{
    client.DoCommand(QStringLiteral("CWD ") + folder);
    QStringList lines;
    client.OnListItem = [&lines](const QString& line) { lines << line; };
    client.List();
    client.OnListItem = nullptr;
    std::vector<TListedEntry> listed;
    for (const QString& line : lines)
        if (std::optional<TListedEntry> entry = client.MachineListings() ? MachineEntry(line) : LongListEntry(line))
            listed.push_back(std::move(*entry));
    // The server's order is its own: by name, as a folder is shown.
    std::sort(listed.begin(), listed.end(), [](const TListedEntry& a, const TListedEntry& b) { return a.Name < b.Name; });
    return listed;
}

// Whether the trail's last folders are one run of names repeated MaxTreeRepeats times.
bool Repeats(const QStringList& trail)
{
    for (qsizetype run = 1; run * MaxTreeRepeats <= trail.size(); ++run) {
        bool periodic = true;
        for (qsizetype i = trail.size() - run * (MaxTreeRepeats - 1); i < trail.size() && periodic; ++i)
            periodic = trail[i] == trail[i - run];
        if (periodic)
            return true;
    }
    return false;
}

// A walk down a remote tree, folder by folder.
class TRemoteWalk {
public:
    TRemoteWalk(TFTPClient& client, const QString& root, const TTreeReport& report, const std::function<bool()>& stopped,
                TTreeLinks links)
        : m_client(client), m_root(root), m_report(report), m_stopped(stopped), m_links(links)
    {
    }

    void Walk(const QString& folder, int parent);
    bool Stopped() const { return m_stopped && m_stopped(); }
    std::vector<TTreeEntry>& Entries() { return m_entries; }

private:
    void CheckBounds(const QString& folder) const;

    TFTPClient& m_client;
    const QString m_root;
    const TTreeReport& m_report;
    const std::function<bool()>& m_stopped;
    const TTreeLinks m_links;
    std::vector<TTreeEntry> m_entries;
    QStringList m_trail; // the names from the root down to the folder being walked
};

void TRemoteWalk::CheckBounds(const QString& folder) const
{
    if (Stopped())
        throw EAbortError(QStringLiteral("The listing of \"%1\" was stopped.").arg(m_root));
    if (m_trail.size() > MaxTreeDepth)
        throw Exception(QStringLiteral("The folder \"%1\" goes deeper than %2 folders, as no real tree does: the "
                                       "listing stops there.")
                            .arg(m_root)
                            .arg(MaxTreeDepth));
    if (Repeats(m_trail))
        throw Exception(QStringLiteral("The folders below \"%1\" repeat without end (%2): the server lists an "
                                       "endless tree, so the listing stops there.")
                            .arg(m_root, folder));
}

void TRemoteWalk::Walk(const QString& folder, int parent)
{
    CheckBounds(folder);
    std::vector<int> folders;
    for (const TListedEntry& entry : ListedEntries(m_client, folder)) {
        if (entry.Type == TListedType::ThisFolder || entry.Type == TListedType::ParentFolder
            || (!m_client.MachineListings() && (entry.Name == u'.' || entry.Name == QStringLiteral(".."))))
            continue;
        if (!IsPlainName(entry.Name)) {
            m_report(QStringLiteral("Left out \"%1\" in %2: not a name a file can have here.").arg(entry.Name, folder));
            continue;
        }
        if (entry.Type == TListedType::Link) {
            if (m_links == TTreeLinks::Keep)
                m_entries.push_back({parent, entry.Name, false, 0, entry.Modified, true});
            else
                m_report(QStringLiteral("Left out the link \"%1\" in %2: links are not followed.").arg(entry.Name, folder));
            continue;
        }
        const bool isFolder = entry.Type == TListedType::Folder;
        m_entries.push_back({parent, entry.Name, isFolder, isFolder ? 0 : entry.Size, entry.Modified});
        if (isFolder)
            folders.push_back(int(m_entries.size()) - 1);
    }
    for (const int index : folders) {
        const QString name = m_entries[index].Name;
        m_trail.push_back(name);
        Walk(JoinRemote(folder, name), index);
        m_trail.removeLast();
    }
}

void WalkLocal(const QString& folder, int parent, std::vector<TTreeEntry>& entries, const TTreeReport& report)
{
    QFileInfoList infos = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    // By name, so that names go in order and a folder comes before what it holds.
    std::sort(infos.begin(), infos.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.fileName() < b.fileName(); });
    for (const QFileInfo& info : infos) {
        // A linked folder is listed as an entry, never entered.
        if (info.isSymLink()) {
            report(QStringLiteral("Left out the link \"%1\": links are not followed.").arg(info.filePath()));
            continue;
        }
        if (!info.isDir() && !info.isFile()) {
            report(QStringLiteral("Left out \"%1\": not a file or a folder.").arg(info.filePath()));
            continue;
        }
        entries.push_back({parent, info.fileName(), info.isDir(), info.isDir() ? 0 : info.size(),
                           info.lastModified().toUTC()});
        if (info.isDir())
            WalkLocal(info.filePath(), int(entries.size()) - 1, entries, report);
    }
}

} // namespace

QString JoinRemote(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool IsPlainName(const QString& name)
{
    return !name.isEmpty() && name != u'.' && name != QStringLiteral("..") && !name.contains(u'/')
        && !name.contains(QChar(0));
}

QString LocalName(const QString& wireName, const QString& encoding)
{
    return DisplayText(wireName, encoding.isEmpty());
}

QStringList TreePath(const std::vector<TTreeEntry>& entries, int index)
{
    QStringList path;
    for (; index >= 0; index = entries[index].Parent)
        path.prepend(entries[index].Name);
    return path;
}

std::vector<TTreeEntry> ListRemoteTree(TFTPClient& Client, const QString& Folder, const TTreeReport& Report,
                                       const std::function<bool()>& Stopped, TTreeLinks Links)
{
    TRemoteWalk walk(Client, Folder, Report, Stopped, Links);
    {
        const ScopeExit restore([&Client, listItem = Client.OnListItem, machine = Client.MachineListingsWanted,
                                 parse = Client.ParseList] {
            Client.OnListItem = listItem;
            Client.MachineListingsWanted = machine;
            Client.ParseList = parse;
        });
        if (Links == TTreeLinks::Keep) {
            Client.MachineListingsWanted = false;
            Client.ParseList = false; // the parser made for the client's own listings stays theirs
        }
        try {
            walk.Walk(Folder, -1);
        } catch (const EAbortError&) {
            if (!walk.Stopped())
                throw;
            // The wait the stop ended says only that it ended.
            throw EAbortError(QStringLiteral("The listing of \"%1\" was stopped.").arg(Folder));
        }
    }
    Client.DoCommand(QStringLiteral("CWD ") + Folder);
    return std::move(walk.Entries());
}

std::vector<TTreeEntry> ListRemoteFolder(TFTPClient& Client, const QString& Folder)
{
    const TListItemEvent listItem = Client.OnListItem;
    const auto restore = qScopeGuard([&] { Client.OnListItem = listItem; });
    std::vector<TTreeEntry> entries;
    for (const TListedEntry& entry : ListedEntries(Client, Folder))
        if (entry.Type != TListedType::ThisFolder && entry.Type != TListedType::ParentFolder)
            entries.push_back({.Name = entry.Name,
                               .Folder = entry.Type == TListedType::Folder,
                               .Size = entry.Size,
                               .Modified = entry.Modified});
    return entries;
}

std::vector<TTreeEntry> ListLocalTree(const QString& Folder, const TTreeReport& Report)
{
    std::vector<TTreeEntry> entries;
    WalkLocal(Folder, -1, entries, Report);
    return entries;
}
