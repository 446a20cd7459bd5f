#include "shellbrowser/ShellFolder.h"
#include "shellbrowser/IconCache.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QtEndian>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Payload of a file-system item: kind, flags, size, modification time (ms
// since the epoch), then the UTF-8 name ('F', relative to the folder) or the
// absolute path ('P'). The computer item is the single byte 'C'. Carrying
// size and time in the item lets folders sort without touching the disk.
constexpr char KindComputer = 'C';
constexpr char KindPath = 'P';
constexpr char KindName = 'F';
constexpr int HeaderSize = 18;

enum EntryFlag : quint8 {
    efDir = 0x01,
    efLink = 0x02,
    efHidden = 0x04,
    efRegular = 0x08,
    efSubKnown = 0x10,
    efHasSub = 0x20,
    efMissing = 0x40,
};

struct Entry {
    char kind = 0;
    quint8 flags = 0;
    qint64 size = 0;
    qint64 mtime = 0;
    QByteArray name; // name or absolute path, by kind

    bool IsDir() const { return flags & efDir; }
    QByteArray BaseName() const { return kind == KindPath ? name.mid(name.lastIndexOf('/') + 1) : name; }
};

QByteArray Encode(const Entry& e)
{
    if (e.kind == KindComputer)
        return QByteArray(1, KindComputer);
    QByteArray bytes(HeaderSize, '\0');
    bytes[0] = e.kind;
    bytes[1] = char(e.flags);
    qToLittleEndian<qint64>(e.size, bytes.data() + 2);
    qToLittleEndian<qint64>(e.mtime, bytes.data() + 10);
    return bytes + e.name;
}

Entry Decode(const QByteArray& payload)
{
    Entry e;
    if (payload.isEmpty())
        return e;
    e.kind = payload[0];
    if (payload.size() >= HeaderSize) {
        e.flags = quint8(payload[1]);
        e.size = qFromLittleEndian<qint64>(payload.constData() + 2);
        e.mtime = qFromLittleEndian<qint64>(payload.constData() + 10);
        e.name = payload.mid(HeaderSize);
    }
    return e;
}

