// TAsyncSocket reading and writing: the read and write handlers, the close
// drain, and the blocking-looking operations built on them.
#include "net/AsyncSocket.h"
#include "net/BlockWriter.h"
#include "net/ScopeExit.h"

#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Transient failures: the next write event resumes the transfer.
bool IsTransient(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR || err == ENOBUFS || err == ENOMEM;
}

QString FileErrorText(const QString& what, const QFile& file)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, file.fileName(), file.errorString());
}
}

// ---------------------------------------------------------------- buffers

qint64 TAsyncSocket::BufferedCount() const
{
    return m_readBuffer.size() - m_readHead;
}

QByteArrayView TAsyncSocket::BufferedBytes() const
{
    return QByteArrayView(m_readBuffer).sliced(m_readHead);
}

// Consumers take bytes from the front; the rest moves down only once the
// consumed part dominates, so reading many lines never shifts a large buffer
// once per line.
void TAsyncSocket::ConsumeRead(qint64 count)
{
    m_readHead += count;
    if (m_readHead >= m_readBuffer.size()) {
        m_readBuffer.clear();
        m_readHead = 0;
    } else if (m_readHead > 65536 && m_readHead * 2 > m_readBuffer.size()) {
        m_readBuffer.remove(0, m_readHead);
        m_readHead = 0;
    }
}

// Receives at most one block and appends it to the read stream. A capture
// receives straight into the file's buffer, saving a copy of every block.
qint64 TAsyncSocket::ReceiveBlock(int flags)
{
    if (m_tls)
        return ReceiveTls();
    if (m_captureWriter) {
        char* space = m_captureWriter->Space(BlockSize);
        const ssize_t n = ::recv(m_socket, space, BlockSize, flags);
        if (n > 0) {
            FileBlock(space, n);
            CaptureWritten(m_captureWriter->Commit(n));
        }
        return n;
    }
    char block[BlockSize + 1];
    const ssize_t n = ::recv(m_socket, block, BlockSize, flags);
    if (n > 0)
        m_readBuffer.append(block, n);
    return n;
}

// A failed write of the capture file ends the capture with the file's error.
void TAsyncSocket::CaptureWritten(bool ok)
{
    if (!ok && m_fileError.isEmpty())
        m_fileError = FileErrorText(QStringLiteral("Cannot write to"), *m_captureFile);
}

void TAsyncSocket::FileBlock(const char* data, qint64 count)
{
    if (OnFileBlock && !m_destroying)
        OnFileBlock(data, count);
}

// ---------------------------------------------------------------- handlers

void TAsyncSocket::ReadToStream()
{
    bool dataRead = false;
    bool closed = false;
    if (Canceled) {
        m_suspended = true; // resumed by the next wait that starts uncancelled
        UpdateNotifiers();
        Fire(OnAbort);
    }
    if (InTransfer) {
        // Quiet until the running handler ends: a handler that shows a modal
        // box would otherwise see this level-triggered notifier spin.
        m_readSkipped = true;
        m_readNotifier->setEnabled(false);
        return;
    }
    {
        InTransfer = true;
        ScopeExit clear([this] { EndTransfer(); });
        StatusMessage(LevelTrace, QStringLiteral("ReadToStream"));
        const qint64 n = ReceiveBlock(0);
        if (n < 0) {
            if (IsTransient(errno))
                return;
            SetLastError(errno);
            LastErrorNo = m_lastError;
            const QString text = LookupErrorMessage(LastErrorNo);
            if (OnError && !m_destroying)
                OnError(this, quint16(LastErrorNo), text);
        } else if (n == 0) {
            closed = true;
        } else {
            if (CountBytes) {
                BytesRecvd += n;
                Fire(OnPacketRecvd);
            }
            dataRead = n > 0;
            if (MoreToRead(n))
                PostReadMore(m_tls != nullptr);
        }
    }
    if (closed)
        CloseDrain();
    else if (dataRead)
        Fire(OnDataAvailable);
}

