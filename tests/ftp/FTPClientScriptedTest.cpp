// Conversations with a server that replays exact replies.
#include "FtpSession.h"
#include "QtPrinters.h"
#include "ScriptedFtpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using S = ScriptedFtpServer;

struct LoginCase {
    const char* name;
    QByteArray greeting;
    QByteArray userReply;
    QByteArray passReply;
    QByteArrayList sent;
    QStringList events;
    const char* error; // start of the exception's text; nullptr: success
};

TEST(FTPClientLogin, Conversations)
{
    const LoginCase cases[] = {
        {"three-line greeting", "220-a\r\n continued\r\n220 c\r\n", "331 pw\r\n", "230 ok\r\n", {"USER user", "PASS secret", "FEAT", "TYPE I"},
         {"Connect"}, nullptr},
        {"230 without PASS", "220 hi\r\n", "230 ok\r\n", "", {"USER user", "FEAT", "TYPE I"}, {"Connect"}, nullptr},
        {"332 skips the password", "220 hi\r\n", "332 account\r\n", "", {"USER user", "FEAT", "TYPE I"}, {"Connect"}, nullptr},
        {"400 is not a refusal", "220 hi\r\n", "400 odd\r\n", "", {"USER user", "FEAT", "TYPE I"}, {"Connect"}, nullptr},
        {"530 to PASS", "220 hi\r\n", "331 pw\r\n", "530 Login incorrect.\r\n", {"USER user", "PASS secret", "QUIT"},
         {"ConnectionFailed"}, "530 Login incorrect."},
        {"530 to USER", "220 hi\r\n", "530 No.\r\n", "", {"USER user", "QUIT"}, {"ConnectionFailed"}, "530 No."},
        // A server that turns the client away says why; that text is the error.
        {"421 greeting", "421 Too many users\r\n", "", "", {}, {}, "421 Too many users"},
        {"421 multi-line greeting", "421-Busy\r\n421 Too many users\r\n", "", "", {}, {}, "421-Busy"},
        {"530 greeting stays open", "530 Not allowed from your address.\r\n", "", "", {"QUIT"}, {},
         "530 Not allowed from your address."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        S server;
        server.SetGreeting(c.greeting, c.greeting.startsWith("421"));
        server.On("USER", c.userReply);
        server.On("PASS", c.passReply);
        FtpSession s(server.Port());
        QString error;
        try {
            s.client.Connect();
        } catch (const Exception& e) {
            error = e.Message();
        }
        if (c.error) {
            EXPECT_TRUE(error.startsWith(c.error)) << error.toStdString();
            EXPECT_FALSE(s.client.Connected);
            EXPECT_EQ(s.log.last(), "Disconnected");
        } else {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_TRUE(s.client.Connected);
        }
        server.WaitForLines(c.sent.size(), 1000);
        EXPECT_EQ(server.Received(), c.sent);
        EXPECT_EQ(s.events, c.events);
        EXPECT_FALSE(s.log.join('\n').contains("secret")); // the password never reaches the log
    }
}

TEST(FTPClientLogin, LogShowsGreetingCommandsAndReplies)
{
    S server;
    server.SetGreeting("220-Welcome\r\n220 Ready\r\n");
    FtpSession s(server.Port());
    s.client.Connect();
    EXPECT_EQ(s.log, QStringList({"220-Welcome", "220 Ready", "USER user", "331 Password required.", "PASS",
                                  "230 Logged in.", "FEAT", "502 Command not implemented.", "TYPE I",
                                  "200 Type set."}));
    s.client.Connect(); // already connected: nothing happens
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(s.events, QStringList({"Connect"}));
}

TEST(FTPClientLogin, ProxyLoginNamesTheTargetButLogDoesNot)
{
    S server;
    FtpSession s(0);
    s.client.Host = "ftp.example.org";
    s.client.Proxy = "127.0.0.1";
    s.client.ProxyPort = server.Port();
    s.client.Connect();
    EXPECT_EQ(server.Received().first(), "USER user@ftp.example.org");
    EXPECT_TRUE(s.log.contains("USER user"));
    EXPECT_FALSE(s.log.join('\n').contains("@ftp.example.org"));
}

TEST(FTPClientLogin, AuthenticationNeededFillsMissingPassword)
{
    S server;
    FtpSession s(server.Port(), "user", "");
    int asked = 0;
    s.client.OnAuthenticationNeeded = [&](bool&) {
        ++asked;
        s.client.Password = "typed";
    };
    s.client.Connect();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(server.Received(), (QByteArrayList{"USER user", "PASS typed", "FEAT", "TYPE I"}));
}

TEST(FTPClientLogin, APasswordWithALineBreakIsRefusedWithoutShowingIt)
{
    S server;
    FtpSession s(server.Port(), "user", "sec\rret");
    try {
        s.client.Connect();
        FAIL() << "no refusal";
    } catch (const EUnsafeCommand& e) {
        EXPECT_EQ(e.Message(), "The password contains a line break or a NUL character and cannot be sent to the server.");
    }
    EXPECT_FALSE(server.Received().join().contains("PASS"));
    EXPECT_FALSE(s.log.join('\n').contains("ret"));
}

TEST(FTPClientLogin, RetryAfterRefusedConnectionWorks)
{
    quint16 port;
    {
        S gone;
        port = gone.Port();
    }
    FtpSession s(port);
    EXPECT_THROW(s.client.Connect(), ESockError);
    S server;
    s.client.Port = server.Port();
    s.client.Connect();
    EXPECT_TRUE(s.client.Connected);
}

// A loopback listener with a full backlog: the kernel drops further connection attempts.
class FullListener {
public:
    FullListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(m_fd, 0);
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            m_fillers.push_back(fd);
        }
    }
    ~FullListener()
    {
        for (int fd : m_fillers)
            ::close(fd);
        ::close(m_fd);
    }
    quint16 Port() const { return m_port; }

