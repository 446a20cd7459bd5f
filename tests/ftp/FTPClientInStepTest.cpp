// Conversations in which a server, or someone else on the network, misbehaves:
// the client must neither lose data nor fall out of step with the server.
#include "FtpSession.h"
#include "QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

using S = ScriptedFtpServer;

// Bytes of every value, CR and LF among them, so a changed line end shows.
QByteArray Binary(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + i / 7) & 0xFF);
    return bytes;
}

// ---------------------------------------------------------------- data-connection theft

// Another local address that reaches the client's data port before the server.
class Thief {
public:
    explicit Thief(S& server, QByteArray payload = {}) : m_payload(std::move(payload))
    {
        server.OnPort = [this](const QHostAddress& address, quint16 port) { Strike(address, port); };
    }

    bool Connected() const { return m_connected; }
    // Whether the client closed the thief's connection.
    bool WasClosed()
    {
        m_socket->waitForReadyRead(2000);
        m_received += m_socket->readAll();
        return m_socket->state() != QAbstractSocket::ConnectedState;
    }
    const QByteArray& Received() const { return m_received; }

private:
    void Strike(const QHostAddress& address, quint16 port)
    {
        m_socket = std::make_unique<QTcpSocket>();
        if (!m_socket->bind(QHostAddress(QStringLiteral("127.0.0.2"))))
            return;
        m_socket->connectToHost(address, port);
        // The kernel completes the connection while the client is not yet accepting.
        m_connected = m_socket->waitForConnected(2000);
        if (m_connected && !m_payload.isEmpty()) {
            m_socket->write(m_payload);
            m_socket->waitForBytesWritten(2000);
        }
    }

    QByteArray m_payload;
    std::unique_ptr<QTcpSocket> m_socket;
    bool m_connected = false;
    QByteArray m_received;
};

TEST_F(ScriptedSession, ADataConnectionFromAnotherAddressIsTurnedAwayInBothDirections)
{
    const QByteArray data = Binary(100000);
    const QString target = dir.filePath("a.bin");
    {
        SCOPED_TRACE("download");
        Thief thief(server, "forged content");
        server.On("RETR", {.text = "150 ok (100000 bytes)\r\n", .data = S::Send, .payload = data,
                           .completion = "226 Done.\r\n"});
        s.client.Download("a.bin", target);
        ASSERT_TRUE(thief.Connected()) << "no 127.0.0.2 here";
        EXPECT_EQ(ReadFile(target), data);
        EXPECT_TRUE(thief.WasClosed());
    }
    {
        SCOPED_TRACE("upload");
        Thief thief(server);
        server.On("STOR", {.text = "150 ok\r\n", .data = S::Receive, .completion = "226 Done.\r\n"});
        s.client.TemporaryUploadNames = false; // one data connection
        s.client.Upload(target, "b.bin");
        ASSERT_TRUE(thief.Connected());
        EXPECT_EQ(server.Uploaded(), data);
        EXPECT_TRUE(thief.WasClosed());
        EXPECT_TRUE(thief.Received().isEmpty());
    }
    EXPECT_EQ(s.log.filter("Refused a data connection from 127.0.0.2").size(), 2) << s.log.join('\n').toStdString();
}

TEST_F(ScriptedSession, TheDataListenerBindsTheControlConnectionsAddressOnly)
{
    QHostAddress named;
    server.OnPort = [&](const QHostAddress& address, quint16 port) {
        named = address;
        // The port is open on the control connection's address only.
        QTcpSocket other;
        other.connectToHost(QHostAddress(QStringLiteral("127.0.0.3")), port);
        EXPECT_FALSE(other.waitForConnected(500));
    };
    server.On("LIST", {.text = "150 ok\r\n", .data = S::Send, .payload = "x\r\n", .completion = "226 ok\r\n"});
    s.client.List();
    EXPECT_EQ(named, QHostAddress(QStringLiteral("127.0.0.1")));
}