void TAsyncSocket::WriteFromStream()
{
    if (InTransfer) {
        m_writeSkipped = true;
        return;
    }
    InTransfer = true;
    ScopeExit clear([this] { EndTransfer(); });
    StatusMessage(LevelTrace, QStringLiteral("WriteFromStream"));
    // Large sends while the socket takes them whole: a system call and a pass of
    // the event loop per small block cost more than the block itself on a fast
    // link, and a batch of this size still keeps the loop turning every
    // fraction of a millisecond.
    qint64 budget = BlocksPerWake * BlockSize;
    while (budget > 0) {
        const qint64 sent = SendChunk(budget);
        if (sent <= 0)
            return;
        budget -= sent;
    }
    PostSendMore();
}

// Sends up to Limit bytes of what waits; returns the count if the socket took
// all it was offered and more is waiting, otherwise 0 (finished, stopped, or
// resumed by the next notification).
qint64 TAsyncSocket::SendChunk(qint64 Limit)
{
    if (m_socket < 0)
        return 0;
    const bool fileMode = FileTransfer && m_sendFile;
    const qint64 total = fileMode ? m_sendFile->size() : m_writeBuffer.size() - m_writeHead;
    const qint64 offset = fileMode ? BytesSent : 0;
    if (offset >= total || Canceled || m_sendError != 0 || !m_fileError.isEmpty())
        return 0;

    const char* data = m_writeBuffer.constData() + m_writeHead;
    qint64 r = qMin(Limit, total - offset);
    if (fileMode) {
        // One read serves a whole batch: the file is read as large as it is sent.
        const qint64 ahead = m_sendAheadOffset + m_sendAhead.size() - offset;
        if (offset < m_sendAheadOffset || ahead <= 0) {
            m_sendAhead.resize(qMin(BlocksPerWake * BlockSize, total - offset));
            const ssize_t got = ::pread(m_sendFile->handle(), m_sendAhead.data(), size_t(m_sendAhead.size()), offset);
            const int readError = errno;
            m_sendAhead.resize(qMax<qint64>(got, 0));
            m_sendAheadOffset = offset;
            if (got <= 0) {
                m_fileError = QStringLiteral("Cannot read \"%1\": %2")
                                  .arg(m_sendFile->fileName(), got < 0 ? qt_error_string(readError) : QStringLiteral("the file became shorter"));
                return 0;
            }
        }
        data = m_sendAhead.constData() + (offset - m_sendAheadOffset);
        r = qMin(r, m_sendAheadOffset + m_sendAhead.size() - offset);
    }
    const qint64 n = m_tls ? SendTls(data, r) : ::send(m_socket, data, size_t(r), MSG_NOSIGNAL);
    if (n < 0) {
        const int err = errno;
        SetLastError(err);
        LastErrorNo = m_lastError;
        if (IsTransient(err)) {
            m_writeWanted = !m_tlsWriteAfterRead; // the next write (or read) event resumes
            UpdateNotifiers();
        } else {
            m_sendError = m_lastError; // ends the waiting send instead of hanging it
        }
        return 0;
    }
    if (fileMode)
        FileBlock(data, n);
    if (offset + n >= total) {
        if (!fileMode) {
            m_writeBuffer.clear();
            m_writeHead = 0;
        }
        SendDone = true;
    } else if (!fileMode) {
        m_writeHead += n;
    }
    CountSent(n, SendDone);
    if (SendDone)
        return 0;
    if (n == r && !Canceled)
        return n;
    PostSendMore();
    return 0;
}

// Progress comes once per block of the stream, whatever size the sends had,
// and once more for a short last block; BytesSent stands at the block's end
// while its event runs.
void TAsyncSocket::CountSent(qint64 Count, bool Last)
{
    const qint64 end = BytesSent + Count;
    if (!CountBytes) {
        BytesSent = end;
        return;
    }
    for (qint64 mark = (BytesSent / BlockSize + 1) * BlockSize; mark <= end && !Canceled; mark += BlockSize) {
        BytesSent = mark;
        Fire(OnPacketSent);
    }
    const bool shortTail = Last && end % BlockSize != 0;
    BytesSent = end;
    if (shortTail && !Canceled)
        Fire(OnPacketSent);
}

// A handler run skipped by the guard was the only notice of its direction
// (a continue notification comes once), so it is posted again.
void TAsyncSocket::EndTransfer()
{
    InTransfer = false;
    if (std::exchange(m_readSkipped, false)) {
        UpdateNotifiers();
        PostReadMore();
    }
    if (std::exchange(m_writeSkipped, false))
        PostSendMore();
}

