// The whole path through the main window against real servers: connect, browse,
// download and upload by buttons and by dropping (every transfer through the queue),
// transfer types, a refused file, Stop during a large download.
#include "RealServerForm.h"

#include "app/RemoteListModel.h"
#include "app/RemoteSession.h"
#include "app/StatusBar.h"
#include "app/TransferRunner.h"
#include "ftp/TransferQueue.h"
#include "ftp/FTPClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(uint(size) * 7919u + 1);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

class RemoteTransfer : public RealServerForm {};

// The last percentage the status bar showed: the queue's end clears the bar.
std::shared_ptr<QString> LastShownPercent(TMainForm& form)
{
    auto last = std::make_shared<QString>();
    TRemoteSession& session = form.RemoteSession();
    session.OnProgress = [&form, last, show = session.OnProgress](int percent) {
        show(percent);
        *last = form.StatusBar1->PanelText(0);
    };
    return last;
}

TEST_P(RemoteTransfer, DownloadAndUploadByButtonsAreByteIdentical)
{
    const QByteArray blocks = RandomBytes(16383 * 3 + 5);
    const QByteArray text = "line one\nline two\n";
    WriteFile(Remote("blocks.bin"), blocks);
    WriteFile(Remote("empty"), {});
    WriteFile(Remote("Grüße ☃.txt"), text);
    Open();
    Click(form->sbtnBinary);
    EXPECT_TRUE(RemoteCaptions().contains("Grüße ☃.txt")) << RemoteCaptions().join('|').toStdString();

    SelectRemote({"blocks.bin", "empty", "Grüße ☃.txt"});
    form->IdleHandler();
    const std::shared_ptr<QString> shown = LastShownPercent(*form);
    Click(form->sbtnDownload);
    EXPECT_EQ(dialogs->Texts("confirm"), QStringList{"Download 3 file(s) ?"});
    EXPECT_TRUE(SelectedRemote().isEmpty()) << "each queued entry is deselected";
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(ReadFile(Local("blocks.bin")), blocks);
    EXPECT_EQ(ReadFile(Local("empty")), QByteArray());
    EXPECT_EQ(ReadFile(Local("Grüße ☃.txt")), text);
    // pyftpdlib announces no size: the listing's size drives the bar then.
    EXPECT_EQ(*shown, "100 %");
    EXPECT_EQ(form->StatusBar1->PanelText(0), QString()) << "the queue's end clears the bar";
    EXPECT_EQ(form->StatusBar1->PanelText(1), QString()) << "and what it said it was doing";
    EXPECT_EQ(LogLines().count("Download success"), 3);
    EXPECT_FALSE(form->Busy);

    const QByteArray up1 = RandomBytes(100000), up2 = "uploaded\n";
    WriteFile(Local("up1.bin"), up1);
    WriteFile(Local("up2.txt"), up2);
    SelectLocal({"up1.bin", "up2.txt"});
    Click(form->sbtnUpload);
    EXPECT_EQ(dialogs->Texts("confirm").last(), "Upload 2 file(s) ?");
    EXPECT_EQ(form->SystemListView->SelCount(), 0) << "queued entries are deselected";
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(ReadFile(Remote("up1.bin")), up1);
    EXPECT_EQ(ReadFile(Remote("up2.txt")), up2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return RemoteCaptions().contains("up1.bin") && !form->Busy; }, 5000))
        << "the remote list is reloaded after uploads";
    EXPECT_EQ(LogLines().count("Upload success"), 2);
    EXPECT_EQ(form->StatusBar1->PanelText(1), QString()) << "the listing after the upload clears the panel";
    EXPECT_FALSE(form->Busy);
}

TEST_P(RemoteTransfer, DroppingOnTheOtherListTransfersItsSelection)
{
    const QByteArray down = RandomBytes(40000), up = RandomBytes(30000);
    WriteFile(Remote("down.bin"), down);
    WriteFile(Local("up.bin"), up);
    Open();
    Click(form->sbtnBinary);

    EXPECT_TRUE(form->lvRemoteFilesDragOver(form->SystemListView));
    EXPECT_FALSE(form->lvRemoteFilesDragOver(form->lvRemoteFiles));
    EXPECT_TRUE(form->SystemListViewDragOver(form->lvRemoteFiles));
    EXPECT_FALSE(form->SystemListViewDragOver(form->SystemListView)) << "a local drag back onto the local list is refused";
    bool accept = true;
    form->SystemListView->OnDragOver(form->SystemListView, accept);
    EXPECT_FALSE(accept);

    // The drop as the local list delivers it: the download runs once the drag is over.
    SelectRemote({"down.bin"});
    form->SystemListView->OnDragDrop(form->lvRemoteFiles);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(Local("down.bin")) && WaitUntilIdle(); }, 10000));
    EXPECT_EQ(ReadFile(Local("down.bin")), down);
    EXPECT_EQ(dialogs->Texts("confirm").last(), "Download \"down.bin\"?");

    SelectLocal({"up.bin"});
    form->lvRemoteFilesDragDrop(form->SystemListView);
    EXPECT_EQ(dialogs->Texts("confirm").last(), "Upload \"up.bin\"?");
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(ReadFile(Remote("up.bin")), up);
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

