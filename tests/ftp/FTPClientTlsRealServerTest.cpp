// FTP over TLS against real servers nobody here wrote, each with a certificate
// made for the test by a test CA the client is told to trust: the whole path
// in passive and active mode, explicit and implicit; and the certificates and
// servers a client must refuse.
#include "FtpSession.h"
#include "QtPrinters.h"
#include "RealFtpServer.h"
#include "TestCertificates.h"
#include "ftp/TransferQueue.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <iostream>
#include <csignal>
#include <sys/prctl.h>
#include <tuple>

namespace {

using Kind = RealFtpServer::Kind;
using Mode = RealFtpServer::TlsMode;

// One set of certificates for the whole program: making them costs a moment.
const TestCertificates& Certificates()
{
    static const TestCertificates certificates;
    return certificates;
}

RealFtpServer::TlsOptions TlsWith(Mode mode, TestCertificates::Kind certificate = TestCertificates::Good)
{
    return {mode, Certificates().CertFile(certificate), Certificates().KeyFile(certificate)};
}

// A client for a TLS server, trusting the test CA only besides the system's.
void SecureFor(FtpSession& s, const RealFtpServer& server)
{
    s.client.Host = server.Host();
    s.client.Security = server.Tls() == RealFtpServer::ImplicitTls ? TSecurity::ImplicitTls : TSecurity::RequireTls;
    s.client.TrustedCAFile = Certificates().CAFile();
    s.client.InactivityTimeOut = 10000;
}

// ---------------------------------------------------------------- the whole path

using PathParam = std::tuple<Kind, Mode, bool /* passive */>;

class TlsPath : public ::testing::TestWithParam<PathParam> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Certificates().IsValid()) << Certificates().ErrorText().toStdString();
        if (!server.IsRunning())
            GTEST_SKIP() << server.ErrorText().toStdString();
        s = std::make_unique<FtpSession>(server.Port(), server.User(), server.Password());
        SecureFor(*s, server);
        s->client.Passive = std::get<2>(GetParam());
        s->client.Connect();
        s->client.DoCommand("CWD " + server.RemoteDir());
    }

    RealFtpServer server{std::get<0>(GetParam()), TlsWith(std::get<1>(GetParam()))};
    std::unique_ptr<FtpSession> s;
    QTemporaryDir local;
};

TEST_P(TlsPath, LoginListingAndByteIdenticalTransfers)
{
    // On a failure the conversation says what went wrong.
    const auto printLog = qScopeGuard([this] {
        if (HasFailure())
            std::cerr << s->log.join('\n').toStdString() << "\n" << server.LogText().toStdString() << std::endl;
    });
    EXPECT_TRUE(s->client.Encrypted());
    const QString log = s->log.join('\n');
    EXPECT_TRUE(log.contains("The server's certificate is valid: ")) << log.toStdString();
    EXPECT_TRUE(log.contains(QRegularExpression("TLS connection established: TLSv1\\.[23], \\S+\\.")))
        << log.toStdString();
    EXPECT_TRUE(log.contains("PROT P\n200")) << log.toStdString();

    for (const qint64 size : {qint64(0), qint64(1), qint64(16384), qint64(10 * 1024 * 1024)}) {
        SCOPED_TRACE(size);
        const QString name = QStringLiteral("tls-%1.bin").arg(size);
        const QString source = local.filePath("source-" + name);
        WriteRandomFile(source, size, quint32(size) + 11);
        ASSERT_NO_THROW(s->client.Upload(source, name));
        EXPECT_EQ(Sha256Of(server.LocalPath(name)), Sha256Of(source));
        const QString copy = local.filePath("copy-" + name);
        ASSERT_NO_THROW(s->client.Download(name, copy));
        EXPECT_EQ(Sha256Of(copy), Sha256Of(source));
    }
    s->items.clear();
    s->client.List();
    EXPECT_EQ(s->items.filter("tls-10485760.bin").size(), 1) << s->items.join('\n').toStdString();
    EXPECT_TRUE(s->client.Connected);
}

// Stopped in the middle, a download over TLS keeps what came; the session
// goes on, and the download resumes over a new protected data connection.
TEST_P(TlsPath, AStoppedDownloadResumes)
{
    constexpr qint64 size = 4 * 1024 * 1024;
    WriteRandomFile(server.LocalPath("stop.bin"), size, 21);
    const QString target = local.filePath("stop.bin");
    const qint64 kept = s->DownloadStoppedAtHalf("stop.bin", target, size);
    EXPECT_GE(kept, size / 2);
    s->client.Download("stop.bin", target, true);
    EXPECT_EQ(Sha256Of(target), Sha256Of(server.LocalPath("stop.bin")));
    EXPECT_EQ(s->client.BytesTotal, size - kept);
    EXPECT_TRUE(s->client.Encrypted());
}