void TAsyncSocket::CloseDrain()
{
    for (;;) {
        if (Canceled)
            break;
        const qint64 n = ReceiveBlock(MSG_DONTWAIT);
        if (n < 1)
            break;
        // Counted too, so that a capture's byte count matches its file.
        if (CountBytes)
            BytesRecvd += n;
    }
    Connected = false;
    NoteTlsClose();
    RequestCloseSocket();
    PeerClosed();
}

void TAsyncSocket::RaiseTransferFailure()
{
    if (!m_fileError.isEmpty())
        throw Exception(m_fileError);
    if (m_sendError != 0 && !m_tlsError.isEmpty())
        throw ESockError(QStringLiteral("The encrypted connection failed: ") + m_tlsError);
    if (m_sendError != 0) {
        LastErrorNo = m_sendError;
        throw ESockError(LookupErrorMessage(m_sendError));
    }
}

// ---------------------------------------------------------------- operations

void TAsyncSocket::SendBuffer(const char* Buffer, qint64 Count)
{
    StatusMessage(LevelStep, QStringLiteral("Sending Buffer"));
    if (Canceled)
        return;
    if (Count == 0)
        Count = qint64(std::strlen(Buffer));
    if (m_writeHead > 0) {
        m_writeBuffer.remove(0, m_writeHead);
        m_writeHead = 0;
    }
    m_writeBuffer.append(Buffer, Count);
    m_sendError = 0;
    if (m_writeBuffer.isEmpty()) {
        SendDone = true; // nothing to send: no write event would ever end the wait
        return;
    }
    SendDone = false;
    PostSendMore();
    WaitUntil([this] { return SendDone || m_sendError != 0; });
    if (Canceled) {
        Canceled = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    RaiseTransferFailure();
}

void TAsyncSocket::Write(const QString& Text)
{
    StatusMessage(LevelTrace, QStringLiteral("Write"));
    // Count 0: up to the first NUL, as the text goes out as a C string.
    SendBuffer(Text.toUtf8().constData(), 0);
}

void TAsyncSocket::Writeln(const QString& Text)
{
    StatusMessage(LevelTrace, QStringLiteral("Writeln"));
    // Cut at a NUL before adding the line end, so that a line always ends.
    const qsizetype nul = Text.indexOf(QChar(0));
    Write((nul < 0 ? Text : Text.left(nul)) + QStringLiteral("\r\n"));
}

QByteArray TAsyncSocket::Read(qint64 Count)
{
    if (ReportLevel >= LevelTrace)
        StatusMessage(LevelTrace, QStringLiteral("Read( %1 )").arg(Count));
    ResumeNotifications();
    if (Count > 0)
        WaitUntil([this, Count] { return BufferedCount() >= Count; });
    if (Canceled) {
        Canceled = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (Count <= 0)
        Count = BufferedCount();
    const QByteArray result = m_readBuffer.mid(m_readHead, Count);
    ConsumeRead(Count);
    return result;
}

QString TAsyncSocket::ReadLn()
{
    return QString::fromUtf8(ReadLineBytes());
}

QByteArray TAsyncSocket::ReadLineBytes()
{
    StatusMessage(LevelTrace, QStringLiteral("ReadLn"));
    qint64 scanned = 0; // bytes already searched for a line feed
    qint64 lineLength = -1;
    WaitUntil([&] {
        const QByteArrayView buffered = BufferedBytes();
        const qsizetype lf = buffered.sliced(scanned).indexOf('\n');
        if (lf >= 0) {
            lineLength = scanned + lf + 1;
            return true;
        }
        scanned = buffered.size();
        return scanned >= MaxLineLength;
    });
    if (Canceled)
        throw EAbortError(QStringLiteral("Socket readln aborted"));
    if (lineLength < 0 || lineLength > MaxLineLength) {
        // A peer that never ends its line must not fill the memory: drop what came.
        ConsumeRead(BufferedCount());
        throw ESockError(QStringLiteral("Received a line longer than %1 bytes").arg(MaxLineLength));
    }
    const QByteArray line(m_readBuffer.constData() + m_readHead, lineLength);
    ConsumeRead(lineLength);
    return line;
}

QString TAsyncSocket::Transaction(const QString& Command)
{
    StatusMessage(LevelTrace, QStringLiteral("Transaction"));
    ReplyNumber = 0;
    Writeln(Command);
    LastReply = ReadLn();
    if (!LastReply.isEmpty()) {
        StatusMessage(LevelTraffic, LastReply);
        ReplyNumber = ReplyNumberOf(LastReply);
    }
    return LastReply;
}

int ReplyNumberOf(const QString& line)
{
    qint64 value = 0;
    for (qsizetype i = 0; i < line.size() && i < 10 && line[i] >= u'0' && line[i] <= u'9'; ++i)
        value = value * 10 + (line[i].unicode() - u'0');
    return int(std::min<qint64>(value, std::numeric_limits<int>::max()));
}

void TAsyncSocket::SendFile(const QString& FileName, qint64 From)
{
    StatusMessage(LevelTrace, QStringLiteral("SendFile"));
    auto file = std::make_unique<QFile>(FileName);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw Exception(FileErrorText(QStringLiteral("Cannot open"), *file));
    m_sendFile = std::move(file);
    m_sendAhead.clear();
    CountBytes = true;
    FileTransfer = true;
    ScopeExit restore([this] {
        m_sendFile.reset();
        m_sendAhead = QByteArray();
        CountBytes = false;
        FileTransfer = false;
        m_fileError.clear(); // raised by now; later sends on this socket must not stop on it
    });
    SendDone = false;
    m_sendError = 0;
    m_fileError.clear();
    BytesSent = qBound<qint64>(0, From, m_sendFile->size());
    BytesTotal = m_sendFile->size();
    PostSendMore();
    WaitUntil([this] { return SendDone || BytesSent >= BytesTotal || m_sendError != 0 || !m_fileError.isEmpty(); });
    if (Canceled) {
        Canceled = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    RaiseTransferFailure();
}

void TAsyncSocket::CaptureFile(const QString& FileName, bool Append)
{
    StatusMessage(LevelTrace, QStringLiteral("CaptureFile"));
    QFile file(FileName);
    // Truncated only when it has content: on ext4 a truncation to zero makes the
    // closing of the written file wait for the data to reach the disk (0.2 s per
    // 256 MiB), and a file created empty just before gains nothing from it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw Exception(FileErrorText(QStringLiteral("Cannot create"), file));
    if (!Append && file.size() > 0 && !file.resize(0))
        throw Exception(FileErrorText(QStringLiteral("Cannot create"), file));
    Capture(file);
}

void TAsyncSocket::CaptureFile(QFile& File)
{
    StatusMessage(LevelTrace, QStringLiteral("CaptureFile"));
    Capture(File);
}

void TAsyncSocket::Capture(QFile& File)
{
    m_captureFile = &File;
    m_captureWriter = std::make_unique<BlockWriter>(File);
    CountBytes = true;
    FileTransfer = true;
    ScopeExit restore([this] {
        m_captureWriter->Flush(); // keep what came, also when the wait ended by an exception
        m_captureWriter.reset();
        m_captureFile = nullptr;
        CountBytes = false;
        FileTransfer = false;
        m_fileError.clear(); // raised by now; later sends on this socket must not stop on it
    });
    m_fileError.clear();
    BytesRecvd = 0;
    // Bytes that arrived before the capture began belong to the file.
    const qint64 early = BufferedCount();
    if (early > 0) {
        FileBlock(m_readBuffer.constData() + m_readHead, early);
        CaptureWritten(m_captureWriter->Append(m_readBuffer.constData() + m_readHead, early));
        BytesRecvd = early;
        ConsumeRead(early);
    }
    WaitUntil([this] { return !Connected || !m_fileError.isEmpty(); });
    CaptureWritten(m_captureWriter->Flush());
    if (Canceled) {
        Canceled = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    RaiseTransferFailure();
}

QString NthField(const QString& Text, QChar Delimiter, int Index)
{
    QString result;
    int count = 0;
    for (const QChar ch : Text) {
        if (ch == Delimiter) {
            if (++count == Index)
                break;
        } else if (count == Index - 1) {
            result += ch;
        }
    }
    return result;
}
