// A remote folder of 100,000 entries listed by "MLSD" from a server that offers it (pyftpdlib;
// BENCH_SERVER=proftpd for the other): the time from clicking Refresh until
// every entry is on the Listing page, the window's responsiveness meanwhile, and the
// process's peak memory.
// With the argument "memory" (and optionally a count, 1,000,000 by default): the same
// for a generated listing from bench/remote-listing/listing_server.py, a separate
// process, so the figures are the window's alone.
#include "app/Application.h"
#include "bench/MainWindowBench.h"

#include "app/RemoteListModel.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QTabWidget>

namespace {

// Clicks Refresh and runs the event loop until `rows` rows are in their places.
double RefreshUntil(TMainForm& form, int rows)
{
    return Timed([&] {
        UserClick(form, form.sbtnRefresh);
        while (form.RemoteFiles()->Count() < rows)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    });
}

int MemoryBench(int entries, bool group)
{
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString script = QString::fromLocal8Bit(qgetenv("BENCH_ROOT")) + "/bench/remote-listing/listing_server.py";
    server.start("/usr/bin/python3", {script, QString::number(entries), group ? "" : "--no-group"});
    if (!server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "listing server did not start (BENCH_ROOT set?)\n");
        return 1;
    }
    const quint16 port = quint16(server.readLine().trimmed().toUInt());

    QTemporaryDir dir, local;
    TAnswerYes* dialogs = nullptr;
    // The listing server speaks active mode only.
    auto form = MainWindowFor(port, "bench", "bench", dir, "", local.path(), dialogs, false);
    const qint64 startKiB = ProcStatusKiB("VmRSS:");
    UserClick(*form, form->sbtnConnect);
    form->RemoteFiles()->Flush();
    if (!form->FTPClient1->Connected || form->RemoteFiles()->Count() != entries) {
        std::fprintf(stderr, "connect: %d entries; %s\n", form->RemoteFiles()->Count(), qPrintable(dialogs->Errors.join('\n')));
        return 1;
    }
    double best = 1e9, longestGap = 0;
    for (int round = 0; round < 2; ++round) {
        TResponsiveness monitor;
        best = std::min(best, RefreshUntil(*form, entries + 1));
        longestGap = std::max(longestGap, monitor.LongestGapMs());
    }
    const bool sorted = form->RemoteFiles()->Entry(0).Caption == ".." &&
                        form->RemoteFiles()->Entry(entries).Caption.startsWith(QStringLiteral("entry%1").arg(entries - 1, 7, 10, QChar('0')));
    Figure("entries", entries, "%.0f");
    Figure("group_column", group ? 1 : 0, "%.0f");
    Figure("rows_sorted", sorted ? 1 : 0, "%.0f");
    Figure("status_log_lines", form->mmoStatus->blockCount(), "%.0f");
    Figure("refresh_to_listing_best_s", best, "%.2f");
    Figure("longest_timer_gap_ms", longestGap);
    Figure("rss_window_shown_MiB", startKiB / 1024.0);
    Figure("rss_listing_shown_MiB", ProcStatusKiB("VmRSS:") / 1024.0);
    // The window a few seconds later, as the user goes on with it.
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    Figure("rss_listing_idle_3s_MiB", ProcStatusKiB("VmRSS:") / 1024.0);
    Figure("peak_rss_MiB", ProcStatusKiB("VmHWM:") / 1024.0);
    form.reset();
    server.kill();
    server.waitForFinished();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "memory") == 0)
        return MemoryBench(argc > 2 ? atoi(argv[2]) : 1000000, !(argc > 3 && qstrcmp(argv[3], "no-group") == 0));
    constexpr int Entries = 100000;
    const auto server = StartMlsdServer();
    if (!server)
        return 1;
    const char* const extensions[] = {"txt", "bin", "c", "png", "html", "tar.gz", "pdf", ""};
    QDir(server->LocalDir()).mkdir("many");
    for (int i = 0; i < Entries; ++i) {
        const QString ext = QString::fromLatin1(extensions[i % 8]);
        QFile(server->LocalPath(QStringLiteral("many/entry%1%2").arg(i, 6, 10, QChar('0')).arg(ext.isEmpty() ? "" : "." + ext)))
            .open(QIODevice::WriteOnly);
    }

    QTemporaryDir dir, local;
    TAnswerYes* dialogs = nullptr;
    auto form = MainWindowFor(*server, dir, server->RemoteDir().mid(1) + "/many", local.path(), dialogs);
    UserClick(*form, form->sbtnConnect);
    form->RemoteFiles()->Flush();
    if (!form->FTPClient1->Connected || form->RemoteFiles()->Count() != Entries + 1) {
        std::fprintf(stderr, "connect: %d entries; %s\n", form->RemoteFiles()->Count(), qPrintable(dialogs->Errors.join('\n')));
        return 1;
    }
    if (!form->FTPClient1->MachineListings()) {
        std::fprintf(stderr, "the server does not offer MLST\n");
        return 1;
    }

    double best = 1e9, worst = 0, longestGap = 0;
    qint64 peakRss = 0;
    for (int round = 0; round < 5; ++round) {
        TResponsiveness monitor;
        // Until the last entry is in its place on the page, not just until the listing ended.
        const double seconds = RefreshUntil(*form, Entries + 1);
        best = std::min(best, seconds);
        worst = std::max(worst, seconds);
        longestGap = std::max(longestGap, monitor.LongestGapMs());
        peakRss = std::max(peakRss, monitor.PeakRssKiB());
        if (form->RemoteFiles()->Count() != Entries + 1 || form->pgctlFTP->currentWidget() != form->tbshtListing) {
            std::fprintf(stderr, "refresh showed %d entries\n", form->RemoteFiles()->Count());
            return 1;
        }
    }
    std::printf("server: %s\n", qPrintable(RealFtpServer::Name(server->ServerKind())));
    Figure("entries", Entries, "%.0f");
    Figure("refresh_to_listing_best_s", best, "%.2f");
    Figure("refresh_to_listing_worst_s", worst, "%.2f");
    Figure("longest_timer_gap_ms", longestGap);
    Figure("peak_rss_MiB", std::max(peakRss, ProcStatusKiB("VmHWM:")) / 1024.0);
    return 0;
}
