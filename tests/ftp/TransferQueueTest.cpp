// The transfer queue: whole folder trees both ways against real servers,
// conflict answers, the user's cancel and retry, and a hostile listing that
// must not write outside the chosen folder.
#include "FtpSession.h"
#include "QtPrinters.h"
#include "RealFtpServer.h"
#include "ScriptedFtpServer.h"
#include "ftp/TransferQueue.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <limits>
#include <map>

namespace {

using S = ScriptedFtpServer;

TConflictDecision Answer(TConflictAnswer answer, bool forAll = false)
{
    TConflictDecision decision;
    decision.Answer = answer;
    decision.ForAll = forAll;
    return decision;
}

// Three levels, 200 files of 0 to 1 MiB, and an empty folder.
void MakeTree(const QString& root)
{
    QRandomGenerator random(42);
    QDir(root).mkpath("empty");
    for (int i = 0; i < 200; ++i) {
        const QString folder = QStringLiteral("level1-%1/level2-%2").arg(i % 4).arg(i % 3);
        const QString path = i % 5 == 0 ? QStringLiteral("top-%1.bin").arg(i)
                             : i % 5 == 1 ? QStringLiteral("level1-%1/mid-%2.bin").arg(i % 4).arg(i)
                                          : folder + QStringLiteral("/deep-%1-ü.bin").arg(i);
        QDir(root).mkpath(QFileInfo(QDir(root).filePath(path)).path());
        WriteRandomFile(QDir(root).filePath(path), random.bounded(1024 * 1024 + 1), quint32(i));
    }
}

class QueueRealServer : public RealServerSession {
protected:
    void SetUp() override
    {
        RealServerSession::SetUp();
        if (IsSkipped())
            return;
        queue = std::make_unique<TTransferQueue>(s->client);
        queue->OnReport = [this](const QString& text) { reports << text; };
    }

    std::unique_ptr<TTransferQueue> queue;
    QStringList reports;
    QTemporaryDir local;
};

TEST_P(QueueRealServer, AFolderTreeTravelsWholeBothWays)
{
    MakeTree(server.LocalPath("tree"));
    const auto source = TreeOf(server.LocalPath("tree"));
    ASSERT_EQ(source.size(), 200u + 1 + 4 + 12) << "200 files, the empty folder, 4 + 12 folders";

    queue->AddDownload(server.RemoteDir(), "tree", true, 0, local.path());
    EXPECT_EQ(queue->Items().size(), source.size() + 1);
    queue->Run();
    for (const TTransferItem& item : queue->Items())
        EXPECT_EQ(item.State, TTransferState::Done) << item.RemotePath.toStdString() << ": " << item.Error.toStdString();
    EXPECT_EQ(TreeOf(local.filePath("tree")), source);
    EXPECT_EQ(queue->MovedBytes(), queue->TotalBytes());

    queue->RemoveFinished();
    EXPECT_TRUE(queue->Items().empty());
    QDir(local.path()).rename("tree", "copy");
    queue->AddUpload(local.filePath("copy"), server.RemoteDir());
    queue->Run();
    for (const TTransferItem& item : queue->Items())
        EXPECT_EQ(item.State, TTransferState::Done) << item.LocalPath.toStdString() << ": " << item.Error.toStdString();
    EXPECT_EQ(TreeOf(server.LocalPath("copy")), source);
}

INSTANTIATE_TEST_SUITE_P(Servers, QueueRealServer,
                         ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd, RealFtpServer::Proftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

// ---------------------------------------------------------------- conflicts

struct ConflictCase {
    const char* name;
    TConflictDecision decision;
    QByteArray before;        // the local file before the download
    bool targetIsOlder;       // the local file's time against the server's
    QByteArray after;         // the local file after it ("" = the server's)
    const char* otherFile;    // a file the answer made beside it, or nullptr
    TTransferState state;
};

TEST(TransferQueueConflicts, EachAnswer)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    const QByteArray content = "the server's file, thirty-eight bytes.";
    const ConflictCase cases[] = {
        {"overwrite", Answer(TConflictAnswer::Overwrite), "mine", true, "", nullptr, TTransferState::Done},
        {"newer: source newer", Answer(TConflictAnswer::OverwriteIfNewer), "mine", true, "", nullptr, TTransferState::Done},
        {"newer: source older", Answer(TConflictAnswer::OverwriteIfNewer), "mine", false, "mine", nullptr,
         TTransferState::Skipped},
        {"resume", Answer(TConflictAnswer::Resume), content.left(10), true, "", nullptr, TTransferState::Done},
        {"rename", Answer(TConflictAnswer::Rename), "mine", true, "mine", "a (1).txt", TTransferState::Done},
        {"skip", Answer(TConflictAnswer::Skip), "mine", true, "mine", nullptr, TTransferState::Skipped},
    };
    WriteFile(server.LocalPath("a.txt"), content);
    const QDateTime serverTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    {
        QFile f(server.LocalPath("a.txt"));
        f.open(QIODevice::ReadWrite);
        f.setFileTime(serverTime, QFileDevice::FileModificationTime);
    }
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir local;
        const QString target = local.filePath("a.txt");
        WriteFile(target, c.before);
        {
            QFile f(target);
            f.open(QIODevice::ReadWrite);
            f.setFileTime(serverTime.addDays(c.targetIsOlder ? -1 : 1), QFileDevice::FileModificationTime);
        }
        TTransferQueue queue(s.client);
        int asked = 0;
        queue.OnConflict = [&](const TConflict& conflict) {
            ++asked;
            EXPECT_EQ(conflict.TargetSize, c.before.size());
            EXPECT_EQ(conflict.CanResume, c.before.size() < content.size());
            EXPECT_EQ(conflict.FreeName, local.filePath("a (1).txt"));
            return c.decision;
        };
        queue.AddDownload("/", "a.txt", false, content.size(), local.path());
        queue.Run();
        EXPECT_EQ(asked, 1) << "never assumed silently";
        EXPECT_EQ(queue.Items()[0].State, c.state) << queue.Items()[0].Error.toStdString();
        EXPECT_EQ(ReadFile(target), c.after.isEmpty() ? content : c.after);
        if (c.otherFile) {
            EXPECT_EQ(ReadFile(local.filePath(c.otherFile)), content);
        }
    }
}

