// The Listing page and remote file management against a scripted server: folders,
// double-click, hostile listings, Stop, silence, delete, rename, make folder.
#include "RemoteFormFixture.h"
#include "ScriptedFtpServer.h"

#include "app/RemoteListModel.h"
#include "ftp/FTPClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {

const QByteArray kListing =
    "drwxr-xr-x   2 user     group         512 Jan  1 12:00 docs\r\n"
    "-rw-r--r--   1 user     group        1234 Jan  1  1999 readme.txt\r\n"
    "-rw-r--r--   1 user     group          10 Jan  1 12:00 b.bin\r\n"
    "lrwxrwxrwx   1 user     group           7 Jan  1 12:00 link -> readme.txt\r\n";

ScriptedFtpServer::Reply ListReply(const QByteArray& payload = kListing, ScriptedFtpServer::DataMode mode = ScriptedFtpServer::Send)
{
    return {.text = "150 Here it comes.\r\n", .data = mode, .payload = payload, .completion = "226 Done.\r\n"};
}

class RemoteBrowse : public RemoteFormTest {
protected:
    void SetUp() override
    {
        server.On("CWD", "250 OK.\r\n");
        MakeForm({Host("joe", "pw")}, server.Port());
    }
    // Connects; the listing after that is kListing, and `next` is the one for every
    // listing after it.
    void Open(std::optional<ScriptedFtpServer::Reply> next = {})
    {
        server.On("LIST", ListReply());
        Connect();
        if (next)
            server.On("LIST", *next);
        ASSERT_TRUE(form->FTPClient1->Connected);
        Sent = server.ReceivedWithoutPort().size();
    }
    // What the client sent since the connection was made, without "PORT".
    QByteArrayList SentSince() const { return server.ReceivedWithoutPort().mid(Sent); }
    void DoubleClick(const QString& caption)
    {
        SelectRemote({caption});
        const QModelIndex index = form->lvRemoteFiles->selectionModel()->selectedRows().first();
        form->IdleHandler();
        emit form->lvRemoteFiles->doubleClicked(index);
    }

    ScriptedFtpServer server;
    qsizetype Sent = 0;
};

TEST_F(RemoteBrowse, DoubleClickEntersAFolderAndDotDotGoesBack)
{
    Open();
    DoubleClick("docs");
    EXPECT_EQ(SentSince(), (QByteArrayList{"CWD ./docs", "PWD", "LIST"}));
    EXPECT_TRUE(LogLines().contains("CWD ./docs"));
    EXPECT_EQ(RemoteCaptions().first(), "..");
    DoubleClick("..");
    EXPECT_EQ(SentSince(), (QByteArrayList{"CWD ./docs", "PWD", "LIST", "CWD ./..", "PWD", "LIST"}));
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "b.bin", "docs", "link -> readme.txt", "readme.txt"}));
    EXPECT_FALSE(form->Busy);
}

TEST_F(RemoteBrowse, DoubleClickOnAFileOrLinkAsksToDownloadIt)
{
    Open();
    dialogs->Confirms = {false, false};
    DoubleClick("readme.txt");
    DoubleClick("link -> readme.txt");
    EXPECT_EQ(dialogs->Texts("confirm"), (QStringList{"Download readme.txt", "Download link -> readme.txt"}));
    EXPECT_TRUE(SentSince().isEmpty());
}

TEST_F(RemoteBrowse, RowsCarryTypeNamesAndImages)
{
    Open();
    DoubleClick("docs"); // a Refresh, so the list starts with ".."
    const TRemoteListModel* model = form->RemoteFiles();
    const QStringList captions = RemoteCaptions();
    const TRemoteEntry up = model->Entry(int(captions.indexOf("..")));
    const TRemoteEntry docs = model->Entry(int(captions.indexOf("docs")));
    const TRemoteEntry readme = model->Entry(int(captions.indexOf("readme.txt")));
    EXPECT_EQ(up.TypeName, "File folder");
    EXPECT_EQ(docs.TypeName, "File folder");
    EXPECT_EQ(docs.ImageIndex, 0);
    EXPECT_EQ(readme.ImageIndex, model->Entry(int(captions.indexOf("link -> readme.txt"))).ImageIndex)
        << "one image per type";
    EXPECT_GE(readme.ImageIndex, 2);
    const QModelIndex cell = model->index(int(captions.indexOf("readme.txt")), 0);
    EXPECT_FALSE(model->data(cell, Qt::DecorationRole).value<QPixmap>().isNull());
    EXPECT_EQ(model->data(model->index(cell.row(), TRemoteListModel::colSize), Qt::DisplayRole).toString(), "1234");
}

