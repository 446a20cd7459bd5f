#pragma once
// The main window: the local browser on the left, the Status and Listing pages
// on the right. The layout is built in MainFormLayout.cpp; the handlers live in
// one file per topic (MainForm.cpp: the frame, MainFormHosts.cpp: the host list,
// MainFormRemote.cpp: the remote side, whose work TRemoteSession does).
#include "app/CertificateTrust.h"
#include "app/HostsFile.h"
#include "app/RemotePathField.h"
#include "app/RemoteSession.h"
#include "app/WindowState.h"
#include "ftp/FTPTypes.h"
#include "net/ErrorBoundary.h"
#include "shellbrowser/SystemListView.h"
#include "shellbrowser/SystemTreeView.h"
#include <QAbstractButton>
#include <QPixmap>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

class QAction;
class QButtonGroup;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
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
class TRemoteListModel;
class TuRegistry;
class THostDlg;
class TSounds;
class TStatusBar;

class TMainForm : public QMainWindow {
    Q_OBJECT
    // First, so that the members below can name its parts.
    std::unique_ptr<TRemoteSession> m_session;

public:
    // `hostsFile` is where the host list is loaded from and saved to; `windowStateFile`,
    // when given, where the window's size, splitters, column widths and local folder
    // are brought back from at start and kept at close.
    explicit TMainForm(const QString& hostsFile, const QString& windowStateFile = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    const QString& HostsFile() const { return m_hostsFile; }
    const QString& WindowStateFile() const { return m_windowStateFile; }

    // Modal boxes and sounds go through these; tests install scripted ones.
    TDialogs& Dialogs() const { return *m_dialogs; }
    void SetDialogs(std::unique_ptr<TDialogs> dialogs);
    TSounds& Sounds() const { return *m_sounds; }
    void SetSounds(std::unique_ptr<TSounds> sounds);
    // Where certificates the user trusts always are kept; by default in the
    // user's configuration folder.
    const TCertificateTrust& CertificateTrust() const { return m_session->CertificateTrust(); }
    void SetTrustedCertificatesFile(const QString& fileName);

    // The FTP session behind the window's remote side.
    TRemoteSession& RemoteSession() const { return *m_session; }
    bool& Busy; // the session's

    // Non-visual members; the session owns the client and the registry reader.
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
    QFrame* pnlRemotePath;
    TRemotePathBox* cbRemotePath; // the current remote folder; takes a typed path
    QTreeView* lvRemoteFiles;

    // The transfer queue, under the pages so that it stays in view while browsing.
    QSplitter* splRemote;
    QFrame* pnlQueue;
    QFrame* pnlQueueButtons;
    QToolButton* sbtnCancelTransfer;
    QToolButton* sbtnCancelAllTransfers;
    QToolButton* sbtnRetryFailed;
    QToolButton* sbtnRemoveFinished;
    QLabel* lblQueueSummary;
    QTreeView* QueueView;

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
    // Writes the list in one step; runs at every change (add, edit, delete, a name
    // edited in place) and at close, so that no change waits for a normal exit.
    void SaveHosts();
    void sbtnAddClick();
    void sbtnEditClick();
    void sbtnDeleteClick();
    void lvSitesDblClick();
    // Connects to an ftp:// or ftps:// address (from the command line) and shows its
    // folder; a saved host with the same host, port and user lends its settings.
    void OpenAddress(const QString& address);

    // The FTP side (MainFormRemote.cpp): each handler hands its command to the session.
    TuRegistry* uRegistry;
    TRemoteListModel* RemoteFiles() const { return m_session->Listing(); }
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
    // The remote list's context menu (right click, the menu key, Shift+F10). Its
    // entries run the buttons' handlers and are enabled as the buttons are.
    QMenu* mnuRemote;
    QAction* actRemoteDownload;
    QAction* actRemoteOpen;
    QAction* actRemoteRename;
    QAction* actRemoteDelete;
    QAction* actRemoteNewFolder;
    QAction* actRemotePermissions;
    QAction* actRemoteCopyAddress;
    void UpdateRemoteMenu();
    // at: in lvRemoteFiles' viewport. A row clicked that is not selected is selected
    // first, as file managers do; a click beside the rows clears the selection.
    void ShowRemoteMenu(const QPoint& at);
    void PermissionsClick();
    void CopyAddressClick();

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
    QWidget* CreateQueuePane();
    void CreateImageLists();
    void SetTabOrder();
    void BindHandlers();
    // The remembered layout (MainFormWindowState.cpp).
    QList<QSplitter*> Splitters() const;
    QList<QTreeView*> ColumnViews() const;
    void RestoreWindowState(const TWindowState& state);
    void FitWindowToScreen();
    void SaveWindowState() const;
    QString StartFolder() const;
    // The keys (MainFormKeys.cpp).
    void CreateKeys();
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

    // The remote side's wiring (MainFormRemote.cpp).
    TRemoteSession::TWindowSide RemoteWindowSide();
    void SetUpRemoteSide();
    void SetUpFTPClient();
    void ShowSession();
    void BindRemoteCommands();
    void SetUpRemoteMenu();
    // Binds a button's click to a user command, run under the session's one-command rule.
    void OnCommand(QAbstractButton* button, std::function<void()> handler);
    void IdleIfChanged();
    // The remote path field (MainFormRemotePath.cpp).
    void SetUpRemotePath();
    void ShowRemoteFolder(const QString& folder);
    void GoToRemotePath(const QString& path);
    void FocusRemotePath();
    // The transfer queue's pane (MainFormQueue.cpp).
    void SetUpQueue();
    void UpdateQueueControls();
    int SelectedQueueRow() const;
    QStringList SelectedLocalNames() const;
    int LocalRow(const QString& caption) const;
    // (connected, available, busy, stoppable) as the controls show them
    std::optional<std::tuple<bool, bool, bool, bool>> m_idleState;

    QString m_hostsFile;
    QString m_windowStateFile;
    QString m_rememberedFolder;
    TRecentFolders m_recentFolders;
    bool m_fittedWithFrame = false; // fitted again once shown, frame included
    THostsFileStatus m_hostsFileStatus = THostsFileStatus::Absent;
    QString m_hostsFileProblem; // told once the window is up
    std::unique_ptr<TDialogs> m_dialogs;
    std::unique_ptr<TSounds> m_sounds;
    std::function<void(std::exception_ptr)> m_previousErrorHandler;
};
