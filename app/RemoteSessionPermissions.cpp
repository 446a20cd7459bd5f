// The session's "Permissions" and "Copy address": Unix rights set with "SITE CHMOD"
// on the browsing connection, into folders' contents when asked, and the selected
// entries' addresses.
#include "app/Dialogs.h"
#include "app/RemoteAddress.h"
#include "app/RemoteListModel.h"
#include "app/RemoteSession.h"
#include "ftp/FTPClient.h"
#include "ftp/TransferTree.h"

#include <exception>

namespace {

// Replies of a server that does not know the command at all, rather than refusing it for one entry.
bool UnknownCommand(int reply)
{
    return reply == 500 || reply == 502 || reply == 504;
}

TPermissionsRequest PermissionsRequest(const std::vector<TRemoteEntry>& entries)
{
    TPermissionsRequest request;
    request.Mode = ModeFromRights(entries.front().Rights);
    request.Default = entries.front().IsFolder() ? 0755 : 0644;
    for (const TRemoteEntry& entry : entries) {
        request.Names << entry.Caption;
        request.Mixed = request.Mixed || ModeFromRights(entry.Rights) != request.Mode;
        request.HasFolder = request.HasFolder || entry.IsFolder();
    }
    return request;
}

bool InScope(TPermissionsScope scope, bool folder)
{
    return scope == TPermissionsScope::Everything || (scope == TPermissionsScope::FoldersOnly) == folder;
}

// Runs `step`, keeping the first failure of several steps for the end.
template <typename F>
void KeepFailure(std::exception_ptr& failure, F step)
{
    try {
        step();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
}

} // namespace

// One "SITE CHMOD" per entry. A refusal of one entry does not stop the others: they
// are named together at the end. A server that does not know the command stops it all
// at the first, said once.
class TModeChanges {
public:
    TModeChanges(TFTPClient& client, int mode) : m_client(client), m_mode(OctalModeText(mode)) {}

    void Change(const QString& wireName, const QString& shown)
    {
        try {
            m_client.DoCommand(QStringLiteral("SITE CHMOD %1 %2").arg(m_mode, wireName));
            ++m_changed;
        } catch (const FTPException&) {
            const QString reply = m_client.LastReply.trimmed();
            if (UnknownCommand(m_client.ReplyNumber))
                throw Exception(QStringLiteral("The server does not allow changing permissions.\n\nIt answered: ") + reply);
            m_refused << QStringLiteral("%1: %2").arg(shown, reply);
        }
    }
    int Changed() const { return m_changed; }
    const QString& Mode() const { return m_mode; }
    void ThrowRefusals() const
    {
        if (m_refused.isEmpty())
            return;
        constexpr int shownAtMost = 10;
        QStringList lines = m_refused.mid(0, shownAtMost);
        if (m_refused.size() > shownAtMost)
            lines << QStringLiteral("... and %1 more").arg(m_refused.size() - shownAtMost);
        throw Exception(QStringLiteral("The server refused to change the permissions of %1 of %2 entries:\n")
                            .arg(m_refused.size())
                            .arg(m_refused.size() + m_changed)
                        + lines.join(u'\n'));
    }

private:
    TFTPClient& m_client;
    QString m_mode;
    QStringList m_refused;
    int m_changed = 0;
};

std::vector<TRemoteEntry> TRemoteSession::SelectedEntries() const
{
    std::vector<TRemoteEntry> entries;
    for (const QPersistentModelIndex& row : SelectedRemoteRows())
        if (TRemoteEntry entry = m_model->Entry(row.row()); !entry.IsWayUp())
            entries.push_back(std::move(entry));
    return entries;
}

void TRemoteSession::ChangePermissions()
{
    const std::vector<TRemoteEntry> entries = SelectedEntries();
    if (entries.empty())
        return;
    const std::optional<TPermissionsChoice> choice = m_window.Dialogs().AskPermissions(PermissionsRequest(entries));
    if (!choice)
        return;
    const QString folder = RemoteFolderPath();
    TModeChanges changes(*m_client, choice->Mode);
    std::exception_ptr failure;
    {
        const TTreeWork work(*this);
        KeepFailure(failure, [&] {
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (OnStatusText)
                    OnStatusText(QStringLiteral("Setting permissions of %1 (%2 of %3)...")
                                     .arg(entries[i].Caption)
                                     .arg(i + 1)
                                     .arg(entries.size()));
                ChangePermissionsOf(changes, entries[i], *choice, folder);
                ShowProgress(qint64(i) + 1, qint64(entries.size()));
            }
        });
    }
    Log(QStringLiteral("Permissions set to %1 on %2 entries").arg(changes.Mode()).arg(changes.Changed()));
    if (m_client->Connected)
        KeepFailure(failure, [this] { Refresh(); });
    if (failure)
        std::rethrow_exception(failure);
    changes.ThrowRefusals();
}

