// The remote path field: the folder the server reports, a typed path, and the
// recent folders of the account the session is on.
#include "app/MainForm.h"
#include "ftp/FTPClient.h"
#include "net/ErrorBoundary.h"

#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeView>

void TMainForm::SetUpRemotePath()
{
    m_session->OnFolderChanged = [this](const QString& folder) { ShowRemoteFolder(folder); };
    connect(cbRemotePath, &TRemotePathBox::PathEntered, this, Guarded([this](const QString& path) { GoToRemotePath(path); }));
    connect(cbRemotePath, &TRemotePathBox::FolderChosen, this, Guarded([this](const QString& path) { GoToRemotePath(path); }));
    connect(cbRemotePath, &TRemotePathBox::Escaped, this, [this] {
        ShowRemoteFolder(m_session->RemoteFolder());
        lvRemoteFiles->setFocus(Qt::ShortcutFocusReason);
    });
    // While a command runs, Escape stops it, also from the field.
    cbRemotePath->OwnsEscape = [this] { return !m_session->Running(); };
    // The location keys of file managers and browsers.
    auto* focusKey = new QShortcut(this);
    focusKey->setKeys({QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::ALT | Qt::Key_D)});
    focusKey->setContext(Qt::WindowShortcut);
    connect(focusKey, &QShortcut::activated, this, [this] { FocusRemotePath(); });
}

void TMainForm::ShowRemoteFolder(const QString& folder)
{
    const TFTPClient& client = *FTPClient1;
    if (!folder.isEmpty())
        m_recentFolders.Add(client.Host, client.Port, client.UserID, folder);
    const QStringList recent = folder.isEmpty() ? QStringList() : m_recentFolders.Of(client.Host, client.Port, client.UserID);
    cbRemotePath->ShowFolders(recent, folder, client.NameEncoding.isEmpty());
}

void TMainForm::GoToRemotePath(const QString& path)
{
    if (path.isEmpty()) {
        ShowRemoteFolder(m_session->RemoteFolder());
        return;
    }
    bool started = false;
    m_session->Run([this, &path, &started] {
        started = true;
        m_session->GoTo(path);
    });
    // A path refused by the server leaves the field on the folder the session is
    // in; one refused because another command runs stays, to be sent again.
    if (started)
        ShowRemoteFolder(m_session->RemoteFolder());
}

void TMainForm::FocusRemotePath()
{
    if (!cbRemotePath->isEnabled())
        return;
    pgctlFTP->setCurrentWidget(tbshtListing);
    cbRemotePath->setFocus(Qt::ShortcutFocusReason);
    cbRemotePath->lineEdit()->selectAll();
}
