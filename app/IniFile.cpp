#include "app/IniFile.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : m_fd(fd) {}
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    ~TFileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString TooLarge()
{
    return QStringLiteral("it is larger than %1 KiB").arg(TIniFile::MaxFileSize / 1024);
}

// Why a file of this kind is not read; empty for a regular file of a sane size.
QString KindProblem(const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("it is a folder, not a file");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("it is a named pipe, not a file");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("it is a device, not a file");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("it is not a regular file");
    if (info.st_size > TIniFile::MaxFileSize)
        return TooLarge();
    return {};
}

struct TFileBytes {
    TIniFile::TState State = TIniFile::TState::Missing;
    QString Problem;
    QByteArray Bytes;
};

TFileBytes Unreadable(const QString& problem)
{
    return {TIniFile::TState::Unreadable, problem, {}};
}

// The kind is checked before opening, since opening a FIFO or a device can
// wait or act, and again on the open file, which may have been swapped in
// between. The read stops past the limit: a file may grow while it is read.
TFileBytes ReadSmallRegularFile(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        return Unreadable(SystemError(errno));
    }
    if (const QString problem = KindProblem(info); !problem.isEmpty())
        return Unreadable(problem);
    const TFileDescriptor file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0)
        return errno == ENOENT ? TFileBytes{} : Unreadable(SystemError(errno));
    if (::fstat(file.Get(), &info) != 0)
        return Unreadable(SystemError(errno));
    if (const QString problem = KindProblem(info); !problem.isEmpty())
        return Unreadable(problem);
    QByteArray bytes(TIniFile::MaxFileSize + 1, Qt::Uninitialized);
    qsizetype length = 0;
    while (length < bytes.size()) {
        const ssize_t got = ::read(file.Get(), bytes.data() + length, static_cast<size_t>(bytes.size() - length));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Unreadable(SystemError(errno));
        if (got == 0)
            break;
        length += got;
    }
    if (length > TIniFile::MaxFileSize)
        return Unreadable(TooLarge());
    bytes.truncate(length);
    return {TIniFile::TState::Read, {}, bytes};
}

// Other programs save profile files with a byte-order mark, in UTF-16 too.
QString Decoded(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE).decode(QByteArrayView(bytes).sliced(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE).decode(QByteArrayView(bytes).sliced(2));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    return QString::fromUtf8(bytes);
}

QString Unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

// Cuts to the read limit without splitting a character in two.
QString Limited(const QString& value)
{
    if (value.size() <= TIniFile::MaxValueLength)
        return value;
    int length = TIniFile::MaxValueLength;
    if (value.at(length - 1).isHighSurrogate())
        --length;
    return value.left(length);
}
}

TIniFile::TIniFile(const QString& fileName)
{
    TFileBytes file = ReadSmallRegularFile(fileName);
    m_state = file.State;
    m_problem = file.Problem;
    Parse(Decoded(file.Bytes));
}

void TIniFile::Parse(const QString& text)
{
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QHash<QString, QString>* current = nullptr;
    for (const QString& rawLine : unified.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (!line.isEmpty())
            m_blank = false;
        if (line.startsWith(QLatin1Char('['))) {
            const int end = line.indexOf(QLatin1Char(']'));
            const QString name = line.mid(1, end < 0 ? -1 : end - 1).trimmed().toLower();
            current = m_sections.contains(name) ? nullptr : &m_sections[name];
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (!current || equals <= 0 || line.startsWith(QLatin1Char(';')))
            continue;
        const QString key = line.left(equals).trimmed().toLower();
        if (!current->contains(key))
            current->insert(key, Limited(Unquoted(line.mid(equals + 1))));
    }
}

std::optional<QString> TIniFile::Read(const QString& section, const QString& key) const
{
    const auto s = m_sections.constFind(section.toLower());
    if (s == m_sections.constEnd())
        return std::nullopt;
    const auto v = s->constFind(key.toLower());
    if (v == s->constEnd())
        return std::nullopt;
    return *v;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& fallback) const
{
    return Read(section, key).value_or(fallback);
}

QString IniValueText(const QString& value)
{
    QString text = value;
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const bool needsQuotes = !text.isEmpty()
        && (text.front().isSpace() || text.back().isSpace()
            || (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'))));
    return needsQuotes ? QLatin1Char('"') + text + QLatin1Char('"') : text;
}

bool WriteIniFile(const QString& fileName, const QList<TIniSection>& sections)
{
    QString text;
    for (const TIniSection& section : sections) {
        text += QLatin1Char('[') + section.Name + QStringLiteral("]\n");
        for (const auto& [key, value] : section.Values)
            text += key + QLatin1Char('=') + IniValueText(value) + QLatin1Char('\n');
    }
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > TIniFile::MaxFileSize)
        return false;
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QSaveFile file(fileName);
    // Unbuffered, so that a short write (a full disk) shows here and not as a
    // silently truncated file at commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // The hosts file holds passwords: nobody but its owner may read it.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
