#include "Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {
socklen_t Loopback(int port, sockaddr_storage& record, int family = AF_INET)
{
    record = sockaddr_storage{};
    if (family == AF_INET6) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(record);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(quint16(port));
        v6.sin6_addr = in6addr_loopback;
        return sizeof v6;
    }
    auto& v4 = reinterpret_cast<sockaddr_in&>(record);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(quint16(port));
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sizeof v4;
}

// Both families keep the port at the same place.
int PortOf(const sockaddr_storage& record)
{
    return ntohs(reinterpret_cast<const sockaddr_in&>(record).sin_port);
}

bool WaitReadable(int handle, int timeoutMs)
{
    pollfd entry{handle, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

int BoundPortImpl(int handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    return PortOf(address);
}
}

void PeerSocket::Send(QByteArrayView bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(Handle(), bytes.data() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("peer send failed");
        done += n;
    }
}

QByteArray PeerSocket::Receive(qint64 count, int timeoutMs)
{
    QByteArray result;
    char block[65536];
    while (result.size() < count && WaitReadable(Handle(), timeoutMs)) {
        const ssize_t n = ::recv(Handle(), block, size_t(qMin<qint64>(sizeof block, count - result.size())), 0);
        if (n <= 0)
            break;
        result.append(block, n);
    }
    return result;
}

QByteArray PeerSocket::ReceiveAll(int timeoutMs)
{
    return Receive(std::numeric_limits<qint64>::max(), timeoutMs);
}

void PeerSocket::SetReceiveBuffer(int bytes)
{
    ::setsockopt(Handle(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

PeerListener::PeerListener(int backlog, int family, int port)
    : m_socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_storage address;
    const socklen_t length = Loopback(port, address, family);
    if (::bind(m_socket.Handle(), reinterpret_cast<const sockaddr*>(&address), length) < 0
        || ::listen(m_socket.Handle(), backlog) < 0)
        throw std::runtime_error("peer listen failed");
    m_port = BoundPortImpl(m_socket.Handle());
}

PeerSocket PeerListener::Accept(int timeoutMs)
{
    if (!WaitReadable(m_socket.Handle(), timeoutMs))
        return {};
    return PeerSocket(OwnedSocket(::accept4(m_socket.Handle(), nullptr, nullptr, SOCK_CLOEXEC)));
}

PeerSocket ConnectPeer(int port, int family)
{
    OwnedSocket socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_storage address;
    const socklen_t length = Loopback(port, address, family);
    if (::connect(socket.Handle(), reinterpret_cast<const sockaddr*>(&address), length) < 0)
        throw std::runtime_error("peer connect failed");
    return PeerSocket(std::move(socket));
}

int ClosedPort()
{
    OwnedSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_storage address;
    const socklen_t length = Loopback(0, address);
    ::bind(socket.Handle(), reinterpret_cast<const sockaddr*>(&address), length);
    return BoundPortImpl(socket.Handle());
}

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

bool Eventually(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void After(int ms, std::function<void()> action)
{
    QTimer::singleShot(ms, qApp, std::move(action));
}

Connection::Connection() : socket(std::make_unique<TAsyncSocket>())
{
    socket->Host = QStringLiteral("127.0.0.1");
    socket->Port = listener.Port();
    socket->Connect();
    peer = listener.Accept();
    if (!peer.IsValid())
        throw std::runtime_error("peer did not accept");
}

int BoundPortOf(int handle)
{
    return BoundPortImpl(handle);
}

int PeerPortOf(int handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getpeername(handle, reinterpret_cast<sockaddr*>(&address), &length);
    return PortOf(address);
}

FullListener::FullListener()
{
    for (int i = 0; i < 3; ++i) {
        OwnedSocket filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_storage address;
        const socklen_t length = Loopback(listener.Port(), address);
        ::connect(filler.Handle(), reinterpret_cast<const sockaddr*>(&address), length);
        fillers.push_back(std::move(filler));
    }
    Eventually([] { return false; }, 100); // let the handshakes settle
}
