// A tree of 20 folders of 100 files of 4 KiB, downloaded and uploaded whole
// through TTransferQueue on one TFTPClient (passive) from vsftpd on loopback,
// against lftp's "mirror" and "mirror -R" of the same tree on the same server
// in the same run. Best of several rounds, the first client alternating; every
// copy is checked file by file. A 10 ms timer runs during Ferrit's transfers.
// Before that: the memory of a queue of 100,000 waiting items.
#include "RealFtpServer.h"
#include "bench/ftp/BenchUtil.h"
#include "ftp/FTPClient.h"
#include "ftp/TransferQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <functional>
#include <map>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Folders = 20;
constexpr int FilesPerFolder = 100;
constexpr int Files = Folders * FilesPerFolder;
constexpr qint64 FileSize = 4096;
constexpr int QueueItems = 100000;

// The same tree of pseudo-random files below each of roots.
void MakeTree(const QStringList& roots)
{
    QRandomGenerator random(4711);
    QByteArray block(FileSize, Qt::Uninitialized);
    for (int f = 0; f < Folders; ++f) {
        const QString folder = QStringLiteral("folder-%1").arg(f, 2, 10, QChar(u'0'));
        for (const QString& root : roots)
            QDir(root).mkpath(folder);
        for (int i = 0; i < FilesPerFolder; ++i) {
            random.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            const QString name = QStringLiteral("%1/file-%2.bin").arg(folder).arg(i, 3, 10, QChar(u'0'));
            for (const QString& root : roots) {
                QFile file(QDir(root).filePath(name));
                if (!file.open(QIODevice::WriteOnly) || file.write(block) != block.size())
                    std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            }
        }
    }
}

// Every file below root by relative path, with its content.
std::map<QString, QByteArray> FilesOf(const QString& root)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        files[QDir(root).relativeFilePath(file.fileName())] = file.readAll();
    }
    return files;
}

// A copy's wall time, or -1 when the copy is not the source's every file with
// its every byte: an incomplete copy must not pass for a fast one.
double Checked(double wall, const std::map<QString, QByteArray>& source, const QString& copy)
{
    if (wall < 0)
        return -1;
    const std::map<QString, QByteArray> copied = FilesOf(copy);
    if (copied == source)
        return wall;
    std::fprintf(stderr, "%s is not a whole copy of the tree (%zu files, the tree has %zu)\n", qPrintable(copy),
                 copied.size(), source.size());
    return -1;
}