TEST_F(ScriptedSession, OnlyTheThiefConnectingEndsInTheTimeOutNotInItsData)
{
    const QString target = dir.filePath("keep.bin");
    WriteFile(target, "precious");
    Thief thief(server, "forged content");
    server.On("RETR", "150 ok\r\n"); // the server never connects
    s.client.InactivityTimeOut = 500;
    QElapsedTimer t;
    t.start();
    try {
        s.client.Download("keep.bin", target);
        FAIL() << "no time-out";
    } catch (const ETimeOutError& e) {
        EXPECT_TRUE(e.Message().contains("did not open the data connection")) << e.Message().toStdString();
    }
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(ReadFile(target), "precious");
}

// ---------------------------------------------------------------- sizes

TEST_F(ScriptedSession, ADownloadShorterThanAnnouncedFailsAndKeepsTheOldFile)
{
    const QString target = dir.filePath("keep.bin");
    WriteFile(target, "precious");
    server.On("RETR", {.text = "150 Opening BINARY mode data connection (204000 bytes).\r\n", .data = S::Send,
                       .payload = Binary(150000), .completion = "226 Transfer complete.\r\n"});
    try {
        s.client.Download("keep.bin", target);
        FAIL() << "reported as success";
    } catch (const EIncompleteTransfer& e) {
        EXPECT_TRUE(e.Message().contains("150000 of 204000 bytes")) << e.Message().toStdString();
    }
    EXPECT_EQ(ReadFile(target), "precious");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({".keep.bin.part", "keep.bin"}));
    EXPECT_EQ(QFileInfo(TFTPClient::PartialFileOf(target)).size(), 150000) << "kept for a resume";
    EXPECT_FALSE(s.events.contains("Success 8"));

    // In text type the line ends change the count, so it is no measure there.
    s.client.DoCommand("TYPE A");
    s.client.Download("keep.bin", target);
    EXPECT_EQ(ReadFile(target).size(), 150000 - Binary(150000).count("\r\n"));
}

TEST_F(ScriptedSession, ARemoteNameOfUpTo255BytesDownloads)
{
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = "data", .completion = "226 ok\r\n"});
    const QString names[] = {QString(241, u'a'), QString(255, u'b'), QString(127, u'\u00e9') + u'x'};
    for (const QString& name : names) {
        SCOPED_TRACE(name.size());
        const QString target = dir.filePath(name);
        s.client.Download(name, target);
        EXPECT_EQ(ReadFile(target), "data");
    }
}

// ---------------------------------------------------------------- replies in step

struct LateOutcomeCase {
    const char* name;
    const char* command; // RETR, LIST or STOR
    QByteArray completion;
};

// A server that gives up on a transfer closes the data connection and then
// sends its final reply. That reply is the transfer's outcome, read once: the
// next command goes out at once and gets its own answer.
TEST_F(ScriptedSession, AFinalReplyAfterTheDataCloseIsTheOutcomeAndTheNextCommandGoesOutAtOnce)
{
    const LateOutcomeCase cases[] = {
        {"426 after a download", "RETR", "426 Connection closed; transfer aborted.\r\n"},
        {"451 after a download", "RETR", "451 Local error in processing.\r\n"},
        {"426 after a listing", "LIST", "426 Connection closed; transfer aborted.\r\n"},
        {"451 after a listing", "LIST", "451 Local error in processing.\r\n"},
        {"426 after an upload", "STOR", "426 Connection closed; transfer aborted.\r\n"},
        {"451 after an upload", "STOR", "451 Local error in processing.\r\n"},
    };
    const QString local = dir.filePath("up.bin");
    WriteFile(local, Binary(8 * 1024 * 1024));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool upload = QByteArray(c.command) == "STOR";
        S::Reply reply{.text = "150 ok\r\n", .data = upload ? S::Receive : S::Send, .payload = Binary(30000),
                       .completion = c.completion, .closeDelayMs = 50, .receiveLimit = upload ? 20000 : -1};
        server.On(c.command, reply);
        try {
            if (upload)
                s.client.Upload(local, "up.bin");
            else if (QByteArray(c.command) == "LIST")
                s.client.List();
            else
                s.client.Download("a.bin", dir.filePath("a.bin"));
            ADD_FAILURE() << "reported as success";
        } catch (const FTPException& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(c.completion));
        } catch (const Exception& e) {
            ADD_FAILURE() << "not the server's reply: " << e.Message().toStdString();
        }
        EXPECT_EQ(s.log.filter(QString::fromLatin1(c.completion.trimmed())).size(), 1) << "read and logged once";
        s.log.clear();
        QElapsedTimer t;
        t.start();
        s.client.DoCommand("NOOP");
        EXPECT_LT(t.elapsed(), 1000);
        EXPECT_EQ(s.client.LastReply, "200 NOOP ok.\r\n");
        EXPECT_EQ(server.Received().last(), "NOOP");
        ASSERT_TRUE(s.client.Connected);
    }
}

