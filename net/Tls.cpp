// TLS through OpenSSL: the shared context, the layer on one socket, and the
// certificate's description for the user.
#include "net/TlsLayer.h"

#include "net/AsyncSocket.h"

#include <QFile>
#include <QHostAddress>
#include <QTimeZone>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/socket.h>

namespace {

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the
// peer has reset the connection and kills the whole program. This one sends
// with MSG_NOSIGNAL, so a reset peer is an error of that connection only.
int SocketOf(BIO* bio) { return int(reinterpret_cast<intptr_t>(BIO_get_data(bio))); }

int SendNoSignal(BIO* bio, const char* data, size_t size, size_t* written)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(SocketOf(bio), data, size, MSG_NOSIGNAL);
    if (n >= 0) {
        *written = size_t(n);
        return 1;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        BIO_set_retry_write(bio);
    return 0; // errno stays for SSL_ERROR_SYSCALL
}

int ReceiveFromSocket(BIO* bio, char* data, size_t size, size_t* got)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(SocketOf(bio), data, size, 0);
    if (n > 0) {
        *got = size_t(n);
        return 1;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    else if (n == 0)
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    return 0;
}

long SocketControl(BIO* bio, int command, long, void*)
{
    switch (command) {
    case BIO_CTRL_FLUSH: // every send goes straight to the kernel
    case BIO_CTRL_DUP:
        return 1;
    case BIO_C_GET_FD:
        return SocketOf(bio);
    case BIO_CTRL_EOF:
        return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0;
    default:
        return 0;
    }
}

int StartSocketBio(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* NoSignalSocketMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                     "socket without SIGPIPE");
        if (m) {
            BIO_meth_set_write_ex(m, SendNoSignal);
            BIO_meth_set_read_ex(m, ReceiveFromSocket);
            BIO_meth_set_ctrl(m, SocketControl);
            BIO_meth_set_create(m, StartSocketBio);
        }
        return m;
    }();
    return method;
}

// The socket stays the caller's: freeing the BIO does not close it.
BIO* NoSignalSocketBio(int socket)
{
    const BIO_METHOD* method = NoSignalSocketMethod();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (bio)
        BIO_set_data(bio, reinterpret_cast<void*>(intptr_t(socket)));
    return bio;
}

// The oldest error OpenSSL queued on this thread, in words; the queue is emptied.
QString OpenSslError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return {};
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    // "error:0A000086:SSL routines::certificate verify failed": the reason is the last part.
    const QString full = QString::fromLatin1(text);
    return full.section(u':', -1).trimmed();
}

QString NameText(const X509_NAME* name)
{
    BIO* bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QString text = QString::fromUtf8(data, size);
    BIO_free(bio);
    return text;
}

