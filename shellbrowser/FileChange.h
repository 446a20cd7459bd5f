#pragma once
// Watches one folder for one change on a thread of its own, then ends. The
// completion handler runs on the GUI thread, and only when a change was seen
// and nobody asked the watcher to terminate before it was delivered.
#include <QFlags>
#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>

enum class TFileChangeFilter {
    fcFileName = 0x001,
    fcDirName = 0x002,
    fcAttributes = 0x004,
    fcSize = 0x008,
    fcLastWrite = 0x010,
    fcSecurity = 0x100,
};
Q_DECLARE_FLAGS(TFileChangeFilters, TFileChangeFilter)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFileChangeFilters)

class TFileChangeThread : public QThread {
    Q_OBJECT
public:
    // Starts at once. The object frees itself once the thread has ended and
    // the completion (if any) has been delivered; the creator only terminates it.
    // The application object owns it too, so that none outlives the program's
    // event loop (a watcher ended at exit is never delivered).
    TFileChangeThread(const QString& path, bool watchSubtree, TFileChangeFilters filter,
                      std::function<void(TFileChangeThread*)> onChange);
    ~TFileChangeThread() override;

    // Sets the terminate flag; never waits. A terminated watcher raises nothing.
    void Terminate();
    bool Stopped() const { return m_stopped; }
    const QString& Path() const { return m_path; }

    // How often the terminate flag is polled.
    static constexpr int PollMilliseconds = 10;

protected:
    void run() override;

private:
    bool WatchAll(int fd, const QByteArray& path, quint32 mask, bool subtree);
    bool Matches(const char* buffer, ssize_t length) const;
    void Complete();

    const QString m_path;
    const bool m_watchSubtree;
    const TFileChangeFilters m_filter;
    std::function<void(TFileChangeThread*)> m_onChange;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_stopped{false};
};
