// Deleting, renaming and creating remote files and folders.
#include "app/Dialogs.h"
#include "app/MainForm.h"
#include "app/RemoteListModel.h"
#include "app/Sounds.h"
#include "ftp/FTPClient.h"

#include <QApplication>
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

QStringList TMainForm::SelectedRemoteNames() const
{
    QStringList names;
    for (const TRemoteEntry& entry : EntriesOf(*m_remoteModel, SelectedRemoteRows()))
        names << entry.WireName;
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
    for (const TRemoteEntry& entry : EntriesOf(*m_remoteModel, SelectedRemoteRows())) {
        QString newName = entry.Caption;
        if (!Dialogs().InputBox(QStringLiteral("Rename "), QStringLiteral("Rename ") + entry.Caption + QStringLiteral(" to:"),
                                newName))
            continue;
        // A name left as shown keeps the server's bytes, which the shown text may not spell.
        FTPClient1->Rename(entry.WireName, newName == entry.Caption ? entry.WireName : newName);
    }
    sbtnRefreshClick();
}

void TMainForm::sbtnMkDirClick()
{
    QString name = QStringLiteral("New folder");
    if (Dialogs().InputBox(QStringLiteral("New folder"), QStringLiteral("Enter the name of the folder to create"), name))
        FTPClient1->MakeDirectory(name);
}
