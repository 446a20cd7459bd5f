// TAsyncSocket over TLS: the handshake and the close driven by the socket's
// notifications, and the reads and writes that go through the TLS layer.
#include "net/AsyncSocket.h"
#include "net/BlockWriter.h"
#include "net/TlsLayer.h"

#include <cerrno>
#include <sys/socket.h>

namespace {
// A TLS record holds up to 16 KiB; one notification takes several at once.
constexpr qint64 TlsReadSize = 4 * 16384;
}

// ---------------------------------------------------------------- handshake

void TAsyncSocket::BeginTls(TTlsContext& Context, const QString& PeerName, TTlsSession Session)
{
    StatusMessage(LevelStep, QStringLiteral("Starting TLS"));
    if (m_socket < 0 || !Connected)
        throw Exception(QStringLiteral("Not Connected"));
    // Bytes that came before the handshake were read as plain text: whatever
    // they were, they cannot be part of it.
    if (BufferedCount() > 0)
        throw ESockError(QStringLiteral("The TLS handshake with %1 failed: data arrived before it").arg(PeerName));
    m_tls = std::make_unique<TTlsLayer>(Context, m_socket, PeerName, Session);
    m_tlsPeer = PeerName;
    m_tlsError.clear();
    m_tlsClosedCleanly = false;
    m_tlsReadAfterWrite = false;
    m_tlsWriteAfterRead = false;
    ContinueHandshake();
}

void TAsyncSocket::FinishTls()
{
    if (!m_tls)
        throw Exception(QStringLiteral("Not Connected"));
    WaitUntil([this] { return !m_tls || m_tls->HandshakeDone() || m_tls->Failed(); });
    if (Canceled)
        throw EAbortError(QStringLiteral("The TLS handshake with %1 was stopped").arg(m_tlsPeer));
    if (m_tls && m_tls->HandshakeDone())
        return;
    const QString reason = m_tls ? m_tls->Error() : QStringLiteral("the connection was closed");
    RequestCloseSocket();
    throw ESockError(QStringLiteral("The TLS handshake with %1 failed: %2").arg(m_tlsPeer, reason));
}

void TAsyncSocket::StartTls(TTlsContext& Context, const QString& PeerName, TTlsSession Session)
{
    BeginTls(Context, PeerName, Session);
    FinishTls();
}

void TAsyncSocket::ContinueHandshake()
{
    if (m_tls->Handshake()) {
        StatusMessage(LevelStep, QStringLiteral("TLS established"));
        m_writeWanted = m_writeBuffer.size() > m_writeHead;
        UpdateNotifiers();
        if (m_tls->HasPending())
            PostReadMore(true);
        return;
    }
    // A failed connection stays readable (its end) for ever: no more notifications.
    m_readWanted = !m_tls->Failed();
    m_writeWanted = m_tls->Wanted() == TTlsLayer::Want::Write;
    UpdateNotifiers();
}

bool TAsyncSocket::Encrypted() const { return m_tls && m_tls->HandshakeDone(); }

TCertificateInfo TAsyncSocket::PeerCertificate() const
{
    return Encrypted() ? m_tls->PeerCertificate() : TCertificateInfo{};
}

QString TAsyncSocket::TlsDescription() const { return Encrypted() ? m_tls->Description() : QString(); }

bool TAsyncSocket::TlsSessionReused() const { return Encrypted() && m_tls->SessionReused(); }

int TAsyncSocket::TlsVersion() const { return Encrypted() ? m_tls->Version() : 0; }

// ---------------------------------------------------------------- the close

void TAsyncSocket::CloseTls()
{
    if (!Encrypted() || m_socket < 0)
        return;
    m_tlsClosing = true;
    ContinueTlsClose();
    WaitUntil([this] { return !m_tlsClosing; });
    // Our end of the stream; the peer still reads what is in flight, and what it
    // sends (TLS 1.3 tickets, its own close) is still read, so that the final
    // close does not reset the connection and make it drop unread data.
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_WR);
}

void TAsyncSocket::ContinueTlsClose()
{
    const bool done = m_tls->Shutdown() || m_tls->Failed();
    m_tlsClosing = !done;
    m_writeWanted = !done && m_tls->Wanted() == TTlsLayer::Want::Write;
    UpdateNotifiers();
}

// The peer's end, seen by the read that found it: whether its TLS close came first.
void TAsyncSocket::NoteTlsClose()
{
    if (!m_tls)
        return;
    m_tlsClosedCleanly = m_tls->ClosedCleanly();
    // Answered in kind: a server may not let a session that ended without our
    // TLS close be resumed by the next data connection.
    if (m_tlsClosedCleanly)
        m_tls->Shutdown();
}

// ---------------------------------------------------------------- notifications

bool TAsyncSocket::TlsTookRead()
{
    if (!m_tls->HandshakeDone() && !m_tls->Failed()) {
        ContinueHandshake();
        return true;
    }
    if (std::exchange(m_tlsWriteAfterRead, false))
        PostSendMore();
    return false;
}

bool TAsyncSocket::TlsTookWrite()
{
    if (!m_tls->HandshakeDone()) {
        if (!m_tls->Failed())
            ContinueHandshake();
        return true;
    }
    if (m_tlsClosing) {
        ContinueTlsClose();
        return true;
    }
    if (std::exchange(m_tlsReadAfterWrite, false))
        PostReadMore(true);
    return false;
}

// ---------------------------------------------------------------- reading and writing

// Reads what the TLS layer can give now, several records at once. Returns as
// recv does: the count, 0 for the peer's end, -1 (errno EAGAIN) for nothing yet.
qint64 TAsyncSocket::ReceiveTls()
{
    QByteArray block;
    if (!m_captureWriter)
        block.resize(TlsReadSize);
    char* space = m_captureWriter ? m_captureWriter->Space(TlsReadSize) : block.data();
    qint64 total = 0;
    qint64 n = 0;
    while (total < TlsReadSize && (n = m_tls->Read(space + total, TlsReadSize - total)) > 0)
        total += n;
    if (total > 0) {
        if (m_captureWriter) {
            FileBlock(space, total);
            CaptureWritten(m_captureWriter->Commit(total));
        }
        else
            m_readBuffer.append(block.constData(), total);
        return total;
    }
    if (n < 0) {
        if (m_tls->Wanted() == TTlsLayer::Want::Write) {
            m_tlsReadAfterWrite = true;
            m_writeWanted = true;
            UpdateNotifiers();
        }
        errno = EAGAIN;
        return -1;
    }
    if (m_tls->Failed())
        m_tlsError = m_tls->Error();
    return 0;
}

// Whether more may wait than the read took: a full plain block, or bytes (or
// the peer's end) already inside the TLS layer, which the socket will not announce.
bool TAsyncSocket::MoreToRead(qint64 received) const
{
    if (m_tls)
        return m_tls->HasPending() || received == TlsReadSize || m_tls->Failed() || m_tls->ClosedCleanly();
    return received == BlockSize;
}

qint64 TAsyncSocket::SendTls(const char* data, qint64 count)
{
    const qint64 n = m_tls->Write(data, count);
    if (n >= 0 && !(n == 0 && m_tls->Failed()))
        return n;
    if (m_tls->Failed()) {
        m_tlsError = m_tls->Error();
        errno = ECONNRESET;
        return -1;
    }
    m_tlsWriteAfterRead = m_tls->Wanted() == TTlsLayer::Want::Read;
    errno = EAGAIN;
    return -1;
}