private:
    int m_fd;
    quint16 m_port;
    std::vector<int> m_fillers;
};

TEST(FTPClientLogin, AbortEndsAConnectThatNeverCompletes)
{
    FullListener full;
    FtpSession s(full.Port());
    s.client.InactivityTimeOut = 0;
    QTimer::singleShot(300, [&s] { s.client.Abort(); });
    QElapsedTimer t;
    t.start();
    try {
        s.client.Connect();
        FAIL() << "connected";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message(), "Connection Canceled");
    }
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_FALSE(s.client.Connected);
}


struct CommandCase {
    const char* command;
    QByteArray reply;
    bool handled;        // OnFailure sets Handled (only used when assigned)
    bool assignFailure;  // OnFailure assigned
    QStringList events;
    bool throws;
};

TEST_F(ScriptedSession, DoCommandOutcomes)
{
    const CommandCase cases[] = {
        {"NOOP", "200 ok\r\n", false, false, {"Success 14"}, false},
        {"CWD", "250 ok\r\n", false, false, {"Success 0"}, false},
        {"cwd x", "250 ok\r\n", false, false, {"Success 14"}, false},
        {"PWD ", "257 \"/\"\r\n", false, false, {"Success 14"}, false},
        {"SITE X", "350 pending\r\n", false, false, {"Success 14"}, false},
        {"SITE X", "650 odd\r\n", false, false, {"Success 14"}, false},
        {"SITE X", "400 no\r\n", false, false, {}, true},
        {"RMD old", "502 Not implemented\r\n", false, false, {"Unsupported 3"}, true},
        {"RMD old", "502 Not implemented\r\n", false, true, {"Unsupported 3", "Failure 3"}, true},
        {"DELE a", "550 No such file\r\n", true, true, {"Failure 2", "Success 2"}, false},
        {"MKD d", "501 Bad name\r\n", false, true, {"Unsupported 1", "Failure 1"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        server.On(QByteArray(c.command).split(' ').first().toUpper(), c.reply);
        s.events.clear();
        s.client.OnFailure = nullptr;
        if (c.assignFailure)
            s.HandleFailures(c.handled);
        bool threw = false;
        try {
            s.client.DoCommand(c.command);
        } catch (const FTPException& e) {
            threw = true;
            EXPECT_EQ(e.Message(), QString::fromUtf8(c.reply)); // the reply line, line end included
        }
        EXPECT_EQ(threw, c.throws);
        EXPECT_EQ(s.events, c.events);
        EXPECT_EQ(server.Received().last(), c.command);
        EXPECT_TRUE(s.client.Connected);
    }
}

TEST_F(ScriptedSession, MultiLineReplyKeepsFirstLine)
{
    server.On("NOOP", "250-first\r\n250 last\r\n");
    server.On("SITE", "200 next\r\n");
    EXPECT_EQ(s.client.Transaction("NOOP"), "250-first\r\n");
    EXPECT_EQ(s.client.ReplyNumber, 250);
    EXPECT_EQ(s.client.LastReply, "250-first\r\n");
    EXPECT_TRUE(s.log.contains("250-first") && s.log.contains("250 last"));
    s.client.DoCommand("SITE x"); // the conversation is still in step
    EXPECT_EQ(s.client.LastReply, "200 next\r\n");
}

TEST_F(ScriptedSession, StrayInputIsDiscardedBeforeACommand)
{
    server.SendControl("200 stray\r\n");
    server.On("NOOP", "200 real\r\n");
    QTimer::singleShot(0, [] {}); // let the stray bytes arrive
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 100)
        QCoreApplication::processEvents();
    s.client.DoCommand("NOOP");
    EXPECT_EQ(s.client.LastReply, "200 real\r\n");
}

TEST_F(ScriptedSession, RenameConversations)
{
    struct Case {
        QByteArray rnfr;
        bool assignFailure;
        QByteArrayList sent;
        QStringList events;
        bool throws;
    };
    const Case cases[] = {
        {"350 Ready\r\n", false, {"RNFR a", "RNTO b"}, {"Success 5"}, false},
        {"351 Ready\r\n", false, {"RNFR a", "RNTO b"}, {"Success 5"}, false},
        {"550 No such file\r\n", false, {"RNFR a"}, {}, true},
        {"550 No such file\r\n", true, {"RNFR a", "RNTO b"}, {"Failure 5", "Success 5"}, false},
    };
    for (const auto& c : cases) {
        server.On("RNFR", c.rnfr);
        server.On("RNTO", "250 Renamed\r\n");
        s.events.clear();
        s.client.OnFailure = nullptr;
        if (c.assignFailure)
            s.HandleFailures(true);
        const qsizetype before = server.Received().size();
        bool threw = false;
        try {
            s.client.Rename("a", "b");
        } catch (const FTPException&) {
            threw = true;
        }
        EXPECT_EQ(threw, c.throws) << c.rnfr.constData();
        EXPECT_EQ(server.Received().mid(before), c.sent) << c.rnfr.constData();
        EXPECT_EQ(s.events, c.events) << c.rnfr.constData();
    }
}

TEST_F(ScriptedSession, CurrentDirTakesTheQuotedFolder)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"257 \"/home/a\" is the current directory\r\n", "/home/a"},
        {"257 no quotes\r\n", ""},
        {"257 \"/only one\r\n", "/only one\r\n"},
        {"257 \"/Grüße\" ok\r\n", QString::fromUtf8("/Grüße")},
    };
    for (const auto& [reply, folder] : cases) {
        server.On("PWD", reply);
        EXPECT_EQ(s.client.CurrentDir(), folder) << reply.constData();
        s.events.clear();
    }
}

