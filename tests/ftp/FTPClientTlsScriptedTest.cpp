// How a session is secured, against a server that replays exact replies: what
// goes on the wire when TLS is refused, and how a handshake that never ends stops.
#include "FtpSession.h"
#include "QtPrinters.h"
#include "ScriptedFtpServer.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using S = ScriptedFtpServer;

struct RefusalCase {
    const char* name;
    TSecurity security;
    QByteArray authReply;
    QByteArrayList sent;
    const char* error; // part of the exception's text; nullptr: the session goes on
    bool tlsBefore = false; // the host has shown TLS before (a pinned certificate, an earlier session)
};

// A refusal of "AUTH TLS" under "Require TLS" ends the session before anything
// else is sent: no user name, no password, not even "QUIT". So does a refusal
// by a host that spoke TLS before, under "TLS if available" too: that is what
// a man in the middle who strips TLS looks like. A host never seen with TLS
// goes on in plain text and says so.
TEST(FTPClientTls, RefusedAuthTls)
{
    const RefusalCase cases[] = {
        {"required, not implemented", TSecurity::RequireTls, "502 Command not implemented.\r\n", {"AUTH TLS"},
         "This host requires TLS"},
        {"required, refused by policy", TSecurity::RequireTls, "534 Policy forbids TLS.\r\n", {"AUTH TLS"},
         "534 Policy forbids TLS."},
        {"required, server closing", TSecurity::RequireTls, "421 Service not available.\r\n", {"AUTH TLS"},
         "421 Service not available."},
        {"if available", TSecurity::TlsIfAvailable, "502 Command not implemented.\r\n",
         {"AUTH TLS", "USER user", "PASS secret", "FEAT", "TYPE I"}, nullptr},
        {"plain", TSecurity::PlainFtp, "234 Go ahead.\r\n", {"USER user", "PASS secret", "FEAT", "TYPE I"}, nullptr},
        {"if available, TLS before", TSecurity::TlsIfAvailable, "534 TLS not available.\r\n", {"AUTH TLS"},
         "offered TLS before, but now it refused to encrypt the connection (534 TLS not available.)", true},
        {"if available, TLS before, server closing", TSecurity::TlsIfAvailable, "421 Service not available.\r\n",
         {"AUTH TLS"}, "421 Service not available.", true},
        {"plain, TLS before", TSecurity::PlainFtp, "534 TLS not available.\r\n",
         {"USER user", "PASS secret", "FEAT", "TYPE I"}, nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        S server;
        server.On("AUTH", c.authReply);
        FtpSession s(server.Port());
        s.client.Security = c.security;
        s.client.TlsExpected = c.tlsBefore;
        QString error;
        try {
            s.client.Connect();
        } catch (const ESecurityError& e) {
            error = e.Message();
        }
        server.WaitForLines(int(c.sent.size()) + 1, 300); // anything sent after the refusal would show
        EXPECT_EQ(server.Received(), c.sent);
        EXPECT_FALSE(s.client.Encrypted());
        if (c.error) {
            EXPECT_TRUE(error.contains(c.error)) << error.toStdString();
            EXPECT_TRUE(error.contains("the password was not sent")) << error.toStdString();
            EXPECT_FALSE(s.client.Connected);
            EXPECT_FALSE(s.log.join('\n').contains("PASS"));
        } else {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_TRUE(s.client.Connected);
            EXPECT_EQ(s.log.contains("The server does not offer TLS (502 Command not implemented.): the connection "
                                     "is not encrypted."),
                      c.security == TSecurity::TlsIfAvailable);
        }
    }
}

// Greets, accepts "AUTH TLS" and then takes every byte in silence: a handshake
// that never gets an answer.
class MuteAfterAuth : public QObject {
public:
    MuteAfterAuth()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_peer.reset(m_server.nextPendingConnection());
            m_peer->write("220 hi\r\n");
            connect(m_peer.get(), &QTcpSocket::readyRead, this, [this] {
                m_received += m_peer->readAll();
                if (!std::exchange(m_answered, true) && m_received.startsWith("AUTH TLS\r\n"))
                    m_peer->write("234 Proceed with negotiation.\r\n");
            });
        });
    }
    quint16 Port() const { return m_server.serverPort(); }
    // What came after "AUTH TLS": the handshake's first bytes and nothing else.
    QByteArray AfterAuth() const { return m_received.mid(10); }

private:
    QTcpServer m_server;
    std::unique_ptr<QTcpSocket> m_peer;
    QByteArray m_received;
    bool m_answered = false;
};

// A server that accepts "AUTH TLS" and then never answers the handshake: the
// inactivity time-out and the stop button both end the wait, the connection is
// closed, and nothing is sent in plain text after the handshake began.
TEST(FTPClientTls, StalledHandshakeEndsByTimeOutOrStop)
{
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stop" : "time-out");
        MuteAfterAuth server;
        FtpSession s(server.Port());
        s.client.Security = TSecurity::RequireTls;
        s.client.InactivityTimeOut = stop ? 0 : 400;
        if (stop)
            QTimer::singleShot(300, [&s] { s.client.Abort(); });
        QElapsedTimer clock;
        clock.start();
        QString error;
        try {
            s.client.Connect();
        } catch (const ESecurityError& e) {
            error = "security: " + e.Message();
        } catch (const EAbortError& e) {
            error = "abort: " + e.Message();
        }
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(error.toStdString(), stop ? "abort: The TLS handshake with 127.0.0.1 was stopped"
                                            : "security: The TLS handshake with 127.0.0.1 did not finish within 1 s.");
        EXPECT_FALSE(s.client.Connected);
        EXPECT_TRUE(server.AfterAuth().startsWith("\x16\x03")) << "a TLS handshake record";
        EXPECT_FALSE(server.AfterAuth().contains("USER") || server.AfterAuth().contains("QUIT"));
    }
}

// Implicit TLS against a server that speaks plain FTP: its greeting is no
// handshake, and the session ends with the reason instead of a login.
TEST(FTPClientTls, ImplicitTlsAgainstAPlainServerFails)
{
    S server;
    FtpSession s(server.Port());
    s.client.Security = TSecurity::ImplicitTls;
    try {
        s.client.Connect();
        FAIL() << "connected";
    } catch (const ESecurityError& e) {
        EXPECT_TRUE(e.Message().startsWith("The TLS handshake with 127.0.0.1 failed: ")) << e.Message().toStdString();
    }
    EXPECT_FALSE(s.client.Connected);
    // Only the handshake's bytes came (which the server takes for lines).
    for (const QByteArray& line : server.Received())
        EXPECT_FALSE(line.contains("USER") || line.contains("QUIT")) << line.toStdString();
}

} // namespace
