// A host added through the host dialog as "127.0.0.1:PORT" or "[::1]:PORT",
// in passive mode (the default) or active, on every real server: the window
// connects to that address and port in that mode, lists, and moves files
// byte for byte. vsftpd's passive rows run it passive-only.
#include "AppTestSupport.h"
#include "DataConnectionLog.h"
#include "RealServerForm.h"

#include "app/HostDlg.h"
#include "ftp/FTPClient.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QSpinBox>
#include <QTcpServer>
#include <QTimer>
#include <QToolButton>
#include <functional>

namespace {

struct HostCase {
    RealFtpServer::Kind kind;
    RealFtpServer::Family family;
    bool passive;
};

const HostCase Cases[] = {
    {RealFtpServer::Pyftpdlib, RealFtpServer::IPv4, true}, {RealFtpServer::Pyftpdlib, RealFtpServer::IPv6, true},
    {RealFtpServer::Pyftpdlib, RealFtpServer::IPv4, false}, {RealFtpServer::Vsftpd, RealFtpServer::IPv4, true},
    {RealFtpServer::Vsftpd, RealFtpServer::IPv6, true},     {RealFtpServer::Vsftpd, RealFtpServer::IPv4, false},
    {RealFtpServer::Proftpd, RealFtpServer::IPv4, true},    {RealFtpServer::Proftpd, RealFtpServer::IPv6, true},
    {RealFtpServer::Proftpd, RealFtpServer::IPv4, false},
};

std::string CaseName(const HostCase& c)
{
    return RealFtpServer::Name(c.kind).toStdString() + (c.passive ? "_passive" : "_active")
           + (c.family == RealFtpServer::IPv6 ? "_ipv6" : "_ipv4");
}

void PrintTo(const HostCase& c, std::ostream* out) { *out << CaseName(c); }

QByteArray RandomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// A port nothing listens on: where the window would go if it ignored the host's port.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class RemoteModes : public RemoteFormTest, public ::testing::WithParamInterface<HostCase> {
protected:
    void SetUp() override
    {
        const HostCase c = GetParam();
        server = std::make_unique<RealFtpServer>(
            c.kind, c.family, c.kind == RealFtpServer::Vsftpd && c.passive ? RealFtpServer::PassiveOnly
                                                                          : RealFtpServer::BothModes);
        if (!server->IsRunning())
            GTEST_SKIP() << server->ErrorText().toStdString();
        ASSERT_TRUE(local.isValid());
        MakeForm({}, ClosedPort());
        form->show();
    }

    // The host field's text, as a user would type it.
    QString TypedHost() const
    {
        const QString host = GetParam().family == RealFtpServer::IPv6 ? "[" + server->Host() + "]" : server->Host();
        return host + ':' + QString::number(server->Port());
    }

    // Adds the server through the host dialog, as a user would.
    void AddHost()
    {
        WhenModal([this](QWidget*) {
            THostDlg* dialog = form->HostDlg;
            dialog->edtHost->setText(TypedHost());
            dialog->edtUser->setText(server->User());
            dialog->edtPass->setText(server->Password());
            dialog->edtLocal->setText(local.path());
            dialog->edtRemote->setText(server->RemoteDir().mid(1));
            if (!GetParam().passive)
                dialog->cmbTransferMode->setCurrentIndex(dialog->cmbTransferMode->findText("Active"));
            dialog->btnOk->click();
        });
        Click(form->sbtnAdd);
    }

    void SelectLocal(const QString& name)
    {
        form->SystemListView->Repopulate();
        for (int row = 0; row < form->SystemListView->ItemCount(); ++row)
            form->SystemListView->SetItemSelected(row, form->SystemListView->ItemCaption(row) == name);
        ASSERT_EQ(form->SystemListView->SelCount(), 1);
    }

    std::unique_ptr<RealFtpServer> server;
    QTemporaryDir local;
};

TEST_P(RemoteModes, AHostTypedWithItsPortConnectsListsAndTransfers)
{
    const QByteArray down = RandomBytes(100000, 1), up = RandomBytes(16384 * 3 + 1, 2);
    WriteFile(server->LocalPath("down.bin"), down);
    WriteFile(QDir(local.path()).filePath("up.bin"), up);

    AddHost();
    ASSERT_EQ(form->lvSites->topLevelItemCount(), 1);
    EXPECT_EQ(form->HostDlg->edtHost->text(), server->Host()) << "the port goes to its own field";
    EXPECT_EQ(form->HostDlg->edtPort->value(), server->Port());

    Connect();
    ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString() << '\n'
                                             << LogLines().join('\n').toStdString();
    EXPECT_EQ(form->FTPClient1->Host, server->Host());
    EXPECT_EQ(form->FTPClient1->Port, server->Port());
    EXPECT_EQ(form->FTPClient1->Passive, GetParam().passive);
    EXPECT_TRUE(LogLines().contains("Connected - remote TCP/TP: " + server->Host()))
        << LogLines().join('\n').toStdString();
    EXPECT_TRUE(RemoteCaptions().contains("down.bin")) << RemoteCaptions().join('|').toStdString();

    SelectRemote({"down.bin"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(ReadFile(QDir(local.path()).filePath("down.bin")) == down) << "download not byte-identical";

    SelectLocal("up.bin");
    Click(form->sbtnUpload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(ReadFile(server->LocalPath("up.bin")) == up) << "upload not byte-identical";
    EXPECT_TRUE(QTest::qWaitFor([&] { return RemoteCaptions().contains("up.bin") && !form->Busy; }, 5000))
        << "the listing after the upload";

    EXPECT_TRUE(DataConnectionsIn(GetParam().passive, GetParam().family == RealFtpServer::IPv6, LogLines()));
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, RemoteModes, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return CaseName(info.param); });

} // namespace
