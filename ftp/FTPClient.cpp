#include "ftp/FTPClient.h"

#include "ftp/DataSocket.h"
#include "ftp/FTPText.h"
#include "ftp/LineEnds.h"
#include "ftp/WireText.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstring>


namespace {

constexpr int QuitWaitOnDestroyMs = 5000;

} // namespace

TFTPClient::TFTPClient(QObject* Owner)
    : TAsyncSocket(Owner), m_replies(*this, [this](const std::function<bool()>& done) { WaitUntil(done); },
                                     InactivityTimeOut, NameEncoding)
{
    Port = 21;
    OnDataAvailable = [this](QObject*) { m_replies.Watch(Idle()); };
}

TFTPClient::~TFTPClient()
{
    // No event may reach a caller that is tearing down.
    OnStatus = nullptr;
    OnDisconnect = nullptr;
    OnError = nullptr;
    // The data connection's TLS layer reports its end to the TLS context, a
    // member that goes before the children do.
    delete std::exchange(m_data, nullptr);
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

void TFTPClient::Report(const QString& text)
{
    StatusMessage(LevelTraffic, DisplayText(text, NameEncoding.isEmpty()));
}

// ---------------------------------------------------------------- replies

QString TFTPClient::Transaction(const QString& Command) { return m_replies.Exchange(Command); }

bool TFTPClient::Idle() const { return !m_replies.Waiting() && !m_data; }

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

TFTPClient::TOperation TFTPClient::BeginOperation()
{
    Canceled = false;
    TimedOut = false;
    CheckConnected();
    m_replies.Reset(false);
    ++m_operations;
    return TOperation([this] {
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
    Open(true);
}

void TFTPClient::Open(bool announce)
{
    Read(0);
    m_replies.Reset(true);
    m_loggedIn = false;
    m_epsvRefused = false;
    m_features.clear();
    m_featureLines.clear();
    m_hashChosen = m_hashKnown = m_renameRefused = m_siteUtimeRefused = false;
    m_hashCommands.clear();
    m_textType = true; // the server's default until "TYPE I" is accepted
    try {
        m_connecting = true; // so that Abort (the stop button) ends the look-up and the connect
        const auto done = qScopeGuard([this] { m_connecting = false; });
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
        if (Security == TSecurity::ImplicitTls)
            SecureControl();
        ReadGreeting();
        if (Security == TSecurity::TlsIfAvailable || Security == TSecurity::RequireTls)
            NegotiateTls();
        Login();
        ProtectData();
        AskFeatures();
        SetBinaryType();
        m_loggedIn = true;
        if (announce && OnConnect)
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
    m_replies.Read();
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

void TFTPClient::AskFeatures()
{
    // What the server offers beyond RFC 959 decides how names and listings
    // travel; a server that refuses "FEAT" is used as a plain one.
    Report(QStringLiteral("FEAT"));
    Transaction(QStringLiteral("FEAT"));
    const QStringList lines = ReplyNumber == 211 ? m_replies.Lines() : QStringList();
    m_features = FeaturesOf(lines);
    m_featureLines = lines;
    // The Unix rights come only when asked for on some servers (pyftpdlib).
    if (const QString facts = WantedMachineFacts(lines); !facts.isEmpty()) {
        Report(QStringLiteral("OPTS MLST ") + facts);
        Transaction(QStringLiteral("OPTS MLST ") + facts);
    }
    if (Supports(QStringLiteral("UTF8")) && NameEncoding.isEmpty()) {
        // Most servers then speak UTF-8 names; some refuse since they always do.
        Report(QStringLiteral("OPTS UTF8 ON"));
        Transaction(QStringLiteral("OPTS UTF8 ON"));
    }
}

bool TFTPClient::Supports(const QString& feature) const
{
    return m_features.contains(feature, Qt::CaseInsensitive);
}

bool TFTPClient::MachineListings() const { return MachineListingsWanted && Supports(QStringLiteral("MLST")); }

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
    m_replies.SettleDebts();
    Transaction(QStringLiteral("QUIT"));
    if (InRange(ReplyNumber, 301, 599))
        throw FTPException(LastReply);
}

void TFTPClient::Abort()
{
    if (m_data)
        m_data->Cancel();
    if (m_connecting || m_replies.Waiting())
        Cancel();
}

// ---------------------------------------------------------------- simple commands

void TFTPClient::DoCommand(const QString& Command)
{
    RejectUnsafeText(Command);
    const TCmdType type = CommandTypeOf(Command);
    const auto operation = BeginOperation();
    Report(Command);
    m_replies.SettleDebts();
    Transaction(Command);
    CheckReply(400, 599, type, Window::Unsupported);
    m_textType = TextTypeOf(Command).value_or(m_textType);
    Success(type);
}

void TFTPClient::Delete(const QString& FileName) { DoCommand(QStringLiteral("DELE ") + FileName); }

void TFTPClient::MakeDirectory(const QString& FolderName) { DoCommand(QStringLiteral("MKD ") + FolderName); }

void TFTPClient::RemoveDirectory(const QString& FolderName) { DoCommand(QStringLiteral("RMD ") + FolderName); }

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
    m_replies.SettleDebts();
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
        m_directoryList = MachineListings() ? MakeMachineListParser() : MakeDirectoryList(Vendor);
    }
    m_directoryList->Clear();
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
        QByteArray line;
        if (m_data->HasLine() || m_data->BufferedCount() > MaxLineLength)
            line = m_data->ReadLineBytes(); // raises for an endless line
        else if (m_data->BufferedCount() > 0)
            line = m_data->Read(0); // a last line without a line feed
        else
            break;
        received += line.size();
        DeliverListingLine(CutListingLineEnd(DecodeWire(line, NameEncoding)));
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
    m_replies.Settle(); // read here, one way or the other
    if (m_replies.Tripped()) {
        // A 421 or 426 during the transfer: the data may be incomplete, so the
        // operation fails with the server's reply instead of reporting success.
        m_replies.TakeWatched();
        Failure(type, Window::Plain);
        return false;
    }
    if (Canceled || TimedOut) {
        m_replies.Drain();
        throw EAbortError(QStringLiteral("Socket readln aborted"));
    }
    try {
        m_replies.Read();
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

void TFTPClient::RunTransfer(TCmdType type, const std::function<void()>& body)
{
    for (bool firstTry = true;; firstTry = false) {
        m_data = new TFTPDataSocket(this);
        m_dataConnection = MakeDataConnection();
        try {
            m_replies.SettleDebts();
            body();
        } catch (const FTPException&) {
            // Once per transfer: a server that refuses the renewed session too means it.
            const bool renew = firstTry && DataSessionRefused();
            EndTransfer(type);
            if (!renew)
                throw;
            RenewTlsSession();
            continue;
        } catch (...) {
            EndTransfer(type);
            throw;
        }
        EndTransfer(type);
        Success(type);
        return;
    }
}

void TFTPClient::EndTransfer(TCmdType type)
{
    m_dataConnection.reset();
    delete std::exchange(m_data, nullptr);
    // A transfer that broke off after the server accepted it still gets a
    // reply about it; collected now, it cannot be taken for the answer to the
    // next command.
    if ((type == TCmdType::Download && Canceled) || (m_replies.Owing() && Connected)) {
        try {
            m_replies.Drain();
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
        m_dataConnection->Prepare(TCmdType::List);
        // Machine listings carry exact sizes, UTC times and types: no guessing.
        const QString command = MachineListings() ? QStringLiteral("MLSD") : QStringLiteral("LIST");
        Report(command);
        Transaction(command);
        CheckReply(301, 599, TCmdType::List, Window::Unsupported);
        m_replies.Owe(); // the transfer's completion
        BytesTotal = ByteCountOf(LastReply);
        StartFlow();
        CompleteDataConnection(TCmdType::List);
        const qint64 received = DataMayFlow() ? ReceiveListing() : 0;
        StopFlow();
        const bool cut = DataCut();
        m_data->RequestCloseSocket();
        ReportReceived(received);
        if (FinishTransfer(TCmdType::List) && cut)
            throw EIncompleteTransfer(QStringLiteral("The listing ended without the TLS close of its connection: it "
                                                     "may be incomplete."));
    });
}
