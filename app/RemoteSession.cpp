// The session's connection: connect and disconnect, reconnecting after a dropped
// line, the busy state, the one-command rule, the reactions to each completed
// transaction, progress, and the command line.
#include "app/RemoteSession.h"
#include "app/Dialogs.h"
#include "app/FtpAddress.h"
#include "app/RemoteFileTypes.h"
#include "app/RemoteListModel.h"
#include "app/ScreenCursor.h"
#include "app/Sounds.h"
#include "app/StatusText.h"
#include "app/TransferRunner.h"
#include "app/uRegistry.h"
#include "ftp/FTPClient.h"
#include "net/ErrorBoundary.h"
#include "net/ScopeExit.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>

namespace {
const QString kErrorTitle = QStringLiteral("Error");

// The connection a user operation needed could not be made again. It is shown
// in a box wherever the operation started, the command line included, since
// it is no answer to what was typed.
class EReconnectFailed : public Exception {
public:
    using Exception::Exception;
};

// Restores a counter when a command ends, also by an exception.
class TDepth {
public:
    explicit TDepth(int& depth) : m_depth(depth) { ++m_depth; }
    ~TDepth() { --m_depth; }
    TDepth(const TDepth&) = delete;
    TDepth& operator=(const TDepth&) = delete;

private:
    int& m_depth;
};
} // namespace

TRemoteSession::TRemoteSession(TWindowSide window, QObject* parent)
    : QObject(parent),
      m_window(std::move(window)),
      m_registry(new TuRegistry(this)),
      m_trust(TrustedCertificatesFileName(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))),
      m_client(new TFTPClient(this)),
      m_transfers(new TTransferRunner(this))
{
    m_registry->Root = rkClassesRoot;
    m_remoteTypes = std::make_unique<TRemoteFileTypes>(*m_registry);
    m_model = new TRemoteListModel(m_remoteTypes->Images(), this);
    m_selection = new QItemSelectionModel(m_model, this);
    m_client->Port = 21;
    m_client->ReportLevel = 2;
    m_client->ParseList = true;
    m_client->ProxyPort = 0;
    SetUpTransfers();
}

TRemoteSession::~TRemoteSession()
{
    ReleaseClient();
}

void TRemoteSession::ReleaseClient()
{
    // Deleted while still reachable: its goodbye's events come back to the session.
    m_transfers->ReleaseClient();
    delete m_client;
    m_client = nullptr;
}

bool TRemoteSession::Connected() const
{
    return m_client->Connected;
}

bool TRemoteSession::Available() const
{
    return m_client->Connected || m_reconnectable;
}

void TRemoteSession::Log(const QString& line)
{
    if (OnLog)
        OnLog(line);
}

void TRemoteSession::Run(const std::function<void()>& command)
{
    // The FTP client does one thing at a time; a second command started from inside
    // the first one's wait would tangle both conversations.
    if (m_commandDepth > 0) {
        QApplication::beep();
        if (OnStatusText)
            OnStatusText(QStringLiteral("Please wait until the current operation ends, or press Stop."));
        return;
    }
    {
        TDepth depth(m_commandDepth);
        try {
            command();
        } catch (...) {
            // Nothing runs once the command is over, also when a transaction failed
            // before its end was reported: Stop and the command line must not stay
            // as if it still ran.
            Busy = false;
            // After a close request the command was stopped on purpose: nothing to report.
            if (!m_closePending)
                HandleException(std::current_exception());
        }
    }
    if (m_closePending)
        QTimer::singleShot(0, this, [this] {
            if (OnCloseReady)
                OnCloseReady();
        });
}

