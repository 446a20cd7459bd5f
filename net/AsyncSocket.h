#pragma once
// TAsyncSocket: one TCP connection (IPv4 or IPv6) whose operations look blocking to the
// caller but keep the GUI event loop running while they wait. Notifications
// (readable, writable, connect done, incoming connection, peer closed) arrive
// as events on the thread that owns the component; every operation that waits
// runs the one wait loop (WaitUntil), which ends on its condition, on
// Canceled, or on the optional WaitDeadline.
//
// TThreadTimer: the repeating timer that bounds host look-up and connecting.
#include "net/Exception.h"
#include "net/Tls.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

class BlockWriter;
class QFile;
class TTlsLayer;
class QHostInfo;
class QSocketNotifier;
class QTimer;

// ---------------------------------------------------------------- exceptions

// Socket failures: look-up, connect, accept, start-up, errors from ErrorManager.
class ESockError : public Exception {
public:
    using Exception::Exception;
};

// An operation that ended because Canceled was set.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// A wait that passed the component's WaitDeadline. TimedOut is set as well.
class ETimeOutError : public ESockError {
public:
    using ESockError::ESockError;
};

// ---------------------------------------------------------------- events

// An unassigned (empty) event is skipped. The sender is the component that fires.
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TOnStatus = std::function<void(QObject* Sender, const QString& Status)>;
using TOnErrorEvent = std::function<void(QObject* Sender, quint16 Errno, const QString& Errmsg)>;
using THandlerEvent = std::function<void(bool& Handled)>;
using TOnHostResolved = std::function<void(QObject* Sender)>;

// Status levels: a report is delivered when its level is at most ReportLevel.
enum StatusLevel : int {
    LevelTraffic = 1,     // protocol traffic (reply lines, commands)
    LevelStep = 4,        // significant socket steps
    LevelTrace = 8,       // entry into each operation and timer step
    LevelErrorCheck = 16, // ErrorManager's checks
};

// Socket notification codes, the low 16 bits of a select notification.
enum SocketEvent : int {
    EventRead = 1,
    EventWrite = 2,
    EventOutOfBand = 4,
    EventAccept = 8,
    EventConnect = 16,
    EventClose = 32,
};

// Error codes of the socket error table that the code itself relies on.
enum SocketErrorCode : int {
    ErrWouldBlock = 10035,
    ErrTimedOut = 10060,
    ErrConnRefused = 10061,
    ErrHostNotFound = 11001,
};

// Maps a Linux errno value onto the socket error table's code (ECONNREFUSED ->
// 10061 ...). A value with no equivalent is returned unchanged, which gives the
// "Unknown Error No. " text.
int SocketErrorFromErrno(int err);

// The value of a reply line's leading decimal digits (at most 10 of them),
// 0 when it does not start with a digit; never wraps.
int ReplyNumberOf(const QString& line);

// The text between the (Index-1)-th and the Index-th Delimiter of Text
// (Index 1: before the first delimiter).
QString NthField(const QString& Text, QChar Delimiter, int Index);

// ---------------------------------------------------------------- OwnedSocket

// Owns one socket descriptor; closes it unless released. Accept hands the
// accepted connection over in one of these so that it cannot leak.
class OwnedSocket {
public:
    OwnedSocket() = default;
    explicit OwnedSocket(int handle) : m_handle(handle) {}
    OwnedSocket(OwnedSocket&& other) noexcept : m_handle(other.Release()) {}
    OwnedSocket& operator=(OwnedSocket&& other) noexcept;
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
    ~OwnedSocket();

    int Handle() const { return m_handle; }
    bool IsValid() const { return m_handle >= 0; }
    int Release() { return std::exchange(m_handle, -1); }

private:
    int m_handle = -1;
};

// ---------------------------------------------------------------- TThreadTimer

// A repeating timer of the GUI event loop. It runs while Enabled, Interval > 0
// and OnTimer is assigned. Setting Enabled or Interval to its current value
// does nothing; setting OnTimer always restarts the period.
class TThreadTimer : public QObject {
    Q_OBJECT
public:
    explicit TThreadTimer(QObject* Owner = nullptr);
    ~TThreadTimer() override;

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool Value);
    quint32 Interval() const { return m_interval; }
    void SetInterval(quint32 Value);
    const TNotifyEvent& OnTimer() const { return m_onTimer; }
    void SetOnTimer(TNotifyEvent Value);

    // Whether the platform timer is armed right now, and ms to its next tick (-1: not armed).
    bool IsArmed() const;
    int RemainingTime() const;

