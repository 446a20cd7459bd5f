// Moving files: Upload and Download by button or by dragging between the two lists,
// and the transfer type.
#include "app/Dialogs.h"
#include "app/MainForm.h"
#include "app/RemoteListModel.h"
#include "app/ScreenCursor.h"
#include "app/Sounds.h"
#include "app/StatusBar.h"
#include "app/TransferNames.h"
#include "app/ViewSelection.h"
#include "ftp/FTPClient.h"

#include <QApplication>
#include <QTreeView>

namespace {

int Tag(const QObject* control)
{
    return control ? control->property("Tag").toInt() : -1;
}

} // namespace

void TMainForm::sbtnUploadClick()
{
    const QList<QPersistentModelIndex> rows = SelectedRowsInOrder(SystemListView);
    Sounds().Play(TSound::Question);
    if (!Dialogs().Confirm(QStringLiteral("Upload %1 file(s) ?").arg(rows.size())))
        return;
    Busy = true;
    for (const QPersistentModelIndex& row : rows) {
        THourglass hourglass;
        if (!StillSelected(SystemListView, row))
            continue;
        const QString caption = row.data(Qt::DisplayRole).toString();
        StatusBar1->SetPanelText(1, QStringLiteral("Uploading ") + caption + QStringLiteral("..."));
        StatusBar1->RepaintNow();
        FTPClient1->Upload(LocalTransferFile(SystemTreeView->Directory(), caption), caption);
        Deselect(SystemListView, row);
        QApplication::processEvents();
        StopIfClosing();
    }
    sbtnRefreshClick();
    Busy = false;
}

void TMainForm::DownloadEntry(const QString& caption)
{
    // The remote name comes from the server: checked before anything is written.
    const QString localFile = LocalTransferFile(SystemTreeView->Directory(), caption);
    FTPClient1->Download(caption, localFile);
}

void TMainForm::sbtnDownloadClick()
{
    const QList<QPersistentModelIndex> rows = SelectedRemoteRows();
    Sounds().Play(TSound::Question);
    if (!Dialogs().Confirm(QStringLiteral("Download %1 file(s) ?").arg(rows.size())))
        return;
    Busy = true;
    for (const QPersistentModelIndex& row : rows) {
        THourglass hourglass;
        if (!StillSelected(lvRemoteFiles, row))
            continue;
        DownloadEntry(m_remoteModel->Entry(row.row()).Caption);
        Deselect(lvRemoteFiles, row);
        QApplication::processEvents();
        StopIfClosing();
    }
    SystemListView->Repopulate();
    Busy = false;
}

bool TMainForm::lvRemoteFilesDragOver(QObject* Source)
{
    return Tag(Source) == Tag(SystemListView);
}

void TMainForm::lvRemoteFilesDragDrop(QObject* Source)
{
    if (Source == SystemListView)
        sbtnUploadClick();
}

bool TMainForm::SystemListViewDragOver(QObject* Source)
{
    return Tag(Source) == Tag(lvRemoteFiles);
}

void TMainForm::SystemListViewDragDrop(QObject* Source)
{
    if (Source == lvRemoteFiles)
        sbtnDownloadClick();
}

void TMainForm::sbtnASCIIClick()
{
    FTPClient1->DoCommand(QStringLiteral("TYPE A"));
}

void TMainForm::sbtnBinaryClick()
{
    FTPClient1->DoCommand(QStringLiteral("TYPE I"));
}
