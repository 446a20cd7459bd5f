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
#include "net/ScopeExit.h"

#include <QApplication>
#include <QToolButton>
#include <QTreeView>

namespace {

int Tag(const QObject* control)
{
    return control ? control->property("Tag").toInt() : -1;
}

} // namespace

QStringList TMainForm::SelectedLocalNames() const
{
    std::vector<int> rows = SystemListView->SelectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList names;
    for (int row : rows)
        names << SystemListView->ItemCaption(row);
    return names;
}

int TMainForm::LocalRow(const QString& caption) const
{
    // The list refills itself when its folder changes, so entries are found by name.
    for (int row = 0; row < SystemListView->ItemCount(); ++row)
        if (SystemListView->ItemCaption(row) == caption)
            return row;
    return -1;
}

void TMainForm::sbtnUploadClick()
{
    const QStringList names = SelectedLocalNames();
    Sounds().Play(TSound::Question);
    if (!Dialogs().Confirm(QStringLiteral("Upload %1 file(s) ?").arg(names.size())))
        return;
    Busy = true;
    for (const QString& caption : names) {
        THourglass hourglass;
        const int row = LocalRow(caption);
        if (row < 0 || !SystemListView->ItemSelected(row))
            continue;
        StatusBar1->SetPanelText(1, QStringLiteral("Uploading ") + caption + QStringLiteral("..."));
        StatusBar1->RepaintNow();
        FTPClient1->Upload(LocalTransferFile(SystemTreeView->Directory(), caption), caption);
        if (const int after = LocalRow(caption); after >= 0)
            SystemListView->SetItemSelected(after, false);
        QApplication::processEvents();
        StopIfClosing();
    }
    sbtnRefreshClick();
    Busy = false;
}

void TMainForm::DownloadEntry(const TRemoteEntry& entry)
{
    // The remote name comes from the server: checked before anything is written. The
    // local file takes the name as shown; the server is asked for its own bytes.
    const QString localFile = LocalTransferFile(SystemTreeView->Directory(), entry.Caption, entry.WireName);
    // Not every server announces the size when the transfer starts; the listing's
    // figure then drives the progress bar.
    m_listedSize = entry.Size.toLongLong();
    ScopeExit forget([this] { m_listedSize = 0; });
    FTPClient1->Download(entry.WireName, localFile);
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
        DownloadEntry(m_remoteModel->Entry(row.row()));
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
    ScopeExit showType([this] { ShowTransferType(); });
    FTPClient1->DoCommand(QStringLiteral("TYPE A"));
}

void TMainForm::sbtnBinaryClick()
{
    ScopeExit showType([this] { ShowTransferType(); });
    FTPClient1->DoCommand(QStringLiteral("TYPE I"));
}

void TMainForm::ShowTransferType()
{
    // The buttons show the server's type, also after a refused click.
    const bool text = FTPClient1->TextType();
    sbtnASCII->setChecked(text);
    sbtnBinary->setChecked(!text);
}