// Runs lftp with the commands (after its TLS attempt is switched off for the
// plain server) and returns its wall time, or -1 when it failed.
double TimedLftp(quint16 port, const QString& commands, const QString& home)
{
    QProcess lftp;
    lftp.setProcessChannelMode(QProcess::ForwardedChannels);
    // A home of its own: no user settings of this machine's, no history written into it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    for (const char* proxy : {"ftp_proxy", "FTP_PROXY", "http_proxy", "https_proxy", "all_proxy"})
        env.remove(proxy);
    lftp.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    lftp.start("lftp", {"-u", "anonymous,bench", "-p", QString::number(port), "-e",
                        "set ftp:ssl-allow no; set ftp:passive-mode on; " + commands + "; quit", "127.0.0.1"});
    if (!lftp.waitForFinished(-1) || lftp.exitStatus() != QProcess::NormalExit || lftp.exitCode() != 0) {
        std::fprintf(stderr, "lftp failed: %s\n", qPrintable(lftp.errorString()));
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

// Fills a queue, runs it on a client of its own (connected and logged in as
// part of the time, as lftp's are), and returns the wall time, or -1 when any
// item did not end done. The longest timer gap meanwhile goes into gapMs.
double TimedQueue(const RealFtpServer& server, const std::function<void(TFTPClient&, TTransferQueue&)>& fill,
                  double& gapMs)
{
    TResponsiveness monitor;
    const auto gap = qScopeGuard([&] { gapMs = std::max(gapMs, monitor.LongestGapMs()); });
    QElapsedTimer timer;
    timer.start();
    try {
        TFTPClient client;
        AimAt(client, server);
        client.Passive = true;
        client.Connect();
        TTransferQueue queue(client);
        queue.OnReport = [](const QString& text) { std::fprintf(stderr, "queue: %s\n", qPrintable(text)); };
        fill(client, queue);
        queue.Run();
        client.Disconnect();
        const double wall = timer.nsecsElapsed() / 1e9;
        for (const TTransferItem& item : queue.Items())
            if (item.State != TTransferState::Done) {
                std::fprintf(stderr, "not done: %s: %s\n", qPrintable(item.RemotePath), qPrintable(item.Error));
                return -1;
            }
        return wall;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ferrit: %s\n", e.what());
        return -1;
    }
}

// A queue of QueueItems waiting uploads (the files of one local folder, empty,
// on tmpfs): its resident memory once filled, and the peak while filling.
bool MeasureQueueMemory()
{
    QTemporaryDir folder("/dev/shm/bench-tree-queue-XXXXXX");
    if (!folder.isValid()) {
        std::fprintf(stderr, "no folder for the queue's files: %s\n", qPrintable(folder.errorString()));
        return false;
    }
    for (int i = 0; i < QueueItems; ++i) {
        const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("waiting-file-%1.bin").arg(i)));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) {
            std::fprintf(stderr, "cannot create %s\n", path.constData());
            return false;
        }
        ::close(fd);
    }
    TFTPClient client; // never connected: filling an upload queue lists the local side only
    TTransferQueue queue(client);
    const qint64 before = ProcStatusKiB("VmRSS:");
    const bool peakReset = ResetPeakRss();
    queue.AddUpload(folder.path(), "/pub");
    const qint64 after = ProcStatusKiB("VmRSS:");
    const qint64 peak = ProcStatusKiB("VmHWM:");
    const auto waiting = std::count_if(queue.Items().begin(), queue.Items().end(),
                                       [](const TTransferItem& item) { return item.State == TTransferState::Waiting; });
    Figure("queue_waiting_items", double(waiting), "%.0f");
    Figure("queue_100000_items_rss_MiB", (after - before) / 1024.0);
    if (peakReset)
        Figure("queue_100000_items_peak_rss_MiB", (peak - before) / 1024.0);
    return waiting == QueueItems + 1; // the folder's own item and its files
}

// A client's two runs: each returns its wall seconds (negative on failure) and
// leaves its copy of the tree at downloaded or uploaded.
struct Contender {
    const char* name;
    int who; // whose CPU time the run spends: RUSAGE_SELF, or RUSAGE_CHILDREN (lftp)
    std::function<double()> download, upload;
    QString downloaded, uploaded;
    Best down, up;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool memoryOk = MeasureQueueMemory();

    // On tmpfs unless BENCH_SERVER_PARENT names another folder, like the local
    // side: the figures are then the clients' and the server's, not a disk's.
    const QString serverParent = BenchServerParent();
    const auto server = StartVsftpd(serverParent);
    if (!server)
        return 1;
    const QTemporaryDir work("/dev/shm/bench-tree-XXXXXX");
    if (!work.isValid())
        return 1;
    const QString localTree = work.filePath("tree");
    MakeTree({server->LocalPath("tree"), localTree});
    const std::map<QString, QByteArray> source = FilesOf(localTree);
    if (int(source.size()) != Files) {
        std::fprintf(stderr, "the tree holds %zu files, not %d\n", source.size(), Files);
        return 1;
    }
    const QString lftpHome = work.filePath("lftp-home");
    QDir().mkpath(lftpHome);
    const QString remoteDir = server->RemoteDir(); // "/pub"

