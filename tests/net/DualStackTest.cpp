// IPv6 and IPv4 side by side: literals of either family, listening in the
// bind address's family, and a host with several addresses tried in turn.
#include "Loopback.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QTimer>
#include <gtest/gtest.h>

#include <netdb.h>
#include <set>

namespace {

// Its host name looks up to the addresses the test gives, in that order, so
// that which families listen is up to the test.
class ScriptedLookupSocket : public TAsyncSocket {
public:
    explicit ScriptedLookupSocket(QStringList addresses) : m_addresses(std::move(addresses))
    {
        Host = QStringLiteral("ftp.example.test");
        OnHostResolved = [this](QObject*) { ++resolved; };
        OnConnect = [this](QObject*) { ++connects; };
        OnConnectionFailed = [this](QObject*) { ++failures; };
        OnError = [this](QObject*, quint16 code, const QString&) { errors << code; };
    }
    void Abort() override { ++aborts; }

    int resolved = 0, connects = 0, failures = 0, aborts = 0;
    QList<quint16> errors;

protected:
    int StartHostLookup(const QString&) override
    {
        const int id = ++m_lastId;
        QTimer::singleShot(0, this, [this, id] {
            QHostInfo info(id);
            QList<QHostAddress> addresses;
            for (const QString& text : m_addresses)
                addresses << QHostAddress(text);
            info.setAddresses(addresses);
            HostLookedUp(info);
        });
        return id;
    }

private:
    QStringList m_addresses;
    int m_lastId = 1000;
};

// Listeners on one port in the families asked for; the port stays closed in the others.
struct ListenersOnOnePort {
    ListenersOnOnePort(bool onIPv4, bool onIPv6)
    {
        if (onIPv4)
            v4 = std::make_unique<PeerListener>(8, AF_INET);
        if (onIPv6)
            v6 = std::make_unique<PeerListener>(8, AF_INET6, v4 ? v4->Port() : 0);
        port = v4 ? v4->Port() : v6 ? v6->Port() : ClosedPort();
    }
    std::unique_ptr<PeerListener> v4, v6;
    int port = 0;
};

std::set<int> LocalhostFamilies()
{
    std::set<int> families;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo("localhost", nullptr, &hints, &found) != 0)
        return families;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next)
        families.insert(entry->ai_family);
    ::freeaddrinfo(found);
    return families;
}
}

TEST(SocketDualStack, ConnectsToAnAddressOfEitherFamilyWithoutLookUp)
{
    const struct {
        const char* host;
        int family; // of the listener
        const char* shown;
        bool ipv6;
    } cases[] = {
        {"127.0.0.1", AF_INET, "127.0.0.1", false},
        {"::1", AF_INET6, "::1", true},
        {"0:0:0:0:0:0:0:1", AF_INET6, "::1", true},
        {"::ffff:127.0.0.1", AF_INET, "127.0.0.1", false}, // IPv4-mapped: shown and used as IPv4
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        PeerListener listener(8, c.family);
        TAsyncSocket socket;
        int resolved = 0;
        socket.OnHostResolved = [&](QObject*) { ++resolved; };
        socket.Host = QLatin1String(c.host);
        socket.Port = listener.Port();
        socket.Connect();
        PeerSocket peer = listener.Accept();
        ASSERT_TRUE(peer.IsValid());
        EXPECT_TRUE(socket.Connected);
        EXPECT_EQ(resolved, 0);
        EXPECT_EQ(socket.RemoteIP(), QLatin1String(c.shown));
        EXPECT_EQ(socket.LocalIP(), QLatin1String(c.shown));
        EXPECT_EQ(socket.IsIPv6(), c.ipv6);
        EXPECT_EQ(socket.LocalPort(), PeerPortOf(peer.Handle()));
        socket.Writeln(QStringLiteral("NOOP"));
        EXPECT_EQ(peer.Receive(6), QByteArray("NOOP\r\n"));
        peer.Send("200 NOOP ok\r\n");
        EXPECT_EQ(socket.ReadLn(), QStringLiteral("200 NOOP ok\r\n"));

        // A passive data connection goes to the control connection's peer by its text.
        PeerListener dataListener(8, c.family);
        TAsyncSocket data;
        data.Host = socket.RemoteIP();
        data.Port = dataListener.Port();
        data.Connect();
        EXPECT_TRUE(dataListener.Accept().IsValid());
        EXPECT_EQ(data.IsIPv6(), c.ipv6);
    }
}

