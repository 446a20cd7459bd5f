// The TLS test peers themselves: each kind starts in each TLS mode it has, shows
// the certificate it was given, and lets a login through only inside TLS.
#include "RealFtpServer.h"
#include "TestCertificates.h"

#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <gtest/gtest.h>

#include <memory>

namespace {

using Tls = RealFtpServer::TlsOptions;

// A server that cannot run here is skipped; one that fails to start is the fixture's fault.
bool Usable(const RealFtpServer& server)
{
    if (!server.IsRunning() && !server.Unavailable())
        ADD_FAILURE() << server.ErrorText().toStdString();
    return server.IsRunning();
}

// A control connection seen from a client that trusts only the test CA.
class ControlConnection {
public:
    ControlConnection(const RealFtpServer& server, const QString& caFile)
    {
        QSslConfiguration config = m_socket.sslConfiguration();
        config.setCaCertificates(QSslCertificate::fromPath(caFile));
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        m_socket.setSslConfiguration(config);
        // Keep the handshake going so that the test can look at what was wrong.
        QObject::connect(&m_socket, &QSslSocket::sslErrors, &m_socket, [this] { m_socket.ignoreSslErrors(); });
        if (server.Tls() == RealFtpServer::ImplicitTls) {
            m_socket.connectToHostEncrypted(server.Host(), server.Port());
            m_socket.waitForEncrypted(5000);
        } else {
            m_socket.connectToHost(server.Host(), server.Port());
            m_socket.waitForConnected(5000);
        }
    }

    QByteArray Reply()
    {
        while (!m_socket.canReadLine())
            if (!m_socket.waitForReadyRead(5000))
                return "no reply: " + m_socket.errorString().toUtf8();
        return m_socket.readLine().trimmed();
    }
    QByteArray Command(const QByteArray& line)
    {
        m_socket.write(line + "\r\n");
        return Reply();
    }
    bool StartTls()
    {
        m_socket.startClientEncryption();
        return m_socket.waitForEncrypted(5000);
    }

    bool Encrypted() const { return m_socket.isEncrypted(); }
    QList<QSslError::SslError> Errors() const
    {
        QList<QSslError::SslError> errors;
        for (const QSslError& error : m_socket.sslHandshakeErrors())
            errors << error.error();
        return errors;
    }
    QString Fingerprint() const
    {
        return QString::fromLatin1(m_socket.peerCertificate().digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    }
    QSsl::SslProtocol Protocol() const { return m_socket.sessionCipher().protocol(); }

private:
    QSslSocket m_socket;
};

class TlsServers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { certs = std::make_unique<TestCertificates>(); }
    static void TearDownTestSuite() { certs.reset(); }
    void SetUp() override { ASSERT_TRUE(certs->IsValid()) << certs->ErrorText().toStdString(); }

    static Tls With(RealFtpServer::TlsMode mode, TestCertificates::Kind kind)
    {
        return {mode, certs->CertFile(kind), certs->KeyFile(kind)};
    }
    // Greeting, TLS (after AUTH TLS when explicit) and login as the client would.
    static void LogIn(ControlConnection& control, const RealFtpServer& server)
    {
        if (server.Tls() == RealFtpServer::ExplicitTls) {
            EXPECT_TRUE(control.Reply().startsWith("220"));
            ASSERT_TRUE(control.Command("AUTH TLS").startsWith("234"));
            ASSERT_TRUE(control.StartTls());
        } else {
            ASSERT_TRUE(control.Encrypted());
            EXPECT_TRUE(control.Reply().startsWith("220"));
        }
        EXPECT_TRUE(control.Command("USER " + server.User().toUtf8()).startsWith("331"));
        EXPECT_TRUE(control.Command("PASS " + server.Password().toUtf8()).startsWith("230"));
        EXPECT_TRUE(control.Command("PBSZ 0").startsWith("200"));
        EXPECT_TRUE(control.Command("PROT P").startsWith("200"));
    }

