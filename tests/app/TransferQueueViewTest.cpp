// The transfer queue in the window: the model's rows and total for items in
// each state, the pane's buttons, folders transferred whole through the window
// against a real server, the conflict question and each answer, and browsing
// on the session's connection while a long transfer runs on the queue's.
#include "QtPrinters.h"
#include "RealServerForm.h"

#include "app/ConflictDlg.h"
#include "app/RemoteListModel.h"
#include "app/TransferQueueModel.h"
#include "app/TransferRunner.h"
#include "ftp/FTPClient.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <map>

namespace {

// ---------------------------------------------------------------- texts of one item

struct ItemTextCase {
    TTransferState State;
    qint64 Size;
    qint64 Moved;
    QString Error;
    QString StateText;
    QString Progress;
    TTransferCheck Checked = TTransferCheck::None;
    QString CheckText = {}; // how a done file was checked
};

class QueueItemTexts : public ::testing::TestWithParam<ItemTextCase> {};

TEST_P(QueueItemTexts, StateAndProgressAsShown)
{
    const ItemTextCase& c = GetParam();
    TTransferItem item;
    item.State = c.State;
    item.Size = c.Size;
    item.Moved = c.Moved;
    item.Error = c.Error;
    item.Checked = c.Checked;
    EXPECT_EQ(StateText(item), c.StateText);
    EXPECT_EQ(ProgressText(item), c.Progress);
    EXPECT_EQ(CheckedText(item), c.CheckText);
}

INSTANTIATE_TEST_SUITE_P(
    States, QueueItemTexts,
    ::testing::Values(ItemTextCase{TTransferState::Waiting, 100, 0, {}, "Waiting", ""},
                      ItemTextCase{TTransferState::Running, 200, 50, {}, "Running", "25 %"},
                      ItemTextCase{TTransferState::Running, 0, 2048, {}, "Running", "2.0 kB"},
                      ItemTextCase{TTransferState::Running, 100, 150, {}, "Running", "100 %"},
                      ItemTextCase{TTransferState::Done, 100, 100, {}, "Done", "", TTransferCheck::None, "not checked"},
                      ItemTextCase{TTransferState::Done, 100, 100, {}, "Done", "", TTransferCheck::Size, "size checked"},
                      ItemTextCase{TTransferState::Done, 100, 100, {}, "Done", "", TTransferCheck::Sha256,
                                   "SHA-256 verified"},
                      ItemTextCase{TTransferState::Failed, 100, 100, "The SHA-256 digest differs.",
                                   "Failed: The SHA-256 digest differs.", "", TTransferCheck::Sha256, ""},
                      ItemTextCase{TTransferState::Failed, 100, 10, "550 No such file.", "Failed: 550 No such file.", ""},
                      ItemTextCase{TTransferState::Failed, 100, 0, {}, "Failed", ""},
                      ItemTextCase{TTransferState::Skipped, 100, 0, {}, "Skipped", ""},
                      ItemTextCase{TTransferState::Cancelled, 100, 0, {}, "Cancelled", ""}));

TEST(QueueTexts, SizesAndFileFacts)
{
    EXPECT_EQ(SizeText(0), "0 bytes");
    EXPECT_EQ(SizeText(1536), "1.5 kB");
    EXPECT_EQ(SizeText(qint64(5) << 30), "5.0 GB") << "sizes past 4 GiB are shown whole";
    EXPECT_EQ(FileFactsText(1536, QDateTime(QDate(2026, 12, 1), QTime(14, 2, 3), Qt::UTC)),
              "1.5 kB (1536 bytes), 2026-12-01 14:02:03 UTC");
    EXPECT_EQ(FileFactsText(7, {}), "7 bytes (7 bytes), time unknown");
}

// ---------------------------------------------------------------- the model over a queue

class QueueModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(local.isValid());
        for (const auto& [name, size] : std::map<QString, int>{{"a.bin", 1024}, {"b.bin", 3072}, {"c.bin", 0}}) {
            QFile file(local.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(size, 'x'));
        }
        QDir(local.path()).mkpath("tree/inner");
        QFile inner(local.filePath("tree/inner/d.bin"));
        ASSERT_TRUE(inner.open(QIODevice::WriteOnly));
        inner.write(QByteArray(512, 'y'));
    }
    QString Cell(int row, int column) const { return model.index(row, column).data().toString(); }

    QTemporaryDir local;
    TFTPClient client;
    TTransferQueue queue{client};
    TTransferQueueModel model{queue};
};

