// Downloads that a hostile local user or a hostile server tries to turn against
// the user: links placed where the download writes, a folder swapped for a link
// while a tree downloads, trees without end. Each is checked on disk outside
// the chosen folder.
#include "FtpSession.h"
#include "QtPrinters.h"
#include "ftp/TransferQueue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <unistd.h>

namespace {

using S = ScriptedFtpServer;

// How many of the lines the server got begin with start.
qsizetype CountOf(const QByteArrayList& lines, const QByteArray& start)
{
    return std::count_if(lines.begin(), lines.end(), [&start](const QByteArray& line) { return line.startsWith(start); });
}

const QByteArray ServerBytes = "the server's file, thirty-eight bytes.";
const QByteArray OutsideBytes = "outside";

// A chosen folder and, beside it, a folder the download must never touch.
struct Folders {
    QTemporaryDir root;
    QString chosen = root.filePath("chosen");
    QString outside = root.filePath("outside");
    Folders()
    {
        QDir().mkpath(chosen);
        QDir().mkpath(outside);
    }
    QString Chosen(const QString& name) const { return chosen + u'/' + name; }
    QString Outside(const QString& name) const { return outside + u'/' + name; }
};

// ---------------------------------------------------------------- links where the download writes

struct LinkCase {
    const char* name;
    const char* linkName;   // in the chosen folder, made a link
    const char* linksTo;    // in the outside folder
    bool outsideExists;     // the link's target is there (else dangling)
    bool viaQueue;          // downloaded by the queue, which is answered "Resume"
};

TEST(DownloadLinks, NothingIsWrittenThroughALink)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    WriteFile(server.LocalPath("f.bin"), ServerBytes);
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    const LinkCase cases[] = {
        {"kept part is a link, resumed", ".f.bin.part", "victim", true, false},
        {"kept part is a dangling link", ".f.bin.part", "created", false, false},
        {"target is a link, answered Resume", "f.bin", "victim", true, true},
        {"kept part is a link, queue resumes", ".f.bin.part", "victim", true, true},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        Folders folders;
        if (c.outsideExists)
            WriteFile(folders.Outside(c.linksTo), OutsideBytes);
        ASSERT_TRUE(QFile::link(folders.Outside(c.linksTo), folders.Chosen(c.linkName)));
        s.log.clear();
        if (c.viaQueue) {
            TTransferQueue queue(s.client);
            queue.OnConflict = [](const TConflict&) {
                TConflictDecision resume;
                resume.Answer = TConflictAnswer::Resume;
                return resume;
            };
            queue.AddDownload(server.RemoteDir(), "f.bin", false, ServerBytes.size(), folders.chosen);
            queue.Run();
            EXPECT_EQ(queue.Items()[0].State, TTransferState::Done) << queue.Items()[0].Error.toStdString();
        } else {
            s.client.Download(server.RemoteDir() + "/f.bin", folders.Chosen("f.bin"), true);
        }
        EXPECT_EQ(TreeOf(folders.outside), (c.outsideExists ? std::map<QString, QByteArray>{
                                                                  {c.linksTo, QCryptographicHash::hash(
                                                                                  OutsideBytes, QCryptographicHash::Sha256)
                                                                                  .toHex()}}
                                                            : std::map<QString, QByteArray>{}));
        EXPECT_EQ(ReadFile(folders.Outside(c.linksTo)), c.outsideExists ? OutsideBytes : QByteArray("<missing>"));
        const QFileInfo target(folders.Chosen("f.bin"));
        EXPECT_FALSE(target.isSymLink());
        EXPECT_EQ(ReadFile(target.filePath()), ServerBytes);
        EXPECT_FALSE(QFileInfo(folders.Chosen(".f.bin.part")).isSymLink());
        EXPECT_FALSE(QFileInfo::exists(folders.Chosen(".f.bin.part")));
        EXPECT_FALSE(s.log.filter("not a regular file of yours").isEmpty()) << s.log.join('\n').toStdString();
        EXPECT_TRUE(s.log.filter("REST").isEmpty()) << "started afresh";
    }
}

