// Look-up, connect, time-outs, closing and destruction.
#include "Loopback.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <sys/socket.h>

namespace {

class CountingSocket : public TAsyncSocket {
public:
    void Abort() override { ++aborts; }
    int aborts = 0;
};
}

TEST(SocketConnect, DottedAddressConnectsWithoutLookUp)
{
    PeerListener listener;
    TAsyncSocket socket;
    int resolved = 0, connected = 0;
    socket.OnHostResolved = [&](QObject*) { ++resolved; };
    socket.OnConnect = [&](QObject* sender) {
        EXPECT_EQ(sender, &socket);
        ++connected;
    };
    socket.Host = QStringLiteral("127.0.0.1");
    socket.Port = listener.Port();
    socket.Connect();
    EXPECT_TRUE(socket.Connected);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(socket.RemoteIP(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(ConnectError(socket), QStringLiteral("Already connected"));
}

TEST(SocketConnect, HostNamesAreLookedUpAndAnnounced)
{
    PeerListener listener;
    TAsyncSocket socket;
    int resolved = 0;
    socket.OnHostResolved = [&](QObject*) { ++resolved; };
    socket.Host = QStringLiteral("localhost");
    socket.Port = listener.Port();
    socket.Connect();
    EXPECT_TRUE(socket.Connected);
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(socket.RemoteIP(), QStringLiteral("127.0.0.1"));

    TAsyncSocket broadcast; // all bits set is no dotted address: it is looked up as a name
    resolved = 0;
    broadcast.OnHostResolved = [&](QObject*) { ++resolved; };
    broadcast.Host = QStringLiteral("255.255.255.255");
    broadcast.Port = listener.Port();
    EXPECT_NE(ConnectError(broadcast), QStringLiteral("(connected)"));
    EXPECT_EQ(resolved, 1);
}

TEST(SocketConnect, RefusedConnectionNamesTheRefusalAndTheSocketStaysUsable)
{
    TAsyncSocket socket;
    int failed = 0;
    socket.OnConnectionFailed = [&](QObject*) { ++failed; };
    socket.Host = QStringLiteral("127.0.0.1");
    socket.Port = ClosedPort();
    EXPECT_EQ(ConnectError(socket), QStringLiteral("10061:Connection refused"));
    EXPECT_FALSE(socket.Connected);
    EXPECT_EQ(socket.LastErrorNo, 10061);

    PeerListener listener;
    socket.Disconnect();
    socket.Port = listener.Port();
    socket.Connect();
    EXPECT_TRUE(socket.Connected);
}

TEST(SocketConnect, InvalidHostGetsOneRetryThroughTheHandler)
{
    PeerListener listener;
    const struct {
        bool assign;
        bool fixHost;
        int expectedCalls;
        const char* expected;
    } cases[] = {
        {false, false, 0, "Null Remote Address"},
        {true, false, 1, "Null Remote Address"}, // handled, but the host is still wrong
        {true, true, 1, "(connected)"},
    };
    for (const auto& c : cases) {
        TAsyncSocket socket;
        int calls = 0;
        socket.Host = QString(); // an empty name never resolves
        socket.Port = listener.Port();
        if (c.assign) {
            socket.OnInvalidHost = [&](bool& handled) {
                ++calls;
                handled = true;
                if (c.fixHost)
                    socket.Host = QStringLiteral("127.0.0.1");
            };
        }
        EXPECT_EQ(ConnectError(socket), QLatin1String(c.expected));
        EXPECT_EQ(calls, c.expectedCalls);
    }
}

TEST(SocketConnect, ConnectThatNeverCompletesTimesOut)
{
    FullListener full;
    CountingSocket socket;
    QStringList order;
    socket.OnConnectionFailed = [&](QObject*) { order << QStringLiteral("failed"); };
    socket.Host = QStringLiteral("127.0.0.1");
    socket.Port = full.listener.Port();
    socket.TimeOut = 300;
    QElapsedTimer clock;
    clock.start();
    try {
        socket.Connect();
        FAIL() << "connected to a full listener";
    } catch (const ESockError& e) {
        order << e.Message();
    }
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(order, (QStringList{"failed", "Connection Timed out"}));
    EXPECT_TRUE(socket.TimedOut);
    EXPECT_EQ(socket.aborts, 1);
    EXPECT_FALSE(socket.Timer()->IsArmed());
}

TEST(SocketConnect, WithoutTimeOutOnlyCancelEndsTheWait)
{
    FullListener full;
    TAsyncSocket socket;
    socket.Host = QStringLiteral("127.0.0.1");
    socket.Port = full.listener.Port();
    After(400, [&] { socket.Cancel(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ConnectError(socket), QStringLiteral("Connection Canceled"));
    EXPECT_GE(clock.elapsed(), 350);
    EXPECT_FALSE(socket.TimedOut);
}

TEST(SocketConnect, PeerCloseDisconnectsOnceAndLeavesAFreshSocket)
{
    Connection c;
    int disconnects = 0;
    c.socket->OnDisconnect = [&](QObject*) { ++disconnects; };
    c.peer.Send("last words\n");
    c.peer.Close();
    ASSERT_TRUE(Eventually([&] { return !c.socket->Connected; }));
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("last words\n")); // drained before the close
    EXPECT_GE(c.socket->SocketHandle(), 0);

    c.socket->Connect(); // the fresh socket connects again
    EXPECT_TRUE(c.socket->Connected);
    EXPECT_TRUE(c.listener.Accept().IsValid());
}

TEST(SocketConnect, PeerResetIsReportedThroughOnErrorAndEndsTheConnection)
{
    Connection c;
    QList<quint16> errors;
    QStringList texts;
    c.socket->OnError = [&](QObject*, quint16 code, const QString& text) {
        errors << code;
        texts << text;
    };
    const linger reset{1, 0};
    ::setsockopt(c.peer.Handle(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    c.peer.Close();
    ASSERT_TRUE(Eventually([&] { return !c.socket->Connected; }));
    EXPECT_EQ(errors, QList<quint16>{10054});
    EXPECT_EQ(texts, QStringList{QStringLiteral("10054:Connection reset by peer")});
}

TEST(SocketConnect, DisconnectWhenNotConnectedStillRenewsTheSocket)
{
    TAsyncSocket socket;
    int disconnects = 0;
    socket.OnDisconnect = [&](QObject*) { ++disconnects; };
    socket.Disconnect();
    EXPECT_EQ(disconnects, 1);
    EXPECT_GE(socket.SocketHandle(), 0);
}

TEST(SocketConnect, DestroyingAConnectedComponentFiresNothing)
{
    Connection c;
    int events = 0;
    c.socket->ReportLevel = 16;
    c.socket->OnDisconnect = [&](QObject*) { ++events; };
    c.socket->OnStatus = [&](QObject*, const QString&) { ++events; };
    c.socket.reset();
    EXPECT_EQ(events, 0);
    EXPECT_EQ(c.peer.ReceiveAll(2000), QByteArray()); // the peer sees the close
}

TEST(SocketConnect, ExceptionFromOnConnectDoesNotReachTheCaller)
{
    PeerListener listener;
    TAsyncSocket socket;
    QStringList shown;
    const auto previous = SetExceptionHandler([&](std::exception_ptr e) { shown << ExceptionText(e); });
    socket.OnConnect = [](QObject*) { throw Exception(QStringLiteral("handler failed")); };
    socket.Host = QStringLiteral("127.0.0.1");
    socket.Port = listener.Port();
    EXPECT_NO_THROW(socket.Connect());
    SetExceptionHandler(previous);
    EXPECT_TRUE(socket.Connected);
    EXPECT_EQ(shown, QStringList{QStringLiteral("handler failed")});
}

TEST(SocketConnect, CheckConnectedGivesTheHandlerOneChance)
{
    PeerListener listener;
    TAsyncSocket socket;
    socket.Host = QStringLiteral("127.0.0.1");
    socket.Port = listener.Port();
    try {
        socket.CheckConnected();
        FAIL();
    } catch (const ESockError&) {
        FAIL() << "\"Not Connected\" is the base exception, not a socket error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Not Connected"));
    }

    int calls = 0;
    socket.OnConnectionRequired = [&](bool& handled) {
        ++calls;
        handled = true; // claims success without connecting
    };
    EXPECT_THROW(socket.CheckConnected(), Exception);
    EXPECT_EQ(calls, 1);

    socket.OnConnectionRequired = [&](bool& handled) {
        socket.Connect();
        handled = true;
    };
    EXPECT_NO_THROW(socket.CheckConnected());
    EXPECT_TRUE(socket.Connected);
}
