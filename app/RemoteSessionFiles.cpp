// The session's files: the listing turned into rows, entering folders, the
// transfer loops, and deleting, renaming and creating remote files and folders.
#include "app/Dialogs.h"
#include "app/EntryQuestions.h"
#include "app/RemoteDelete.h"
#include "app/RemoteFileTypes.h"
#include "app/RemoteListModel.h"
#include "app/RemoteSession.h"
#include "app/Sounds.h"
#include "app/TransferNames.h"
#include "app/TransferRunner.h"
#include "app/ViewSelection.h"
#include "ftp/FTPClient.h"
#include "ftp/TransferTree.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

// Taken before the first command: the list may be reloaded while they run.
std::vector<TRemoteEntry> EntriesOf(const TRemoteListModel& model, const QList<QPersistentModelIndex>& rows)
{
    std::vector<TRemoteEntry> entries;
    for (const QPersistentModelIndex& row : rows)
        entries.push_back(model.Entry(row.row()));
    return entries;
}

} // namespace

void TRemoteSession::Refresh()
{
    m_model->Clear();
    m_remoteTypes->Reset();
    m_model->Add(UpEntry());
    // The client's parser keeps the last listing's columns until the next one starts;
    // handing them to the background spares the window the pause of freeing them.
    if (TFTPDirectoryList* parsed = m_client->FTPDirectoryList())
        m_disposer.Dispose(std::move(parsed->Rights), std::move(parsed->Names), std::move(parsed->ModifiedDates),
                           std::move(parsed->Sizes));
    Busy = true;
    m_client->List();
}

void TRemoteSession::ListItem(const QString& Listing)
{
    if (const auto fields = ParseListItem(Listing))
        m_model->Add(LayoutEntry(*fields, [this](const QString& name) { return GetRemoteFileInfo(name); }));
}

TRemoteFileInfo TRemoteSession::GetRemoteFileInfo(const QString& FileName)
{
    return m_remoteTypes->GetRemoteFileInfo(FileName, [this](const QString& line) { Log(line); });
}

QList<QPersistentModelIndex> TRemoteSession::SelectedRemoteRows() const
{
    m_model->Flush();
    return SelectedRowsInOrder(*m_selection);
}

void TRemoteSession::OpenSelected()
{
    const QList<QPersistentModelIndex> selected = SelectedRemoteRows();
    if (selected.isEmpty())
        return;
    const TRemoteEntry entry = m_model->Entry(selected.first().row());
    if (entry.IsFolder()) {
        EnterFolder(entry.Caption, entry.WireName);
        return;
    }
    m_window.Sounds().Play(TSound::Question);
    if (!m_window.Dialogs().Confirm(QStringLiteral("Download ") + entry.Caption))
        return;
    QueueDownloads({entry});
}

void TRemoteSession::OpenParent()
{
    EnterFolder(QStringLiteral(".."), QStringLiteral(".."));
}

void TRemoteSession::EnterFolder(const QString& caption, const QString& wireName)
{
    // The log names the folder as the list shows it; the server gets its own bytes.
    Log(QStringLiteral("CWD ./") + caption);
    m_client->DoCommand(QStringLiteral("CWD ./") + wireName);
}

void TRemoteSession::Upload()
{
    const QStringList names = m_window.SelectedLocalNames();
    const QString only = names.size() == 1 ? names.first() : QString();
    const bool folder = !only.isEmpty() && QFileInfo(QDir(m_window.LocalFolder()).filePath(only)).isDir();
    m_window.Sounds().Play(TSound::Question);
    if (!m_window.Dialogs().Confirm(TransferQuestion(QStringLiteral("Upload"), names.size(), only, folder)))
        return;
    QueueUploads(names);
    for (const QString& name : names)
        m_window.DeselectLocal(name);
}

