#include "RealFtpServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

// 0 when nothing can listen on the address (no ::1 on this machine).
quint16 FreePort(const QHostAddress& address)
{
    QTcpServer probe;
    probe.listen(address, 0);
    return probe.serverPort();
}

// The unpacked tree of scripts/test-peers, which keeps it in the user's cache folder.
QString UnpackedProftpd()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + "/.cache";
    return cache + "/ferrit-test-peers/proftpd/usr/sbin/proftpd";
}

QString ProftpdProgram()
{
    const QString installed = "/usr/sbin/proftpd";
    return QFileInfo(installed).isExecutable() ? installed : UnpackedProftpd();
}

// Beside the binary, as the package lays them out (usr/sbin and usr/lib/proftpd),
// also when unpacked elsewhere.
QString ProftpdModules()
{
    return QDir::cleanPath(QFileInfo(ProftpdProgram()).absolutePath() + "/../lib/proftpd");
}

// pyftpdlib's command line has no TLS switch: this starts its TLS handler.
// Arguments: host port root user password certificate key tls12only (0 or 1).
constexpr char PyftpdlibTlsScript[] = R"(import sys
from OpenSSL import SSL
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import TLS_FTPHandler
from pyftpdlib.servers import FTPServer

host, port, root, user, password, certfile, keyfile, tls12only = sys.argv[1:9]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = TLS_FTPHandler
handler.authorizer = authorizer
handler.certfile = certfile
handler.keyfile = keyfile
handler.tls_control_required = True
handler.tls_data_required = True
if tls12only == "1":
    handler.ssl_options |= SSL.OP_NO_TLSv1_3
FTPServer((host, int(port)), handler).serve_forever()
)";

// SHA-512 crypt of the password of the pyftpdlib and ProFTPD kinds ("s3cret").
constexpr char ProftpdPasswordHash[] =
    "$6$ferrittestsalt$H58k3pQ/EkaUTvKtuzzsTCp1jjhoqlQ/epxJaIR6FocAKgJyCk9nSjlWW6j7dpipocSE8kcGFgm..TgHHqXTe1";

} // namespace

RealFtpServer::RealFtpServer(Kind kind, Family address, DataModes modes, const QString& Parent)
    : RealFtpServer(kind, TlsOptions{}, address, modes, Parent)
{
}

RealFtpServer::RealFtpServer(Kind kind, Digests digests) : RealFtpServer(kind, TlsOptions{}, IPv4, BothModes, {}, digests)
{
}

RealFtpServer::RealFtpServer(Kind kind, const TlsOptions& tls, Family address, DataModes modes, const QString& Parent,
                             Digests digests)
    : m_kind(kind),
      m_address(address),
      m_modes(modes),
      m_tls(tls),
      m_digests(digests),
      m_dir(Parent.isEmpty() ? QString() : Parent + "/ferrit-ftp-XXXXXX")
{
    if (!m_dir.isValid()) {
        m_error = "cannot create a temporary folder";
        return;
    }
    if (modes == PassiveOnly && kind != Vsftpd) {
        m_error = "only the vsftpd kind can be made passive-only";
        return;
    }
    if (digests != NoDigests && kind != Proftpd) {
        m_error = "only the ProFTPD kind hashes files";
        return;
    }
    if (!CheckTlsOptions())
        return;
    // The server's users must be able to reach the folder.
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    // Another program may take the probed port before the server binds it: try again.
    for (int attempt = 0; attempt < 3 && !m_running; ++attempt)
        m_running = Start(0);
}

RealFtpServer::~RealFtpServer() { Stop(); }

bool RealFtpServer::Restart(const TlsOptions& tls)
{
    Stop();
    m_running = false;
    m_unavailable = false;
    m_tls = tls;
    if (!m_dir.isValid() || m_port == 0) {
        m_error = "the server never ran, so it cannot run again";
        return false;
    }
    m_running = CheckTlsOptions() && Start(m_port);
    return m_running;
}

bool RealFtpServer::CheckTlsOptions()
{
    if (m_tls.mode == NoTls)
        return true;
    for (const QString& file : {m_tls.certFile, m_tls.keyFile})
        if (!QFileInfo(file).isReadable()) {
            m_error = "the TLS certificate or key \"" + file + "\" cannot be read";
            return false;
        }
    if (m_tls.mode == ImplicitTls && m_kind == Pyftpdlib) {
        m_error = "pyftpdlib has no implicit TLS";
        return false;
    }
    if (m_tls.tls12Only && m_kind == Vsftpd) {
        m_error = "this vsftpd cannot switch TLS 1.3 off (it knows ssl_tlsv1 but no ssl_tlsv1_2 or newer)";
        return false;
    }
    if (m_kind == Proftpd && !QFileInfo(ProftpdModules() + "/mod_tls.so").isReadable()) {
        return CannotRunHere("ProFTPD's TLS module is not in " + ProftpdModules() + ": scripts/test-peers unpacks it");
    }
    return true;
}