TEST(SocketDualStack, UnspecifiedAddressesAreNoRemoteAddress)
{
    for (const char* host : {"0.0.0.0", "::"}) {
        TAsyncSocket socket;
        socket.Host = QLatin1String(host);
        socket.Port = 21;
        EXPECT_EQ(ConnectError(socket), QStringLiteral("Null Remote Address")) << host;
    }
}

TEST(SocketDualStack, ListensAndAcceptsInTheFamilyOfTheBindAddress)
{
    const struct {
        const char* bind;
        int peerFamily;
        bool listenerIPv6;
        const char* peerShown;
        bool connectionIPv6;
    } cases[] = {
        {"127.0.0.1", AF_INET, false, "127.0.0.1", false},
        {"::1", AF_INET6, true, "::1", true},
        {"::", AF_INET, true, "127.0.0.1", false}, // an IPv4 peer of a dual-stack listener
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bind);
        TAsyncSocket data; // starts with an IPv4 socket, as every component does
        data.BindAddress = QLatin1String(c.bind);
        data.Port = 0;
        data.Listen(true);
        EXPECT_EQ(data.IsIPv6(), c.listenerIPv6);
        const int port = data.LocalPort();
        ASSERT_NE(port, 0);
        EXPECT_EQ(port, BoundPortOf(data.SocketHandle()));
        EXPECT_EQ(data.LocalPortText(), QString::asprintf(",%d,%d", port >> 8, port & 255));

        PeerSocket server = ConnectPeer(port, c.peerFamily);
        OwnedSocket accepted = data.Accept();
        ASSERT_TRUE(accepted.IsValid());
        EXPECT_EQ(data.RemoteIP(), QLatin1String(c.peerShown));
        data.AdoptSocket(std::move(accepted));
        EXPECT_TRUE(data.Connected);
        EXPECT_EQ(data.IsIPv6(), c.connectionIPv6);
        EXPECT_EQ(data.LocalIP(), QLatin1String(c.peerShown));
        EXPECT_EQ(data.LocalPort(), port);

        server.Send("-rw-r--r-- 1 user group 5 Jan 1 00:00 file\r\n");
        EXPECT_EQ(data.ReadLn(), QStringLiteral("-rw-r--r-- 1 user group 5 Jan 1 00:00 file\r\n"));
        server.Close();
        EXPECT_TRUE(Eventually([&] { return !data.Connected; }));
    }
}

TEST(SocketDualStack, TriesTheLookedUpAddressesInOrderUntilOneConnects)
{
    const struct {
        QStringList addresses;
        bool listenIPv4, listenIPv6;
        const char* reached;
    } cases[] = {
        {{"::1", "127.0.0.1"}, true, false, "127.0.0.1"},
        {{"127.0.0.1", "::1"}, false, true, "::1"},
        {{"127.0.0.1", "::1"}, true, true, "127.0.0.1"}, // the first that answers wins
        {{"::1", "127.0.0.1"}, true, true, "::1"},
        {{"fe80::1", "127.0.0.1"}, true, false, "127.0.0.1"}, // no interface: fails at once
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.addresses.join(QLatin1Char(' '))));
        ListenersOnOnePort listeners(c.listenIPv4, c.listenIPv6);
        ScriptedLookupSocket socket(c.addresses);
        socket.Port = listeners.port;
        EXPECT_EQ(ConnectError(socket), QStringLiteral("(connected)"));
        EXPECT_EQ(socket.RemoteIP(), QLatin1String(c.reached));
        EXPECT_EQ(socket.IsIPv6(), QLatin1String(c.reached) == QLatin1String("::1"));
        EXPECT_EQ(socket.resolved, 1);
        EXPECT_EQ(socket.connects, 1);
        EXPECT_EQ(socket.failures, 0);
        EXPECT_EQ(socket.errors, QList<quint16>{});
        PeerListener* used = socket.IsIPv6() ? listeners.v6.get() : listeners.v4.get();
        PeerListener* other = socket.IsIPv6() ? listeners.v4.get() : listeners.v6.get();
        ASSERT_TRUE(used);
        PeerSocket peer = used->Accept();
        ASSERT_TRUE(peer.IsValid());
        if (other) {
            EXPECT_FALSE(other->Accept(200).IsValid());
        }
        peer.Send("220 ready\r\n");
        EXPECT_EQ(socket.ReadLn(), QStringLiteral("220 ready\r\n"));
    }
}

