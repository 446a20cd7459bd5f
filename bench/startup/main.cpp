// Start-up costs that grow with the user's data: reading and writing the hosts
// file, and creating the main window with a long host list.
#include "app/Application.h"
#include "app/HostsFile.h"
#include "app/MainForm.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace {
constexpr int Hosts = 1000;
constexpr int Rounds = 5;

std::vector<THostEntry> SampleHosts()
{
    std::vector<THostEntry> hosts;
    for (int i = 0; i < Hosts; ++i)
        hosts.push_back({QStringLiteral("ftp%1.example.org").arg(i), QStringLiteral("Mirror number %1").arg(i),
                         QStringLiteral("anonymous"), QStringLiteral("guest@example.org"),
                         QStringLiteral("/home/user/Downloads/"), QStringLiteral("/pub/mirror/%1").arg(i)});
    return hosts;
}

// Best of several rounds, in milliseconds: the figure least disturbed by other work on the machine.
template <class F>
double BestMs(F f)
{
    double best = 1e300;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        f();
        best = std::min(best, clock.nsecsElapsed() / 1e6);
    }
    return best;
}
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ferrit.vth"));
    const std::vector<THostEntry> hosts = SampleHosts();
    const THostDefaults defaults{QStringLiteral("/"), [] { return QString(); }};

    std::printf("hosts_save_1000_ms: %.2f\n", BestMs([&] { WriteHostsFile(file, hosts); }));
    std::printf("hosts_load_1000_ms: %.2f\n", BestMs([&] { ReadHostsFile(file, defaults); }));
    std::printf("mainform_create_1000_hosts_ms: %.2f\n", BestMs([&] { TMainForm form(file); }));
    std::printf("mainform_create_no_hosts_ms: %.2f\n",
                BestMs([&] { TMainForm form(dir.filePath(QStringLiteral("none.vth"))); }));
    return 0;
}
