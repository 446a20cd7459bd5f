// The FTP connection of the main window: connect and disconnect, the status log, the
// progress panel, the reactions to each completed transaction, and the command line.
#include "app/Dialogs.h"
#include "app/FtpAddress.h"
#include "app/MainForm.h"
#include "app/RemoteListModel.h"
#include "app/ScreenCursor.h"
#include "app/Sounds.h"
#include "app/StatusBar.h"
#include "app/StatusLog.h"
#include "app/StatusText.h"
#include "ftp/FTPClient.h"
#include "net/ErrorBoundary.h"
#include "net/ScopeExit.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTreeWidget>
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
} // namespace

void TMainForm::SetUpFTPClient()
{
    FTPClient1->Port = 21;
    FTPClient1->ReportLevel = 2;
    FTPClient1->ParseList = true;
    FTPClient1->ProxyPort = 0;
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

void TMainForm::Log(const QString& line)
{
    TStatusLog::Of(mmoStatus).Append(line);
}

void TMainForm::sbtnConnectClick()
{
    if (FTPClient1->Connected) {
        Sounds().Play(TSound::Question);
        if (!Dialogs().Confirm(QStringLiteral("Break current connection?")))
            return;
        FTPClient1->Disconnect();
    }
    const std::optional<THostEntry> site = SelectedHost();
    if (!site)
        return;
    m_reconnectable = false;
    m_remoteFolder.clear();
    m_acceptedOnce.clear();
    // The dialog stores a typed "host:port" or "[::1]" apart; a file edited by
    // hand may still hold one.
    const TFtpAddress address = ParseFtpAddress(site->Hostname);
    FTPClient1->Host = address.Valid() ? address.Host : site->Hostname;
    FTPClient1->Port = address.Valid() && address.Port ? *address.Port : site->Port;
    FTPClient1->Passive = site->Passive;
    FTPClient1->Security = site->Security;
    // Kept by the client and the list for a reconnect, like the other settings.
    FTPClient1->NameEncoding = ClientNameEncoding(site->Encoding);
    m_remoteModel->SetNameGuessing(site->Encoding.isEmpty());
    FTPClient1->UserID = site->Username;
    FTPClient1->Password = site->Password;
    LocalDir = site->LocalDir;
    RemoteDir = site->RemoteDir;
    ShowDisconnected();
    setWindowTitle(ConnectedTitle(FTPClient1->Host, false));
    pgctlFTP->setCurrentWidget(tbshtStatus);
    mmoStatus->clear();
    Log(QStringLiteral("Connecting..."));
    FTPClient1->Connect();
    SetScreenCursor(Qt::ArrowCursor);
}

void TMainForm::FTPClient1Connect(QObject*)
{
    ShowTransferType();
    ShowConnectionSecurity();
    if (m_reconnecting) {
        // Quietly: the operation that needed the connection returns to its folder and goes on.
        Log(QStringLiteral("Connected - remote TCP/TP: ") + FTPClient1->RemoteIP());
        return;
    }
    Sounds().Play(TSound::Information);
    Log(QStringLiteral("Connected - remote TCP/TP: ") + FTPClient1->RemoteIP());
    m_remoteFolder = FTPClient1->CurrentDir();
    Log(QStringLiteral("Current folder is: ") + m_remoteFolder);
    SetScreenCursor(Qt::ArrowCursor);
    Busy = false;
    if (!FTPClient1->Connected)
        return;
    if (!LocalDir.isEmpty())
        SystemTreeView->SetDirectory(LocalDir);
    // A host whose remote folder is gone must not cost the connection: the login
    // worked, so the refusal is shown and the session goes on.
    try {
        if (!RemoteDir.isEmpty())
            ChangeRemoteFolder(RemoteDir);
        else
            FTPClient1->List();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

void TMainForm::FTPClient1InvalidHost(bool& Handled)
{
    Sounds().Play(TSound::Error);
    Dialogs().ShowError(kErrorTitle, QStringLiteral("Connection failed: Cannot connect to host."));
    Handled = true;
}

void TMainForm::FTPClient1AuthenticationFailed(bool& Handled)
{
    Sounds().Play(TSound::Error);
    Dialogs().ShowError(kErrorTitle, QStringLiteral("Connection failed: bad login."));
    Busy = false;
    Handled = true;
}

void TMainForm::FTPClient1Error(QObject*, quint16 Errno, const QString& Errmsg)
{
    Sounds().Play(TSound::Error);
    Dialogs().ShowError(kErrorTitle, QStringLiteral("Error %1: %2").arg(Errno).arg(Errmsg));
    Busy = false;
}

void TMainForm::FTPClient1ServerDisconnect(QObject*)
{
    // The client has logged why. The client keeps the host's settings and the
    // window the folder, so the next operation can come back to them.
    m_reconnectable = true;
    ShowDisconnected();
    IdleHandler();
}

void TMainForm::FTPClient1ConnectionRequired(bool& Handled)
{
    // Raised when an operation starts unconnected. One attempt per operation.
    if (!m_reconnectable || m_reconnecting)
        return;
    Reconnect();
    Handled = FTPClient1->Connected;
}

bool TMainForm::RemoteAvailable() const
{
    return FTPClient1->Connected || m_reconnectable;
}

void TMainForm::Reconnect()
{
    const bool busy = Busy;
    const bool textType = FTPClient1->TextType();
    const QString host = FTPClient1->Host;
    m_reconnecting = true;
    ScopeExit done([this] { m_reconnecting = false; });
    try {
        Log(QStringLiteral("Reconnecting..."));
        try {
            FTPClient1->Connect();
        } catch (const Exception& error) {
            throw EReconnectFailed(QStringLiteral("Could not reconnect to %1: %2").arg(host, error.Message().trimmed()));
        }
        ShowConnectionSecurity();
        // Login sets binary type; a user who had chosen ASCII keeps it.
        if (textType) {
            FTPClient1->DoCommand(QStringLiteral("TYPE A"));
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
    // The events of the login and the folder change marked the window idle;
    // the operation that asked is still running.
    Busy = busy;
}

void TMainForm::sbtnDisconnectClick()
{
    Sounds().Play(TSound::Question);
    if (!Dialogs().Confirm(QStringLiteral("Are you sure that you want to disconnect?")))
        return;
    m_reconnectable = false;
    FTPClient1->Disconnect();
    ShowDisconnected();
}

void TMainForm::FTPClient1Status(QObject*, const QString& Status)
{
    if (const auto line = StatusLogLine(Status))
        Log(*line);
}

void TMainForm::ShowProgress(qint64 part)
{
    // One repaint per change of the figure, not per block: the bar looks the same
    // and a fast transfer is not slowed down by painting.
    // Sizes count the file, not the bytes on the wire, which in ASCII type
    // carry a CR more per line: measured against them, progress stops at 100.
    const qint64 total = FTPClient1->BytesTotal > 0 ? FTPClient1->BytesTotal : m_listedSize;
    const int percent = std::min(Percentage(part, total), 100);
    if (percent == m_shownPercent)
        return;
    m_shownPercent = percent;
    StatusBar1->SetPanelText(0, PercentText(percent));
    StatusBar1->RepaintNow();
}

void TMainForm::FTPClient1PacketSent(QObject*)
{
    ShowProgress(FTPClient1->BytesSent());
}

void TMainForm::FTPClient1PacketRecvd(QObject*)
{
    ShowProgress(FTPClient1->BytesRecvd());
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

void TMainForm::FTPClient1Success(TCmdType Trans_Type)
{
    switch (Trans_Type) {
    case TCmdType::ChangeDir:
        Log(QStringLiteral("ChangeDir success"));
        m_remoteFolder = FTPClient1->CurrentDir();
        Log(QStringLiteral("Current file folder: ") + m_remoteFolder);
        // Back in its folder after a reconnect, the operation goes on instead of a listing.
        if (!m_reconnecting)
            sbtnRefreshClick();
        break;
    case TCmdType::MakeDir:
        Log(QStringLiteral("MakeDir success"));
        sbtnRefreshClick();
        break;
    case TCmdType::Delete: Log(QStringLiteral("Delete success")); break;
    case TCmdType::RemoveDir:
        Log(QStringLiteral("RemoveDir success"));
        sbtnRefreshClick();
        break;
    case TCmdType::List:
        Log(QStringLiteral("List success"));
        m_remoteModel->FlushSoon();
        StatusBar1->SetPanelText(0, QString());
        m_shownPercent = -1;
        StatusBar1->SetPanelText(1, QString());
        pgctlFTP->setCurrentWidget(tbshtListing);
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
        pgctlFTP->setCurrentWidget(tbshtListing);
        break;
    case TCmdType::DoCommand: Log(QStringLiteral("DoCommand success")); break;
    case TCmdType::CurrentDir: break;
    }
    SetScreenCursor(Qt::ArrowCursor);
    Busy = false;
}

void TMainForm::ChangeRemoteFolder(const QString& Folder)
{
    SendFolderChange(QStringLiteral("CWD ./") + Folder);
}

void TMainForm::SendFolderChange(const QString& command)
{
    Log(command);
    FTPClient1->DoCommand(command);
}

void TMainForm::edtFTPCommandKeyPress(QChar Key)
{
    if (Key == QChar(13))
        sbtnExecuteClick();
}

void TMainForm::sbtnExecuteClick()
{
    ScopeExit showType([this] { ShowTransferType(); }); // a typed "TYPE" changes it too
    try {
        FTPClient1->DoCommand(edtFTPCommand->text());
    } catch (const EReconnectFailed&) {
        throw;
    } catch (const Exception& error) {
        if (const auto line = StatusLogLine(error.Message()))
            Log(*line);
    }
}

void TMainForm::sbtnClick()
{
    edtFTPCommand->setText(QStringLiteral("Help"));
    sbtnExecuteClick();
}
