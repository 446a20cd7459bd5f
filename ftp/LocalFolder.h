#pragma once
// TLocalFolder: a local folder held open by its descriptor, so that what a
// download makes in it lands there even when a path on the way changes
// meanwhile. Sub-folders are entered one name at a time without following
// links (O_NOFOLLOW | O_DIRECTORY), and every file is opened, checked, renamed
// and removed relative to the descriptor (openat, fstat, renameat, unlinkat):
// no link, wherever another user places it, leads a download outside the
// folder it was meant for.
//
// Failures raise Exception with the system's reason.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <sys/types.h>

class QFile;

// What is at a name in a folder, the name itself (a link is not followed).
struct TLocalEntry {
    bool OwnFile = false; // a regular file of this user's
    bool Folder = false;  // a folder (not a link to one)
    qint64 Size = 0;      // bytes, of an own file
    QDateTime Modified;   // UTC
    mode_t Permissions = 0;
};

// A file opened in a TLocalFolder: a regular file of this user's, checked on
// its descriptor after it was opened, so that nothing swapped in between is
// written.
struct TLocalFile {
    std::unique_ptr<QFile> File; // open for reading and writing, at its end
    dev_t Device = 0;            // the file's identity, to find it again by name
    ino_t Inode = 0;
};

class TLocalFolder {
public:
    // The folder at Path; links on the way are followed (it is the user's choice).
    static TLocalFolder Open(const QString& Path);

    TLocalFolder(TLocalFolder&& other) noexcept;
    TLocalFolder& operator=(TLocalFolder&& other) noexcept;
    TLocalFolder(const TLocalFolder&) = delete;
    TLocalFolder& operator=(const TLocalFolder&) = delete;
    ~TLocalFolder();

    // The sub-folder Name, made first when Create and it is missing. Raises
    // when it is not a folder, and a link is none.
    TLocalFolder Enter(const QString& Name, bool Create) const;
    // Each of Steps entered in turn.
    TLocalFolder EnterPath(const QStringList& Steps, bool Create) const;

    // The path it was opened by and the names entered since; for messages.
    const QString& Path() const { return m_path; }
    QString PathOf(const QString& name) const;

    // What is at Name; none when nothing is.
    std::optional<TLocalEntry> Entry(const QString& Name) const;
    // Creates Name afresh; raises when anything, even a dangling link, is there.
    TLocalFile CreateFile(const QString& Name) const;
    // Opens the existing Name; none when it is not a regular file of this
    // user's (a link, a folder, another user's file, anything else).
    std::optional<TLocalFile> OpenOwnFile(const QString& Name) const;
    // Removes the entry Name itself (a link, not what it points to), when there.
    void Remove(const QString& Name) const;
    // Renames From over To in one step (the entry itself, a link not followed).
    void Rename(const QString& From, const QString& To) const;
    // Renames From, which must still be File, over To in one step: To is then
    // either what it was or File.
    void ReplaceWith(const TLocalFile& File, const QString& From, const QString& To) const;

private:
    TLocalFolder(int descriptor, QString path) : m_fd(descriptor), m_path(std::move(path)) {}

    int m_fd = -1;
    QString m_path;
};