void TRemoteSession::Download()
{
    const QList<QPersistentModelIndex> rows = SelectedRemoteRows();
    const std::vector<TRemoteEntry> entries = EntriesOf(*m_model, rows);
    const bool one = entries.size() == 1;
    m_window.Sounds().Play(TSound::Question);
    if (!m_window.Dialogs().Confirm(TransferQuestion(QStringLiteral("Download"), rows.size(),
                                                     one ? entries.front().Caption : QString(),
                                                     one && entries.front().IsFolder())))
        return;
    QueueDownloads(entries);
    for (const QPersistentModelIndex& row : rows)
        Deselect(*m_selection, row);
}

void TRemoteSession::DeleteSelected()
{
    std::vector<TRemoteEntry> entries = EntriesOf(*m_model, SelectedRemoteRows());
    // The way up names the folder above, and a name with "/" (a hostile listing)
    // another folder: neither is the user's to delete from here.
    std::erase_if(entries, [this](const TRemoteEntry& entry) {
        if (IsPlainName(entry.WireName))
            return false;
        if (entry.Caption != QStringLiteral(".."))
            Log(QStringLiteral("Left out \"%1\": not a name a file can have here.").arg(entry.Caption));
        return true;
    });
    if (!entries.empty())
        DeleteEntries(entries);
}

// The selected folders' trees are listed first, for the question's counts; what
// the server has then is shown in every case, also after a refusal or Stop.
void TRemoteSession::DeleteEntries(const std::vector<TRemoteEntry>& entries)
{
    const bool folders = std::any_of(entries.begin(), entries.end(), [](const TRemoteEntry& e) { return e.IsFolder(); });
    const QString folder = folders ? RemoteFolderPath() : QString();
    if (folders && folder.isEmpty())
        throw Exception(QStringLiteral("The server did not say which folder it is in: its folders cannot be deleted "
                                       "whole."));
    TRemoteDelete deletion(*m_client, folder, DeleteEvents());
    try {
        {
            const TTreeWork work(*this);
            if (folders && OnStatusText)
                OnStatusText(QStringLiteral("Counting the entries to delete..."));
            deletion.Plan(entries);
        }
        if (folders && OnStatusCleared) // counted: the question says what was found
            OnStatusCleared();
        m_window.Sounds().Play(TSound::Question);
        if (!m_window.Dialogs().Confirm(DeleteQuestion(deletion.Targets())))
            return;
        m_shownPercent = -1;
        const TTreeWork work(*this);
        deletion.Run();
    } catch (const EAbortError& stop) {
        if (m_closePending || !m_stopRequested) {
            RefreshAfterFailure();
            throw;
        }
        Log(stop.Message());
    } catch (...) {
        RefreshAfterFailure();
        throw;
    }
    Refresh();
}

TRemoteDelete::TEvents TRemoteSession::DeleteEvents()
{
    return {.Report = [this](const QString& text) { Log(text); },
            .Stopped = [this] { return m_stopRequested || m_closePending; },
            .Deleting =
                [this](const TDeletion& next) {
                    if (OnStatusText)
                        OnStatusText(QStringLiteral("Deleting ") + next.Shown + QStringLiteral("..."));
                },
            .Progress = [this](qsizetype done, qsizetype total) { ShowProgress(done, total); }};
}

void TRemoteSession::RefreshAfterFailure()
{
    if (m_closePending) // the window goes: nothing to show
        return;
    try {
        Refresh();
    } catch (const Exception&) {
        // The failure that ended the command is the one to show.
    }
}

void TRemoteSession::RenameSelected()
{
    for (const TRemoteEntry& entry : EntriesOf(*m_model, SelectedRemoteRows())) {
        QString newName = entry.Name();
        if (!m_window.Dialogs().InputBox(QStringLiteral("Rename "),
                                         QStringLiteral("Rename ") + entry.Caption + QStringLiteral(" to:"), newName))
            continue;
        // A name left as shown keeps the server's bytes, which the shown text may not spell.
        m_client->Rename(entry.WireName, newName == entry.Name() ? entry.WireName : newName);
    }
    Refresh();
}

void TRemoteSession::MakeDirectory()
{
    QString name = QStringLiteral("New folder");
    if (m_window.Dialogs().InputBox(QStringLiteral("New folder"), QStringLiteral("Enter the name of the folder to create"),
                                    name))
        m_client->MakeDirectory(name);
}

