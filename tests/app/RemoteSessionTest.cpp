// The session's contract, through the window that wires it: one user command at a
// time, and a command that fails leaves the session idle for the next one.
#include "RemoteFormFixture.h"
#include "ScriptedFtpServer.h"

#include "app/RemoteSession.h"
#include "ftp/FTPClient.h"

#include <QLineEdit>
#include <QTest>
#include <QToolButton>

namespace {

const QByteArray kListing = "-rw-r--r--   1 user     group          10 Jan  1 12:00 b.bin\r\n";

ScriptedFtpServer::Reply ListReply()
{
    return {.text = "150 Here it comes.\r\n", .data = ScriptedFtpServer::Send, .payload = kListing,
            .completion = "226 Done.\r\n"};
}

class RemoteSession : public RemoteFormTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(local.isValid());
        THostEntry host = Host("joe", "pw");
        host.LocalDir = local.path(); // where the download would go
        MakeForm({host}, server.Port());
        form->show();
        server.On("LIST", ListReply());
        Connect();
        ASSERT_TRUE(form->FTPClient1->Connected);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemTreeView->Directory() == local.path(); }, 5000));
        sent = server.ReceivedWithoutPort().size();
    }
    QByteArrayList SentSince() const { return server.ReceivedWithoutPort().mid(sent); }

    ScriptedFtpServer server;
    QTemporaryDir local;
    qsizetype sent = 0;
};

TEST_F(RemoteSession, ACommandStartedInsideAnotherIsRefusedAndTheFirstGoesOn)
{
    server.On("DELE", "250 Deleted.\r\n");
    bool nestedRan = false;
    // The confirmation box runs inside the delete command, as a click during its wait would.
    dialogs->OnConfirm = [&] {
        dialogs->OnConfirm = nullptr;
        form->sbtnRefresh->click();
        form->RemoteSession().Run([&] { nestedRan = true; });
        EXPECT_TRUE(form->RemoteSession().Running());
    };
    SelectRemote({"b.bin"});
    Click(form->sbtnDeleteFile);
    EXPECT_FALSE(nestedRan);
    EXPECT_EQ(SentSince(), (QByteArrayList{"DELE b.bin", "LIST"})) << "the refused refresh sent nothing";
    EXPECT_FALSE(form->RemoteSession().Running());
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();

    form->RemoteSession().Run([&] { nestedRan = true; });
    EXPECT_TRUE(nestedRan) << "once the first has returned, the next command runs";
}

TEST_F(RemoteSession, ARefusedCommandLeavesTheSessionIdle)
{
    struct Case {
        const char* name;
        QByteArray command; // the one the server refuses
        QToolButton* TMainForm::*button;
        QStringList selected;
    };
    const Case cases[] = {
        {"refresh", "LIST", &TMainForm::sbtnRefresh, {}},
        {"delete", "DELE", &TMainForm::sbtnDeleteFile, {"b.bin"}},
    };
    for (const Case& c : cases) {
        if (!c.selected.isEmpty())
            SelectRemote(c.selected);
        server.On(c.command, "550 Not here.\r\n");
        const qsizetype errors = Errors().size();
        Click((*form).*c.button);
        ASSERT_EQ(Errors().size(), errors + 1) << c.name;
        EXPECT_TRUE(Errors().last().contains("550 Not here.")) << c.name << ": " << Errors().join(" | ").toStdString();
        EXPECT_FALSE(form->Busy) << c.name;
        EXPECT_FALSE(form->RemoteSession().Running()) << c.name;
        form->IdleHandler();
        EXPECT_FALSE(form->btnStop->isEnabled()) << c.name << ": nothing left to stop";
        EXPECT_TRUE(form->edtFTPCommand->isEnabled()) << c.name << ": the command line takes the next command";
        server.On("LIST", ListReply());
        Click(form->sbtnRefresh);
        EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "b.bin"})) << c.name << ": the next command runs";
    }
}

} // namespace
