#include "app/TerminationSignals.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// Whether the process catches SIGTERM by now (its handler is installed), from /proc.
bool CatchesSigterm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

TEST(TerminationSignals, EachSignalArrivesOnceOnTheEventLoopAndTheOldHandlerComesBack)
{
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        QList<int> seen;
        const TTerminationSignals watch([&](int signal) { seen << signal; });
        ASSERT_EQ(::raise(SIGTERM), 0);
        ASSERT_EQ(::raise(SIGHUP), 0);
        EXPECT_TRUE(seen.isEmpty()) << "not inside the signal handler";
        QTRY_COMPARE(seen, (QList<int>{SIGTERM, SIGHUP}));
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// The program itself: SIGTERM (a logout) closes the window as Close does, which
// rewrites the hosts file, instead of killing the program on the spot.
TEST(TerminationSignals, TheProgramClosesItsWindowOnSigtermAndSigtermDuringStartUp)
{
    // Once the window is up, and while the splash still stands.
    for (const int delayMs : {2500, 0}) {
        QTemporaryDir dir;
        const QString program = dir.filePath("ferrit");
        ASSERT_TRUE(QFile::copy(QStringLiteral(FERRIT_EXECUTABLE), program));
        const QString hosts = dir.filePath("ferrit.vth");
        {
            QFile file(hosts);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            // Line ends the program does not write: a file saved at close has lost them.
            file.write("[Host1]\r\nHostname=alpha\r\nDescription=kept\r\n");
        }
        QProcess ferrit;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", dir.path());
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config")); // nothing of the user's is touched
        ferrit.setProcessEnvironment(environment);
        ferrit.start(program, {});
        ASSERT_TRUE(ferrit.waitForStarted());
        QTRY_VERIFY(CatchesSigterm(ferrit.processId()));
        QTest::qWait(delayMs);
        ::kill(pid_t(ferrit.processId()), SIGTERM);
        ASSERT_TRUE(ferrit.waitForFinished(15000)) << delayMs;
        EXPECT_EQ(ferrit.exitStatus(), QProcess::NormalExit) << delayMs;
        EXPECT_EQ(ferrit.exitCode(), 0) << delayMs;
        QFile file(hosts);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray saved = file.readAll();
        EXPECT_TRUE(saved.startsWith("[Host1]\nHostname=alpha\nDescription=kept\n")) << saved.toStdString();
    }
}

} // namespace