TEST(SocketDualStack, WhenEveryAddressFailsTheLastFailureIsReported)
{
    const struct {
        QStringList addresses;
        const char* expected;
        QList<quint16> errors; // OnError fires for a failure at once, as with one address
        int failures;
    } cases[] = {
        {{"::1", "127.0.0.1"}, "10061:Connection refused", {}, 1},
        {{"127.0.0.1", "::1"}, "10061:Connection refused", {}, 1},
        {{"127.0.0.1", "fe80::1"}, "10022:Invalid argument", {10022}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.addresses.join(QLatin1Char(' '))));
        ScriptedLookupSocket socket(c.addresses);
        socket.Port = ClosedPort();
        EXPECT_EQ(ConnectError(socket), QLatin1String(c.expected));
        EXPECT_FALSE(socket.Connected);
        EXPECT_EQ(socket.RemoteIP(), c.addresses.last()); // every address was tried
        EXPECT_EQ(socket.errors, c.errors);
        EXPECT_EQ(socket.failures, c.failures);
        EXPECT_FALSE(socket.Timer()->IsArmed());

        PeerListener listener; // and the component can connect again
        socket.Disconnect();
        socket.Host = QStringLiteral("127.0.0.1");
        socket.Port = listener.Port();
        EXPECT_EQ(ConnectError(socket), QStringLiteral("(connected)"));
    }
}

TEST(SocketDualStack, TimeOutAndCancelEndTheWholeMultiAddressAttempt)
{
    FullListener full; // 127.0.0.1: the attempt hangs
    PeerListener behind(8, AF_INET6, full.listener.Port()); // ::1 would answer
    const struct {
        QStringList addresses;
        bool cancel; // else TimeOut 300
        const char* expected;
    } cases[] = {
        {{"127.0.0.1", "::1"}, false, "Connection Timed out"},
        {{"127.0.0.1", "::1"}, true, "Connection Canceled"},
        {{"fe80::1", "127.0.0.1", "::1"}, false, "Connection Timed out"}, // the bound covers later attempts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.addresses.join(QLatin1Char(' ')) + (c.cancel ? " cancel" : " time-out")));
        ScriptedLookupSocket socket(c.addresses);
        socket.Port = full.listener.Port();
        if (c.cancel)
            After(300, [&] { socket.Cancel(); });
        else
            socket.TimeOut = 300;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(ConnectError(socket), QLatin1String(c.expected));
        EXPECT_GE(clock.elapsed(), 250);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(socket.failures, 1);
        EXPECT_EQ(socket.aborts, c.cancel ? 0 : 1);
        EXPECT_EQ(socket.TimedOut, !c.cancel);
        EXPECT_FALSE(socket.Connected);
        EXPECT_FALSE(behind.Accept(200).IsValid()); // it did not go on to the next address
        EXPECT_EQ(socket.RemoteIP(), QStringLiteral("127.0.0.1"));

        // The hanging attempt's socket is not reused: the next Connect gets its own.
        PeerListener next;
        socket.Host = QStringLiteral("127.0.0.1");
        socket.Port = next.Port();
        socket.TimeOut = 0;
        EXPECT_EQ(ConnectError(socket), QStringLiteral("(connected)"));
    }
}

TEST(SocketDualStack, LocalhostFallsThroughToTheFamilyThatListens)
{
    const std::set<int> families = LocalhostFamilies();
    if (!families.count(AF_INET) || !families.count(AF_INET6))
        GTEST_SKIP() << "\"localhost\" does not resolve to both ::1 and 127.0.0.1 on this machine "
                        "(see /etc/hosts); the scripted look-ups above cover the same ground";
    for (const int family : {AF_INET, AF_INET6}) {
        PeerListener listener(8, family);
        TAsyncSocket socket;
        socket.Host = QStringLiteral("localhost");
        socket.Port = listener.Port();
        EXPECT_EQ(ConnectError(socket), QStringLiteral("(connected)"));
        EXPECT_EQ(socket.RemoteIP(), family == AF_INET6 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1"));
        EXPECT_TRUE(listener.Accept().IsValid());
    }
}
