// The remote list's context menu and its "Permissions" and "Copy address", through
// the window: against the scripted server for what the menu offers and sends, and
// against real servers for rights that change on disk.
#include "RealServerForm.h"
#include "RemoteFormFixture.h"
#include "ScriptedFtpServer.h"

#include "app/FtpAddress.h"
#include "app/RemoteListModel.h"
#include "app/RemoteSession.h"
#include "ftp/TransferQueue.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kListing = "drwxr-xr-x   2 user     group        4096 Jan  1 12:00 docs\r\n"
                            "-rw-r--r--   1 user     group          10 Jan  1 12:00 a b.txt\r\n"
                            "-rw-------   1 user     group          10 Jan  1 12:00 caf\xc3\xa9.txt\r\n";

// The menu's entries as letters, enabled ones upper case: Download, Open, Rename,
// deLete, New folder, Permissions, Copy address.
QString EnabledEntries(const TMainForm& form)
{
    const std::pair<QAction*, QChar> entries[] = {
        {form.actRemoteDownload, u'd'}, {form.actRemoteOpen, u'o'},        {form.actRemoteRename, u'r'},
        {form.actRemoteDelete, u'l'},   {form.actRemoteNewFolder, u'n'},    {form.actRemotePermissions, u'p'},
        {form.actRemoteCopyAddress, u'c'}};
    QString text;
    for (const auto& [action, letter] : entries)
        text += action->isEnabled() ? letter.toUpper() : letter;
    return text;
}

class RemoteMenu : public RemoteFormTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(local.isValid());
        THostEntry host = Host("joe", "pw");
        host.LocalDir = local.path(); // where a download would go
        MakeForm({host}, server.Port());
        form->show();
        server.On("LIST", {.text = "150 Here it comes.\r\n",
                           .data = ScriptedFtpServer::Send,
                           .payload = kListing,
                           .completion = "226 Done.\r\n"});
        Connect();
        ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString();
        Click(form->sbtnRefresh); // the list starts with the way up, ".."
        form->RemoteFiles()->Flush();
        sent = server.ReceivedWithoutPort().size();
    }
    QByteArrayList SentSince() const { return server.ReceivedWithoutPort().mid(sent); }
    // Runs a menu entry as a click on it would, which needs it enabled.
    void Choose(QAction* action)
    {
        form->UpdateRemoteMenu();
        ASSERT_TRUE(action->isEnabled()) << action->objectName().toStdString();
        action->trigger();
    }
    QPoint RowCenter(const QString& caption) const
    {
        for (int row = 0; row < form->RemoteFiles()->Count(); ++row)
            if (form->RemoteFiles()->Entry(row).Caption == caption)
                return form->lvRemoteFiles->visualRect(form->RemoteFiles()->index(row, 0)).center();
        ADD_FAILURE() << caption.toStdString();
        return {};
    }
    void RightClick(const QPoint& at)
    {
        emit form->lvRemoteFiles->customContextMenuRequested(at);
        EXPECT_TRUE(form->mnuRemote->isVisible());
        form->mnuRemote->hide();
    }

    ScriptedFtpServer server;
    QTemporaryDir local;
    qsizetype sent = 0;
};

TEST_F(RemoteMenu, EntriesAreEnabledAsTheButtonsAre)
{
    const struct {
        QStringList selected;
        const char* entries;
    } cases[] = {
        {{}, "dorlNpc"},
        {{".."}, "dOrlNpc"},
        {{"a b.txt"}, "DORLNPC"},
        {{"docs"}, "DORLNPC"},
        {{"..", "docs", "a b.txt"}, "DORLNPC"},
    };
    for (const auto& c : cases) {
        SelectRemote(c.selected);
        form->UpdateRemoteMenu();
        EXPECT_EQ(EnabledEntries(*form).toStdString(), c.entries) << c.selected.join('|').toStdString();
    }
}

TEST_F(RemoteMenu, ARightClickSelectsTheRowUnderItUnlessItIsSelected)
{
    SelectRemote({"docs"});
    RightClick(RowCenter("a b.txt"));
    EXPECT_EQ(SelectedRemote(), QStringList{"a b.txt"});
    SelectRemote({"docs", "a b.txt"});
    RightClick(RowCenter("docs"));
    EXPECT_EQ(SelectedRemote(), (QStringList{"a b.txt", "docs"})) << "a selected row keeps the selection whole";
    RightClick(QPoint(5, form->lvRemoteFiles->viewport()->height() - 5));
    EXPECT_TRUE(SelectedRemote().isEmpty()) << "beside the rows";
    form->UpdateRemoteMenu();
    EXPECT_EQ(EnabledEntries(*form).toStdString(), "dorlNpc");
}

