#include "ftp/FTPClient.h"

#include "ftp/FTPText.h"
#include "ftp/LineEnds.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstring>

// The data connection: a plain socket on which the client may run the wait loop.
class TFTPDataSocket : public TAsyncSocket {
public:
    using TAsyncSocket::TAsyncSocket;
    using TAsyncSocket::WaitUntil;

    bool HasLine() const { return BufferedBytes().contains('\n'); }
};

namespace {

constexpr int QuitWaitOnDestroyMs = 5000;
// How long a cancelled download waits for the server's reply about it (0.95 s).
constexpr qint64 CancelledDrainMs = 950;

QDeadlineTimer DeadlineIn(int ms)
{
    return ms > 0 ? QDeadlineTimer(ms) : QDeadlineTimer(QDeadlineTimer::Forever);
}

QString SecondsText(int ms) { return QString::number((ms + 999) / 1000); }

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

// Longest file name, in bytes, that the local file systems take.
constexpr qsizetype MaxFileNameBytes = 255;

// A fresh name beside target for the bytes of a download in progress. A long
// target name is shortened in it, so that the name still fits the limit.
QString PartialFileName(const QString& target)
{
    const QFileInfo info(target);
    for (;;) {
        const QString tail = QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
        QString stem = u'.' + info.fileName();
        while (QFile::encodeName(stem + tail).size() > MaxFileNameBytes) {
            stem.chop(1);
            if (stem.back().isHighSurrogate())
                stem.chop(1);
        }
        const QString name = info.dir().filePath(stem + tail);
        if (!QFileInfo::exists(name))
            return name;
    }
}

} // namespace

TFTPClient::TFTPClient(QObject* Owner) : TAsyncSocket(Owner)
{
    Port = 21;
    OnDataAvailable = [this](QObject*) { WatchReply(); };
}

TFTPClient::~TFTPClient()
{
    // No event may reach a caller that is tearing down.
    OnStatus = nullptr;
    OnDisconnect = nullptr;
    OnError = nullptr;
    if (m_data)
        m_data->Cancel();
    if (Connected) {
        InactivityTimeOut = InactivityTimeOut > 0 ? std::min(InactivityTimeOut, QuitWaitOnDestroyMs)
                                                  : QuitWaitOnDestroyMs;
        try {
            Disconnect();
        } catch (...) {
            // The server's answer to "QUIT" no longer matters.
        }
    }
}

TAsyncSocket* TFTPClient::DataSocket() const { return m_data; }

qint64 TFTPClient::BytesRecvd() const { return m_data ? m_data->BytesRecvd : 0; }

qint64 TFTPClient::BytesSent() const { return m_data ? m_data->BytesSent : 0; }

void TFTPClient::Report(const QString& text) { StatusMessage(LevelTraffic, text); }

// ---------------------------------------------------------------- replies

void TFTPClient::ArmReplyDeadline() { WaitDeadline = DeadlineIn(InactivityTimeOut); }

QString TFTPClient::ControlExchange(const std::function<QString()>& step)
{
    ++m_controlWaits;
    ArmReplyDeadline();
    const auto done = qScopeGuard([this] {
        --m_controlWaits;
        WaitDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
    });
    try {
        return step();
    } catch (const ETimeOutError&) {
        ControlTimedOut();
    } catch (const EServerAbort&) {
        throw;
    } catch (const EAbortError&) {
        if (m_replyWatchTripped) {
            TakeWatchedReply();
            throw EServerAbort(LastReply);
        }
        m_replyOwed = true;
        throw;
    }
}

void TFTPClient::TakeWatchedReply()
{
    // The reply that ended the wait is the operation's outcome: read once, in
    // full, so that nothing of it is taken for the answer to the next command.
    Canceled = false;
    TimedOut = false;
    LastReply = ReadReplyLine();
    ReplyNumber = ReplyNumberOf(LastReply);
    ReadContinuation(LastReply);
    m_replyWatchTripped = false;
}

void TFTPClient::ControlTimedOut()
{
    // A reply that comes later would be taken for the answer to the next
    // command, so the conversation cannot go on.
    TAsyncSocket::Disconnect();
    throw ETimeOutError(QStringLiteral("The server did not answer within %1 s; the connection was closed.")
                            .arg(SecondsText(InactivityTimeOut)));
}