std::string PathName(const ::testing::TestParamInfo<PathParam>& info)
{
    const auto [kind, mode, passive] = info.param;
    return (RealFtpServer::Name(kind) + (mode == RealFtpServer::ImplicitTls ? "_implicit" : "_explicit")
            + (passive ? "_passive" : "_active"))
        .toStdString();
}

INSTANTIATE_TEST_SUITE_P(Explicit, TlsPath,
                         ::testing::Combine(::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd,
                                                              RealFtpServer::Proftpd),
                                            ::testing::Values(RealFtpServer::ExplicitTls), ::testing::Bool()),
                         PathName);
// pyftpdlib has no implicit mode.
INSTANTIATE_TEST_SUITE_P(Implicit, TlsPath,
                         ::testing::Combine(::testing::Values(RealFtpServer::Vsftpd, RealFtpServer::Proftpd),
                                            ::testing::Values(RealFtpServer::ImplicitTls), ::testing::Bool()),
                         PathName);

// An IPv6 server: the certificate is checked against the address ::1, and the
// data connections ("EPSV") run over TLS as on IPv4.
TEST(TlsIPv6, CertificateForTheAddressAndDataOverTls)
{
    RealFtpServer server(RealFtpServer::Vsftpd, TlsWith(RealFtpServer::ExplicitTls), RealFtpServer::IPv6);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    FtpSession s(server.Port(), server.User(), server.Password());
    SecureFor(s, server);
    s.client.Passive = true;
    s.client.Connect();
    EXPECT_TRUE(s.client.Encrypted());
    s.client.DoCommand("CWD " + server.RemoteDir());
    WriteFile(server.LocalPath("six.txt"), "over IPv6");
    QTemporaryDir local;
    s.client.Download("six.txt", local.filePath("six.txt"));
    EXPECT_EQ(ReadFile(local.filePath("six.txt")), "over IPv6");
}

// Connect, Disconnect and Connect again on the same client: each connect
// reaches the server and logs in the first time, with nothing left of the
// closed TLS connection to stand in its way (it once ended in "Socket is not
// connected" before anything was sent). The event loop runs between the
// user's clicks, as it does in the window.
TEST(TlsReconnect, ConnectAfterDisconnectWorksTheFirstTime)
{
    for (const Mode mode : {RealFtpServer::ExplicitTls, RealFtpServer::ImplicitTls}) {
        SCOPED_TRACE(mode == RealFtpServer::ExplicitTls ? "explicit" : "implicit");
        RealFtpServer server(RealFtpServer::Vsftpd, TlsWith(mode));
        if (!server.IsRunning())
            GTEST_SKIP() << server.ErrorText().toStdString();
        FtpSession s(server.Port(), server.User(), server.Password());
        SecureFor(s, server);
        s.client.Passive = true;
        QStringList errors;
        s.client.OnError = [&](QObject*, quint16 code, const QString& text) { errors << QString::number(code) + text; };
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            ASSERT_NO_THROW(s.client.Connect()) << s.log.join('\n').toStdString();
            EXPECT_TRUE(s.client.Encrypted());
            s.client.DoCommand("CWD " + server.RemoteDir());
            s.items.clear();
            ASSERT_NO_THROW(s.client.List());
            s.client.Disconnect();
            EXPECT_FALSE(s.client.Connected);
            QTest::qWait(200);
        }
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
}

// ProFTPD with TLS 1.2 and 1.3 and its default session handling takes each
// TLS 1.3 ticket once and gives upload connections none, so a session soon
// has no session left for its data connections to resume and they are
// refused. The client recovers by itself: a folder of 220 files arrives whole
// through the queue, every file byte for byte, and no item fails.
TEST(TlsSessionReuse, AFolderOf220FilesUploadsWholeToProftpdWithTls13)
{
    RealFtpServer server(RealFtpServer::Proftpd, TlsWith(RealFtpServer::ExplicitTls));
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    FtpSession s(server.Port(), server.User(), server.Password());
    SecureFor(s, server);
    s.client.Passive = true;
    s.client.Connect();
    ASSERT_EQ(s.client.TlsVersion(), 0x0304) << "the server must offer TLS 1.3 for this case";
    QTemporaryDir local;
    const QString folder = local.filePath("many");
    QDir().mkpath(folder);
    for (int i = 0; i < 220; ++i)
        WriteRandomFile(QStringLiteral("%1/file-%2.bin").arg(folder).arg(i, 3, 10, QChar('0')), 100 + 37 * i, i);
    TTransferQueue queue(s.client);
    queue.AddUpload(folder, server.RemoteDir());
    queue.Run();
    int failed = 0;
    for (const TTransferItem& item : queue.Items())
        if (item.State != TTransferState::Done && failed++ < 3)
            ADD_FAILURE() << item.LocalPath.toStdString() << ": " << item.Error.toStdString();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(TreeOf(server.LocalPath("many")), TreeOf(folder));
    EXPECT_TRUE(s.client.Encrypted());
    EXPECT_EQ(s.client.TlsVersion(), 0x0303) << "renewed on TLS 1.2";
    EXPECT_EQ(s.log.filter("the session is renewed with TLS 1.2").size(), 1) << "once, and remembered";
    // A reconnect keeps TLS 1.2 for this server.
    s.client.Disconnect();
    s.client.Connect();
    EXPECT_EQ(s.client.TlsVersion(), 0x0303);
}

