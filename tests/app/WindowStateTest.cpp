// The window's layout kept between runs, in a configuration folder of the test's own.
#include "AppTestSupport.h"
#include "app/AppInfo.h"
#include "app/MainForm.h"
#include "app/RemoteListModel.h"
#include "app/WindowState.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {
class WindowStateTest : public ::testing::Test {
protected:
    QTemporaryDir config;
    QTemporaryDir files;
    QByteArray oldConfigHome = qgetenv("XDG_CONFIG_HOME");
    QString oldName = QCoreApplication::applicationName();
    QString stateFile;

    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        QCoreApplication::setApplicationName(ApplicationTitle);
        // The same file the program uses, under the test's folder.
        stateFile = WindowStateFileName(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
        ASSERT_TRUE(stateFile.startsWith(config.path())) << stateFile.toStdString();
    }
    void TearDown() override
    {
        QCoreApplication::setApplicationName(oldName);
        if (oldConfigHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfigHome);
    }
    std::unique_ptr<TMainForm> Open(const QString& windowStateFile)
    {
        auto form = std::make_unique<TMainForm>(files.filePath("ferrit.vth"), windowStateFile);
        form->SetDialogs(std::make_unique<TScriptedDialogs>());
        form->SetSounds(std::make_unique<TRecordedSounds>());
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QApplication::processEvents(); // the fit once the frame is known
        return form;
    }
    void WriteState(const QByteArray& text)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(stateFile).absolutePath()));
        QFile out(stateFile);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    static int LocalNameWidth(const TMainForm& form) { return form.SystemListView->ReportView()->columnWidth(0); }
};

TEST_F(WindowStateTest, ClosedWindowComesBackAsItWasLeft)
{
    const QString folder = files.filePath("photos");
    ASSERT_TRUE(QDir().mkpath(folder));
    QList<int> splitterSizes;
    {
        auto form = Open(stateFile);
        form->resize(790, 500);
        QApplication::processEvents();
        form->splApp->setSizes({260, form->splApp->width() - 260 - form->splApp->handleWidth()});
        splitterSizes = form->splApp->sizes();
        form->lvRemoteFiles->header()->resizeSection(0, 222);
        form->QueueView->header()->resizeSection(1, 111);
        form->SystemListView->ReportView()->setColumnWidth(0, 177);
        form->SystemTreeView->SetDirectory(folder);
        form->close();
    }
    ASSERT_TRUE(QFileInfo::exists(stateFile));
    auto form = Open(stateFile);
    EXPECT_EQ(form->size(), QSize(790, 500));
    EXPECT_EQ(form->splApp->sizes(), splitterSizes);
    EXPECT_EQ(form->lvRemoteFiles->header()->sectionSize(0), 222);
    EXPECT_EQ(form->QueueView->header()->sectionSize(1), 111);
    EXPECT_EQ(QDir(form->SystemTreeView->Directory()), QDir(folder));
    EXPECT_EQ(LocalNameWidth(*form), 177);
    // A width the user set stays when another folder is shown.
    form->SystemTreeView->SetDirectory(files.path());
    EXPECT_EQ(LocalNameWidth(*form), 177);
    form->hide();
}

// The remote list's order chosen by a header click comes back with the window; a value
// that does not read leaves the list's own order.
TEST_F(WindowStateTest, RemoteSortOrderComesBack)
{
    {
        auto form = Open(stateFile);
        EXPECT_EQ(form->lvRemoteFiles->header()->sortIndicatorSection(), -1);
        form->lvRemoteFiles->sortByColumn(3, Qt::DescendingOrder);
        form->close();
    }
    {
        auto form = Open(stateFile);
        EXPECT_EQ(form->lvRemoteFiles->header()->sortIndicatorSection(), 3);
        EXPECT_EQ(form->lvRemoteFiles->header()->sortIndicatorOrder(), Qt::DescendingOrder);
        EXPECT_EQ(form->RemoteFiles()->SortColumn(), 3);
        EXPECT_EQ(form->RemoteFiles()->SortOrder(), Qt::DescendingOrder);
        form->hide();
    }
    WriteState("[Window]\nVersion=1\n[Remote]\nSortColumn=size\nSortOrder=sideways\n");
    const TWindowState state = ReadWindowState(stateFile);
    EXPECT_EQ(state.RemoteSortColumn, -1);
    EXPECT_EQ(state.RemoteSortOrder, Qt::AscendingOrder);
}

TEST_F(WindowStateTest, WindowNeverLargerThanTheScreen)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QByteArray& geometry : {QByteArray("-4000, -3000, 4000, 3000"), QByteArray("5000, 5000, 640, 400"),
                                       QByteArray("0, 0, 2080, 1240")}) {
        SCOPED_TRACE(geometry.toStdString());
        WriteState("[Window]\nVersion=1\nGeometry=" + geometry + "\n");
        auto form = Open(stateFile);
        EXPECT_TRUE(available.contains(form->frameGeometry())) ;
        form->hide();
    }
    // Without a remembered size the default one is fitted too.
    auto form = Open({});
    EXPECT_TRUE(available.contains(form->frameGeometry()));
    form->hide();
}

TEST_F(WindowStateTest, DamagedFileOrVanishedFolderGiveTheDefaults)
{
    auto defaults = Open({});
    const QSize size = defaults->size();
    const QList<int> splitterSizes = defaults->splRemote->sizes();
    const int remoteNameWidth = defaults->lvRemoteFiles->header()->sectionSize(0);
    const QString startFolder = defaults->SystemTreeView->Directory();
    const int localNameWidth = LocalNameWidth(*defaults);
    defaults->hide();

    const QString gone = files.filePath("gone");
    const QList<QByteArray> cases = {
        QByteArray("\x00\xff\x13garbage\n[[[\n=\n", 16),
        // An older or newer layout is not read as this one.
        "[Window]\nVersion=99\nGeometry=10, 10, 500, 300\n[Columns]\nlvRemoteFiles=300\n",
        "[Window]\nVersion=1\nGeometry=a, b, c, d\n[Splitters]\nsplRemote=x, -5\n[Columns]\nlvRemoteFiles=-1\n"
        "[LocalColumns]\nName=wide\n[Local]\nFolder=" + QFile::encodeName(gone) + "\n",
    };
    for (const QByteArray& text : cases) {
        SCOPED_TRACE(text.toStdString());
        WriteState(text);
        auto form = Open(stateFile);
        EXPECT_EQ(form->size(), size);
        EXPECT_EQ(form->splRemote->sizes(), splitterSizes);
        EXPECT_EQ(form->lvRemoteFiles->header()->sectionSize(0), remoteNameWidth);
        EXPECT_EQ(LocalNameWidth(*form), localNameWidth);
        EXPECT_EQ(form->SystemTreeView->Directory(), startFolder);
        form->hide();
    }
}
}
