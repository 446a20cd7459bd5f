// Browsing and managing remote files through the main window on real servers.
#include "RemoteFormFixture.h"
#include "RealFtpServer.h"

#include "app/RemoteListModel.h"
#include "ftp/FTPClient.h"

#include <QDir>
#include <QFile>
#include <QTreeView>

namespace {

class RemoteRealServer : public RemoteFormTest, public ::testing::WithParamInterface<RealFtpServer::Kind> {
protected:
    void SetUp() override
    {
        server = std::make_unique<RealFtpServer>(GetParam());
        if (!server->IsRunning())
            GTEST_SKIP() << server->ErrorText().toStdString();
        QDir(server->LocalDir()).mkpath("sub/inner");
        QFile(server->LocalPath("sub/a.txt")).open(QIODevice::WriteOnly);
        QFile(server->LocalPath("top.txt")).open(QIODevice::WriteOnly);
        // vsftpd works as its own user: the folder made here must be writable for it.
        QFile::setPermissions(server->LocalPath("sub"), QFileDevice::Permissions(0x7777));
    }
    // The remote folder of a host entry: relative to where the login lands.
    QString Folder(const QString& name) const
    {
        return server->RemoteDir() == "/" ? name : server->RemoteDir().mid(1) + '/' + name;
    }
    void DoubleClick(const QString& caption)
    {
        SelectRemote({caption});
        emit form->lvRemoteFiles->doubleClicked(form->lvRemoteFiles->selectionModel()->selectedRows().first());
    }

    std::unique_ptr<RealFtpServer> server;
};

TEST_P(RemoteRealServer, ConnectIntoAFolderBrowseAndManageFiles)
{
    MakeForm({Host(server->User(), server->Password(), Folder("sub"))}, server->Port());
    Connect();
    ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString();
    const QStringList log = LogLines();
    EXPECT_EQ(log.first(), "Connecting...");
    EXPECT_TRUE(log.contains("Connected - remote TCP/TP: 127.0.0.1"));
    EXPECT_TRUE(log.contains("CWD ./" + Folder("sub")));
    EXPECT_TRUE(log.contains("ChangeDir success"));
    EXPECT_TRUE(log.contains("Current file folder: /" + Folder("sub")));
    EXPECT_EQ(log.last(), "List success");
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "a.txt", "inner"}));

    DoubleClick("..");
    EXPECT_TRUE(RemoteCaptions().contains("top.txt")) << RemoteCaptions().join('|').toStdString();
    DoubleClick("sub");
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "a.txt", "inner"}));

    dialogs->Inputs = {QString("made")};
    Click(form->sbtnMkDir);
    EXPECT_TRUE(QFileInfo(server->LocalPath("sub/made")).isDir());
    EXPECT_TRUE(RemoteCaptions().contains("made"));

    SelectRemote({"a.txt"});
    dialogs->Inputs = {QString("b.txt")};
    Click(form->sbtnRename);
    EXPECT_TRUE(QFile::exists(server->LocalPath("sub/b.txt")));
    EXPECT_TRUE(RemoteCaptions().contains("b.txt"));

    SelectRemote({"b.txt"});
    Click(form->sbtnDeleteFile);
    EXPECT_FALSE(QFile::exists(server->LocalPath("sub/b.txt")));
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "inner", "made"}));

    form->edtFTPCommand->setText("RMD made");
    Click(form->sbtnExecute);
    EXPECT_FALSE(QFileInfo::exists(server->LocalPath("sub/made")));
    EXPECT_TRUE(LogLines().contains("RemoveDir success"));
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

TEST_P(RemoteRealServer, RefusedLogin)
{
    MakeForm({Host("nobody", "wrong")}, server->Port());
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    ASSERT_FALSE(Errors().isEmpty());
    EXPECT_TRUE(Errors().first().startsWith("530")) << Errors().first().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, RemoteRealServer,
                         ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd, RealFtpServer::Proftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

} // namespace
