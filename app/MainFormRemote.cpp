// The window's remote side: the session wired to the controls, the client's events
// bound under their own names, and the handlers, which hand the user's commands to
// the session.
#include "app/DropTarget.h"
#include "app/MainForm.h"
#include "app/RemoteListModel.h"
#include "app/StatusBar.h"
#include "app/StatusLog.h"
#include "app/StatusText.h"
#include "ftp/FTPClient.h"
#include "net/ErrorBoundary.h"
#include "shellbrowser/ViewHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QShortcut>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>

namespace {

int Tag(const QObject* control)
{
    return control ? control->property("Tag").toInt() : -1;
}

} // namespace

TRemoteSession::TWindowSide TMainForm::RemoteWindowSide()
{
    return {.Dialogs = [this]() -> TDialogs& { return Dialogs(); },
            .Sounds = [this]() -> TSounds& { return Sounds(); },
            .LocalFolder = [this] { return SystemTreeView->Directory(); },
            .SelectedLocalNames = [this] { return SelectedLocalNames(); },
            .DeselectLocal =
                [this](const QString& name) {
                    if (const int row = LocalRow(name); row >= 0)
                        SystemListView->SetItemSelected(row, false);
                }};
}

void TMainForm::SetUpRemoteSide()
{
    lvRemoteFiles->setModel(m_session->Listing());
    lvRemoteFiles->setSelectionModel(m_session->Selection());
    const int widths[] = {100, -1, 120, 80, 120};
    for (int column = 0; column < TRemoteListModel::ColumnCount; ++column)
        if (widths[column] > 0)
            lvRemoteFiles->header()->resizeSection(column, ScaledDesignWidth(lvRemoteFiles, widths[column]));
    // A click on a header sorts by it, a second click the other way; until the first
    // the list keeps its collated order without an arrow.
    lvRemoteFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    lvRemoteFiles->setSortingEnabled(true);
    connect(m_session->Selection(), &QItemSelectionModel::selectionChanged, this,
            Guarded([this](const QItemSelection&, const QItemSelection&) { lvRemoteFilesChange(); }));
    connect(m_session->Listing(), &QAbstractItemModel::modelReset, this,
            Guarded([this](auto&&...) { lvRemoteFilesChange(); }));
    SetUpFTPClient();
    ShowSession();
    BindRemoteCommands();
    SetUpRemoteMenu();
    SetUpRemotePath();
    SetUpQueue();
}

void TMainForm::SetUpFTPClient()
{
    FTPClient1->OnConnect = [this](QObject* Sender) { FTPClient1Connect(Sender); };
    FTPClient1->OnInvalidHost = [this](bool& Handled) { FTPClient1InvalidHost(Handled); };
    FTPClient1->OnAuthenticationFailed = [this](bool& Handled) { FTPClient1AuthenticationFailed(Handled); };
    FTPClient1->OnError = [this](QObject* Sender, quint16 Errno, const QString& Errmsg) {
        FTPClient1Error(Sender, Errno, Errmsg);
    };
    FTPClient1->OnStatus = [this](QObject* Sender, const QString& Status) { FTPClient1Status(Sender, Status); };
    FTPClient1->OnPacketSent = [this](QObject* Sender) { FTPClient1PacketSent(Sender); };
    FTPClient1->OnPacketRecvd = [this](QObject* Sender) { FTPClient1PacketRecvd(Sender); };
    FTPClient1->OnSuccess = [this](TCmdType Trans_Type) { FTPClient1Success(Trans_Type); };
    FTPClient1->OnListItem = [this](const QString& Listing) { FTPClient1ListItem(Listing); };
    FTPClient1->OnServerDisconnect = [this](QObject* Sender) { FTPClient1ServerDisconnect(Sender); };
    FTPClient1->OnConnectionRequired = [this](bool& Handled) { FTPClient1ConnectionRequired(Handled); };
    FTPClient1->OnCertificate = [this](const TCertificateInfo& Certificate, bool& Accept) {
        FTPClient1Certificate(Certificate, Accept);
    };
    StatusBar1->OnDrawPanel = [this](QPainter& Canvas, const QRect& Rect, const QString& Text) {
        StatusBar1DrawPanel(Canvas, Rect, Text);
    };
}