TEST_F(ScriptedSession, NamesWithLineBreaksAreNeverSent)
{
    const qsizetype before = server.Received().size();
    const QString evil = "a.txt\r\nDELE important";
    EXPECT_THROW(s.client.Delete(evil), EUnsafeCommand);
    EXPECT_THROW(s.client.MakeDirectory(evil), EUnsafeCommand);
    EXPECT_THROW(s.client.Rename("a", evil), EUnsafeCommand);
    EXPECT_THROW(s.client.Rename(evil, "b"), EUnsafeCommand);
    EXPECT_THROW(s.client.DoCommand("NOOP\nDELE x"), EUnsafeCommand);
    EXPECT_THROW(s.client.Download(evil, dir.filePath("x")), EUnsafeCommand);
    EXPECT_THROW(s.client.Upload(dir.filePath("x"), evil), EUnsafeCommand);
    s.client.DoCommand("NOOP"); // still connected and in step
    EXPECT_EQ(server.Received().mid(before), QByteArrayList{"NOOP"});
    EXPECT_FALSE(QFile::exists(dir.filePath("x")));
}

TEST_F(ScriptedSession, Reply426WhileWaitingEndsTheWait)
{
    server.On("NOOP", "426 Connection closed; transfer aborted.\r\n");
    EXPECT_THROW(s.client.DoCommand("NOOP"), EAbortError);
}