private:
    void UpdateTimer();
    void Tick();

    bool m_enabled = true;
    quint32 m_interval = 1000;
    TNotifyEvent m_onTimer;
    QTimer* m_timer; // child
};

// ---------------------------------------------------------------- TAsyncSocket

class TAsyncSocket : public QObject {
    Q_OBJECT
public:
    // Throws ESockError "Initializaton of windows sockets failed" when no
    // socket can be created.
    explicit TAsyncSocket(QObject* Owner = nullptr);
    // Fires no events; closes the socket without opening a new one.
    ~TAsyncSocket() override;

    // ---- events
    TNotifyEvent OnDataAvailable;  // bytes were appended to the read buffer
    TNotifyEvent OnAccept;         // incoming connection, asynchronous listening
    TNotifyEvent OnConnect;        // connection established
    TNotifyEvent OnDisconnect;     // socket closed by RequestCloseSocket
    TOnErrorEvent OnError;         // socket error
    THandlerEvent OnInvalidHost;   // the host did not resolve; Handled = retry
    TOnHostResolved OnHostResolved;
    THandlerEvent OnConnectionRequired;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnPacketRecvd;    // a block was received while CountBytes
    TNotifyEvent OnPacketSent;     // a block was sent while CountBytes
    TNotifyEvent OnAbort;          // a read notification arrived while Canceled
    // Each block of file data as it moves in SendFile (the bytes the peer took)
    // or CaptureFile (the bytes received), in order: a digest of the transfer
    // is computed from it without reading the file again.
    std::function<void(const char* Data, qint64 Count)> OnFileBlock;

    // ---- settings
    QString Host;       // host name, dotted IPv4 address or IPv6 address (no brackets)
    int Port = 0;       // remote port for Connect, local port for Listen
    int TimeOut = 0;    // ms bound for look-up and connect; 0 = none
    int ReportLevel = 0;
    QString Proxy;      // when not empty, the host actually connected to
    int ProxyPort = 0;
    // Local address for Listen, IPv4 or IPv6; the listening socket is of its family.
    QString BindAddress = QStringLiteral("0.0.0.0");
    // Every wait of this component ends when this deadline passes: TimedOut
    // is set and the operation throws ETimeOutError. Forever = no bound.
    QDeadlineTimer WaitDeadline{QDeadlineTimer::Forever};

    // ---- state (read and written by descendants and owners)
    bool CountBytes = false;
    bool InTransfer = false;   // shared guard of the read and write handlers
    QStringList WSAInfo;       // start-up lines; filled by the first component only
    qint64 BytesSent = 0;
    qint64 BytesRecvd = 0;
    qint64 BytesTotal = 0;
    bool Canceled = false;
    bool ShuttingDown = false;
    int LastErrorNo = 0;
    QString Status;            // last delivered status text
    bool Succeeded = false;
    bool TimedOut = false;
    bool AsyncDone = false;
    QString LastReply;         // with its line end
    int ReplyNumber = 0;       // leading digits of LastReply; saturates, never wraps
    bool SendDone = false;
    bool FileTransfer = false;
    bool Connected = false;

    // ---- core
    virtual void Connect();
    virtual void Disconnect();
    void RequestCloseSocket();
    // Fills the addresses Connect tries, in the resolver's order (IPv6 and IPv4).
    void ResolveHost();
    void CheckConnected();
    void Cancel();
    virtual void Abort();
    // The peer's address: "127.0.0.1", "::1"; an IPv4-mapped address as IPv4.
    QString RemoteIP() const;
    int SocketHandle() const { return m_socket; } // -1 = none
    TThreadTimer* Timer() const { return m_timer; }

