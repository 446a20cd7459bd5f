// The connection's security as the main window shows it: the host's setting reaching
// the client, the title and the status bar, and the questions about certificates,
// on a scripted server without TLS and on real servers with it.
#include "RealFtpServer.h"
#include "RemoteFormFixture.h"
#include "ScriptedFtpServer.h"
#include "TestCertificates.h"

#include "app/CertificateTrust.h"
#include "app/StatusBar.h"
#include "app/TransferRunner.h"
#include "ftp/FTPClient.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

class RemoteSecurity : public RemoteFormTest {
protected:
    THostEntry HostWith(TSecurity security) const
    {
        THostEntry host = Host("joe", "pw");
        host.Security = security;
        return host;
    }
    QLabel* SecurityText() const { return form->StatusBar1->findChild<QLabel*>("StatusBar1SecurityText"); }
    QWidget* SecurityPanel() const { return form->StatusBar1->findChild<QWidget*>("StatusBar1Security"); }
    bool PasswordSent() const { return !LogLines().filter(QRegularExpression("^PASS")).isEmpty(); }
    // Disconnects as the user does, answering Yes.
    void Disconnect()
    {
        form->IdleHandler();
        Click(form->sbtnDisconnect);
    }
    void ExpectNothingShown()
    {
        EXPECT_EQ(form->StatusBar1->Security(), TConnectionSecurity::Unknown);
        EXPECT_FALSE(SecurityPanel()->isVisibleTo(form.get()));
    }

    ScriptedFtpServer server;
};

TEST_F(RemoteSecurity, AServerWithoutTlsIsCalledNotEncryptedUnlessPlainFtpWasChosen)
{
    const struct {
        TSecurity security;
        bool asksForTls;
        TConnectionSecurity shown;
    } cases[] = {
        {TSecurity::TlsIfAvailable, true, TConnectionSecurity::NotEncrypted},
        {TSecurity::PlainFtp, false, TConnectionSecurity::Unknown},
    };
    server.On("LIST", {.text = "150 Here it comes.\r\n", .data = ScriptedFtpServer::Send, .payload = "",
                       .completion = "226 Done.\r\n"});
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.security));
        const qsizetype sentBefore = server.Received().size();
        MakeForm({HostWith(c.security)}, server.Port());
        ExpectNothingShown();
        Connect();
        ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString();
        EXPECT_EQ(server.Received().mid(sentBefore).startsWith("AUTH TLS"), c.asksForTls);
        EXPECT_EQ(form->windowTitle(), "Ferrit - 127.0.0.1") << "the title names no TLS that is not there";
        EXPECT_EQ(form->StatusBar1->Security(), c.shown);
        EXPECT_EQ(SecurityPanel()->isVisibleTo(form.get()), c.shown != TConnectionSecurity::Unknown);
        if (c.shown == TConnectionSecurity::NotEncrypted) {
            EXPECT_EQ(SecurityText()->text(), "Not encrypted");
            EXPECT_TRUE(SecurityPanel()->toolTip().contains("plain text")) << SecurityPanel()->toolTip().toStdString();
            EXPECT_FALSE(LogLines().filter("the connection is not encrypted").isEmpty());
        }
        Disconnect();
        EXPECT_EQ(form->windowTitle(), "Ferrit");
        ExpectNothingShown();
        EXPECT_TRUE(Errors().isEmpty());
    }
}

TEST_F(RemoteSecurity, RequireTlsOnAServerWithoutItEndsBeforeTheLoginWithTheReason)
{
    MakeForm({HostWith(TSecurity::RequireTls)}, server.Port());
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    EXPECT_EQ(server.Received(), QByteArrayList{"AUTH TLS"}) << "no user name, no password";
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors()[0].contains("requires TLS")) << Errors()[0].toStdString();
    ExpectNothingShown();
}