TEST_F(ScriptedSession, SilentServerTimesOutAndClosesTheConnection)
{
    s.client.InactivityTimeOut = 300;
    server.On("NOOP", QByteArray());
    QElapsedTimer t;
    t.start();
    try {
        s.client.DoCommand("NOOP");
        FAIL() << "no time-out";
    } catch (const ETimeOutError& e) {
        EXPECT_TRUE(e.Message().contains("did not answer")) << e.Message().toStdString();
    }
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_FALSE(s.client.Connected);
}

TEST_F(ScriptedSession, AbortEndsAWaitOnTheControlConnection)
{
    s.client.InactivityTimeOut = 0; // only Abort can end it
    server.On("NOOP", QByteArray());
    QTimer::singleShot(100, [this] { s.client.Abort(); });
    EXPECT_THROW(s.client.DoCommand("NOOP"), EAbortError);
    EXPECT_TRUE(s.client.Connected);
    // The reply never comes: the next command waits for it in vain and closes.
    s.client.InactivityTimeOut = 200;
    EXPECT_THROW(s.client.DoCommand("SITE X"), ETimeOutError);
    EXPECT_FALSE(s.client.Connected);
    EXPECT_FALSE(server.Received().contains("SITE X"));
}

TEST_F(ScriptedSession, LateReplyToAnAbortedCommandIsNotTakenForTheNext)
{
    server.On("NOOP", S::Reply{.text = "200 late\r\n", .delayMs = 300});
    QTimer::singleShot(100, [this] { s.client.Abort(); });
    EXPECT_THROW(s.client.DoCommand("NOOP"), EAbortError);
    server.On("SITE", "200 own\r\n");
    s.client.DoCommand("SITE X");
    EXPECT_EQ(s.client.LastReply, "200 own\r\n");
    EXPECT_TRUE(s.log.contains("200 late"));
}

TEST_F(ScriptedSession, AbortWhileIdleSendsNothing)
{
    const qsizetype before = server.Received().size();
    s.client.Abort();
    s.client.DoCommand("NOOP");
    EXPECT_EQ(server.Received().mid(before), QByteArrayList{"NOOP"});
}

TEST_F(ScriptedSession, ServerClosingTheConnectionEndsTheWait)
{
    server.On("NOOP", S::Reply{.closeControl = true});
    EXPECT_THROW(s.client.DoCommand("NOOP"), ESockError);
}

TEST_F(ScriptedSession, DisconnectResetsVendorAndFailingQuitStillCloses)
{
    s.client.Vendor = FTPVendorUnix;
    s.client.Disconnect();
    EXPECT_EQ(s.client.Vendor, FTPVendorUnknown);
    EXPECT_FALSE(s.client.Connected);
    EXPECT_EQ(server.Received().last(), "QUIT");

    server.On("QUIT", "500 What?\r\n");
    s.client.Connect();
    EXPECT_THROW(s.client.Disconnect(), FTPException);
    EXPECT_FALSE(s.client.Connected);
    EXPECT_THROW(s.client.DoCommand("NOOP"), Exception); // "Not Connected"
}

TEST(FTPClientLifetime, DestroyingAConnectedClientQuitsWithinFiveSeconds)
{
    S server;
    server.On("QUIT", QByteArray()); // never answered
    auto s = std::make_unique<FtpSession>(server.Port());
    s->client.InactivityTimeOut = 0;
    s->client.Connect();
    QElapsedTimer t;
    t.start();
    s.reset();
    EXPECT_LT(t.elapsed(), 7000);
    EXPECT_EQ(server.Received().last(), "QUIT");
}

// ---------------------------------------------------------------- listings