// What the session announces, shown in the controls.
void TMainForm::ShowSession()
{
    TRemoteSession& session = *m_session;
    session.OnLog = [this](const QString& line) { TStatusLog::Of(mmoStatus).Append(line); };
    session.OnConnecting = [this](const QString& host) {
        setWindowTitle(ConnectedTitle(host, false));
        pgctlFTP->setCurrentWidget(tbshtStatus);
        mmoStatus->clear();
    };
    session.OnConnected = [this] {
        if (!m_session->LocalDir.isEmpty())
            SystemTreeView->SetDirectory(m_session->LocalDir);
    };
    session.OnServerDisconnect = [this] { IdleHandler(); };
    session.OnTitle = [this](const QString& title) { setWindowTitle(title); };
    session.OnSecurity = [this](TConnectionSecurity security, const QString& details) {
        StatusBar1->ShowSecurity(security, details);
    };
    session.OnTransferType = [this](bool text) {
        sbtnASCII->setChecked(text);
        sbtnBinary->setChecked(!text);
    };
    session.OnStatusText = [this](const QString& text) { DisplayHint(text); };
    session.OnProgress = [this](int percent) {
        StatusBar1->SetPanelText(0, PercentText(percent));
        StatusBar1->RepaintNow();
    };
    session.OnStatusCleared = [this] {
        StatusBar1->SetPanelText(0, QString());
        StatusBar1->SetPanelText(1, QString());
    };
    session.OnListingReady = [this](bool parsed) {
        if (parsed)
            m_session->OnStatusCleared();
        pgctlFTP->setCurrentWidget(tbshtListing);
    };
    session.OnDownloaded = [this] { SystemListView->Repopulate(); };
    session.OnCloseReady = [this] { close(); };
}

void TMainForm::OnCommand(QAbstractButton* button, std::function<void()> handler)
{
    connect(button, &QAbstractButton::clicked, this, [this, handler] { m_session->Run(handler); });
}

void TMainForm::BindRemoteCommands()
{
    OnCommand(sbtnConnect, [this] { sbtnConnectClick(); });
    OnCommand(sbtnDisconnect, [this] { sbtnDisconnectClick(); });
    OnCommand(sbtnExecute, [this] { sbtnExecuteClick(); });
    OnCommand(sbtn, [this] { sbtnClick(); });
    OnCommand(sbtnRefresh, [this] { sbtnRefreshClick(); });
    OnCommand(sbtnDownload, [this] { sbtnDownloadClick(); });
    OnCommand(sbtnUpload, [this] { sbtnUploadClick(); });
    OnCommand(sbtnDeleteFile, [this] { sbtnDeleteFileClick(); });
    OnCommand(sbtnRename, [this] { sbtnRenameClick(); });
    OnCommand(sbtnMkDir, [this] { sbtnMkDirClick(); });
    OnCommand(sbtnASCII, [this] { sbtnASCIIClick(); });
    OnCommand(sbtnBinary, [this] { sbtnBinaryClick(); });
    connect(edtFTPCommand, &QLineEdit::returnPressed, this,
            [this] { m_session->Run([this] { edtFTPCommandKeyPress(QChar(13)); }); });
    connect(lvRemoteFiles, &QAbstractItemView::doubleClicked, this,
            [this] { m_session->Run([this] { lvRemoteFilesDblClick(); }); });

    lvRemoteFiles->setDragEnabled(true);
    lvRemoteFiles->setDragDropMode(QAbstractItemView::DragDrop);
    new TDropTarget(lvRemoteFiles->viewport(), [this](QObject* Source) { return lvRemoteFilesDragOver(Source); },
                    [this](QObject* Source) { m_session->Run([this, Source] { lvRemoteFilesDragDrop(Source); }); });
    SystemListView->OnDragOver = [this](QObject* Source, bool& Accept) { Accept = SystemListViewDragOver(Source); };
    SystemListView->OnDragDrop = [this](QObject* Source) {
        // The transfer starts once the drag has finished, not inside the drag's own loop.
        QTimer::singleShot(0, this, [this, source = QPointer<QObject>(Source)] {
            if (source)
                m_session->Run([this, source] { SystemListViewDragDrop(source); });
        });
    };
}

