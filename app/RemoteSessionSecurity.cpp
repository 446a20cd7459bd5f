// The session's security: the answer to each server certificate, and what the
// title and the status bar are told about encryption.
#include "app/AppInfo.h"
#include "app/Dialogs.h"
#include "app/RemoteSession.h"
#include "app/Sounds.h"
#include "ftp/FTPClient.h"
#include "net/Exception.h"

namespace {
QString ServerKey(const QString& host, int port)
{
    return host.toLower() + u'\n' + QString::number(port);
}

QString AnswerLogLine(TCertificateAnswer answer)
{
    switch (answer) {
    case TCertificateAnswer::Refuse: return QStringLiteral("The server's certificate was refused.");
    case TCertificateAnswer::AcceptOnce: return QStringLiteral("The server's certificate was accepted for this session.");
    case TCertificateAnswer::TrustAlways: return QStringLiteral("The server's certificate is trusted from now on.");
    }
    return {};
}
} // namespace

QString ConnectedTitle(const QString& host, bool encrypted)
{
    return QStringLiteral("Ferrit - ") + host + (encrypted ? QStringLiteral(" (TLS)") : QString());
}

void TRemoteSession::SetTrustedCertificatesFile(const QString& fileName)
{
    m_trust = TCertificateTrust(fileName);
}

void TRemoteSession::Certificate(const TCertificateInfo& Certificate, bool& Accept)
{
    const QString server = ServerKey(Certificate.Host, Certificate.Port);
    // A reconnect within the session keeps what the user accepted for it.
    if (m_acceptedOnce.value(server) == Certificate.Fingerprint) {
        Accept = true;
        return;
    }
    const std::optional<TPinnedCertificate> pinned = m_trust.Pinned(Certificate.Host, Certificate.Port);
    if (const QString problem = m_trust.UntoldProblem(); !problem.isEmpty())
        Log(QStringLiteral("The trusted certificates were not read: ") + problem);
    const TCertificateCheck check = CheckCertificate(Certificate, pinned);
    if (check == TCertificateCheck::Accept) {
        Accept = true;
        return;
    }
    m_window.Sounds().Play(TSound::Question);
    const TCertificateAnswer answer =
        m_window.Dialogs().AskCertificate(Certificate, check == TCertificateCheck::AskChanged ? pinned : std::nullopt);
    Log(AnswerLogLine(answer));
    Accept = answer != TCertificateAnswer::Refuse;
    if (Accept)
        m_acceptedOnce.insert(server, Certificate.Fingerprint);
    if (answer == TCertificateAnswer::TrustAlways)
        KeepTrusted(Certificate);
}

void TRemoteSession::KeepTrusted(const TCertificateInfo& Certificate)
{
    try {
        m_trust.Trust(Certificate);
    } catch (const Exception& error) {
        // The user's answer still holds for this session; only the next one will ask again.
        m_window.Sounds().Play(TSound::Error);
        m_window.Dialogs().ShowError(ApplicationTitle, error.Message() + QStringLiteral(" The certificate is accepted for "
                                                                                        "this session only."));
    }
}

void TRemoteSession::PrepareSecurity()
{
    m_client->TlsExpected = m_client->Security != TSecurity::PlainFtp
                         && m_trust.ShownTls(m_client->Host, m_client->Port);
    if (const QString problem = m_trust.UntoldProblem(); !problem.isEmpty())
        Log(QStringLiteral("The trusted certificates were not read: ") + problem);
}

void TRemoteSession::ShowConnectionSecurity()
{
    if (!m_client->Connected) {
        if (OnSecurity)
            OnSecurity(TConnectionSecurity::Unknown, {});
        return;
    }
    const bool encrypted = m_client->Encrypted();
    if (encrypted)
        m_trust.RememberTls(m_client->Host, m_client->Port);
    if (OnTitle)
        OnTitle(ConnectedTitle(m_client->Host, encrypted));
    if (!OnSecurity)
        return;
    if (encrypted)
        OnSecurity(TConnectionSecurity::Encrypted, m_client->TlsDescription());
    else if (m_client->Security == TSecurity::TlsIfAvailable)
        OnSecurity(TConnectionSecurity::NotEncrypted,
                   QStringLiteral("The server does not offer TLS: everything goes over the network "
                                  "in plain text, the password included."));
    else
        OnSecurity(TConnectionSecurity::Unknown, {});
}

void TRemoteSession::ShowDisconnected()
{
    if (OnTitle)
        OnTitle(ApplicationTitle);
    if (OnSecurity)
        OnSecurity(TConnectionSecurity::Unknown, {});
}