TEST_F(ScriptedSession, ListDeliversLinesAndParsesThem)
{
    s.client.ParseList = true;
    const QByteArray listing = "total 2\r\n"
                               "-rw-r--r-- 1 o g 12 Jan 1 12:00 a.txt\r\n"
                               "\r\n"
                               "drwxr-xr-x 2 o g 4096 Feb 2 2020 sub\n"
                               "-rw-r--r-- 1 o g 7 Mar 3 10:00 last";
    server.On("LIST", {.text = "150 Here it comes (99 bytes).\r\n", .data = S::Send, .payload = listing,
                       .completion = "226 Done.\r\n"});
    s.events.clear();
    s.client.List();
    EXPECT_EQ(s.items, QStringList({"total 2", "-rw-r--r-- 1 o g 12 Jan 1 12:00 a.txt", "\r\n",
                                    "drwxr-xr-x 2 o g 4096 Feb 2 2020 sub", "-rw-r--r-- 1 o g 7 Mar 3 10:00 last"}));
    EXPECT_EQ(s.client.FTPDirectoryList()->Names, QStringList({"a.txt", "sub", "last"}));
    EXPECT_EQ(s.client.Vendor, FTPVendorUnix);
    EXPECT_EQ(s.events, QStringList({"Success 14", "Start", "Stop", "Success 4"}));
    EXPECT_EQ(s.client.BytesTotal, listing.size());
    EXPECT_TRUE(s.log.contains(QString("Received %1 Bytes").arg(listing.size())));
    EXPECT_EQ(s.log.last(), "226 Done.");
    EXPECT_EQ(server.ReceivedWithoutPort().mid(4), QByteArrayList({"SYST", "LIST"}));

    s.items.clear();
    s.client.List(); // SYST only once per connection; the lists hold the last listing
    EXPECT_EQ(server.ReceivedWithoutPort().mid(4), QByteArrayList({"SYST", "LIST", "LIST"}));
    EXPECT_EQ(s.client.FTPDirectoryList()->Names.size(), 3);

    s.client.Disconnect();
    EXPECT_EQ(s.client.FTPDirectoryList(), nullptr);
    s.client.Connect();
    s.client.List();
    EXPECT_EQ(server.ReceivedWithoutPort().count("SYST"), 2);
}

TEST_F(ScriptedSession, EmptyListingWithoutParser)
{
    server.On("LIST", {.text = "150 Here.\r\n", .data = S::Send, .completion = "226 Done.\r\n"});
    s.events.clear();
    s.client.List();
    EXPECT_TRUE(s.items.isEmpty());
    EXPECT_EQ(s.events, QStringList({"Start", "Stop", "Success 4"}));
    EXPECT_TRUE(s.log.contains("Received 0 Bytes"));
    EXPECT_EQ(s.log.last(), "226 Done.");
    EXPECT_FALSE(server.ReceivedWithoutPort().contains("SYST"));
    EXPECT_EQ(s.client.Vendor, FTPVendorUnknown);
    EXPECT_EQ(s.client.FTPDirectoryList(), nullptr);
    EXPECT_EQ(s.client.DataSocket(), nullptr);

    // A system type set by hand that no table knows still gets a parser.
    s.client.ParseList = true;
    s.client.Vendor = 9999;
    s.client.List();
    EXPECT_NE(s.client.FTPDirectoryList(), nullptr);
    EXPECT_FALSE(server.ReceivedWithoutPort().contains("SYST"));
    EXPECT_EQ(s.client.Vendor, 9999);
}

TEST_F(ScriptedSession, RefusedSystStillLists)
{
    s.client.ParseList = true;
    server.On("SYST", "500 Unknown command\r\n");
    server.On("LIST", {.text = "150 Here.\r\n", .data = S::Send, .payload = "x\r\n", .completion = "226 Done.\r\n"});
    s.events.clear();
    s.client.List();
    EXPECT_EQ(s.client.Vendor, FTPVendorOther);
    EXPECT_EQ(s.events, QStringList({"Unsupported 14", "Start", "Stop", "Success 4"}));
}

