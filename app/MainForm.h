#pragma once
// The main window: the local browser on the left, the Status and Listing pages
// on the right. The layout is built in MainFormLayout.cpp; the handlers live in
// one file per topic (MainForm.cpp: the frame, MainFormHosts.cpp: the host list).
#include "app/CertificateTrust.h"
#include "app/HostsFile.h"
#include "app/Disposer.h"
#include "app/RemoteListing.h"
#include "ftp/FTPTypes.h"
#include "net/ErrorBoundary.h"
#include "shellbrowser/SystemListView.h"
#include "shellbrowser/SystemTreeView.h"
#include <QAbstractButton>
#include <QHash>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

class QButtonGroup;
class QFrame;
class QLineEdit;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class TDialogs;
class TFTPClient;
class TRemoteFileTypes;
class TRemoteListModel;
class TuRegistry;
class THostDlg;
class TSounds;
class TStatusBar;

// The window's title while connected: "Ferrit - host", with " (TLS)" when encrypted.
QString ConnectedTitle(const QString& host, bool encrypted);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // `hostsFile` is where the host list is loaded from and saved to.
    explicit TMainForm(const QString& hostsFile, QWidget* parent = nullptr);
    ~TMainForm() override;

    const QString& HostsFile() const { return m_hostsFile; }

    // Modal boxes and sounds go through these; tests install scripted ones.
    TDialogs& Dialogs() const { return *m_dialogs; }
    void SetDialogs(std::unique_ptr<TDialogs> dialogs);
    TSounds& Sounds() const { return *m_sounds; }
    void SetSounds(std::unique_ptr<TSounds> sounds);
    // Where certificates the user trusts always are kept; by default in the
    // user's configuration folder.
    const TCertificateTrust& CertificateTrust() const { return m_trust; }
    void SetTrustedCertificatesFile(const QString& fileName);

    QString LocalDir;
    QString RemoteDir;
    bool Busy = false;

    // Non-visual members.
    TFTPClient* FTPClient1;
    QList<QIcon> imglstButtons;
    THostDlg* HostDlg;

    // Tool bar row.
    QFrame* CoolBar1;
    QToolBar* tbrStandard;
    QToolButton* tbtnClose;
    QWidget* ToolButton1;
    QToolButton* btnStop;
    QToolButton* tbtnAbout;
    TStatusBar* StatusBar1;
    QSplitter* splApp;

    // Local browser.
    QFrame* pnlExplorer;
    QSplitter* Splitter2;
    QFrame* Panel4;
    TSystemTreeView* SystemTreeView;
    QFrame* Panel2;
    QFrame* Panel3;
    QToolButton* sbtnLargeIcons;
    QToolButton* sbtnSmall;
    QToolButton* sbtnList;
    QToolButton* sbtnDetails;
    QToolButton* sbtnUpload;
    QButtonGroup* grpViewStyle;
    TSystemListView* SystemListView;

    // Pages.
    QTabWidget* pgctlFTP;
    QWidget* tbshtStatus;
    QFrame* Panel1;
    QToolButton* sbtnAdd;
    QToolButton* sbtnDelete;
    QToolButton* sbtnEdit;
    QToolButton* sbtnConnect;
    QToolButton* sbtnDisconnect;
    QTreeWidget* lvSites;
    QSplitter* Splitter1;
    QFrame* Panel6;
    QFrame* pnlFTPCommandLine;
    QLineEdit* edtFTPCommand;
    QToolButton* sbtnExecute;
    QToolButton* sbtn;
    QPlainTextEdit* mmoStatus;
    QWidget* tbshtListing;
    QFrame* pnlListing;
    QFrame* Panel5;
    QToolButton* sbtnRefresh;
    QToolButton* sbtnDownload;
    QToolButton* sbtnDeleteFile;
    QToolButton* sbtnRename;
    QToolButton* sbtnMkDir;
    QToolButton* sbtnASCII;
    QToolButton* sbtnBinary;
    QButtonGroup* grpTransferType;
    QTreeView* lvRemoteFiles;

    // The frame (MainForm.cpp).
    void FormCreate();
    bool FormClose();
    void tbtnCloseClick();
    void btnStopClick();
    void tbtnAboutClick();
    void DisplayHint(const QString& hint);
    void IdleHandler();
    void ListTypeSelect(QAbstractButton* sender);
    void pgctlFTPChange();
    void lvSitesChange();
    void lvRemoteFilesChange();
    void SystemListViewChange();

    // The host list (MainFormHosts.cpp). A row keeps its password out of sight:
    // the password column shows PasswordMask, whatever the password's length.
    static const QString PasswordMask;
    static THostEntry SiteEntry(const QTreeWidgetItem& site);
    void LoadHosts();
    void SaveHosts();
    void sbtnAddClick();
    void sbtnEditClick();
    void sbtnDeleteClick();
    void lvSitesDblClick();

    // The FTP side: connection, status log and command line (mainConnection.cpp),
    // remote listing (mainListing.cpp), transfers (mainTransfers.cpp), remote file
    // management (mainRemoteFiles.cpp), wiring (mainRemoteSetup.cpp).
    TuRegistry* uRegistry;
    TRemoteListModel* RemoteFiles() const { return m_remoteModel; }
    void sbtnConnectClick();
    void sbtnDisconnectClick();
    void edtFTPCommandKeyPress(QChar Key);
    void sbtnExecuteClick();
    void sbtnClick();
    void StatusBar1DrawPanel(QPainter& Canvas, const QRect& Rect, const QString& Text);
    void FTPClient1Connect(QObject* Sender);
    void FTPClient1InvalidHost(bool& Handled);
    void FTPClient1AuthenticationFailed(bool& Handled);
    void FTPClient1Error(QObject* Sender, quint16 Errno, const QString& Errmsg);
    void FTPClient1Status(QObject* Sender, const QString& Status);
    void FTPClient1PacketSent(QObject* Sender);
    void FTPClient1PacketRecvd(QObject* Sender);
    void FTPClient1Success(TCmdType Trans_Type);
    void FTPClient1ServerDisconnect(QObject* Sender);
    void FTPClient1ConnectionRequired(bool& Handled);
    // The connection's security (mainSecurity.cpp).
    void FTPClient1Certificate(const TCertificateInfo& Certificate, bool& Accept);
    void sbtnRefreshClick();
    void FTPClient1ListItem(const QString& Listing);
    void lvRemoteFilesDblClick();
    void sbtnUploadClick();
    void sbtnDownloadClick();
    bool lvRemoteFilesDragOver(QObject* Source);
    void lvRemoteFilesDragDrop(QObject* Source);
    bool SystemListViewDragOver(QObject* Source);
    void SystemListViewDragDrop(QObject* Source);
    void sbtnASCIIClick();
    void sbtnBinaryClick();
    void sbtnDeleteFileClick();
    void sbtnRenameClick();
    void sbtnMkDirClick();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Layout (MainFormLayout.cpp).
    void CreateLayout();
    void CreateToolBar();
    QWidget* CreateExplorer();
    QWidget* CreateStatusPage();
    QWidget* CreateListingPage();
    void CreateImageLists();
    void BindHandlers();
    QToolButton* SpeedButton(QWidget* row, const char* name, const QString& hint, const QIcon& icon,
                             bool withCaption = true);
    // Binds a button's click to a handler through the error boundary.
    template <class Handler>
    void OnClick(QAbstractButton* button, Handler handler)
    {
        connect(button, &QAbstractButton::clicked, this, [guarded = Guarded(std::move(handler))]() mutable { guarded(); });
    }

    void ShowApplicationError(const QString& text);
    void SetCommandRowEnabled(bool enabled);
    QTreeWidgetItem* SelectedSite() const;
    std::optional<THostEntry> SelectedHost() const;
    void AddSite(const THostEntry& host);
    void ReportHostsFileProblem();

    // The FTP side's own workings.
    void SetUpRemoteSide();
    void SetUpFTPClient();
    void OnCommand(QAbstractButton* button, std::function<void()> handler);
    void RunCommand(const std::function<void()>& command);
    bool CanCloseNow();
    void StopIfClosing() const;
    void ReleaseFTPClient();
    void Log(const QString& line);
    void ShowProgress(qint64 part);
    void ShowTransferType();
    void IdleIfChanged();
    void ChangeRemoteFolder(const QString& Folder);
    void SendFolderChange(const QString& command);
    void RememberRemoteFolder(const QString& folder);
    void Reconnect();
    void KeepTrusted(const TCertificateInfo& Certificate);
    void ShowConnectionSecurity();
    void ShowDisconnected();
    bool RemoteAvailable() const; // connected, or reconnecting at the next operation
    TRemoteFileInfo GetRemoteFileInfo(const QString& FileName);
    QList<QPersistentModelIndex> SelectedRemoteRows() const;
    QStringList SelectedRemoteNames() const;
    void DownloadEntry(const TRemoteEntry& entry);
    QStringList SelectedLocalNames() const;
    int LocalRow(const QString& caption) const;
    std::unique_ptr<TRemoteFileTypes> m_remoteTypes;
    TRemoteListModel* m_remoteModel = nullptr;
    TDisposer m_disposer;
    int m_commandDepth = 0;     // user commands running (one at a time)
    std::optional<std::tuple<bool, bool, bool>> m_idleState; // (connected, available, busy) the controls show
    int m_shownPercent = -1;    // the figure in status panel 0, -1 when it shows none
    qint64 m_listedSize = 0;    // the running download's size in the listing, 0 when unknown
    bool m_closePending = false; // the window closes once the running command returns
    // After the server dropped the connection, the next operation logs in again
    // and returns to the folder the session was in; after Disconnect, nothing does.
    bool m_reconnectable = false;
    bool m_reconnecting = false;
    QString m_remoteFolder;     // the last folder the server reported, "" when unknown
    TCertificateTrust m_trust;
    // Certificates the user accepted for this session (by server), so that a
    // reconnect does not ask again; a new connection by the user forgets them.
    QHash<QString, QString> m_acceptedOnce;

    QString m_hostsFile;
    THostsFileStatus m_hostsFileStatus = THostsFileStatus::Absent;
    QString m_hostsFileProblem; // told once the window is up
    std::unique_ptr<TDialogs> m_dialogs;
    std::unique_ptr<TSounds> m_sounds;
    std::function<void(std::exception_ptr)> m_previousErrorHandler;
};
