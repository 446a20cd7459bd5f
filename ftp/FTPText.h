#pragma once
// The small text rules of the FTP conversation, as pure functions.
#include "ftp/FTPTypes.h"

#include <QString>

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

// The file-name part of a local path (after its last "/").
QString FileNamePart(const QString& path);

