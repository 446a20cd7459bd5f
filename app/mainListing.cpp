// The Listing page: Refresh, the lines of a listing turned into rows, and
// double-click navigation.
#include "app/Dialogs.h"
#include "app/MainForm.h"
#include "app/RemoteFileTypes.h"
#include "app/RemoteListModel.h"
#include "app/ScreenCursor.h"
#include "app/Sounds.h"
#include "app/ViewSelection.h"
#include "ftp/FTPClient.h"

#include <QTreeView>

void TMainForm::sbtnRefreshClick()
{
    m_remoteModel->Clear();
    m_remoteTypes->Reset();
    m_remoteModel->Add(UpEntry());
    // The client's parser keeps the last listing's columns until the next one starts;
    // handing them to the background spares the window the pause of freeing them.
    if (TFTPDirectoryList* parsed = FTPClient1->FTPDirectoryList())
        m_disposer.Dispose(std::move(parsed->Rights), std::move(parsed->Names), std::move(parsed->ModifiedDates),
                           std::move(parsed->Sizes));
    Busy = true;
    FTPClient1->List();
}

void TMainForm::FTPClient1ListItem(const QString& Listing)
{
    if (const auto fields = ParseListItem(Listing))
        m_remoteModel->Add(LayoutEntry(*fields, [this](const QString& name) { return GetRemoteFileInfo(name); }));
}

TRemoteFileInfo TMainForm::GetRemoteFileInfo(const QString& FileName)
{
    return m_remoteTypes->GetRemoteFileInfo(FileName, [this](const QString& line) { Log(line); });
}

QList<QPersistentModelIndex> TMainForm::SelectedRemoteRows() const
{
    m_remoteModel->Flush();
    return SelectedRowsInOrder(lvRemoteFiles);
}

void TMainForm::lvRemoteFilesDblClick()
{
    const QList<QPersistentModelIndex> selected = SelectedRemoteRows();
    if (selected.isEmpty())
        return;
    const TRemoteEntry entry = m_remoteModel->Entry(selected.first().row());
    if (entry.IsFolder()) {
        // The log names the folder as the list shows it; the server gets its own bytes.
        Log(QStringLiteral("CWD ./") + entry.Caption);
        FTPClient1->DoCommand(QStringLiteral("CWD ./") + entry.WireName);
        return;
    }
    Sounds().Play(TSound::Question);
    if (!Dialogs().Confirm(QStringLiteral("Download ") + entry.Caption))
        return;
    THourglass hourglass;
    DownloadEntry(entry);
    SystemListView->Repopulate();
}