TEST_F(ScriptedSession, RefusedPortOrListFails)
{
    s.HandleFailures(false);
    server.On("PORT", "500 PORT not understood\r\n");
    s.events.clear();
    EXPECT_THROW(s.client.List(), FTPException);
    EXPECT_EQ(s.events, QStringList({"Failure 4"})); // no OnUnSupportedFunction for PORT
    EXPECT_EQ(s.client.DataSocket(), nullptr);

    server.On("PORT", "200 ok\r\n");
    server.On("LIST", "502 No listing\r\n");
    s.events.clear();
    EXPECT_THROW(s.client.List(), FTPException);
    EXPECT_EQ(s.events, QStringList({"Unsupported 4", "Failure 4"}));
}

TEST_F(ScriptedSession, StalledListingTimesOutAndAbortEndsIt)
{
    s.client.InactivityTimeOut = 300;
    server.On("LIST", {.text = "150 Here.\r\n", .data = S::Stall, .payload = "line one\r\npartial"});
    try {
        s.client.List();
        FAIL() << "no time-out";
    } catch (const ETimeOutError& e) {
        EXPECT_TRUE(e.Message().contains("listing stalled")) << e.Message().toStdString();
    }
    EXPECT_EQ(s.items, QStringList({"line one"}));
    EXPECT_TRUE(s.client.Connected); // the control connection is fine

    s.client.InactivityTimeOut = 0;
    QTimer::singleShot(200, [this] { s.client.Abort(); });
    EXPECT_THROW(s.client.List(), EAbortError);
}

TEST_F(ScriptedSession, ServerThatNeverConnectsTimesOut)
{
    s.client.InactivityTimeOut = 300;
    server.On("LIST", "150 Here.\r\n"); // but no data connection
    try {
        s.client.List();
        FAIL() << "no time-out";
    } catch (const ETimeOutError& e) {
        EXPECT_TRUE(e.Message().contains("data connection")) << e.Message().toStdString();
    }
    EXPECT_EQ(s.events.filter("Success 4"), QStringList());
}

TEST_F(ScriptedSession, RefusalInsteadOfDataConnectionFailsAtOnce)
{
    server.On("RETR", "150 Opening.\r\n");
    QElapsedTimer t;
    t.start();
    QTimer::singleShot(50, [this] { server.SendControl("425 Can't open data connection.\r\n"); });
    try {
        s.client.Download("a.bin", dir.filePath("a.bin"));
        FAIL() << "no failure";
    } catch (const FTPException& e) {
        EXPECT_TRUE(e.Message().startsWith("425")) << e.Message().toStdString();
    }
    EXPECT_LT(t.elapsed(), 2000);
}

// ---------------------------------------------------------------- downloads and uploads

TEST_F(ScriptedSession, DownloadWritesFileAndCountsBytes)
{
    const QByteArray data(40000, 'x');
    server.On("RETR", {.text = "150 Opening BINARY mode data connection for a.bin (40000 bytes).\r\n", .data = S::Send,
                       .payload = data, .completion = "226 Transfer complete.\r\n"});
    QList<qint64> totals;
    s.client.OnPacketRecvd = [&](QObject* sender) {
        EXPECT_EQ(sender, s.client.DataSocket());
        totals << s.client.BytesTotal;
        EXPECT_GT(s.client.BytesRecvd(), 0);
    };
    const QString target = dir.filePath("a.bin");
    WriteFile(target, "old content");
    s.events.clear();
    s.log.clear();
    s.client.Download("a.bin", target);
    EXPECT_EQ(s.log.filter(QRegularExpression("^(?!PORT)")),
              QStringList({"200 PORT command successful.", "RETR a.bin",
                           "150 Opening BINARY mode data connection for a.bin (40000 bytes).", "Received 40000 Bytes",
                           "226 Transfer complete."}));
    EXPECT_EQ(ReadFile(target), data);
    ASSERT_FALSE(totals.isEmpty());
    EXPECT_EQ(totals.first(), 40000) << "announced before the data came";
    EXPECT_EQ(s.client.BytesTotal, data.size());
    EXPECT_EQ(s.events, QStringList({"Start", "Stop", "Success 8"}));
    EXPECT_TRUE(s.log.contains(QString("Received %1 Bytes").arg(data.size())));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"a.bin"}));
}

