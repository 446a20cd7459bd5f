// The window's transfer runner while it lists a folder tree that never ends: the
// window's Stop and the queue pane's "Cancel all" reach the walk and end it
// within a second, and the connection serves the next request.
#include "QtPrinters.h"
#include "ScriptedFtpServer.h"

#include "app/TransferRunner.h"
#include "ftp/FTPClient.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using S = ScriptedFtpServer;

qsizetype CwdCount(const S& server)
{
    const QByteArrayList& lines = server.Received();
    return std::count_if(lines.begin(), lines.end(), [](const QByteArray& line) { return line.startsWith("CWD"); });
}

struct StopCase {
    const char* name;
    void (TTransferRunner::*stop)();
};

TEST(TransferRunnerWalk, StopAndCancelAllEndAnEndlessWalk)
{
    const StopCase cases[] = {
        {"Cancel all", &TTransferRunner::CancelAll},
        {"Stop", &TTransferRunner::CancelRunning},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        S server;
        server.On("FEAT", "211-Features:\r\n MLST type*;size*;\r\n211 End\r\n");
        server.On("CWD", {.text = "250 ok\r\n", .delayMs = 100});
        server.On("EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n");
        // Every folder holds one more, each of another name.
        for (int depth = 1; depth <= 2000; ++depth)
            server.Queue("MLSD", {.text = "150 here\r\n", .data = S::Send,
                                  .payload = "type=dir; d" + QByteArray::number(depth) + "\r\n",
                                  .completion = "226 done\r\n"});
        TFTPClient session;
        session.Host = "127.0.0.1";
        session.Port = server.Port();
        session.UserID = "user";
        session.Password = "secret";
        session.Passive = true;
        TTransferRunner runner;
        runner.UseSettingsOf(session);
        QStringList errors;
        runner.OnError = [&errors](const QString& text) { errors << text; };
        QTemporaryDir local;
        // The queue runs from the event loop: the user's hand comes from there too.
        QElapsedTimer sinceStop;
        int pendingAtStop = -1;
        QTimer hand;
        QObject::connect(&hand, &QTimer::timeout, [&] {
            if (!sinceStop.isValid() && CwdCount(server) >= 3) {
                pendingAtStop = runner.PendingRequests();
                sinceStop.start();
                (runner.*c.stop)();
            } else if (sinceStop.isValid() && sinceStop.elapsed() > 3000 && runner.Active()) {
                runner.Client()->Abort(); // it did not stop: the test ends it
            }
        });
        hand.start(20);
        qint64 stoppedIn = -1;
        runner.OnFinished = [&](bool, bool) { stoppedIn = sinceStop.isValid() ? sinceStop.elapsed() : -1; };
        runner.AddDownload("/", "top", true, 0, local.path(), "top");
        ASSERT_TRUE(QTest::qWaitFor([&] { return sinceStop.isValid() && !runner.Active(); }, 20000));
        EXPECT_EQ(pendingAtStop, 1) << "the folder being listed still counts, so it can be cancelled";
        EXPECT_GE(stoppedIn, 0);
        EXPECT_LT(stoppedIn, 1000) << "ended within a second";
        EXPECT_TRUE(runner.Queue().Items().empty());
        EXPECT_EQ(runner.PendingRequests(), 0);
        EXPECT_TRUE(errors.filter("The transfers stopped").isEmpty()) << errors.join('\n').toStdString();
        EXPECT_TRUE(runner.Client()->Connected) << "a stopped walk leaves the connection up";
    }
}

} // namespace
