// TAsyncSocket core: the socket and its notifications, the wait loop, host
// look-up, connecting, closing and cancelling, the time-out timer.
#include "net/AsyncSocket.h"
#include "net/BlockWriter.h"
#include "net/ErrorBoundary.h"
#include "net/ScopeExit.h"
#include "net/SocketAddress.h"
#include "net/TlsLayer.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <climits>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Live components; the first fills its WSAInfo.
std::atomic<int> WinsockUsers{0};

QStringList StartupInfo()
{
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    return {
        QStringLiteral("Version= 1.1"),
        QStringLiteral("High Version= 2.2"),
        QStringLiteral("Description= BSD sockets (Qt %1)").arg(QLatin1String(qVersion())),
        QStringLiteral("System= %1 %2 running").arg(QSysInfo::kernelType(), QSysInfo::kernelVersion()),
        QStringLiteral("Max Sockets= %1").arg(files.rlim_cur == RLIM_INFINITY ? 65535 : qint64(files.rlim_cur)),
        QStringLiteral("Max Udp pack size= 65507"),
    };
}
}

TAsyncSocket::TAsyncSocket(QObject* Owner)
    : QObject(Owner),
      m_timer(new TThreadTimer(this)),
      m_readNotifier(new QSocketNotifier(QSocketNotifier::Read, this)),
      m_writeNotifier(new QSocketNotifier(QSocketNotifier::Write, this))
{
    StatusMessage(LevelTrace, QStringLiteral("Create"));
    m_timer->SetEnabled(false);
    m_timer->SetOnTimer([this](QObject*) { TimerTriggered(); });
    connect(m_readNotifier, &QSocketNotifier::activated, this, Guarded([this](auto&&...) { OnReadReady(); }));
    connect(m_writeNotifier, &QSocketNotifier::activated, this, Guarded([this](auto&&...) { OnWriteReady(); }));

    StatusMessage(LevelTrace, QStringLiteral("Initializing Winsock"));
    if (++WinsockUsers == 1)
        WSAInfo = StartupInfo();
    try {
        OpenSocket();
    } catch (...) {
        --WinsockUsers;
        throw ESockError(QStringLiteral("Initializaton of windows sockets failed"));
    }
}

TAsyncSocket::~TAsyncSocket()
{
    m_destroying = true;
    StatusMessage(LevelTrace, QStringLiteral("Destroy"));
    try {
        Abort();
        Cancel();
        if (m_lookupId >= 0)
            QHostInfo::abortHostLookup(m_lookupId);
        ShuttingDown = true;
        RequestCloseSocket();
    } catch (...) {
        // Nothing may escape a destructor; the socket is closed below in any case.
    }
    CloseHandle();
    --WinsockUsers;
}

// ---------------------------------------------------------------- the socket

// No zero linger here: a reset on close would throw away the tail of an
// upload still in the kernel's buffer, and close() never blocks anyway.
int TAsyncSocket::NewSocketHandle(int family)
{
    const int handle = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (handle < 0)
        SetLastError(errno);
    return handle;
}

// The socket between connections is IPv4: Connect and Listen change it to
// the family they need.
void TAsyncSocket::OpenSocket()
{
    const int handle = NewSocketHandle(AF_INET);
    if (handle < 0)
        RaiseLastError();
    Register(handle);
    m_family = AF_INET;
}

// Swaps the socket for a fresh one of family, silently: it was never a
// connection of its own. False (and the old one kept) when none can be made.
bool TAsyncSocket::ReplaceSocket(int family)
{
    const int handle = NewSocketHandle(family);
    if (handle < 0)
        return false;
    CloseHandle();
    Register(handle);
    m_family = family;
    return true;
}

void TAsyncSocket::Register(int handle)
{
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    m_socket = handle;
    ++m_connection;
    m_readMorePosted = false;
    m_socketUsed = false;
    m_readNotifier->setSocket(handle);
    m_writeNotifier->setSocket(handle);
    m_listenMode = ListenMode::None;
    m_connecting = false;
    m_readWanted = false;
    m_writeWanted = false;
    m_suspended = false;
}

void TAsyncSocket::CloseHandle()
{
    m_tls.reset();
    if (m_socket < 0)
        return;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    ::close(std::exchange(m_socket, -1));
}