void TMainForm::SetUpRemoteMenu()
{
    mnuRemote = new QMenu(this);
    mnuRemote->setObjectName(QStringLiteral("mnuRemote"));
    const auto add = [this](const char* name, const QString& caption, std::function<void()> handler) {
        QAction* action = mnuRemote->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, handler] { m_session->Run(handler); });
        return action;
    };
    actRemoteDownload = add("actRemoteDownload", QStringLiteral("&Download"), [this] { sbtnDownloadClick(); });
    actRemoteOpen = add("actRemoteOpen", QStringLiteral("&Open"), [this] { lvRemoteFilesDblClick(); });
    mnuRemote->addSeparator();
    actRemoteRename = add("actRemoteRename", QStringLiteral("&Rename"), [this] { sbtnRenameClick(); });
    actRemoteDelete = add("actRemoteDelete", QStringLiteral("De&lete"), [this] { sbtnDeleteFileClick(); });
    actRemoteNewFolder = add("actRemoteNewFolder", QStringLiteral("&New folder"), [this] { sbtnMkDirClick(); });
    mnuRemote->addSeparator();
    actRemotePermissions = add("actRemotePermissions", QStringLiteral("&Permissions..."), [this] { PermissionsClick(); });
    actRemoteCopyAddress = add("actRemoteCopyAddress", QStringLiteral("Copy &address"), [this] { CopyAddressClick(); });

    // The menu key arrives as a context menu request at the current row; Shift+F10 does not.
    lvRemoteFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvRemoteFiles, &QWidget::customContextMenuRequested, this,
            Guarded([this](const QPoint& at) { ShowRemoteMenu(at); }));
    auto* shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), lvRemoteFiles, nullptr, nullptr,
                                   Qt::WidgetWithChildrenShortcut);
    connect(shiftF10, &QShortcut::activated, this, Guarded([this] {
                const QModelIndex current = lvRemoteFiles->currentIndex();
                ShowRemoteMenu(current.isValid() ? lvRemoteFiles->visualRect(current).center() : QPoint(0, 0));
            }));
}

void TMainForm::UpdateRemoteMenu()
{
    const bool selected = lvRemoteFiles->selectionModel()->hasSelection();
    // The way up ("..") can be opened, and nothing else done to it.
    const bool entries = !m_session->SelectedEntries().empty();
    actRemoteOpen->setEnabled(selected);
    for (QAction* action : {actRemoteDownload, actRemoteRename, actRemoteDelete})
        action->setEnabled(entries);
    actRemoteNewFolder->setEnabled(m_session->Available());
    actRemotePermissions->setEnabled(entries && m_session->Available());
    actRemoteCopyAddress->setEnabled(entries && m_session->Available());
}