// "For all remaining" answers every later conflict of the run: asked once.
TEST(TransferQueueConflicts, AnAnswerForAllIsAskedOnce)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    QTemporaryDir local;
    for (const char* name : {"x.txt", "y.txt", "z.txt"}) {
        WriteFile(server.LocalPath(name), "new");
        WriteFile(local.filePath(name), "old");
    }
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Connect();
    TTransferQueue queue(s.client);
    int asked = 0;
    queue.OnConflict = [&](const TConflict&) {
        ++asked;
        return Answer(TConflictAnswer::Overwrite, true);
    };
    for (const char* name : {"x.txt", "y.txt", "z.txt"})
        queue.AddDownload("/", name, false, 3, local.path());
    queue.Run();
    EXPECT_EQ(asked, 1);
    for (const char* name : {"x.txt", "y.txt", "z.txt"})
        EXPECT_EQ(ReadFile(local.filePath(name)), "new");
}

// ---------------------------------------------------------------- the user's hand

TEST(TransferQueueControl, CancelRetryAndRemoveFinished)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    for (const char* name : {"1.bin", "2.bin", "3.bin"})
        WriteRandomFile(server.LocalPath(name), 100000, 3);
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Connect();
    QTemporaryDir local;
    TTransferQueue queue(s.client);
    for (const char* name : {"1.bin", "2.bin", "3.bin"})
        queue.AddDownload("/", name, false, 100000, local.path());
    queue.Cancel(1);
    // The running item stopped by its cancel: the first packet of item 3 stops it.
    queue.OnItemChanged = [&queue](int index) {
        if (index == 2 && queue.Items()[2].State == TTransferState::Running && queue.Items()[2].Moved > 0)
            queue.Cancel(2);
    };
    queue.Run();
    queue.OnItemChanged = nullptr;
    EXPECT_EQ(queue.Items()[0].State, TTransferState::Done);
    EXPECT_EQ(queue.Items()[1].State, TTransferState::Cancelled);
    EXPECT_EQ(queue.Items()[2].State, TTransferState::Cancelled);
    EXPECT_FALSE(QFileInfo::exists(local.filePath("2.bin")));
    EXPECT_FALSE(QFileInfo::exists(local.filePath("3.bin")));

    queue.RetryFailed();
    EXPECT_EQ(queue.Items()[1].State, TTransferState::Waiting);
    queue.OnConflict = [](const TConflict&) { return Answer(TConflictAnswer::Resume); };
    queue.Run();
    for (const char* name : {"1.bin", "2.bin", "3.bin"})
        EXPECT_EQ(Sha256Of(local.filePath(name)), Sha256Of(server.LocalPath(name))) << name;
    queue.RemoveFinished();
    EXPECT_TRUE(queue.Items().empty());
}

