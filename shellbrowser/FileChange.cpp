#include "shellbrowser/FileChange.h"
#include "net/ErrorBoundary.h"
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <cerrno>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
// Closes the inotify descriptor however the thread body ends.
struct FdGuard {
    int fd;
    ~FdGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

constexpr quint32 NameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr quint32 SelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;

quint32 InotifyMask(TFileChangeFilters filter)
{
    quint32 mask = SelfEvents;
    if (filter & (TFileChangeFilter::fcFileName | TFileChangeFilter::fcDirName))
        mask |= NameEvents;
    if (filter & (TFileChangeFilter::fcAttributes | TFileChangeFilter::fcSecurity))
        mask |= IN_ATTRIB;
    if (filter & (TFileChangeFilter::fcSize | TFileChangeFilter::fcLastWrite))
        mask |= IN_MODIFY | IN_CLOSE_WRITE;
    return mask;
}
}

TFileChangeThread::TFileChangeThread(const QString& path, bool watchSubtree, TFileChangeFilters filter,
                                     std::function<void(TFileChangeThread*)> onChange)
    : QThread(QCoreApplication::instance()), m_path(path), m_watchSubtree(watchSubtree), m_filter(filter), m_onChange(std::move(onChange))
{
    connect(this, &QThread::finished, this, &TFileChangeThread::Complete, Qt::QueuedConnection);
    start();
}

TFileChangeThread::~TFileChangeThread()
{
    // Only reached after the thread has ended (or at shutdown, where the flag
    // makes it end within one poll).
    m_terminated = true;
    wait();
}

void TFileChangeThread::Terminate()
{
    m_terminated = true;
}

bool TFileChangeThread::WatchAll(int fd, const QByteArray& path, quint32 mask, bool subtree)
{
    if (inotify_add_watch(fd, path.constData(), mask | IN_ONLYDIR) < 0)
        return false;
    if (subtree) {
        QDirIterator it(QFile::decodeName(path), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext() && !m_terminated)
            inotify_add_watch(fd, QFile::encodeName(it.next()).constData(), mask | IN_ONLYDIR);
    }
    return true;
}

bool TFileChangeThread::Matches(const char* buffer, ssize_t length) const
{
    const bool files = m_filter & TFileChangeFilter::fcFileName;
    const bool dirs = m_filter & TFileChangeFilter::fcDirName;
    for (ssize_t offset = 0; offset < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += ssize_t(sizeof(inotify_event) + event->len);
        if (event->mask & (SelfEvents | IN_IGNORED | IN_Q_OVERFLOW))
            return true;
        if (event->mask & NameEvents) {
            if ((event->mask & IN_ISDIR) ? dirs : files)
                return true;
        } else if (event->mask & ~IN_ISDIR) {
            return true; // attribute, size or write change asked for by the mask
        }
    }
    return false;
}

void TFileChangeThread::run()
{
    FdGuard guard{inotify_init1(IN_NONBLOCK | IN_CLOEXEC)};
    if (guard.fd < 0 || !WatchAll(guard.fd, QFile::encodeName(m_path), InotifyMask(m_filter), m_watchSubtree)) {
        m_stopped = true;
        return;
    }
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        pollfd pfd{guard.fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, PollMilliseconds);
        // The terminate flag wins over a change seen in the same poll.
        if (m_terminated) {
            m_stopped = true;
            return;
        }
        if (ready < 0 && errno != EINTR) {
            m_stopped = true;
            return;
        }
        if (ready > 0) {
            const ssize_t length = read(guard.fd, buffer, sizeof buffer);
            if (length > 0 && Matches(buffer, length))
                return;
        }
    }
}

void TFileChangeThread::Complete()
{
    // Runs on the GUI thread. A watcher terminated after it saw the change but
    // before this ran is as good as terminated: its owner has moved on.
    if (!m_stopped && !m_terminated && m_onChange) {
        auto onChange = std::move(m_onChange);
        Guarded([&] { onChange(this); })();
    }
    deleteLater();
}