TEST_F(RemoteBrowse, HostileListingNeverEscapesTheLocalFolder)
{
    QByteArray hostile;
    hostile += "-rw-r--r--   1 user     group           5 Jan  1 12:00 ../../escape.txt\r\n";
    hostile += "-rw-r--r--   1 user     group           5 Jan  1 12:00 sub/inner.txt\r\n";
    hostile += "-rw-r--r--   1 user     group           5 Jan  1 12:00 ctl\x01\x1b[31m.txt\r\n";
    hostile += "-rw-r--r--   1 user     group           5 Jan  1 12:00 " + QByteArray(200000, 'x') + "\r\n";
    hostile += "drwxr-xr-x   2 user     group         512 Jan  1 12:00 .\r\n";
    hostile += "drwxr-xr-x   2 user     group         512 Jan  1 12:00 ..\r\n";
    hostile += QByteArray(40, '\t') + "\r\n" + QByteArray(31, ' ') + "\r\n";
    Open(ListReply(hostile));
    Click(form->sbtnRefresh);
    const QStringList captions = RemoteCaptions();
    EXPECT_EQ(captions.count(".."), 1);
    EXPECT_TRUE(captions.contains("../../escape.txt"));
    EXPECT_TRUE(captions.contains("sub/inner.txt"));

    QTemporaryDir local;
    form->show();
    form->SystemTreeView->SetDirectory(local.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemTreeView->Directory() == local.path(); }, 5000))
        << form->SystemTreeView->Directory().toStdString();
    SelectRemote({"sub/inner.txt", "../../escape.txt"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    // Both refused in one box; nothing of either is asked for.
    ASSERT_EQ(Errors().size(), 1) << Errors().join('\n').toStdString();
    EXPECT_TRUE(Errors().first().contains("../../escape.txt")) << Errors().first().toStdString();
    EXPECT_TRUE(Errors().first().contains("sub/inner.txt")) << Errors().first().toStdString();
    EXPECT_FALSE(AnySent(SentSince(),
                             [](const QByteArray& line) { return line.startsWith("RETR "); }));
    EXPECT_TRUE(QDir(local.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    EXPECT_FALSE(QFile::exists(QDir(local.path()).filePath("../../escape.txt")));
}

TEST_F(RemoteBrowse, StopEndsAStalledListing)
{
    Open(ListReply(kListing, ScriptedFtpServer::Stall));
    form->FTPClient1->InactivityTimeOut = 60000;
    QTimer::singleShot(300, form.get(), [this] {
        form->IdleHandler();
        EXPECT_TRUE(form->btnStop->isEnabled());
        form->btnStop->click();
    });
    QElapsedTimer clock;
    clock.start();
    Click(form->sbtnRefresh);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(Errors().size(), 1) << "the stopped listing is reported";
    EXPECT_TRUE(form->FTPClient1->Connected);
}

TEST_F(RemoteBrowse, SilentServerEndsWithTheInactivityTimeOut)
{
    Open(ScriptedFtpServer::Reply{});
    form->FTPClient1->InactivityTimeOut = 300;
    QElapsedTimer clock;
    clock.start();
    Click(form->sbtnRefresh);
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_EQ(dialogs->Shown.back().Title, "Ferrit");
}

TEST_F(RemoteBrowse, ClosingDuringAListingReturnsPromptly)
{
    Open(ListReply(kListing, ScriptedFtpServer::Stall));
    form->FTPClient1->InactivityTimeOut = 60000;
    form->show();
    QTimer::singleShot(200, form.get(), [this] { form->close(); });
    QElapsedTimer clock;
    clock.start();
    Click(form->sbtnRefresh);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 5000));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(dialogs->Shown.empty()) << "a listing stopped by closing is not an error to report";
}

TEST_F(RemoteBrowse, OneCommandAtATime)
{
    Open(ListReply(kListing, ScriptedFtpServer::Stall));
    form->FTPClient1->InactivityTimeOut = 60000;
    QTimer::singleShot(200, form.get(), [this] {
        form->sbtnMkDir->click(); // refused while the listing runs
        form->btnStop->click();
    });
    Click(form->sbtnRefresh);
    EXPECT_FALSE(SentSince().contains("MKD New folder"));
    EXPECT_TRUE(dialogs->Texts("input").isEmpty());
}

TEST_F(RemoteBrowse, DeleteAsksThenDeletesInListOrderAndReloadsOnce)
{
    Open();
    server.On("DELE", "250 Deleted.\r\n");
    SelectRemote({"readme.txt", "b.bin"});
    Click(form->sbtnDeleteFile);
    EXPECT_EQ(dialogs->Texts("confirm"), QStringList{"Delete 2 file(s) ?"});
    EXPECT_EQ(SentSince(), (QByteArrayList{"DELE b.bin", "DELE readme.txt", "LIST"}));
    EXPECT_EQ(LogLines().count("Delete success"), 2);

    dialogs->Confirms = {false};
    SelectRemote({"b.bin"});
    Click(form->sbtnDeleteFile);
    EXPECT_EQ(SentSince().size(), 3) << "No sends nothing";
}

// A Unix link is shown with its target, and commands name the link alone.
TEST_F(RemoteBrowse, ALinkIsNamedWithoutItsTarget)
{
    Open();
    server.On("DELE", "250 Deleted.\r\n");
    server.On("RNFR", "350 Ready.\r\n");
    server.On("RNTO", "250 Renamed.\r\n");
    SelectRemote({"link -> readme.txt"});
    Click(form->sbtnDeleteFile);
    EXPECT_EQ(dialogs->Texts("confirm").last(), "Delete \"link -> readme.txt\"?");
    dialogs->Inputs = {QString("renamed")};
    SelectRemote({"link -> readme.txt"});
    Click(form->sbtnRename);
    EXPECT_EQ(dialogs->Texts("input"), QStringList{"Rename link -> readme.txt to: [link]"}) << "the link's own name to edit";
    EXPECT_EQ(SentSince(), (QByteArrayList{"DELE link", "LIST", "RNFR link", "RNTO renamed", "LIST"}));
}

TEST_F(RemoteBrowse, RefusedDeleteEndsTheCommandAtThatEntry)
{
    Open();
    server.On("DELE", "550 b.bin: Permission denied.\r\n");
    SelectRemote({"b.bin", "readme.txt"});
    Click(form->sbtnDeleteFile);
    EXPECT_EQ(SentSince(), (QByteArrayList{"DELE b.bin", "LIST"})) << "the list shows what is left";
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors().first().startsWith("Could not delete \"b.bin\": 550 b.bin: Permission denied."))
        << Errors().first().toStdString();
    EXPECT_EQ(dialogs->Shown.back().Title, "Ferrit");
}