// A link to a file arrives as a file of its own name, whether the listing shows the
// link's target (LIST) or not (MLSD).
TEST_P(RemoteTransfer, ALinkToAFileDownloadsUnderItsOwnName)
{
    const QByteArray bytes = RandomBytes(5000);
    WriteFile(Remote("target.bin"), bytes);
    ASSERT_TRUE(QFile::link("target.bin", Remote("ln")));
    Open();
    Click(form->sbtnBinary);
    QString caption;
    for (const QString& shown : RemoteCaptions())
        if (shown.startsWith("ln"))
            caption = shown;
    ASSERT_FALSE(caption.isEmpty()) << RemoteCaptions().join('|').toStdString();
    SelectRemote({caption});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(ReadFile(Local("ln")), bytes) << caption.toStdString();
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

TEST_P(RemoteTransfer, AsciiAndBinaryTypes)
{
    const QByteArray text = "first line\nsecond line\n\nlast line\n";
    const QByteArray binary = RandomBytes(70000);
    WriteFile(Local("text.txt"), text);
    WriteFile(Local("random.bin"), binary);
    Open();
    // The listing reloaded after an upload shows the file.
    const auto listed = [&](const QString& name) {
        return QTest::qWaitFor([&] { return RemoteCaptions().contains(name) && !form->Busy; }, 5000);
    };

    Click(form->sbtnASCII);
    SelectLocal({"text.txt"});
    Click(form->sbtnUpload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(ReadFile(Remote("text.txt")), text) << "LF text stays LF text on a Unix server";
    ASSERT_TRUE(listed("text.txt"));
    QFile::remove(Local("text.txt"));
    SelectRemote({"text.txt"});
    const std::shared_ptr<QString> shown = LastShownPercent(*form);
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(ReadFile(Local("text.txt")), text) << "text sent with CR LF arrives with LF; " << States().join('|').toStdString() << LogLines().join('\n').toStdString();
    EXPECT_EQ(*shown, "100 %") << "the CRs on the wire do not count beyond the listed size";

    Click(form->sbtnBinary);
    SelectLocal({"random.bin"});
    Click(form->sbtnUpload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(ReadFile(Remote("random.bin")), binary);
    ASSERT_TRUE(listed("random.bin"));
    QFile::remove(Local("random.bin"));
    SelectRemote({"random.bin"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_EQ(ReadFile(Local("random.bin")), binary);
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    const QStringList log = LogLines();
    const qsizetype typeA = log.indexOf("TYPE A");
    ASSERT_GE(typeA, 0);
    EXPECT_TRUE(log.value(typeA + 1).startsWith("200")) << "each server words it its own way: " << log.join('\n').toStdString();
}

// A file gone from the server fails in the queue with the server's reason, and
// the files after it still come.
TEST_P(RemoteTransfer, ARefusedFileFailsInTheQueueAndTheRestCome)
{
    WriteFile(Remote("a.bin"), "aaa");
    WriteFile(Remote("c.bin"), "ccc");
    WriteFile(Remote("d.bin"), "ddd");
    Open();
    QFile::remove(Remote("c.bin")); // listed, but gone by the time it is fetched
    SelectRemote({"a.bin", "c.bin", "d.bin"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    ASSERT_EQ(States().size(), 3);
    EXPECT_EQ(States()[0], "Done");
    EXPECT_TRUE(States()[1].startsWith("Failed: 550")) << States()[1].toStdString();
    EXPECT_EQ(States()[2], "Done");
    EXPECT_TRUE(LogLines().filter(QRegularExpression("c\\.bin: 550")).size() == 1) << LogLines().join('\n').toStdString();
    EXPECT_EQ(ReadFile(Local("a.bin")), "aaa");
    EXPECT_FALSE(QFile::exists(Local("c.bin")));
    EXPECT_EQ(ReadFile(Local("d.bin")), "ddd");
    EXPECT_TRUE(Errors().isEmpty()) << "the queue shows the failure; no box interrupts the rest";
    EXPECT_TRUE(form->FTPClient1->Connected);
}

// Stop, with no command of the browsing connection running, stops the running
// transfer: the old local file stays, the bytes that came wait for a resume.
TEST_P(RemoteTransfer, StopEndsALargeDownloadAndKeepsTheOldFile)
{
    {
        QFile big(Remote("big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(qint64(4) << 30)); // sparse: costs no disk on the server side
    }
    WriteFile(Local("big.bin"), "the old copy");
    Open();
    SelectRemote({"big.bin"});
    TConflictDecision overwrite;
    overwrite.Answer = TConflictAnswer::Overwrite;
    dialogs->Conflicts.Answers.push_back(overwrite);

    QStringList progress;
    QElapsedTimer sinceStop;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        progress << form->StatusBar1->PanelText(0);
        if (progress.size() == 30) {
            form->IdleHandler();
            EXPECT_TRUE(form->btnStop->isEnabled());
            sinceStop.start();
            form->btnStop->click();
        }
    });
    sampler.start(10);
    Click(form->sbtnDownload);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sinceStop.isValid() && WaitUntilIdle(0); }, 20000));
    sampler.stop();
    EXPECT_LT(sinceStop.elapsed(), 2000) << "Stop ends the transfer at once";
    EXPECT_EQ(States(), QStringList{"Cancelled"});
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(ReadFile(Local("big.bin")), "the old copy");
    EXPECT_GT(QFileInfo(Local(".big.bin.part")).size(), 0) << "kept for a resume";
    EXPECT_TRUE(progress.filter(QRegularExpression("^\\d+ %$")).size() > 0) << progress.join('|').toStdString();
    form->IdleHandler();
    EXPECT_FALSE(form->btnStop->isEnabled());
    EXPECT_TRUE(form->FTPClient1->Connected);
}

INSTANTIATE_FOR_EVERY_SERVER(RemoteTransfer);

} // namespace
