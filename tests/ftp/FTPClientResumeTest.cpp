// Resumed transfers and modification times: against a scripted server for the
// exact conversation, and against real servers for the bytes.
#include "FtpSession.h"
#include "QtPrinters.h"
#include "RealFtpServer.h"
#include "ftp/FTPText.h"
#include "ScriptedFtpServer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

using S = ScriptedFtpServer;

QByteArray Pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

struct ResumeCase {
    const char* name;
    QByteArray sizeReply;
    QByteArray restReply;
    QByteArray payload; // what RETR sends
    QByteArrayList sent; // from "SIZE" on
};

// A kept partial file is continued with "REST" when the server's file is
// longer; otherwise, or when "REST" is refused, the whole file comes again.
TEST_F(ScriptedSession, ResumedDownloadConversations)
{
    const QByteArray whole = Pattern(300);
    const ResumeCase cases[] = {
        {"resumed", "213 300\r\n", "350 Restarting at 100.\r\n", whole.mid(100),
         {"SIZE keep.bin", "REST 100", "RETR keep.bin"}},
        {"REST refused", "213 300\r\n", "502 No.\r\n", whole, {"SIZE keep.bin", "REST 100", "RETR keep.bin"}},
        // Nothing could tell a resumed file from a mix: the whole file comes.
        {"SIZE unknown", "502 No.\r\n", "350 Restarting at 100.\r\n", whole, {"SIZE keep.bin", "RETR keep.bin"}},
        // A part as long as the file is the file: nothing is fetched.
        {"kept part complete", "213 100\r\n", "350 Restarting.\r\n", whole.left(100), {"SIZE keep.bin"}},
        {"kept part longer", "213 50\r\n", "350 Restarting.\r\n", whole.left(50), {"SIZE keep.bin", "RETR keep.bin"}},
    };
    const QString target = dir.filePath("keep.bin");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(target, "old");
        WriteFile(TFTPClient::PartialFileOf(target), whole.left(100));
        server.On("SIZE", c.sizeReply);
        server.On("REST", c.restReply);
        server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = c.payload,
                           .completion = "226 Transfer complete.\r\n"});
        const qsizetype before = server.Received().size();
        s.client.Passive = true;
        s.client.Download("keep.bin", target, true);
        QByteArrayList sent = server.Received().mid(before);
        sent.removeAll("EPSV");
        EXPECT_EQ(sent, c.sent);
        const QByteArray expected = c.name == QByteArray("kept part complete") ? whole.left(100)
                                    : c.name == QByteArray("kept part longer")  ? whole.left(50)
                                                                                : whole;
        EXPECT_EQ(ReadFile(target), expected);
        EXPECT_FALSE(QFileInfo::exists(TFTPClient::PartialFileOf(target)));
    }
}

// A server that takes "REST" and then sends the whole file from its start: the
// result would be the kept part and the whole file. The transfer fails, and the
// kept part stays as it was; nothing is claimed complete.
TEST_F(ScriptedSession, MoreBytesThanTheMissingOnesFailAResume)
{
    const QByteArray whole = Pattern(20);
    const QString target = dir.filePath("keep.bin");
    WriteFile(TFTPClient::PartialFileOf(target), whole.left(10));
    server.On("SIZE", "213 20\r\n");
    server.On("REST", "350 Restarting at 10.\r\n");
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = whole,
                       .completion = "226 Transfer complete.\r\n"});
    s.client.Passive = true;
    EXPECT_THROW(s.client.Download("keep.bin", target, true), EIncompleteTransfer);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(ReadFile(TFTPClient::PartialFileOf(target)), whole.left(10));
    EXPECT_FALSE(s.events.contains(QString("Success %1").arg(int(TCmdType::Download))));
    s.client.DoCommand("NOOP"); // the connection goes on
}

