// The window's transfer runner: what it does with a server that turns its
// connection away, and with a folder tree that never ends (the window's Stop
// and the queue pane's "Cancel all" reach the walk and end it within a second,
// and the connection serves the next request).
#include "QtPrinters.h"
#include "ScriptedFtpServer.h"
#include "TestFiles.h"

#include "app/TransferRunner.h"
#include "ftp/FTPClient.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

namespace {
// The browsing session whose settings the runner takes: the scripted server, plain FTP.
std::unique_ptr<TFTPClient> SessionOn(const ScriptedFtpServer& server, const QString& password = "p")
{
    auto session = std::make_unique<TFTPClient>();
    session->Host = "127.0.0.1";
    session->Port = server.Port();
    session->UserID = "u";
    session->Password = password;
    session->Passive = false;
    session->Security = TSecurity::PlainFtp;
    return session;
}

TEST(TransferRunner, TellsATurnedAwayConnectionFromARefusedLogin)
{
    const struct {
        const char* reply;
        bool turnedAway;
    } cases[] = {
        {"421 Too many connections (2) from this IP\r\n", true},
        {"421 There are too many connected users, please try later.\r\n", true},
        {"530 Sorry, the maximum number of clients (1) for this user are already connected.\r\n", true},
        {"530 Too many users logged in.\r\n", true},
        {"530 Login incorrect.\r\n", false},
        {"550 Permission denied.\r\n", false},
        {"The transfer connection broke.", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RefusesAnotherConnection(QString::fromLatin1(c.reply)), c.turnedAway) << c.reply;
}

// A server that takes one connection per user turns the queue's second one away: the
// requests stay, the log says so once, and they run once the server takes the connection.
TEST(TransferRunner, RequestsWaitWhileTheServerRefusesAnotherConnection)
{
    ScriptedFtpServer server;
    server.SetGreeting("421 Too many connections (1) from this IP\r\n", true);
    server.On("RETR", {.text = "150 Opening data connection.\r\n",
                       .data = ScriptedFtpServer::Send,
                       .payload = "hello",
                       .completion = "226 Transfer complete.\r\n"});
    QTemporaryDir dir;
    TTransferRunner runner;
    runner.RetryRefusedMs = 150;
    QStringList log, errors;
    runner.OnLog = [&](const QString& line) { log << line; };
    runner.OnError = [&](const QString& text) { errors << text; };
    runner.UseSettingsOf(*SessionOn(server));
    runner.AddDownload("/", "a.txt", false, 5, dir.path(), "a.txt");
    runner.AddDownload("/", "b.txt", false, 5, dir.path(), "b.txt");

    QTRY_VERIFY_WITH_TIMEOUT(server.Connections() >= 3, 5000);
    EXPECT_EQ(runner.PendingRequests(), 2);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(log.filter("refuses another connection").size(), 1) << log.join('\n').toStdString();

    server.SetGreeting("220 Welcome.\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("b.txt")) && !runner.Active(), 5000);
    EXPECT_EQ(ReadFile(dir.filePath("a.txt")), "hello");
    EXPECT_EQ(ReadFile(dir.filePath("b.txt")), "hello");
    EXPECT_EQ(runner.PendingRequests(), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// Any other failure to connect is said as before, and still loses no request.
TEST(TransferRunner, ARefusedLoginIsAnErrorAndKeepsTheRequests)
{
    ScriptedFtpServer server;
    server.On("PASS", "530 Login incorrect.\r\n");
    QTemporaryDir dir;
    TTransferRunner runner;
    QStringList errors;
    runner.OnError = [&](const QString& text) { errors << text; };
    runner.UseSettingsOf(*SessionOn(server, "wrong"));
    runner.AddDownload("/", "a.txt", false, 5, dir.path(), "a.txt");
    QTRY_COMPARE(errors.size(), 1);
    EXPECT_EQ(errors[0], "The transfers stopped: 530 Login incorrect.");
    EXPECT_EQ(runner.PendingRequests(), 1);
}


using S = ScriptedFtpServer;

qsizetype CwdCount(const S& server)
{
    const QByteArrayList& lines = server.Received();
    return std::count_if(lines.begin(), lines.end(), [](const QByteArray& line) { return line.startsWith("CWD"); });
}

struct StopCase {
    const char* name;
    void (TTransferRunner::*stop)();
};

TEST(TransferRunnerWalk, StopAndCancelAllEndAnEndlessWalk)
{
    const StopCase cases[] = {
        {"Cancel all", &TTransferRunner::CancelAll},
        {"Stop", &TTransferRunner::CancelRunning},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        S server;
        server.On("FEAT", "211-Features:\r\n MLST type*;size*;\r\n211 End\r\n");
        server.On("CWD", {.text = "250 ok\r\n", .delayMs = 100});
        server.On("EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n");
        // Every folder holds one more, each of another name.
        for (int depth = 1; depth <= 2000; ++depth)
            server.Queue("MLSD", {.text = "150 here\r\n", .data = S::Send,
                                  .payload = "type=dir; d" + QByteArray::number(depth) + "\r\n",
                                  .completion = "226 done\r\n"});
        TFTPClient session;
        session.Host = "127.0.0.1";
        session.Port = server.Port();
        session.UserID = "user";
        session.Password = "secret";
        session.Passive = true;
        TTransferRunner runner;
        runner.UseSettingsOf(session);
        QStringList errors;
        runner.OnError = [&errors](const QString& text) { errors << text; };
        QTemporaryDir local;
        // The queue runs from the event loop: the user's hand comes from there too.
        QElapsedTimer sinceStop;
        int pendingAtStop = -1;
        QTimer hand;
        QObject::connect(&hand, &QTimer::timeout, [&] {
            if (!sinceStop.isValid() && CwdCount(server) >= 3) {
                pendingAtStop = runner.PendingRequests();
                sinceStop.start();
                (runner.*c.stop)();
            } else if (sinceStop.isValid() && sinceStop.elapsed() > 3000 && runner.Active()) {
                runner.Client()->Abort(); // it did not stop: the test ends it
            }
        });
        hand.start(20);
        qint64 stoppedIn = -1;
        runner.OnFinished = [&](bool, bool) { stoppedIn = sinceStop.isValid() ? sinceStop.elapsed() : -1; };
        runner.AddDownload("/", "top", true, 0, local.path(), "top");
        ASSERT_TRUE(QTest::qWaitFor([&] { return sinceStop.isValid() && !runner.Active(); }, 20000));
        EXPECT_EQ(pendingAtStop, 1) << "the folder being listed still counts, so it can be cancelled";
        EXPECT_GE(stoppedIn, 0);
        EXPECT_LT(stoppedIn, 1000) << "ended within a second";
        EXPECT_TRUE(runner.Queue().Items().empty());
        EXPECT_EQ(runner.PendingRequests(), 0);
        EXPECT_TRUE(errors.filter("The transfers stopped").isEmpty()) << errors.join('\n').toStdString();
        EXPECT_TRUE(runner.Client()->Connected) << "a stopped walk leaves the connection up";
    }
}

} // namespace
