#include "Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {
sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool WaitReadable(int handle, int timeoutMs)
{
    pollfd entry{handle, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

int BoundPortImpl(int handle)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
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

PeerListener::PeerListener(int backlog)
    : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    const sockaddr_in address = Loopback(0);
    if (::bind(m_socket.Handle(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0
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

PeerSocket ConnectPeer(int port)
{
    OwnedSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    if (::connect(socket.Handle(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0)
        throw std::runtime_error("peer connect failed");
    return PeerSocket(std::move(socket));
}

int ClosedPort()
{
    OwnedSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(0);
    ::bind(socket.Handle(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
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