TEST_F(RemoteBrowse, RenameAsksOncePerEntryAndReloadsAfterTheLast)
{
    Open();
    server.On("RNFR", "350 Ready.\r\n");
    server.On("RNTO", "250 Renamed.\r\n");
    SelectRemote({"readme.txt", "b.bin"});
    dialogs->Inputs = {QString("c.bin"), std::nullopt};
    Click(form->sbtnRename);
    EXPECT_EQ(dialogs->Texts("input"), (QStringList{"Rename b.bin to: [b.bin]", "Rename readme.txt to: [readme.txt]"}));
    EXPECT_EQ(dialogs->Shown.front().Title, "Rename ");
    EXPECT_EQ(SentSince(), (QByteArrayList{"RNFR b.bin", "RNTO c.bin", "LIST"}));
    EXPECT_TRUE(LogLines().contains("Rename success"));

    dialogs->Inputs = {std::nullopt};
    SelectRemote({"docs"});
    Click(form->sbtnRename);
    EXPECT_EQ(SentSince().last(), "LIST") << "reloads also when every box was cancelled";
}

TEST_F(RemoteBrowse, MakeFolderWithItsDefaultNameOrNotAtAll)
{
    Open();
    server.On("MKD", "257 \"/New folder\" created.\r\n");
    dialogs->Inputs = {std::nullopt, QString("New folder")};
    Click(form->sbtnMkDir);
    EXPECT_TRUE(SentSince().isEmpty()) << "Cancel sends nothing";
    Click(form->sbtnMkDir);
    EXPECT_EQ(dialogs->Shown.back().Title, "New folder");
    EXPECT_EQ(dialogs->Texts("input").last(), "Enter the name of the folder to create [New folder]");
    EXPECT_EQ(SentSince(), (QByteArrayList{"MKD New folder", "LIST"}));
    EXPECT_TRUE(LogLines().contains("MakeDir success"));
}

TEST_F(RemoteBrowse, RefusedMakeFolderIsShownInABox)
{
    Open();
    server.On("MKD", "550 Permission denied.\r\n");
    dialogs->Inputs = {QString("x")};
    Click(form->sbtnMkDir);
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors().first().startsWith("550 Permission denied."));
    EXPECT_FALSE(SentSince().contains("LIST"));
}

TEST_F(RemoteBrowse, TransferTypeButtonsSendTheirCommands)
{
    Open();
    Click(form->sbtnBinary);
    Click(form->sbtnASCII);
    EXPECT_EQ(SentSince(), (QByteArrayList{"TYPE I", "TYPE A"}));
    EXPECT_EQ(LogLines().count("DoCommand success"), 3); // with the SYST of the first listing
}

TEST_F(RemoteBrowse, RemovingAFolderFromTheCommandLineReloads)
{
    Open();
    server.On("RMD", "250 Removed.\r\n");
    form->edtFTPCommand->setText("RMD docs");
    Click(form->sbtnExecute);
    EXPECT_EQ(SentSince(), (QByteArrayList{"RMD docs", "LIST"}));
    EXPECT_TRUE(LogLines().contains("RemoveDir success"));
}

} // namespace