    // ---- reading and writing
    // Sends Count bytes of Buffer (Count 0: up to the first NUL).
    void SendBuffer(const char* Buffer, qint64 Count = 0);
    void Write(const QString& Text);   // UTF-8, up to the first NUL
    void Writeln(const QString& Text); // Text (up to a NUL) and CR LF
    // Exactly Count bytes, waiting for them; Count 0: everything buffered, at once.
    QByteArray Read(qint64 Count);
    // The next line with its LF (and any CR before it), decoded as UTF-8.
    // A line longer than MaxLineLength raises ESockError.
    QString ReadLn();
    // The same line as the bytes that came, for callers that decode it themselves.
    QByteArray ReadLineBytes();
    virtual QString Transaction(const QString& Command);
    // From: where in the file to start (a resumed upload); BytesSent counts from there.
    void SendFile(const QString& FileName, qint64 From = 0);
    // Writes everything received until the peer closes into FileName. The file
    // is written in chunks, so it lags BytesRecvd by up to 256 KiB until the
    // capture ends; by then, also when it was cancelled, it holds every byte
    // received, unless a write failed, which the capture raises.
    // Append: the bytes go after what the file holds (a resumed download).
    void CaptureFile(const QString& FileName, bool Append = false);
    // The same into File, open for writing, from where it stands; the caller
    // opened it, so no name is looked up again.
    void CaptureFile(QFile& File);

    // Bytes received and not yet consumed (the in-memory read buffer).
    qint64 BufferedCount() const;
    QByteArrayView BufferedBytes() const; // valid until the next event runs

    // ---- listening and accepting
    void Listen(bool Sync);
    // Waits for the connection announced to a synchronous Listen and accepts it.
    virtual OwnedSocket Accept();
    // Takes an accepted socket over as this component's connection: closes
    // the listening socket and registers the new one for every event.
    // A data connection is made with: Listen(true); ... AdoptSocket(Accept());
    void AdoptSocket(OwnedSocket Accepted);
    // After an accepted connection was turned away: waits for the next one on
    // the same listener, as Listen did.
    void ListenAgain();
    QString LocalIP() const;       // "127.0.0.1", "::1"; an IPv4-mapped address as IPv4
    int LocalPort() const;         // the port this socket is bound to; 0 = none
    // The socket (connected, listening or fresh) speaks IPv6 with an IPv6 peer
    // address: EPRT/EPSV with family 2 rather than PORT.
    bool IsIPv6() const;
    QString LocalIPText() const;   // "127,0,0,1" (for PORT: IPv4 only)
    QString LocalPortText() const; // ",4,1" for port 1025

    // ---- TLS (see Tls.h); the socket is the TLS client
    // Starts the handshake on the connected socket. It runs on in the background,
    // driven by the socket's notifications, until FinishTls waits for its end, so
    // that a server may answer on another connection first. PeerName is the name or
    // address the certificate must be for.
    void BeginTls(TTlsContext& Context, const QString& PeerName, TTlsSession Session);
    // Waits for the handshake; ESockError "The TLS handshake ... failed: <reason>"
    // when it fails (the connection is closed), ETimeOutError or EAbortError as any wait.
    void FinishTls();
    void StartTls(TTlsContext& Context, const QString& PeerName, TTlsSession Session);
    // A handshake completed: everything sent and received on this connection is encrypted.
    bool Encrypted() const;
    TCertificateInfo PeerCertificate() const;
    QString TlsDescription() const; // "TLSv1.3, TLS_AES_256_GCM_SHA384"
    bool TlsSessionReused() const;
    int TlsVersion() const; // 0x0304 for TLS 1.3; 0 without TLS
    // Sends the TLS close (close_notify), waits until it has left and ends the
    // sending half of the connection. Wait for the peer's end before closing:
    // a close with unread bytes resets the connection, and the peer may then
    // drop what it had not read yet.
    void CloseTls();
    // The peer's TLS close came before its TCP close; false when the connection
    // just ended (the data may have been cut) or never ran TLS.
    bool TlsClosedCleanly() const { return m_tlsClosedCleanly; }

    // Switches SO_LINGER. On with 0 seconds resets the connection on close and
    // discards bytes the kernel has not sent yet: never use it after a send.
    void SetLinger(bool On, int Seconds);

    // ---- timer
    void StartTimer();
    void StopTimer();
    void TimerTriggered();

    // ---- status and errors
    void StatusMessage(int Level, const QString& Text);
    QString ErrorManager(quint16 IgnoreCode);
    QString LookupErrorMessage(int Code);

    static constexpr qint64 BlockSize = 16383;
    static constexpr int BlocksPerWake = 64;
    static constexpr qint64 MaxLineLength = 1024 * 1024;

protected:
    // The peer closed the connection (after everything it sent was buffered).
    virtual void PeerClosed() {}
    // Ends the cancelled state: Canceled off, notifications stopped by it on again.
    void EndCancel();

    // The one wait loop: runs the event loop until Done() holds or Canceled is
    // set. Throws ETimeOutError (TimedOut set) when WaitDeadline passes first.
    void WaitUntil(const std::function<bool()>& Done);

