#pragma once
// Certificates for TLS tests, made fresh (EC P-256 keys) into a folder: a test
// CA that the client is told to trust, and server certificates for the cases a
// client must tell apart.
//
//   TestCertificates certs;                     // or certs(folder)
//   if (!certs.IsValid()) FAIL() << certs.ErrorText();
//   client.TrustedCAFile = certs.CAFile();
//   RealFtpServer server(RealFtpServer::Vsftpd, {RealFtpServer::ExplicitTls, certs.CertFile(TestCertificates::Good),
//                                                certs.KeyFile(TestCertificates::Good)});
//
// Files: ca.pem and ca-key.pem; for each kind <name>.pem (the certificate) and
// <name>-key.pem, where <name> is Name(kind).
#include <QString>
#include <QTemporaryDir>

#include <memory>

class TestCertificates {
public:
    enum Kind {
        Good,       // from the CA, valid now, for IP 127.0.0.1, IP ::1 and DNS localhost
        Expired,    // from the CA, for the same names, its validity entirely in the past
        WrongName,  // from the CA, valid now, for DNS wrong.example only
        SelfSigned, // not from the CA (its own issuer), valid now, for IP 127.0.0.1, IP ::1 and DNS localhost
        OtherGood,  // as Good, with another key: the server's certificate "changed"
    };

    // Folder: where the files go (it must exist); a temporary folder of this
    // object's own, removed with it, when empty.
    explicit TestCertificates(const QString& folder = {});

    // False when a file could not be made; ErrorText() says which and why.
    bool IsValid() const { return m_error.isEmpty(); }
    const QString& ErrorText() const { return m_error; }

    static QString Name(Kind kind);
    QString Folder() const { return m_folder; }
    QString CAFile() const;
    QString CertFile(Kind kind) const;
    QString KeyFile(Kind kind) const;
    // SHA-256 of the certificate's DER form as upper-case hex pairs joined by ':'
    // (how the client shows it); empty when it could not be read.
    QString Fingerprint(Kind kind) const;

private:
    QString FilePath(const QString& name) const { return m_folder + '/' + name; }
    void Make();

    std::unique_ptr<QTemporaryDir> m_ownFolder;
    QString m_folder;
    QString m_error;
};