// A kept part that another user made (in a folder both may write) holds no bytes
// of ours: it is not continued, and the download starts afresh.
TEST(DownloadLinks, AnotherUsersPartIsNotContinued)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    WriteFile(server.LocalPath("f.bin"), ServerBytes);
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    Folders folders;
    const QString part = folders.Chosen(".f.bin.part");
    WriteFile(part, "planted");
    ASSERT_EQ(::chown(QFile::encodeName(part).constData(), 65534, 65534), 0);
    s.log.clear();
    s.client.Download(server.RemoteDir() + "/f.bin", folders.Chosen("f.bin"), true);
    EXPECT_EQ(ReadFile(folders.Chosen("f.bin")), ServerBytes);
    EXPECT_FALSE(QFileInfo::exists(part));
    EXPECT_TRUE(s.log.filter("REST").isEmpty()) << s.log.join('\n').toStdString();
    EXPECT_FALSE(s.log.filter("not a regular file of yours").isEmpty()) << s.log.join('\n').toStdString();
}

// ---------------------------------------------------------------- a folder swapped while a tree downloads

TEST(DownloadLinks, AFolderSwappedForALinkStopsItsItems)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    QDir(server.LocalDir()).mkpath("t/sub");
    WriteFile(server.LocalPath("t/a.txt"), "a");
    for (const char* name : {"1.txt", "2.txt", "3.txt"})
        WriteFile(server.LocalPath(QStringLiteral("t/sub/") + name), name);
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    Folders folders;
    TTransferQueue queue(s.client);
    queue.AddDownload(server.RemoteDir(), "t", true, 0, folders.chosen);
    ASSERT_EQ(queue.Items().size(), 6u);
    // Once the queue has made t/sub, another user puts a link in its place.
    bool swapped = false;
    queue.OnItemChanged = [&](int index) {
        const TTransferItem& item = queue.Items()[index];
        if (swapped || !item.LocalPath.endsWith("/t/sub") || item.State != TTransferState::Done)
            return;
        swapped = QDir(item.LocalPath).removeRecursively() && QFile::link(folders.outside, item.LocalPath);
    };
    queue.Run();
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(TreeOf(folders.outside).empty()) << "nothing written outside";
    std::map<QString, TTransferState> states;
    for (const TTransferItem& item : queue.Items()) {
        states[QDir(folders.chosen).relativeFilePath(item.LocalPath)] = item.State;
        if (item.State == TTransferState::Failed) {
            EXPECT_TRUE(item.Error.contains("is not a folder")) << item.Error.toStdString();
        }
    }
    EXPECT_EQ(states, (std::map<QString, TTransferState>{{"t", TTransferState::Done},
                                                          {"t/a.txt", TTransferState::Done},
                                                          {"t/sub", TTransferState::Done},
                                                          {"t/sub/1.txt", TTransferState::Failed},
                                                          {"t/sub/2.txt", TTransferState::Failed},
                                                          {"t/sub/3.txt", TTransferState::Failed}}));
    EXPECT_EQ(ReadFile(folders.Chosen("t/a.txt")), "a");
}

// ---------------------------------------------------------------- trees without end

