#pragma once
// Text in ASCII type travels with CR LF line ends; on this system text files
// end their lines with LF alone.
#include <QByteArray>
#include <QString>
#include <optional>

class QFile;

// Whether a raw command sets the text type: true for "TYPE A ...", false for
// any other "TYPE", nothing for commands that do not set the type.
std::optional<bool> TextTypeOf(const QString& command);

// Turns every CR LF of a file into LF, in place. A CR that is not followed by
// LF is kept. Throws Exception when the file cannot be read or written.
void ConvertToLocalLineEnds(const QString& path);
// The same on a file open for reading and writing.
void ConvertToLocalLineEnds(QFile& file);
