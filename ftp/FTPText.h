#pragma once
// The small text rules of the FTP conversation, as pure functions.
#include "ftp/FTPTypes.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QString>
#include <optional>

inline bool InRange(int value, int low, int high) { return value >= low && value <= high; }

// A time-out in whole seconds for a message: "30" for 30000 ms, rounded up.
inline QString SecondsText(int ms) { return QString::number((ms + 999) / 1000); }

// The deadline of a wait bounded by a time-out in ms; 0 = no bound.
inline QDeadlineTimer DeadlineIn(int ms)
{
    return ms > 0 ? QDeadlineTimer(ms) : QDeadlineTimer(QDeadlineTimer::Forever);
}

// A time as "MFMT" takes it (and "MDTM" gives it, read by MachineListTime):
// "YYYYMMDDHHMMSS", UTC.
QString FtpTimeText(const QDateTime& time);

// Whether the reply line after this one belongs to the same reply: the line
// starts with a space, or has "-" as its fourth character.
bool IsReplyContinuation(const QString& line);

// The size a reply announces: the run of digits nearest before the first
// "BYTE" (any case); 0 without "BYTE", without digits, or on overflow. The
// reply's own code counts as a run of digits.
qint64 ByteCountOf(const QString& reply);

// The transaction type of a raw command, by its first word (case-sensitive).
TCmdType CommandTypeOf(const QString& command);

// A listing line without its line end; lines of 2 characters or fewer (a bare
// CR LF) are passed on unchanged.
QString CutListingLineEnd(const QString& line);

// Throws EUnsafeCommand when text holds CR, LF or NUL, which would end the
// command early or smuggle a second one onto the control connection. The
// message quotes the text, or names it as `secretName` ("The password") when
// the text must never be shown.
void RejectUnsafeText(const QString& text, const QString& secretName = {});

// The port of an "EPSV" reply ("229 Entering Extended Passive Mode (|||6446|)"):
// the character after "(" delimits three empty fields and the port. Nothing
// for a reply without one or with a port outside 1..65535.
std::optional<int> EpsvPortOf(const QString& reply);

// The address and port of a "PASV" reply: the first run of six comma-separated
// numbers (0..255) anywhere in it, "h1,h2,h3,h4,p1,p2"; port = p1 * 256 + p2.
struct TPasvAddress {
    QString Host; // dotted
    int Port = 0;
};
std::optional<TPasvAddress> PasvAddressOf(const QString& reply);

// The argument of "EPRT" for an address of either family: "|1|132.235.1.2|6275|"
// or "|2|::1|6275|".
QString EprtArgument(const QString& address, int port);

// The features of a "FEAT" reply: the first word of every line that starts
// with a space (" MLST type*;size*;" gives "MLST"), in upper case.
QStringList FeaturesOf(const QStringList& replyLines);

// The "OPTS MLST" argument that asks for the facts a listing uses (type, size,
// modify, perm, UNIX.mode) among those the "MLST" feature line offers, when
// one of them is offered but not sent by default (not marked "*"); empty when
// nothing needs asking.
QString WantedMachineFacts(const QStringList& replyLines);

// The file-name part of a local path (after its last "/").
QString FileNamePart(const QString& path);

