// The main window against a scripted server: connecting, the log, the command line,
// disconnecting.
#include "RemoteFormFixture.h"
#include "ScriptedFtpServer.h"

#include "app/HostDlg.h"
#include "app/RemoteListModel.h"
#include "app/StatusBar.h"
#include "ftp/FTPClient.h"
#include "net/Exception.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QTabWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray kListing =
    "total 3\r\n"
    "drwxr-xr-x   2 user     group         512 Jan  1 12:00 docs\r\n"
    "-rw-r--r--   1 user     group        1234 Jan  1  1999 readme.txt\r\n"
    "-rw-r--r--   1 user               7 Feb  2 10:00 notes\r\n";

ScriptedFtpServer::Reply ListReply(const QByteArray& payload = kListing)
{
    return {.text = "150 Opening ASCII mode data connection.\r\n", .data = ScriptedFtpServer::Send,
            .payload = payload, .completion = "226 Transfer complete.\r\n"};
}

class RemoteConnection : public RemoteFormTest {
protected:
    // The log with the data port, which varies, masked.
    QString Log() const
    {
        QStringList lines = LogLines();
        for (QString& line : lines)
            if (line.startsWith("PORT 127,0,0,1,"))
                line = "PORT 127,0,0,1,*";
        return lines.join('\n');
    }

    // Runs the event loop until the window has noticed that the server left.
    void WaitForTheDrop()
    {
        QElapsedTimer clock;
        clock.start();
        while (form->FTPClient1->Connected && clock.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_FALSE(form->FTPClient1->Connected);
    }

    ScriptedFtpServer server;
};

// From the greeting to the window's line after the login, as every connect logs it.
// The hosts ask for TLS, as every host does by default; the scripted server has none.
const std::string kLoginExchange =
    "220 Scripted server ready.\n"
    "AUTH TLS\n"
    "502 Command not implemented.\n"
    "The server does not offer TLS (502 Command not implemented.): the connection is not encrypted.\n"
    "USER joe\n"
    "331 Password required.\n"
    "PASS \n"
    "230 Logged in.\n"
    "FEAT\n"
    "502 Command not implemented.\n"
    "TYPE I\n"
    "200 Type set.\n"
    "Connected - remote TCP/TP: 127.0.0.1\n";

const std::string kLoginLog = "Connecting...\n" + kLoginExchange +
                              "PWD\n"
                              "257 \"/\" is the current directory.\n"
                              "Current folder is: /\n";

const char* const kListingLog =
    "SYST\n"
    "215 UNIX Type: L8\n"
    "DoCommand success\n"
    "PORT 127,0,0,1,*\n"
    "200 PORT command successful.\n"
    "LIST\n"
    "150 Opening ASCII mode data connection.\n"
    "Received 193 Bytes\n"
    "226 Transfer complete.\n"
    "List success";

TEST_F(RemoteConnection, ConnectWithRemoteFolderLogsTheWholeConversation)
{
    server.On("CWD", "250 Directory changed.\r\n");
    server.On("PWD", "257 \"/\" is the current directory.\r\n");
    server.Queue("PWD", {.text = "257 \"/pub\" is the current directory.\r\n"});
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw", "pub")}, server.Port());
    Connect();

    EXPECT_EQ(form->windowTitle(), "Ferrit - 127.0.0.1");
    EXPECT_EQ(Log().toStdString(), kLoginLog +
                                       "CWD ./pub\n"
                                       "CWD ./pub\n"
                                       "250 Directory changed.\n"
                                       "ChangeDir success\n"
                                       "PWD\n"
                                       "257 \"/pub\" is the current directory.\n"
                                       "Current file folder: /pub\n" +
                                       kListingLog);
    EXPECT_EQ(server.ReceivedWithoutPort(), (QByteArrayList{"AUTH TLS", "USER joe", "PASS pw", "FEAT", "TYPE I", "PWD", "CWD ./pub", "PWD", "SYST", "LIST"}));
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "docs", "notes", "readme.txt"}));
    const TRemoteEntry readme = form->RemoteFiles()->Entry(3);
    EXPECT_EQ(readme.Size, "1234");
    EXPECT_EQ(readme.Modified, "1 Jan 1999");
    EXPECT_EQ(readme.Rights, "-rw-r--r--");
    EXPECT_EQ(form->RemoteFiles()->Entry(2).TypeName, "file");
    EXPECT_EQ(form->pgctlFTP->currentWidget(), form->tbshtListing);
    EXPECT_FALSE(form->Busy);
    EXPECT_TRUE(form->FTPClient1->Connected);
    EXPECT_EQ(sounds->Played, std::vector<TSound>{TSound::Information});
    EXPECT_TRUE(dialogs->Shown.empty());
}

