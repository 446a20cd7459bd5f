// The remote path field: it follows every folder change, takes typed paths, and
// keeps each account's recent folders across starts.
#include "RealFtpServer.h"
#include "RemoteFormFixture.h"

#include "app/AppInfo.h"
#include "app/RemotePathField.h"
#include "app/RemoteListModel.h"
#include "app/WindowState.h"
#include "ftp/FTPClient.h"
#include "ftp/WireText.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

namespace {

QStringList Folders(int first, int last) // "/f<last>" down to "/f<first>"
{
    QStringList folders;
    for (int i = last; i >= first; --i)
        folders << QStringLiteral("/f%1").arg(i);
    return folders;
}

TEST(RecentFolders, MostRecentFirstDistinctAndAtMostTen)
{
    struct Case {
        const char* what;
        QStringList before;
        QString visited;
        QStringList after;
    };
    const Case cases[] = {
        {"first visit", {}, "/a", {"/a"}},
        {"a new folder goes first", {"/a", "/b"}, "/c", {"/c", "/a", "/b"}},
        {"a known folder moves up, once", {"/a", "/b", "/c"}, "/c", {"/c", "/a", "/b"}},
        {"the current folder again", {"/a", "/b"}, "/a", {"/a", "/b"}},
        {"the oldest of ten drops out", Folders(1, 10), "/f11", Folders(2, 11)},
        {"a known one of ten drops none", Folders(1, 10), "/f1", QStringList{"/f1"} + Folders(2, 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(WithRecentFolder(c.before, c.visited), c.after);
    }
}

TEST(RecentFolders, EachAccountKeepsItsOwn)
{
    TRecentFolders recent;
    recent.Add("127.0.0.1", 21, "joe", "/a");
    recent.Add("127.0.0.1", 21, "ann", "/b");
    recent.Add("127.0.0.1", 2121, "joe", "/c");
    recent.Add("localhost", 21, "joe", "/d");
    recent.Add("127.0.0.1", 21, "joe", "/e");
    EXPECT_EQ(recent.Of("127.0.0.1", 21, "joe"), (QStringList{"/e", "/a"}));
    EXPECT_EQ(recent.Of("127.0.0.1", 21, "ann"), QStringList{"/b"});
    EXPECT_EQ(recent.Of("127.0.0.1", 2121, "joe"), QStringList{"/c"});
    EXPECT_EQ(recent.Of("localhost", 21, "joe"), QStringList{"/d"});
    EXPECT_TRUE(recent.Of("127.0.0.1", 21, "JOE").isEmpty());
    // The account used last comes first, and the file does not grow without end.
    EXPECT_EQ(recent.Accounts().first().User, "joe");
    EXPECT_EQ(recent.Accounts().first().Folders.first(), "/e");
    for (int i = 0; i < MaxRecentAccounts + 5; ++i)
        recent.Add(QStringLiteral("host%1").arg(i), 21, "joe", "/");
    EXPECT_EQ(recent.Accounts().size(), MaxRecentAccounts);
    EXPECT_EQ(recent.Accounts().first().Host, QStringLiteral("host%1").arg(MaxRecentAccounts + 4));
}

TEST(RecentFolders, KeptInTheWindowStateFileAsTheServersBytes)
{
    QTemporaryDir dir;
    const QString file = WindowStateFileName(dir.path());
    // A Latin-1 name from a server that does not speak UTF-8, and names with the
    // characters an ini file gives a meaning to.
    const QString raw = DecodeWire(QByteArray("/caf\xe9"));
    ASSERT_TRUE(HoldsRawBytes(raw));
    TWindowState state;
    state.RecentRemoteFolders = {{"127.0.0.1", 2121, "joe", {raw, "/a b;c=d", "/x,y", "/\"q\"", "/é"}},
                                 {"::1", 21, "anonymous", {"/pub"}}};
    ASSERT_TRUE(WriteWindowState(file, state));
    const TWindowState read = ReadWindowState(file);
    ASSERT_EQ(read.RecentRemoteFolders.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const TRecentRemoteFolders& got = read.RecentRemoteFolders[i];
        const TRecentRemoteFolders& put = state.RecentRemoteFolders[i];
        EXPECT_TRUE(got.SameAccount(put.Host, put.Port, put.User)) << got.Host.toStdString();
        EXPECT_EQ(got.Folders, put.Folders);
    }
    EXPECT_EQ(EncodeWire(read.RecentRemoteFolders[0].Folders[0]), QByteArray("/caf\xe9"));
}

// A window on a real server with its layout kept in a configuration folder of the test's own.
class RemotePath : public RemoteFormTest, public ::testing::WithParamInterface<RealFtpServer::Kind> {
protected:
    void SetUp() override
    {
        server = std::make_unique<RealFtpServer>(GetParam());
        if (!server->IsRunning())
            GTEST_SKIP() << server->ErrorText().toStdString();
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        QCoreApplication::setApplicationName(ApplicationTitle);
        stateFile = WindowStateFileName(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
        ASSERT_TRUE(stateFile.startsWith(config.path())) << stateFile.toStdString();
        for (const char* folder : {"a/b/c", "with space", "nowhere-else"})
            ASSERT_TRUE(QDir(server->LocalDir()).mkpath(folder));
        for (int i = 0; i < 12; ++i)
            ASSERT_TRUE(QDir(server->LocalDir()).mkpath(QStringLiteral("f%1").arg(i)));
        for (const char* file : {"a/in-a", "a/b/in-b", "a/b/c/in-c", "with space/in-with space"})
            ASSERT_TRUE(QFile(server->LocalPath(file)).open(QIODevice::WriteOnly));
        Reopen();
    }
    void TearDown() override
    {
        RemoteFormTest::TearDown();
        form.reset();
        QCoreApplication::setApplicationName(oldName);
        if (oldConfigHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfigHome);
    }
    // A new window (the program started again) on the same hosts and state file.
    // The second host is the same server under another name: another account.
    void Reopen()
    {
        if (form) {
            form->close();
            ASSERT_FALSE(form->isVisible());
            form.reset();
        }
        THostEntry byName = Host(server->User(), server->Password(), {}, "localhost");
        byName.Passive = true;
        THostEntry byAddress = Host(server->User(), server->Password());
        byAddress.Passive = true;
        MakeForm({byAddress, byName}, server->Port(), stateFile);
        form->show();
        form->IdleHandler();
    }
    void Open(int site = 0)
    {
        Connect(site);
        ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString();
        form->IdleHandler();
    }
    // The absolute remote path of a name in the folder the test may use.
    QString Path(const QString& name) const
    {
        return (server->RemoteDir() == "/" ? QString() : server->RemoteDir()) + '/' + name;
    }
    TRemotePathBox* Field() const { return form->cbRemotePath; }
    QString Shown() const { return Field()->currentText(); }
    QStringList Recent() const
    {
        QStringList items;
        for (int i = 0; i < Field()->count(); ++i)
            items << Field()->itemText(i);
        return items;
    }
    // Types into the field as a user does, and presses Enter.
    void Type(const QString& path)
    {
        Field()->setFocus();
        Field()->lineEdit()->selectAll();
        QTest::keyClicks(Field(), path);
        EXPECT_EQ(Shown(), path);
        QTest::keyClick(Field(), Qt::Key_Return);
        form->IdleHandler();
    }
    void DoubleClick(const QString& caption)
    {
        SelectRemote({caption});
        emit form->lvRemoteFiles->doubleClicked(form->lvRemoteFiles->selectionModel()->selectedRows().first());
        form->IdleHandler();
    }
    int CountOf(const QString& line) const { return int(LogLines().count(line)); }

    std::unique_ptr<RealFtpServer> server;
    QTemporaryDir config;
    QByteArray oldConfigHome = qgetenv("XDG_CONFIG_HOME");
    QString oldName = QCoreApplication::applicationName();
    QString stateFile;
};

TEST_P(RemotePath, FollowsEveryFolderChangeAndIsEmptyWhileNotConnected)
{
    EXPECT_FALSE(Field()->isEnabled());
    EXPECT_EQ(Shown(), "");
    EXPECT_FALSE(Field()->toolTip().isEmpty());
    EXPECT_FALSE(Field()->accessibleName().isEmpty());

    Open();
    EXPECT_TRUE(Field()->isEnabled());
    EXPECT_EQ(Shown(), "/"); // the login's folder
    if (server->RemoteDir() != "/")
        DoubleClick(server->RemoteDir().mid(1));
    DoubleClick("a");
    EXPECT_EQ(Shown(), Path("a"));
    DoubleClick("b");
    EXPECT_EQ(Shown(), Path("a/b"));
    DoubleClick("..");
    EXPECT_EQ(Shown(), Path("a"));
    // The command line's folder change too.
    form->edtFTPCommand->setText("CWD b/c");
    Click(form->sbtnExecute);
    EXPECT_EQ(Shown(), Path("a/b/c"));

    dialogs->Confirms = {true};
    Click(form->sbtnDisconnect);
    form->IdleHandler();
    EXPECT_FALSE(Field()->isEnabled());
    EXPECT_EQ(Shown(), "");
    EXPECT_EQ(Field()->count(), 0);
}

TEST_P(RemotePath, TypedAbsoluteAndRelativePathsGoThere)
{
    Open();
    struct Case {
        QString typed;
        QString folder;  // where the server says the session is then
        QString logged;  // the command as the log shows it
        QString content; // an entry of that folder's listing
    };
    const Case cases[] = {
        {Path("a/b"), Path("a/b"), "CWD " + Path("a/b"), "in-b"},
        {"c", Path("a/b/c"), "CWD ./c", "in-c"},
        {"../..", Path("a"), "CWD ./../..", "in-a"},
        {Path("with space"), Path("with space"), "CWD " + Path("with space"), "in-with space"},
        {"../a/b/", Path("a/b"), "CWD ./../a/b/", "in-b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        Type(c.typed);
        EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
        EXPECT_EQ(Shown(), c.folder);
        EXPECT_EQ(form->RemoteSession().RemoteFolder(), c.folder);
        EXPECT_EQ(LogLines().filter(QRegularExpression("^CWD ")).last(), c.logged);
        EXPECT_EQ(LogLines().last(), "List success");
        EXPECT_TRUE(RemoteCaptions().contains(c.content)) << RemoteCaptions().join('|').toStdString();
        EXPECT_FALSE(form->Busy);
    }
    EXPECT_EQ(form->pgctlFTP->currentWidget(), form->tbshtListing);
}

TEST_P(RemotePath, WrongPathShowsTheRefusalAndTheFieldGoesBack)
{
    Open();
    Type(Path("a"));
    const QStringList listing = RemoteCaptions();
    for (const QString& wrong : {QString("missing"), Path("a/in-a"), QString("/no/such/place")}) {
        SCOPED_TRACE(wrong.toStdString());
        dialogs->Shown.clear();
        Type(wrong);
        ASSERT_EQ(Errors().size(), 1);
        EXPECT_TRUE(Errors().first().contains("550")) << Errors().first().toStdString();
        EXPECT_EQ(Shown(), Path("a"));
        EXPECT_EQ(form->RemoteSession().RemoteFolder(), Path("a"));
        EXPECT_EQ(RemoteCaptions(), listing);
        EXPECT_FALSE(Recent().contains(wrong));
        EXPECT_FALSE(form->Busy);
        EXPECT_TRUE(Field()->isEnabled());
    }
    // The session goes on where it was.
    Type("b");
    EXPECT_EQ(Shown(), Path("a/b"));
}

TEST_P(RemotePath, RecentFoldersInOrderPerAccountAndKeptAfterARestart)
{
    Open();
    for (int i = 0; i < 12; ++i)
        Type(Path(QStringLiteral("f%1").arg(i)));
    Type(Path("f5"));
    const auto paths = [this](const QList<int>& numbers) {
        QStringList list;
        for (int n : numbers)
            list << Path(QStringLiteral("f%1").arg(n));
        return list;
    };
    EXPECT_EQ(Recent(), paths({5, 11, 10, 9, 8, 7, 6, 4, 3, 2}));

    // Chosen from the drop-down, as a user does: opened with Down, then a row.
    Field()->setFocus();
    QTest::keyClick(Field(), Qt::Key_Down);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Field()->view()->isVisible(); }, 2000));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(Field()->view(), Qt::Key_Down);
    QTest::keyClick(Field()->view(), Qt::Key_Return);
    form->IdleHandler();
    EXPECT_EQ(Shown(), Path("f9"));
    EXPECT_EQ(LogLines().filter(QRegularExpression("^CWD ")).last(), "CWD " + Path("f9"));
    EXPECT_EQ(Recent(), paths({9, 5, 11, 10, 8, 7, 6, 4, 3, 2}));

    // Another account (the same server by another name) has its own list.
    Open(1);
    EXPECT_EQ(Recent(), QStringList{"/"});
    Type(Path("a"));
    EXPECT_EQ(Recent(), (QStringList{Path("a"), "/"}));

    Reopen();
    EXPECT_EQ(Shown(), "");
    EXPECT_FALSE(Field()->isEnabled());
    {
        QFile file(stateFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains(server->Password().toUtf8()));
    }
    Open();
    EXPECT_EQ(Recent(), QStringList{"/"} + paths({9, 5, 11, 10, 8, 7, 6, 4, 3}));
    Open(1);
    EXPECT_EQ(Recent(), (QStringList{"/", Path("a")}));
}

TEST_P(RemotePath, AFolderChangeTypedWhileACommandRunsIsRefused)
{
    Open();
    const int sent = CountOf("CWD ./a");
    const QString folder = form->RemoteSession().RemoteFolder();
    // Typed from inside another command's wait, as the event loop would let a user.
    form->RemoteSession().Run([&] { Type(server->RemoteDir() == "/" ? "a" : server->RemoteDir().mid(1) + "/a"); });
    EXPECT_EQ(CountOf("CWD ./a"), sent);
    EXPECT_EQ(form->RemoteSession().RemoteFolder(), folder);
    EXPECT_TRUE(Errors().isEmpty());
    // What was typed stays, to be sent once the other command has ended.
    EXPECT_NE(Shown(), folder);
    QTest::keyClick(Field(), Qt::Key_Return);
    EXPECT_EQ(Shown(), Path("a"));
}

TEST_P(RemotePath, CtrlLFocusesTheFieldAndEscapeGivesTheListItBack)
{
    Open();
    Type(Path("a"));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->pgctlFTP->setCurrentWidget(form->tbshtStatus);
    form->lvSites->setFocus();
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::ALT | Qt::Key_D)}) {
        SCOPED_TRACE(key.toString().toStdString());
        QTest::keySequence(QApplication::focusWidget(), key);
        EXPECT_EQ(form->pgctlFTP->currentWidget(), form->tbshtListing);
        ASSERT_TRUE(Field()->hasFocus() || Field()->lineEdit()->hasFocus());
        EXPECT_EQ(Field()->lineEdit()->selectedText(), Path("a"));
        QTest::keyClicks(QApplication::focusWidget(), "half typed");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_TRUE(form->lvRemoteFiles->hasFocus());
        EXPECT_EQ(Shown(), Path("a"));
        form->pgctlFTP->setCurrentWidget(form->tbshtStatus);
        form->lvSites->setFocus();
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, RemotePath, ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

} // namespace
