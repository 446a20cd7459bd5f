#pragma once
// TLS for TAsyncSocket (OpenSSL 3): the settings and session cache that a control
// connection shares with its data connections, and what a peer's certificate says.
//
// The socket is always the TLS client (also on an accepted data connection), speaks
// TLS 1.2 or newer, and checks the peer's certificate against the system's trust
// store (plus an optional CA file) and the name or address it connected to. The
// check does not stop the handshake: the caller decides after it, from
// TCertificateInfo, before anything is sent inside the connection.
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

struct ssl_ctx_st;
struct ssl_session_st;
struct ssl_st;

struct TCertificateInfo {
    QString Host;           // the name or address the certificate was checked against
    int Port = 0;
    QString Subject;        // one line: "CN=ftp.example.org, O=Example"
    QString Issuer;
    QDateTime NotBefore;    // UTC
    QDateTime NotAfter;     // UTC
    QString Fingerprint;    // SHA-256 of the certificate: upper-case hex pairs joined by ':'
    QByteArray Der;         // the certificate itself
    bool Verified = false;  // a trusted chain, in its validity period, for Host
    QString Reason;         // why it did not verify, in words; empty when it did
};

// What a connection does with the context's session.
enum class TTlsSession {
    Keep,   // its sessions become the one to resume (a control connection)
    Resume, // offers the kept session (a data connection)
    Fresh,  // a full handshake, nothing kept
};

class TTlsContext {
public:
    // CAFile: CA certificates (PEM) trusted besides the system's; empty = the system's only.
    // Throws ESockError when OpenSSL cannot be set up or the file cannot be read.
    explicit TTlsContext(const QString& CAFile = {});
    ~TTlsContext();
    TTlsContext(const TTlsContext&) = delete;
    TTlsContext& operator=(const TTlsContext&) = delete;

    ssl_ctx_st* Handle() const { return m_ctx.get(); }
    const QString& CAFile() const { return m_caFile; }

    // The session of the connection whose sessions are kept (TTlsSession::Keep:
    // the control connection), as the server last updated it (TLS 1.3 sends it
    // after the handshake); none before. The pointer stays owned here.
    ssl_session_st* SessionToResume() const { return m_session.get(); }
    void ForgetSession() { m_session.reset(); }
    // Marks Ssl's sessions as the ones to keep.
    void KeepSessionsOf(ssl_st* Ssl);

private:
    static int NewSession(ssl_st* Ssl, ssl_session_st* Session);

    struct FreeCtx { void operator()(ssl_ctx_st* p) const; };
    struct FreeSession { void operator()(ssl_session_st* p) const; };
    std::unique_ptr<ssl_ctx_st, FreeCtx> m_ctx;
    std::unique_ptr<ssl_session_st, FreeSession> m_session;
    QString m_caFile;
};
