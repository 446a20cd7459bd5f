// What Cancel does to each waiting operation, and the wait deadline.
#include "Loopback.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {
using Operation = std::function<void(TAsyncSocket&, const QString& dir)>;

struct CancelCase {
    const char* name;
    Operation operation;
    bool abortError; // EAbortError rather than a plain ESockError
    const char* message;
    bool canceledAfter;
};

const QByteArray& Bulk()
{
    static const QByteArray bytes(64 * 1024 * 1024, 'x'); // more than the peer's buffers hold
    return bytes;
}

// Runs operation, cancels the socket 100 ms into its wait and checks the outcome.
void ExpectCancel(TAsyncSocket& socket, const CancelCase& c)
{
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    After(100, [&] { socket.Cancel(); });
    try {
        c.operation(socket, dir.path());
        ADD_FAILURE() << "no exception";
    } catch (const ESockError& e) {
        EXPECT_EQ(dynamic_cast<const EAbortError*>(&e) != nullptr, c.abortError);
        EXPECT_EQ(e.Message(), QLatin1String(c.message));
    }
    EXPECT_EQ(socket.Canceled, c.canceledAfter);
    EXPECT_FALSE(socket.FileTransfer);
    EXPECT_FALSE(socket.CountBytes);
}
}

TEST(SocketCancel, EachWaitOnAConnectionEndsWithItsOwnErrorAndFlag)
{
    const CancelCase cases[] = {
        {"Read", [](TAsyncSocket& s, const QString&) { s.Read(5); }, true, "Socket send aborted", false},
        {"ReadLn", [](TAsyncSocket& s, const QString&) { s.ReadLn(); }, true, "Socket readln aborted", true},
        {"Transaction", [](TAsyncSocket& s, const QString&) { s.Transaction(QStringLiteral("NOOP")); },
         true, "Socket readln aborted", true},
        {"SendBuffer", [](TAsyncSocket& s, const QString&) { s.SendBuffer(Bulk().constData(), Bulk().size()); },
         true, "Socket send aborted", false},
        {"SendFile",
         [](TAsyncSocket& s, const QString& dir) {
             QFile file(dir + "/bulk");
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(Bulk());
             file.close();
             s.SendFile(file.fileName());
         },
         true, "Socket send aborted", false},
        {"CaptureFile", [](TAsyncSocket& s, const QString& dir) { s.CaptureFile(dir + "/capture"); },
         true, "Socket send aborted", false},
    };
    for (const CancelCase& c : cases) {
        Connection conn; // the peer neither answers, reads nor closes
        ExpectCancel(*conn.socket, c);
    }
}

TEST(SocketCancel, WaitsForAConnectionEndWithTheirOwnErrors)
{
    PeerListener full{0};
    OwnedSocket fillers[3];
    for (auto& filler : fillers) { // fill the accept queue so that SYNs are dropped
        filler = OwnedSocket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(full.Port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(filler.Handle(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    Eventually([] { return false; }, 100);

    const auto listenThenAccept = [](bool sync) {
        return [sync](TAsyncSocket& s, const QString&) {
            s.BindAddress = QStringLiteral("127.0.0.1");
            s.Listen(sync);
            s.Accept();
        };
    };
    const CancelCase cases[] = {
        {"Accept", listenThenAccept(true), false, "Accepting Canceled", true},
        {"Accept after async Listen", listenThenAccept(false), false, "Accepting Canceled", true},
        {"Connect",
         [&](TAsyncSocket& s, const QString&) {
             s.Host = QStringLiteral("127.0.0.1");
             s.Port = full.Port();
             s.Connect();
         },
         false, "Connection Canceled", true},
    };
    for (const CancelCase& c : cases) {
        TAsyncSocket socket;
        ExpectCancel(socket, c);
    }
}

TEST(SocketCancel, SendingWhileCanceledSendsNothing)
{
    Connection c;
    After(50, [&] { c.socket->Cancel(); });
    EXPECT_THROW(c.socket->ReadLn(), EAbortError);
    ASSERT_TRUE(c.socket->Canceled);
    EXPECT_NO_THROW(c.socket->Writeln(QStringLiteral("lost")));
    EXPECT_TRUE(c.socket->Canceled);
    c.socket->Canceled = false;
    c.socket->Writeln(QStringLiteral("sent"));
    EXPECT_EQ(c.peer.Receive(100, 300), QByteArray("sent\r\n"));
}

TEST(SocketCancel, DataArrivingWhileCanceledFiresOnAbortAndIsReadOnceUncanceled)
{
    Connection c;
    int aborts = 0;
    c.socket->OnAbort = [&](QObject*) { ++aborts; };
    c.socket->Cancel();
    c.peer.Send("first\n");
    ASSERT_TRUE(Eventually([&] { return aborts == 1; }));
    c.peer.Send("second\n");
    Eventually([] { return false; }, 50);
    c.socket->Canceled = false;
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("first\n"));
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("second\n"));
}

TEST(SocketWait, DeadlineBoundsAnyWaitAndSaysSo)
{
    Connection c;
    c.socket->WaitDeadline = QDeadlineTimer(200);
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(c.socket->ReadLn(), ETimeOutError);
    EXPECT_GE(clock.elapsed(), 180);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(c.socket->TimedOut);

    c.socket->WaitDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
    After(300, [&] { c.peer.Send("late but fine\n"); });
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("late but fine\n"));
}
