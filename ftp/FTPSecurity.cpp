// FTP over TLS (RFC 4217): securing the control connection ("AUTH TLS" or
// implicit), the certificate's judgement, protected data connections.
#include "ftp/DataSocket.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPText.h"

#include <QDeadlineTimer>
#include <QScopeGuard>

namespace {

constexpr int TLS13Version = 0x0304;

} // namespace

namespace {
QString ServerKey(const QString& host, int port) { return host.toLower() + u'\n' + QString::number(port); }
} // namespace

TTlsContext& TFTPClient::TlsContext()
{
    if (!m_tlsContext || m_tlsContext->CAFile() != TrustedCAFile)
        m_tlsContext = std::make_unique<TTlsContext>(TrustedCAFile);
    m_tlsContext->LimitToTls12(m_tls12Server == ServerKey(Host, Port));
    return *m_tlsContext;
}

bool TFTPClient::DataSessionRefused() const
{
    return m_dataTls && ReuseTlsSession && Connected && TlsVersion() == TLS13Version
        && (ReplyNumber == 425 || ReplyNumber == 522);
}

void TFTPClient::RenewTlsSession()
{
    Report(QStringLiteral("The server refused a data connection on this TLS 1.3 session (%1); the session is renewed "
                          "with TLS 1.2, whose sessions every data connection can resume.")
               .arg(LastReply.trimmed()));
    Report(QStringLiteral("PWD"));
    Transaction(QStringLiteral("PWD"));
    const QString folder = ReplyNumber == 257 ? NthField(LastReply, u'"', 2) : QString();
    const bool textType = m_textType;
    try {
        Disconnect();
    } catch (const FTPException&) {
        // A refused "QUIT" closes the connection all the same.
    }
    m_tls12Server = ServerKey(Host, Port);
    try {
        Open(false);
    } catch (const ESecurityError&) {
        // No TLS 1.2 here: a fresh TLS 1.3 session brings fresh tickets instead.
        m_tls12Server.clear();
        Report(QStringLiteral("The server does not speak TLS 1.2: a new TLS 1.3 session is made instead."));
        Open(false);
    }
    for (const QString& command : {folder.isEmpty() ? QString() : QStringLiteral("CWD ") + folder,
                                   textType ? QStringLiteral("TYPE A") : QString()}) {
        if (command.isEmpty())
            continue;
        Report(command);
        Transaction(command);
        if (ReplyNumber >= 400)
            throw FTPException(LastReply);
    }
    m_textType = textType;
}

// Ends the session before anything more is sent: no QUIT, no user name, no password.
void TFTPClient::RefuseSecurity(const QString& why)
{
    TAsyncSocket::Disconnect();
    throw ESecurityError(why);
}

void TFTPClient::NegotiateTls()
{
    const QString command = QStringLiteral("AUTH TLS");
    Report(command);
    try {
        Transaction(command);
    } catch (const EServerAbort&) {
        // "421": the server is leaving; where TLS is needed that is a refusal like any other.
        if (Security != TSecurity::RequireTls && !TlsExpected)
            throw;
    }
    if (ReplyNumber == 234) {
        SecureControl();
        return;
    }
    const QString reply = LastReply.trimmed();
    if (Security == TSecurity::RequireTls)
        RefuseSecurity(QStringLiteral("The server refused to encrypt the connection (%1). This host requires TLS, "
                                      "so the session ends here and the password was not sent.")
                           .arg(reply));
    // A server that spoke TLS before and now says it cannot is what a man in
    // the middle who strips TLS looks like: only the user may go on in clear.
    if (TlsExpected)
        RefuseSecurity(QStringLiteral("%1 offered TLS before, but now it refused to encrypt the connection (%2). "
                                      "Someone between you and the server may be removing the encryption, so the "
                                      "session ends here and the password was not sent. If the server really no "
                                      "longer offers TLS, set the host to \"Plain FTP\".")
                           .arg(Host, reply));
    Report(QStringLiteral("The server does not offer TLS (%1): the connection is not encrypted.").arg(reply));
}

void TFTPClient::SecureControl()
{
    m_certificate.clear();
    try {
        TTlsContext& context = TlsContext();
        context.ForgetSessions(); // a session of another server is no use here
        m_dataTicketsCome = true;
        m_connecting = true;     // so that Abort (the stop button) ends the handshake
        const auto done = qScopeGuard([this] {
            m_connecting = false;
            WaitDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
        });
        WaitDeadline = DeadlineIn(InactivityTimeOut);
        StartTls(context, Host, TTlsSession::Keep);
    } catch (const ETimeOutError&) {
        RefuseSecurity(QStringLiteral("The TLS handshake with %1 did not finish within %2 s.")
                           .arg(Host, SecondsText(InactivityTimeOut)));
    } catch (const EAbortError&) {
        TAsyncSocket::Disconnect();
        throw;
    } catch (const ESockError& e) {
        RefuseSecurity(e.Message());
    }
    CheckCertificate();
    TlsExpected = true; // from now on this host is never used in clear without the user's choice
    Report(QStringLiteral("TLS connection established: %1.").arg(TlsDescription()));
}