// A fresh, never-connected socket reports "hung up" to poll, so read
// notifications are enabled only once the socket connects, listens or is adopted.
void TAsyncSocket::UpdateNotifiers()
{
    if (m_socket < 0)
        return;
    m_readNotifier->setEnabled(m_readWanted && !m_suspended);
    m_writeNotifier->setEnabled(m_writeWanted && !m_suspended);
}

void TAsyncSocket::Fire(const TNotifyEvent& event)
{
    if (event && !m_destroying)
        event(this);
}

// ---------------------------------------------------------------- notifications

void TAsyncSocket::OnReadReady()
{
    if (m_connecting) {
        HandleConnectDone();
        return;
    }
    if (m_listenMode != ListenMode::None) {
        HandleListenReady();
        return;
    }
    Succeeded = true;
    if (m_tls && TlsTookRead())
        return;
    ReadToStream(); // a read of 0 bytes is the peer's close
}

void TAsyncSocket::OnWriteReady()
{
    if (m_connecting) {
        HandleConnectDone();
        return;
    }
    // Stays enabled only while the handler asks to continue.
    m_writeWanted = false;
    if (m_tls && TlsTookWrite()) {
        UpdateNotifiers();
        return;
    }
    WriteFromStream();
    UpdateNotifiers();
}

void TAsyncSocket::HandleConnectDone()
{
    m_connecting = false;
    m_writeWanted = false;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &err, &len) < 0)
        err = errno;
    Succeeded = err == 0;
    if (!Succeeded) {
        SetLastError(err);
        LastErrorNo = m_lastError;
        m_readWanted = false; // a failed socket reports "hung up" for ever
        UpdateNotifiers();
        return;
    }
    m_readWanted = true;
    UpdateNotifiers();
    Connected = true;
    Fire(OnConnect);
    if (m_writeBuffer.size() > m_writeHead)
        PostSendMore();
}

void TAsyncSocket::PostReadMore(bool Even)
{
    // An enabled notifier fires again while bytes wait: no need to post.
    if ((m_readNotifier->isEnabled() && !Even) || std::exchange(m_readMorePosted, true))
        return;
    // Meant for this connection only: one closed meanwhile (a Disconnect right
    // after a TLS read) leaves a fresh socket, which a read would find not
    // connected, an error that would greet the next Connect.
    QMetaObject::invokeMethod(this, Guarded([this, connection = m_connection] {
        if (connection != m_connection)
            return;
        m_readMorePosted = false;
        if (m_socket >= 0 && m_listenMode == ListenMode::None && !m_connecting)
            OnReadReady();
    }), Qt::QueuedConnection);
}

// The continue-send notification is the write notifier itself: it fires on
// the next pass of the event loop if the socket can take data, and costs no
// allocation per block the way a posted call would.
void TAsyncSocket::PostSendMore()
{
    if (m_socket < 0 || m_connecting)
        return;
    m_writeWanted = true;
    UpdateNotifiers();
}

// ---------------------------------------------------------------- the wait loop

// Notifications stopped by a cancel start again with the first operation
// that runs uncancelled, so a connection stays usable after an abort.
void TAsyncSocket::ResumeNotifications()
{
    if (m_suspended && !Canceled) {
        m_suspended = false;
        UpdateNotifiers();
    }
}

void TAsyncSocket::EndCancel()
{
    Canceled = false;
    ResumeNotifications();
}