TEST_F(QueueModelTest, RowsAndSummaryFollowTheQueue)
{
    EXPECT_EQ(model.Summary(), "The queue is empty.");
    queue.OnItemsChanged = [this] { model.ItemsChanged(); };
    queue.OnItemChanged = [this](int i) { model.ItemChanged(i); };
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    for (const char* name : {"a.bin", "b.bin", "c.bin", "tree"})
        queue.AddUpload(local.filePath(name), "/up");
    EXPECT_EQ(resets.size(), 4);
    ASSERT_EQ(model.rowCount(), 6) << "a folder brings its tree";
    EXPECT_EQ(model.columnCount(), TTransferQueueModel::ColumnCount);

    const QStringList headers = {"Direction", "Local path", "Remote path", "Size", "State", "Check", "Progress"};
    for (int column = 0; column < headers.size(); ++column)
        EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), headers[column]);

    struct Row {
        QString Local, Remote, Size, State;
    };
    const std::vector<Row> rows = {{"a.bin", "/up/a.bin", "1.0 kB", "Waiting"},
                                   {"b.bin", "/up/b.bin", "3.0 kB", "Waiting"},
                                   {"c.bin", "/up/c.bin", "0 bytes", "Waiting"},
                                   {"tree", "/up/tree", "Folder", "Waiting"},
                                   {"tree/inner", "/up/tree/inner", "Folder", "Waiting"},
                                   {"tree/inner/d.bin", "/up/tree/inner/d.bin", "512 bytes", "Waiting"}};
    for (int row = 0; row < int(rows.size()); ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(Cell(row, TTransferQueueModel::ColDirection), "Upload");
        EXPECT_EQ(Cell(row, TTransferQueueModel::ColLocal), local.filePath(rows[row].Local));
        EXPECT_EQ(Cell(row, TTransferQueueModel::ColRemote), rows[row].Remote);
        EXPECT_EQ(Cell(row, TTransferQueueModel::ColSize), rows[row].Size);
        EXPECT_EQ(Cell(row, TTransferQueueModel::ColState), rows[row].State);
        EXPECT_EQ(Cell(row, TTransferQueueModel::ColProgress), "");
    }
    EXPECT_EQ(model.Summary(), "0 of 4 files, 0 bytes of 4.5 kB");

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    queue.Cancel(1);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed.first().at(0).toModelIndex().row(), 1);
    EXPECT_EQ(Cell(1, TTransferQueueModel::ColState), "Cancelled");
    EXPECT_EQ(model.Summary(), "0 of 3 files, 0 bytes of 1.5 kB") << "a cancelled file leaves the total";
    QSignalSpy summary(&model, &TTransferQueueModel::SummaryChanged);
    EXPECT_TRUE(summary.wait(1000)) << "the summary follows a change soon";
}


// ---------------------------------------------------------------- the conflict question

struct DialogCase {
    const char* Button; // clicked; nullptr: Escape
    bool ForAll;
    QString EditedName;
    TConflictAnswer Answer;
    QString NewName;
};

class ConflictDialog : public ::testing::TestWithParam<DialogCase> {};