// ---------------------------------------------------------------- refusals

struct CertificateCase {
    TestCertificates::Kind certificate;
    const char* reason; // what the client says about it
};

// A certificate that does not verify reaches the handler with its reason;
// refused there (the default), the session ends before the user name is sent.
TEST(TlsRefusals, CertificatesThatDoNotVerifyAreRefused)
{
    const CertificateCase cases[] = {
        {TestCertificates::Expired, "certificate has expired"},
        {TestCertificates::WrongName, "IP address mismatch"},
        {TestCertificates::SelfSigned, "self-signed certificate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(TestCertificates::Name(c.certificate).toStdString());
        RealFtpServer server(RealFtpServer::Pyftpdlib, TlsWith(RealFtpServer::ExplicitTls, c.certificate));
        if (!server.IsRunning())
            GTEST_SKIP() << server.ErrorText().toStdString();
        FtpSession s(server.Port(), server.User(), server.Password());
        SecureFor(s, server);
        TCertificateInfo seen;
        s.client.OnCertificate = [&seen](const TCertificateInfo& certificate, bool& accept) {
            seen = certificate;
            EXPECT_FALSE(accept) << "starts as the verification's result";
        };
        try {
            s.client.Connect();
            ADD_FAILURE() << "connected";
        } catch (const ESecurityError& e) {
            EXPECT_TRUE(e.Message().contains(c.reason)) << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains("the password was not sent")) << e.Message().toStdString();
        }
        EXPECT_FALSE(seen.Verified);
        EXPECT_EQ(seen.Reason, c.reason);
        EXPECT_EQ(seen.Fingerprint, Certificates().Fingerprint(c.certificate));
        EXPECT_EQ(seen.Host, "127.0.0.1");
        EXPECT_EQ(seen.Port, server.Port());
        EXPECT_FALSE(s.client.Connected);
        EXPECT_FALSE(s.log.join('\n').contains("USER")) << s.log.join('\n').toStdString();
    }
}

// Accepted by the user (the dialog's "accept once"), the same certificate
// carries the whole session, data connections included.
TEST(TlsRefusals, AnAcceptedSelfSignedCertificateCarriesTheSession)
{
    RealFtpServer server(RealFtpServer::Vsftpd, TlsWith(RealFtpServer::ExplicitTls, TestCertificates::SelfSigned));
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    FtpSession s(server.Port(), server.User(), server.Password());
    SecureFor(s, server);
    s.client.Passive = true;
    s.client.OnCertificate = [](const TCertificateInfo&, bool& accept) { accept = true; };
    s.client.Connect();
    EXPECT_TRUE(s.log.contains("The server's certificate cannot be trusted (self-signed certificate); it was "
                               "accepted by the user."));
    s.client.DoCommand("CWD " + server.RemoteDir());
    WriteFile(server.LocalPath("a.txt"), "secret content");
    QTemporaryDir local;
    s.client.Download("a.txt", local.filePath("a.txt"));
    EXPECT_EQ(ReadFile(local.filePath("a.txt")), "secret content");
}

// vsftpd refuses a data connection that does not resume the control
// connection's session (and ends the session); the error carries its reason.
TEST(TlsRefusals, DataConnectionWithoutSessionReuseIsRefusedAndSaysWhy)
{
    RealFtpServer server(RealFtpServer::Vsftpd, TlsWith(RealFtpServer::ExplicitTls));
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    FtpSession s(server.Port(), server.User(), server.Password());
    SecureFor(s, server);
    s.client.Passive = true;
    s.client.ReuseTlsSession = false;
    s.client.Connect();
    try {
        s.client.List();
        FAIL() << "listed";
    } catch (const FTPException& e) {
        EXPECT_TRUE(e.Message().contains("session reuse required")) << e.Message().toStdString();
    } catch (const Exception& e) {
        FAIL() << e.Message().toStdString() << "\n" << s.log.join('\n').toStdString();
    }
}

