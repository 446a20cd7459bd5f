// Reading lines and counts, sending, and whole-file transfers.
#include "Loopback.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

// The bytes of a sparse file: zeros, and at each mark "MARK@" and the mark's last
// three digits.
struct TSparseContent {
    qint64 size;
    std::vector<qint64> marks;

    static QByteArray MarkText(qint64 mark) { return QByteArray("MARK@") + QByteArray::number(mark % 1000); }

    bool Write(const QString& path) const
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
            return false;
        for (const qint64 mark : marks)
            if (!file.seek(mark) || file.write(MarkText(mark)) != MarkText(mark).size())
                return false;
        return true;
    }

    // What the content holds at [offset, offset + count).
    QByteArray Slice(qint64 offset, qint64 count) const
    {
        QByteArray bytes(count, '\0');
        for (const qint64 mark : marks) {
            const QByteArray text = MarkText(mark);
            for (qint64 i = std::max(mark, offset); i < std::min(mark + text.size(), offset + count); ++i)
                bytes[i - offset] = text[i - mark];
        }
        return bytes;
    }
};

// Reads a named pipe to its end on a thread of its own and compares every byte with
// the expected content, so a capture of any size needs neither memory nor disk.
class TPipeChecker {
public:
    TPipeChecker(QString path, const TSparseContent& expected)
        : m_path(std::move(path)), m_expected(expected), m_thread([this] { Run(); })
    {
    }
    ~TPipeChecker()
    {
        // A capture that never opened the pipe would leave the reader waiting in open():
        // open and close it as a writer until the reader is past that.
        while (!m_opened) {
            const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Finish();
    }
    // After the writer closed the pipe: the bytes read.
    qint64 Finish()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_received;
    }
    qint64 FirstDifference() const { return m_firstDifference; }

private:
    void Run()
    {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY);
        m_opened = true;
        if (fd < 0)
            return;
        QByteArray buffer(1 << 20, '\0');
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), size_t(buffer.size()));
            if (n <= 0)
                break;
            if (m_firstDifference < 0) {
                const QByteArray expected = m_expected.Slice(m_received, n);
                const auto [got, want] = std::mismatch(buffer.cbegin(), buffer.cbegin() + n, expected.cbegin());
                if (want != expected.cend())
                    m_firstDifference = m_received + (got - buffer.cbegin());
            }
            m_received += n;
        }
        ::close(fd);
    }

    QString m_path;
    const TSparseContent& m_expected;
    std::atomic<bool> m_opened{false};
    qint64 m_received = 0;
    qint64 m_firstDifference = -1;
    std::thread m_thread;
};

// A file larger than 4 GiB (sparse, so the test stays fast) from SendFile on
// one component to CaptureFile on another must arrive byte-identical. The capture
// goes into a named pipe whose reader checks every byte: 4 GiB in a file would
// need that much room in memory (tmpfs) or on the disk.
TEST(SocketFile, FilesBeyondFourGiBArriveIntact)
{
    QTemporaryDir dir;
    const qint64 size = (qint64(1) << 32) + 3 * TAsyncSocket::BlockSize + 5;
    const TSparseContent content{size, {0, (qint64(1) << 31) - 3, (qint64(1) << 32) - 7, size - 9}};
    const QString source = dir.filePath("big");
    ASSERT_TRUE(content.Write(source));
    const QString target = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    TPipeChecker checker(target, content);

    TAsyncSocket receiver;
    receiver.BindAddress = QStringLiteral("127.0.0.1");
    receiver.Listen(true);
    const int port = BoundPortOf(receiver.SocketHandle());
    QString senderError;
    qint64 sent = 0;
    // A QThread: the component's waits need the event dispatcher a QThread brings.
    const std::unique_ptr<QThread> sender(QThread::create([&] {
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
    }));
    sender->start();
    receiver.AdoptSocket(receiver.Accept());
    receiver.CaptureFile(target);
    sender->wait();
    EXPECT_EQ(senderError, QString());
    EXPECT_EQ(sent, size);
    EXPECT_EQ(receiver.BytesRecvd, size);
    EXPECT_EQ(checker.Finish(), size);
    EXPECT_EQ(checker.FirstDifference(), -1);
}

// The checker above must see a wrong byte, a missing tail and a mark out of place.
TEST(SocketFile, PipeCheckerFindsDifferences)
{
    QTemporaryDir dir;
    const TSparseContent content{3000, {10, 2990}};
    const QString pipe = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const struct {
        const char* what;
        QByteArray bytes;
        qint64 received, firstDifference;
    } cases[] = {
        {"identical", content.Slice(0, 3000), 3000, -1},
        {"short", content.Slice(0, 2995), 2995, -1},
        {"wrong byte", content.Slice(0, 1000) + "x" + content.Slice(1001, 1999), 3000, 1000},
        {"mark moved", QByteArray(11, '\0') + content.Slice(10, 2989), 3000, 10},
    };
    for (const auto& c : cases) {
        TPipeChecker checker(pipe, content);
        QFile writer(pipe);
        ASSERT_TRUE(writer.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) << c.what;
        writer.write(c.bytes);
        writer.close();
        EXPECT_EQ(checker.Finish(), c.received) << c.what;
        EXPECT_EQ(checker.FirstDifference(), c.firstDifference) << c.what;
    }
}
