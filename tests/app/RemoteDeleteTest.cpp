// Deleting through the main window against a scripted server: the questions'
// texts, folders deleted whole (walked first, deepest first, one reload), a
// refusal half-way named in the error, Stop in the middle, the way up.
#include "QtPrinters.h"
#include "RemoteFormFixture.h"
#include "ScriptedFtpServer.h"

#include "app/EntryQuestions.h"
#include "app/StatusBar.h"
#include "ftp/FTPClient.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QTreeView>
#include <map>

namespace {

ScriptedFtpServer::Reply ListReply(const QByteArray& payload)
{
    return {.text = "150 Here it comes.\r\n", .data = ScriptedFtpServer::Send, .payload = payload,
            .completion = "226 Done.\r\n"};
}

QByteArray Line(char kind, const QByteArray& name)
{
    return QByteArray(1, kind) + "rw-r--r--   1 user     group          10 Jan  1 12:00 " + name + "\r\n";
}

// The folder shown ("/"): a folder "docs" that holds a file and a folder "sub"
// with one file, a file beside it, and a folder a hostile server names "../up".
const QByteArray kTop = Line('d', "docs") + Line('-', "b.bin") + Line('d', "../up");
const QByteArray kDocs = Line('-', "a.txt") + Line('d', "sub");
const QByteArray kSub = Line('-', "b.txt");
const QByteArray kAfter = Line('-', "b.bin");

const QByteArrayList kWalkDocs = {"CWD /docs", "LIST", "CWD /docs/sub", "LIST", "CWD /docs", "CWD /"};
const QByteArrayList kDeleteDocs = {"DELE docs/sub/b.txt", "RMD docs/sub", "DELE docs/a.txt", "RMD docs"};

QByteArrayList Joined(std::initializer_list<QByteArrayList> parts)
{
    QByteArrayList all;
    for (const QByteArrayList& part : parts)
        all += part;
    return all;
}

class RemoteDelete : public RemoteFormTest {
protected:
    void SetUp() override
    {
        server.On("CWD", "250 OK.\r\n");
        server.On("DELE", "250 Deleted.\r\n");
        server.On("RMD", "250 Removed.\r\n");
        MakeForm({Host("joe", "pw")}, server.Port());
        server.On("LIST", ListReply(kTop));
        Connect();
        ASSERT_TRUE(form->FTPClient1->Connected);
        Click(form->sbtnRefresh); // the list starts with the way up
        logged = LogLines().size();
        // The walk lists docs, then sub; the reload after the delete shows what is left.
        server.On("LIST", ListReply(kDocs));
        server.Queue("LIST", ListReply(kSub));
        server.Queue("LIST", ListReply(kAfter));
        sent = server.ReceivedWithoutPort().size();
    }
    QByteArrayList SentSince() const { return server.ReceivedWithoutPort().mid(sent); }