// tls_cut_server.py in one of its modes, on a free port of 127.0.0.1.
class CutServer {
public:
    CutServer(const char* mode, qint64 size)
    {
        // It goes with the process that started it, also one that died: a child
        // of a death test would otherwise leave it holding the parent's pipe.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start("/usr/bin/python3",
                        {QStringLiteral(FERRIT_TEST_SUPPORT_DIR "/tls_cut_server.py"), m_dir.filePath("port"),
                         Certificates().CertFile(TestCertificates::Good),
                         Certificates().KeyFile(TestCertificates::Good), QString::number(size), mode});
        for (int i = 0; i < 100 && !QFile::exists(m_dir.filePath("port")); ++i)
            QThread::msleep(50);
    }
    ~CutServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    bool IsRunning() const { return QFile::exists(m_dir.filePath("port")); }
    QString ErrorText() { return QString::fromUtf8(m_process.readAllStandardError()); }
    quint16 Port() const { return quint16(ReadFile(m_dir.filePath("port")).toInt()); }
    QString Folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// A data connection that ends without the TLS close, though the server then
// reports success, is a failed download: the old local file stays.
TEST(TlsRefusals, DownloadCutWithoutTheTlsCloseFails)
{
    for (const char* mode : {"cut", "clean"}) {
        SCOPED_TRACE(mode);
        CutServer server(mode, 70000);
        ASSERT_TRUE(server.IsRunning()) << server.ErrorText().toStdString();
        const QDir dir(server.Folder());
        FtpSession s(server.Port());
        s.client.Security = TSecurity::RequireTls;
        s.client.TrustedCAFile = Certificates().CAFile();
        s.client.Passive = true;
        s.client.Connect();
        const QString target = dir.filePath("mine.bin");
        WriteFile(target, "the old file");
        QString error;
        try {
            s.client.Download("file.bin", target);
        } catch (const EIncompleteTransfer& e) {
            error = e.Message();
        }
        if (QByteArray(mode) == "cut") {
            EXPECT_EQ(error.toStdString(), "The download of \"file.bin\" ended without the TLS close of its "
                                           "connection: it may be incomplete, so it was not kept.");
            EXPECT_EQ(ReadFile(target), "the old file");
        } else {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(ReadFile(target), QByteArray(70000, 'x'));
        }
        // A cut download's bytes wait for a resume; a complete one leaves nothing beside the file.
        EXPECT_EQ(dir.entryList(QDir::Files | QDir::Hidden),
                  QByteArray(mode) == "cut" ? QStringList({".mine.bin.part", "mine.bin", "port"})
                                            : QStringList({"mine.bin", "port"}));
        s.client.Disconnect();
    }
}

// A peer that resets a connection while the client writes to it: with TLS on
// the data connection of an upload and on the control connection, and in plain
// text. Run in a child process, since a write that raises SIGPIPE ends the
// whole program; the child exits 0 only when each reset was an error of its
// connection and the session could tell.
struct ResetCase {
    const char* name;
    const char* mode;
    TSecurity security;
    qint64 taken = 256 * 1024; // what the server reads of an upload before it ends the connection
};

// The child's exit code: 0 when every attempt failed as an error. The server
// must be gone by the exit: it holds the pipe on which the parent waits.
int MeetReset(const ResetCase& c)
{
    CutServer server(c.mode, c.taken);
    if (!server.IsRunning())
        return 2;
    FtpSession s(server.Port());
    s.client.Security = c.security;
    s.client.TrustedCAFile = Certificates().CAFile();
    s.client.Passive = true;
    s.client.Connect();
    const QString source = QDir(server.Folder()).filePath("big.bin");
    WriteRandomFile(source, 64 * 1024 * 1024, 5);
    int failures = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            if (QByteArray(c.mode) != "reset-control")
                s.client.Upload(source, "big.bin");
            else
                s.client.DoCommand("NOOP");
        } catch (const Exception& e) {
            std::cerr << "failed as it should: " << e.Message().toStdString() << std::endl;
            ++failures;
        }
    }
    return failures == 3 ? 0 : 1;
}

TEST(TlsResets, APeerThatResetsEndsThatConnectionNotTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the child starts afresh, not from a fork of Qt's threads
    const ResetCase cases[] = {
        {"TLS upload", "reset-data", TSecurity::RequireTls},
        {"TLS upload, reset at once", "reset-data", TSecurity::RequireTls, 0},
        {"TLS upload, closed at once", "close-data", TSecurity::RequireTls, 0},
        {"TLS control connection", "reset-control", TSecurity::RequireTls},
        {"plain upload", "reset-data", TSecurity::PlainFtp},
        {"plain control connection", "reset-control", TSecurity::PlainFtp},
    };
    for (const ResetCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(std::_Exit(MeetReset(c)), ::testing::ExitedWithCode(0), "failed as it should");
    }
}

} // namespace