// Names with spaces inside, also over LIST (vsftpd has no MLSD), come whole.
TEST_P(QueueRealServer, NamesWithSpacesTravelWhole)
{
    const QString root = server.LocalPath("my folder");
    QDir(root).mkpath("sub dir");
    WriteRandomFile(root + "/a b.txt", 1000, 1);
    WriteRandomFile(root + "/sub dir/x  y -> z.bin", 2000, 2);
    queue->AddDownload(server.RemoteDir(), "my folder", true, 0, local.path());
    queue->Run();
    EXPECT_EQ(TreeOf(local.filePath("my folder")), TreeOf(root)) << reports.join('\n').toStdString();
}

// A running download cancelled: the next item starts at once, in both modes and
// on every server (the reply owed for the broken transfer must not hold up the next).
TEST_P(QueueRealServer, CancelledDownloadDoesNotHoldUpTheNext)
{
    for (const char* name : {"big.bin", "next.bin"})
        WriteRandomFile(server.LocalPath(name), 64 << 20, 5);
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        s->client.Passive = passive;
        const QString into = local.filePath(passive ? "passive" : "active");
        ASSERT_TRUE(QDir().mkpath(into));
        TTransferQueue queue(s->client);
        for (const char* name : {"big.bin", "next.bin"})
            queue.AddDownload(server.RemoteDir(), name, false, 64 << 20, into);
        QElapsedTimer sinceCancel;
        queue.OnItemChanged = [&](int index) {
            if (index == 0 && queue.Items()[0].State == TTransferState::Running && queue.Items()[0].Moved > 0
                && !sinceCancel.isValid()) {
                queue.Cancel(0);
                sinceCancel.start();
            }
        };
        queue.Run();
        EXPECT_EQ(queue.Items()[0].State, TTransferState::Cancelled);
        EXPECT_EQ(queue.Items()[1].State, TTransferState::Done) << queue.Items()[1].Error.toStdString();
        EXPECT_LT(sinceCancel.elapsed(), 3000);
        EXPECT_EQ(Sha256Of(into + "/next.bin"), Sha256Of(server.LocalPath("next.bin")));
    }
    s->client.DoCommand("NOOP");
}

// ---------------------------------------------------------------- hostile names

// A server whose listing names "..", paths with "/", and bytes that are not
// UTF-8: the bad names are left out (and said so), the odd one lands inside
// the chosen folder, and nothing is written anywhere else.
TEST(TransferQueueNames, NothingIsWrittenOutsideTheChosenFolder)
{
    S server;
    server.On("FEAT", "211-Features:\r\n MLST type*;size*;\r\n211 End\r\n");
    server.On("CWD", "250 ok\r\n");
    server.On("EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n");
    server.Queue("MLSD", {.text = "150 here\r\n", .data = S::Send,
                          .payload = "type=dir; sub\r\n"
                                     "type=dir; ..\r\n"
                                     "type=file;size=3; ../../escape.txt\r\n"
                                     "type=file;size=3; /etc/evil\r\n"
                                     "type=dir; a/b\r\n"
                                     "type=file;size=3; caf\xe9.txt\r\n",
                          .completion = "226 done\r\n"});
    server.Queue("MLSD", {.text = "150 here\r\n", .data = S::Send, .payload = "type=file;size=3; inner.txt\r\n",
                          .completion = "226 done\r\n"});
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = "abc", .completion = "226 done\r\n"});
    QTemporaryDir outer;
    const QString chosen = outer.filePath("chosen");
    QDir().mkpath(chosen);
    FtpSession s(server.Port());
    s.client.Passive = true;
    s.client.Connect();
    TTransferQueue queue(s.client);
    QStringList reports;
    queue.OnReport = [&reports](const QString& text) { reports << text; };
    queue.AddDownload("/", "top", true, 0, chosen);
    queue.Run();
    EXPECT_EQ(TreeOf(outer.path()), (std::map<QString, QByteArray>{
                                        {"chosen", "folder"},
                                        {"chosen/top", "folder"},
                                        {"chosen/top/sub", "folder"},
                                        {"chosen/top/sub/inner.txt", Sha256Of(chosen + "/top/sub/inner.txt")},
                                        {QString::fromUtf8("chosen/top/café.txt"),
                                         Sha256Of(chosen + QString::fromUtf8("/top/café.txt"))},
                                    }));
    EXPECT_EQ(ReadFile(chosen + "/top/sub/inner.txt"), "abc");
    EXPECT_EQ(reports.filter("not a name a file can have here").size(), 4) << reports.join('\n').toStdString();
    EXPECT_THROW(queue.AddDownload("/", "..", true, 0, chosen), Exception);
}

