#include "shellbrowser/FileJob.h"
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <memory>

QString RunFileJob(QWidget* owner, const QString& title, std::function<QString(TFileJobProgress&)> job)
{
    TFileJobProgress progress;
    QString result;
    std::unique_ptr<QThread> thread(QThread::create([&] { result = job(progress); }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);

    QProgressDialog dialog(title, QStringLiteral("Cancel"), 0, 1000, owner);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(500);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &dialog, [&] {
        const qint64 total = progress.Total;
        dialog.setValue(total > 0 ? int(std::min<qint64>(1000, progress.Done * 1000 / total)) : 0);
        if (dialog.wasCanceled())
            progress.Canceled = true;
    });
    timer.start(100);
    thread->start();
    loop.exec();
    thread->wait();
    return result;
}

qint64 TreeSize(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink())
        return info.isSymLink() ? 0 : info.size();
    qint64 total = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

namespace {
QString CopyFile(const QString& from, const QString& to, TFileJobProgress& progress)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot read \"%1\": %2").arg(from, in.errorString());
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return QStringLiteral("Cannot create \"%1\": %2").arg(to, out.errorString());
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    QString error;
    for (;;) {
        if (progress.Canceled) {
            error = QStringLiteral("Canceled.");
            break;
        }
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            error = QStringLiteral("Cannot read \"%1\": %2").arg(from, in.errorString());
        else if (n > 0 && out.write(buffer.constData(), n) != n)
            error = QStringLiteral("Cannot write \"%1\": %2").arg(to, out.errorString());
        if (n <= 0 || !error.isEmpty())
            break;
        progress.Done += n;
    }
    if (error.isEmpty() && !out.flush())
        error = QStringLiteral("Cannot write \"%1\": %2").arg(to, out.errorString());
    out.close();
    if (!error.isEmpty()) {
        out.remove();
        return error;
    }
    out.setPermissions(in.permissions());
    return {};
}
}

QString CopyTree(const QString& from, const QString& to, TFileJobProgress& progress)
{
    const QFileInfo info(from);
    if (info.isSymLink())
        return QFile::link(info.symLinkTarget(), to) ? QString() : QStringLiteral("Cannot copy the link \"%1\".").arg(from);
    if (!info.isDir())
        return CopyFile(from, to, progress);
    if (!QDir().mkpath(to))
        return QStringLiteral("Cannot create the folder \"%1\".").arg(to);
    const QDir dir(from);
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (QString error = CopyTree(dir.filePath(name), QDir(to).filePath(name), progress); !error.isEmpty())
            return error;
    return {};
}

QString RemoveTree(const QString& path)
{
    const QFileInfo info(path);
    const bool ok = info.isDir() && !info.isSymLink() ? QDir(path).removeRecursively() : QFile::remove(path);
    return ok ? QString() : QStringLiteral("Could not delete \"%1\".").arg(info.fileName());
}
