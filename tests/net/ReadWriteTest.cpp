// Reading lines and counts, sending, and whole-file transfers.
#include "Loopback.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <climits>
#include <sys/socket.h>
#include <chrono>
#include <thread>
#include <ctime>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}
}

TEST(SocketRead, LinesComeOutWholeWhateverTheBlocks)
{
    Connection c;
    c.peer.Send("220 first\r\n221 second\r\nbare\rcr\n");
    ASSERT_TRUE(Eventually([&] { return c.socket->BufferedCount() == 31; }));
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("220 first\r\n"));
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("221 second\r\n"));
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("bare\rcr\n")); // a lone CR ends no line
    EXPECT_EQ(c.socket->BufferedCount(), 0);

    c.peer.Send("150 hal");
    After(50, [&] { c.peer.Send("f a line, caf\xc3\xa9\r\n"); });
    EXPECT_EQ(c.socket->ReadLn(), QString::fromUtf8("150 half a line, caf\xc3\xa9\r\n"));
}

TEST(SocketRead, ReadReturnsExactCountsOrEverythingBuffered)
{
    Connection c;
    EXPECT_EQ(c.socket->Read(0), QByteArray()); // nothing buffered: at once

    c.peer.Send("abc");
    ASSERT_TRUE(Eventually([&] { return c.socket->BufferedCount() == 3; }));
    After(50, [&] { c.peer.Send("defg"); });
    EXPECT_EQ(c.socket->Read(5), QByteArray("abcde"));
    ASSERT_TRUE(Eventually([&] { return c.socket->BufferedCount() == 2; }));

    const QByteArray big = Pattern(100000); // more than a 16-bit count
    c.peer.Send(big);
    ASSERT_TRUE(Eventually([&] { return c.socket->BufferedCount() == 100002; }));
    EXPECT_EQ(c.socket->Read(0), "fg" + big);
    EXPECT_EQ(c.socket->BufferedCount(), 0);
}

TEST(SocketRead, EndlessLineEndsWithAnErrorInsteadOfFillingMemory)
{
    Connection c;
    const QByteArray longLine = QByteArray(900000, 'a') + "\n";
    const QByteArray endless(TAsyncSocket::MaxLineLength + 200000, 'b');
    std::thread peer([&] { c.peer.Send(longLine + endless); });
    EXPECT_EQ(c.socket->ReadLn().size(), longLine.size()); // long but ended: fine
    try {
        c.socket->ReadLn();
        ADD_FAILURE() << "an endless line was accepted";
    } catch (const ESockError& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String("longer than"))) << e.what();
    }
    peer.join();
    EXPECT_LT(c.socket->BufferedCount(), TAsyncSocket::MaxLineLength);
}

TEST(SocketRead, TransactionTakesTheReplyNumberWithoutWrapping)
{
    Connection c;
    const struct {
        const char* reply;
        int number;
    } cases[] = {
        {"220 Service ready\r\n", 220},
        {"Hello\r\n", 0},
        {"40000 beyond sixteen bits\r\n", 40000},
        {"123456789012 only ten digits count\r\n", 1234567890},
        {"9999999999 beyond int\r\n", INT_MAX},
    };
    for (const auto& row : cases) {
        c.peer.Send(row.reply);
        EXPECT_EQ(c.socket->Transaction(QStringLiteral("NOOP")), QLatin1String(row.reply));
        EXPECT_EQ(c.socket->ReplyNumber, row.number) << row.reply;
        EXPECT_EQ(c.socket->LastReply, QLatin1String(row.reply));
        EXPECT_EQ(c.peer.Receive(6), QByteArray("NOOP\r\n"));
    }
}

TEST(SocketWrite, TextStopsAtANulButALineAlwaysEnds)
{
    Connection c;
    c.socket->Write(QString::fromLatin1("ab\0cd", 5));
    c.socket->Writeln(QString::fromLatin1("ef\0gh", 5));
    c.socket->Writeln(QString::fromUtf8("STOR caf\xc3\xa9.txt"));
    c.socket->Write(QString());
    EXPECT_EQ(c.peer.Receive(22), QByteArray("abef\r\nSTOR caf\xc3\xa9.txt\r\n"));
}

