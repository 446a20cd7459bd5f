#pragma once
// TTlsLayer: one OpenSSL connection over a non-blocking socket, as the TLS client.
// Its calls never block: each says whether it needs the socket to become readable
// or writable first, and the owning TAsyncSocket calls again when it is.
#include "net/Tls.h"

#include <QString>

class TTlsLayer {
public:
    enum class Want { Nothing, Read, Write };

    // Throws ESockError when OpenSSL cannot make the connection object. A
    // resuming connection must end before Context does.
    TTlsLayer(TTlsContext& Context, int Socket, const QString& PeerName, TTlsSession Session);
    ~TTlsLayer();
    TTlsLayer(const TTlsLayer&) = delete;
    TTlsLayer& operator=(const TTlsLayer&) = delete;

    // One step of the handshake: true when it is complete. Failed() tells a
    // failure from a step that waits (Wanted()).
    bool Handshake();
    bool HandshakeDone() const { return m_handshakeDone; }

    // Like recv and send: the count of bytes (> 0); 0 when the peer closed (Read,
    // see ClosedCleanly) or the connection failed (Failed); -1 when the socket
    // must become ready first (Wanted). Write takes as much as the socket does.
    qint64 Read(char* Data, qint64 Size);
    qint64 Write(const char* Data, qint64 Size);
    // Sends the TLS close: true when it has left, false when it waits (Wanted) or failed.
    bool Shutdown();

    Want Wanted() const { return m_want; }
    bool Failed() const { return !m_error.isEmpty(); }
    const QString& Error() const { return m_error; }
    // The peer sent its TLS close (close_notify).
    bool ClosedCleanly() const { return m_closedCleanly; }
    // Decrypted bytes wait inside the layer: the socket will not say so.
    bool HasPending() const;

    TCertificateInfo PeerCertificate() const;
    QString Description() const;
    bool SessionReused() const;
    int Version() const;

private:
    // Sorts a call's result: true when it may be retried once the socket is ready.
    bool Classify(int result);

    ssl_st* m_ssl;
    TTlsContext* m_heldBy = nullptr; // holds this connection's sessions until its end
    Want m_want = Want::Nothing;
    QString m_error;
    bool m_handshakeDone = false;
    bool m_closedCleanly = false;
    bool m_peerClosed = false;
};