// A folder from the root (an ftp:// address with "%2F") is not made relative.
TEST_F(RemoteConnection, AFolderFromTheRootStaysAbsolute)
{
    server.On("CWD", "250 Directory changed.\r\n");
    server.On("PWD", "257 \"/srv/ftp\" is the current directory.\r\n");
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw", "/etc")}, server.Port());
    Connect();
    EXPECT_TRUE(server.ReceivedWithoutPort().contains("CWD /etc")) << server.ReceivedWithoutPort().join('|').toStdString();
    EXPECT_TRUE(form->FTPClient1->Connected);
}

TEST_F(RemoteConnection, ConnectWithoutRemoteFolderListsAtOnceAndKeepsTheOldList)
{
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    EXPECT_EQ(Log().toStdString(), kLoginLog + kListingLog);
    EXPECT_EQ(RemoteCaptions(), (QStringList{"docs", "notes", "readme.txt"})) << "no \"..\" entry without a Refresh";

    // Again, breaking the connection: the new listing is added to what the list held.
    dialogs->Confirms = {true};
    Connect();
    EXPECT_EQ(dialogs->Texts("confirm"), QStringList{"Break current connection?"});
    EXPECT_EQ(RemoteCaptions(), (QStringList{"docs", "docs", "notes", "notes", "readme.txt", "readme.txt"}));
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_TRUE(server.Received().contains("QUIT"));
}

