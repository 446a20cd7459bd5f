// TAsyncSocket listening and accepting: the data connections that the
// server opens towards us.
#include "net/AsyncSocket.h"

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
sockaddr_in LocalAddress(int handle)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (handle < 0 || ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) < 0)
        address = sockaddr_in{};
    return address;
}
}

void TAsyncSocket::Listen(bool Sync)
{
    StatusMessage(LevelTrace, QStringLiteral("Listening"));
    if (Port < 0 || Port > 65535)
        throw ESockError(LookupErrorMessage(10022));
    const in_addr_t local = ::inet_addr(BindAddress.toUtf8().constData());
    m_remoteAddress = ntohl(local);
    m_remotePort = quint16(Port);
    AsyncDone = false;

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_remotePort);
    address.sin_addr.s_addr = local;
    // A failed bind or listen would leave Accept waiting for a connection
    // that can never come; say why at once instead.
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0
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
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    OwnedSocket accepted(::accept4(m_socket, reinterpret_cast<sockaddr*>(&peer), &length,
                                   SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!accepted.IsValid()) {
        SetLastError(errno);
        RaiseLastError();
    }
    m_remoteAddress = ntohl(peer.sin_addr.s_addr);
    m_remotePort = ntohs(peer.sin_port);
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
    const sockaddr_in address = LocalAddress(m_socket);
    return QString::fromLatin1(::inet_ntoa(address.sin_addr));
}

QString TAsyncSocket::LocalIPText() const
{
    return LocalIP().replace(QLatin1Char('.'), QLatin1Char(','));
}

QString TAsyncSocket::LocalPortText() const
{
    const sockaddr_in address = LocalAddress(m_socket);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.sin_port); // network order
    return QString::asprintf(",%d,%d", bytes[0], bytes[1]);
}

void TAsyncSocket::SetLinger(bool On, int Seconds)
{
    const linger option{On ? 1 : 0, Seconds};
    if (::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &option, sizeof option) < 0) {
        SetLastError(errno);
        RaiseLastError();
    }
}