TEST(SocketWrite, PartialSendsDeliverEveryByteOnce)
{
    Connection c;
    const int small = 4096;
    ::setsockopt(c.socket->SocketHandle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const QByteArray data = Pattern(3 * 1024 * 1024 + 17);
    QByteArray received;
    std::thread peer([&] { received = c.peer.Receive(data.size(), 10000); });
    const qint64 before = c.socket->BytesSent;
    c.socket->SendBuffer(data.constData(), data.size());
    peer.join();
    EXPECT_TRUE(received == data);
    EXPECT_EQ(c.socket->BytesSent - before, data.size());
}

TEST(SocketWrite, PeerGoneDuringASendEndsItWithAnError)
{
    Connection c;
    const QByteArray data = Pattern(32 * 1024 * 1024);
    After(100, [&] { c.peer.Close(); }); // unread data makes the close a reset
    EXPECT_THROW(c.socket->SendBuffer(data.constData(), data.size()), ESockError);
}

TEST(SocketFile, SendFileMovesBlocksAndCountsThem)
{
    // Sends are larger than a block and a late reader makes the socket take only
    // part of some of them: the data must still arrive whole, once, with one
    // progress call per block, each at a block's end.
    constexpr qint64 B = TAsyncSocket::BlockSize;
    const struct {
        qint64 size;
        int readerDelayMs;
    } cases[] = {{2 * B + 100, 0}, {TAsyncSocket::BlocksPerWake * B, 0}, {3 * TAsyncSocket::BlocksPerWake * B + 7, 0},
                 {3 * TAsyncSocket::BlocksPerWake * B + 7, 300}, {40 * 1024 * 1024, 300}};
    for (const auto& [size, readerDelayMs] : cases) {
        QTemporaryDir dir;
        const QByteArray data = Pattern(int(size));
        WriteFile(dir.filePath("file"), data);
        Connection c;
        int packets = 0;
        bool atBlockEnds = true;
        c.socket->OnPacketSent = [&](QObject*) {
            ++packets;
            EXPECT_TRUE(c.socket->InTransfer);
            atBlockEnds = atBlockEnds && (c.socket->BytesSent % B == 0 || c.socket->BytesSent == size);
        };
        QByteArray received;
        std::thread peer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(readerDelayMs));
            received = c.peer.Receive(data.size());
        });
        c.socket->SendFile(dir.filePath("file"));
        peer.join();
        EXPECT_EQ(packets, (size + B - 1) / B) << size;
        EXPECT_TRUE(atBlockEnds) << size;
        EXPECT_EQ(c.socket->BytesSent, size);
        EXPECT_EQ(c.socket->BytesTotal, size);
        EXPECT_FALSE(c.socket->CountBytes);
        EXPECT_FALSE(c.socket->FileTransfer);
        EXPECT_TRUE(received == data) << size;
    }
    QTemporaryDir dir;
    WriteFile(dir.filePath("empty"), {});
    Connection c;
    c.socket->SendFile(dir.filePath("empty")); // ends at once
    EXPECT_EQ(c.socket->BytesSent, 0);
}

TEST(SocketFile, CaptureKeepsBytesThatArrivedBeforeItAndReplacesAnOldFile)
{
    QTemporaryDir dir;
    // Longer old files: no stale tail may survive behind the new content.
    WriteFile(dir.filePath("captured"), QByteArray(300000, 'x'));
    WriteFile(dir.filePath("after-close"), "old");
    WriteFile(dir.filePath("empty-before"), {});
    Connection c;
    c.peer.Send("early-");
    ASSERT_TRUE(Eventually([&] { return c.socket->BufferedCount() == 6; }));
    const QByteArray rest = Pattern(100000);
    After(50, [&] {
        c.peer.Send(rest);
        c.peer.Close();
    });
    int packets = 0;
    c.socket->OnPacketRecvd = [&](QObject*) { ++packets; };
    c.socket->CaptureFile(dir.filePath("captured"));
    EXPECT_TRUE(ReadFile(dir.filePath("captured")) == "early-" + rest);
    EXPECT_EQ(c.socket->BytesRecvd, 6 + rest.size());
    EXPECT_GE(packets, 1);
    EXPECT_FALSE(c.socket->CountBytes);
    EXPECT_FALSE(c.socket->FileTransfer);
    EXPECT_EQ(c.socket->BufferedCount(), 0);

    c.socket->CaptureFile(dir.filePath("after-close")); // not connected: at once, empty
    EXPECT_EQ(ReadFile(dir.filePath("after-close")), QByteArray());
    c.socket->CaptureFile(dir.filePath("empty-before"));
    EXPECT_EQ(ReadFile(dir.filePath("empty-before")), QByteArray());
}

TEST(SocketFile, FileErrorsPassOnAndLeaveTheFlagsClear)
{
    QTemporaryDir dir;
    Connection c;
    EXPECT_THROW(c.socket->SendFile(dir.filePath("missing")), Exception);
    EXPECT_THROW(c.socket->CaptureFile(dir.path()), Exception); // a folder cannot be created as a file
    EXPECT_FALSE(c.socket->CountBytes);
    EXPECT_FALSE(c.socket->FileTransfer);
    c.socket->Writeln(QStringLiteral("still usable"));
    EXPECT_EQ(c.peer.Receive(14), QByteArray("still usable\r\n"));
}