QDateTime TimeOf(const ASN1_TIME* time)
{
    tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

QString FingerprintOf(const X509* certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(certificate, EVP_sha256(), digest, &length);
    return QByteArray(reinterpret_cast<const char*>(digest), length).toHex(':').toUpper();
}

QByteArray DerOf(X509* certificate)
{
    const int length = i2d_X509(certificate, nullptr);
    QByteArray der(length > 0 ? length : 0, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    i2d_X509(certificate, &out);
    return der;
}

} // namespace

// ---------------------------------------------------------------- TTlsContext

void TTlsContext::FreeCtx::operator()(ssl_ctx_st* p) const { SSL_CTX_free(p); }
void TTlsContext::FreeSession::operator()(ssl_session_st* p) const { SSL_SESSION_free(p); }

TTlsContext::TTlsContext(const QString& CAFile) : m_ctx(SSL_CTX_new(TLS_client_method())), m_caFile(CAFile)
{
    if (!m_ctx)
        throw ESockError(QStringLiteral("TLS cannot be set up: %1").arg(OpenSslError()));
    SSL_CTX_set_min_proto_version(m_ctx.get(), TLS1_2_VERSION);
    // The certificate is judged after the handshake, from its verification
    // result, so that the user can be asked about one that does not verify.
    SSL_CTX_set_verify(m_ctx.get(), SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(m_ctx.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_set_default_verify_paths(m_ctx.get()) != 1)
        ERR_clear_error(); // no system store: only the CA file, if any, is trusted
    if (!CAFile.isEmpty()
        && SSL_CTX_load_verify_locations(m_ctx.get(), QFile::encodeName(CAFile).constData(), nullptr) != 1)
        throw ESockError(QStringLiteral("The CA certificates in \"%1\" cannot be read: %2").arg(CAFile, OpenSslError()));
    // The control connection's sessions are caught here for its data connections.
    SSL_CTX_set_session_cache_mode(m_ctx.get(), SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(m_ctx.get(), &TTlsContext::NewSession);
}

TTlsContext::~TTlsContext() = default;

void TTlsContext::LimitToTls12(bool limit)
{
    SSL_CTX_set_max_proto_version(m_ctx.get(), limit ? TLS1_2_VERSION : 0);
}

void TTlsContext::KeepSessionsOf(ssl_st* Ssl, bool UntilCleanEnd)
{
    SSL_set_app_data(Ssl, this);
    if (UntilCleanEnd)
        m_heldBack[Ssl];
}

int TTlsContext::NewSession(ssl_st* Ssl, ssl_session_st* Session)
{
    auto* self = static_cast<TTlsContext*>(SSL_get_app_data(Ssl));
    if (!self)
        return 0; // not kept: OpenSSL frees it
    ++self->m_received;
    const auto held = self->m_heldBack.find(Ssl);
    if (held != self->m_heldBack.end())
        held->second.emplace_back(Session);
    else
        self->Keep(Session);
    return 1;
}

void TTlsContext::Keep(ssl_session_st* Session)
{
    // A few in hand: the connection that would bring the next may end first.
    constexpr size_t Kept = 4;
    m_sessions.emplace_back(Session);
    if (m_sessions.size() > Kept)
        m_sessions.pop_front();
}

void TTlsContext::EndOf(ssl_st* Ssl, bool Clean)
{
    const auto held = m_heldBack.find(Ssl);
    if (held == m_heldBack.end())
        return;
    if (Clean)
        for (Session& session : held->second)
            Keep(session.release());
    m_heldBack.erase(held);
}

void TTlsContext::OfferSession(ssl_st* Ssl)
{
    if (m_sessions.empty())
        return;
    SSL_set_session(Ssl, m_sessions.back().get()); // takes its own reference
    // The last one stays: a server that gives no new ticket may take it again.
    if (m_sessions.size() > 1 && SSL_SESSION_get_protocol_version(m_sessions.back().get()) == TLS1_3_VERSION)
        m_sessions.pop_back();
}

// ---------------------------------------------------------------- TTlsLayer

TTlsLayer::TTlsLayer(TTlsContext& Context, int Socket, const QString& PeerName, TTlsSession Session)
    : m_ssl(SSL_new(Context.Handle()))
{
    if (!m_ssl)
        throw ESockError(QStringLiteral("TLS cannot be set up: %1").arg(OpenSslError()));
    BIO* bio = NoSignalSocketBio(Socket);
    if (!bio) {
        SSL_free(m_ssl);
        throw ESockError(QStringLiteral("TLS cannot be set up: %1").arg(OpenSslError()));
    }
    SSL_set_bio(m_ssl, bio, bio); // the connection owns it now
    SSL_set_connect_state(m_ssl);
    const QByteArray peer = PeerName.toUtf8();
    if (QHostAddress(PeerName).isNull()) {
        SSL_set_tlsext_host_name(m_ssl, peer.constData()); // SNI carries names only
        SSL_set1_host(m_ssl, peer.constData());
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), peer.constData());
    }
    if (Session == TTlsSession::Resume) {
        Context.OfferSession(m_ssl);
        m_heldBy = &Context;
    }
    if (Session != TTlsSession::Fresh)
        Context.KeepSessionsOf(m_ssl, Session == TTlsSession::Resume);
}

TTlsLayer::~TTlsLayer()
{
    // Only a connection that sent its TLS close ended cleanly for the server.
    if (m_heldBy)
        m_heldBy->EndOf(m_ssl, (SSL_get_shutdown(m_ssl) & SSL_SENT_SHUTDOWN) != 0);
    SSL_free(m_ssl);
}

bool TTlsLayer::Classify(int result)
{
    const int error = SSL_get_error(m_ssl, result);
    m_want = Want::Nothing;
    switch (error) {
    case SSL_ERROR_WANT_READ:
        m_want = Want::Read;
        return true;
    case SSL_ERROR_WANT_WRITE:
        m_want = Want::Write;
        return true;
    case SSL_ERROR_ZERO_RETURN:
        m_peerClosed = true;
        m_closedCleanly = true;
        ERR_clear_error();
        return false;
    case SSL_ERROR_SYSCALL: {
        const int err = errno;
        const QString queued = OpenSslError();
        m_peerClosed = true;
        m_error = !queued.isEmpty() ? queued
            : (result == 0 || err == 0) ? QStringLiteral("the other side closed the connection")
                                        : qt_error_string(err);
        return false;
    }
    default: {
        const QString reason = OpenSslError();
        m_peerClosed = true;
        m_error = reason.isEmpty() ? QStringLiteral("TLS error %1").arg(error) : reason;
        return false;
    }
    }
}

bool TTlsLayer::Handshake()
{
    if (m_handshakeDone)
        return true;
    const int result = SSL_do_handshake(m_ssl);
    if (result == 1) {
        m_want = Want::Nothing;
        m_handshakeDone = true;
        return true;
    }
    Classify(result);
    if (m_closedCleanly) // a close in the middle of the handshake is a failure all the same
        m_error = QStringLiteral("the other side closed the connection");
    return false;
}

qint64 TTlsLayer::Read(char* Data, qint64 Size)
{
    if (m_peerClosed)
        return 0;
    size_t got = 0;
    const int result = SSL_read_ex(m_ssl, Data, size_t(Size), &got);
    if (result == 1) {
        m_want = Want::Nothing;
        return qint64(got);
    }
    if (Classify(result))
        return -1;
    // An end without the TLS close: OpenSSL 3 reports it as an error, and it is
    // one for the data it may have cut, but to the socket it is a close.
    return 0;
}

qint64 TTlsLayer::Write(const char* Data, qint64 Size)
{
    qint64 total = 0;
    while (total < Size) {
        size_t written = 0;
        const int result = SSL_write_ex(m_ssl, Data + total, size_t(Size - total), &written);
        if (result != 1) {
            if (!Classify(result))
                return 0;
            break;
        }
        total += qint64(written);
    }
    if (total == Size)
        m_want = Want::Nothing;
    return total > 0 ? total : -1;
}

bool TTlsLayer::Shutdown()
{
    const int result = SSL_shutdown(m_ssl);
    if (result >= 0) {
        m_want = Want::Nothing;
        return true; // 0: ours has left; the peer's is not waited for
    }
    Classify(result);
    return false;
}

bool TTlsLayer::HasPending() const { return SSL_pending(m_ssl) > 0; }

TCertificateInfo TTlsLayer::PeerCertificate() const
{
    TCertificateInfo info;
    X509* certificate = SSL_get1_peer_certificate(m_ssl);
    if (!certificate) {
        info.Reason = QStringLiteral("the server sent no certificate");
        return info;
    }
    info.Subject = NameText(X509_get_subject_name(certificate));
    info.Issuer = NameText(X509_get_issuer_name(certificate));
    info.NotBefore = TimeOf(X509_get0_notBefore(certificate));
    info.NotAfter = TimeOf(X509_get0_notAfter(certificate));
    info.Fingerprint = FingerprintOf(certificate);
    info.Der = DerOf(certificate);
    X509_free(certificate);
    const long result = SSL_get_verify_result(m_ssl);
    info.Verified = result == X509_V_OK;
    if (!info.Verified)
        info.Reason = QString::fromUtf8(X509_verify_cert_error_string(result));
    return info;
}

QString TTlsLayer::Description() const
{
    return QStringLiteral("%1, %2").arg(QString::fromLatin1(SSL_get_version(m_ssl)),
                                        QString::fromLatin1(SSL_get_cipher_name(m_ssl)));
}

bool TTlsLayer::SessionReused() const { return SSL_session_reused(m_ssl) == 1; }

int TTlsLayer::Version() const { return SSL_version(m_ssl); }