TEST_F(RemoteConnection, DecliningToBreakTheConnectionChangesNothing)
{
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    const QByteArrayList before = server.Received();
    const QString logBefore = Log();
    dialogs->Confirms = {false};
    Connect();
    EXPECT_EQ(sounds->Played.back(), TSound::Question);
    EXPECT_EQ(server.Received(), before);
    EXPECT_EQ(Log(), logBefore);
    EXPECT_TRUE(form->FTPClient1->Connected);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(RemoteConnection, RefusedLoginShowsTheServersReplyAndDisconnects)
{
    server.On("PASS", "530 Login incorrect.\r\n");
    MakeForm({Host("joe", "wrong")}, server.Port());
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    ASSERT_EQ(dialogs->Shown.size(), 1u);
    EXPECT_EQ(dialogs->Shown[0].Title, "Ferrit");
    EXPECT_TRUE(dialogs->Shown[0].Text.startsWith("530 Login incorrect.")) << dialogs->Shown[0].Text.toStdString();
    EXPECT_TRUE(Log().contains("\n530 Login incorrect.\n")) << Log().toStdString();
    EXPECT_TRUE(Log().contains("Disconnected"));
    EXPECT_FALSE(Log().contains("Connected - remote"));
    EXPECT_EQ(form->windowTitle(), "Ferrit - 127.0.0.1") << "a failed connect keeps the caption";
}

TEST_F(RemoteConnection, UnknownHostShowsItsBox)
{
    MakeForm({Host("joe", "pw", {}, "no-such-host.invalid")}, server.Port());
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    const QStringList errors = Errors();
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_EQ(errors.first(), "Connection failed: Cannot connect to host.");
    EXPECT_EQ(dialogs->Shown.front().Title, "Error");
    EXPECT_EQ(sounds->Played.front(), TSound::Error);
    EXPECT_EQ(LogLines().first(), "Connecting...");
    EXPECT_EQ(server.Connections(), 0);
}

TEST_F(RemoteConnection, RefusedConnectionIsReported)
{
    quint16 closedPort = 0;
    {
        ScriptedFtpServer gone;
        closedPort = gone.Port();
    }
    MakeForm({Host("joe", "pw")}, closedPort);
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    ASSERT_FALSE(Errors().isEmpty());
    EXPECT_TRUE(Errors().join('\n').contains("refused", Qt::CaseInsensitive)) << Errors().join('\n').toStdString();
}

TEST_F(RemoteConnection, CommandLineLogsRefusalsAndRunsHelp)
{
    server.On("LIST", ListReply());
    server.On("NOOP", "200 NOOP ok.\r\n");
    server.On("HELP", "214-The following commands are recognized.\r\n USER PASS LIST\r\n214 Help OK.\r\n");
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    form->mmoStatus->clear();

    form->edtFTPCommand->setText("NOOP");
    form->IdleHandler();
    QTest::keyClick(form->edtFTPCommand, Qt::Key_Return);
    form->edtFTPCommand->setText("SITE CHMOD 644 x");
    Click(form->sbtnExecute);
    EXPECT_EQ(form->edtFTPCommand->text(), "SITE CHMOD 644 x") << "the edit keeps its text";
    Click(form->sbtn);
    EXPECT_EQ(form->edtFTPCommand->text(), "Help");
    form->edtFTPCommand->clear();
    QTest::keyClick(form->edtFTPCommand, Qt::Key_Return);

    EXPECT_EQ(Log().toStdString(),
              "NOOP\n200 NOOP ok.\nDoCommand success\n"
              "SITE CHMOD 644 x\n502 Command not implemented.\n502 Command not implemented.\n"
              "Help\n214-The following commands are recognized.\n USER PASS LIST\n214 Help OK.\nDoCommand success\n"
              "502 Command not implemented.\n502 Command not implemented.")
        << "the empty command's own status line is blank and so not logged";
    EXPECT_EQ(server.ReceivedWithoutPort().mid(8), (QByteArrayList{"NOOP", "SITE CHMOD 644 x", "Help", ""}));
    EXPECT_TRUE(dialogs->Shown.empty()) << "refusals on the command line go to the log, not to a box";
}

TEST_F(RemoteConnection, TypedFolderChangeReloadsTheListing)
{
    server.On("LIST", ListReply());
    server.On("CWD", "250 OK.\r\n");
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    form->edtFTPCommand->setText("CWD docs");
    Click(form->sbtnExecute);
    EXPECT_TRUE(Log().contains("ChangeDir success\nPWD\n257 \"/\" is the current directory.\nCurrent file folder: /\n"));
    EXPECT_EQ(RemoteCaptions().first(), "..") << "the refresh starts the list with the up entry";
    EXPECT_EQ(server.ReceivedWithoutPort().count("LIST"), 2);
}

TEST_F(RemoteConnection, DisconnectAsksFirst)
{
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    dialogs->Confirms = {false, true};
    Click(form->sbtnDisconnect);
    EXPECT_TRUE(form->FTPClient1->Connected);
    Click(form->sbtnDisconnect);
    EXPECT_EQ(dialogs->Texts("confirm"),
              (QStringList{"Are you sure that you want to disconnect?", "Are you sure that you want to disconnect?"}));
    EXPECT_FALSE(form->FTPClient1->Connected);
    EXPECT_EQ(server.Received().last(), "QUIT");
    EXPECT_EQ(form->windowTitle(), "Ferrit");
    EXPECT_EQ(RemoteCaptions().size(), 3) << "the remote list is left as it was";
    form->IdleHandler();
    EXPECT_FALSE(form->sbtnRefresh->isEnabled());
    EXPECT_FALSE(form->pnlFTPCommandLine->isEnabled());
}

TEST_F(RemoteConnection, AGreetingThatRefusesShowsOneBoxWithTheServersText)
{
    server.SetGreeting("421 Too many users, try again later.\r\n", true);
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    ASSERT_EQ(dialogs->Shown.size(), 1u) << Errors().join('\n').toStdString();
    EXPECT_EQ(dialogs->Shown[0].Text.trimmed(), "421 Too many users, try again later.");
    EXPECT_EQ(LogLines().filter("421 Too many users").size(), 1);
    EXPECT_TRUE(server.Received().isEmpty()) << "nothing sent to a server that turned us away";
    EXPECT_EQ(form->windowTitle(), "Ferrit - 127.0.0.1") << "a failed connect keeps the caption";
}

TEST_F(RemoteConnection, AServerClosingTheIdleConnectionIsShownAtOnce)
{
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    form->IdleHandler();
    ASSERT_TRUE(form->sbtnDisconnect->isEnabled());
    const qsizetype before = server.Received().size();
    server.SendControl("421 Idle time-out: closing control connection.\r\n");
    server.CloseControl();
    WaitForTheDrop();
    EXPECT_EQ(LogLines().last(), "The server closed the connection: 421 Idle time-out: closing control connection.");
    EXPECT_EQ(form->windowTitle(), "Ferrit");
    EXPECT_FALSE(form->sbtnDisconnect->isEnabled()) << "there is nothing to disconnect";
    // The operations stay at hand: the next one reconnects.
    for (QWidget* control : std::initializer_list<QWidget*>{form->sbtnRefresh, form->sbtnMkDir, form->sbtnASCII,
                                                            form->sbtnBinary, form->pnlFTPCommandLine})
        EXPECT_TRUE(control->isEnabled()) << qPrintable(control->objectName());
    EXPECT_TRUE(dialogs->Shown.empty());
    EXPECT_EQ(server.Received().size(), before) << "no QUIT to a server that left";
    EXPECT_EQ(server.Connections(), 1) << "nothing reconnects before the user asks for something";
}

TEST_F(RemoteConnection, AfterADropRefreshReconnectsReturnsToTheFolderAndLists)
{
    server.On("PWD", "257 \"/\" is the current directory.\r\n");
    server.Queue("PWD", {.text = "257 \"/pub\" is the current directory.\r\n"});
    server.On("CWD", "250 Directory changed.\r\n");
    server.On("LIST", ListReply());
    server.On("NOOP", {.text = "200 NOOP ok.\r\n", .closeControl = true});
    MakeForm({Host("joe", "pw", "pub")}, server.Port());
    Connect();
    form->edtFTPCommand->setText("NOOP");
    Click(form->sbtnExecute);
    WaitForTheDrop();
    const qsizetype logBefore = LogLines().size();
    const qsizetype sentBefore = server.ReceivedWithoutPort().size();

    Click(form->sbtnRefresh);
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_TRUE(form->FTPClient1->Connected);
    EXPECT_EQ(LogLines().mid(logBefore).join('\n').replace(QRegularExpression("PORT 127,0,0,1,[0-9,]+"), "PORT 127,0,0,1,*")
                  .toStdString(),
              "Reconnecting...\n" + kLoginExchange +
              "CWD /pub\n"
              "CWD /pub\n"
              "250 Directory changed.\n"
              "ChangeDir success\n"
              "PWD\n"
              "257 \"/pub\" is the current directory.\n"
              "Current file folder: /pub\n"
              + std::string(kListingLog));
    EXPECT_EQ(server.ReceivedWithoutPort().mid(sentBefore),
              (QByteArrayList{"AUTH TLS", "USER joe", "PASS pw", "FEAT", "TYPE I", "CWD /pub", "PWD", "SYST", "LIST"}))
        << "logged in, back in the folder, and one listing";
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "docs", "notes", "readme.txt"}));
    EXPECT_EQ(form->windowTitle(), "Ferrit - 127.0.0.1");
    EXPECT_FALSE(form->Busy);
    form->IdleHandler();
    EXPECT_TRUE(form->sbtnDisconnect->isEnabled());
    EXPECT_TRUE(dialogs->Shown.empty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(sounds->Played, std::vector<TSound>{TSound::Information}) << "the reconnect itself is quiet";
}