// A scripted server on which every folder lists the next one, named by names(depth).
class EndlessTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.On("FEAT", "211-Features:\r\n MLST type*;size*;\r\n211 End\r\n");
        server.On("CWD", "250 ok\r\n");
        server.On("EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n");
        s.client.Passive = true;
        s.client.Connect();
    }

    void ListEachFolderAs(const std::function<QByteArray(int depth)>& name)
    {
        for (int depth = 1; depth <= 400; ++depth) {
            const S::Reply listing{.text = "150 here\r\n", .data = S::Send,
                                   .payload = "type=dir; " + name(depth) + "\r\n", .completion = "226 done\r\n"};
            depth == 1 ? server.On("MLSD", listing) : server.Queue("MLSD", listing);
        }
    }

    // Adds the tree's top folder to the queue; gives the error it raised and how long it took.
    std::pair<QString, qint64> AddTree()
    {
        QElapsedTimer clock;
        clock.start();
        // Should the walk not end, the test ends it, and fails.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] { s.client.Abort(); });
        guard.start(20000);
        try {
            queue.AddDownload("/", "a", true, 0, local.path());
        } catch (const Exception& e) {
            return {e.Message(), clock.elapsed()};
        }
        return {QStringLiteral("no error"), clock.elapsed()};
    }

    S server;
    FtpSession s{server.Port()};
    TTransferQueue queue{s.client};
    QTemporaryDir local;
};

TEST_F(EndlessTree, AWalkStopsAtADepthNoRealTreeReaches)
{
    ListEachFolderAs([](int depth) { return "level-" + QByteArray::number(depth); });
    const auto [error, ms] = AddTree();
    EXPECT_TRUE(error.contains("deeper than")) << error.toStdString();
    EXPECT_TRUE(queue.Items().empty());
    EXPECT_LT(CountOf(server.Received(), "CWD"), 150) << "stopped by the depth, not by the guard";
    EXPECT_LT(ms, 15000);
}

TEST_F(EndlessTree, AWalkStopsWhereTheFoldersRepeat)
{
    const QByteArray cycle[] = {"a", "b", "c"};
    for (const int period : {1, 3}) {
        SCOPED_TRACE(period);
        ListEachFolderAs([&](int depth) { return cycle[depth % period]; });
        const qsizetype before = CountOf(server.Received(), "CWD");
        const auto [error, ms] = AddTree();
        EXPECT_TRUE(error.contains("repeat")) << error.toStdString();
        EXPECT_LT(CountOf(server.Received(), "CWD") - before, 60);
        EXPECT_TRUE(queue.Items().empty());
        s.client.DoCommand("NOOP"); // the connection goes on
    }
}

struct CancelCase {
    const char* name;
    S::Reply cwd;   // how the server answers "CWD"
    S::Reply mlsd;  // and "MLSD"
};

// The user's cancel ends a walk within a second, whatever it waits for.
TEST_F(EndlessTree, CancelAllEndsAWalkWithinASecond)
{
    const CancelCase cases[] = {
        {"listing stalls", {.text = "250 ok\r\n"},
         {.text = "150 here\r\n", .data = S::Stall, .payload = "type=dir; a\r\n"}},
        {"replies are slow", {.text = "250 ok\r\n", .delayMs = 150},
         {.text = "150 here\r\n", .data = S::Send, .payload = "type=dir; a\r\n", .completion = "226 done\r\n"}},
    };
    s.client.InactivityTimeOut = 10000;
    for (const CancelCase& c : cases) {
        SCOPED_TRACE(c.name);
        server.On("CWD", c.cwd);
        server.On("MLSD", c.mlsd);
        QElapsedTimer sinceCancel;
        QTimer::singleShot(400, [&] {
            sinceCancel.start();
            queue.CancelAll();
        });
        const auto [error, ms] = AddTree();
        ASSERT_TRUE(sinceCancel.isValid()) << error.toStdString();
        EXPECT_LT(sinceCancel.elapsed(), 1000);
        EXPECT_TRUE(error.contains("stopped")) << error.toStdString();
        EXPECT_TRUE(queue.Items().empty());
    }
    // The connection is still good for the next request.
    server.On("CWD", "250 ok\r\n");
    server.On("MLSD", {.text = "150 here\r\n", .data = S::Send, .payload = "type=file;size=1; x\r\n",
                       .completion = "226 done\r\n"});
    queue.AddDownload("/", "a", true, 0, local.path());
    EXPECT_EQ(queue.Items().size(), 2u);
}

} // namespace
