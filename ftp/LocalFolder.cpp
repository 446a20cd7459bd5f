#include "ftp/LocalFolder.h"

#include "net/Exception.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

[[noreturn]] void Fail(const QString& what, const QString& path, int error)
{
    throw Exception(QStringLiteral("%1 \"%2\": %3").arg(what, path, Reason(error)));
}

// A name relative to the folder must be one step: "a/b" would follow a link at "a".
QByteArray StepOf(const QString& name, const QString& path)
{
    if (name.isEmpty() || name == u'.' || name == QStringLiteral("..") || name.contains(u'/') || name.contains(QChar(0)))
        throw Exception(QStringLiteral("\"%1\" is not a name a file can have here.").arg(path));
    return QFile::encodeName(name);
}

bool OwnFile(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_uid == geteuid(); }

// An open descriptor as a file at its end, or none (the descriptor closed)
// when it is not a regular file of this user's.
std::optional<TLocalFile> Adopt(int fd, const QString& path)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !OwnFile(st)) {
        ::close(fd);
        return std::nullopt;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    TLocalFile file{std::make_unique<QFile>(path), st.st_dev, st.st_ino};
    if (!file.File->open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Exception(QStringLiteral("Cannot open \"%1\": %2").arg(path, file.File->errorString()));
    }
    file.File->seek(st.st_size);
    return file;
}

} // namespace

TLocalFolder TLocalFolder::Open(const QString& Path)
{
    const QString path = Path.isEmpty() ? QStringLiteral(".") : Path;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        Fail(QStringLiteral("Cannot open the folder"), path, errno);
    return TLocalFolder(fd, path);
}

TLocalFolder::TLocalFolder(TLocalFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

TLocalFolder& TLocalFolder::operator=(TLocalFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

TLocalFolder::~TLocalFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString TLocalFolder::PathOf(const QString& name) const
{
    return m_path.endsWith(u'/') ? m_path + name : m_path + u'/' + name;
}

TLocalFolder TLocalFolder::Enter(const QString& Name, bool Create) const
{
    const QString path = PathOf(Name);
    const QByteArray step = StepOf(Name, path);
    if (Create && ::mkdirat(m_fd, step.constData(), 0777) != 0 && errno != EEXIST)
        Fail(QStringLiteral("Cannot create the folder"), path, errno);
    const int fd = ::openat(m_fd, step.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return TLocalFolder(fd, path);
    if (errno == ENOTDIR || errno == ELOOP)
        throw Exception(QStringLiteral("\"%1\" is not a folder (a link is not followed): nothing is written there.")
                            .arg(path));
    Fail(QStringLiteral("Cannot enter the folder"), path, errno);
}

TLocalFolder TLocalFolder::EnterPath(const QStringList& Steps, bool Create) const
{
    TLocalFolder folder = Enter(Steps.value(0), Create);
    for (qsizetype i = 1; i < Steps.size(); ++i)
        folder = folder.Enter(Steps[i], Create);
    return folder;
}

std::optional<TLocalEntry> TLocalFolder::Entry(const QString& Name) const
{
    struct stat st {};
    if (::fstatat(m_fd, StepOf(Name, PathOf(Name)).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        Fail(QStringLiteral("Cannot examine"), PathOf(Name), errno);
    }
    TLocalEntry entry;
    entry.OwnFile = OwnFile(st);
    entry.Folder = S_ISDIR(st.st_mode);
    entry.Size = entry.OwnFile ? qint64(st.st_size) : 0;
    entry.Modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::UTC).addMSecs(st.st_mtim.tv_nsec / 1000000);
    entry.Permissions = st.st_mode & 07777;
    return entry;
}

TLocalFile TLocalFolder::CreateFile(const QString& Name) const
{
    const QString path = PathOf(Name);
    const int fd = ::openat(m_fd, StepOf(Name, path).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        Fail(QStringLiteral("Cannot write"), path, errno);
    std::optional<TLocalFile> file = Adopt(fd, path);
    if (!file)
        throw Exception(QStringLiteral("Cannot write \"%1\": it is not a regular file of yours.").arg(path));
    return std::move(*file);
}

std::optional<TLocalFile> TLocalFolder::OpenOwnFile(const QString& Name) const
{
    const QString path = PathOf(Name);
    // Non-blocking, so that a FIFO put there cannot hold the open up.
    const int fd = ::openat(m_fd, StepOf(Name, path).constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ELOOP || errno == EISDIR || errno == ENXIO || errno == EACCES
            || errno == EPERM)
            return std::nullopt;
        Fail(QStringLiteral("Cannot open"), path, errno);
    }
    return Adopt(fd, path);
}

void TLocalFolder::Remove(const QString& Name) const
{
    if (::unlinkat(m_fd, StepOf(Name, PathOf(Name)).constData(), 0) != 0 && errno != ENOENT)
        Fail(QStringLiteral("Cannot remove"), PathOf(Name), errno);
}

void TLocalFolder::ReplaceWith(const TLocalFile& File, const QString& From, const QString& To) const
{
    struct stat st {};
    if (::fstatat(m_fd, StepOf(From, PathOf(From)).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != File.Device
        || st.st_ino != File.Inode)
        throw Exception(QStringLiteral("\"%1\" was replaced while it was written: it is not kept.").arg(PathOf(From)));
    Rename(From, To);
}

void TLocalFolder::Rename(const QString& From, const QString& To) const
{
    if (::renameat(m_fd, StepOf(From, PathOf(From)).constData(), m_fd, StepOf(To, PathOf(To)).constData()) != 0)
        Fail(QStringLiteral("Cannot write"), PathOf(To), errno);
}
