#pragma once
// Plain loopback peers for the socket tests: blocking POSIX sockets of the
// test itself, with poll time-outs so that a broken component fails a test
// instead of hanging it.
#include "net/AsyncSocket.h"
#include "net/ErrorBoundary.h"

#include <QByteArray>
#include <QString>

#include <sys/socket.h>
#include <vector>

// Bytes whose position can be told from their value, so a lost, doubled or
// reordered block shows as a mismatch.
inline QByteArray Pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// The error a connect raises, or "(connected)".
inline QString ConnectError(TAsyncSocket& socket)
{
    try {
        socket.Connect();
    } catch (const ESockError& e) {
        return e.Message();
    }
    return QStringLiteral("(connected)");
}

class PeerSocket {
public:
    PeerSocket() = default;
    explicit PeerSocket(OwnedSocket socket) : m_socket(std::move(socket)) {}

    bool IsValid() const { return m_socket.IsValid(); }
    int Handle() const { return m_socket.Handle(); }
    void Send(QByteArrayView bytes);
    // Reads until count bytes arrived, the peer closed, or timeoutMs passed.
    QByteArray Receive(qint64 count, int timeoutMs = 5000);
    // Reads until the other side closes (or timeoutMs passes).
    QByteArray ReceiveAll(int timeoutMs = 5000);
    void SetReceiveBuffer(int bytes);
    void Close() { m_socket = OwnedSocket(); }

private:
    OwnedSocket m_socket;
};

// Listens on the loopback address of family (127.0.0.1 or ::1), on port or a free one.
class PeerListener {
public:
    explicit PeerListener(int backlog = 8, int family = AF_INET, int port = 0);
    int Port() const { return m_port; }
    PeerSocket Accept(int timeoutMs = 5000);

private:
    OwnedSocket m_socket;
    int m_port = 0;
};

// A blocking connection to 127.0.0.1:port (::1 for AF_INET6).
PeerSocket ConnectPeer(int port, int family = AF_INET);

// A loopback port where nothing listens (bound, closed again).
int ClosedPort();

#include <functional>
#include <memory>

// Runs the event loop until condition holds or timeoutMs passes.
bool Eventually(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs action from the event loop after ms milliseconds, that is inside
// whatever wait the component is in by then.
void After(int ms, std::function<void()> action);

// A component connected to a peer socket of the test.
struct Connection {
    Connection();
    PeerListener listener;
    std::unique_ptr<TAsyncSocket> socket;
    PeerSocket peer;
};

// The local port a socket is bound to, and the port of its peer.
int BoundPortOf(int handle);
int PeerPortOf(int handle);

// A listener on 127.0.0.1 whose accept queue is full: the kernel drops
// further SYNs, so a connect to it never completes.
struct FullListener {
    FullListener();
    PeerListener listener{0};
    std::vector<OwnedSocket> fillers;
};
