#include "RealFtpServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
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

// SHA-512 crypt of the password of the pyftpdlib and ProFTPD kinds ("s3cret").
constexpr char ProftpdPasswordHash[] =
    "$6$ferrittestsalt$H58k3pQ/EkaUTvKtuzzsTCp1jjhoqlQ/epxJaIR6FocAKgJyCk9nSjlWW6j7dpipocSE8kcGFgm..TgHHqXTe1";

} // namespace

RealFtpServer::RealFtpServer(Kind kind, Family address, DataModes modes, const QString& Parent)
    : m_kind(kind),
      m_address(address),
      m_modes(modes),
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
    // The server's users must be able to reach the folder.
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    // Another program may take the probed port before the server binds it: try again.
    for (int attempt = 0; attempt < 3 && !m_running; ++attempt)
        m_running = Start();
}

RealFtpServer::~RealFtpServer() { Stop(); }

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

bool RealFtpServer::WriteProftpdConfig()
{
    if (!QFileInfo(ProftpdProgram()).isExecutable()) {
        m_error = "ProFTPD is not there (neither /usr/sbin/proftpd nor " + UnpackedProftpd()
                  + "): scripts/test-peers unpacks it";
        return false;
    }
    if (geteuid() != 0) {
        m_error = "proftpd needs root privileges";
        return false;
    }
    const passwd* nobody = getpwnam("nobody");
    const group* nobodysGroup = nobody ? getgrgid(nobody->pw_gid) : nullptr;
    if (!nobodysGroup) {
        m_error = "proftpd needs the system user \"nobody\" and its group";
        return false;
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
    return WriteFile("proftpd.conf", conf.toUtf8(), ownerOnly | QFile::ReadGroup | QFile::ReadOther);
}

bool RealFtpServer::WriteVsftpdConfig()
{
    if (geteuid() != 0) {
        m_error = "vsftpd needs root privileges";
        return false;
    }
    QDir(m_dir.path()).mkpath("root/pub");
    QDir(m_dir.path()).mkpath("empty");
    // vsftpd refuses a writable anonymous root; uploads go into pub, owned by its ftp user.
    QFile::setPermissions(m_dir.filePath("root"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                                      | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const passwd* ftpUser = getpwnam("ftp");
    if (!ftpUser || chown(QFile::encodeName(LocalDir()).constData(), ftpUser->pw_uid, ftpUser->pw_gid) != 0) {
        m_error = "vsftpd needs the system user \"ftp\"";
        return false;
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
    return true;
}

bool RealFtpServer::Start()
{
    Stop();
    m_port = FreePort(ListenAddress());
    if (m_port == 0) {
        m_error = "cannot listen on " + Host() + " here (no loopback address of that family)";
        return false;
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
    } else {
        QDir(m_dir.path()).mkpath("root");
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
        if (m_process->state() == QProcess::NotRunning) {
            QFile log(m_dir.filePath("server.log"));
            log.open(QIODevice::ReadOnly);
            m_error = Name(m_kind) + " exited: " + QString::fromUtf8(log.readAll()).trimmed();
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(ListenAddress(), m_port);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000) && probe.readLine().startsWith("220")) {
            probe.write("QUIT\r\n");
            probe.waitForBytesWritten(500);
            return true;
        }
        QThread::msleep(50);
    }
    m_error = Name(m_kind) + " did not greet within 10 s";
    return false;
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