void TMainForm::ShowRemoteMenu(const QPoint& at)
{
    const QModelIndex row = lvRemoteFiles->indexAt(at);
    QItemSelectionModel& selection = *lvRemoteFiles->selectionModel();
    if (!row.isValid())
        selection.clearSelection();
    else if (!selection.isRowSelected(row.row(), row.parent())) {
        selection.setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    UpdateRemoteMenu();
    mnuRemote->popup(lvRemoteFiles->viewport()->mapToGlobal(at));
}

void TMainForm::PermissionsClick()
{
    m_session->ChangePermissions();
}

void TMainForm::CopyAddressClick()
{
    QApplication::clipboard()->setText(m_session->SelectedAddresses());
}

void TMainForm::SetTrustedCertificatesFile(const QString& fileName)
{
    m_session->SetTrustedCertificatesFile(fileName);
}

void TMainForm::sbtnConnectClick()
{
    m_session->Connect(SelectedHost());
}

void TMainForm::sbtnDisconnectClick()
{
    m_session->Disconnect();
}

void TMainForm::edtFTPCommandKeyPress(QChar Key)
{
    if (Key == QChar(13))
        sbtnExecuteClick();
}

void TMainForm::sbtnExecuteClick()
{
    m_session->Execute(edtFTPCommand->text());
}

void TMainForm::sbtnClick()
{
    edtFTPCommand->setText(QStringLiteral("Help"));
    sbtnExecuteClick();
}

void TMainForm::StatusBar1DrawPanel(QPainter& Canvas, const QRect& Rect, const QString& Text)
{
    const QPalette palette = QApplication::palette();
    const QPoint textAt(Rect.left() + 2, Rect.top() + 1);
    const QRect textRect(textAt, Rect.bottomRight());
    const auto percent = PanelPercent(Text);
    if (!percent) {
        Canvas.setPen(palette.color(QPalette::WindowText));
        Canvas.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, Text);
        return;
    }
    if (*percent <= 0)
        return;
    const int width = ProgressBarWidth(Rect.width(), *percent);
    Canvas.fillRect(QRect(Rect.left(), Rect.top() + 1, width, Rect.height()), palette.color(QPalette::ToolTipBase));
    Canvas.setPen(palette.color(QPalette::ToolTipText));
    Canvas.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, Text);
}

void TMainForm::FTPClient1Connect(QObject*)
{
    m_session->ClientConnected();
}

void TMainForm::FTPClient1InvalidHost(bool& Handled)
{
    m_session->InvalidHost(Handled);
}

void TMainForm::FTPClient1AuthenticationFailed(bool& Handled)
{
    m_session->AuthenticationFailed(Handled);
}

void TMainForm::FTPClient1Error(QObject*, quint16 Errno, const QString& Errmsg)
{
    m_session->Error(Errno, Errmsg);
}

void TMainForm::FTPClient1Status(QObject*, const QString& Status)
{
    m_session->Status(Status);
}

void TMainForm::FTPClient1PacketSent(QObject*)
{
    m_session->PacketSent();
}

void TMainForm::FTPClient1PacketRecvd(QObject*)
{
    m_session->PacketRecvd();
}

void TMainForm::FTPClient1Success(TCmdType Trans_Type)
{
    m_session->Success(Trans_Type);
}

void TMainForm::FTPClient1ServerDisconnect(QObject*)
{
    m_session->ServerDisconnect();
}

void TMainForm::FTPClient1ConnectionRequired(bool& Handled)
{
    m_session->ConnectionRequired(Handled);
}

void TMainForm::FTPClient1Certificate(const TCertificateInfo& Certificate, bool& Accept)
{
    m_session->Certificate(Certificate, Accept);
}

void TMainForm::FTPClient1ListItem(const QString& Listing)
{
    m_session->ListItem(Listing);
}

void TMainForm::sbtnRefreshClick()
{
    m_session->Refresh();
}

void TMainForm::lvRemoteFilesDblClick()
{
    m_session->OpenSelected();
}

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
    m_session->Upload();
}

void TMainForm::sbtnDownloadClick()
{
    m_session->Download();
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
    m_session->SetTransferType(true);
}

void TMainForm::sbtnBinaryClick()
{
    m_session->SetTransferType(false);
}

void TMainForm::sbtnDeleteFileClick()
{
    m_session->DeleteSelected();
}

void TMainForm::sbtnRenameClick()
{
    m_session->RenameSelected();
}

void TMainForm::sbtnMkDirClick()
{
    m_session->MakeDirectory();
}
