#pragma once
// The remote side of the main window: one FTP session and everything the user asks
// of it, with no widget of its own. It drives the FTP client, keeps the busy state,
// runs one user command at a time, runs the transfer loops and fills the remote
// listing's model. The window creates it, binds the client's events and its controls
// to it, and shows what it announces.
//
// A command's failure reaches the application's error handler (the error box) from
// Run; a command stopped because the window is closing is reported nowhere.
#include "app/CertificateTrust.h"
#include "app/Disposer.h"
#include "app/HostsFile.h"
#include "app/Permissions.h"
#include "app/RemoteDelete.h"
#include "app/RemoteListing.h"
#include "app/StatusBar.h"
#include "ftp/FTPTypes.h"
#include "ftp/TransferQueue.h"

#include <QHash>
#include <QObject>
#include <QPersistentModelIndex>
#include <functional>
#include <memory>

class QItemSelectionModel;
class TDialogs;
class TFTPClient;
class TModeChanges;
class TRemoteFileTypes;
class TRemoteListModel;
class TSounds;
class TTransferRunner;
class TuRegistry;

// The window's title while connected: "Ferrit - host", with " (TLS)" when encrypted.
QString ConnectedTitle(const QString& host, bool encrypted);

class TRemoteSession : public QObject {
    Q_OBJECT
public:
    // What the session needs from the window. Boxes and sounds are looked up at each
    // use, since the window's may be replaced (tests script them).
    struct TWindowSide {
        std::function<TDialogs&()> Dialogs;
        std::function<TSounds&()> Sounds;
        // The local side of transfers: the folder shown, and the local list's selection
        // by name; queued entries are deselected.
        std::function<QString()> LocalFolder;
        std::function<QStringList()> SelectedLocalNames; // in list order
        std::function<void(const QString& name)> DeselectLocal;
    };

    explicit TRemoteSession(TWindowSide window, QObject* parent = nullptr);
    ~TRemoteSession() override;

    TFTPClient* Client() const { return m_client; }
    TuRegistry* Registry() const { return m_registry; }
    // The remote listing and its selection, which the window's view shows and edits.
    TRemoteListModel* Listing() const { return m_model; }
    QItemSelectionModel* Selection() const { return m_selection; }
    const TCertificateTrust& CertificateTrust() const { return m_trust; }
    // The transfer queue, run on a second connection to the same server.
    TTransferRunner* Transfers() const { return m_transfers; }
    void SetTrustedCertificatesFile(const QString& fileName);

    // True from the start of a transaction until its end is reported.
    bool Busy = false;
    // The local and remote folders of the host being connected to.
    QString LocalDir;
    QString RemoteDir;
    bool Connected() const;
    // Connected, or reconnecting at the next operation after the server dropped the line.
    bool Available() const;

    // Announcements; an unassigned one is not announced.
    std::function<void(const QString& line)> OnLog;
    std::function<void(const QString& host)> OnConnecting;     // a new session starts: a fresh log
    std::function<void()> OnConnected;                         // logged in: show LocalDir
    std::function<void()> OnServerDisconnect;                  // the server dropped the connection
    std::function<void(const QString& title)> OnTitle;
    std::function<void(TConnectionSecurity security, const QString& details)> OnSecurity;
    std::function<void(bool text)> OnTransferType;             // the server's type: ASCII or binary
    std::function<void(const QString& text)> OnStatusText;     // what the current step does
    std::function<void(int percent)> OnProgress;               // the running transfer or listing, once per change
    std::function<void(bool parsed)> OnListingReady;           // parsed: its rows are in Listing()
    std::function<void()> OnStatusCleared;                     // no step runs: the status bar says nothing
    std::function<void()> OnDownloaded;                        // new files in the local folder
    std::function<void()> OnQueued;                            // transfers were added to the queue
    std::function<void()> OnCloseReady;                        // the command that held the close ended
    // The folder the server reported after login or a folder change, as the server
    // named it; "" when the session ends and no folder is known.
    std::function<void(const QString& folder)> OnFolderChanged;

    // The one-command rule: the client does one thing at a time, so a command started
    // while another runs (from inside its wait) is refused with a beep and a word in
    // the status bar. Errors go to the application's error handler.
    void Run(const std::function<void()>& command);
    bool Running() const { return m_commandDepth > 0; }
    // True when the window may close now; otherwise the running command is stopped,
    // and OnCloseReady follows once it has returned.
    bool CloseWhenIdle();
    // Stops the running command, or else the running transfer.
    void Stop();
    bool Stoppable() const;