// Without Resume, a kept part is thrown away and the whole file fetched.
TEST_F(ScriptedSession, ADownloadWithoutResumeStartsAfresh)
{
    const QString target = dir.filePath("a.bin");
    WriteFile(TFTPClient::PartialFileOf(target), "stale bytes");
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = "fresh",
                       .completion = "226 Transfer complete.\r\n"});
    s.client.Download("a.bin", target);
    EXPECT_EQ(ReadFile(target), "fresh");
    EXPECT_FALSE(server.Received().contains("REST 11"));
}

TEST(FtpTimes, MfmtTimeText)
{
    EXPECT_EQ(FtpTimeText(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC)), "20010203040506");
    EXPECT_EQ(FtpTimeText(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone(3600))), "20010203030506");
}

// ---------------------------------------------------------------- real servers

class ResumeRealServer : public RealServerSession {
protected:
    QTemporaryDir local;
};

// A download stopped at about half keeps its bytes; resumed, only the rest
// travels, and the file is the server's byte for byte.
TEST_P(ResumeRealServer, AStoppedDownloadResumesWithTheMissingBytesOnly)
{
    constexpr qint64 size = 8 * 1024 * 1024;
    WriteRandomFile(server.LocalPath("big.bin"), size, 5);
    const QString target = local.filePath("big.bin");
    const qint64 kept = s->DownloadStoppedAtHalf("big.bin", target, size);
    EXPECT_GE(kept, size / 2);
    EXPECT_LT(kept, size);
    EXPECT_FALSE(QFileInfo::exists(target));

    s->client.Download("big.bin", target, true);
    EXPECT_EQ(s->client.BytesRecvd(), 0) << "no data connection is left";
    EXPECT_EQ(s->client.BytesTotal, size - kept) << "only the missing bytes came";
    EXPECT_EQ(Sha256Of(target), Sha256Of(server.LocalPath("big.bin")));
    EXPECT_TRUE(s->log.contains(QStringLiteral("REST %1").arg(kept)));
    EXPECT_FALSE(QFileInfo::exists(TFTPClient::PartialFileOf(target)));
}

// The server's port for the data connection, from the last passive reply in the log.
quint16 DataPortIn(const QStringList& log)
{
    static const QRegularExpression extended(R"(^229 .*\(\|\|\|(\d+)\|\))"),
        plain(R"(^227 .*\d+,\d+,\d+,\d+,(\d+),(\d+))");
    for (auto line = log.crbegin(); line != log.crend(); ++line) {
        if (const QRegularExpressionMatch m = extended.match(*line); m.hasMatch())
            return quint16(m.captured(1).toUInt());
        if (const QRegularExpressionMatch m = plain.match(*line); m.hasMatch())
            return quint16(m.captured(1).toUInt() * 256 + m.captured(2).toUInt());
    }
    return 0;
}

// A download whose data connection the server's side loses at about half (its
// socket destroyed by the kernel, as a crash or a firewall would): the bytes
// that came are kept, and the resumed download brings only the rest.
TEST_P(ResumeRealServer, ADownloadCutOffByTheServerResumes)
{
    constexpr qint64 size = 64 * 1024 * 1024;
    WriteRandomFile(server.LocalPath("big.bin"), size, 6);
    const QString target = local.filePath("big.bin");
    bool cut = false;
    QString killed;
    s->client.OnPacketRecvd = [&](QObject*) {
        if (cut || s->client.BytesRecvd() < size / 2)
            return;
        cut = true;
        // Only the server's socket: its source port is the data port.
        QProcess ss;
        ss.start("ss", {"-K", "src", "127.0.0.1", "sport", "=", QStringLiteral(":%1").arg(DataPortIn(s->log))});
        ss.waitForFinished();
        killed = QString::fromUtf8(ss.readAllStandardOutput());
    };
    bool failed = false;
    try {
        s->client.Download("big.bin", target);
    } catch (const Exception&) {
        failed = true;
    }
    s->client.OnPacketRecvd = nullptr;
    if (!killed.contains("ESTAB"))
        GTEST_SKIP() << "cannot destroy sockets here (ss -K needs root and sock_diag): " << killed.toStdString();
    EXPECT_TRUE(failed);
    const qint64 kept = QFileInfo(TFTPClient::PartialFileOf(target)).size();
    EXPECT_GE(kept, size / 4);
    EXPECT_LT(kept, size);
    EXPECT_FALSE(QFileInfo::exists(target));

    s->client.Download("big.bin", target, true);
    EXPECT_EQ(s->client.BytesTotal, size - kept) << "only the missing bytes came";
    EXPECT_EQ(Sha256Of(target), Sha256Of(server.LocalPath("big.bin")));
    EXPECT_TRUE(s->log.contains(QStringLiteral("REST %1").arg(kept)));
}