TEST_F(ScriptedSession, A421WhileACommandWaitsEndsItWithTheServersText)
{
    server.On("NOOP", S::Reply{.text = "421 Timeout.\r\n", .closeControl = true});
    try {
        s.client.DoCommand("NOOP");
        FAIL() << "no failure";
    } catch (const EServerAbort& e) {
        EXPECT_EQ(e.Message(), "421 Timeout.\r\n");
    }
    EXPECT_EQ(s.log.filter("421 Timeout.").size(), 1);
}

// ---------------------------------------------------------------- the server leaves

struct IdleCloseCase {
    const char* name;
    QByteArray farewell;
    const char* line;
};

TEST_F(ScriptedSession, AServerClosingAnIdleConnectionIsNoticedAtOnce)
{
    const IdleCloseCase cases[] = {
        {"idle time-out", "421 No transfer timeout (300 seconds): closing control connection\r\n",
         "The server closed the connection: 421 No transfer timeout (300 seconds): closing control connection"},
        {"restart", "", "The server closed the connection."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!s.client.Connected)
            s.client.Connect();
        int closed = 0;
        s.client.OnServerDisconnect = [&](QObject*) { ++closed; };
        s.log.clear();
        server.SendControl(c.farewell);
        QElapsedTimer t;
        t.start();
        // Nothing asked: the close arrives while the client is idle.
        QTimer::singleShot(0, [&] { server.CloseControl(); });
        while (s.client.Connected && t.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_FALSE(s.client.Connected);
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(s.log, QStringList{c.line});
    }
}

TEST_F(ScriptedSession, AServerLeavingAfterAnAbortedCommandIsNoticedToo)
{
    server.On("NOOP", QByteArray()); // never answered
    QTimer::singleShot(100, [this] { s.client.Abort(); });
    EXPECT_THROW(s.client.DoCommand("NOOP"), EAbortError);
    int closed = 0;
    s.client.OnServerDisconnect = [&](QObject*) { ++closed; };
    server.SendControl("200 late\r\n");
    server.CloseControl();
    QElapsedTimer t;
    t.start();
    while (s.client.Connected && t.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(s.client.Connected);
    EXPECT_EQ(closed, 1);
}

TEST_F(ScriptedSession, QuitIsNotReportedAsTheServerLeaving)
{
    int closed = 0;
    s.client.OnServerDisconnect = [&](QObject*) { ++closed; };
    server.On("QUIT", S::Reply{.text = "221 Bye.\r\n", .closeControl = true});
    s.client.Disconnect();
    QCoreApplication::processEvents();
    EXPECT_EQ(closed, 0);
    EXPECT_FALSE(s.log.join('\n').contains("closed the connection"));
}

// ---------------------------------------------------------------- passive mode

class PassiveSession : public ScriptedSession {
protected:
    void SetUp() override
    {
        s.client.Passive = true;
        ScriptedSession::SetUp();
    }
};

TEST_F(PassiveSession, TransfersAskForThePortWithEpsvAndConnectToIt)
{
    const QByteArray data = Binary(100000);
    server.On("LIST", {.text = "150 ok\r\n", .data = S::Send, .payload = "-rw-r--r-- 1 o g 5 Jan 1 12:00 a\r\n",
                       .completion = "226 ok\r\n"});
    server.On("RETR", {.text = "150 ok (100000 bytes)\r\n", .data = S::Send, .payload = data, .completion = "226 ok\r\n"});
    server.On("STOR", {.text = "150 ok\r\n", .data = S::Receive, .completion = "226 ok\r\n"});
    s.client.List();
    EXPECT_EQ(s.items, QStringList{"-rw-r--r-- 1 o g 5 Jan 1 12:00 a"});
    const QString local = dir.filePath("a.bin");
    s.client.Download("a.bin", local);
    EXPECT_EQ(ReadFile(local), data);
    s.client.TemporaryUploadNames = false; // one data connection
    s.client.Upload(local, "b.bin");
    EXPECT_EQ(server.Uploaded(), data);
    EXPECT_EQ(server.Received().count("EPSV"), 3);
    EXPECT_EQ(server.ReceivedWithoutPort(), server.Received()) << "no PORT";
    EXPECT_TRUE(s.log.contains("EPSV"));
    EXPECT_TRUE(s.log.filter(QRegularExpression("^229 Entering Extended Passive Mode \\(\\|\\|\\|\\d+\\|\\)$")).size() == 3)
        << s.log.join('\n').toStdString();
}

TEST_F(PassiveSession, AServerWithoutEpsvIsAskedWithPasvFromThenOn)
{
    server.On("EPSV", "500 'EPSV': command not understood.\r\n");
    server.On("LIST", {.text = "150 ok\r\n", .data = S::Send, .payload = "x\r\n", .completion = "226 ok\r\n"});
    s.client.List();
    s.client.List();
    const QByteArrayList sent = server.Received().mid(4);
    EXPECT_EQ(sent, (QByteArrayList{"EPSV", "PASV", "LIST", "PASV", "LIST"})) << sent.join(' ').toStdString();
}

TEST_F(PassiveSession, APasvReplyNamingAnotherAddressStillConnectsToTheServer)
{
    // The port is opened on 127.0.0.1; the reply names another machine.
    server.On("EPSV", "502 Not implemented.\r\n");
    server.On("PASV", "227 Entering Passive Mode (10,9,8,7,{p1},{p2}).\r\n");
    server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = "payload", .completion = "226 ok\r\n"});
    s.client.Download("a", dir.filePath("a"));
    EXPECT_EQ(ReadFile(dir.filePath("a")), "payload");
    EXPECT_EQ(s.log.filter("The server named 10.9.8.7 for the data connection; connecting to 127.0.0.1").size(), 1)
        << s.log.join('\n').toStdString();
}