TEST_F(ScriptedSession, DownloadByteCountFromContinuationLine)
{
    const QByteArray data(77, 'c');
    server.On("RETR", {.text = "150-Opening\r\n150 (77 bytes)\r\n", .data = S::Send, .payload = data,
                       .completion = "226 ok\r\n"});
    qint64 total = -1;
    s.client.OnPacketRecvd = [&](QObject*) { total = s.client.BytesTotal; };
    s.client.Download("a.bin", dir.filePath("a.bin"));
    EXPECT_EQ(total, 77);
    EXPECT_EQ(ReadFile(dir.filePath("a.bin")), data);
}

TEST_F(ScriptedSession, TextTypeDownloadsGetLocalLineEnds)
{
    // A text file travels with CR LF; only a type the user set turns it into LF.
    const QByteArray wire = "one\r\ntwo\r\n\r\nlone\rcr\r";
    struct Case {
        QStringList commands;
        QByteArray expected;
    } const cases[] = {
        {{}, wire},
        {{"TYPE A"}, "one\ntwo\n\nlone\rcr\r"},
        {{"type a n"}, "one\ntwo\n\nlone\rcr\r"},
        {{"TYPE A", "TYPE I"}, wire},
    };
    server.On("TYPE", "200 Type set.\r\n");
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = wire, .completion = "226 ok\r\n"});
    for (const Case& c : cases) {
        s.client.Disconnect();
        s.client.Connect(); // every session starts in binary type
        for (const QString& command : c.commands)
            s.client.DoCommand(command);
        const QString target = dir.filePath("t.txt");
        s.client.Download("t.txt", target);
        EXPECT_EQ(ReadFile(target), c.expected) << c.commands.join(", ").toStdString();
    }
}

TEST_F(ScriptedSession, DownloadWithEmptyLocalNameUsesRemotePath)
{
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = "data", .completion = "226 ok\r\n"});
    QDir(dir.path()).mkpath("a");
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    s.client.Download("a/b.txt", "");
    QDir::setCurrent(cwd);
    EXPECT_EQ(ReadFile(dir.filePath("a/b.txt")), "data");
}

struct FailedDownloadCase {
    const char* name;
    S::Reply retr;
    int timeOutMs;
    bool abortAfter200ms;
    const char* error;
};

TEST_F(ScriptedSession, FailedDownloadKeepsTheOldFile)
{
    const QByteArray part(20000, 'n');
    const FailedDownloadCase cases[] = {
        {"refused", {.text = "550 No such file.\r\n"}, 3000, false, "550"},
        {"stalled", {.text = "150 ok\r\n", .data = S::Stall, .payload = part}, 300, false, "download stalled"},
        {"aborted", {.text = "150 ok\r\n", .data = S::Stall, .payload = part}, 0, true, "Socket send aborted"},
        {"426 during transfer", {.text = "150 ok\r\n", .data = S::Send, .payload = part,
                                 .completion = "426 Connection closed; transfer aborted.\r\n", .completionFirst = true,
                                 .closeDelayMs = 200}, 3000, false, "426"},
        {"451 after transfer", {.text = "150 ok\r\n", .data = S::Send, .payload = part,
                                .completion = "451 Local error.\r\n"}, 3000, false, "451"},
    };
    const QString target = dir.filePath("keep.bin");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(target, "precious");
        server.On("RETR", c.retr);
        s.client.InactivityTimeOut = c.timeOutMs;
        if (c.abortAfter200ms)
            QTimer::singleShot(200, [this] { s.client.Abort(); });
        try {
            s.client.Download("keep.bin", target);
            ADD_FAILURE() << "no failure";
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().contains(c.error)) << e.Message().toStdString();
        }
        EXPECT_EQ(ReadFile(target), "precious");
        // What arrived waits beside it for a resume.
        const QString partial = TFTPClient::PartialFileOf(target);
        EXPECT_EQ(QFileInfo::exists(partial), !c.retr.payload.isEmpty());
        if (!c.retr.payload.isEmpty()) {
            EXPECT_EQ(ReadFile(partial), c.retr.payload);
        }
        // The connection goes on working.
        server.On("NOOP", "200 ok\r\n");
        s.client.InactivityTimeOut = 3000;
        s.client.DoCommand("NOOP");
        EXPECT_EQ(s.client.LastReply, "200 ok\r\n");
    }
    EXPECT_TRUE(s.log.contains("426 Connection closed; transfer aborted.")); // the drain logged it
}

