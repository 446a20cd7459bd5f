// TAsyncSocket listening and accepting: the data connections that the
// server opens towards us.
#include "net/AsyncSocket.h"
#include "net/SocketAddress.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

OwnedSocket& OwnedSocket::operator=(OwnedSocket&& other) noexcept
{
    if (this != &other) {
        if (m_handle >= 0)
            ::close(m_handle);
        m_handle = other.Release();
    }
    return *this;
}

OwnedSocket::~OwnedSocket()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

namespace {
// The socket's own address; an IPv4 0.0.0.0:0 when it has none.
sockaddr_storage LocalAddress(int handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (handle < 0 || ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) < 0) {
        address = sockaddr_storage{};
        address.ss_family = AF_INET;
    }
    return address;
}

QHostAddress HostAddressOf(const sockaddr_storage& record)
{
    return Unmapped(QHostAddress(reinterpret_cast<const sockaddr*>(&record)));
}
}

void TAsyncSocket::Listen(bool Sync)
{
    StatusMessage(LevelTrace, QStringLiteral("Listening"));
    if (Port < 0 || Port > 65535)
        throw ESockError(LookupErrorMessage(10022));
    // Text that is no address of either family binds the IPv4 no-address
    // value, which the bind refuses with its own error.
    const in_addr_t dotted = ::inet_addr(BindAddress.toUtf8().constData());
    QHostAddress local;
    if (dotted != INADDR_NONE || !ParseIPv6(BindAddress, local))
        local = QHostAddress(quint32(ntohl(dotted)));
    m_remoteAddress = local;
    m_remotePort = quint16(Port);
    AsyncDone = false;

    sockaddr_storage address{};
    const socklen_t length = ToSockaddr(local, m_remotePort, address);
    if (m_family != address.ss_family && !ReplaceSocket(address.ss_family))
        RaiseLastError();
    m_socketUsed = true;
    // A failed bind or listen would leave Accept waiting for a connection
    // that can never come; say why at once instead.
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), length) < 0
        || ::listen(m_socket, 1) < 0) {
        SetLastError(errno);
        RaiseLastError();
    }
    m_listenMode = Sync ? ListenMode::Sync : ListenMode::Async;
    m_readWanted = true; // an incoming connection is the listener's read event
    m_writeWanted = false;
    UpdateNotifiers();
}

void TAsyncSocket::HandleListenReady()
{
    // Like the platform's accept event: once, until the connection is taken.
    m_readWanted = false;
    UpdateNotifiers();
    int err = 0;
    socklen_t length = sizeof err;
    ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &err, &length);
    Succeeded = err == 0;
    Connected = true;
    if (m_listenMode == ListenMode::Sync)
        AsyncDone = true;
    else
        Fire(OnAccept);
}

OwnedSocket TAsyncSocket::Accept()
{
    WaitUntil([this] { return AsyncDone; });
    if (Canceled)
        throw ESockError(QStringLiteral("Accepting Canceled"));
    if (!Succeeded)
        throw ESockError(QStringLiteral("Error creating Data Connection"));
    StatusMessage(LevelStep, QStringLiteral("Accepting"));
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    OwnedSocket accepted(::accept4(m_socket, reinterpret_cast<sockaddr*>(&peer), &length,
                                   SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!accepted.IsValid()) {
        SetLastError(errno);
        RaiseLastError();
    }
    m_remoteAddress = QHostAddress(reinterpret_cast<const sockaddr*>(&peer));
    m_remotePort = PortOf(peer);
    if (Canceled) {
        Canceled = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    return accepted;
}

void TAsyncSocket::AdoptSocket(OwnedSocket Accepted)
{
    if (!Accepted.IsValid())
        throw ESockError(LookupErrorMessage(10038));
    CloseHandle();
    Register(Accepted.Release());
    m_family = LocalAddress(m_socket).ss_family;
    m_socketUsed = true;
    Connected = true;
    m_readWanted = true;
    UpdateNotifiers();
}

void TAsyncSocket::ListenAgain()
{
    AsyncDone = false;
    m_readWanted = true;
    UpdateNotifiers();
}

QString TAsyncSocket::LocalIP() const
{
    return HostAddressOf(LocalAddress(m_socket)).toString();
}

int TAsyncSocket::LocalPort() const
{
    return PortOf(LocalAddress(m_socket));
}

bool TAsyncSocket::IsIPv6() const
{
    return HostAddressOf(LocalAddress(m_socket)).protocol() == QAbstractSocket::IPv6Protocol;
}

QString TAsyncSocket::LocalIPText() const
{
    return LocalIP().replace(QLatin1Char('.'), QLatin1Char(','));
}

QString TAsyncSocket::LocalPortText() const
{
    const int port = LocalPort();
    return QString::asprintf(",%d,%d", port >> 8, port & 0xFF);
}

void TAsyncSocket::SetLinger(bool On, int Seconds)
{
    const linger option{On ? 1 : 0, Seconds};
    if (::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &option, sizeof option) < 0) {
        SetLastError(errno);
        RaiseLastError();
    }
}