TEST_P(ConflictDialog, EachButtonGivesItsAnswer)
{
    const DialogCase& c = GetParam();
    TTransferItem item;
    item.Direction = TTransferDirection::Download;
    item.LocalPath = "/home/u/report.pdf";
    item.RemotePath = "/pub/report.pdf";
    item.Size = 4096;
    TConflict conflict{.Item = &item, .TargetSize = 1024, .TargetModified = {}, .CanResume = true,
                       .FreeName = "/home/u/report (1).pdf"};
    TConflictDlg dialog(conflict);
    EXPECT_EQ(dialog.edtNewName->text(), "report (1).pdf") << "a free name is proposed";
    EXPECT_EQ(dialog.lblSource->text(), "4.0 kB (4096 bytes), time unknown");
    EXPECT_EQ(dialog.lblTarget->text(), "1.0 kB (1024 bytes), time unknown");
    for (QWidget* control : std::initializer_list<QWidget*>{dialog.btnOverwrite, dialog.btnOverwriteIfNewer,
                                                            dialog.btnResume, dialog.btnRename, dialog.btnSkip,
                                                            dialog.edtNewName, dialog.chkForAll})
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    WhenModal([&](QWidget* shown) {
        shown->findChild<QCheckBox*>("chkForAll")->setChecked(c.ForAll);
        if (!c.EditedName.isEmpty())
            shown->findChild<QLineEdit*>("edtNewName")->setText(c.EditedName);
        if (c.Button)
            shown->findChild<QPushButton*>(c.Button)->click();
        else
            QTest::keyClick(shown, Qt::Key_Escape);
    });
    const TConflictDecision decision = dialog.Ask();
    EXPECT_EQ(decision.Answer, c.Answer);
    EXPECT_EQ(decision.ForAll, c.ForAll);
    EXPECT_EQ(decision.NewName, c.NewName);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, ConflictDialog,
    ::testing::Values(DialogCase{"btnOverwrite", false, {}, TConflictAnswer::Overwrite, {}},
                      DialogCase{"btnOverwriteIfNewer", true, {}, TConflictAnswer::OverwriteIfNewer, {}},
                      DialogCase{"btnResume", false, {}, TConflictAnswer::Resume, {}},
                      DialogCase{"btnRename", false, {}, TConflictAnswer::Rename, "report (1).pdf"},
                      DialogCase{"btnRename", false, " mine.pdf ", TConflictAnswer::Rename, "mine.pdf"},
                      DialogCase{"btnSkip", true, {}, TConflictAnswer::Skip, {}},
                      DialogCase{nullptr, false, {}, TConflictAnswer::Skip, {}}));

TEST(ConflictDialogResume, OnlyForAShorterTarget)
{
    TTransferItem item;
    item.Direction = TTransferDirection::Upload;
    item.RemotePath = "/pub/a.txt";
    TConflict conflict{.Item = &item, .TargetSize = 10, .TargetModified = {}, .CanResume = false, .FreeName = "/pub/a (1).txt"};
    TConflictDlg dialog(conflict);
    EXPECT_FALSE(dialog.btnResume->isEnabled());
    EXPECT_TRUE(dialog.lblQuestion->text().contains("on the server")) << dialog.lblQuestion->text().toStdString();
}

TEST(ConflictDialogResume, AKeptPartIsCalledWhatItIs)
{
    TTransferItem item;
    item.Direction = TTransferDirection::Download;
    item.LocalPath = "/home/u/big.iso";
    item.Size = 100;
    TConflict conflict{.Item = &item, .TargetSize = 40, .TargetModified = {}, .CanResume = true, .PartOnly = true, .FreeName = {}};
    TConflictDlg dialog(conflict);
    EXPECT_TRUE(dialog.btnResume->isEnabled());
    EXPECT_EQ(dialog.lblQuestion->text(),
              "A stopped download of \"big.iso\" kept its part in the local folder. What should happen to it?");
    EXPECT_EQ(dialog.windowTitle(), "A part of the file is kept");
}

// ---------------------------------------------------------------- the window on a real server