void TRemoteSession::ChangePermissionsOf(TModeChanges& changes, const TRemoteEntry& entry,
                                         const TPermissionsChoice& choice, const QString& folder)
{
    if (!entry.IsFolder() || !choice.Recursive) {
        changes.Change(entry.WireName, entry.Caption);
        return;
    }
    const QString root = JoinRemote(folder, entry.WireName);
    try {
        ChangePermissionsInside(changes, entry, choice, root);
    } catch (...) {
        // Stopped or failed half-way, the client is in another folder: back to the listed one,
        // with the first failure the one to report.
        std::exception_ptr failure = std::current_exception();
        if (m_client->Connected)
            KeepFailure(failure, [&] { m_client->DoCommand(QStringLiteral("CWD ") + folder); });
        std::rethrow_exception(failure);
    }
    m_client->DoCommand(QStringLiteral("CWD ") + folder);
    if (choice.Scope != TPermissionsScope::FilesOnly)
        changes.Change(entry.WireName, entry.Caption);
}

void TRemoteSession::ChangePermissionsInside(TModeChanges& changes, const TRemoteEntry& entry,
                                             const TPermissionsChoice& choice, const QString& root)
{
    // Links are listed as what they are, so that none is entered: the rights of what
    // a link points to, outside the tree, are not the user's choice here.
    const std::vector<TTreeEntry> tree = ListRemoteTree(
        *m_client, root, [this](const QString& text) { Log(text); },
        [this] { return m_stopRequested || m_closePending; }, TTreeLinks::Keep);
    // Contents before their folder, so that a folder losing its execute right is done last.
    for (std::size_t i = tree.size(); i-- > 0;) {
        if (tree[i].Link || !InScope(choice.Scope, tree[i].Folder))
            continue;
        const QString path = TreePath(tree, int(i)).join(u'/');
        if (OnStatusText)
            OnStatusText(QStringLiteral("Setting permissions inside %1: %2 of %3...")
                             .arg(entry.Caption)
                             .arg(tree.size() - i)
                             .arg(tree.size()));
        changes.Change(JoinRemote(root, path), entry.Caption + u'/' + path);
        ShowProgress(qint64(tree.size() - i), qint64(tree.size()));
    }
}

QString TRemoteSession::SelectedAddresses()
{
    const TAddressOrigin origin{.Host = m_client->Host,
                                .Port = m_client->Port,
                                .User = m_client->UserID,
                                .ImplicitTls = m_client->Security == TSecurity::ImplicitTls,
                                .LoginFolder = m_loginFolder.isEmpty() ? QStringLiteral("/") : m_loginFolder};
    const QString folder = RemoteFolderPath();
    QStringList lines;
    for (const TRemoteEntry& entry : SelectedEntries())
        lines << RemoteEntryAddress(origin, JoinRemote(folder, entry.Name()));
    return lines.join(u'\n');
}
