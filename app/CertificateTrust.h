#pragma once
// The server certificates a user chose to trust always, one per server (host and
// port), in a file of the user's own, and the rule that decides when a server's
// certificate needs the user's answer.
//
// A pinned certificate is trusted by its SHA-256 fingerprint: the same server
// showing another one, even one that verifies, is a change the user must see.
#include "net/Tls.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct TPinnedCertificate {
    QString Host;
    int Port = 0;
    QString Fingerprint; // as TCertificateInfo shows it: "AB:CD:..."
    QString Subject;
    QByteArray Der;
};

// What a server's certificate needs before the session may go on.
enum class TCertificateCheck {
    Accept,    // pinned and unchanged, or not pinned and verified
    Ask,       // not pinned and not verified
    AskChanged // pinned, and this is another certificate
};

TCertificateCheck CheckCertificate(const TCertificateInfo& certificate,
                                   const std::optional<TPinnedCertificate>& pinned);

// "<folder>/trusted-certificates": beside the user's other settings; empty without a folder,
// and then nothing is pinned and nothing can be.
QString TrustedCertificatesFileName(const QString& configFolder);
// "tls-hosts" beside the trusted certificates: the servers that have spoken TLS.
QString TlsHostsFileName(const QString& trustedCertificatesFile);

class TCertificateTrust {
public:
    explicit TCertificateTrust(QString fileName) : m_fileName(std::move(fileName)) {}

    const QString& FileName() const { return m_fileName; }

    // The certificate pinned for the server; none when the file has none for it
    // or cannot be read (see Problem). The file is read each time, so that
    // windows running side by side agree. A file that other users may change
    // (or that another user owns) is not trusted: nothing in it counts.
    std::optional<TPinnedCertificate> Pinned(const QString& host, int port) const;
    // Why the last read found the file unusable, in words for the user; empty when it was fine.
    const QString& Problem() const { return m_problem; }
    // Problem(), the first time it is found only: the user is told once.
    QString UntoldProblem() const;

    // Whether the server has shown TLS before: a pinned certificate, or a TLS
    // session remembered in TlsHostsFileName(FileName()).
    bool ShownTls(const QString& host, int port) const;
    // Remembers that the server spoke TLS, in a file as private as the pins and
    // replaced in one step. Best effort: a failure only loses the memory.
    void RememberTls(const QString& host, int port);

    // Pins the certificate for its host and port, replacing an older pin there
    // and keeping every other entry. The file is readable by its owner only from
    // its first byte on, and replaced whole or not at all. Throws Exception with
    // the reason when it cannot be written; a file that cannot be read is never
    // replaced, so no earlier pin is lost.
    void Trust(const TCertificateInfo& certificate);

private:
    mutable QString m_problem;
    mutable QString m_told; // the problem the user was told about
    QString m_fileName;
};

// The certificate in PEM form, for the file and for anyone who wants to inspect it.
QByteArray PemText(const QByteArray& der);