// An upload stopped at about a third leaves nothing under the final name; the
// next upload of the file continues its temporary file where the server allows
// it (pyftpdlib, vsftpd), or sends it whole again where it does not (ProFTPD
// without "AllowStoreRestart"), and the file is the local one byte for byte
// either way, with no temporary file left.
TEST_P(ResumeRealServer, AStoppedUploadResumes)
{
    constexpr qint64 size = 8 * 1024 * 1024 + 17;
    const QString source = local.filePath("up.bin");
    WriteRandomFile(source, size, 9);
    s->client.OnPacketSent = [this](QObject*) {
        if (s->client.BytesSent() >= size / 3)
            s->client.Abort();
    };
    EXPECT_THROW(s->client.Upload(source, "up.bin"), EAbortError);
    s->client.OnPacketSent = nullptr;
    const QString temporary = server.LocalPath(TFTPClient::TemporaryUploadNameOf("up.bin"));
    const qint64 there = QFileInfo(temporary).size();
    EXPECT_FALSE(QFileInfo::exists(server.LocalPath("up.bin")));
    ASSERT_GT(there, 0);
    ASSERT_LT(there, size);

    s->log.clear();
    s->client.Upload(source, "up.bin");
    EXPECT_EQ(Sha256Of(server.LocalPath("up.bin")), Sha256Of(source));
    EXPECT_FALSE(QFileInfo::exists(temporary));
    const QString log = s->log.join('\n');
    const bool continued = log.contains(QStringLiteral("REST %1\n350").arg(there)) && !log.contains("uploaded again");
    EXPECT_EQ(continued, GetParam() != RealFtpServer::Proftpd) << log.toStdString();
    if (!continued) {
        EXPECT_TRUE(log.contains("the whole file is uploaded again")) << log.toStdString();
    }
}

// Modification times travel both ways where the server offers the commands,
// by default; switched off, the files get the time of the transfer.
TEST_P(ResumeRealServer, ModificationTimesAreKept)
{
    const QDateTime then(QDate(2021, 6, 7), QTime(8, 9, 10), Qt::UTC);
    const auto dated = [&](const QString& path, const QByteArray& content) {
        WriteFile(path, content);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(then, QFileDevice::FileModificationTime);
    };
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "kept (the default)" : "switched off");
        if (!keep)
            s->client.KeepModificationTimes = false;
        dated(server.LocalPath("old.txt"), "from 2021");
        s->client.Download("old.txt", local.filePath("old.txt"));
        EXPECT_EQ(QFileInfo(local.filePath("old.txt")).lastModified().toUTC() == then, keep);

        const QString source = local.filePath("new.txt");
        dated(source, "sent");
        s->client.Upload(source, "new.txt");
        if (s->client.Supports("MFMT")) {
            EXPECT_EQ(QFileInfo(server.LocalPath("new.txt")).lastModified().toUTC() == then, keep);
        }
    }
    if (!s->client.Supports("MFMT"))
        GTEST_SKIP() << RealFtpServer::Name(GetParam()).toStdString() << " cannot set times (no MFMT)";
}

INSTANTIATE_TEST_SUITE_P(Servers, ResumeRealServer,
                         ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd, RealFtpServer::Proftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

} // namespace