void TFTPClient::CheckCertificate()
{
    TCertificateInfo certificate = PeerCertificate();
    certificate.Host = Host;
    certificate.Port = Port;
    bool accept = certificate.Verified;
    if (OnCertificate)
        OnCertificate(certificate, accept);
    if (!accept)
        RefuseSecurity(certificate.Verified
                           ? QStringLiteral("The certificate of %1 was not accepted.").arg(Host)
                           : QStringLiteral("The certificate of %1 cannot be trusted (%2), and it was not accepted: "
                                            "the session ends here and the password was not sent.")
                                 .arg(Host, certificate.Reason));
    Report(certificate.Verified
               ? QStringLiteral("The server's certificate is valid: %1, issued by %2.")
                     .arg(certificate.Subject, certificate.Issuer)
               : QStringLiteral("The server's certificate cannot be trusted (%1); it was accepted by the user.")
                     .arg(certificate.Reason));
    m_certificate = certificate.Der;
}

// After login, the data connections are protected too: nothing of a file
// travels in plain text on a session that negotiated TLS.
void TFTPClient::ProtectData()
{
    if (!Encrypted())
        return;
    for (const QString& command : {QStringLiteral("PBSZ 0"), QStringLiteral("PROT P")}) {
        Report(command);
        Transaction(command);
        if (ReplyNumber >= 400)
            RefuseSecurity(QStringLiteral("The server refused to encrypt the data connections (%1): the session "
                                          "ends here, so that no file travels unencrypted.")
                               .arg(LastReply.trimmed()));
    }
}

// ---------------------------------------------------------------- data connections

void TFTPClient::BeginDataTls()
{
    m_dataTls = Encrypted();
    m_dataTicketMark = m_tlsContext ? m_tlsContext->SessionsReceived() : 0;
    if (m_dataTls)
        m_data->BeginTls(*m_tlsContext, Host, ReuseTlsSession ? TTlsSession::Resume : TTlsSession::Fresh);
}

void TFTPClient::CompleteDataConnection(TCmdType type)
{
    m_dataConnection->Complete(type);
    FinishDataTls();
}

void TFTPClient::FinishDataTls()
{
    if (!m_dataTls || !DataMayFlow())
        return;
    try {
        WaitForData([this] { m_data->FinishTls(); },
                    QStringLiteral("The encrypted data connection was not set up within %1 s."));
    } catch (const ETimeOutError&) {
        throw;
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError& e) {
        // The server says why on the control connection (vsftpd: the session was not resumed).
        const QString said = m_replies.Drain().trimmed();
        throw FTPException(said.isEmpty() ? e.Message() + u'.'
                                          : QStringLiteral("%1. The server said: %2").arg(e.Message(), said));
    }
    // A resumed session carries the control connection's certificate; any
    // other is not the server the user accepted.
    if (m_data->PeerCertificate().Der != m_certificate)
        throw ESecurityError(QStringLiteral("The data connection presented another certificate than the server's: "
                                            "the transfer was stopped."));
}

bool TFTPClient::DataCut() const { return m_dataTls && !m_data->TlsClosedCleanly() && DataMayFlow(); }

void TFTPClient::CloseDataTls()
{
    if (!m_dataTls)
        return;
    const QString stalled = QStringLiteral("The upload stalled: the server took no data for %1 s.");
    AwaitDataTicket();
    WaitForData([this] { m_data->CloseTls(); }, stalled);
    // The server has every byte once it closes its end or reports the upload:
    // a close before that could reset the connection under the server's reads.
    WaitForData([this] { m_data->WaitUntil([this] { return !m_data->Connected || m_replies.HoldsReply(); }); },
                stalled);
}

// In TLS 1.3 a server hands each data connection a ticket, which the next data
// connection must resume (servers such as vsftpd take each ticket once). It
// comes just after the handshake; a short upload could send its TLS close
// first, and a ticket arriving after that is dropped.
void TFTPClient::AwaitDataTicket()
{
    constexpr int TicketWaitMs = 300;
    if (!m_dataTicketsCome || m_data->TlsVersion() != TLS13Version
        || m_tlsContext->SessionsReceived() > m_dataTicketMark)
        return;
    m_data->WaitDeadline = QDeadlineTimer(TicketWaitMs);
    try {
        m_data->WaitUntil([this] { return m_tlsContext->SessionsReceived() > m_dataTicketMark || !m_data->Connected; });
    } catch (const ETimeOutError&) {
        m_data->TimedOut = false;
        m_dataTicketsCome = false; // this server sends none: no more waiting for them
    }
    ArmDataDeadline();
}