// A host that has shown TLS before, by a trusted certificate or a remembered TLS
// session, and now refuses "AUTH TLS" (as a man in the middle would make it):
// under "TLS if available" the session stops before the user name with a clear
// warning. Only the user's choice of "Plain FTP" uses it in clear again.
TEST_F(RemoteSecurity, AHostThatShowedTlsBeforeIsNeverUsedInClearWithoutTheUsersChoice)
{
    enum Memory { Pinned, Remembered };
    server.On("AUTH", "534 TLS not available.\r\n");
    for (const Memory memory : {Pinned, Remembered}) {
        SCOPED_TRACE(memory == Pinned ? "pinned" : "remembered");
        form.reset();
        QFile::remove(dir.filePath("trusted-certificates"));
        QFile::remove(dir.filePath("tls-hosts"));
        MakeForm({HostWith(TSecurity::TlsIfAvailable), HostWith(TSecurity::PlainFtp)}, server.Port());
        TCertificateTrust trust(form->CertificateTrust().FileName());
        if (memory == Pinned) {
            TCertificateInfo certificate;
            certificate.Host = "127.0.0.1";
            certificate.Port = server.Port();
            certificate.Fingerprint = QString("AB:").repeated(31) + "CD";
            trust.Trust(certificate);
        } else {
            trust.RememberTls("127.0.0.1", server.Port());
        }
        const qsizetype before = server.Received().size();
        Connect();
        server.WaitForLines(int(before) + 2, 300); // anything after the refusal would show
        EXPECT_EQ(server.Received().mid(before), QByteArrayList{"AUTH TLS"}) << "no user name, no password";
        EXPECT_FALSE(form->FTPClient1->Connected);
        EXPECT_FALSE(PasswordSent());
        ASSERT_EQ(Errors().size(), 1);
        EXPECT_TRUE(Errors()[0].contains("127.0.0.1 offered TLS before")) << Errors()[0].toStdString();
        EXPECT_TRUE(Errors()[0].contains("\"Plain FTP\"")) << Errors()[0].toStdString();
        ExpectNothingShown();

        Connect(1);
        EXPECT_TRUE(form->FTPClient1->Connected) << "the user chose plain FTP for this host";
        EXPECT_FALSE(form->FTPClient1->Encrypted());
    }
}

// Real servers with TLS, their certificates made for the test.
class RemoteTls : public RemoteSecurity {
protected:
    // False, with the reason in `why`, when the server does not run here.
    bool Start(RealFtpServer::Kind kind, RealFtpServer::TlsMode mode, TestCertificates::Kind certificate,
               QString& why)
    {
        if (!certs.IsValid()) {
            why = certs.ErrorText();
            return false;
        }
        tlsServer = std::make_unique<RealFtpServer>(kind, Tls(mode, certificate));
        why = tlsServer->ErrorText();
        if (!tlsServer->IsRunning())
            return false;
        const QString remoteDir = tlsServer->RemoteDir() == "/" ? QString() : tlsServer->RemoteDir().mid(1);
        THostEntry host = Host(tlsServer->User(), tlsServer->Password(), remoteDir);
        host.Security = mode == RealFtpServer::ImplicitTls ? TSecurity::ImplicitTls : TSecurity::TlsIfAvailable;
        MakeForm({host}, tlsServer->Port());
        return true;
    }
    RealFtpServer::TlsOptions Tls(RealFtpServer::TlsMode mode, TestCertificates::Kind certificate) const
    {
        return {mode, certs.CertFile(certificate), certs.KeyFile(certificate)};
    }
    std::optional<TPinnedCertificate> Pinned() const
    {
        return form->CertificateTrust().Pinned(tlsServer->Host(), tlsServer->Port());
    }
    void ExpectEncrypted()
    {
        ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString();
        EXPECT_EQ(form->windowTitle(), "Ferrit - " + tlsServer->Host() + " (TLS)");
        EXPECT_EQ(form->StatusBar1->Security(), TConnectionSecurity::Encrypted);
        EXPECT_EQ(SecurityText()->text(), "Encrypted");
        EXPECT_TRUE(SecurityPanel()->isVisibleTo(form.get()));
        const QString description = form->FTPClient1->TlsDescription();
        EXPECT_TRUE(description.startsWith("TLSv1.")) << description.toStdString();
        EXPECT_EQ(SecurityPanel()->toolTip(), description) << "the protocol and cipher";
    }

    TestCertificates certs;
    std::unique_ptr<RealFtpServer> tlsServer;
};

