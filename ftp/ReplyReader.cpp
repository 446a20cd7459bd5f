#include "ftp/ReplyReader.h"

#include "ftp/FTPText.h"
#include "ftp/WireText.h"

#include <QDeadlineTimer>
#include <QScopeGuard>

namespace {

// How long a broken-off transfer waits for the server's word about it (0.95 s).
constexpr qint64 DrainMs = 950;

} // namespace

TReplyReader::TReplyReader(TAsyncSocket& control, TWait wait, const int& timeOutMs, const QString& encoding)
    : m_control(control), m_wait(std::move(wait)), m_timeOutMs(timeOutMs), m_encoding(encoding)
{
}

void TReplyReader::Report(const QString& line)
{
    m_control.StatusMessage(LevelTraffic, DisplayText(line, m_encoding.isEmpty()));
}

QString TReplyReader::Guarded(const std::function<QString()>& step)
{
    ++m_waits;
    m_control.WaitDeadline = DeadlineIn(m_timeOutMs);
    const auto done = qScopeGuard([this] {
        --m_waits;
        m_control.WaitDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
    });
    try {
        return step();
    } catch (const ETimeOutError&) {
        TimedOut();
    } catch (const EServerAbort&) {
        throw;
    } catch (const EAbortError&) {
        if (m_tripped) {
            TakeWatched();
            throw EServerAbort(m_control.LastReply);
        }
        Owe();
        throw;
    }
}

void TReplyReader::TimedOut()
{
    // A reply that comes later would be taken for the answer to the next
    // command, so the conversation cannot go on.
    m_control.TAsyncSocket::Disconnect();
    throw ETimeOutError(QStringLiteral("The server did not answer within %1 s; the connection was closed.")
                            .arg(SecondsText(m_timeOutMs)));
}

QString TReplyReader::ReadLine()
{
    // The socket's own ReadLn would wait on after the server closed the
    // connection; it raises for a line beyond the length cap.
    m_wait([this] {
        return m_control.BufferedBytes().contains('\n') || !m_control.Connected
            || m_control.BufferedCount() > TAsyncSocket::MaxLineLength;
    });
    if (!m_control.Canceled && !m_control.Connected && !m_control.BufferedBytes().contains('\n'))
        throw ESockError(QStringLiteral("The server closed the connection."));
    return DecodeWire(m_control.ReadLineBytes(), m_encoding);
}

QString TReplyReader::ReadReportedLine()
{
    const QString line = Guarded([this] { return ReadLine(); });
    Report(line);
    m_lines << line;
    return line;
}

void TReplyReader::ReadContinuation(QString line)
{
    while (IsReplyContinuation(line))
        line = ReadReportedLine();
}

QString TReplyReader::Exchange(const QString& command)
{
    m_lines.clear();
    const QString first = Guarded([&] {
        m_control.StatusMessage(LevelTrace, QStringLiteral("Transaction"));
        m_control.ReplyNumber = 0;
        // Cut at a NUL, as a line on the wire cannot hold one.
        const QByteArray line = EncodeWire(command.left(command.indexOf(QChar(0))), m_encoding) + "\r\n";
        m_control.SendBuffer(line.constData(), line.size());
        m_control.LastReply = ReadLine();
        if (!m_control.LastReply.isEmpty()) {
            Report(m_control.LastReply);
            m_control.ReplyNumber = ReplyNumberOf(m_control.LastReply);
        }
        return m_control.LastReply;
    });
    m_lines << first;
    ReadContinuation(first);
    return first;
}

QString TReplyReader::Read()
{
    m_lines.clear();
    const QString first = ReadReportedLine();
    m_control.LastReply = first;
    m_control.ReplyNumber = ReplyNumberOf(first);
    ReadContinuation(first);
    return first;
}

void TReplyReader::SettleDebts()
{
    while (m_owed > 0) {
        --m_owed; // owed again if this wait is aborted too
        ReadContinuation(ReadReportedLine());
    }
    m_control.Read(0);
}

QString TReplyReader::Drain()
{
    m_control.Canceled = false;
    m_control.WaitDeadline = QDeadlineTimer(DrainMs);
    try {
        m_wait([this] { return m_control.BufferedCount() > 0; });
    } catch (const ESockError&) {
        // Nothing came: there is nothing to show.
    }
    m_control.WaitDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
    m_control.TimedOut = false;
    m_control.Canceled = false;
    m_owed = 0;
    const QString replies = QString::fromUtf8(m_control.Read(0));
    if (!replies.isEmpty())
        Report(replies);
    return replies;
}

void TReplyReader::Reset(bool newConnection)
{
    m_tripped = false;
    if (newConnection)
        m_owed = 0;
}

void TReplyReader::Watch(bool idle)
{
    if (m_tripped || idle)
        return;
    const QByteArrayView buffered = m_control.BufferedBytes();
    if (buffered.size() > 3 && (buffered.startsWith("421") || buffered.startsWith("426"))) {
        m_tripped = true;
        m_control.Cancel();
    }
}

void TReplyReader::TakeWatched()
{
    // The reply that ended the wait is the operation's outcome: read once, in
    // full, so that nothing of it is taken for the answer to the next command.
    m_control.Canceled = false;
    m_control.TimedOut = false;
    Read();
    m_tripped = false;
}

bool TReplyReader::HoldsRefusal() const
{
    const QByteArrayView buffered = m_control.BufferedBytes();
    return buffered.contains('\n') && (buffered.startsWith("4") || buffered.startsWith("5"));
}