    ScriptedFtpServer server;
    qsizetype sent = 0;
    qsizetype logged = 0;
};

TEST(DeleteQuestions, NameOneEntryAndCountSeveral)
{
    const TDeleteTarget file{.Caption = "a.txt"};
    const TDeleteTarget other{.Caption = "b.bin"};
    const TDeleteTarget empty{.Caption = "old", .Folder = true};
    const TDeleteTarget docs{.Caption = "my docs", .Folder = true, .Files = 3, .Folders = 1};
    const TDeleteTarget filesOnly{.Caption = "pics", .Folder = true, .Files = 1};
    const TDeleteTarget foldersOnly{.Caption = "tree", .Folder = true, .Folders = 2};
    const struct {
        std::vector<TDeleteTarget> targets;
        QString question;
    } cases[] = {
        {{file}, "Delete \"a.txt\"?"},
        {{empty}, "Delete the empty folder \"old\"?"},
        {{docs}, "Delete the folder \"my docs\" with the 3 files and 1 folder in it?"},
        {{filesOnly}, "Delete the folder \"pics\" with the 1 file in it?"},
        {{foldersOnly}, "Delete the folder \"tree\" with the 2 folders in it?"},
        {{file, other}, "Delete 2 file(s) ?"},
        // The selected entries count in the totals, besides what the folders hold.
        {{file, docs, empty}, "Delete 3 entries with everything in them: 4 files and 3 folders in all?"},
        {{empty, foldersOnly}, "Delete 2 entries with everything in them: 4 folders in all?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeleteQuestion(c.targets), c.question);
}

TEST(TransferQuestions, NameOneEntryAndCountSeveral)
{
    const struct {
        QString verb;
        qsizetype count;
        QString name;
        bool folder;
        QString question;
    } cases[] = {
        {"Download", 1, "a.txt", false, "Download \"a.txt\"?"},
        {"Upload", 1, "my docs", true, "Upload the folder \"my docs\" with everything in it?"},
        {"Download", 3, {}, false, "Download 3 file(s) ?"},
        {"Upload", 2, {}, false, "Upload 2 file(s) ?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TransferQuestion(c.verb, c.count, c.name, c.folder), c.question);
}

// What is sent, asked and shown for a selection, with the server's answers to
// its commands and the answer to the question.
struct TDeleteCase {
    const char* name;
    QStringList selected;
    std::map<QByteArray, QByteArray> replies;
    bool yes;
    QString question; // none: no question is asked
    QByteArrayList sent;
    QString error;    // the start of the one error box; none: no box
};

void PrintTo(const TDeleteCase& c, std::ostream* os)
{
    *os << c.name;
}

const TDeleteCase kDeleteCases[] = {
    {"AFolderWhole", {"docs"}, {}, true, "Delete the folder \"docs\" with the 2 files and 1 folder in it?",
     Joined({kWalkDocs, kDeleteDocs, {"LIST"}}), {}},
    {"AFileAndAFolderInListOrder", {"b.bin", "docs"}, {}, true,
     "Delete 2 entries with everything in them: 3 files and 2 folders in all?",
     Joined({kWalkDocs, {"DELE b.bin"}, kDeleteDocs, {"LIST"}}), {}},
    {"NoAfterCountingSendsNothingMore", {"docs"}, {}, false,
     "Delete the folder \"docs\" with the 2 files and 1 folder in it?", kWalkDocs, {}},
    {"TheWayUpAndNamesLeadingElsewhereAreLeftOut", {"..", "../up", "b.bin"}, {}, true, "Delete \"b.bin\"?",
     {"DELE b.bin", "LIST"}, {}},
    {"ARefusalHalfWayIsNamedAndTheListShowsWhatIsLeft", {"docs"}, {{"RMD", "550 docs/sub: Permission denied.\r\n"}},
     true, "Delete the folder \"docs\" with the 2 files and 1 folder in it?",
     Joined({kWalkDocs, {"DELE docs/sub/b.txt", "RMD docs/sub", "LIST"}}),
     "Could not delete the folder \"docs/sub\": 550 docs/sub: Permission denied."},
    {"ARefusedFileIsNamed", {"b.bin"}, {{"DELE", "550 No permission.\r\n"}}, true, "Delete \"b.bin\"?",
     {"DELE b.bin", "LIST"}, "Could not delete \"b.bin\": 550 No permission."},
    {"AFolderThatCannotBeListed", {"docs"}, {{"CWD", "550 No access.\r\n"}}, true, {},
     {"CWD /docs", "CWD /", "LIST"}, "The folder \"docs\" could not be listed: 550 No access."},
};

class RemoteDeleteCase : public RemoteDelete, public ::testing::WithParamInterface<TDeleteCase> {};

TEST_P(RemoteDeleteCase, SendsAsksAndShows)
{
    const TDeleteCase& c = GetParam();
    for (const auto& [command, reply] : c.replies)
        server.On(command, reply);
    dialogs->Confirms = {c.yes};
    SelectRemote(c.selected);
    Click(form->sbtnDeleteFile);
    EXPECT_EQ(dialogs->Texts("confirm"), c.question.isEmpty() ? QStringList() : QStringList{c.question});
    EXPECT_EQ(SentSince(), c.sent);
    if (c.error.isEmpty()) {
        EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    } else {
        ASSERT_EQ(Errors().size(), 1);
        EXPECT_TRUE(Errors().first().startsWith(c.error)) << Errors().first().toStdString();
    }
    EXPECT_FALSE(form->Busy);
}

INSTANTIATE_TEST_SUITE_P(Selections, RemoteDeleteCase, ::testing::ValuesIn(kDeleteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemoteDelete, EachStepIsLoggedAndShownInTheStatusBar)
{
    QStringList shown;
    server.OnCommand = [&](const QByteArray& line) {
        if (line.startsWith("DELE") || line.startsWith("RMD"))
            shown << form->StatusBar1->PanelText(1) + " " + form->StatusBar1->PanelText(0);
    };
    SelectRemote({"docs"});
    Click(form->sbtnDeleteFile);
    EXPECT_EQ(shown, (QStringList{"Deleting docs/sub/b.txt... 0 %", "Deleting docs/sub... 25 %",
                                  "Deleting docs/a.txt... 50 %", "Deleting docs... 75 %"}));
    const QStringList log = LogLines().mid(logged);
    EXPECT_EQ(log.count("Delete success"), 2);
    EXPECT_EQ(log.count("RemoveDir success"), 2);
    EXPECT_EQ(log.count("List success"), 1) << "the walk's listings are not the folder shown";
    EXPECT_FALSE(log.contains("ChangeDir success"));
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "b.bin"}));
}

TEST_F(RemoteDelete, StopEndsItAtOnceAndTheListShowsWhatIsLeft)
{
    // The server is slow to answer: Stop ends the wait, and the reply is read before the reload.
    server.On("RMD", {.text = "250 Removed.\r\n", .delayMs = 1500});
    form->FTPClient1->InactivityTimeOut = 60000;
    bool stoppable = false;
    server.OnCommand = [&](const QByteArray& line) {
        if (!line.startsWith("RMD"))
            return;
        QTimer::singleShot(100, form.get(), [&] {
            form->IdleHandler();
            stoppable = form->btnStop->isEnabled();
            form->btnStop->click();
        });
    };
    SelectRemote({"docs"});
    QElapsedTimer clock;
    clock.start();
    Click(form->sbtnDeleteFile);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(stoppable);
    EXPECT_EQ(SentSince(), Joined({kWalkDocs, {"DELE docs/sub/b.txt", "RMD docs/sub", "LIST"}}));
    EXPECT_TRUE(Errors().isEmpty()) << "a stop is the user's own: " << Errors().join('\n').toStdString();
    EXPECT_TRUE(LogLines().contains("The delete was stopped: 1 of 4 entries deleted."));
    EXPECT_TRUE(form->FTPClient1->Connected);
    EXPECT_FALSE(form->Busy);
}

TEST_F(RemoteDelete, StopWhileCountingDeletesNothing)
{
    server.On("LIST", {.text = "150 Here it comes.\r\n", .data = ScriptedFtpServer::Stall, .payload = kDocs});
    server.Queue("LIST", ListReply(kTop));
    form->FTPClient1->InactivityTimeOut = 60000;
    QTimer::singleShot(300, form.get(), [&] {
        form->IdleHandler();
        form->btnStop->click();
    });
    SelectRemote({"docs"});
    Click(form->sbtnDeleteFile);
    EXPECT_TRUE(dialogs->Texts("confirm").isEmpty());
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    const QByteArrayList after = SentSince();
    EXPECT_FALSE(AnySent(after, [](const QByteArray& line) { return line.startsWith("DELE") || line.startsWith("RMD"); }));
    EXPECT_EQ(after.mid(after.size() - 2), (QByteArrayList{"CWD /", "LIST"})) << "back in the folder shown";
}

} // namespace