class QueueWindow : public RealServerForm {
protected:
    static void MakeTree(const QString& root)
    {
        QDir(root).mkpath("photos/2026/empty");
        WriteFile(root + "/photos/top.txt", "top\n");
        WriteFile(root + "/photos/2026/one.bin", QByteArray(70000, '\1'));
        WriteFile(root + "/photos/2026/Grüße.txt", "grüße\n");
    }
};

TEST_P(QueueWindow, FoldersDownloadAndUploadWhole)
{
    MakeTree(server->LocalDir());
    WriteFile(Remote("loose.txt"), "beside the folder\n");
    Open();
    SelectRemote({"photos", "loose.txt"});
    Click(form->sbtnDownload);
    EXPECT_EQ(dialogs->Texts("confirm").last(), "Download 2 file(s) ?");
    EXPECT_TRUE(SelectedRemote().isEmpty()) << "what was queued is deselected";
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(TreeOf(Local("photos")), TreeOf(Remote("photos")));
    EXPECT_EQ(ReadFile(Local("loose.txt")), "beside the folder\n");
    EXPECT_EQ(States().count("Done"), int(Items().size())) << States().join('|').toStdString();
    EXPECT_EQ(form->lblQueueSummary->text(), "4 of 4 files, 68.4 kB of 68.4 kB");
    QStringList localCaptions;
    for (int row = 0; row < form->SystemListView->ItemCount(); ++row)
        localCaptions << form->SystemListView->ItemCaption(row);
    EXPECT_TRUE(localCaptions.contains("photos")) << "the local list shows what arrived";

    // Back up under another name: the whole tree lands on the server.
    QDir(local.path()).rename("photos", "album");
    SelectLocal({"album"});
    Click(form->sbtnUpload);
    EXPECT_EQ(dialogs->Texts("confirm").last(), "Upload the folder \"album\" with everything in it?");
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(TreeOf(Remote("album")), TreeOf(Local("album")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return RemoteCaptions().contains("album"); }, 5000))
        << "the remote list is reloaded after uploads: " << RemoteCaptions().join('|').toStdString();
    EXPECT_TRUE(form->FTPClient1->Connected);
}

TEST_P(QueueWindow, ButtonsFollowTheQueue)
{
    MakeTree(server->LocalDir());
    Open();
    for (QToolButton* button : {form->sbtnCancelTransfer, form->sbtnCancelAllTransfers, form->sbtnRetryFailed,
                                form->sbtnRemoveFinished}) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
        EXPECT_FALSE(button->accessibleName().isEmpty()) << button->objectName().toStdString();
    }
    EXPECT_EQ(form->lblQueueSummary->text(), "The queue is empty.");
    SelectRemote({"photos"});
    // One file is listed with the tree and gone by the time it is fetched.
    QObject::connect(Transfers().Model(), &QAbstractItemModel::modelReset, form.get(),
                     [this] { QFile::remove(Remote("photos/2026/one.bin")); });
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    ASSERT_EQ(States().filter("Failed").size(), 1) << States().join('|').toStdString();
    EXPECT_TRUE(States().filter("Failed").first().startsWith("Failed: 550")) << States().join('|').toStdString();
    EXPECT_TRUE(form->lblQueueSummary->text().endsWith(", 1 failed")) << form->lblQueueSummary->text().toStdString();
    form->IdleHandler();
    EXPECT_TRUE(form->sbtnRetryFailed->isEnabled());
    EXPECT_TRUE(form->sbtnRemoveFinished->isEnabled());
    EXPECT_FALSE(form->sbtnCancelAllTransfers->isEnabled()) << "nothing waits or runs";

    // Retry once the file is back: it is fetched.
    QObject::disconnect(Transfers().Model(), &QAbstractItemModel::modelReset, form.get(), nullptr);
    WriteFile(Remote("photos/2026/one.bin"), "back again");
    Click(form->sbtnRetryFailed);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(States().count("Done"), int(Items().size())) << States().join('|').toStdString();
    EXPECT_EQ(ReadFile(Local("photos/2026/one.bin")), "back again");

    Click(form->sbtnRemoveFinished);
    EXPECT_TRUE(Items().empty());
    EXPECT_EQ(form->QueueView->model()->rowCount(), 0);
    EXPECT_EQ(form->lblQueueSummary->text(), "The queue is empty.");
}


