#include "app/TransferRunner.h"
#include "ftp/FTPClient.h"
#include "ScriptedFtpServer.h"
#include "TestFiles.h"
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

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

} // namespace