TEST_F(RemoteTls, ACertificateThatVerifiesGivesAnEncryptedSessionWithoutAQuestion)
{
    const struct {
        RealFtpServer::Kind kind;
        RealFtpServer::TlsMode mode;
    } cases[] = {
        {RealFtpServer::Pyftpdlib, RealFtpServer::ExplicitTls},
        {RealFtpServer::Vsftpd, RealFtpServer::ImplicitTls},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(RealFtpServer::Name(c.kind).toStdString());
        QString why;
        if (!Start(c.kind, c.mode, TestCertificates::Good, why)) {
            std::cerr << "not run: " << why.toStdString() << '\n';
            continue;
        }
        form->FTPClient1->TrustedCAFile = certs.CAFile();
        Connect();
        ExpectEncrypted();
        EXPECT_TRUE(dialogs->Certificates.Asked.empty());
        EXPECT_FALSE(Pinned()) << "only the user pins";
        EXPECT_FALSE(LogLines().filter("TLS connection established: " + form->FTPClient1->TlsDescription()).isEmpty());
        EXPECT_TRUE(form->pgctlFTP->currentWidget() == form->tbshtListing) << "the listing came over TLS too";
        Disconnect();
        EXPECT_EQ(form->windowTitle(), "Ferrit");
        ExpectNothingShown();
        EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    }
}

// Connect, Disconnect, Connect on a TLS host, with the event loop running
// between the clicks as it does for the user: each connect works the first
// time, with no error box about the closed connection.
TEST_F(RemoteTls, ReconnectingToATlsHostWorksTheFirstTime)
{
    QString why;
    if (!Start(RealFtpServer::Vsftpd, RealFtpServer::ExplicitTls, TestCertificates::Good, why))
        GTEST_SKIP() << why.toStdString();
    form->FTPClient1->TrustedCAFile = certs.CAFile();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Connect();
        ExpectEncrypted();
        QTest::qWait(100);
        Disconnect();
        QTest::qWait(100);
        EXPECT_FALSE(form->FTPClient1->Connected);
    }
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

// A host written by hand as "ftps://host:port" is implicit TLS, whatever its security key says.
TEST_F(RemoteTls, AnFtpsHostNameIsImplicitTls)
{
    QString why;
    if (!Start(RealFtpServer::Vsftpd, RealFtpServer::ImplicitTls, TestCertificates::Good, why))
        GTEST_SKIP() << why.toStdString();
    THostEntry host = Host(tlsServer->User(), tlsServer->Password(), tlsServer->RemoteDir().mid(1));
    host.Hostname = QStringLiteral("ftps://127.0.0.1:%1").arg(tlsServer->Port());
    ASSERT_EQ(host.Security, TSecurity::TlsIfAvailable);
    form.reset();
    MakeForm({host}, tlsServer->Port());
    form->FTPClient1->TrustedCAFile = certs.CAFile();
    Connect();
    ExpectEncrypted();
    EXPECT_EQ(form->FTPClient1->Security, TSecurity::ImplicitTls);
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

TEST_F(RemoteTls, AnUntrustedCertificateIsAskedAboutAndAChangedOneIsNeverAcceptedSilently)
{
    QString why;
    if (!Start(RealFtpServer::Pyftpdlib, RealFtpServer::ExplicitTls, TestCertificates::SelfSigned, why))
        GTEST_SKIP() << why.toStdString();
    const QString selfSigned = certs.Fingerprint(TestCertificates::SelfSigned);

    // Refused: the session ends before the login, with the reason.
    dialogs->Certificates.Answers = {TCertificateAnswer::Refuse};
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    ASSERT_EQ(dialogs->Certificates.Asked.size(), 1u);
    EXPECT_EQ(dialogs->Certificates.Asked[0].Certificate.Fingerprint, selfSigned);
    EXPECT_FALSE(dialogs->Certificates.Asked[0].Certificate.Verified);
    EXPECT_FALSE(dialogs->Certificates.Asked[0].Previous) << "nothing was trusted for this server before";
    EXPECT_FALSE(PasswordSent());
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors()[0].contains("not accepted")) << Errors()[0].toStdString();
    EXPECT_FALSE(Pinned());
    ExpectNothingShown();

    // Trusted always: connected, and pinned for this host and port.
    dialogs->Certificates.Answers = {TCertificateAnswer::TrustAlways};
    Connect();
    ExpectEncrypted();
    ASSERT_TRUE(Pinned());
    EXPECT_EQ(Pinned()->Fingerprint, selfSigned);
    Disconnect();

    // Next time the pinned certificate is accepted without a question.
    Connect();
    ExpectEncrypted();
    EXPECT_EQ(dialogs->Certificates.Asked.size(), 2u);
    Disconnect();

    // Another certificate at the same place, though it verifies, is a change the user must see.
    ASSERT_TRUE(tlsServer->Restart(Tls(RealFtpServer::ExplicitTls, TestCertificates::OtherGood)))
        << tlsServer->ErrorText().toStdString();
    form->FTPClient1->TrustedCAFile = certs.CAFile();
    dialogs->Certificates.Answers = {TCertificateAnswer::Refuse, TCertificateAnswer::AcceptOnce};
    Connect();
    EXPECT_FALSE(form->FTPClient1->Connected);
    ASSERT_EQ(dialogs->Certificates.Asked.size(), 3u);
    const TCertificateQuestion& change = dialogs->Certificates.Asked[2];
    EXPECT_TRUE(change.Certificate.Verified);
    EXPECT_EQ(change.Certificate.Fingerprint, certs.Fingerprint(TestCertificates::OtherGood));
    ASSERT_TRUE(change.Previous);
    EXPECT_EQ(change.Previous->Fingerprint, selfSigned);
    Connect();
    ExpectEncrypted();
    EXPECT_EQ(dialogs->Certificates.Asked.size(), 4u);
    EXPECT_EQ(Pinned()->Fingerprint, selfSigned) << "accepted once pins nothing";
}