    // The user's commands, run through Run.
    void Connect(const std::optional<THostEntry>& site); // asks first when connected
    void Disconnect();
    void Execute(const QString& command);                // the command line
    void Refresh();
    // Changes to a folder typed by the user, absolute or relative to the current
    // one, as every folder change is sent; the listing follows.
    void GoTo(const QString& path);
    const QString& RemoteFolder() const { return m_remoteFolder; }
    void OpenSelected();                                 // a folder is entered, a file downloaded
    void OpenParent();                                   // as the ".." row does
    void Upload();
    void Download();
    void DeleteSelected();
    void RenameSelected();
    void MakeDirectory();
    void SetTransferType(bool text);
    // Asks for new Unix rights for the selected entries and sets them with "SITE CHMOD",
    // folders' contents too when asked (RemoteSessionPermissions.cpp). Refusals are
    // gathered and named together; the listing is refreshed once at the end.
    void ChangePermissions();
    // The addresses of the selected entries (RemoteAddress.h), one a line.
    QString SelectedAddresses();
    // The selected entries other than "..", the way up, in list order.
    std::vector<TRemoteEntry> SelectedEntries() const;

    // The client's events, which the window binds under their own names.
    void ClientConnected();
    void InvalidHost(bool& Handled);
    void AuthenticationFailed(bool& Handled);
    void Error(quint16 Errno, const QString& Errmsg);
    void Status(const QString& Status);
    void PacketSent();
    void PacketRecvd();
    void Success(TCmdType Trans_Type);
    void ServerDisconnect();
    void ConnectionRequired(bool& Handled);
    void Certificate(const TCertificateInfo& Certificate, bool& Accept);
    void ListItem(const QString& Listing);

    // Says goodbye to the server while the window that shows the session is still whole.
    void ReleaseClient();

private:
    void Log(const QString& line);
    void ShowProgress(qint64 part, qint64 total);
    void ShowTransferType();
    // Whether the host must speak TLS because it has before (RemoteSessionSecurity.cpp).
    void PrepareSecurity();
    void ShowConnectionSecurity();
    void ShowDisconnected();
    void Reconnect();
    void ChangeRemoteFolder(const QString& Folder);
    void SetRemoteFolder(const QString& folder);
    void EnterFolder(const QString& caption, const QString& wireName);
    void SendFolderChange(const QString& command);
    void KeepTrusted(const TCertificateInfo& Certificate);
    TRemoteFileInfo GetRemoteFileInfo(const QString& FileName);
    QList<QPersistentModelIndex> SelectedRemoteRows() const;
    // Every transfer goes through the queue, on its own connection; folders go whole.
    void QueueDownloads(const std::vector<TRemoteEntry>& entries);
    void QueueUploads(const QStringList& names);
    QString RemoteFolderPath();
    void ChangePermissionsOf(TModeChanges& changes, const TRemoteEntry& entry, const TPermissionsChoice& choice,
                             const QString& folder);
    void ChangePermissionsInside(TModeChanges& changes, const TRemoteEntry& entry, const TPermissionsChoice& choice,
                                 const QString& root);
    // Deleting, folders whole (RemoteSessionFiles.cpp).
    void DeleteEntries(const std::vector<TRemoteEntry>& entries);
    TRemoteDelete::TEvents DeleteEvents();
    void RefreshAfterFailure();
    void SetUpTransfers();
    void ShowTransfer(const TTransferItem& item);

    TWindowSide m_window;
    TuRegistry* m_registry;
    std::unique_ptr<TRemoteFileTypes> m_remoteTypes;
    TRemoteListModel* m_model;
    QItemSelectionModel* m_selection;
    TDisposer m_disposer;
    TCertificateTrust m_trust;
    // Certificates the user accepted for this session (by server), so that a
    // reconnect does not ask again; a new connection by the user forgets them.
    QHash<QString, QString> m_acceptedOnce;
    int m_commandDepth = 0;      // user commands running (one at a time)
    int m_shownPercent = -1;     // the figure announced last, -1 when none shows
    bool m_closePending = false; // the window closes once the running command returns
    // A command made of many (a folder deleted whole, rights set inside a tree), for
    // as long as one of these lives: its walks through the tree leave the folder
    // shown and its listing alone, it stays busy from its first step to its last,
    // and Stop also ends it between two steps.
    class TTreeWork {
    public:
        explicit TTreeWork(TRemoteSession& session);
        ~TTreeWork();
        TTreeWork(const TTreeWork&) = delete;
        TTreeWork& operator=(const TTreeWork&) = delete;

    private:
        TRemoteSession& m_session;
    };
    bool m_treeWork = false;
    bool m_stopRequested = false;
    // After the server dropped the connection, the next operation logs in again
    // and returns to the folder the session was in; after Disconnect, nothing does.
    bool m_reconnectable = false;
    bool m_reconnecting = false;
    QString m_remoteFolder; // the last folder the server reported, "" when unknown
    QString m_loginFolder;  // where the login landed: addresses are relative to it
    TFTPClient* m_client;   // a child, released first (ReleaseClient)
    TTransferRunner* m_transfers; // a child
};