QByteArray JoinPath(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

void FillFromStat(Entry& e, const struct stat& st)
{
    if (S_ISDIR(st.st_mode)) {
        e.flags |= efDir;
        // A folder's link count is 2 plus its sub-folders on the usual file
        // systems; others report 1, and then we look inside when asked.
        if (st.st_nlink >= 3)
            e.flags |= efSubKnown | efHasSub;
        else if (st.st_nlink == 2)
            e.flags |= efSubKnown;
    } else if (S_ISREG(st.st_mode)) {
        e.flags |= efRegular;
        e.size = st.st_size;
    }
    e.mtime = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// Stats name inside dirFd (or an absolute name with AT_FDCWD).
Entry StatEntry(char kind, int dirFd, const QByteArray& statName, QByteArray name)
{
    Entry e{kind, 0, 0, 0, std::move(name)};
    if (e.BaseName().startsWith('.'))
        e.flags |= efHidden;
    struct stat st {};
    if (fstatat(dirFd, statName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        e.flags |= efMissing;
        return e;
    }
    if (S_ISLNK(st.st_mode)) {
        e.flags |= efLink;
        if (fstatat(dirFd, statName.constData(), &st, 0) != 0)
            return e; // a dangling link is shown as a file
    }
    FillFromStat(e, st);
    return e;
}

Entry StatPath(char kind, const QByteArray& path, QByteArray name)
{
    return StatEntry(kind, AT_FDCWD, path, std::move(name));
}

ItemIDList ItemOf(const Entry& e)
{
    return ItemIDList::FromItem(Encode(e));
}

bool ScanForSubFolder(const QByteArray& path)
{
    DIR* dir = opendir(path.constData());
    if (!dir)
        return false;
    bool found = false;
    // Bounded: a huge folder on a file system without link counts is assumed
    // to have one; expanding it corrects the mark.
    int budget = 4096;
    while (dirent* d = readdir(dir)) {
        if (--budget == 0) {
            found = true;
            break;
        }
        if (!strcmp(d->d_name, ".") || !strcmp(d->d_name, ".."))
            continue;
        struct stat st {};
        if (d->d_type == DT_DIR
            || ((d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) && fstatat(dirfd(dir), d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode))) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

bool HasSubFolder(const Entry& e, const QByteArray& fullPath)
{
    if (e.flags & efSubKnown)
        return e.flags & efHasSub;
    return ScanForSubFolder(fullPath);
}

QByteArray Local(const QString& s)
{
    return QFile::encodeName(s);
}

QString FromLocal(const QByteArray& s)
{
    return QFile::decodeName(s);
}

QString ExistingDir(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir() ? QDir::cleanPath(path) : QString();
}

QString HomePath()
{
    return QDir::cleanPath(QDir::homePath());
}

QString TrashPath()
{
    return ExistingDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/files"));
}

// The desktop's own folder, when the user has one apart from home.
QString DesktopDirPath()
{
    const QString dir = ExistingDir(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    return dir == HomePath() ? QString() : dir;
}

bool IsRemovableDevice(const QString& device)
{
    if (!device.startsWith(QLatin1String("/dev/")))
        return false;
    const QString sys = QFileInfo(QStringLiteral("/sys/class/block/") + QFileInfo(device).fileName()).canonicalFilePath();
    for (const QString& candidate : {sys + QStringLiteral("/removable"), sys + QStringLiteral("/../removable")}) {
        QFile f(candidate);
        if (f.open(QIODevice::ReadOnly))
            return f.read(1) == "1";
    }
    return false;
}

// "/" and the mounted volumes on block devices: the drives of the computer.
std::vector<QString> MountPoints()
{
    std::vector<QString> mounts{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.device().startsWith("/dev/") || root == QLatin1String("/") || !QFileInfo(root).isDir())
            continue;
        if (std::find(mounts.begin(), mounts.end(), root) == mounts.end())
            mounts.push_back(root);
    }
    return mounts;
}

int CompareBytesNoCase(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const uchar ca = uchar(a[i]), cb = uchar(b[i]);
        if ((ca | cb) & 0x80)
            return QString::fromUtf8(a.sliced(i)).compare(QString::fromUtf8(b.sliced(i)), Qt::CaseInsensitive);
        const int la = (ca >= 'A' && ca <= 'Z') ? ca + 32 : ca;
        const int lb = (cb >= 'A' && cb <= 'Z') ? cb + 32 : cb;
        if (la != lb)
            return la - lb;
    }
    return int(a.size() - b.size());
}

int Sign(qint64 v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// The first item of an id without copying: kind, flags, size, time, name.
struct EntryView {
    char kind = 0;
    quint8 flags = 0;
    qint64 size = 0;
    qint64 mtime = 0;
    QByteArrayView name;
    QByteArrayView BaseName() const
    {
        if (kind != KindPath)
            return name;
        const qsizetype slash = name.lastIndexOf('/');
        return name.sliced(slash + 1);
    }
};

EntryView ViewFirst(const ItemIDList& id)
{
    EntryView v;
    if (id.IsNull())
        return v;
    const QByteArray& bytes = id.Bytes();
    if (bytes.size() < 3)
        return v;
    const quint16 size = qFromLittleEndian<quint16>(bytes.constData());
    if (size < 3 || size > bytes.size())
        return v;
    const char* p = bytes.constData() + 2;
    v.kind = p[0];
    if (size - 2 >= HeaderSize) {
        v.flags = quint8(p[1]);
        v.size = qFromLittleEndian<qint64>(p + 2);
        v.mtime = qFromLittleEndian<qint64>(p + 10);
        v.name = QByteArrayView(p + HeaderSize, size - 2 - HeaderSize);
    }
    return v;
}

int CompareEntries(int column, const EntryView& a, const EntryView& b)
{
    int result = 0;
    switch (column) {
    case 1: result = Sign(a.size - b.size); break;
    case 2:
        result = FileTypeName(FromLocal(a.BaseName().toByteArray()), a.flags & efDir)
                     .compare(FileTypeName(FromLocal(b.BaseName().toByteArray()), b.flags & efDir), Qt::CaseInsensitive);
        break;
    case 3: result = Sign(a.mtime - b.mtime); break;
    default: break;
    }
    if (result == 0)
        result = CompareBytesNoCase(a.BaseName(), b.BaseName());
    return result != 0 ? result : Sign(qint64(a.name.compare(b.name)));
}

class TVectorEnum : public TEnumIDList {
public:
    explicit TVectorEnum(std::vector<ItemIDList> ids) : m_ids(std::move(ids)) {}
    ItemIDList Next() override { return m_next < m_ids.size() ? std::move(m_ids[m_next++]) : ItemIDList(); }

private:
    std::vector<ItemIDList> m_ids;
    size_t m_next = 0;
};

bool WantEntry(const Entry& e, quint32 flags)
{
    if ((e.flags & efHidden) && !(flags & SHCONTF_INCLUDEHIDDEN))
        return false;
    return (flags & (e.IsDir() ? SHCONTF_FOLDERS : SHCONTF_NONFOLDERS)) != 0;
}

quint32 FileSystemAttributes(const Entry& e, const QByteArray& fullPath, bool renamable, quint32 mask)
{
    if (e.flags & efMissing)
        return SFGAO_FILESYSTEM & mask;
    quint32 a = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK | SFGAO_HASPROPSHEET;
    if (renamable)
        a |= SFGAO_CANRENAME | SFGAO_CANDELETE;
    if (e.IsDir()) {
        a |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_DROPTARGET;
        if ((mask & SFGAO_HASSUBFOLDER) && HasSubFolder(e, fullPath))
            a |= SFGAO_HASSUBFOLDER;
    }
    if (e.flags & efLink)
        a |= SFGAO_LINK;
    if (e.flags & efHidden)
        a |= SFGAO_GHOST;
    return a & mask;
}

QString ValidateNewName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("\"%1\" is not a valid name.").arg(name);
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return QStringLiteral("A name cannot contain \"/\".");
    return {};
}

// Renames without ever replacing an existing entry.
QString RenameNoReplace(const QByteArray& from, const QByteArray& to)
{
    int rc = renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        struct stat st {};
        if (lstat(to.constData(), &st) == 0)
            errno = EEXIST;
        else
            rc = ::rename(from.constData(), to.constData());
    }
    if (rc == 0)
        return {};
    if (errno == EEXIST)
        return QStringLiteral("\"%1\" already exists.").arg(FromLocal(to.mid(to.lastIndexOf('/') + 1)));
    return QString::fromLocal8Bit(strerror(errno));
}

// A file-system folder: children are 'F' items named within it.
class TFileSystemFolder : public TShellFolder {
public:
    explicit TFileSystemFolder(QByteArray path) : m_path(std::move(path)) {}

    ItemIDList ParseDisplayName(const QString& path) override
    {
        const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (parts.isEmpty() || path.startsWith(QLatin1Char('/')))
            return {};
        ItemIDList result = ItemIDList::Empty();
        QByteArray current = m_path;
        for (const QString& part : parts) {
            current = JoinPath(current, Local(part));
            result = IDListConcat(result, ItemOf(StatPath(KindName, current, Local(part))));
        }
        return result;
    }

    std::unique_ptr<TEnumIDList> EnumObjects(quint32 flags) override
    {
        DIR* dir = opendir(m_path.constData());
        if (!dir)
            return nullptr;
        std::vector<ItemIDList> ids;
        while (dirent* d = readdir(dir)) {
            if (!strcmp(d->d_name, ".") || !strcmp(d->d_name, ".."))
                continue;
            const QByteArray name(d->d_name);
            const Entry e = StatEntry(KindName, dirfd(dir), name, name);
            if (!(e.flags & efMissing) && WantEntry(e, flags))
                ids.push_back(ItemOf(e));
        }
        closedir(dir);
        return std::make_unique<TVectorEnum>(std::move(ids));
    }

    int CompareIDs(int column, const ItemIDList& a, const ItemIDList& b) override
    {
        return CompareEntries(column, ViewFirst(a), ViewFirst(b));
    }

    quint32 GetAttributesOf(const ItemIDList& relative, quint32 mask) override
    {
        const Entry e = Decode(relative.FirstPayload());
        return FileSystemAttributes(e, JoinPath(m_path, e.name), Writable(), mask);
    }

    std::optional<QString> GetDisplayNameOf(const ItemIDList& relative) override
    {
        const Entry e = Decode(relative.FirstPayload());
        if (e.kind != KindName)
            return std::nullopt;
        return FromLocal(e.name);
    }

    ItemIDList SetNameOf(const ItemIDList& relative, const QString& newName, QString* error) override
    {
        const Entry e = Decode(relative.FirstPayload());
        QString reason = ValidateNewName(newName);
        const QByteArray target = JoinPath(m_path, Local(newName));
        if (reason.isEmpty())
            reason = RenameNoReplace(JoinPath(m_path, e.name), target);
        if (!reason.isEmpty()) {
            if (error)
                *error = reason;
            return {};
        }
        return ItemOf(StatPath(KindName, target, Local(newName)));
    }

    QString GetPathOf(const ItemIDList& relative) override
    {
        const Entry e = Decode(relative.FirstPayload());
        return e.kind == KindName ? FromLocal(JoinPath(m_path, e.name)) : QString();
    }

protected:
    ShellFolderPtr BindItem(const QByteArray& payload) override
    {
        const Entry e = Decode(payload);
        if (e.kind != KindName || !e.IsDir())
            return nullptr;
        return std::make_shared<TFileSystemFolder>(JoinPath(m_path, e.name));
    }

private:
    bool Writable()
    {
        if (!m_writable)
            m_writable = access(m_path.constData(), W_OK) == 0;
        return *m_writable;
    }

    QByteArray m_path;
    std::optional<bool> m_writable;
};

// Virtual folders whose children are 'P' items (absolute paths).
class TPathListFolder : public TShellFolder {
public:
    std::unique_ptr<TEnumIDList> EnumObjects(quint32 flags) override
    {
        std::vector<ItemIDList> ids;
        for (ItemIDList& id : Children(flags))
            ids.push_back(std::move(id));
        return std::make_unique<TVectorEnum>(std::move(ids));
    }

    std::optional<QString> GetDisplayNameOf(const ItemIDList& relative) override
    {
        const Entry e = Decode(relative.FirstPayload());
        if (e.kind != KindPath)
            return std::nullopt;
        return PathCaption(FromLocal(e.name));
    }

    quint32 GetAttributesOf(const ItemIDList& relative, quint32 mask) override
    {
        const Entry e = Decode(relative.FirstPayload());
        const QString path = FromLocal(e.name);
        const bool renamable = CanRename(path) && access(Local(QFileInfo(path).path()).constData(), W_OK) == 0;
        return FileSystemAttributes(e, e.name, renamable, mask);
    }

    int CompareIDs(int column, const ItemIDList& a, const ItemIDList& b) override
    {
        const int ra = Rank(Decode(a.FirstPayload())), rb = Rank(Decode(b.FirstPayload()));
        return ra != rb ? ra - rb : CompareEntries(column, ViewFirst(a), ViewFirst(b));
    }

    ItemIDList SetNameOf(const ItemIDList& relative, const QString& newName, QString* error) override
    {
        const Entry e = Decode(relative.FirstPayload());
        const QString path = FromLocal(e.name);
        QString reason = CanRename(path) ? ValidateNewName(newName) : QStringLiteral("This item cannot be renamed.");
        const QString target = QFileInfo(path).path() + QLatin1Char('/') + newName;
        if (reason.isEmpty())
            reason = RenameNoReplace(e.name, Local(target));
        if (!reason.isEmpty()) {
            if (error)
                *error = reason;
            return {};
        }
        return ItemOf(StatPath(KindPath, Local(target), Local(target)));
    }

    QString GetPathOf(const ItemIDList& relative) override
    {
        const Entry e = Decode(relative.FirstPayload());
        return e.kind == KindPath ? FromLocal(e.name) : QString();
    }

protected:
    virtual std::vector<ItemIDList> Children(quint32 flags) = 0;
    virtual QString PathCaption(const QString& path) = 0;
    virtual bool CanRename(const QString&) { return false; }
    virtual int Rank(const Entry&) { return 0; }

    static ItemIDList PathItem(const QString& path) { return ItemOf(StatPath(KindPath, Local(path), Local(path))); }

    ShellFolderPtr BindItem(const QByteArray& payload) override
    {
        const Entry e = Decode(payload);
        if (e.kind != KindPath || !e.IsDir())
            return nullptr;
        return std::make_shared<TFileSystemFolder>(e.name);
    }

    // [P mount or special folder] followed by the rest of the path as names.
    static ItemIDList UnderPath(const QString& base, const QString& path)
    {
        const QString rest = path.mid(base.size());
        ItemIDList head = PathItem(base);
        if (rest.isEmpty() || rest == QLatin1String("/"))
            return head;
        return IDListConcat(head, TFileSystemFolder(Local(base)).ParseDisplayName(rest.mid(rest.startsWith('/') ? 1 : 0)));
    }

    static bool IsInside(const QString& path, const QString& base)
    {
        if (base.isEmpty())
            return false;
        return path == base || base == QLatin1String("/") || path.startsWith(base + QLatin1Char('/'));
    }
};

class TComputerFolder : public TPathListFolder {
public:
    ItemIDList ParseDisplayName(const QString& path) override
    {
        if (!path.startsWith(QLatin1Char('/')))
            return {};
        const QString clean = QDir::cleanPath(path);
        QString best;
        for (const QString& mount : MountPoints())
            if (IsInside(clean, mount) && mount.size() > best.size())
                best = mount;
        return UnderPath(best, clean);
    }

    quint32 GetAttributesOf(const ItemIDList& relative, quint32 mask) override
    {
        quint32 a = TPathListFolder::GetAttributesOf(relative, mask);
        const QString path = FromLocal(Decode(relative.FirstPayload()).name);
        if ((mask & SFGAO_REMOVABLE) && path != QLatin1String("/") && IsRemovableDevice(QString::fromUtf8(QStorageInfo(path).device())))
            a |= SFGAO_REMOVABLE;
        return a;
    }

protected:
    std::vector<ItemIDList> Children(quint32 flags) override
    {
        std::vector<ItemIDList> ids;
        if (flags & SHCONTF_FOLDERS)
            for (const QString& mount : MountPoints())
                ids.push_back(PathItem(mount));
        return ids;
    }

    QString PathCaption(const QString& path) override
    {
        if (path == QLatin1String("/"))
            return QStringLiteral("File System");
        const QString name = QStorageInfo(path).displayName();
        return name.isEmpty() || name == path ? QFileInfo(path).fileName() : name;
    }

    int Rank(const Entry& e) override { return e.name == "/" ? 0 : 1; }
};

class TDesktopFolder : public TPathListFolder {
public:
    ItemIDList ParseDisplayName(const QString& path) override
    {
        if (path.isEmpty())
            return ItemIDList::Empty();
        if (!path.startsWith(QLatin1Char('/')))
            return {};
        const QString clean = QDir::cleanPath(path);
        const QString desktop = DesktopDirPath();
        if (!desktop.isEmpty() && clean == desktop)
            return ItemIDList::Empty();
        if (IsInside(clean, desktop)) {
            const QString first = clean.section(QLatin1Char('/'), 0, desktop.count(QLatin1Char('/')) + 1);
            return UnderPath(first, clean);
        }
        for (const QString& special : {HomePath(), TrashPath()})
            if (IsInside(clean, special) && special != QLatin1String("/"))
                return UnderPath(special, clean);
        return IDListConcat(ComputerItem(), TComputerFolder().ParseDisplayName(clean));
    }

    std::optional<QString> GetDisplayNameOf(const ItemIDList& relative) override
    {
        if (relative.FirstPayload() == QByteArray(1, KindComputer))
            return QStringLiteral("Computer");
        if (relative.IsEmpty())
            return QStringLiteral("Desktop");
        return TPathListFolder::GetDisplayNameOf(relative);
    }

    quint32 GetAttributesOf(const ItemIDList& relative, quint32 mask) override
    {
        if (relative.FirstPayload() == QByteArray(1, KindComputer))
            return (SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASPROPSHEET) & mask;
        if (relative.IsEmpty()) {
            const quint32 fs = DesktopDirPath().isEmpty() ? 0 : SFGAO_FILESYSTEM;
            return (SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR | fs) & mask;
        }
        return TPathListFolder::GetAttributesOf(relative, mask);
    }

protected:
    std::vector<ItemIDList> Children(quint32 flags) override
    {
        std::vector<ItemIDList> ids;
        if (flags & SHCONTF_FOLDERS) {
            ids.push_back(ComputerItem());
            for (const QString& special : {HomePath(), TrashPath()})
                if (!special.isEmpty())
                    ids.push_back(PathItem(special));
        }
        if (const QString desktop = DesktopDirPath(); !desktop.isEmpty())
            for (const QString& name : QDir(desktop).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
                ItemIDList id = PathItem(desktop + QLatin1Char('/') + name);
                if (WantEntry(Decode(id.FirstPayload()), flags))
                    ids.push_back(std::move(id));
            }
        return ids;
    }

    QString PathCaption(const QString& path) override
    {
        if (path == HomePath())
            return QStringLiteral("Home");
        if (path == TrashPath())
            return QStringLiteral("Trash");
        return QFileInfo(path).fileName();
    }

    bool CanRename(const QString& path) override
    {
        return path != HomePath() && path != TrashPath();
    }

    int Rank(const Entry& e) override
    {
        if (e.kind == KindComputer)
            return 0;
        const QString path = FromLocal(e.name);
        return path == HomePath() ? 1 : (path == TrashPath() ? 2 : 3);
    }

    ShellFolderPtr BindItem(const QByteArray& payload) override
    {
        if (payload == QByteArray(1, KindComputer))
            return std::make_shared<TComputerFolder>();
        return TPathListFolder::BindItem(payload);
    }

private:
    static ItemIDList ComputerItem() { return ItemIDList::FromItem(QByteArray(1, KindComputer)); }
};

// Walks an absolute id: the path of the last 'P' item plus the names after it.
struct Resolved {
    QByteArray path;
    bool inFileSystem = false;
    Entry last;
    bool parentIsComputer = false;
};

Resolved Resolve(const ItemIDList& absolute)
{
    Resolved r;
    if (absolute.IsEmpty()) {
        r.path = Local(DesktopDirPath());
        r.inFileSystem = !r.path.isEmpty();
        return r;
    }
    const QByteArray& bytes = absolute.Bytes();
    char previousKind = 0;
    for (qsizetype offset = 0; offset + 2 <= bytes.size();) {
        const quint16 size = qFromLittleEndian<quint16>(bytes.constData() + offset);
        if (size < 2 || offset + size > bytes.size())
            break;
        const Entry e = Decode(QByteArray::fromRawData(bytes.constData() + offset + 2, size - 2));
        r.parentIsComputer = previousKind == KindComputer;
        if (e.kind == KindComputer) {
            r.inFileSystem = false;
        } else if (e.kind == KindPath) {
            r.path = e.name;
            r.inFileSystem = true;
        } else if (e.kind == KindName && r.inFileSystem) {
            r.path = JoinPath(r.path, e.name);
        } else {
            r.inFileSystem = false;
        }
        r.last = e;
        previousKind = e.kind;
        offset += size;
    }
    return r;
}

QString FolderIconName(const QString& path, bool parentIsComputer)
{
    if (parentIsComputer)
        return QStringLiteral("drive-harddisk");
    if (path == HomePath())
        return QStringLiteral("user-home");
    if (path == TrashPath())
        return QStringLiteral("user-trash");
    static const std::pair<QStandardPaths::StandardLocation, const char*> special[] = {
        {QStandardPaths::DesktopLocation, "user-desktop"},
        {QStandardPaths::DocumentsLocation, "folder-documents"},
        {QStandardPaths::DownloadLocation, "folder-download"},
        {QStandardPaths::MusicLocation, "folder-music"},
        {QStandardPaths::PicturesLocation, "folder-pictures"},
        {QStandardPaths::MoviesLocation, "folder-videos"},
    };
    for (const auto& [location, icon] : special)
        if (path != HomePath() && path == QStandardPaths::writableLocation(location))
            return QString::fromLatin1(icon);
    return QStringLiteral("folder");
}

}

ShellFolderPtr TShellFolder::BindToObject(const ItemIDList& relative)
{
    if (relative.IsNull())
        return nullptr;
    if (relative.IsEmpty())
        return shared_from_this();
    ShellFolderPtr child = BindItem(relative.FirstPayload());
    const ItemIDList rest = IDListNext(relative);
    if (!child || rest.IsEmpty())
        return child;
    return child->BindToObject(rest);
}

std::optional<TFileDetails> TShellFolder::GetDetailsOf(const ItemIDList& relative) const
{
    const Entry e = Decode(relative.FirstPayload());
    if ((e.kind != KindName && e.kind != KindPath) || (e.flags & efMissing))
        return std::nullopt;
    return TFileDetails{e.IsDir(), (e.flags & efRegular) != 0, e.size, e.mtime};
}

ItemIDList TShellFolder::SetNameOf(const ItemIDList&, const QString&, QString* error)
{
    if (error)
        *error = QStringLiteral("This item cannot be renamed.");
    return {};
}

ShellFolderPtr SHGetDesktopFolder()
{
    static const ShellFolderPtr desktop = std::make_shared<TDesktopFolder>();
    return desktop;
}

ItemIDList SHGetSpecialFolderLocation(int csidl)
{
    auto parsed = [](const QString& path) { return path.isEmpty() ? ItemIDList() : SHGetDesktopFolder()->ParseDisplayName(path); };
    auto xdg = [&](QStandardPaths::StandardLocation location) {
        const QString dir = ExistingDir(QStandardPaths::writableLocation(location));
        return dir == HomePath() ? ItemIDList() : parsed(dir);
    };
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    switch (csidl) {
    case CSIDL_DESKTOP: return ItemIDList::Empty();
    case CSIDL_DRIVES: return ItemIDList::FromItem(QByteArray(1, KindComputer));
    case CSIDL_BITBUCKET: return parsed(TrashPath());
    case CSIDL_DESKTOPDIRECTORY: return xdg(QStandardPaths::DesktopLocation);
    case CSIDL_PERSONAL: return xdg(QStandardPaths::DocumentsLocation);
    case CSIDL_TEMPLATES: return xdg(QStandardPaths::TemplatesLocation);
    case CSIDL_PROGRAMS: return xdg(QStandardPaths::ApplicationsLocation);
    case CSIDL_FONTS: return parsed(ExistingDir(dataHome + QStringLiteral("/fonts")));
    case CSIDL_STARTUP: return parsed(ExistingDir(configHome + QStringLiteral("/autostart")));
    default: return {};
    }
}

QString SHGetPathFromIDList(const ItemIDList& absolute)
{
    if (absolute.IsNull())
        return {};
    const Resolved r = Resolve(absolute);
    if (!r.inFileSystem || r.path.isEmpty())
        return {};
    QString path = FromLocal(r.path);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

ItemIDList ILCreateFromPath(const QString& path)
{
    return SHGetDesktopFolder()->ParseDisplayName(path);
}

std::optional<QString> GetDisplayName(const ShellFolderPtr& folder, const ItemIDList& relative)
{
    if (!folder || relative.IsNull())
        return std::nullopt;
    return folder->GetDisplayNameOf(relative);
}

ItemIDList ParsePath(const ShellFolderPtr& folder, const QString& path)
{
    return folder ? folder->ParseDisplayName(path) : ItemIDList();
}

std::pair<int, int> GetIconIndexes(const ItemIDList& absolute)
{
    if (absolute.IsNull())
        return {-1, -1};
    TIconCache& cache = TIconCache::Instance();
    if (absolute.IsEmpty()) {
        const int desktop = cache.IndexOf(QStringLiteral("user-desktop"));
        return {desktop, desktop};
    }
    // A file's icon depends on its name only: skip building its path.
    const QByteArray& bytes = absolute.Bytes();
    qsizetype lastOffset = 0;
    for (qsizetype offset = 0; offset + 2 <= bytes.size();) {
        const quint16 size = qFromLittleEndian<quint16>(bytes.constData() + offset);
        if (size < 2 || offset + size > bytes.size())
            break;
        lastOffset = offset;
        offset += size;
    }
    const Entry last = Decode(bytes.mid(lastOffset + 2, qFromLittleEndian<quint16>(bytes.constData() + lastOffset) - 2));
    if ((last.kind == KindName || last.kind == KindPath) && !last.IsDir()) {
        const int file = cache.IndexOf(FileIconName(FromLocal(last.BaseName())));
        return {file, file};
    }
    const Resolved r = Resolve(absolute);
    if (r.last.kind == KindComputer) {
        const int computer = cache.IndexOf(QStringLiteral("computer"));
        return {computer, computer};
    }
    if (r.last.IsDir()) {
        const QString name = FolderIconName(FromLocal(r.path), r.parentIsComputer);
        const QString open = name == QLatin1String("folder") ? QStringLiteral("folder-open") : name;
        return {cache.IndexOf(name), cache.IndexOf(open)};
    }
    const int file = cache.IndexOf(FileIconName(FromLocal(r.last.BaseName())));
    return {file, file};
}

QString GetTypeName(const ItemIDList& absolute)
{
    if (absolute.IsNull())
        return {};
    const Resolved r = Resolve(absolute);
    if (absolute.IsEmpty() || r.last.kind == KindComputer)
        return QStringLiteral("System Folder");
    return FileTypeName(FromLocal(r.last.BaseName()), r.last.IsDir());
}