TEST_F(PassiveSession, AServerRefusingBothPassiveCommandsGetsAClearErrorAtOnce)
{
    const QString target = dir.filePath("keep");
    WriteFile(target, "precious");
    server.On("EPSV", "502 Not implemented.\r\n");
    server.On("PASV", "502 Not implemented.\r\n");
    QElapsedTimer t;
    t.start();
    try {
        s.client.Download("keep", target);
        FAIL() << "no failure";
    } catch (const FTPException& e) {
        EXPECT_EQ(e.Message(), "The server refuses passive mode (502 Not implemented.). Choose active mode for this "
                               "host in its settings.");
    }
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(ReadFile(target), "precious");
    EXPECT_FALSE(server.Received().contains("RETR keep")) << "no transfer without a data connection";
    s.client.DoCommand("NOOP");
    EXPECT_EQ(s.client.LastReply, "200 NOOP ok.\r\n");
}

TEST_F(PassiveSession, APortThatRefusesTheConnectionFailsWithTheReason)
{
    quint16 closed = 0;
    {
        QTcpServer gone;
        gone.listen(QHostAddress::LocalHost, 0);
        closed = gone.serverPort();
    }
    server.On("EPSV", QByteArray("229 Entering Extended Passive Mode (|||") + QByteArray::number(closed) + "|)\r\n");
    try {
        s.client.List();
        FAIL() << "no failure";
    } catch (const ESockError& e) {
        EXPECT_TRUE(e.Message().startsWith(QString("The data connection to 127.0.0.1 port %1 failed: ").arg(closed)))
            << e.Message().toStdString();
    }
    s.client.DoCommand("NOOP");
    EXPECT_EQ(s.client.LastReply, "200 NOOP ok.\r\n");
}

