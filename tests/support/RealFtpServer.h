#pragma once
// Real FTP servers for tests, started on a free port of 127.0.0.1 (or ::1) with
// a root in a fresh temporary folder, and stopped (the folder removed) on
// destruction.
//
//   RealFtpServer server(RealFtpServer::Vsftpd, RealFtpServer::IPv6);
//   if (!server.IsRunning()) GTEST_SKIP() << server.ErrorText();
//   client.Host = server.Host(); client.Port = server.Port();
//   client.UserID = server.User(); client.Password = server.Password();
//   client.DoCommand("CWD " + server.RemoteDir());   // the folder the test may write
//   ... files appear in server.LocalDir() ...
//
// pyftpdlib (Debian's python3-pyftpdlib) runs with a user and password and a
// writable root. vsftpd runs from a configuration of the fixture's own with
// anonymous login ("anonymous", any password; other names are refused with
// 530), active and passive mode (or passive only: "PORT" and "EPRT" refused),
// and a writable folder "/pub" below its read-only root; it needs root
// privileges, so it is not running when the tests are not.
// ProFTPD runs in the foreground ("proftpd -n -c CONF") from a configuration,
// a passwd and a group file of the fixture's own in the temporary folder: user
// and password as for pyftpdlib, checked against that passwd file only, the
// session working as "nobody" and locked into its writable home, which is "/";
// its scoreboard and pid file are in the temporary folder. Its package
// conflicts with vsftpd's, so scripts/test-peers unpacks it into a cache folder
// instead of installing it; an installed /usr/sbin/proftpd is used first. It too needs root privileges; without them or without the
// binary it is not running and ErrorText() says why.
//
// Every kind listens on the one address asked for and nowhere else; on a
// machine without ::1 an IPv6 server is not running, and ErrorText() says so.
//
// With TLS (certificates from TestCertificates.h):
//
//   TestCertificates certs;
//   RealFtpServer server(RealFtpServer::Proftpd, {RealFtpServer::ExplicitTls, certs.CertFile(TestCertificates::Good),
//                                                 certs.KeyFile(TestCertificates::Good)});
//
// every kind then refuses logins and data connections without TLS, and
// vsftpd and ProFTPD refuse a data connection that does not resume the control
// connection's TLS session. Implicit TLS: vsftpd and ProFTPD only. TLS 1.2 and
// 1.3 are offered; tls12Only leaves TLS 1.2 (pyftpdlib and ProFTPD only: this
// vsftpd cannot switch TLS 1.3 off). ProFTPD needs an EC key (TestCertificates
// makes those) and its mod_tls.so beside the binary (scripts/test-peers).
#include <QFileDevice>
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class RealFtpServer {
public:
    enum Kind { Pyftpdlib, Vsftpd, Proftpd };
    enum Family { IPv4, IPv6 }; // listens on 127.0.0.1 or on ::1
    // PassiveOnly: the server refuses "PORT" and "EPRT", so a client must
    // connect passively (vsftpd only; the others serve both modes).
    enum DataModes { BothModes, PassiveOnly };
    enum TlsMode {
        NoTls,
        ExplicitTls, // "AUTH TLS" on the plain greeting
        ImplicitTls, // TLS from the first byte (vsftpd and ProFTPD)
    };
    // ProFTPD only: its modules that hash files ("HASH" and the X commands,
    // mod_digest) and set times ("SITE UTIME", mod_site_misc), from the same
    // packages as the server. WithoutHash refuses "HASH" (the X commands stay).
    enum Digests { NoDigests, WithDigests, WithoutHash };
    struct TlsOptions {
        TlsMode mode = NoTls;
        QString certFile; // PEM: the certificate the server presents
        QString keyFile;  // PEM: its private key
        bool tls12Only = false;
    };

    // Parent: where the server's temporary folder is made (the system's temporary
    // folder when empty); a benchmark may put it on tmpfs.
    explicit RealFtpServer(Kind kind, Family address = IPv4, DataModes modes = BothModes, const QString& Parent = {});
    RealFtpServer(Kind kind, const TlsOptions& tls, Family address = IPv4, DataModes modes = BothModes,
                  const QString& Parent = {}, Digests digests = NoDigests);
    RealFtpServer(Kind kind, Digests digests);
    ~RealFtpServer();
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    // True once the server greeted a test connection (inside TLS for implicit
    // TLS); otherwise ErrorText() says why.
    bool IsRunning() const { return m_running; }
    const QString& ErrorText() const { return m_error; }
    // It is not running because it cannot run on this machine (no root
    // privileges, no binary or module, no such loopback address), rather than
    // because it failed to start.
    bool Unavailable() const { return m_unavailable; }

    // Starts the server again on the same address, port and folder with other
    // TLS options: a client that saw the first certificate then meets "a
    // changed certificate" at the same place. False, and ErrorText() says why,
    // when it does not run again.
    bool Restart(const TlsOptions& tls);
    TlsMode Tls() const { return m_tls.mode; }

    // What the server logged so far: its standard error, and with TLS vsftpd's
    // protocol and TLS log (whether each data connection reused the session) or
    // ProFTPD's TLS log.
    QString LogText() const;

    Kind ServerKind() const { return m_kind; }
    static QString Name(Kind kind);
    // The address the server listens on, as a client's Host: "127.0.0.1" or "::1".
    QString Host() const;
    quint16 Port() const { return m_port; }
    QString User() const;
    QString Password() const;
    // A remote folder where the test may create, rename and delete, and its local path.
    QString RemoteDir() const;
    QString LocalDir() const;

    // Local path of a name inside RemoteDir().
    QString LocalPath(const QString& name) const { return LocalDir() + '/' + name; }

private:
    bool Start(quint16 port);
    bool CheckTlsOptions();
    QStringList Arguments() const;
    bool WriteVsftpdConfig();
    QString VsftpdTlsConfig() const;
    bool WriteProftpdConfig();
    QString ProftpdTlsConfig() const;
    QString ProftpdDigestConfig() const;
    bool WritePyftpdlibScript();
    bool WriteFile(const QString& name, const QByteArray& content, QFileDevice::Permissions permissions);
    bool CannotRunHere(const QString& reason);
    bool WaitForGreeting();
    bool Greeted();
    void Stop();

    QHostAddress ListenAddress() const;

    Kind m_kind;
    Family m_address;
    DataModes m_modes;
    TlsOptions m_tls;
    Digests m_digests = NoDigests;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    bool m_running = false;
    bool m_unavailable = false;
    QString m_error;
};