TEST_F(ScriptedSession, DownloadIntoMissingFolderSendsNothing)
{
    const qsizetype before = server.Received().size();
    try {
        s.client.Download("a.bin", dir.filePath("no-such-folder/a.bin"));
        FAIL() << "no failure";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains("no-such-folder/a.bin")) << e.Message().toStdString();
    }
    EXPECT_EQ(server.Received().size(), before);
}

TEST_F(ScriptedSession, EndlessLinesAreCutOff)
{
    server.On("NOOP", QByteArray(2 * 1024 * 1024, 'x'));
    EXPECT_THROW(s.client.DoCommand("NOOP"), ESockError);

    s.client.Connect();
    server.On("LIST", {.text = "150 Here.\r\n", .data = S::Stall, .payload = QByteArray(2 * 1024 * 1024, 'y')});
    EXPECT_THROW(s.client.List(), ESockError);
}

TEST_F(ScriptedSession, UploadSendsFileAndNamesIt)
{
    const QString local = dir.filePath("up load.bin");
    QByteArray data;
    for (int i = 0; i < 50000; ++i)
        data += char(i * 7);
    WriteFile(local, data);
    server.On("STOR", {.text = "150 Ok to send data.\r\n", .data = S::Receive, .completion = "226 Transfer complete.\r\n"});
    qint64 total = -1;
    s.client.OnPacketSent = [&](QObject*) { total = s.client.BytesTotal; };
    s.client.TemporaryUploadNames = false; // the plain upload's own lines
    s.events.clear();
    s.client.Upload(local, "");
    EXPECT_EQ(server.Uploaded(), data);
    EXPECT_EQ(total, data.size());
    EXPECT_EQ(server.Received().last(), "STOR up load.bin");
    EXPECT_TRUE(s.log.contains("STOR " + local));
    EXPECT_EQ(s.events, QStringList({"Start", "Stop", "Success 9"}));

    s.client.Upload(local, "other.bin");
    EXPECT_EQ(server.Received().last(), "STOR other.bin");
}

TEST_F(ScriptedSession, AbortFromProgressHandlerEndsUpload)
{
    const QString local = dir.filePath("big.bin");
    WriteFile(local, QByteArray(8 * 1024 * 1024, 'u'));
    server.On("STOR", {.text = "150 ok\r\n", .data = S::Receive, .completion = "426 Aborted.\r\n"});
    int packets = 0;
    s.client.OnPacketSent = [&](QObject*) {
        if (++packets == 1)
            s.client.Abort();
    };
    s.events.clear();
    EXPECT_THROW(s.client.Upload(local, ""), EAbortError);
    EXPECT_EQ(s.events, QStringList({"Start"}));
    EXPECT_EQ(s.client.DataSocket(), nullptr);
    EXPECT_LT(server.Uploaded().size(), 8 * 1024 * 1024);
    EXPECT_EQ(s.log.last(), "426 Aborted."); // collected at once, not taken for the next reply
    s.client.DoCommand("NOOP");
    EXPECT_EQ(s.client.LastReply, "200 NOOP ok.\r\n");
}

TEST_F(ScriptedSession, UploadFailures)
{
    const qsizetype before = server.Received().size();
    EXPECT_THROW(s.client.Upload(dir.filePath("missing.bin"), ""), Exception);
    EXPECT_EQ(server.Received().size(), before); // nothing sent for a file that cannot be opened

    WriteFile(dir.filePath("a.bin"), "abc");
    server.On("STOR", {.text = "150 ok\r\n", .data = S::Receive, .completion = "452 Disk full.\r\n"});
    s.events.clear();
    EXPECT_THROW(s.client.Upload(dir.filePath("a.bin"), ""), FTPException);
    EXPECT_EQ(s.events, QStringList({"Start", "Stop"}));
}

} // namespace