    // Starts the asynchronous look-up of Name and returns its id; the answer
    // must come to HostLookedUp, from the event loop.
    virtual int StartHostLookup(const QString& Name);
    void HostLookedUp(const QHostInfo& Info);

private:
    enum class ListenMode { None, Sync, Async };

    void OpenSocket();
    int NewSocketHandle(int family);
    bool ReplaceSocket(int family);
    bool StartConnectTo(const QHostAddress& address, bool last);
    void CloseHandle();
    void Register(int handle);
    void UpdateNotifiers();
    void ResumeNotifications();
    void OnReadReady();
    void OnWriteReady();
    void HandleListenReady();
    void HandleConnectDone();
    void ReadToStream();
    void WriteFromStream();
    qint64 SendChunk(qint64 Limit);
    void CountSent(qint64 Count, bool Last);
    void CloseDrain();
    void EndTransfer();
    // Even: also when the read notifier is on (bytes that wait inside the TLS
    // layer do not wake it).
    void PostReadMore(bool Even = false);
    void PostSendMore();
    void ConsumeRead(qint64 count);
    qint64 ReceiveBlock(int flags);
    qint64 ReceiveTls();
    bool MoreToRead(qint64 received) const;
    qint64 SendTls(const char* data, qint64 count);
    // The TLS layer's part of a notification: true when it took the notification.
    bool TlsTookRead();
    bool TlsTookWrite();
    void ContinueHandshake();
    void ContinueTlsClose();
    void NoteTlsClose();
    void Capture(QFile& File); // the capture, once the file is open
    void CaptureWritten(bool ok);
    void FileBlock(const char* data, qint64 count);
    void SetLastError(int err);
    [[noreturn]] void RaiseLastError();
    void Fire(const TNotifyEvent& event);
    void RaiseTransferFailure();

    int m_socket = -1;
    int m_family = 0;                // of m_socket
    bool m_socketUsed = false;       // m_socket connected, bound or adopted: no fresh one
    int m_lastError = 0;             // the last failed call's code, as WSAGetLastError
    ListenMode m_listenMode = ListenMode::None;
    bool m_connecting = false;
    bool m_readWanted = false;       // read notifications wanted in this state
    bool m_writeWanted = false;      // a write event is awaited (connect or full buffer)
    bool m_suspended = false;        // notifications stopped by a cancel
    bool m_destroying = false;
    bool m_readMorePosted = false;
    quint64 m_connection = 0;        // counts the sockets registered: what a posted read was for
    bool m_readSkipped = false;      // a handler run skipped by InTransfer
    bool m_writeSkipped = false;
    int m_sendError = 0;             // permanent send failure of the current send
    QString m_fileError;             // file failure of the current SendFile/CaptureFile
    QHostAddress m_remoteAddress{quint32(0)};
    quint16 m_remotePort = 0;
    int m_lookupId = -1;
    QList<QHostAddress> m_lookedUp;  // the last look-up's answer
    QList<QHostAddress> m_candidates; // what Connect tries, in this order
    TThreadTimer* m_timer;           // child
    QSocketNotifier* m_readNotifier;  // child
    QSocketNotifier* m_writeNotifier; // child
    QByteArray m_readBuffer;         // bytes before m_readHead are consumed
    qint64 m_readHead = 0;
    QByteArray m_writeBuffer;        // bytes before m_writeHead are sent
    qint64 m_writeHead = 0;
    std::unique_ptr<TTlsLayer> m_tls;     // the TLS layer once BeginTls ran on this connection
    QString m_tlsPeer;                    // whom the handshake is with, for its messages
    QString m_tlsError;                   // why the TLS layer failed, for a send it ended
    bool m_tlsClosedCleanly = false;
    bool m_tlsClosing = false;            // CloseTls waits for the close to leave
    bool m_tlsReadAfterWrite = false;     // a TLS read waits for the socket to take data
    bool m_tlsWriteAfterRead = false;     // a TLS write waits for data to arrive
    QFile* m_captureFile = nullptr;       // the read stream during CaptureFile
    std::unique_ptr<BlockWriter> m_captureWriter; // writes to m_captureFile
    std::unique_ptr<QFile> m_sendFile;    // the write stream during SendFile
    QByteArray m_sendAhead;               // the file read a batch of blocks at a time
    qint64 m_sendAheadOffset = 0;         // where in the file m_sendAhead starts
};