QString RealFtpServer::Name(Kind kind)
{
    switch (kind) {
    case Pyftpdlib:
        return "pyftpdlib";
    case Vsftpd:
        return "vsftpd";
    case Proftpd:
        return "proftpd";
    }
    return {};
}

QString RealFtpServer::Host() const { return ListenAddress().toString(); }

QHostAddress RealFtpServer::ListenAddress() const
{
    return m_address == IPv6 ? QHostAddress(QHostAddress::LocalHostIPv6) : QHostAddress(QHostAddress::LocalHost);
}

QString RealFtpServer::User() const { return m_kind == Vsftpd ? "anonymous" : "tester"; }

QString RealFtpServer::Password() const { return m_kind == Vsftpd ? "tester@example.org" : "s3cret"; }

QString RealFtpServer::RemoteDir() const { return m_kind == Vsftpd ? "/pub" : "/"; }

QString RealFtpServer::LocalDir() const
{
    return m_kind == Vsftpd ? m_dir.filePath("root/pub") : m_dir.filePath("root");
}

QStringList RealFtpServer::Arguments() const
{
    if (m_kind == Pyftpdlib && m_tls.mode != NoTls)
        return {m_dir.filePath("tls_server.py"), Host(), QString::number(m_port), m_dir.filePath("root"), User(),
                Password(), m_tls.certFile, m_tls.keyFile, m_tls.tls12Only ? "1" : "0"};
    if (m_kind == Pyftpdlib)
        return {"-m", "pyftpdlib", "-i", Host(), "-p", QString::number(m_port), "-d", m_dir.filePath("root"),
                "-u", User(), "-P", Password(), "-w"};
    if (m_kind == Proftpd)
        return {"-n", "-c", m_dir.filePath("proftpd.conf")};
    return {m_dir.filePath("vsftpd.conf")};
}

bool RealFtpServer::WriteFile(const QString& name, const QByteArray& content, QFileDevice::Permissions permissions)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.setPermissions(permissions)
        || file.write(content) != content.size()) {
        m_error = "cannot write " + file.fileName();
        return false;
    }
    return true;
}

bool RealFtpServer::CannotRunHere(const QString& reason)
{
    m_error = reason;
    m_unavailable = true;
    return false;
}