void TAsyncSocket::WaitUntil(const std::function<bool()>& Done)
{
    ResumeNotifications();
    if (Done() || Canceled)
        return;
    // Every change a wait can end on is made by an event of this thread, so
    // blocking until the next event costs no CPU and misses nothing. Only a
    // deadline needs a timer of its own to wake the loop.
    // The deadline may be moved on while we wait (an inactivity time-out moved
    // by every packet), so the timer re-arms itself from the current deadline.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    const auto arm = [&] {
        if (!WaitDeadline.isForever())
            wake.start(int(std::clamp<qint64>(WaitDeadline.remainingTime(), 0, INT_MAX)));
    };
    QObject::connect(&wake, &QTimer::timeout, arm);
    arm();
    while (!Done() && !Canceled) {
        if (WaitDeadline.hasExpired()) {
            TimedOut = true;
            throw ETimeOutError(QStringLiteral("Timed out waiting for the other side"));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

// ---------------------------------------------------------------- look-up and connect

void TAsyncSocket::ResolveHost()
{
    StatusMessage(LevelTrace, QStringLiteral("Resolve Host"));
    const QString name = Proxy.isEmpty() ? Host : Proxy;
    const in_addr_t dotted = ::inet_addr(name.toUtf8().constData());
    QHostAddress literal;
    if (dotted != INADDR_NONE || ParseIPv6(name, literal)) {
        // An address given as text is used as it is, without a look-up.
        if (dotted != INADDR_NONE)
            literal = QHostAddress(quint32(ntohl(dotted)));
        m_remoteAddress = literal;
        m_candidates.clear();
        if (!literal.isEqual(QHostAddress::AnyIPv4) && !literal.isEqual(QHostAddress::AnyIPv6))
            m_candidates.append(literal);
        return;
    }
    m_remoteAddress = QHostAddress(quint32(0));
    m_candidates.clear();
    StartTimer();
    {
        ScopeExit stop([this] {
            StopTimer();
            if (m_lookupId >= 0) // a cancel or time-out only stops the wait
                QHostInfo::abortHostLookup(std::exchange(m_lookupId, -1));
        });
        AsyncDone = false;
        m_lookupId = StartHostLookup(name);
        WaitUntil([this] { return AsyncDone || TimedOut; });
    }
    if (TimedOut)
        throw ESockError(QStringLiteral("Host Lookup Timed Out"));
    if (Canceled)
        throw ESockError(QStringLiteral("Host Lookup Canceled"));
    if (!Succeeded)
        throw ESockError(QStringLiteral("Host Lookup Failed"));
    m_candidates = m_lookedUp;
    m_remoteAddress = m_candidates.first();
    Fire(OnHostResolved);
}

int TAsyncSocket::StartHostLookup(const QString& Name)
{
    return QHostInfo::lookupHost(Name, this, [this](const QHostInfo& info) { HostLookedUp(info); });
}

void TAsyncSocket::HostLookedUp(const QHostInfo& Info)
{
    if (Info.lookupId() != m_lookupId) // the answer to a look-up nobody waits for any more
        return;
    m_lookupId = -1;
    m_lookedUp.clear();
    if (Info.error() == QHostInfo::NoError) {
        for (const QHostAddress& address : Info.addresses()) {
            const bool usable = address.protocol() == QAbstractSocket::IPv4Protocol
                ? address.toIPv4Address() != 0
                : address.protocol() == QAbstractSocket::IPv6Protocol && !address.isEqual(QHostAddress::AnyIPv6);
            if (usable)
                m_lookedUp.append(address);
        }
    }
    AsyncDone = true;
    Succeeded = !m_lookedUp.isEmpty();
    if (!Succeeded)
        m_lastError = ErrHostNotFound;
}

void TAsyncSocket::Connect()
{
    StatusMessage(LevelTrace, QStringLiteral("Connecting"));
    Canceled = false;
    if (Connected)
        throw ESockError(QStringLiteral("Already connected"));
    for (int tries = 0;; ++tries) {
        try {
            ResolveHost();
        } catch (const ETimeOutError&) {
            throw;
        } catch (const ESockError& e) {
            if (e.Message() != QLatin1String("Host Lookup Failed"))
                throw;
        }
        if (!m_candidates.isEmpty())
            break;
        bool handled = false;
        if (tries == 0 && OnInvalidHost)
            OnInvalidHost(handled);
        if (!handled)
            throw ESockError(QStringLiteral("Null Remote Address"));
    }
    m_remotePort = quint16(Proxy.isEmpty() ? Port : ProxyPort);
    AsyncDone = false;

    // The addresses are tried in turn until one connects; a failed one moves
    // on to the next, and the last one's failure is the one reported. One
    // time-out bounds them all, and a cancel ends them all.
    const QList<QHostAddress> candidates = m_candidates;
    bool timing = false;
    {
        ScopeExit stop([&] {
            if (timing)
                StopTimer();
        });
        for (qsizetype i = 0; i < candidates.size(); ++i) {
            const bool last = i + 1 == candidates.size();
            Succeeded = true;
            if (!StartConnectTo(candidates[i], last))
                continue;
            if (!std::exchange(timing, true))
                StartTimer();
            WaitUntil([this] { return Connected || TimedOut || !Succeeded; });
            if (TimedOut || Canceled || Succeeded || last)
                break;
        }
    }
    if (!TimedOut && !Canceled && Succeeded)
        return;
    // A connection completing after we gave up must not mark this one connected.
    m_connecting = false;
    m_readWanted = false;
    m_writeWanted = false;
    UpdateNotifiers();
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (TimedOut)
        throw ESockError(QStringLiteral("Connection Timed out"));
    if (Canceled)
        throw ESockError(QStringLiteral("Connection Canceled"));
    // The refusal's own text says more than "Connection Failed".
    const QString reason = LookupErrorMessage(LastErrorNo);
    throw ESockError(reason.isEmpty() ? QStringLiteral("Connection Failed") : reason);
}

// Starts the connection to one address on a fresh socket of its family.
// False when the attempt failed at once and is not the last one; the last
// one's failure raises as a single attempt's would.
bool TAsyncSocket::StartConnectTo(const QHostAddress& address, bool last)
{
    sockaddr_storage record{};
    const socklen_t length = ToSockaddr(address, m_remotePort, record);
    if ((m_socketUsed || m_family != record.ss_family) && !ReplaceSocket(record.ss_family)) {
        if (last)
            RaiseLastError();
        return false;
    }
    m_socketUsed = true;
    m_remoteAddress = address;
    if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&record), length) < 0) {
        SetLastError(errno);
        if (!last && m_lastError != ErrWouldBlock)
            return false;
        ErrorManager(ErrWouldBlock);
    }
    m_connecting = true;
    m_readWanted = true;
    m_writeWanted = true;
    UpdateNotifiers();
    return true;
}