bool TRemoteSession::CloseWhenIdle()
{
    if (m_transfers->Active()) {
        if (!m_closePending) {
            m_window.Sounds().Play(TSound::Question);
            if (!m_window.Dialogs().Confirm(QStringLiteral("Transfers are still running. Stop them and close?")))
                return false;
        }
        // The queue's wait is on the stack: the window closes once it has returned.
        m_closePending = true;
        m_transfers->CancelAll();
        if (m_commandDepth > 0)
            m_client->Abort();
        return false;
    }
    if (m_commandDepth == 0)
        return true;
    // Closing in the middle of a command would destroy the window under it: stop the
    // command, and close once it has returned.
    m_closePending = true;
    m_client->Abort();
    return false;
}

void TRemoteSession::Stop()
{
    // The browsing connection's command first; with none running, the transfer.
    if (Running()) {
        m_stopRequested = true;
        m_client->Abort();
    } else {
        m_transfers->CancelRunning();
    }
}

bool TRemoteSession::Stoppable() const
{
    return Busy || m_transfers->Queue().Running() || m_transfers->Queue().Listing();
}

void TRemoteSession::Connect(const std::optional<THostEntry>& site)
{
    if (m_client->Connected) {
        m_window.Sounds().Play(TSound::Question);
        if (!m_window.Dialogs().Confirm(QStringLiteral("Break current connection?")))
            return;
        m_client->Disconnect();
    }
    if (!site)
        return;
    m_reconnectable = false;
    SetRemoteFolder({});
    m_acceptedOnce.clear();
    // The dialog stores a typed "host:port" or "[::1]" apart; a file edited by
    // hand may still hold one.
    const TFtpAddress address = ParseFtpAddress(site->Hostname);
    m_client->Host = address.Valid() ? address.Host : site->Hostname;
    const bool implicitTls = address.Valid() && address.ImplicitTls;
    m_client->Port = address.Valid() && address.Port ? *address.Port
                     : implicitTls && site->Port == DefaultFtpPort ? DefaultImplicitTlsPort
                                                                   : site->Port;
    m_client->Passive = site->Passive;
    m_client->TemporaryUploadNames = site->TemporaryUploadNames;
    m_client->KeepModificationTimes = site->KeepModificationTimes;
    // An "ftps://" host (a file edited by hand) asks for TLS from the first byte.
    m_client->Security = implicitTls ? TSecurity::ImplicitTls : site->Security;
    // Kept by the client and the list for a reconnect, like the other settings.
    m_client->NameEncoding = ClientNameEncoding(site->Encoding);
    m_model->SetNameGuessing(site->Encoding.isEmpty());
    m_client->UserID = site->Username;
    m_client->Password = site->Password;
    LocalDir = site->LocalDir;
    RemoteDir = site->RemoteDir;
    ShowDisconnected();
    if (OnConnecting)
        OnConnecting(m_client->Host);
    Log(QStringLiteral("Connecting..."));
    PrepareSecurity();
    m_client->Connect();
    SetScreenCursor(Qt::ArrowCursor);
}