QString TFTPClient::ReadControlLine()
{
    // The socket's own ReadLn would wait on after the server closed the connection.
    WaitUntil([this] { return BufferedBytes().contains('\n') || !Connected || BufferedCount() > MaxLineLength; });
    if (!Canceled && !Connected && !BufferedBytes().contains('\n'))
        throw ESockError(QStringLiteral("The server closed the connection."));
    return ReadLn();
}

QString TFTPClient::SendCommandLine(const QString& Command)
{
    return ControlExchange([&] {
        StatusMessage(LevelTrace, QStringLiteral("Transaction"));
        ReplyNumber = 0;
        Writeln(Command);
        LastReply = ReadControlLine();
        if (!LastReply.isEmpty()) {
            Report(LastReply);
            ReplyNumber = ReplyNumberOf(LastReply);
        }
        return LastReply;
    });
}

QString TFTPClient::Transaction(const QString& Command)
{
    const QString first = SendCommandLine(Command);
    ReadContinuation(first);
    return first;
}

QString TFTPClient::ReadReplyLine()
{
    const QString line = ControlExchange([this] { return ReadControlLine(); });
    Report(line);
    return line;
}

void TFTPClient::ReadContinuation(QString line)
{
    while (IsReplyContinuation(line))
        line = ReadReplyLine();
}

void TFTPClient::DiscardStrayInput()
{
    // The reply to a command whose wait was aborted is still due; read it now,
    // or it would be taken for the answer to the next command.
    if (std::exchange(m_replyOwed, false))
        ReadContinuation(ReadReplyLine());
    Read(0);
}

bool TFTPClient::Idle() const { return m_controlWaits == 0 && !m_data; }

void TFTPClient::WatchReply()
{
    // Idle, a 421 is the server's farewell: PeerClosed reports it with the close.
    if (m_replyWatchTripped || Idle())
        return;
    const QByteArrayView buffered = BufferedBytes();
    if (buffered.size() > 3 && (buffered.startsWith("421") || buffered.startsWith("426"))) {
        m_replyWatchTripped = true;
        Cancel();
    }
}

// ---------------------------------------------------------------- outcome

void TFTPClient::Failure(TCmdType type, Window window)
{
    if (window == Window::Unsupported && OnUnSupportedFunction && InRange(ReplyNumber, 500, 502))
        OnUnSupportedFunction(type);
    bool handled = false;
    if (OnFailure)
        OnFailure(handled, type);
    if (!handled)
        throw FTPException(LastReply);
}

void TFTPClient::CheckReply(int low, int high, TCmdType type, Window window)
{
    if (InRange(ReplyNumber, low, high))
        Failure(type, window);
}

void TFTPClient::Success(TCmdType type)
{
    if (OnSuccess)
        OnSuccess(type);
}

auto TFTPClient::BeginOperation()
{
    Canceled = false;
    TimedOut = false;
    m_replyWatchTripped = false;
    CheckConnected();
    ++m_operations;
    return qScopeGuard([this] {
        if (--m_operations == 0)
            EndCancel();
    });
}

// ---------------------------------------------------------------- login and logout

void TFTPClient::PeerClosed()
{
    // Inside Connect and Disconnect the operation itself reports the close.
    if (!std::exchange(m_loggedIn, false))
        return;
    if (Idle()) {
        // Nobody is waiting to report it, so the log says it here, with the
        // server's last words when it left any (an idle time-out's 421).
        const QString farewell = QString::fromUtf8(Read(0)).simplified();
        Report(farewell.isEmpty() ? QStringLiteral("The server closed the connection.")
                                  : QStringLiteral("The server closed the connection: ") + farewell);
        m_directoryList.reset();
        Vendor = FTPVendorUnknown;
    }
    if (OnServerDisconnect)
        OnServerDisconnect(this);
}

void TFTPClient::Connect()
{
    Canceled = false;
    if (Connected)
        return;
    Read(0);
    m_replyWatchTripped = false;
    m_replyOwed = false;
    m_loggedIn = false;
    m_textType = true; // the server's default until "TYPE I" is accepted
    try {
        ++m_controlWaits; // so that Abort (the stop button) ends the look-up and the connect
        const auto done = qScopeGuard([this] { --m_controlWaits; });
        TAsyncSocket::Connect();
    } catch (...) {
        // Without a fresh socket every later attempt would fail the same way.
        try {
            RequestCloseSocket();
        } catch (...) {
            // The failed connect is the error to report.
        }
        throw;
    }
    try {
        ReadGreeting();
        Login();
        SetBinaryType();
        m_loggedIn = true;
        if (OnConnect)
            OnConnect(this);
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
            // The login's own failure is the one to report.
        }
        Report(QStringLiteral("Disconnected"));
        throw;
    }
}

