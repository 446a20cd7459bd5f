#pragma once
// Small helpers of the FTP benchmarks: timing, memory figures, the event loop's responsiveness,
// running curl, the server.
#include "RealFtpServer.h"
#include "ftp/FTPClient.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

// The client aimed at the server on 127.0.0.1, with its login.
inline void AimAt(TFTPClient& client, const RealFtpServer& server)
{
    client.Host = QStringLiteral("127.0.0.1");
    client.Port = server.Port();
    client.UserID = server.User();
    client.Password = server.Password();
}

// Where a benchmark's server keeps its folder: tmpfs, unless BENCH_SERVER_PARENT
// names another, so that the figures are the clients' and not a disk's.
inline QString BenchServerParent()
{
    return qEnvironmentVariableIsSet("BENCH_SERVER_PARENT") ? qEnvironmentVariable("BENCH_SERVER_PARENT")
                                                            : QStringLiteral("/dev/shm");
}

// vsftpd on loopback with its folder below Parent (the temporary folder when empty),
// or null once it has said on stderr why it did not start.
inline std::unique_ptr<RealFtpServer> StartVsftpd(const QString& Parent = {}, const RealFtpServer::TlsOptions& Tls = {},
                                                  RealFtpServer::DataModes Modes = RealFtpServer::BothModes)
{
    auto server = std::make_unique<RealFtpServer>(RealFtpServer::Vsftpd, Tls, RealFtpServer::IPv4, Modes, Parent);
    if (server->IsRunning())
        return server;
    std::fprintf(stderr, "vsftpd: %s\n", qPrintable(server->ErrorText()));
    return nullptr;
}

// A server that offers "MLST" on loopback: pyftpdlib, or ProFTPD when BENCH_SERVER says
// "proftpd"; null once it has said on stderr why it did not start.
inline std::unique_ptr<RealFtpServer> StartMlsdServer()
{
    const auto kind = qgetenv("BENCH_SERVER") == "proftpd" ? RealFtpServer::Proftpd : RealFtpServer::Pyftpdlib;
    auto server = std::make_unique<RealFtpServer>(kind, RealFtpServer::IPv4);
    if (server->IsRunning())
        return server;
    std::fprintf(stderr, "%s: %s\n", qPrintable(RealFtpServer::Name(kind)), qPrintable(server->ErrorText()));
    return nullptr;
}

// A figure, printed as "name: value".
inline void Figure(const char* name, double value, const char* format = "%.1f")
{
    std::printf("%s: ", name);
    std::printf(format, value);
    std::printf("\n");
    std::fflush(stdout);
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
inline qint64 ProcStatusKiB(const char* field)
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').first().toLongLong();
    return 0;
}

// Starts the peak resident size (VmHWM) again from the present one, so that the
// peak then tells what the measured work took rather than the set-up.
inline bool ResetPeakRss()
{
    QFile clearRefs("/proc/self/clear_refs");
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// Runs curl with args and returns its wall time in seconds (negative on failure).
inline double TimedCurl(const QStringList& args)
{
    QProcess curl;
    curl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    curl.start("curl", QStringList{"-s", "-S"} + args);
    if (!curl.waitForFinished(-1) || curl.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

// Seconds that f takes.
template <class F>
double Timed(F f)
{
    QElapsedTimer timer;
    timer.start();
    f();
    return timer.nsecsElapsed() / 1e9;
}

// CPU seconds (user + system) used so far by this process, or by its waited-for children.
inline double CpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The best of several runs of one transfer. Wall time depends on what else the
// machine runs; CPU time per transfer does not.
struct Best {
    double wall = 1e9, cpu = 1e9;
    double last = -1, lastCpu = -1; // the latest run's
    bool failed = false;
    void Take(double w, double c)
    {
        last = w, lastCpu = c;
        failed = failed || w < 0;
        if (w >= 0)
            wall = std::min(wall, w), cpu = std::min(cpu, c);
    }
};

// Runs f (wall seconds, negative on failure) and takes its wall and CPU time:
// this process's (RUSAGE_SELF), or its children's for curl (RUSAGE_CHILDREN).
template <class F>
void Measure(Best& best, const F& f, int who)
{
    const double cpu = CpuSeconds(who);
    const double wall = f();
    best.Take(wall, CpuSeconds(who) - cpu);
}

// A file of size bytes of pseudo-random content (the same for every run).
inline void WriteRandomFile(const QString& path, qint64 size)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QRandomGenerator random(4711);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += block.size()) {
        random.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        file.write(block.constData(), std::min<qint64>(block.size(), size - done));
    }
}

inline QByteArray Sha256Of(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// While it lives: the longest gap between two ticks of a 10 ms timer, and the
// largest resident size seen.
class TResponsiveness {
public:
    TResponsiveness()
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longestGapNs = std::max(m_longestGapNs, now - m_lastNs);
            m_lastNs = now;
            if (++m_ticks % 10 == 0)
                m_peakRssKiB = std::max(m_peakRssKiB, ProcStatusKiB("VmRSS:"));
        });
        m_timer.start(10);
    }
    double LongestGapMs() const { return m_longestGapNs / 1e6; }
    qint64 PeakRssKiB() const { return std::max(m_peakRssKiB, ProcStatusKiB("VmRSS:")); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestGapNs = 0;
    qint64 m_peakRssKiB = 0;
    int m_ticks = 0;
};
