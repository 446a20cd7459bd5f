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

#include <deque>
#include <map>
#include <vector>
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
    Keep,   // its sessions are kept for others to resume (a control connection)
    Resume, // resumes a kept session, and keeps the server's new ones (a data connection)
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

    // Offers the newest kept session to Ssl for resumption, if there is one. A
    // TLS 1.3 ticket is offered once only (servers such as vsftpd accept each
    // once); a TLS 1.2 session serves every connection.
    void OfferSession(ssl_st* Ssl);
    void ForgetSessions() { m_sessions.clear(); }
    // Offers TLS 1.2 at most (true) or every version from 1.2 on (false), from
    // the next connection on.
    void LimitToTls12(bool limit);
    // How many sessions the server has given so far.
    int SessionsReceived() const { return m_received; }
    // Keeps the sessions the server gives Ssl (at the handshake, or in TLS 1.3
    // tickets after it) for later connections. UntilCleanEnd: held back until
    // EndOf says the connection ended with a TLS close, since servers drop the
    // sessions of a connection that was cut (an aborted transfer).
    void KeepSessionsOf(ssl_st* Ssl, bool UntilCleanEnd = false);
    void EndOf(ssl_st* Ssl, bool Clean);

private:
    static int NewSession(ssl_st* Ssl, ssl_session_st* Session);
    void Keep(ssl_session_st* Session);

    struct FreeCtx { void operator()(ssl_ctx_st* p) const; };
    struct FreeSession { void operator()(ssl_session_st* p) const; };
    using Session = std::unique_ptr<ssl_session_st, FreeSession>;
    std::unique_ptr<ssl_ctx_st, FreeCtx> m_ctx;
    std::deque<Session> m_sessions; // oldest first
    std::map<ssl_st*, std::vector<Session>> m_heldBack; // of connections still running
    int m_received = 0;
    QString m_caFile;
};