TEST_F(RemoteConnection, EveryOperationAfterADropReconnectsFirst)
{
    const struct {
        const char* name;
        std::function<void()> before; // while still connected
        std::function<void()> act;
        QByteArrayList sent;          // after the new login's "FEAT" and "TYPE I"
    } cases[] = {
        {"Refresh", [] {}, [this] { Click(form->sbtnRefresh); }, {"CWD /pub", "PWD", "SYST", "LIST"}},
        {"a command",
         [] {},
         [this] {
             form->edtFTPCommand->setText("NOOP");
             form->edtFTPCommand->setFocus(); // keys go where the focus is: the window opens on the host list
             QTest::keyClick(form->edtFTPCommand, Qt::Key_Return);
         },
         {"CWD /pub", "PWD", "NOOP"}},
        {"a command in ASCII type",
         [this] { Click(form->sbtnASCII); },
         [this] {
             form->edtFTPCommand->setText("NOOP");
             Click(form->sbtnExecute);
         },
         {"TYPE A", "CWD /pub", "PWD", "NOOP"}},
        {"MkDir",
         [this] { dialogs->Inputs = {QString("new")}; },
         [this] { Click(form->sbtnMkDir); },
         {"CWD /pub", "PWD", "MKD new", "SYST", "LIST"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer host;
        host.On("PWD", "257 \"/\" is the current directory.\r\n");
        host.Queue("PWD", {.text = "257 \"/pub\" is the current directory.\r\n"});
        host.On("CWD", "250 Directory changed.\r\n");
        host.On("LIST", ListReply());
        host.On("MKD", "257 \"/pub/new\" created.\r\n");
        THostEntry entry = Host("joe", "pw", "pub");
        entry.LocalDir = dir.path();
        MakeForm({entry}, host.Port());
        form->show();
        Connect();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemTreeView->Directory() == dir.path(); }, 5000))
            << form->SystemTreeView->Directory().toStdString() << " " << dir.path().toStdString();
        c.before();
        host.CloseControl();
        WaitForTheDrop();
        const qsizetype sentBefore = host.ReceivedWithoutPort().size();

        c.act();
        EXPECT_EQ(host.Connections(), 2);
        EXPECT_EQ(host.ReceivedWithoutPort().mid(sentBefore), QByteArrayList({"AUTH TLS", "USER joe", "PASS pw", "FEAT", "TYPE I"}) + c.sent);
        EXPECT_TRUE(form->FTPClient1->Connected);
        EXPECT_FALSE(form->Busy);
        EXPECT_TRUE(LogLines().contains("Reconnecting..."));
        EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
        form.reset(); // before the next window takes over the error handler
    }
}