// The transfer queue's own connection is as secure as the browsing one: TLS with
// the same certificate, which the user accepted once for the session, and asked
// about no more.
TEST_F(RemoteTls, TransfersRunOnTheirOwnEncryptedConnectionWithoutAskingAgain)
{
    QString why;
    if (!Start(RealFtpServer::Vsftpd, RealFtpServer::ExplicitTls, TestCertificates::SelfSigned, why))
        GTEST_SKIP() << why.toStdString();
    QFile down(tlsServer->LocalPath("down.bin"));
    ASSERT_TRUE(down.open(QIODevice::WriteOnly));
    ASSERT_EQ(down.write(QByteArray(300000, 'd')), 300000);
    down.close();
    QTemporaryDir local;
    form->show();
    form->SystemTreeView->SetDirectory(local.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemTreeView->Directory() == local.path(); }, 5000));
    dialogs->Certificates.Answers = {TCertificateAnswer::AcceptOnce};
    Connect();
    ExpectEncrypted();

    SelectRemote({"down.bin"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    QFile up(local.filePath("up.bin"));
    ASSERT_TRUE(up.open(QIODevice::WriteOnly));
    ASSERT_EQ(up.write(QByteArray(200000, 'u')), 200000);
    up.close();
    form->SystemListView->Repopulate();
    for (int row = 0; row < form->SystemListView->ItemCount(); ++row)
        form->SystemListView->SetItemSelected(row, form->SystemListView->ItemCaption(row) == "up.bin");
    Click(form->sbtnUpload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();

    EXPECT_EQ(States(), (QStringList{"Done", "Done"}));
    QFile arrived(local.filePath("down.bin"));
    ASSERT_TRUE(arrived.open(QIODevice::ReadOnly));
    EXPECT_EQ(arrived.readAll(), QByteArray(300000, 'd'));
    QFile sent(tlsServer->LocalPath("up.bin"));
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_EQ(sent.readAll(), QByteArray(200000, 'u'));
    EXPECT_EQ(dialogs->Certificates.Asked.size(), 1u) << "the transfer connection took the session's answer";
    const QString transfer = Transfers().Client()->TlsDescription();
    EXPECT_TRUE(transfer.startsWith("TLSv1.")) << transfer.toStdString();
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

} // namespace