bool RealFtpServer::WriteProftpdConfig()
{
    if (!QFileInfo(ProftpdProgram()).isExecutable()) {
        return CannotRunHere("ProFTPD is not there (neither /usr/sbin/proftpd nor " + UnpackedProftpd()
                             + "): scripts/test-peers unpacks it");
    }
    if (geteuid() != 0) {
        return CannotRunHere("proftpd needs root privileges");
    }
    const passwd* nobody = getpwnam("nobody");
    const group* nobodysGroup = nobody ? getgrgid(nobody->pw_gid) : nullptr;
    if (!nobodysGroup) {
        return CannotRunHere("proftpd needs the system user \"nobody\" and its group");
    }
    const QString groupName = QString::fromLocal8Bit(nobodysGroup->gr_name);
    QDir(m_dir.path()).mkpath("root");
    if (chown(QFile::encodeName(LocalDir()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
        m_error = "cannot hand the server's root to \"nobody\"";
        return false;
    }
    // ProFTPD refuses account files that others can read.
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QString account = QStringLiteral("%1:%2:%3:%4::%5:/bin/sh\n")
                                .arg(User(), ProftpdPasswordHash)
                                .arg(nobody->pw_uid)
                                .arg(nobody->pw_gid)
                                .arg(LocalDir());
    if (!WriteFile("passwd", account.toUtf8(), ownerOnly)
        || !WriteFile("group", QStringLiteral("%1:x:%2:\n").arg(groupName).arg(nobody->pw_gid).toUtf8(), ownerOnly))
        return false;
    // No file outside the temporary folder: delay table, control socket and logs
    // other than stderr are off, the scoreboard and pid file are ours.
    const QString conf = QStringLiteral(
        "ServerType standalone\nServerName \"Ferrit test\"\nPort %1\nDefaultAddress %7\n"
        "SocketBindTight on\nUseIPv6 %8\nUser nobody\nGroup %2\n"
        "ScoreboardFile \"%3\"\nPidFile \"%4\"\nDelayEngine off\nControlsEngine off\nWtmpLog off\n"
        "TransferLog none\nUseReverseDNS off\nUseFtpUsers off\nAuthOrder mod_auth_file.c\n"
        "AuthUserFile \"%5\"\nAuthGroupFile \"%6\"\nRequireValidShell off\nDefaultRoot ~\nUmask 022\n"
        "AllowOverwrite on\n")
                             .arg(m_port)
                             .arg(groupName)
                             .arg(m_dir.filePath("scoreboard"), m_dir.filePath("proftpd.pid"),
                                  m_dir.filePath("passwd"), m_dir.filePath("group"))
                             .arg(Host(), m_address == IPv6 ? "on" : "off");
    for (const char* module : {"mod_digest.so", "mod_site_misc.so"})
        if (m_digests != NoDigests && !QFileInfo(ProftpdModules() + '/' + module).isReadable())
            return CannotRunHere(QStringLiteral("ProFTPD's %1 is not in %2: scripts/test-peers unpacks it")
                                     .arg(module, ProftpdModules()));
    return WriteFile("proftpd.conf", (conf + ProftpdTlsConfig() + ProftpdDigestConfig()).toUtf8(),
                     ownerOnly | QFile::ReadGroup | QFile::ReadOther);
}

// Session reuse on data connections is mod_tls' default, kept: clients must cope with it.
QString RealFtpServer::ProftpdTlsConfig() const
{
    if (m_tls.mode == NoTls)
        return {};
    return QStringLiteral("ModulePath \"%1\"\nLoadModule mod_tls.c\nTLSEngine on\nTLSRequired on\nTLSProtocol %2\n"
                          "TLSECCertificateFile \"%3\"\nTLSECCertificateKeyFile \"%4\"\nTLSVerifyClient off\n"
                          "TLSLog \"%5\"\n%6")
        .arg(ProftpdModules(), m_tls.tls12Only ? "TLSv1.2" : "TLSv1.2 TLSv1.3", m_tls.certFile, m_tls.keyFile,
             m_dir.filePath("tls.log"), m_tls.mode == ImplicitTls ? "TLSOptions UseImplicitSSL\n" : "");
}

QString RealFtpServer::ProftpdDigestConfig() const
{
    if (m_digests == NoDigests)
        return {};
    return QStringLiteral("ModulePath \"%1\"\nLoadModule mod_digest.c\nLoadModule mod_site_misc.c\nDigestEngine on\n"
                          "DigestCache off\nSiteMiscEngine on\n%2")
        .arg(ProftpdModules(), m_digests == WithoutHash ? "<Limit HASH>\n  DenyAll\n</Limit>\n" : "");
}

bool RealFtpServer::WritePyftpdlibScript()
{
    QDir(m_dir.path()).mkpath("root");
    return m_tls.mode == NoTls
           || WriteFile("tls_server.py", PyftpdlibTlsScript, QFile::ReadOwner | QFile::WriteOwner);
}

bool RealFtpServer::WriteVsftpdConfig()
{
    if (geteuid() != 0) {
        return CannotRunHere("vsftpd needs root privileges");
    }
    QDir(m_dir.path()).mkpath("root/pub");
    QDir(m_dir.path()).mkpath("empty");
    // vsftpd refuses a writable anonymous root; uploads go into pub, owned by its ftp user.
    QFile::setPermissions(m_dir.filePath("root"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                                      | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const passwd* ftpUser = getpwnam("ftp");
    if (!ftpUser || chown(QFile::encodeName(LocalDir()).constData(), ftpUser->pw_uid, ftpUser->pw_gid) != 0) {
        return CannotRunHere("vsftpd needs the system user \"ftp\"");
    }
    QFile conf(m_dir.filePath("vsftpd.conf"));
    if (!conf.open(QIODevice::WriteOnly)) {
        m_error = "cannot write the vsftpd configuration";
        return false;
    }
    // One listener per family: "listen" takes IPv4 only, "listen_ipv6" IPv6 only.
    const QString listen = m_address == IPv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                                     : "listen=YES\nlisten_address=127.0.0.1\n";
    conf.write(QStringLiteral("%4listen_port=%1\nbackground=NO\n"
                              "seccomp_sandbox=NO\nconnect_from_port_20=NO\nport_enable=%5\npasv_enable=YES\n"
                              "secure_chroot_dir=%2\nanonymous_enable=YES\nlocal_enable=NO\nanon_root=%3\n"
                              "write_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                              "anon_other_write_enable=YES\nanon_umask=022\nutf8_filesystem=YES\n"
                              "xferlog_enable=NO\ndirmessage_enable=NO\nuse_localtime=NO\n")
                   .arg(m_port)
                   .arg(m_dir.filePath("empty"), m_dir.filePath("root"), listen,
                        m_modes == PassiveOnly ? "NO" : "YES")
                   .toUtf8());
    conf.write(VsftpdTlsConfig().toUtf8());
    return true;
}

// The fixture logs in anonymously, so the anon_ options are the ones that force
// TLS. require_ssl_reuse=YES is vsftpd's default, written out because clients
// must cope with it. Its built-in cipher list (DES-CBC3-SHA) leaves a TLS 1.2
// client of OpenSSL 3 without a shared cipher, so TLS 1.2 gets today's ones.
QString RealFtpServer::VsftpdTlsConfig() const
{
    if (m_tls.mode == NoTls)
        return {};
    return QStringLiteral("ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                          "require_ssl_reuse=YES\nssl_ciphers=HIGH\nrsa_cert_file=%1\nrsa_private_key_file=%2\n"
                          "implicit_ssl=%3\nxferlog_enable=YES\nxferlog_std_format=NO\nvsftpd_log_file=%4\n"
                          "log_ftp_protocol=YES\ndebug_ssl=YES\n")
        .arg(m_tls.certFile, m_tls.keyFile, m_tls.mode == ImplicitTls ? "YES" : "NO", m_dir.filePath("vsftpd.log"));
}

// Port 0: a free one.
bool RealFtpServer::Start(quint16 port)
{
    Stop();
    m_port = port != 0 ? port : FreePort(ListenAddress());
    if (m_port == 0) {
        return CannotRunHere("cannot listen on " + Host() + " here (no loopback address of that family)");
    }
    QString program = "/usr/bin/python3";
    if (m_kind == Vsftpd) {
        program = "/usr/sbin/vsftpd";
        if (!WriteVsftpdConfig())
            return false;
    } else if (m_kind == Proftpd) {
        program = ProftpdProgram();
        if (!WriteProftpdConfig())
            return false;
    } else if (!WritePyftpdlibScript()) {
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(m_dir.filePath("server.log"));
    m_process->start(program, Arguments());
    if (!m_process->waitForStarted(5000)) {
        m_error = Name(m_kind) + " did not start: " + m_process->errorString();
        return false;
    }
    return WaitForGreeting();
}

bool RealFtpServer::WaitForGreeting()
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        // Polls: nothing here runs the event loop that would tell QProcess of the exit.
        if (m_process->waitForFinished(0) || m_process->state() == QProcess::NotRunning) {
            QFile log(m_dir.filePath("server.log"));
            log.open(QIODevice::ReadOnly);
            // vsftpd says nothing about a configuration it refuses; its exit code is all there is.
            m_error = QStringLiteral("%1 exited (code %2): %3")
                          .arg(Name(m_kind))
                          .arg(m_process->exitCode())
                          .arg(QString::fromUtf8(log.readAll()).trimmed());
            return false;
        }
        if (Greeted())
            return true;
        QThread::msleep(50);
    }
    m_error = Name(m_kind) + " did not greet within 10 s";
    return false;
}

// With implicit TLS the greeting comes inside TLS. The probe trusts any
// certificate: servers are also started with ones a client must refuse.
bool RealFtpServer::Greeted()
{
    QSslSocket probe;
    probe.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (m_tls.mode == ImplicitTls)
        probe.connectToHostEncrypted(Host(), m_port);
    else
        probe.connectToHost(ListenAddress(), m_port);
    const bool connected = m_tls.mode == ImplicitTls ? probe.waitForEncrypted(2000) : probe.waitForConnected(500);
    if (!connected || !probe.waitForReadyRead(2000) || !probe.readLine().startsWith("220"))
        return false;
    probe.write("QUIT\r\n");
    probe.waitForBytesWritten(500);
    return true;
}

QString RealFtpServer::LogText() const
{
    QString text;
    for (const char* name : {"server.log", "vsftpd.log", "tls.log"}) {
        QFile log(m_dir.filePath(name));
        if (log.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(log.readAll());
    }
    return text;
}

void RealFtpServer::Stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
    m_process.reset();
}