    static inline std::unique_ptr<TestCertificates> certs;
};

struct ServerCase {
    RealFtpServer::Kind kind;
    RealFtpServer::TlsMode mode;
    RealFtpServer::Family family;
};

class EachTlsServer : public TlsServers, public ::testing::WithParamInterface<ServerCase> {};

TEST_P(EachTlsServer, ShowsItsCertificateAndLogsInInsideTls)
{
    RealFtpServer server(GetParam().kind, With(GetParam().mode, TestCertificates::Good), GetParam().family);
    if (!Usable(server))
        GTEST_SKIP() << server.ErrorText().toStdString();
    ControlConnection control(server, certs->CAFile());
    LogIn(control, server);
    EXPECT_TRUE(control.Errors().isEmpty());
    EXPECT_EQ(control.Fingerprint(), certs->Fingerprint(TestCertificates::Good));
    EXPECT_EQ(control.Protocol(), QSsl::TlsV1_3);
}

const ServerCase ServerCases[] = {
    {RealFtpServer::Pyftpdlib, RealFtpServer::ExplicitTls, RealFtpServer::IPv4},
    {RealFtpServer::Pyftpdlib, RealFtpServer::ExplicitTls, RealFtpServer::IPv6},
    {RealFtpServer::Vsftpd, RealFtpServer::ExplicitTls, RealFtpServer::IPv4},
    {RealFtpServer::Vsftpd, RealFtpServer::ImplicitTls, RealFtpServer::IPv6},
    {RealFtpServer::Proftpd, RealFtpServer::ExplicitTls, RealFtpServer::IPv6},
    {RealFtpServer::Proftpd, RealFtpServer::ImplicitTls, RealFtpServer::IPv4},
};
INSTANTIATE_TEST_SUITE_P(, EachTlsServer, ::testing::ValuesIn(ServerCases), [](const auto& info) {
    return RealFtpServer::Name(info.param.kind).toStdString()
           + (info.param.mode == RealFtpServer::ImplicitTls ? "_implicit" : "_explicit")
           + (info.param.family == RealFtpServer::IPv6 ? "_ipv6" : "_ipv4");
});

class EachKind : public TlsServers, public ::testing::WithParamInterface<RealFtpServer::Kind> {};

TEST_P(EachKind, RefusesLoginWithoutTls)
{
    RealFtpServer server(GetParam(), With(RealFtpServer::ExplicitTls, TestCertificates::Good));
    if (!Usable(server))
        GTEST_SKIP() << server.ErrorText().toStdString();
    ControlConnection control(server, certs->CAFile());
    EXPECT_TRUE(control.Reply().startsWith("220"));
    EXPECT_TRUE(control.Command("USER " + server.User().toUtf8()).startsWith("5"));
}

// What a client must tell apart: the error each certificate gives it.
TEST_P(EachKind, ShowsEachCertificateKind)
{
    const struct {
        TestCertificates::Kind kind;
        QList<QSslError::SslError> errors;
    } cases[] = {
        {TestCertificates::Good, {}},
        {TestCertificates::OtherGood, {}},
        {TestCertificates::Expired, {QSslError::CertificateExpired}},
        {TestCertificates::WrongName, {QSslError::HostNameMismatch}},
        {TestCertificates::SelfSigned, {QSslError::SelfSignedCertificate}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(TestCertificates::Name(c.kind).toStdString());
        RealFtpServer server(GetParam(), With(RealFtpServer::ExplicitTls, c.kind));
        if (!Usable(server))
            GTEST_SKIP() << server.ErrorText().toStdString();
        ControlConnection control(server, certs->CAFile());
        LogIn(control, server);
        EXPECT_EQ(control.Errors(), c.errors);
        EXPECT_EQ(control.Fingerprint(), certs->Fingerprint(c.kind));
    }
}

TEST_P(EachKind, ShowsAnotherCertificateAtTheSamePlaceAfterRestart)
{
    RealFtpServer server(GetParam(), With(RealFtpServer::ExplicitTls, TestCertificates::Good));
    if (!Usable(server))
        GTEST_SKIP() << server.ErrorText().toStdString();
    const quint16 port = server.Port();
    ASSERT_TRUE(server.Restart(With(RealFtpServer::ExplicitTls, TestCertificates::OtherGood)))
        << server.ErrorText().toStdString();
    EXPECT_EQ(server.Port(), port);
    ControlConnection control(server, certs->CAFile());
    LogIn(control, server);
    EXPECT_EQ(control.Fingerprint(), certs->Fingerprint(TestCertificates::OtherGood));
    EXPECT_NE(certs->Fingerprint(TestCertificates::OtherGood), certs->Fingerprint(TestCertificates::Good));
}

INSTANTIATE_TEST_SUITE_P(, EachKind,
                         ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd, RealFtpServer::Proftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

TEST_F(TlsServers, Tls12Only)
{
    for (RealFtpServer::Kind kind : {RealFtpServer::Pyftpdlib, RealFtpServer::Proftpd}) {
        SCOPED_TRACE(RealFtpServer::Name(kind).toStdString());
        Tls tls = With(RealFtpServer::ExplicitTls, TestCertificates::Good);
        tls.tls12Only = true;
        RealFtpServer server(kind, tls);
        if (!Usable(server))
            GTEST_SKIP() << server.ErrorText().toStdString();
        ControlConnection control(server, certs->CAFile());
        LogIn(control, server);
        EXPECT_EQ(control.Protocol(), QSsl::TlsV1_2);
    }
}

TEST_F(TlsServers, SaysWhyItCannotStart)
{
    Tls tls12 = With(RealFtpServer::ExplicitTls, TestCertificates::Good);
    tls12.tls12Only = true;
    Tls noCertificate = With(RealFtpServer::ExplicitTls, TestCertificates::Good);
    noCertificate.certFile = certs->Folder() + "/missing.pem";
    const struct {
        RealFtpServer::Kind kind;
        Tls tls;
        const char* reason;
    } cases[] = {
        {RealFtpServer::Pyftpdlib, With(RealFtpServer::ImplicitTls, TestCertificates::Good), "no implicit TLS"},
        {RealFtpServer::Vsftpd, tls12, "cannot switch TLS 1.3 off"},
        {RealFtpServer::Proftpd, noCertificate, "missing.pem\" cannot be read"},
    };
    for (const auto& c : cases) {
        RealFtpServer server(c.kind, c.tls);
        EXPECT_FALSE(server.IsRunning());
        EXPECT_FALSE(server.Unavailable());
        EXPECT_TRUE(server.ErrorText().contains(c.reason)) << server.ErrorText().toStdString();
    }
}

TEST(TestCertificates, SaysWhyItCannotWrite)
{
    const TestCertificates certs("/nonexistent-folder");
    EXPECT_FALSE(certs.IsValid());
    EXPECT_TRUE(certs.ErrorText().contains("/nonexistent-folder/ca.pem")) << certs.ErrorText().toStdString();
}

} // namespace