void TFTPClient::ReadGreeting()
{
    LastReply = ReadReplyLine();
    ReplyNumber = ReplyNumberOf(LastReply);
    ReadContinuation(LastReply);
    // A server that turns us away (421 too many users) says why in its greeting.
    if (InRange(ReplyNumber, 400, 599))
        throw FTPException(LastReply);
}

void TFTPClient::Login()
{
    const QString secret = QStringLiteral("The password");
    RejectUnsafeText(UserID);
    RejectUnsafeText(Password, secret);
    if ((UserID.isEmpty() || Password.isEmpty()) && OnAuthenticationNeeded) {
        bool handled = false;
        OnAuthenticationNeeded(handled);
        RejectUnsafeText(UserID);
        RejectUnsafeText(Password, secret);
    }
    Report(QStringLiteral("USER ") + UserID);
    Transaction(Proxy.isEmpty() ? QStringLiteral("USER ") + UserID : QStringLiteral("USER %1@%2").arg(UserID, Host));
    CheckLoginReply();
    if (ReplyNumber == 331) {
        Report(QStringLiteral("PASS ")); // never the password itself
        Transaction(QStringLiteral("PASS ") + Password);
        CheckLoginReply();
    }
}

void TFTPClient::SetBinaryType()
{
    // Files must arrive byte for byte; the server's default type (text) would
    // change the line ends of every binary file.
    const QString command = QStringLiteral("TYPE I");
    Report(command);
    Transaction(command);
    m_textType = InRange(ReplyNumber, 400, 599);
}

void TFTPClient::CheckLoginReply()
{
    if (!InRange(ReplyNumber, 401, 599))
        return;
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    throw FTPException(LastReply);
}

void TFTPClient::Disconnect()
{
    Canceled = false;
    if (!Connected)
        return;
    Report(QStringLiteral("QUIT"));
    m_directoryList.reset();
    Vendor = FTPVendorUnknown;
    m_loggedIn = false;
    const auto close = qScopeGuard([this] {
        if (Connected)
            TAsyncSocket::Disconnect();
    });
    DiscardStrayInput();
    Transaction(QStringLiteral("QUIT"));
    if (InRange(ReplyNumber, 301, 599))
        throw FTPException(LastReply);
}

void TFTPClient::Abort()
{
    if (m_data)
        m_data->Cancel();
    if (m_controlWaits > 0)
        Cancel();
}

// ---------------------------------------------------------------- simple commands

void TFTPClient::DoCommand(const QString& Command)
{
    RejectUnsafeText(Command);
    const TCmdType type = CommandTypeOf(Command);
    const auto operation = BeginOperation();
    Report(Command);
    DiscardStrayInput();
    Transaction(Command);
    CheckReply(400, 599, type, Window::Unsupported);
    m_textType = TextTypeOf(Command).value_or(m_textType);
    Success(type);
}

void TFTPClient::Delete(const QString& FileName) { DoCommand(QStringLiteral("DELE ") + FileName); }

void TFTPClient::MakeDirectory(const QString& FolderName) { DoCommand(QStringLiteral("MKD ") + FolderName); }

QString TFTPClient::CurrentDir()
{
    DoCommand(QStringLiteral("PWD"));
    return NthField(LastReply, u'"', 2);
}

void TFTPClient::Rename(const QString& FromName, const QString& ToName)
{
    RejectUnsafeText(FromName);
    RejectUnsafeText(ToName);
    const auto operation = BeginOperation();
    DiscardStrayInput();
    Report(QStringLiteral("RNFR ") + FromName);
    Transaction(QStringLiteral("RNFR ") + FromName);
    CheckReply(352, 599, TCmdType::Rename, Window::Plain);
    Report(QStringLiteral("RNTO ") + ToName);
    Transaction(QStringLiteral("RNTO ") + ToName);
    CheckReply(301, 599, TCmdType::Rename, Window::Unsupported);
    Success(TCmdType::Rename);
}

// ---------------------------------------------------------------- data connection

void TFTPClient::ArmDataDeadline() { m_data->WaitDeadline = DeadlineIn(InactivityTimeOut); }

