#pragma once
// Files as the tests make and compare them: whole contents, random contents that
// are the same for the same seed, checksums, and whole folder trees.
#include <QByteArray>
#include <QDateTime>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>
#include <gtest/gtest.h>

#include <map>

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

inline void SetModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime)) << path.toStdString();
}

inline QByteArray Sha256Of(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "missing: " + path.toUtf8();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

// A file of size random bytes, the same for the same seed.
inline void WriteRandomFile(const QString& path, qint64 size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray data(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        data[i] = char(random.generate());
    WriteFile(path, data);
}

// Every file and folder below root, by relative path, with the file's SHA-256
// ("folder" for a folder): two trees are equal when names and bytes are.
inline std::map<QString, QByteArray> TreeOf(const QString& root)
{
    std::map<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        tree[QDir(root).relativeFilePath(info.filePath())] = info.isDir() ? QByteArray("folder")
                                                                          : Sha256Of(info.filePath());
    }
    return tree;
}
