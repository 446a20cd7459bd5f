// Deleting, renaming and creating remote files and folders.
#include "app/Dialogs.h"
#include "app/MainForm.h"
#include "app/RemoteListModel.h"
#include "app/Sounds.h"
#include "ftp/FTPClient.h"

#include <QApplication>

QStringList TMainForm::SelectedRemoteNames() const
{
    // Taken before the first command: the list may be reloaded while they run.
    QStringList names;
    for (const QPersistentModelIndex& row : SelectedRemoteRows())
        names << m_remoteModel->Entry(row.row()).Caption;
    return names;
}

void TMainForm::sbtnDeleteFileClick()
{
    const QStringList names = SelectedRemoteNames();
    Sounds().Play(TSound::Question);
    if (!Dialogs().Confirm(QStringLiteral("Delete %1 file(s) ?").arg(names.size())))
        return;
    for (const QString& name : names) {
        FTPClient1->Delete(name);
        QApplication::processEvents();
        StopIfClosing();
    }
    sbtnRefreshClick();
}

void TMainForm::sbtnRenameClick()
{
    for (const QString& name : SelectedRemoteNames()) {
        QString newName = name;
        if (Dialogs().InputBox(QStringLiteral("Rename "), QStringLiteral("Rename ") + name + QStringLiteral(" to:"), newName))
            FTPClient1->Rename(name, newName);
    }
    sbtnRefreshClick();
}

void TMainForm::sbtnMkDirClick()
{
    QString name = QStringLiteral("New folder");
    if (Dialogs().InputBox(QStringLiteral("New folder"), QStringLiteral("Enter the name of the folder to create"), name))
        FTPClient1->MakeDirectory(name);
}