void TFTPClient::WaitForData(const std::function<void()>& step, const QString& stalled)
{
    ArmDataDeadline(); // packets push it on; the wait re-arms its wake-up from it
    WaitForDataUntilDeadline(step, stalled);
}

void TFTPClient::WaitForDataUntilDeadline(const std::function<void()>& step, const QString& stalled)
{
    try {
        step();
    } catch (const ETimeOutError&) {
        throw ETimeOutError(stalled.arg(SecondsText(InactivityTimeOut)));
    }
}

void TFTPClient::PrepareParser()
{
    if (!m_directoryList) {
        if (Vendor == FTPVendorUnknown) {
            try {
                DoCommand(QStringLiteral("SYST"));
            } catch (const FTPException&) {
                // The refusal's text is examined like a reply.
            } catch (const ESockError&) {
                if (!Connected || Canceled)
                    throw;
            }
            Vendor = VendorFromSystReply(LastReply);
        }
        m_directoryList = MakeDirectoryList(Vendor);
    }
    m_directoryList->Clear();
}

void TFTPClient::OpenDataConnection(TCmdType type)
{
    m_data->TimeOut = TimeOut;
    m_data->Port = 0;
    // Only where the server can reach us, not on every interface.
    m_data->BindAddress = LocalIP();
    m_data->Listen(true);
    const QString command = QStringLiteral("PORT ") + LocalIPText() + m_data->LocalPortText();
    Report(command);
    Transaction(command);
    CheckReply(301, 599, type, Window::Plain);
}

bool TFTPClient::ControlHoldsRefusal() const
{
    const QByteArrayView buffered = BufferedBytes();
    return buffered.contains('\n') && (buffered.startsWith("4") || buffered.startsWith("5"));
}

void TFTPClient::AcceptDataConnection(TCmdType type)
{
    const QString noConnection = QStringLiteral("The server did not open the data connection within %1 s.");
    // One deadline for the whole wait: connections turned away do not extend it.
    ArmDataDeadline();
    for (;;) {
        // A server that cannot connect says so on the control connection instead.
        WaitForDataUntilDeadline(
            [this] { m_data->WaitUntil([this] { return m_data->AsyncDone || ControlHoldsRefusal() || !Connected; }); },
            noConnection);
        if (!m_data->AsyncDone && !m_data->Canceled) {
            if (!ControlHoldsRefusal())
                throw ESockError(QStringLiteral("The server closed the connection."));
            TakeWatchedReply(); // the refusal the reply watcher may have seen
            Failure(type, Window::Plain);
        }
        OwnedSocket incoming;
        WaitForDataUntilDeadline([&] { incoming = m_data->Accept(); }, noConnection);
        // Anyone who reached the port first would otherwise take the upload or
        // feed the download: only the server's own address is let in.
        if (m_data->RemoteIP() == RemoteIP()) {
            m_data->AdoptSocket(std::move(incoming));
            return;
        }
        Report(QStringLiteral("Refused a data connection from %1: it does not come from the server (%2).")
                   .arg(m_data->RemoteIP(), RemoteIP()));
        incoming = OwnedSocket();
        m_data->ListenAgain();
    }
}

qint64 TFTPClient::ReceiveListing()
{
    qint64 received = 0;
    for (;;) {
        if (!m_data->HasLine()) {
            WaitForData(
                [this] {
                    m_data->WaitUntil([this] {
                        return m_data->HasLine() || !m_data->Connected || m_data->BufferedCount() > MaxLineLength;
                    });
                },
                QStringLiteral("The listing stalled: no data for %1 s."));
            if (m_data->Canceled)
                throw EAbortError(QStringLiteral("Socket readln aborted"));
        }
        QString line;
        if (m_data->HasLine() || m_data->BufferedCount() > MaxLineLength)
            line = m_data->ReadLn(); // raises for an endless line
        else if (m_data->BufferedCount() > 0)
            line = QString::fromUtf8(m_data->Read(0)); // a last line without a line feed
        else
            break;
        received += line.toUtf8().size();
        DeliverListingLine(CutListingLineEnd(line));
    }
    return received;
}

void TFTPClient::DeliverListingLine(const QString& line)
{
    if (ParseList && m_directoryList)
        m_directoryList->ParseLine(line);
    if (OnListItem)
        OnListItem(line);
}

void TFTPClient::ReportReceived(qint64 count)
{
    BytesTotal = count;
    Report(QStringLiteral("Received %1 Bytes").arg(count));
}