TConflictDecision Decision(TConflictAnswer answer, bool forAll = false, const QString& newName = {})
{
    TConflictDecision decision;
    decision.Answer = answer;
    decision.ForAll = forAll;
    decision.NewName = newName;
    return decision;
}

TEST_P(QueueWindow, AConflictAsksAndEachAnswerIsHonoured)
{
    const QByteArray remote = "the server's copy, newer and longer\n";
    struct Case {
        TConflictDecision Decision;
        QByteArray Local;     // the local a.txt before
        bool LocalOlder;      // the local file's time is before the server's
        QByteArray LocalAfter;
        QString Renamed;      // a name that must now hold the server's copy
    };
    const std::vector<Case> cases = {
        {Decision(TConflictAnswer::Overwrite), "old", false, remote, {}},
        {Decision(TConflictAnswer::OverwriteIfNewer), "local, newer", false, "local, newer", {}},
        {Decision(TConflictAnswer::OverwriteIfNewer), "local, older", true, remote, {}},
        {Decision(TConflictAnswer::Resume), remote.left(10), false, remote, {}},
        {Decision(TConflictAnswer::Rename), "mine", false, "mine", "a (1).txt"},
        {Decision(TConflictAnswer::Rename, false, "theirs.txt"), "mine", false, "mine", "theirs.txt"},
        {Decision(TConflictAnswer::Skip), "mine", false, "mine", {}},
    };
    QDir(server->LocalDir()).mkpath("docs");
    WriteFile(Remote("docs/a.txt"), remote);
    // The server's copy was written an hour ago.
    {
        QFile file(Remote("docs/a.txt"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime);
    }
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(int(&c - cases.data()));
        QDir(Local("docs")).removeRecursively();
        QDir(local.path()).mkpath("docs");
        WriteFile(Local("docs/a.txt"), c.Local);
        QFile file(Local("docs/a.txt"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(c.LocalOlder ? -7200 : 0),
                         QFileDevice::FileModificationTime);
        file.close();
        dialogs->Conflicts.Answers = {c.Decision};
        dialogs->Conflicts.Asked.clear();
        SelectRemote({"docs"});
        Click(form->sbtnDownload);
        ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
        ASSERT_EQ(dialogs->Conflicts.Asked.size(), 1u) << "the answer is never assumed";
        EXPECT_EQ(dialogs->Conflicts.Asked[0].TargetSize, c.Local.size());
        EXPECT_EQ(dialogs->Conflicts.Asked[0].CanResume, c.Local.size() < remote.size());
        EXPECT_EQ(QFileInfo(dialogs->Conflicts.Asked[0].FreeName).fileName(), "a (1).txt");
        EXPECT_EQ(ReadFile(Local("docs/a.txt")), c.LocalAfter);
        if (!c.Renamed.isEmpty()) {
            EXPECT_EQ(ReadFile(Local("docs/" + c.Renamed)), remote);
        }
        EXPECT_EQ(QDir(Local("docs")).entryList(QDir::Files | QDir::Hidden).size(), c.Renamed.isEmpty() ? 1 : 2)
            << QDir(Local("docs")).entryList(QDir::Files | QDir::Hidden).join('|').toStdString();
        EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
        Click(form->sbtnRemoveFinished);
    }
}

TEST_P(QueueWindow, ForAllRemainingAnswersTheRestOfTheQueue)
{
    QDir(server->LocalDir()).mkpath("docs");
    QDir(local.path()).mkpath("docs");
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFile(Remote(QStringLiteral("docs/") + name), "server");
        WriteFile(Local(QStringLiteral("docs/") + name), "local");
    }
    Open();
    dialogs->Conflicts.Answers = {Decision(TConflictAnswer::Skip, true)};
    SelectRemote({"docs"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(dialogs->Conflicts.Asked.size(), 1u);
    EXPECT_EQ(States().count("Skipped"), 3) << States().join('|').toStdString();
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        EXPECT_EQ(ReadFile(Local(QStringLiteral("docs/") + name)), "local");

    // A new run asks again.
    dialogs->Conflicts.Answers = {Decision(TConflictAnswer::Overwrite, true)};
    SelectRemote({"docs"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(dialogs->Conflicts.Asked.size(), 2u);
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        EXPECT_EQ(ReadFile(Local(QStringLiteral("docs/") + name)), "server");
}

TEST_P(QueueWindow, BrowsingGoesOnWhileALongTransferRuns)
{
    QDir(server->LocalDir()).mkpath("big/inner");
    {
        QFile big(Remote("big/huge.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(qint64(4) << 30)); // sparse: costs no disk on the server side
    }
    WriteFile(Remote("big/inner/note.txt"), "note\n");
    Open();
    // The queue's wait runs the event loop: the user's browsing happens inside it,
    // as soon as the large file is on its way.
    const auto runningRow = [&] {
        for (int row = 0; row < int(Items().size()); ++row)
            if (Items()[row].State == TTransferState::Running && Items()[row].Moved > 0)
                return row;
        return -1;
    };
    int bigRow = -1;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (bigRow >= 0 || runningRow() < 0)
            return;
        bigRow = runningRow();
        user.stop();
        EXPECT_FALSE(form->Busy) << "the browsing connection is free";
        const qsizetype listed = LogLines().count("List success");
        Click(form->sbtnRefresh);
        EXPECT_EQ(LogLines().count("List success"), listed + 1);
        EXPECT_TRUE(RemoteCaptions().contains("big"));
        SelectRemote({"big"});
        form->IdleHandler();
        emit form->lvRemoteFiles->doubleClicked(form->lvRemoteFiles->selectionModel()->selectedRows().first());
        EXPECT_TRUE(QTest::qWaitFor([&] { return RemoteCaptions().contains("inner"); }, 5000))
            << RemoteCaptions().join('|').toStdString();
        EXPECT_EQ(runningRow(), bigRow) << "the transfer ran all the while";
        QTest::qWait(300); // the total follows at its own pace
        EXPECT_TRUE(form->lblQueueSummary->text().contains("/s")) << form->lblQueueSummary->text().toStdString();
        const QString progress =
            form->QueueView->model()->index(bigRow, TTransferQueueModel::ColProgress).data().toString();
        EXPECT_TRUE(progress.contains("%, ") && progress.contains("/s")) << progress.toStdString();
        form->QueueView->selectionModel()->select(form->QueueView->model()->index(bigRow, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Click(form->sbtnCancelTransfer);
    });
    user.start(5);
    SelectRemote({"big"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bigRow >= 0 && WaitUntilIdle(0); }, 20000)) << States().join('|').toStdString();
    ASSERT_EQ(QFileInfo(Items()[bigRow].RemotePath).fileName(), "huge.bin");
    EXPECT_EQ(StateText(Items()[bigRow]), "Cancelled");
    // A server still sending the cancelled file may not answer the next command in
    // time (pyftpdlib): what failed then is brought by Retry failed, which also
    // offers the cancelled file again; its kept part is the conflict, and skipped.
    if (!States().filter("Failed").isEmpty()) {
        dialogs->Conflicts.Answers = {Decision(TConflictAnswer::Skip)};
        Click(form->sbtnRetryFailed);
        ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    }
    EXPECT_EQ(ReadFile(Local("big/inner/note.txt")), "note\n") << "the rest of the queue runs: " << States().join('|').toStdString();
    EXPECT_FALSE(QFile::exists(Local("big/huge.bin")));
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, QueueWindow, ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

} // namespace