TEST_F(RemoteMenu, ShiftF10OpensTheMenuAtTheCurrentRow)
{
    form->lvRemoteFiles->setFocus();
    form->lvRemoteFiles->setCurrentIndex(form->RemoteFiles()->index(2, 0));
    QTest::keyClick(form->lvRemoteFiles, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(form->mnuRemote->isVisible());
    form->mnuRemote->hide();
}

TEST_F(RemoteMenu, EntriesRunTheButtonsCommands)
{
    server.On("DELE", "250 Deleted.\r\n");
    server.On("CWD", "250 OK.\r\n");
    SelectRemote({"a b.txt"});
    Choose(form->actRemoteDelete);
    EXPECT_EQ(SentSince(), (QByteArrayList{"DELE a b.txt", "LIST"}));
    SelectRemote({"docs"});
    Choose(form->actRemoteOpen);
    EXPECT_TRUE(SentSince().contains("CWD ./docs")) << SentSince().join('|').toStdString();
    dialogs->Inputs = {QString("new")};
    server.On("MKD", "257 \"new\" created.\r\n");
    Choose(form->actRemoteNewFolder);
    EXPECT_TRUE(SentSince().contains("MKD new"));

    // While a command runs, an entry is refused as a second button would be.
    bool refusedInside = false;
    dialogs->OnConfirm = [&] {
        dialogs->OnConfirm = nullptr;
        const qsizetype before = server.ReceivedWithoutPort().size();
        SelectRemote({"a b.txt"});
        Choose(form->actRemoteRename);
        refusedInside = server.ReceivedWithoutPort().size() == before && dialogs->Texts("input").size() == 1;
    };
    SelectRemote({"a b.txt"});
    Choose(form->actRemoteDelete);
    EXPECT_TRUE(refusedInside);
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

TEST_F(RemoteMenu, TheWayUpIsNeverDownloaded)
{
    SelectRemote({"..", "a b.txt"});
    Choose(form->actRemoteDownload);
    ASSERT_TRUE(WaitUntilIdle());
    QStringList queued;
    for (const TTransferItem& item : Items())
        queued << item.RemotePath;
    EXPECT_EQ(queued, QStringList{"/a b.txt"});
    EXPECT_EQ(Errors().filter("..").join('\n').toStdString(), "") << "nor refused as a name";
}

TEST_F(RemoteMenu, PermissionsAreAskedFromTheListingAndSentPerEntry)
{
    server.On("SITE", "200 SITE CHMOD command successful.\r\n");
    SelectRemote({"..", "a b.txt", "caf\u00e9.txt"});
    dialogs->Permissions = {TPermissionsChoice{.Mode = 0640}};
    Choose(form->actRemotePermissions);
    ASSERT_EQ(dialogs->PermissionQuestions.size(), 1u);
    const TPermissionsRequest& asked = dialogs->PermissionQuestions.front();
    EXPECT_EQ(asked.Names, (QStringList{"a b.txt", "caf\u00e9.txt"})) << "the way up is no entry";
    EXPECT_EQ(asked.Mode, 0644);
    EXPECT_TRUE(asked.Mixed);
    EXPECT_FALSE(asked.HasFolder);
    EXPECT_EQ(SentSince(), (QByteArrayList{"SITE CHMOD 640 a b.txt", "SITE CHMOD 640 caf\xc3\xa9.txt", "LIST"}))
        << "one refresh at the end";
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();

    // Cancelled: nothing is sent.
    SelectRemote({"docs"});
    dialogs->Permissions = {std::nullopt};
    Choose(form->actRemotePermissions);
    EXPECT_TRUE(dialogs->PermissionQuestions.back().HasFolder);
    EXPECT_EQ(SentSince().size(), 3);
}

TEST_F(RemoteMenu, RefusalsAreNamedTogetherAndAnUnknownCommandIsSaidOnce)
{
    const struct {
        const char* reply;
        QByteArrayList sent;
        const char* error;
    } cases[] = {
        {"550 Permission denied.\r\n",
         {"SITE CHMOD 600 a b.txt", "SITE CHMOD 600 caf\xc3\xa9.txt", "LIST"},
         "The server refused to change the permissions of 2 of 2 entries:\na b.txt: 550 Permission denied.\n"
         "caf\u00e9.txt: 550 Permission denied."},
        {"502 Command not implemented.\r\n",
         {"SITE CHMOD 600 a b.txt", "LIST"},
         "The server does not allow changing permissions.\n\nIt answered: 502 Command not implemented."},
        {"500 'SITE CHMOD': command not understood.\r\n",
         {"SITE CHMOD 600 a b.txt", "LIST"},
         "The server does not allow changing permissions.\n\nIt answered: 500 'SITE CHMOD': command not understood."},
    };
    for (const auto& c : cases) {
        server.On("SITE", c.reply);
        sent = server.ReceivedWithoutPort().size();
        dialogs->Shown.clear();
        SelectRemote({"a b.txt", "caf\u00e9.txt"});
        dialogs->Permissions = {TPermissionsChoice{.Mode = 0600}};
        Choose(form->actRemotePermissions);
        EXPECT_EQ(SentSince(), c.sent) << c.reply;
        EXPECT_EQ(Errors(), QStringList{QString::fromUtf8(c.error)}) << c.reply;
        EXPECT_FALSE(form->RemoteSession().Running());
        EXPECT_FALSE(form->Busy);
    }
}

TEST_F(RemoteMenu, StopEndsTheChangesAndTheListIsRefreshed)
{
    server.On("SITE", {.text = "200 OK.\r\n", .delayMs = 3000});
    SelectRemote({"a b.txt", "caf\u00e9.txt"});
    dialogs->Permissions = {TPermissionsChoice{.Mode = 0600}};
    QTimer::singleShot(300, form.get(), [this] {
        form->IdleHandler();
        EXPECT_TRUE(form->btnStop->isEnabled());
        form->btnStop->click();
    });
    Choose(form->actRemotePermissions);
    EXPECT_EQ(SentSince().first(), "SITE CHMOD 600 a b.txt");
    EXPECT_FALSE(SentSince().contains("SITE CHMOD 600 caf\xc3\xa9.txt")) << SentSince().join('|').toStdString();
    EXPECT_EQ(SentSince().last(), "LIST");
    EXPECT_FALSE(form->RemoteSession().Running());
    EXPECT_TRUE(form->FTPClient1->Connected);
}

TEST_F(RemoteMenu, CopyAddressPutsTheSelectedEntriesOnTheClipboard)
{
    SelectRemote({"..", "a b.txt", "caf\u00e9.txt"});
    Choose(form->actRemoteCopyAddress);
    const QString prefix = QStringLiteral("ftp://joe@127.0.0.1:%1/").arg(server.Port());
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              prefix + "a%20b.txt\n" + prefix + "caf%C3%A9.txt");
    const TFtpAddress parsed = ParseFtpAddress(QGuiApplication::clipboard()->text().section('\n', 1));
    EXPECT_EQ(parsed.Folder, "caf\u00e9.txt");
    EXPECT_EQ(parsed.User, "joe");
    EXPECT_FALSE(parsed.Password);
    EXPECT_EQ(SentSince(), QByteArrayList{}) << "nothing to ask the server";
}

// ---------------------------------------------------------------- real servers

// The servers that let their users change rights: pyftpdlib (the "M" right) and ProFTPD.
class RealServerPermissions : public RealServerForm {
protected:
    void SetUp() override
    {
        RealServerForm::SetUp();
        if (IsSkipped())
            return;
        QDir(server->LocalDir()).mkpath("tree/sub/empty");
        for (const char* name : {"f.txt", "tree/a.txt", "tree/sub/b c.txt"})
            WriteFile(Remote(name), "x");
        // ProFTPD works as "nobody", and only an owner may change rights.
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        for (const char* name : {"f.txt", "tree", "tree/a.txt", "tree/sub", "tree/sub/b c.txt", "tree/sub/empty"})
            ASSERT_EQ(chown(Remote(name).toLocal8Bit().constData(), nobody->pw_uid, nobody->pw_gid), 0) << name;
        Open();
        form->RemoteFiles()->Flush();
    }
    int Mode(const char* name) const
    {
        struct stat st {};
        EXPECT_EQ(stat(Remote(name).toLocal8Bit().constData(), &st), 0) << name;
        return int(st.st_mode & 07777);
    }
    void SetPermissions(const QStringList& names, const TPermissionsChoice& choice)
    {
        SelectRemote(names);
        dialogs->Permissions = {choice};
        form->UpdateRemoteMenu();
        ASSERT_TRUE(form->actRemotePermissions->isEnabled());
        form->actRemotePermissions->trigger();
    }
    int ListingsDone() const { return int(LogLines().count("List success")); }
};

TEST_P(RealServerPermissions, ChangedOnAFileAndThroughAFolderTree)
{
    const int listings = ListingsDone();
    SetPermissions({"f.txt"}, {.Mode = 0600});
    EXPECT_EQ(Mode("f.txt"), 0600);
    EXPECT_EQ(ListingsDone(), listings + 1);

    const struct {
        TPermissionsChoice choice;
        int folders; // tree, tree/sub, tree/sub/empty
        int files;   // tree/a.txt, tree/sub/b c.txt
    } steps[] = {
        {{.Mode = 0750, .Recursive = true}, 0750, 0750},
        {{.Mode = 0604, .Recursive = true, .Scope = TPermissionsScope::FilesOnly}, 0750, 0604},
        {{.Mode = 0711, .Recursive = true, .Scope = TPermissionsScope::FoldersOnly}, 0711, 0604},
        {{.Mode = 0755}, -1, 0604}, // the folder alone
    };
    for (const auto& step : steps) {
        SetPermissions({"tree"}, step.choice);
        EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
        EXPECT_EQ(Mode("tree"), step.folders < 0 ? 0755 : step.folders);
        if (step.folders >= 0) {
            EXPECT_EQ(Mode("tree/sub"), step.folders);
            EXPECT_EQ(Mode("tree/sub/empty"), step.folders);
        }
        EXPECT_EQ(Mode("tree/a.txt"), step.files);
        EXPECT_EQ(Mode("tree/sub/b c.txt"), step.files);
    }
    EXPECT_EQ(Mode("f.txt"), 0600) << "outside the tree";
    EXPECT_EQ(ListingsDone(), listings + 5) << "one listing per change, none for the walk";
    // The list is back in its folder, and shows the new rights.
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "f.txt", "tree"}));
    SelectRemote({"f.txt"});
    EXPECT_EQ(form->RemoteSession().SelectedEntries().front().Rights.left(10), "-rw-------");
}

