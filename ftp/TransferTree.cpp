#include "ftp/TransferTree.h"

#include "ftp/DirectoryList.h"
#include "ftp/FTPClient.h"
#include "ftp/WireText.h"

#include <QDir>
#include <QDirIterator>
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
    // A link's line ends "name -> target".
    const QString name = type == TListedType::Link ? unix->Name.section(QStringLiteral(" -> "), 0, 0) : unix->Name;
    return TListedEntry{name, type, unix->Size.toLongLong(), {}};
}

QString JoinRemote(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
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

void WalkRemote(TFTPClient& client, const QString& folder, const QStringList& path, std::vector<TTreeEntry>& entries,
                const TTreeReport& report)
{
    const std::vector<TListedEntry> listed = ListedEntries(client, folder);
    std::vector<QString> folders;
    for (const TListedEntry& entry : listed) {
        if (entry.Type == TListedType::ThisFolder || entry.Type == TListedType::ParentFolder
            || (!client.MachineListings() && (entry.Name == u'.' || entry.Name == QStringLiteral(".."))))
            continue;
        if (!IsPlainName(entry.Name)) {
            report(QStringLiteral("Left out \"%1\" in %2: not a name a file can have here.").arg(entry.Name, folder));
            continue;
        }
        if (entry.Type == TListedType::Link) {
            report(QStringLiteral("Left out the link \"%1\" in %2: links are not followed.").arg(entry.Name, folder));
            continue;
        }
        const bool isFolder = entry.Type == TListedType::Folder;
        entries.push_back({path + QStringList{entry.Name}, isFolder, isFolder ? 0 : entry.Size, entry.Modified});
        if (isFolder)
            folders.push_back(entry.Name);
    }
    for (const QString& name : folders)
        WalkRemote(client, JoinRemote(folder, name), path + QStringList{name}, entries, report);
}

} // namespace

bool IsPlainName(const QString& name)
{
    return !name.isEmpty() && name != u'.' && name != QStringLiteral("..") && !name.contains(u'/')
        && !name.contains(QChar(0));
}

QString LocalName(const QString& wireName, const QString& encoding)
{
    return DisplayText(wireName, encoding.isEmpty());
}

std::vector<TTreeEntry> ListRemoteTree(TFTPClient& Client, const QString& Folder, const TTreeReport& Report)
{
    std::vector<TTreeEntry> entries;
    const TListItemEvent listItem = Client.OnListItem;
    try {
        WalkRemote(Client, Folder, {}, entries, Report);
    } catch (...) {
        Client.OnListItem = listItem;
        throw;
    }
    Client.OnListItem = listItem;
    Client.DoCommand(QStringLiteral("CWD ") + Folder);
    return entries;
}

std::vector<TTreeEntry> ListRemoteFolder(TFTPClient& Client, const QString& Folder)
{
    const TListItemEvent listItem = Client.OnListItem;
    const auto restore = qScopeGuard([&] { Client.OnListItem = listItem; });
    std::vector<TTreeEntry> entries;
    for (const TListedEntry& entry : ListedEntries(Client, Folder))
        if (entry.Type != TListedType::ThisFolder && entry.Type != TListedType::ParentFolder)
            entries.push_back({{entry.Name}, entry.Type == TListedType::Folder, entry.Size, entry.Modified});
    return entries;
}

std::vector<TTreeEntry> ListLocalTree(const QString& Folder, const TTreeReport& Report)
{
    std::vector<TTreeEntry> entries;
    const QDir root(Folder);
    // Without FollowSymlinks a linked folder is listed as an entry, never entered.
    QDirIterator it(Folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink()) {
            Report(QStringLiteral("Left out the link \"%1\": links are not followed.").arg(info.filePath()));
            continue;
        }
        if (!info.isDir() && !info.isFile()) {
            Report(QStringLiteral("Left out \"%1\": not a file or a folder.").arg(info.filePath()));
            continue;
        }
        entries.push_back({root.relativeFilePath(info.filePath()).split(u'/'), info.isDir(),
                           info.isDir() ? 0 : info.size(), info.lastModified().toUTC()});
    }
    // The iterator's order is the file system's: by path instead, so that a
    // folder comes before what it holds and names go in order.
    std::sort(entries.begin(), entries.end(), [](const TTreeEntry& a, const TTreeEntry& b) {
        return std::lexicographical_compare(a.Path.begin(), a.Path.end(), b.Path.begin(), b.Path.end());
    });
    return entries;
}
