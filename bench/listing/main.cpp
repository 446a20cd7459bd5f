// Lists a folder of 100,000 empty files through TFTPClient (OnListItem, ParseList on)
// by "MLSD" from a server that offers it (pyftpdlib on loopback by default; BENCH_SERVER=proftpd
// for the other), and the same listing with curl's "MLSD" in the same run.
#include "RealFtpServer.h"
#include "bench/ftp/BenchUtil.h"
#include "ftp/FTPClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <tuple>
#include <utility>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Entries = 100000;

void CreateFiles(const QString& folder)
{
    QDir().mkpath(folder);
    for (int i = 0; i < Entries; ++i) {
        const QByteArray name = QFile::encodeName(folder + QStringLiteral("/file-%1.dat").arg(i, 6, 10, QChar(u'0')));
        ::close(::open(name.constData(), O_CREAT | O_WRONLY, 0644));
    }
}

// Lines of an MLSD answer, and those of files (ProFTPD adds the "cdir" and "pdir" lines).
std::pair<qint64, qint64> LinesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {-1, -1};
    const QByteArray text = file.readAll();
    return {text.count('\n'), text.toLower().count("type=file;")};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const auto server = StartMlsdServer();
    if (!server)
        return 1;
    CreateFiles(server->LocalPath("many"));
    const QString folder = server->RemoteDir() + (server->RemoteDir().endsWith('/') ? "" : "/") + "many";
    const QString url = QStringLiteral("ftp://127.0.0.1:%1%2/").arg(server->Port()).arg(folder);
    const QString userPassword = server->User() + ':' + server->Password();
    QTemporaryDir out;
    const QString curlOut = out.filePath("mlsd.txt");

    TFTPClient client;
    AimAt(client, *server);
    client.ParseList = true;
    qint64 lines = 0;
    client.OnListItem = [&lines](const QString&) { ++lines; };
    // curl is to fetch the same listing: the facts the client asked for, if it asked.
    QString optsMlst;
    client.OnStatus = [&optsMlst](QObject*, const QString& status) {
        if (const qsizetype at = status.indexOf(QLatin1String("OPTS MLST ")); at >= 0)
            optsMlst = status.mid(at).trimmed();
    };
    client.ReportLevel = LevelTraffic;
    client.Connect();
    client.ReportLevel = 0;
    client.OnStatus = nullptr;
    client.DoCommand("CWD " + folder);
    const QStringList curlArgs = QStringList{"--user", userPassword}
                                 + (optsMlst.isEmpty() ? QStringList() : QStringList{"-Q", optsMlst})
                                 + QStringList{"-X", "MLSD", url, "-o", curlOut};

    // Best of five, the first client alternating, so that neither always finds the
    // server's folder warm.
    double ferrit = 1e9, curl = 1e9;
    qint64 parsed = 0, curlLines = 0, curlFiles = 0;
    double ferritCpu = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto runFerrit = [&] {
            lines = 0;
            const double cpu = CpuSeconds();
            ferrit = std::min(ferrit, Timed([&] { client.List(); }));
            ferritCpu = std::min(ferritCpu, CpuSeconds() - cpu);
            parsed = client.FTPDirectoryList()->Names.size();
        };
        const auto runCurl = [&] {
            const double seconds = TimedCurl(curlArgs);
            if (seconds > 0)
                curl = std::min(curl, seconds);
            std::tie(curlLines, curlFiles) = LinesOf(curlOut);
        };
        if (round % 2 == 0) {
            runFerrit();
            runCurl();
        } else {
            runCurl();
            runFerrit();
        }
    }
    const bool machine = client.MachineListings();
    client.Disconnect();

    std::printf("server: %s\n", qPrintable(RealFtpServer::Name(server->ServerKind())));
    std::printf("facts_asked: %s\n", optsMlst.isEmpty() ? "(server default)" : qPrintable(optsMlst));
    Figure("listing_by_mlsd", machine ? 1 : 0, "%.0f");
    Figure("listing_lines", double(lines), "%.0f");
    Figure("listing_entries_parsed", double(parsed), "%.0f");
    Figure("listing_curl_lines", double(curlLines), "%.0f");
    Figure("listing_curl_file_lines", double(curlFiles), "%.0f");
    Figure("listing_ferrit_cpu_s", ferritCpu, "%.2f");
    Figure("listing_ferrit_lines_per_s", lines / ferrit, "%.0f");
    Figure("listing_curl_lines_per_s", curlLines / curl, "%.0f");
    Figure("listing_ratio_ferrit_to_curl", (lines / ferrit) / (curlLines / curl), "%.2f");
    return machine && parsed == Entries && curlFiles == Entries ? 0 : 1;
}
