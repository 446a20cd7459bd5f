#include "ShellFixture.h"
#include "shellbrowser/FileChange.h"
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTest>

namespace {
class FileChangeTest : public ShellTest {
protected:
    QPointer<TFileChangeThread> Watch(const QString& path, TFileChangeFilters filter = TFileChangeFilter::fcDirName)
    {
        return new TFileChangeThread(path, false, filter, [this](TFileChangeThread*) { ++Changes; });
    }
    // Lets the watcher see its folder before the test changes it.
    static void WaitUntilWatching() { QTest::qWait(3 * TFileChangeThread::PollMilliseconds); }
    // Waits until the watcher has freed itself (it always does).
    static bool Gone(const QPointer<TFileChangeThread>& watcher) { return QTest::qWaitFor([&] { return watcher.isNull(); }, 5000); }

    int Changes = 0;
};

TEST_F(FileChangeTest, FolderCreatedRaisesOneEventThenTheWatcherEnds)
{
    auto watcher = Watch(Root());
    WaitUntilWatching();
    MakeDirs({"new"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return Changes == 1; }, 5000));
    EXPECT_TRUE(Gone(watcher));
    MakeDirs({"another"});
    QTest::qWait(50);
    EXPECT_EQ(Changes, 1);
}

TEST_F(FileChangeTest, FilesDoNotCountForAFolderNameFilter)
{
    auto watcher = Watch(Root());
    WaitUntilWatching();
    MakeFile("file.txt");
    QFile::remove(PathOf("file.txt"));
    QTest::qWait(100);
    EXPECT_EQ(Changes, 0);
    watcher->Terminate();
    EXPECT_TRUE(Gone(watcher));
    EXPECT_EQ(Changes, 0);
}

TEST_F(FileChangeTest, FileNameFilterSeesFiles)
{
    auto watcher = Watch(Root(), TFileChangeFilter::fcFileName);
    WaitUntilWatching();
    MakeFile("file.txt");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Changes == 1; }, 5000));
    EXPECT_TRUE(Gone(watcher));
}

TEST_F(FileChangeTest, MissingFolderRaisesNothingAndStops)
{
    auto watcher = Watch(PathOf("does-not-exist"));
    EXPECT_TRUE(Gone(watcher));
    EXPECT_EQ(Changes, 0);
}

TEST_F(FileChangeTest, TerminatedInTheSamePollAsAChangeRaisesNothing)
{
    for (int round = 0; round < 5; ++round) {
        auto watcher = Watch(Root());
        WaitUntilWatching();
        MakeDirs({QString("dir%1").arg(round)});
        watcher->Terminate();
        EXPECT_TRUE(Gone(watcher));
    }
    EXPECT_EQ(Changes, 0);
}
}