// ---------------------------------------------------------------- the transfer queue

void TRemoteSession::SetUpTransfers()
{
    TTransferRunner& transfers = *m_transfers;
    transfers.OnCertificate = [this](const TCertificateInfo& certificate, bool& accept) {
        Certificate(certificate, accept);
    };
    transfers.OnConflict = [this](const TConflict& conflict) {
        m_window.Sounds().Play(TSound::Question);
        return m_window.Dialogs().AskConflict(conflict);
    };
    transfers.OnLog = [this](const QString& line) { Log(line); };
    transfers.OnItemChanged = [this](const TTransferItem& item) { ShowTransfer(item); };
    transfers.OnError = [this](const QString& text) {
        m_window.Sounds().Play(TSound::Error);
        m_window.Dialogs().ShowError(QStringLiteral("Error"), text);
    };
    transfers.OnFinished = [this](bool downloaded, bool uploaded) {
        // The queue's last file and its percentage are over; a command of the
        // browsing connection that runs now keeps what it shows.
        if (m_commandDepth == 0 && OnStatusCleared)
            OnStatusCleared();
        if (downloaded && OnDownloaded)
            OnDownloaded();
        // The listing shows what arrived, unless the user is busy with the browsing connection.
        if (uploaded && !m_closePending && m_commandDepth == 0 && m_client->Connected)
            Run([this] { Refresh(); });
        if (m_closePending && m_commandDepth == 0)
            QTimer::singleShot(0, this, [this] {
                if (OnCloseReady)
                    OnCloseReady();
            });
    };
}

// The queue's files as the single transfers showed theirs: what runs in the status
// bar, its percentage, and each outcome in the log.
void TRemoteSession::ShowTransfer(const TTransferItem& item)
{
    if (item.Folder)
        return;
    const bool upload = item.Direction == TTransferDirection::Upload;
    switch (item.State) {
    case TTransferState::Running:
        if (item.Moved == 0) {
            m_shownPercent = -1;
            if (OnStatusText)
                OnStatusText((upload ? QStringLiteral("Uploading ") : QStringLiteral("Downloading "))
                             + QFileInfo(item.LocalPath).fileName() + QStringLiteral("..."));
        }
        ShowProgress(item.Moved, item.Size);
        break;
    case TTransferState::Done:
        ShowProgress(1, 1); // all of it, also of a file of no bytes
        m_shownPercent = -1;
        Log(upload ? QStringLiteral("Upload success") : QStringLiteral("Download success"));
        break;
    case TTransferState::Failed:
        Log(QStringLiteral("%1: %2").arg(item.RemotePath, item.Error));
        break;
    default:
        break;
    }
}

QString TRemoteSession::RemoteFolderPath()
{
    return m_remoteFolder.isEmpty() ? m_client->CurrentDir() : m_remoteFolder;
}

void TRemoteSession::QueueDownloads(const std::vector<TRemoteEntry>& entries)
{
    const QString remoteFolder = RemoteFolderPath();
    m_transfers->UseSettingsOf(*m_client);
    // Names are checked here too, so that a refusal names the entry as the list shows it.
    QStringList refused;
    for (const TRemoteEntry& entry : entries) {
        if (entry.IsWayUp())
            continue;
        try {
            LocalTransferFile(m_window.LocalFolder(), entry.Name(), entry.WireName);
        } catch (const Exception& error) {
            refused << error.Message().trimmed();
            continue;
        }
        m_transfers->AddDownload(remoteFolder, entry.WireName, entry.IsFolder(), entry.Size.toLongLong(),
                                 m_window.LocalFolder(), entry.Name());
    }
    if (OnQueued)
        OnQueued();
    if (!refused.isEmpty())
        throw Exception(refused.join(u'\n'));
}

void TRemoteSession::QueueUploads(const QStringList& names)
{
    const QString remoteFolder = RemoteFolderPath();
    m_transfers->UseSettingsOf(*m_client);
    for (const QString& name : names)
        m_transfers->AddUpload(QDir(m_window.LocalFolder()).filePath(name), remoteFolder);
    if (OnQueued)
        OnQueued();
}
