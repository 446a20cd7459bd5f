// Listening, accepting and adopting the accepted connection.
#include "Loopback.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(SocketListen, SyncListenAcceptAndAdoptMakeADataConnection)
{
    TAsyncSocket data;
    data.BindAddress = QStringLiteral("127.0.0.1");
    data.Port = 0;
    data.Listen(true);
    const int port = BoundPortOf(data.SocketHandle());
    ASSERT_NE(port, 0);
    EXPECT_EQ(data.LocalPortText(), QString::asprintf(",%d,%d", port >> 8, port & 255));

    PeerSocket server = ConnectPeer(port);
    OwnedSocket accepted = data.Accept();
    ASSERT_TRUE(accepted.IsValid());
    EXPECT_EQ(data.RemoteIP(), QStringLiteral("127.0.0.1"));
    data.AdoptSocket(std::move(accepted));
    EXPECT_TRUE(data.Connected);
    EXPECT_EQ(data.LocalIPText(), QStringLiteral("127,0,0,1"));

    server.Send("drwxr-xr-x 2 user group 4096 Jan 1 00:00 folder\r\n");
    EXPECT_EQ(data.ReadLn(), QStringLiteral("drwxr-xr-x 2 user group 4096 Jan 1 00:00 folder\r\n"));
    data.Writeln(QStringLiteral("back"));
    EXPECT_EQ(server.Receive(6), QByteArray("back\r\n"));
    server.Close();
    EXPECT_TRUE(Eventually([&] { return !data.Connected; }));
}

TEST(SocketListen, AsyncListenAnnouncesTheConnectionWithOnAccept)
{
    TAsyncSocket listener;
    int accepted = 0;
    listener.OnAccept = [&](QObject*) { ++accepted; };
    listener.BindAddress = QStringLiteral("127.0.0.1");
    listener.Listen(false);
    PeerSocket peer = ConnectPeer(BoundPortOf(listener.SocketHandle()));
    ASSERT_TRUE(Eventually([&] { return accepted == 1; }));
    EXPECT_TRUE(listener.Connected);
    EXPECT_FALSE(listener.AsyncDone);
}

TEST(SocketListen, LocalPortTextSplitsThePortIntoItsBytes)
{
    const struct {
        int port;
        const char* text;
    } cases[] = {{21, ",0,21"}, {256, ",1,0"}, {1025, ",4,1"}, {65535, ",255,255"}};
    int bound = 0;
    for (const auto& c : cases) {
        TAsyncSocket socket;
        socket.BindAddress = QStringLiteral("127.0.0.1");
        socket.Port = c.port;
        try {
            socket.Listen(true);
        } catch (const ESockError& e) { // in use by someone else, or privileged
            std::printf("port %d not free here: %s\n", c.port, qPrintable(e.Message()));
            continue;
        }
        ++bound;
        EXPECT_EQ(socket.LocalPortText(), QLatin1String(c.text)) << c.port;
    }
    EXPECT_GE(bound, 2);
}

TEST(SocketListen, PortInUseIsReportedAtOnce)
{
    PeerListener taken;
    TAsyncSocket socket;
    socket.BindAddress = QStringLiteral("127.0.0.1");
    socket.Port = taken.Port();
    try {
        socket.Listen(true);
        FAIL() << "listened on a port in use";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("10048:Address already in use"));
    }
}