// Runs the queue and gives the commands the server got meanwhile that begin with one of `starts`.
QByteArrayList CommandsOfRun(const S& server, TTransferQueue& queue, const QByteArrayList& starts)
{
    const qsizetype before = server.ReceivedWithoutPort().size();
    queue.Run();
    QByteArrayList commands;
    for (const QByteArray& line : server.ReceivedWithoutPort().mid(before))
        if (std::any_of(starts.begin(), starts.end(), [&line](const QByteArray& start) { return line.startsWith(start); }))
            commands << line;
    return commands;
}

// Each item travels in the type chosen when it was added, whatever the one before.
TEST(TransferQueueTypes, EachItemInTheTypeItWasAddedIn)
{
    S server;
    server.On("EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n");
    server.On("TYPE", "200 Type set.\r\n");
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = "abc", .completion = "226 done\r\n"});
    QTemporaryDir local;
    FtpSession s(server.Port());
    s.client.Passive = true;
    s.client.Connect();
    TTransferQueue queue(s.client);
    queue.TextType = true;
    queue.AddDownload("/", "a.txt", false, 3, local.path());
    queue.TextType = false;
    queue.AddDownload("/", "b.bin", false, 3, local.path());
    queue.TextType = true;
    queue.AddDownload("/", "c.txt", false, 3, local.path());
    EXPECT_EQ(CommandsOfRun(server, queue, {"TYPE", "RETR"}), (QByteArrayList{"TYPE A", "RETR /a.txt", "TYPE I", "RETR /b.bin", "TYPE A", "RETR /c.txt"}));
}

// A folder this run made holds nothing it did not write: its files go up without
// a "SIZE" each. A folder that was there already is asked about, file by file.
TEST(TransferQueueTypes, FilesInAFolderJustMadeNeedNoSizeQuestion)
{
    QTemporaryDir local;
    QDir(local.path()).mkpath("up");
    for (const char* name : {"a.txt", "b.txt"}) {
        QFile file(local.filePath(QStringLiteral("up/") + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("text");
    }
    for (const bool made : {true, false}) {
        SCOPED_TRACE(made ? "made" : "there already");
        S server;
        server.On("EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n");
        server.On("MKD", made ? "257 \"/up\" created.\r\n" : "550 Exists.\r\n");
        server.On("SIZE", "550 No such file.\r\n");
        server.On("STOR", {.text = "150 ok\r\n", .data = S::Receive, .completion = "226 done\r\n"});
        // "SIZE" cannot tell a missing file: the folder's listing does, once.
        server.On("LIST", {.text = "150 ok\r\n", .data = S::Send, .completion = "226 ok\r\n"});
        server.On("CWD", "250 ok\r\n");
        FtpSession s(server.Port());
        s.client.Passive = true;
        s.client.TemporaryUploadNames = false;
        s.client.Connect();
        TTransferQueue queue(s.client);
        queue.AddUpload(local.filePath("up"), "/");
        const QByteArrayList asked = CommandsOfRun(server, queue, {"SIZE", "STOR"});
        const QByteArrayList expected = made ? QByteArrayList{"STOR /up/a.txt", "STOR /up/b.txt"}
                                             : QByteArrayList{"SIZE /up/a.txt", "STOR /up/a.txt", "SIZE /up/b.txt",
                                                              "STOR /up/b.txt"};
        EXPECT_EQ(asked, expected);
    }
}

TEST(TransferQueueNames, FreeNames)
{
    const QStringList taken = {"/d/a (1).txt", "/d/.hidden (1)"};
    const auto isTaken = [&](const QString& p) { return taken.contains(p); };
    EXPECT_EQ(FreeFileName("/d/a.txt", isTaken), "/d/a (2).txt");
    EXPECT_EQ(FreeFileName("/d/b.tar.gz", isTaken), "/d/b (1).tar.gz");
    EXPECT_EQ(FreeFileName("/d/.hidden", isTaken), "/d/.hidden (2)");
    EXPECT_EQ(FreeFileName("/d/plain", isTaken), "/d/plain (1)");
}

} // namespace

namespace {

// Items added and finished ones removed while an item runs (the window does
// both from the event loop) neither lose the running item nor stop the run.
TEST(TransferQueueControl, ItemsComeAndGoWhileOneRuns)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    for (int i = 0; i < 40; ++i)
        WriteRandomFile(server.LocalPath(QStringLiteral("f%1.bin").arg(i)), 200000, quint32(i));
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Connect();
    QTemporaryDir local;
    TTransferQueue queue(s.client);
    queue.AddDownload("/", "f0.bin", false, 200000, local.path());
    queue.AddDownload("/", "f1.bin", false, 200000, local.path());
    int added = 2;
    queue.OnItemChanged = [&](int index) {
        const TTransferItem& item = queue.Items()[index];
        if (item.State != TTransferState::Running || item.Moved == 0 || added >= 40)
            return;
        queue.RemoveFinished();
        for (int n = 0; n < 8 && added < 40; ++n, ++added)
            queue.AddDownload("/", QStringLiteral("f%1.bin").arg(added), false, 200000, local.path());
    };
    queue.Run();
    queue.OnItemChanged = nullptr;
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(Sha256Of(local.filePath(QStringLiteral("f%1.bin").arg(i))),
                  Sha256Of(server.LocalPath(QStringLiteral("f%1.bin").arg(i))))
            << i;
    for (const TTransferItem& item : queue.Items())
        EXPECT_EQ(item.State, TTransferState::Done) << item.RemotePath.toStdString();
}

} // namespace