    double gapMs = 0;
    Contender ferrit{
        "ferrit",
        RUSAGE_SELF,
        [&] {
            QDir(work.filePath("down-ferrit")).removeRecursively();
            return TimedQueue(
                *server,
                [&](TFTPClient&, TTransferQueue& queue) {
                    queue.AddDownload(remoteDir, "tree", true, 0, work.filePath("down-ferrit"));
                },
                gapMs);
        },
        [&] {
            QDir(server->LocalPath("up-ferrit")).removeRecursively();
            return TimedQueue(
                *server,
                [&](TFTPClient& client, TTransferQueue& queue) {
                    client.MakeDirectory(remoteDir + "/up-ferrit");
                    queue.AddUpload(localTree, remoteDir + "/up-ferrit");
                },
                gapMs);
        },
        work.filePath("down-ferrit/tree"),
        server->LocalPath("up-ferrit/tree"),
        {},
        {},
    };
    Contender lftp{
        "lftp",
        RUSAGE_CHILDREN,
        [&] {
            QDir(work.filePath("down-lftp")).removeRecursively();
            return TimedLftp(server->Port(), "mirror " + remoteDir + "/tree " + work.filePath("down-lftp"), lftpHome);
        },
        [&] {
            QDir(server->LocalPath("up-lftp")).removeRecursively();
            return TimedLftp(server->Port(), "mirror -R " + localTree + " " + remoteDir + "/up-lftp", lftpHome);
        },
        work.filePath("down-lftp"),
        server->LocalPath("up-lftp"),
        {},
        {},
    };
    // The copy is checked outside the CPU time taken for the run.
    const auto run = [&](Best& best, const std::function<double()>& transfer, int who, const QString& copy) {
        const double cpu = CpuSeconds(who);
        const double wall = transfer();
        const double used = CpuSeconds(who) - cpu;
        best.Take(Checked(wall, source, copy), used);
    };

    const int rounds = qEnvironmentVariableIsSet("BENCH_ROUNDS") ? qEnvironmentVariableIntValue("BENCH_ROUNDS") : 3;
    for (int round = 0; round < rounds; ++round) {
        for (Contender* c : round % 2 == 0 ? std::array{&ferrit, &lftp} : std::array{&lftp, &ferrit}) {
            run(c->down, c->download, c->who, c->downloaded);
            run(c->up, c->upload, c->who, c->uploaded);
            // Each run on stderr: the best alone hides a run whose every round was slow.
            std::fprintf(stderr, "round %d %s: download %.3f s (CPU %.2f s), upload %.3f s (CPU %.2f s)\n", round + 1,
                         c->name, c->down.last, c->down.lastCpu, c->up.last, c->up.lastCpu);
        }
    }

    Figure("files", Files, "%.0f");
    Figure("rounds", rounds, "%.0f");
    Figure("download_ferrit_files_per_s", Files / ferrit.down.wall);
    Figure("download_lftp_files_per_s", Files / lftp.down.wall);
    Figure("download_ratio_ferrit_to_lftp", lftp.down.wall / ferrit.down.wall, "%.2f");
    Figure("download_ferrit_cpu_s", ferrit.down.cpu, "%.2f");
    Figure("download_lftp_cpu_s", lftp.down.cpu, "%.2f");
    Figure("upload_ferrit_files_per_s", Files / ferrit.up.wall);
    Figure("upload_lftp_files_per_s", Files / lftp.up.wall);
    Figure("upload_ratio_ferrit_to_lftp", lftp.up.wall / ferrit.up.wall, "%.2f");
    Figure("upload_ferrit_cpu_s", ferrit.up.cpu, "%.2f");
    Figure("upload_lftp_cpu_s", lftp.up.cpu, "%.2f");
    Figure("longest_timer_gap_ms", gapMs);
    const bool failed = ferrit.down.failed || ferrit.up.failed || lftp.down.failed || lftp.up.failed;
    Figure("failed_runs", failed ? 1 : 0, "%.0f");
    return failed || !memoryOk ? 1 : 0;
}
