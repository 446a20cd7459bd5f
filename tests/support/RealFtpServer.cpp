#include "RealFtpServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <pwd.h>
#include <unistd.h>

namespace {

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

RealFtpServer::RealFtpServer(Kind kind, const QString& Parent)
    : m_kind(kind), m_dir(Parent.isEmpty() ? QString() : Parent + "/ferrit-ftp-XXXXXX")
{
    if (!m_dir.isValid()) {
        m_error = "cannot create a temporary folder";
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

QString RealFtpServer::Name(Kind kind) { return kind == Pyftpdlib ? "pyftpdlib" : "vsftpd"; }

QString RealFtpServer::User() const { return m_kind == Pyftpdlib ? "tester" : "anonymous"; }

QString RealFtpServer::Password() const { return m_kind == Pyftpdlib ? "s3cret" : "tester@example.org"; }

QString RealFtpServer::RemoteDir() const { return m_kind == Pyftpdlib ? "/" : "/pub"; }

QString RealFtpServer::LocalDir() const
{
    return m_kind == Pyftpdlib ? m_dir.filePath("root") : m_dir.filePath("root/pub");
}

QStringList RealFtpServer::Arguments() const
{
    if (m_kind == Pyftpdlib)
        return {"-m", "pyftpdlib", "-i", "127.0.0.1", "-p", QString::number(m_port), "-d", m_dir.filePath("root"),
                "-u", User(), "-P", Password(), "-w"};
    return {m_dir.filePath("vsftpd.conf")};
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
    conf.write(QStringLiteral("listen=YES\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
                              "seccomp_sandbox=NO\nconnect_from_port_20=NO\nport_enable=YES\npasv_enable=NO\n"
                              "secure_chroot_dir=%2\nanonymous_enable=YES\nlocal_enable=NO\nanon_root=%3\n"
                              "write_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                              "anon_other_write_enable=YES\nanon_umask=022\nutf8_filesystem=YES\n"
                              "xferlog_enable=NO\ndirmessage_enable=NO\nuse_localtime=NO\n")
                   .arg(m_port)
                   .arg(m_dir.filePath("empty"), m_dir.filePath("root"))
                   .toUtf8());
    return true;
}

bool RealFtpServer::Start()
{
    Stop();
    m_port = FreeLoopbackPort();
    QString program = "/usr/bin/python3";
    if (m_kind == Vsftpd) {
        program = "/usr/sbin/vsftpd";
        if (!WriteVsftpdConfig())
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
        probe.connectToHost(QHostAddress::LocalHost, m_port);
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
