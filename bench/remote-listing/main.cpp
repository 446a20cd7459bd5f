// A remote folder of 100,000 entries from vsftpd: the time from clicking Refresh until
// every entry is on the Listing page, the window's responsiveness meanwhile, and the
// process's peak memory.
#include "app/Application.h"
#include "bench/MainWindowBench.h"

#include "app/RemoteListModel.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    constexpr int Entries = 100000;
    const auto server = StartVsftpd();
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

    double best = 1e9, worst = 0, longestGap = 0;
    qint64 peakRss = 0;
    for (int round = 0; round < 3; ++round) {
        TResponsiveness monitor;
        // Until the last entry is in its place on the page, not just until the listing ended.
        const double seconds = Timed([&] {
            UserClick(*form, form->sbtnRefresh);
            while (form->RemoteFiles()->Count() < Entries + 1)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        });
        best = std::min(best, seconds);
        worst = std::max(worst, seconds);
        longestGap = std::max(longestGap, monitor.LongestGapMs());
        peakRss = std::max(peakRss, monitor.PeakRssKiB());
        if (form->RemoteFiles()->Count() != Entries + 1 || form->pgctlFTP->currentWidget() != form->tbshtListing) {
            std::fprintf(stderr, "refresh showed %d entries\n", form->RemoteFiles()->Count());
            return 1;
        }
    }
    Figure("entries", Entries, "%.0f");
    Figure("refresh_to_listing_best_s", best, "%.2f");
    Figure("refresh_to_listing_worst_s", worst, "%.2f");
    Figure("longest_timer_gap_ms", longestGap);
    Figure("peak_rss_MiB", std::max(peakRss, ProcStatusKiB("VmHWM:")) / 1024.0);
    return 0;
}