// The file is written in chunks, so a small capture meets a full disk only at
// its end: it must still fail, not report success. A capture that fails
// while connected leaves the connection usable.
TEST(SocketFile, CaptureOntoAFullDiskFails)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    for (const qint64 size : {qint64(100), qint64(3) << 20}) {
        Connection c;
        std::thread peer([&] {
            try {
                c.peer.Send(Pattern(size));
                c.peer.Close();
            } catch (const std::exception&) {
                // The capture gave up first and closed the connection.
            }
        });
        EXPECT_THROW(c.socket->CaptureFile(QStringLiteral("/dev/full")), Exception) << size;
        if (c.socket->Connected) { // the file's failure must not stop the connection's next send
            c.socket->WaitDeadline = QDeadlineTimer(5000);
            EXPECT_NO_THROW(c.socket->Writeln(QStringLiteral("ABOR")));
        }
        c.socket->Disconnect(); // unblocks the peer's send
        peer.join();
        EXPECT_FALSE(c.socket->FileTransfer);
    }
}

TEST(SocketFile, ReadAndWriteHandlersNeverNest)
{
    QTemporaryDir dir;
    WriteFile(dir.filePath("blocks"), Pattern(8 * TAsyncSocket::BlockSize));
    Connection c;
    c.peer.Send("226 done\r\n");
    int nested = 0;
    c.socket->OnDataAvailable = [&](QObject*) {
        if (c.socket->InTransfer)
            ++nested;
    };
    c.socket->OnPacketSent = [&](QObject*) {
        QCoreApplication::processEvents(); // a progress handler that lets events run
    };
    std::thread peer([&] { c.peer.Receive(8 * TAsyncSocket::BlockSize); });
    c.socket->SendFile(dir.filePath("blocks"));
    peer.join();
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("226 done\r\n")); // the skipped read came later
}

TEST(SocketFile, HandlerWithItsOwnEventLoopDoesNotMakeTheSocketSpin)
{
    QTemporaryDir dir;
    WriteFile(dir.filePath("block"), Pattern(100));
    Connection c;
    double cpu = 0;
    c.socket->OnPacketSent = [&](QObject*) { // like a modal box shown from a progress handler
        timespec start{}, end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        QEventLoop loop;
        QTimer::singleShot(20, &loop, [&] { c.peer.Send("reply meanwhile\r\n"); });
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        cpu = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    };
    c.socket->SendFile(dir.filePath("block"));
    EXPECT_LT(cpu, 0.1);
    EXPECT_EQ(c.socket->ReadLn(), QStringLiteral("reply meanwhile\r\n"));
}

// A file larger than 4 GiB (sparse, so the test stays fast) from SendFile on
// one component to CaptureFile on another must arrive byte-identical.
TEST(SocketFile, FilesBeyondFourGiBArriveIntact)
{
    QTemporaryDir sourceDir;
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir targetDir(QFile::exists(shm) ? shm + "/ferrit-XXXXXX" : QString());
    const qint64 size = (qint64(1) << 32) + 3 * TAsyncSocket::BlockSize + 5;
    const qint64 marks[] = {0, (qint64(1) << 31) - 3, (qint64(1) << 32) - 7, size - 9};
    const QString source = sourceDir.filePath("big");
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(size));
        for (const qint64 mark : marks) {
            file.seek(mark);
            file.write(QByteArray("MARK@") + QByteArray::number(mark % 1000));
        }
    }
    TAsyncSocket receiver;
    receiver.BindAddress = QStringLiteral("127.0.0.1");
    receiver.Listen(true);
    const int port = BoundPortOf(receiver.SocketHandle());
    QString senderError;
    qint64 sent = 0;
    QThread* sender = QThread::create([&] {
        try {
            TAsyncSocket socket;
            socket.Host = QStringLiteral("127.0.0.1");
            socket.Port = port;
            socket.Connect();
            socket.SendFile(source);
            sent = socket.BytesSent;
            socket.Disconnect();
        } catch (const Exception& e) {
            senderError = e.Message();
        }
    });
    sender->start();
    receiver.AdoptSocket(receiver.Accept());
    const QString target = targetDir.filePath("big");
    receiver.CaptureFile(target);
    sender->wait();
    delete sender;
    EXPECT_EQ(senderError, QString());
    EXPECT_EQ(sent, size);
    EXPECT_EQ(receiver.BytesRecvd, size);
    QFile result(target);
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    EXPECT_EQ(result.size(), size);
    for (const qint64 mark : marks) {
        result.seek(mark);
        const QByteArray expected = QByteArray("MARK@") + QByteArray::number(mark % 1000);
        EXPECT_EQ(result.read(expected.size()), expected) << mark;
    }
    result.close();
    QFile::remove(target);
}