void TAsyncSocket::Disconnect()
{
    StatusMessage(LevelTrace, QStringLiteral("Disconnecting"));
    RequestCloseSocket();
}

void TAsyncSocket::RequestCloseSocket()
{
    StatusMessage(LevelStep, QStringLiteral("Request Close Socket"));
    Connected = false;
    if (m_socket < 0)
        return;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    // A TLS connection given up (a stopped transfer) still says goodbye: servers
    // throw away the TLS session of a connection that ends without it, and
    // with it the session every later data connection must resume.
    if (Encrypted())
        m_tls->Shutdown();
    m_tls.reset(); // before its socket goes
    m_tlsClosing = false;
    const int handle = std::exchange(m_socket, -1);
    if (::close(handle) < 0 && errno != EINTR) {
        SetLastError(errno);
        ErrorManager(ErrWouldBlock);
    }
    // Unsent bytes belonged to the closed connection; they must not open the next one.
    if (m_writeBuffer.size() > m_writeHead || m_sendFile)
        m_sendError = SocketErrorFromErrno(ENOTCONN);
    m_writeBuffer.clear();
    m_writeHead = 0;
    m_connecting = false;
    m_listenMode = ListenMode::None;
    Fire(OnDisconnect);
    if (!ShuttingDown)
        OpenSocket();
}

void TAsyncSocket::CheckConnected()
{
    for (int tries = 0; !Connected; ++tries) {
        bool handled = false;
        if (tries == 0 && OnConnectionRequired)
            OnConnectionRequired(handled);
        if (!handled)
            throw Exception(QStringLiteral("Not Connected"));
    }
}

void TAsyncSocket::Cancel()
{
    StatusMessage(LevelTrace, QStringLiteral("Canceling"));
    Canceled = true;
}

void TAsyncSocket::Abort()
{
}

QString TAsyncSocket::RemoteIP() const
{
    return Unmapped(m_remoteAddress).toString();
}

// ---------------------------------------------------------------- time-out timer

void TAsyncSocket::StartTimer()
{
    StatusMessage(LevelTrace, QStringLiteral("Timer On"));
    TimedOut = false;
    m_timer->SetInterval(quint32(qMax(0, TimeOut)));
    m_timer->SetEnabled(true);
}

void TAsyncSocket::StopTimer()
{
    StatusMessage(LevelTrace, QStringLiteral("Timer Off"));
    m_timer->SetEnabled(false);
}

void TAsyncSocket::TimerTriggered()
{
    StatusMessage(LevelTrace, QStringLiteral("Timer Triggered"));
    StopTimer();
    TimedOut = true;
    Abort();
}
