#include "ftp/FTPText.h"

#include <QRegularExpression>
#include <QStringList>

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


std::optional<int> EpsvPortOf(const QString& reply)
{
    const qsizetype open = reply.indexOf(u'(');
    if (open < 0 || open + 1 >= reply.size())
        return std::nullopt;
    const QChar delimiter = reply[open + 1];
    const QStringList fields = reply.mid(open + 1).section(u')', 0, 0).split(delimiter);
    // "|||6446|" splits into "", "", "", "6446", "".
    if (fields.size() != 5 || !fields[1].isEmpty() || !fields[2].isEmpty() || !fields[4].isEmpty())
        return std::nullopt;
    bool ok = false;
    const int port = fields[3].toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

std::optional<TPasvAddress> PasvAddressOf(const QString& reply)
{
    static const QRegularExpression sixNumbers(QStringLiteral("(?<!\\d)(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3})(?!\\d)"));
    for (auto it = sixNumbers.globalMatch(reply); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        int values[6];
        bool inRange = true;
        for (int i = 0; i < 6; ++i) {
            values[i] = match.captured(i + 1).toInt();
            inRange = inRange && values[i] <= 255;
        }
        const int port = values[4] * 256 + values[5];
        if (inRange && port > 0)
            return TPasvAddress{QStringLiteral("%1.%2.%3.%4").arg(values[0]).arg(values[1]).arg(values[2]).arg(values[3]),
                                port};
    }
    return std::nullopt;
}

QString EprtArgument(const QString& address, int port)
{
    const bool v6 = address.contains(u':');
    return QStringLiteral("|%1|%2|%3|").arg(v6 ? 2 : 1).arg(address).arg(port);
}

QStringList FeaturesOf(const QStringList& replyLines)
{
    QStringList features;
    for (const QString& line : replyLines)
        if (line.startsWith(u' ')) {
            const QString word = line.trimmed().section(u' ', 0, 0).toUpper();
            if (!word.isEmpty())
                features << word;
        }
    return features;
}

QString WantedMachineFacts(const QStringList& replyLines)
{
    static const QStringList wanted{QStringLiteral("type"), QStringLiteral("size"), QStringLiteral("modify"),
                                    QStringLiteral("perm"), QStringLiteral("unix.mode")};
    for (const QString& line : replyLines) {
        const QString feature = line.trimmed();
        if (!line.startsWith(u' ') || !feature.startsWith(QLatin1String("MLST "), Qt::CaseInsensitive))
            continue;
        QString asked;
        bool missing = false;
        for (const QString& fact : feature.mid(5).split(u';', Qt::SkipEmptyParts)) {
            const bool sent = fact.endsWith(u'*');
            const QString name = sent ? fact.chopped(1) : fact;
            if (!wanted.contains(name, Qt::CaseInsensitive))
                continue;
            asked += name + u';';
            missing = missing || !sent;
        }
        return missing ? asked : QString();
    }
    return {};
}

QString FtpTimeText(const QDateTime& time) { return time.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")); }