void TRemoteSession::ClientConnected()
{
    ShowTransferType();
    ShowConnectionSecurity();
    if (m_reconnecting) {
        // Quietly: the operation that needed the connection returns to its folder and goes on.
        Log(QStringLiteral("Connected - remote TCP/TP: ") + m_client->RemoteIP());
        return;
    }
    m_window.Sounds().Play(TSound::Information);
    Log(QStringLiteral("Connected - remote TCP/TP: ") + m_client->RemoteIP());
    SetRemoteFolder(m_client->CurrentDir());
    m_loginFolder = m_remoteFolder;
    Log(QStringLiteral("Current folder is: ") + m_remoteFolder);
    SetScreenCursor(Qt::ArrowCursor);
    Busy = false;
    if (!m_client->Connected)
        return;
    if (OnConnected)
        OnConnected();
    // A host whose remote folder is gone must not cost the connection: the login
    // worked, so the refusal is shown and the session goes on.
    try {
        if (!RemoteDir.isEmpty())
            ChangeRemoteFolder(RemoteDir);
        else
            m_client->List();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

void TRemoteSession::InvalidHost(bool& Handled)
{
    m_window.Sounds().Play(TSound::Error);
    m_window.Dialogs().ShowError(kErrorTitle, QStringLiteral("Connection failed: Cannot connect to host."));
    Handled = true;
}

void TRemoteSession::AuthenticationFailed(bool& Handled)
{
    m_window.Sounds().Play(TSound::Error);
    m_window.Dialogs().ShowError(kErrorTitle, QStringLiteral("Connection failed: bad login."));
    Busy = false;
    Handled = true;
}

void TRemoteSession::Error(quint16 Errno, const QString& Errmsg)
{
    m_window.Sounds().Play(TSound::Error);
    m_window.Dialogs().ShowError(kErrorTitle, QStringLiteral("Error %1: %2").arg(Errno).arg(Errmsg));
    Busy = false;
}

void TRemoteSession::ServerDisconnect()
{
    // The client has logged why. The client keeps the host's settings and the
    // session the folder, so the next operation can come back to them.
    m_reconnectable = true;
    ShowDisconnected();
    if (OnServerDisconnect)
        OnServerDisconnect();
}

void TRemoteSession::ConnectionRequired(bool& Handled)
{
    // Raised when an operation starts unconnected. One attempt per operation.
    if (!m_reconnectable || m_reconnecting)
        return;
    Reconnect();
    Handled = m_client->Connected;
}

void TRemoteSession::Reconnect()
{
    const bool busy = Busy;
    const bool textType = m_client->TextType();
    const QString host = m_client->Host;
    m_reconnecting = true;
    ScopeExit done([this] { m_reconnecting = false; });
    try {
        Log(QStringLiteral("Reconnecting..."));
        try {
            m_client->Connect();
        } catch (const Exception& error) {
            throw EReconnectFailed(QStringLiteral("Could not reconnect to %1: %2").arg(host, error.Message().trimmed()));
        }
        ShowConnectionSecurity();
        // Login sets binary type; a user who had chosen ASCII keeps it.
        if (textType) {
            m_client->DoCommand(QStringLiteral("TYPE A"));
            ShowTransferType();
        }
        // A folder that is gone abandons the operation rather than run it
        // (an upload above all) in another folder.
        if (!m_remoteFolder.isEmpty())
            SendFolderChange(QStringLiteral("CWD ") + m_remoteFolder);
    } catch (...) {
        Busy = false; // the operation ends here
        throw;
    }
    // The events of the login and the folder change marked the session idle;
    // the operation that asked is still running.
    Busy = busy;
}

void TRemoteSession::Disconnect()
{
    m_window.Sounds().Play(TSound::Question);
    if (!m_window.Dialogs().Confirm(QStringLiteral("Are you sure that you want to disconnect?")))
        return;
    m_reconnectable = false;
    m_client->Disconnect();
    SetRemoteFolder({});
    ShowDisconnected();
}

void TRemoteSession::Status(const QString& Status)
{
    if (const auto line = StatusLogLine(Status))
        Log(*line);
}

void TRemoteSession::ShowProgress(qint64 part, qint64 total)
{
    // One announcement per change of the figure, not per block: the bar looks the
    // same and a fast transfer is not slowed down by painting.
    // Sizes count the file, not the bytes on the wire, which in ASCII type
    // carry a CR more per line: measured against them, progress stops at 100.
    const int percent = std::min(Percentage(part, total), 100);
    if (percent == m_shownPercent)
        return;
    m_shownPercent = percent;
    if (OnProgress)
        OnProgress(percent);
}

void TRemoteSession::PacketSent()
{
    ShowProgress(m_client->BytesSent(), m_client->BytesTotal);
}

void TRemoteSession::PacketRecvd()
{
    ShowProgress(m_client->BytesRecvd(), m_client->BytesTotal);
}

TRemoteSession::TTreeWork::TTreeWork(TRemoteSession& session) : m_session(session)
{
    m_session.m_treeWork = m_session.Busy = true;
    m_session.m_stopRequested = false;
}

TRemoteSession::TTreeWork::~TTreeWork()
{
    m_session.m_treeWork = m_session.Busy = false;
}

void TRemoteSession::Success(TCmdType Trans_Type)
{
    // A walk through a tree goes in and out of its folders: the folder shown stays.
    if (m_treeWork && (Trans_Type == TCmdType::ChangeDir || Trans_Type == TCmdType::List))
        return;
    switch (Trans_Type) {
    case TCmdType::ChangeDir:
        Log(QStringLiteral("ChangeDir success"));
        SetRemoteFolder(m_client->CurrentDir());
        Log(QStringLiteral("Current file folder: ") + m_remoteFolder);
        // Back in its folder after a reconnect, the operation goes on instead of a listing.
        if (!m_reconnecting)
            Refresh();
        break;
    case TCmdType::MakeDir:
        Log(QStringLiteral("MakeDir success"));
        Refresh();
        break;
    case TCmdType::Delete: Log(QStringLiteral("Delete success")); break;
    case TCmdType::RemoveDir:
        Log(QStringLiteral("RemoveDir success"));
        if (!m_treeWork) // a tree's folders are many: the listing is reloaded once, after the last
            Refresh();
        break;
    case TCmdType::List:
        Log(QStringLiteral("List success"));
        m_model->FlushSoon();
        m_shownPercent = -1;
        if (OnListingReady)
            OnListingReady(true);
        break;
    case TCmdType::Rename: Log(QStringLiteral("Rename success")); break;
    case TCmdType::UploadRestore: Log(QStringLiteral("UploadRestore success")); break;
    case TCmdType::DownloadRestore: Log(QStringLiteral("DownloadRestore success")); break;
    case TCmdType::Download: Log(QStringLiteral("Download success")); break;
    case TCmdType::Upload: Log(QStringLiteral("Upload success")); break;
    case TCmdType::UploadAppend: Log(QStringLiteral("UploadAppend success")); break;
    case TCmdType::ReInit: Log(QStringLiteral("ReInit success")); break;
    case TCmdType::Allocate: Log(QStringLiteral("Allocate success")); break;
    case TCmdType::NList:
        Log(QStringLiteral("NList success"));
        if (OnListingReady)
            OnListingReady(false);
        break;
    case TCmdType::DoCommand: Log(QStringLiteral("DoCommand success")); break;
    case TCmdType::CurrentDir: break;
    }
    SetScreenCursor(Qt::ArrowCursor);
    Busy = m_treeWork;
}

void TRemoteSession::ChangeRemoteFolder(const QString& Folder)
{
    // A host's folder is relative to the login folder; one given from the root
    // ("ftp://host/%2Fetc") stays absolute, which "./" would undo.
    SendFolderChange((Folder.startsWith(u'/') ? QStringLiteral("CWD ") : QStringLiteral("CWD ./")) + Folder);
}

void TRemoteSession::GoTo(const QString& path)
{
    ChangeRemoteFolder(path);
}

void TRemoteSession::SetRemoteFolder(const QString& folder)
{
    m_remoteFolder = folder;
    if (OnFolderChanged)
        OnFolderChanged(folder);
}

void TRemoteSession::SendFolderChange(const QString& command)
{
    Log(command);
    m_client->DoCommand(command);
}

void TRemoteSession::Execute(const QString& command)
{
    ScopeExit showType([this] { ShowTransferType(); }); // a typed "TYPE" changes it too
    try {
        m_client->DoCommand(command);
    } catch (const EReconnectFailed&) {
        throw;
    } catch (const Exception& error) {
        if (const auto line = StatusLogLine(error.Message()))
            Log(*line);
    }
}

void TRemoteSession::SetTransferType(bool text)
{
    ScopeExit showType([this] { ShowTransferType(); });
    m_client->DoCommand(text ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I"));
}

void TRemoteSession::ShowTransferType()
{
    // The buttons show the server's type, also after a refused click.
    if (OnTransferType)
        OnTransferType(m_client->TextType());
}