TEST_F(PassiveSession, AShortDownloadFailsInPassiveModeToo)
{
    const QString target = dir.filePath("keep.bin");
    WriteFile(target, "precious");
    server.On("RETR", {.text = "150 ok (5000 bytes)\r\n", .data = S::Send, .payload = Binary(4000),
                       .completion = "226 ok\r\n"});
    EXPECT_THROW(s.client.Download("keep.bin", target), EIncompleteTransfer);
    EXPECT_EQ(ReadFile(target), "precious");
}

// ---------------------------------------------------------------- features and listings

const QByteArray kFeatures = "211-Features:\r\n MDTM\r\n MLST type*;size*;modify*;\r\n UTF8\r\n211 End\r\n";

TEST(FTPClientFeatures, FeatDecidesTheListingCommandAndUtf8)
{
    struct Case {
        const char* label;
        QByteArray feat;
        QByteArray opts;
        QByteArrayList sent; // after the login
        const char* listCommand;
    } const cases[] = {
        {"FEAT refused: as a plain server", "500 Unknown command.\r\n", {}, {"FEAT", "TYPE I"}, "LIST"},
        {"MLST and UTF8", kFeatures, "200 UTF8 set to on\r\n", {"FEAT", "OPTS UTF8 ON", "TYPE I"}, "MLSD"},
        {"OPTS UTF8 refused: the session goes on", kFeatures, "501 Always on.\r\n", {"FEAT", "OPTS UTF8 ON", "TYPE I"},
         "MLSD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        S server;
        server.On("FEAT", c.feat);
        server.On("OPTS", c.opts);
        server.On("LIST", {.text = "150 ok\r\n", .data = S::Send, .payload = "x\r\n", .completion = "226 ok\r\n"});
        server.On("MLSD", {.text = "150 ok\r\n", .data = S::Send, .payload = "type=file;size=1; x\r\n",
                           .completion = "226 ok\r\n"});
        FtpSession s(server.Port());
        s.client.Connect();
        EXPECT_EQ(server.Received().mid(2), c.sent);
        EXPECT_TRUE(s.log.contains("FEAT")) << "logged like any command";
        s.client.List();
        EXPECT_EQ(server.ReceivedWithoutPort().last(), c.listCommand);
        EXPECT_EQ(s.items.size(), 1);
    }
}

TEST(FTPClientFeatures, AMachineListingThatClosesEarlyFailsAndTheSessionGoesOn)
{
    S server;
    server.On("FEAT", kFeatures);
    server.On("MLSD", {.text = "150 ok\r\n", .data = S::Send, .payload = "type=file;size=1; a\r\ntype=file;si",
                       .completion = "426 Connection closed; transfer aborted.\r\n"});
    FtpSession s(server.Port());
    s.client.ParseList = true;
    s.client.Connect();
    EXPECT_THROW(s.client.List(), FTPException);
    EXPECT_EQ(s.items.first(), "type=file;size=1; a");
    s.client.DoCommand("NOOP");
    EXPECT_EQ(s.client.LastReply, "200 NOOP ok.\r\n");
}

TEST(FTPClientFeatures, AListingLineOf100KBArrivesWhole)
{
    S server;
    const QByteArray name(100 * 1024, 'n');
    server.On("LIST", {.text = "150 ok\r\n", .data = S::Send,
                       .payload = "-rw-r--r-- 1 o g 5 Jan 1 12:00 " + name + "\r\nlast\r\n", .completion = "226 ok\r\n"});
    FtpSession s(server.Port());
    s.client.Connect();
    s.client.List();
    ASSERT_EQ(s.items.size(), 2);
    EXPECT_TRUE(s.items[0].endsWith(QString::fromLatin1(name)));
    EXPECT_EQ(s.items[1], "last");
}

} // namespace
