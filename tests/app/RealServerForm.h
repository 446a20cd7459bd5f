#pragma once
// A main window with one host on a real FTP server (one test per server kind)
// and a local folder of its own: the fixture of the transfer tests.
#include "RealFtpServer.h"
#include "RemoteFormFixture.h"
#include "TestFiles.h"

#include "ftp/FTPClient.h"

#include <QDir>
#include <QTest>
#include <memory>

class RealServerForm : public RemoteFormTest, public ::testing::WithParamInterface<RealFtpServer::Kind> {
protected:
    void SetUp() override
    {
        server = std::make_unique<RealFtpServer>(GetParam());
        if (!server->IsRunning())
            GTEST_SKIP() << server->ErrorText().toStdString();
        ASSERT_TRUE(local.isValid());
        const QString remoteDir = server->RemoteDir() == "/" ? QString() : server->RemoteDir().mid(1);
        THostEntry host = Host(server->User(), server->Password(), remoteDir);
        host.LocalDir = local.path();
        // pyftpdlib (1.5.7) in active mode, with two sessions: a PORT on one closes the
        // stale connector of its previous data connection by its old descriptor
        // number, which by then may be the other session's control connection, and
        // that session's commands are never read again. The window's browsing and
        // transfer connections are two such sessions, so pyftpdlib runs passive here.
        host.Passive = GetParam() == RealFtpServer::Pyftpdlib;
        MakeForm({host}, server->Port());
        form->show();
    }
    // Connects and waits until the local browser shows the host's folder.
    void Open()
    {
        Connect();
        ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemTreeView->Directory() == local.path(); }, 5000))
            << form->SystemTreeView->Directory().toStdString();
    }
    QString Remote(const QString& name) const { return server->LocalPath(name); }
    QString Local(const QString& name) const { return QDir(local.path()).filePath(name); }

    // Refills the local list and selects the entries with these names.
    void SelectLocal(const QStringList& names)
    {
        form->SystemListView->Repopulate();
        for (int row = 0; row < form->SystemListView->ItemCount(); ++row)
            form->SystemListView->SetItemSelected(row, names.contains(form->SystemListView->ItemCaption(row)));
        ASSERT_EQ(form->SystemListView->SelCount(), names.size());
    }

    std::unique_ptr<RealFtpServer> server;
    QTemporaryDir local;
};

// One instance of a test per real server.
#define INSTANTIATE_FOR_EVERY_SERVER(Suite)                                                                      \
    INSTANTIATE_TEST_SUITE_P(Servers, Suite,                                                                     \
                             ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd,                 \
                                               RealFtpServer::Proftpd),                                          \
                             [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); })