bool TFTPClient::FinishTransfer(TCmdType type)
{
    m_completionOwed = false; // read here, one way or the other
    if (m_replyWatchTripped) {
        // A 421 or 426 during the transfer: the data may be incomplete, so the
        // operation fails with the server's reply instead of reporting success.
        TakeWatchedReply();
        Failure(type, Window::Plain);
        return false;
    }
    if (Canceled || TimedOut) {
        CollectCancelledReplies();
        throw EAbortError(QStringLiteral("Socket readln aborted"));
    }
    try {
        LastReply = ReadReplyLine();
        ReplyNumber = ReplyNumberOf(LastReply);
        ReadContinuation(LastReply);
    } catch (const EServerAbort&) {
        // The usual order of a server-side abort: the data connection closes,
        // then "426" comes, and it is this transfer's outcome.
    }
    // A transfer the server reports as failed (disk full, aborted) is not a success.
    if (!InRange(ReplyNumber, 400, 599))
        return true;
    Failure(type, Window::Plain);
    return false;
}

void TFTPClient::CollectCancelledReplies()
{
    Canceled = false;
    WaitDeadline = QDeadlineTimer(CancelledDrainMs);
    try {
        WaitUntil([this] { return BufferedCount() > 0; });
    } catch (const ESockError&) {
        // Nothing came: there is nothing to show.
    }
    WaitDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
    TimedOut = false;
    Canceled = false;
    const QByteArray replies = Read(0);
    if (!replies.isEmpty())
        Report(QString::fromUtf8(replies));
}

void TFTPClient::RunTransfer(TCmdType type, const std::function<void()>& body)
{
    m_data = new TFTPDataSocket(this);
    m_completionOwed = false;
    try {
        DiscardStrayInput();
        body();
    } catch (...) {
        EndTransfer(type);
        throw;
    }
    EndTransfer(type);
    Success(type);
}

void TFTPClient::EndTransfer(TCmdType type)
{
    delete std::exchange(m_data, nullptr);
    // A transfer that broke off after the server accepted it still gets a
    // reply about it; collected now, it cannot be taken for the answer to the
    // next command.
    const bool replyOwed = std::exchange(m_completionOwed, false) && Connected;
    if ((type == TCmdType::Download && Canceled) || replyOwed) {
        try {
            CollectCancelledReplies();
        } catch (...) {
            // Only the log would miss the server's last words.
        }
    }
}

void TFTPClient::StartFlow()
{
    if (OnTransactionStart)
        OnTransactionStart(this);
}

void TFTPClient::StopFlow()
{
    if (OnTransactionStop)
        OnTransactionStop(this);
}

bool TFTPClient::DataMayFlow() const { return !Canceled && !TimedOut; }

// ---------------------------------------------------------------- transfers

void TFTPClient::List()
{
    const auto operation = BeginOperation();
    RunTransfer(TCmdType::List, [this] {
        if (ParseList)
            PrepareParser();
        OpenDataConnection(TCmdType::List);
        Report(QStringLiteral("LIST"));
        Transaction(QStringLiteral("LIST"));
        CheckReply(301, 599, TCmdType::List, Window::Unsupported);
        m_completionOwed = true;
        BytesTotal = ByteCountOf(LastReply);
        StartFlow();
        AcceptDataConnection(TCmdType::List);
        const qint64 received = DataMayFlow() ? ReceiveListing() : 0;
        StopFlow();
        m_data->RequestCloseSocket();
        ReportReceived(received);
        FinishTransfer(TCmdType::List);
    });
}

void TFTPClient::SendRetr(const QString& RemoteFile)
{
    Report(QStringLiteral("RETR ") + RemoteFile);
    BytesTotal = 0;
    QString line = SendCommandLine(QStringLiteral("RETR ") + RemoteFile);
    CheckReply(301, 599, TCmdType::Download, Window::Plain);
    BytesTotal = ByteCountOf(line);
    while (IsReplyContinuation(line)) {
        line = ReadReplyLine();
        if (BytesTotal == 0)
            BytesTotal = ByteCountOf(line);
        CheckReply(301, 599, TCmdType::Download, Window::Unsupported);
    }
    m_completionOwed = true;
}