// A link inside the tree is neither entered nor changed: what it points to lies
// outside what the user chose (pyftpdlib's MLSD lists a link to a folder as a folder).
TEST_P(RealServerPermissions, ALinkInTheTreeIsNotFollowed)
{
    QDir(server->LocalDir()).mkpath("outside");
    WriteFile(Remote("outside/precious.txt"), "x");
    const passwd* nobody = getpwnam("nobody");
    for (const char* name : {"outside", "outside/precious.txt"}) {
        ASSERT_EQ(chown(Remote(name).toLocal8Bit().constData(), nobody->pw_uid, nobody->pw_gid), 0) << name;
        ASSERT_EQ(chmod(Remote(name).toLocal8Bit().constData(), 0755), 0) << name;
    }
    ASSERT_TRUE(QFile::link("../outside", Remote("tree/link")));
    ASSERT_TRUE(QFile::link("../f.txt", Remote("tree/file-link")));
    ASSERT_EQ(chmod(Remote("f.txt").toLocal8Bit().constData(), 0644), 0);
    SetPermissions({"tree"}, {.Mode = 0700, .Recursive = true});
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(Mode("tree/sub/b c.txt"), 0700);
    EXPECT_EQ(Mode("outside"), 0755);
    EXPECT_EQ(Mode("outside/precious.txt"), 0755);
    EXPECT_EQ(Mode("f.txt"), 0644);
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerPermissions,
                         ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Proftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

// vsftpd never lets anonymous users change rights: its refusal names the entry.
class VsftpdPermissions : public RealServerForm {};

TEST_P(VsftpdPermissions, ARefusalNamesTheEntry)
{
    WriteFile(Remote("f.txt"), "x");
    ASSERT_EQ(chmod(Remote("f.txt").toLocal8Bit().constData(), 0644), 0);
    Open();
    form->RemoteFiles()->Flush();
    SelectRemote({"f.txt"});
    dialogs->Permissions = {TPermissionsChoice{.Mode = 0600}};
    form->UpdateRemoteMenu();
    form->actRemotePermissions->trigger();
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors().front().contains("f.txt: 5")) << Errors().front().toStdString();
    struct stat st {};
    ASSERT_EQ(stat(Remote("f.txt").toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_TRUE(form->FTPClient1->Connected);
}

INSTANTIATE_TEST_SUITE_P(Servers, VsftpdPermissions, ::testing::Values(RealFtpServer::Vsftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

} // namespace