TEST_F(RemoteConnection, AReconnectThatFailsSaysWhyAndStaysDisconnected)
{
    const struct {
        const char* name;
        bool serverGone; // else it refuses the login
        bool fromCommandLine;
        QString why;
    } cases[] = {
        {"server gone, Refresh", true, false, "Connection refused"},
        {"server gone, command line", true, true, "Connection refused"},
        {"login refused, Refresh", false, false, "530 Login incorrect."},
        {"login refused, command line", false, true, "530 Login incorrect."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto host = std::make_unique<ScriptedFtpServer>();
        host->On("LIST", ListReply());
        MakeForm({Host("joe", "pw")}, host->Port());
        Connect();
        host->CloseControl();
        WaitForTheDrop();
        if (c.serverGone)
            host.reset();
        else
            host->On("PASS", "530 Login incorrect.\r\n");

        if (c.fromCommandLine) {
            form->edtFTPCommand->setText("NOOP");
            Click(form->sbtnExecute);
        } else {
            Click(form->sbtnRefresh);
        }
        ASSERT_EQ(Errors().size(), 1) << "one box: " << Errors().join('\n').toStdString();
        EXPECT_TRUE(Errors()[0].startsWith("Could not reconnect to 127.0.0.1: ")) << Errors()[0].toStdString();
        EXPECT_TRUE(Errors()[0].endsWith(c.why)) << Errors()[0].toStdString();
        EXPECT_EQ(dialogs->Shown.at(0).Title, "Ferrit");
        EXPECT_TRUE(LogLines().contains("Reconnecting..."));
        EXPECT_FALSE(form->FTPClient1->Connected);
        EXPECT_EQ(form->windowTitle(), "Ferrit");
        EXPECT_FALSE(form->Busy);
        form->IdleHandler();
        EXPECT_FALSE(form->btnStop->isEnabled());
        EXPECT_FALSE(form->sbtnDisconnect->isEnabled());
        EXPECT_TRUE(form->sbtnRefresh->isEnabled()) << "the user may try again";
        if (host) {
            EXPECT_EQ(host->Connections(), 2) << "one attempt";
        }
        form.reset(); // before the next window takes over the error handler
    }
}

TEST_F(RemoteConnection, AfterTheUsersOwnDisconnectNothingReconnects)
{
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    server.CloseControl();
    WaitForTheDrop();
    Click(form->sbtnRefresh);
    ASSERT_EQ(server.Connections(), 2);
    dialogs->Confirms = {true};
    Click(form->sbtnDisconnect);
    EXPECT_EQ(server.Received().last(), "QUIT");
    const qsizetype logBefore = LogLines().size();

    form->IdleHandler();
    for (QWidget* control : std::initializer_list<QWidget*>{form->sbtnDisconnect, form->sbtnRefresh, form->sbtnMkDir,
                                                            form->sbtnASCII, form->pnlFTPCommandLine})
        EXPECT_FALSE(control->isEnabled()) << qPrintable(control->objectName());
    // An operation started anyway (a drop on the remote list is no button) is refused.
    EXPECT_THROW(form->sbtnRefreshClick(), Exception);
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(LogLines().size(), logBefore);
    EXPECT_EQ(form->windowTitle(), "Ferrit");
}

TEST_F(RemoteConnection, TheTypeButtonsShowTheTypeTheServerIsIn)
{
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    struct Step {
        const char* name;
        QByteArray typeReply;
        std::function<void()> act;
        bool asciiDown;
    } const steps[] = {
        {"after login", {}, [] {}, false},
        {"ASCII clicked", "200 Type set to A.\r\n", [this] { Click(form->sbtnASCII); }, true},
        {"Binary refused", "504 Type not allowed.\r\n", [this] { Click(form->sbtnBinary); }, true},
        {"typed TYPE I", "200 Type set to I.\r\n",
         [this] {
             form->edtFTPCommand->setText("TYPE I");
             Click(form->sbtnExecute);
         },
         false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (!step.typeReply.isEmpty())
            server.On("TYPE", step.typeReply);
        step.act();
        EXPECT_EQ(form->sbtnASCII->isChecked(), step.asciiDown);
        EXPECT_EQ(form->sbtnBinary->isChecked(), !step.asciiDown);
        EXPECT_EQ(form->FTPClient1->TextType(), step.asciiDown);
    }
}

TEST_F(RemoteConnection, APasswordIsNeverShownInABoxOrTheLog)
{
    MakeForm({Host("joe", "pw")}, server.Port());
    // A password pasted with a line break in it, which the hosts file could not hold.
    SelectSite(0);
    QTimer::singleShot(0, [&] { // runs inside the dialog's own loop
        form->HostDlg->edtPass->setText("hunter2\rsecret");
        form->HostDlg->btnOk->click();
    });
    form->sbtnEdit->click();
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    ASSERT_FALSE(Errors().isEmpty());
    for (const QString& text : Errors() + LogLines()) {
        EXPECT_FALSE(text.contains("hunter2")) << text.toStdString();
        EXPECT_FALSE(text.contains("secret")) << text.toStdString();
    }
}

TEST_F(RemoteConnection, ClosingTheWindowWhileConnectedSaysGoodbyePromptly)
{
    server.On("LIST", ListReply());
    MakeForm({Host("joe", "pw")}, server.Port());
    Connect();
    ASSERT_TRUE(form->FTPClient1->Connected);
    QElapsedTimer clock;
    clock.start();
    form->show();
    EXPECT_TRUE(form->close());
    form.reset();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(server.Received().last(), "QUIT");
}

} // namespace