void TFTPClient::Download(const QString& RemoteFile, const QString& LocalFile)
{
    RejectUnsafeText(RemoteFile);
    const auto operation = BeginOperation();
    const QString target = LocalFile.isEmpty() ? RemoteFile : LocalFile;
    // The data goes to a new file beside the target, which replaces the target
    // only when the server confirmed the transfer: a failed or aborted download
    // never destroys what was there.
    const QString partial = PartialFileName(target);
    {
        // Fails before anything is sent when the folder cannot take the file. The
        // probe goes again at once: the capture must create the file afresh, since
        // truncating an existing one makes ext4 write it out synchronously on close.
        QFile probe(partial);
        if (!probe.open(QIODevice::WriteOnly))
            throw Exception(QStringLiteral("Cannot write \"%1\": %2").arg(target, probe.errorString()));
        probe.remove();
    }
    const auto removePartial = qScopeGuard([&partial] { QFile::remove(partial); });
    RunTransfer(TCmdType::Download, [&] {
        OpenDataConnection(TCmdType::Download);
        m_data->OnPacketRecvd = [this, user = OnPacketRecvd](QObject* sender) {
            ArmDataDeadline();
            if (user)
                user(sender);
        };
        SendRetr(RemoteFile);
        AcceptDataConnection(TCmdType::Download);
        StartFlow();
        if (DataMayFlow())
            WaitForData([&] { m_data->CaptureFile(partial); },
                        QStringLiteral("The download stalled: no data for %1 s."));
        StopFlow();
        m_data->RequestCloseSocket();
        const qint64 announced = BytesTotal;
        const qint64 received = m_data->BytesRecvd;
        ReportReceived(received);
        if (FinishTransfer(TCmdType::Download)) {
            // In binary type the announced size is the file's: fewer bytes mean
            // a cut transfer, whatever the server's reply claims.
            if (!m_textType && announced > 0 && received < announced)
                throw EIncompleteTransfer(QStringLiteral("The download of \"%1\" is incomplete: %2 of %3 bytes arrived.")
                                              .arg(RemoteFile)
                                              .arg(received)
                                              .arg(announced));
            if (m_textType)
                ConvertToLocalLineEnds(partial);
            if (QFileInfo::exists(target))
                QFile::setPermissions(partial, QFile::permissions(target));
            ReplaceFile(partial, target);
        }
    });
}

void TFTPClient::ReplaceFile(const QString& from, const QString& to)
{
    // rename() replaces the old file in one step: it is either the old or the new one.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        throw Exception(QStringLiteral("Cannot write \"%1\": %2").arg(to, reason));
    }
}

void TFTPClient::SendStor(const QString& LocalFile, const QString& RemoteFile)
{
    const QString name = RemoteFile.isEmpty() ? FileNamePart(LocalFile) : RemoteFile;
    Report(QStringLiteral("STOR ") + (RemoteFile.isEmpty() ? LocalFile : RemoteFile));
    Transaction(QStringLiteral("STOR ") + name);
    CheckReply(301, 599, TCmdType::Upload, Window::Unsupported);
    m_completionOwed = true;
}

void TFTPClient::Upload(const QString& LocalFile, const QString& RemoteFile)
{
    RejectUnsafeText(RemoteFile.isEmpty() ? FileNamePart(LocalFile) : RemoteFile);
    const auto operation = BeginOperation();
    RunTransfer(TCmdType::Upload, [&] {
        QFile file(LocalFile);
        if (!file.open(QIODevice::ReadOnly))
            throw Exception(QStringLiteral("Cannot open \"%1\": %2").arg(LocalFile, file.errorString()));
        BytesTotal = file.size();
        file.close();
        OpenDataConnection(TCmdType::Upload);
        m_data->OnPacketSent = [this, user = OnPacketSent](QObject* sender) {
            ArmDataDeadline();
            if (user)
                user(sender);
        };
        SendStor(LocalFile, RemoteFile);
        AcceptDataConnection(TCmdType::Upload);
        StartFlow();
        if (DataMayFlow()) {
            try {
                WaitForData([&] { m_data->SendFile(LocalFile); },
                            QStringLiteral("The upload stalled: the server took no data for %1 s."));
            } catch (const EAbortError&) {
                throw;
            } catch (const ETimeOutError&) {
                throw;
            } catch (const ESockError&) {
                // The server broke the data connection off: its reply says why.
                if (!Connected || FinishTransfer(TCmdType::Upload))
                    throw;
                return;
            }
        }
        StopFlow();
        m_data->SetLinger(false, 0); // close gracefully: the server must get every byte
        m_data->RequestCloseSocket();
        FinishTransfer(TCmdType::Upload);
    });
}
