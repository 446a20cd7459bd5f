#include "ftp/LineEnds.h"
#include "net/Exception.h"

#include <QFile>

std::optional<bool> TextTypeOf(const QString& command)
{
    const QStringList words = command.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty() || words.first().compare(QLatin1String("TYPE"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return words.size() > 1 && words.at(1).startsWith(u'A', Qt::CaseInsensitive);
}

namespace {

[[noreturn]] void Fail(const QFile& file)
{
    throw Exception(QStringLiteral("Cannot convert the line ends of \"%1\": %2").arg(file.fileName(), file.errorString()));
}

} // namespace

void ConvertToLocalLineEnds(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        Fail(file);
    ConvertToLocalLineEnds(file);
}

void ConvertToLocalLineEnds(QFile& file)
{
    // The text only gets shorter, so one pass that writes behind where it reads
    // needs no second file.
    qint64 readPos = 0;
    qint64 writePos = 0;
    bool pendingCR = false;
    QByteArray out;
    for (;;) {
        if (!file.seek(readPos))
            Fail(file);
        const QByteArray block = file.read(1 << 20);
        if (block.isEmpty())
            break;
        readPos += block.size();
        out.clear();
        for (const char c : block) {
            if (pendingCR && c != '\n')
                out += '\r';
            pendingCR = c == '\r';
            if (!pendingCR)
                out += c;
        }
        if (!file.seek(writePos) || file.write(out) != out.size())
            Fail(file);
        writePos += out.size();
    }
    if (pendingCR) {
        if (!file.seek(writePos) || file.write("\r", 1) != 1)
            Fail(file);
        ++writePos;
    }
    if (!file.resize(writePos))
        Fail(file);
}
