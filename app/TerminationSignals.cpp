#include "app/TerminationSignals.h"
#include "net/ErrorBoundary.h"
#include "net/Exception.h"
#include <QSocketNotifier>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// One pair for the process: a signal handler can reach only what is global.
int g_pair[2] = {-1, -1};

void Note(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
    errno = saved;
}

void Install(int signal, struct sigaction& previous)
{
    struct sigaction action {};
    action.sa_handler = Note;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, &previous);
}
} // namespace

TTerminationSignals::TTerminationSignals(std::function<void(int)> OnSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(OnSignal))
{
    if (g_pair[0] >= 0)
        throw Exception(QStringLiteral("The termination signals are watched once per process."));
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pair) != 0)
        throw Exception(QStringLiteral("No socket pair for the termination signals."));
    m_notifier = std::make_unique<QSocketNotifier>(g_pair[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { Guarded([this] { Deliver(); })(); });
    Install(SIGTERM, m_previousTerm);
    Install(SIGHUP, m_previousHup);
}

TTerminationSignals::~TTerminationSignals()
{
    ::sigaction(SIGTERM, &m_previousTerm, nullptr);
    ::sigaction(SIGHUP, &m_previousHup, nullptr);
    m_notifier.reset();
    for (int& fd : g_pair) {
        ::close(fd);
        fd = -1;
    }
}

void TTerminationSignals::Deliver()
{
    unsigned char byte = 0;
    while (::read(g_pair[1], &byte, 1) == 1)
        if (m_onSignal)
            m_onSignal(byte);
}
