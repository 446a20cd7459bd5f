#include "app/RemoteDelete.h"

#include "ftp/FTPClient.h"
#include "ftp/TransferTree.h"

#include <algorithm>

TRemoteDelete::TRemoteDelete(TFTPClient& client, QString folder, TEvents events)
    : m_client(client), m_folder(std::move(folder)), m_events(std::move(events))
{
}

void TRemoteDelete::Plan(const std::vector<TRemoteEntry>& selected)
{
    const bool walks =
        std::any_of(selected.begin(), selected.end(), [](const TRemoteEntry& entry) { return entry.IsFolder(); });
    try {
        for (const TRemoteEntry& entry : selected) {
            if (entry.IsFolder()) {
                PlanFolder(entry);
                continue;
            }
            m_targets.push_back({.Caption = entry.Caption});
            m_deletions.push_back({entry.WireName, entry.Caption, false});
        }
    } catch (...) {
        // The commands that follow name entries from the folder shown: the client
        // must not stay in a folder of the tree, whatever ended the walk.
        try {
            if (walks)
                ReturnToFolder();
        } catch (const Exception&) {
            // The first failure is the one to tell.
        }
        throw;
    }
    if (walks)
        ReturnToFolder();
}

void TRemoteDelete::PlanFolder(const TRemoteEntry& entry)
{
    std::vector<TTreeEntry> tree;
    try {
        tree = ListRemoteTree(m_client, JoinRemote(m_folder, entry.WireName), m_events.Report, m_events.Stopped,
                              TTreeLinks::Keep);
    } catch (const FTPException& refusal) {
        throw FTPException(
            QStringLiteral("The folder \"%1\" could not be listed: %2").arg(entry.Caption, refusal.Message().trimmed()));
    }
    TDeleteTarget target{.Caption = entry.Caption, .Folder = true};
    // A folder's entry comes before its contents, so each path extends one made already.
    std::vector<TDeletion> paths(tree.size());
    for (size_t i = 0; i < tree.size(); ++i) {
        const int parent = tree[i].Parent;
        const QString& wireFolder = parent < 0 ? entry.WireName : paths[size_t(parent)].WirePath;
        const QString& shownFolder = parent < 0 ? entry.Caption : paths[size_t(parent)].Shown;
        paths[i] = {wireFolder + u'/' + tree[i].Name,
                    shownFolder + u'/' + LocalName(tree[i].Name, m_client.NameEncoding), tree[i].Folder};
        ++(tree[i].Folder ? target.Folders : target.Files);
    }
    // Backwards, everything a folder holds goes before the folder itself.
    m_deletions.insert(m_deletions.end(), std::make_move_iterator(paths.rbegin()),
                       std::make_move_iterator(paths.rend()));
    m_deletions.push_back({entry.WireName, entry.Caption, true});
    m_targets.push_back(target);
}

void TRemoteDelete::ReturnToFolder()
{
    m_client.DoCommand(QStringLiteral("CWD ") + m_folder);
}

void TRemoteDelete::Run()
{
    const qsizetype total = qsizetype(m_deletions.size());
    if (m_events.Progress)
        m_events.Progress(0, total);
    for (const TDeletion& deletion : m_deletions) {
        CheckStopped();
        if (m_events.Deleting)
            m_events.Deleting(deletion);
        Delete(deletion);
        ++m_done;
        if (m_events.Progress)
            m_events.Progress(m_done, total);
    }
}

void TRemoteDelete::Delete(const TDeletion& deletion)
{
    try {
        if (deletion.Folder)
            m_client.RemoveDirectory(deletion.WirePath);
        else
            m_client.Delete(deletion.WirePath);
    } catch (const FTPException& refusal) {
        throw FTPException(QStringLiteral("Could not delete %1\"%2\": %3")
                               .arg(deletion.Folder ? QStringLiteral("the folder ") : QString(), deletion.Shown,
                                    refusal.Message().trimmed()));
    } catch (const EAbortError&) {
        CheckStopped(); // the wait that Stop ended says only that it ended
        throw;
    }
}

void TRemoteDelete::CheckStopped() const
{
    if (m_events.Stopped && m_events.Stopped())
        throw EAbortError(QStringLiteral("The delete was stopped: %1 of %2 entries deleted.")
                              .arg(m_done)
                              .arg(m_deletions.size()));
}
