#include "ftp/FTPText.h"

#include <algorithm>
#include <limits>

bool IsReplyContinuation(const QString& line)
{
    if (line.startsWith(u' '))
        return true;
    return line.size() >= 4 && line[3] == u'-';
}

qint64 ByteCountOf(const QString& reply)
{
    const auto isDigit = [&reply](qsizetype i) { return reply[i] >= u'0' && reply[i] <= u'9'; };
    const qsizetype byte = reply.indexOf(QLatin1String("BYTE"), 0, Qt::CaseInsensitive);
    if (byte < 0)
        return 0;
    qsizetype end = byte;
    while (end > 0 && !isDigit(end - 1))
        --end;
    qsizetype start = end;
    while (start > 0 && isDigit(start - 1))
        --start;
    bool ok = false;
    const qint64 count = reply.mid(start, end - start).toLongLong(&ok);
    return ok ? count : 0;
}

TCmdType CommandTypeOf(const QString& command)
{
    const QString word = command.section(u' ', 0, 0);
    if (word == u"CWD")
        return TCmdType::ChangeDir;
    if (word == u"DELE")
        return TCmdType::Delete;
    if (word == u"MKD")
        return TCmdType::MakeDir;
    if (word == u"RMD")
        return TCmdType::RemoveDir;
    if (command == u"PWD")
        return TCmdType::CurrentDir;
    return TCmdType::DoCommand;
}

QString CutListingLineEnd(const QString& line)
{
    if (line.size() <= 2 || !line.endsWith(u'\n'))
        return line;
    return line.chopped(line[line.size() - 2] == u'\r' ? 2 : 1);
}

void RejectUnsafeText(const QString& text, const QString& secretName)
{
    for (QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0') {
            const QString shown = !secretName.isEmpty()
                ? secretName
                : QStringLiteral("\"%1\"").arg(QString(text).replace(u'\r', u' ').replace(u'\n', u' ').remove(u'\0'));
            throw EUnsafeCommand(
                QStringLiteral("%1 contains a line break or a NUL character and cannot be sent to the server.").arg(shown));
        }
    }
}

QString FileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

