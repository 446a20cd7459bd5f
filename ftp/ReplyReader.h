#pragma once
// TReplyReader: the server's side of the control connection. Every reply the
// FTP client reads comes through here: complete (multi-line) replies, with one
// continuation rule; the replies still owed after an abort or an accepted
// transfer; the watch for "421"/"426" and for a refusal that arrives instead
// of a data connection; and the inactivity deadline of every wait.
//
// Each reply line is reported (OnStatus of the control socket, level 1) as it
// is read. The control socket's LastReply and ReplyNumber hold the first line
// of the last complete reply.
#include "ftp/FTPTypes.h"
#include "net/AsyncSocket.h"

#include <QStringList>
#include <algorithm>
#include <functional>

class TReplyReader {
public:
    // Runs the control socket's wait loop until the condition holds (or the
    // socket's Canceled or WaitDeadline ends it).
    using TWait = std::function<void(const std::function<bool()>&)>;

    // timeOutMs: the client's inactivity time-out, read at every wait (0 = none);
    // encoding: the names' encoding on the wire (see WireText.h), read at every line.
    TReplyReader(TAsyncSocket& control, TWait wait, const int& timeOutMs, const QString& encoding);

    // Sends one command line and reads its complete reply; returns its first line.
    QString Exchange(const QString& command);
    // Reads the next complete reply (a greeting, a transfer's completion).
    QString Read();
    // Every line of the last complete reply.
    const QStringList& Lines() const { return m_lines; }

    // The server will send a reply that nobody waits for now (it accepted a
    // transfer, or a wait for its reply was aborted).
    void Owe() { ++m_owed; }
    // An owed reply is being read now (a transfer's completion).
    void Settle() { m_owed = std::max(0, m_owed - 1); }
    bool Owing() const { return m_owed > 0; }
    // Before a command: reads every reply still owed, so that none is taken
    // for the answer to the new command, then drops stray bytes.
    void SettleDebts();
    // After a broken-off transfer: takes whatever the server says within a
    // moment (reporting it) and writes the debts off, since a server that says
    // nothing about an abandoned transfer will not say it later. Returns what it said.
    QString Drain();

    // A new connection or operation: nothing watched yet (and, for a
    // connection, nothing owed).
    void Reset(bool newConnection);
    // On every arrival of control data: a "421" or "426" at the start of what
    // is buffered cancels the wait in progress. Idle, nothing is cancelled.
    void Watch(bool idle);
    // Whether the watch cancelled a wait and its reply is still to be read.
    bool Tripped() const { return m_tripped; }
    // Reads the reply the watch saw (or a refusal the client spotted) as the
    // operation's outcome.
    void TakeWatched();
    // A complete refusal (4xx/5xx) waits in the buffer: the server says it
    // cannot open the data connection instead of opening it.
    bool HoldsRefusal() const;
    // A complete reply line waits in the buffer.
    bool HoldsReply() const { return m_control.BufferedBytes().contains('\n'); }
    // Whether a wait on the server's reply is running (Abort ends it).
    bool Waiting() const { return m_waits > 0; }

private:
    QString Guarded(const std::function<QString()>& step);
    [[noreturn]] void TimedOut();
    QString ReadLine();
    QString ReadReportedLine();
    void ReadContinuation(QString line);
    void Report(const QString& line);

    TAsyncSocket& m_control;
    TWait m_wait;
    const int& m_timeOutMs;
    const QString& m_encoding;
    QStringList m_lines; // of the last complete reply
    int m_waits = 0;     // nested waits on a reply
    int m_owed = 0;      // replies the server still owes
    bool m_tripped = false;
};