// A listing's size is what the totals count: a server that then sends more than
// it listed (and announces no size) never shows more moved than queued.
TEST(TransferQueueTotals, NeverMoreMovedThanQueued)
{
    S server;
    server.On("EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n");
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = QByteArray(300000, 'x'),
                       .completion = "226 done\r\n"});
    QTemporaryDir local;
    FtpSession s(server.Port());
    s.client.Passive = true;
    s.client.Connect();
    TTransferQueue queue(s.client);
    queue.AddDownload("/", "grown.bin", false, 1000, local.path());
    qint64 worst = 0;
    queue.OnItemChanged = [&](int) { worst = std::max(worst, queue.MovedBytes() - queue.TotalBytes()); };
    queue.Run();
    EXPECT_EQ(worst, 0);
    EXPECT_EQ(queue.MovedBytes(), queue.TotalBytes());
}

// A kept part that holds every byte of the file (an attempt that failed after its
// last byte) is finished without a question and without "RETR"; a server with
// digests shows when such a part is not its file, and then the whole file comes.
// A part older than the server's file is asked about, as any other.
TEST(TransferQueueParts, APartHoldingEveryByteIsCompleted)
{
    struct Case {
        const char* name;
        RealFtpServer::Kind kind;
        RealFtpServer::Digests digests;
        bool damaged;    // the part has the file's size but other bytes
        bool partOlder;  // the part was written before the server's file changed
        bool asked;
        bool fetched;    // "RETR" was sent
        bool keptDamage; // without digests the damage cannot be seen
    };
    const Case cases[] = {
        {"size only", RealFtpServer::Pyftpdlib, RealFtpServer::NoDigests, false, false, false, false, false},
        {"size only, LIST", RealFtpServer::Vsftpd, RealFtpServer::NoDigests, false, false, false, false, false},
        {"digest", RealFtpServer::Proftpd, RealFtpServer::WithDigests, false, false, false, false, false},
        {"damaged, digest", RealFtpServer::Proftpd, RealFtpServer::WithDigests, true, false, false, true, false},
        {"damaged, size only", RealFtpServer::Pyftpdlib, RealFtpServer::NoDigests, true, false, false, false, true},
        {"older part", RealFtpServer::Pyftpdlib, RealFtpServer::NoDigests, false, true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RealFtpServer server(c.kind, c.digests);
        if (!server.IsRunning()) {
            ADD_FAILURE() << server.ErrorText().toStdString();
            continue;
        }
        WriteRandomFile(server.LocalPath("whole.bin"), 200000, 7);
        const QDateTime serverTime = QDateTime::currentDateTimeUtc().addSecs(-3600);
        SetModified(server.LocalPath("whole.bin"), serverTime);
        QTemporaryDir local;
        const QString part = TFTPClient::PartialFileOf(local.filePath("whole.bin"));
        QByteArray bytes = ReadFile(server.LocalPath("whole.bin"));
        if (c.damaged)
            bytes[100] = char(bytes[100] ^ 1);
        WriteFile(part, bytes);
        SetModified(part, serverTime.addSecs(c.partOlder ? -60 : 60));

        FtpSession s(server.Port(), server.User(), server.Password());
        s.client.Passive = true;
        s.client.Connect();
        TTransferQueue queue(s.client);
        int asked = 0;
        queue.OnConflict = [&](const TConflict& conflict) {
            ++asked;
            EXPECT_TRUE(conflict.PartOnly);
            EXPECT_TRUE(conflict.CanResume) << "a whole part can be completed";
            return Answer(TConflictAnswer::Overwrite);
        };
        queue.AddDownload(server.RemoteDir(), "whole.bin", false, 200000, local.path());
        queue.Run();
        const TTransferItem& item = queue.Items()[0];
        EXPECT_EQ(item.State, TTransferState::Done) << item.Error.toStdString();
        EXPECT_EQ(asked, c.asked ? 1 : 0);
        EXPECT_EQ(s.log.filter(QRegularExpression("^RETR ")).size(), c.fetched ? 1 : 0) << s.log.join('\n').toStdString();
        EXPECT_EQ(ReadFile(local.filePath("whole.bin")) == ReadFile(server.LocalPath("whole.bin")), !c.keptDamage);
        EXPECT_FALSE(QFileInfo::exists(part));
        EXPECT_EQ(queue.MovedBytes(), queue.TotalBytes());
        if (c.digests == RealFtpServer::WithDigests && !c.damaged) {
            EXPECT_NE(item.Checked, TTransferCheck::Size) << "a digest checked the part";
        }
    }
}

// A resumed item counts its file once, and "Cancel all" leaves nothing counted as
// moved that is no longer queued.
TEST(TransferQueueTotals, AfterAResumeAndAfterCancelAll)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    const qint64 size = 3000000;
    for (const char* name : {"1.bin", "2.bin", "3.bin"})
        WriteRandomFile(server.LocalPath(name), size, 9);
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    QTemporaryDir local;
    TTransferQueue queue(s.client);
    qint64 worst = std::numeric_limits<qint64>::min();
    queue.OnItemChanged = [&](int index) {
        worst = std::max(worst, queue.MovedBytes() - queue.TotalBytes());
        const TTransferItem& item = queue.Items()[size_t(index)];
        if (item.State == TTransferState::Running && item.Moved > 0 && item.Moved < size)
            queue.Cancel(index); // at its first packet, which is announced at once
    };
    queue.AddDownload("/", "1.bin", false, size, local.path());
    queue.Run();
    ASSERT_EQ(queue.Items()[0].State, TTransferState::Cancelled);
    ASSERT_GT(QFileInfo(TFTPClient::PartialFileOf(local.filePath("1.bin"))).size(), 0) << "a part is kept";

    queue.OnItemChanged = [&](int) { worst = std::max(worst, queue.MovedBytes() - queue.TotalBytes()); };
    queue.OnConflict = [](const TConflict&) { return Answer(TConflictAnswer::Resume); };
    queue.RetryFailed();
    queue.Run();
    EXPECT_EQ(queue.Items()[0].State, TTransferState::Done) << queue.Items()[0].Error.toStdString();
    EXPECT_LE(worst, 0);
    EXPECT_EQ(queue.MovedBytes(), size);
    EXPECT_EQ(queue.TotalBytes(), size);

    queue.RemoveFinished();
    for (const char* name : {"2.bin", "3.bin"})
        queue.AddDownload("/", name, false, size, local.path());
    queue.OnItemChanged = [&](int index) {
        if (queue.Items()[size_t(index)].State == TTransferState::Running && queue.Items()[size_t(index)].Moved > 0)
            queue.CancelAll();
    };
    queue.Run();
    EXPECT_EQ(queue.TotalBytes(), 0) << "every item was cancelled";
    EXPECT_EQ(queue.MovedBytes(), 0);
}
