// The main window's keys against a scripted server: each key as a table of (focus,
// key, state before, what the server got and which boxes asked), the places where a
// key must not act, the page keys, and a Tab round through every control.
#include "RemoteFormFixture.h"
#include "ScriptedFtpServer.h"

#include "app/RemoteListModel.h"
#include "ftp/FTPClient.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <optional>

namespace {

const QByteArray kListing = "drwxr-xr-x   2 user     group         512 Jan  1 12:00 docs\r\n"
                            "-rw-r--r--   1 user     group        1234 Jan  1  1999 readme.txt\r\n"
                            "-rw-r--r--   1 user     group          10 Jan  1 12:00 b.bin\r\n";

ScriptedFtpServer::Reply Sending(const QByteArray& payload, ScriptedFtpServer::DataMode mode = ScriptedFtpServer::Send)
{
    return {.text = "150 Here it comes.\r\n", .data = mode, .payload = payload, .completion = "226 Done.\r\n"};
}

class Keys : public RemoteFormTest {
protected:
    void SetUp() override
    {
        server.On("CWD", "250 OK.\r\n");
        server.On("DELE", "250 Deleted.\r\n");
        server.On("RNFR", "350 Ready.\r\n");
        server.On("RNTO", "250 Renamed.\r\n");
        server.On("MKD", "257 \"/sub\" created.\r\n");
        server.On("RETR", Sending("0123456789"));
        server.On("LIST", Sending(kListing));
        MakeForm({Host("joe", "pw")}, server.Port());
        ASSERT_TRUE(local.isValid());
        QFile file(QDir(local.path()).filePath("local.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        form->SystemTreeView->SetDirectory(local.path());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    // Connected, with a refreshed listing (so that it holds ".."), on the Listing page.
    void Open()
    {
        Connect();
        ASSERT_TRUE(form->FTPClient1->Connected);
        Click(form->sbtnRefresh);
        ASSERT_EQ(form->pgctlFTP->currentWidget(), form->tbshtListing);
        ASSERT_TRUE(RemoteCaptions().contains(".."));
        Sent = server.ReceivedWithoutPort().size();
    }
    QByteArrayList SentSince() const { return server.ReceivedWithoutPort().mid(Sent); }
    // Gives `target` the focus and presses the key there, as the user would.
    static void Press(QWidget* target, QKeyCombination key)
    {
        target->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), target) << qPrintable(target->objectName());
        QTest::keyClick(target, key.key(), key.keyboardModifiers());
    }
    QWidget* LocalList() const { return form->SystemListView->ReportView(); }
    void SelectLocal(const QString& caption)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemListView->ItemCount() > 0; }, 5000));
        for (int row = 0; row < form->SystemListView->ItemCount(); ++row)
            if (form->SystemListView->ItemCaption(row) == caption) {
                form->SystemListView->ReportView()->setCurrentIndex(form->SystemListView->ReportView()->model()->index(row, 0));
                return;
            }
        FAIL() << caption.toStdString();
    }

    ScriptedFtpServer server;
    QTemporaryDir local;
    qsizetype Sent = 0;
};

struct TKeyCase {
    const char* name;
    QKeyCombination key;
    QStringList selected;                    // remote entries selected before the key
    std::deque<bool> confirms;               // answers to the confirmations
    std::deque<std::optional<QString>> inputs; // answers to the input boxes
    QByteArrayList sent;                     // what the server got, without "PORT"
    QStringList asked;                       // the boxes' texts, in order
};

TEST_F(Keys, EachKeyInTheRemoteListRunsItsCommand)
{
    const TKeyCase cases[] = {
        {"F5 refreshes", Qt::Key_F5, {}, {}, {}, {"LIST"}, {}},
        {"Enter enters a folder", Qt::Key_Return, {"docs"}, {}, {}, {"CWD ./docs", "PWD", "LIST"}, {}},
        {"keypad Enter on a file asks, No", Qt::Key_Enter, {"readme.txt"}, {false}, {}, {}, {"confirm:Download readme.txt"}},
        {"Enter on several asks as the Download button", Qt::Key_Return, {"readme.txt", "b.bin"}, {false}, {}, {},
         {"confirm:Download 2 file(s) ?"}},
        {"Backspace goes up", Qt::Key_Backspace, {"readme.txt"}, {}, {}, {"CWD ./..", "PWD", "LIST"}, {}},
        {"Alt+Up goes up", Qt::ALT | Qt::Key_Up, {}, {}, {}, {"CWD ./..", "PWD", "LIST"}, {}},
        {"Delete asks, No", Qt::Key_Delete, {"readme.txt"}, {false}, {}, {}, {"confirm:Delete \"readme.txt\"?"}},
        {"Delete asks, Yes deletes", Qt::Key_Delete, {"readme.txt"}, {true}, {}, {"DELE readme.txt", "LIST"},
         {"confirm:Delete \"readme.txt\"?"}},
        {"F2 renames", Qt::Key_F2, {"readme.txt"}, {}, {QStringLiteral("new.txt")}, {"RNFR readme.txt", "RNTO new.txt", "LIST"},
         {"input:Rename readme.txt to: [readme.txt]"}},
        {"Ctrl+Shift+N makes a folder", Qt::CTRL | Qt::SHIFT | Qt::Key_N, {}, {}, {QStringLiteral("sub")},
         {"MKD sub", "LIST"}, {"input:Enter the name of the folder to create [New folder]"}},
    };
    Open();
    for (const TKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case starts in the listing of the first folder.
        Click(form->sbtnRefresh);
        Sent = server.ReceivedWithoutPort().size();
        SelectRemote(c.selected);
        dialogs->Shown.clear();
        dialogs->Confirms = c.confirms;
        dialogs->Inputs = c.inputs;
        Press(form->lvRemoteFiles, c.key);
        EXPECT_EQ(SentSince(), c.sent);
        QStringList asked;
        for (const TShownBox& box : dialogs->Shown)
            asked << box.Kind + u':' + box.Text;
        EXPECT_EQ(asked, c.asked);
        EXPECT_FALSE(form->Busy);
    }
}

// The listing that comes right after connecting has no ".." row; the keys still go up.
TEST_F(Keys, BackspaceGoesUpAlsoWithoutTheUpRow)
{
    Connect();
    ASSERT_TRUE(form->FTPClient1->Connected);
    ASSERT_FALSE(RemoteCaptions().contains(".."));
    Sent = server.ReceivedWithoutPort().size();
    Press(form->lvRemoteFiles, Qt::Key_Backspace);
    EXPECT_EQ(SentSince(), (QByteArrayList{"CWD ./..", "PWD", "LIST"}));
    EXPECT_TRUE(LogLines().contains("CWD ./.."));
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

TEST_F(Keys, EnterOnAFileAnsweredYesDownloadsIt)
{
    Open();
    SelectRemote({"b.bin"});
    dialogs->Confirms = {true};
    Press(form->lvRemoteFiles, Qt::Key_Return);
    EXPECT_EQ(dialogs->Texts("confirm"), QStringList{"Download b.bin"});
    const QString downloaded = QDir(local.path()).filePath("b.bin");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(downloaded).size() == 10; }, 10000));
    QFile file(downloaded);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "0123456789");
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

TEST_F(Keys, KeysForTheRemoteListDoNotActElsewhere)
{
    Open();
    SelectRemote({"readme.txt"});
    dialogs->Shown.clear();

    // The command line keeps its editing keys, and Enter there sends the command.
    form->pgctlFTP->setCurrentWidget(form->tbshtStatus);
    form->IdleHandler();
    form->edtFTPCommand->setText("NOOP");
    for (QKeyCombination key : {QKeyCombination(Qt::Key_Delete), QKeyCombination(Qt::Key_F2),
                                QKeyCombination(Qt::CTRL | Qt::SHIFT | Qt::Key_N), QKeyCombination(Qt::Key_Backspace)})
        Press(form->edtFTPCommand, key);
    EXPECT_EQ(form->edtFTPCommand->text(), "NOO");
    Press(form->edtFTPCommand, Qt::Key_Return);
    EXPECT_EQ(SentSince(), QByteArrayList{"NOO"});
    EXPECT_EQ(form->pgctlFTP->currentWidget(), form->tbshtStatus);

    // The local list keeps its own: F2 renames the local entry in place, and Esc ends
    // that without renaming.
    SelectLocal("local.txt");
    Press(LocalList(), Qt::Key_Backspace);
    Press(LocalList(), Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr) << "F2 in the local list edits the name there";
    EXPECT_TRUE(LocalList()->isAncestorOf(editor));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == LocalList(); }, 2000));
    EXPECT_TRUE(QFile::exists(QDir(local.path()).filePath("local.txt")));

    EXPECT_EQ(SentSince(), QByteArrayList{"NOO"});
    EXPECT_TRUE(dialogs->Shown.empty());
    EXPECT_EQ(SelectedRemote(), QStringList{"readme.txt"});
}

TEST_F(Keys, KeysDoNothingWithoutAConnection)
{
    Open();
    dialogs->Confirms = {true};
    Click(form->sbtnDisconnect); // the listing stays on screen
    ASSERT_FALSE(form->FTPClient1->Connected);
    form->pgctlFTP->setCurrentWidget(form->tbshtListing);
    const qsizetype received = server.Received().size();
    dialogs->Shown.clear();
    for (QKeyCombination key :
         {QKeyCombination(Qt::Key_F5), QKeyCombination(Qt::Key_Return), QKeyCombination(Qt::Key_Delete),
          QKeyCombination(Qt::Key_F2), QKeyCombination(Qt::Key_Backspace), QKeyCombination(Qt::ALT | Qt::Key_Up),
          QKeyCombination(Qt::CTRL | Qt::SHIFT | Qt::Key_N)}) {
        SelectRemote({"readme.txt"});
        Press(form->lvRemoteFiles, key);
        EXPECT_TRUE(dialogs->Shown.empty()) << QKeySequence(key).toString().toStdString();
    }
    EXPECT_EQ(server.Received().size(), received);
    EXPECT_FALSE(form->FTPClient1->Connected) << "no key connects again";
}

TEST_F(Keys, WhileAListingRunsF5IsRefusedAndEscStopsIt)
{
    Open();
    server.On("LIST", Sending(kListing, ScriptedFtpServer::Stall));
    form->FTPClient1->InactivityTimeOut = 60000;
    bool stopEnabled = false;
    QTimer::singleShot(200, form.get(), [&] {
        QTest::keyClick(form->lvRemoteFiles, Qt::Key_F5); // one command at a time
        stopEnabled = form->btnStop->isEnabled();
        QTest::keyClick(form->lvRemoteFiles, Qt::Key_Escape);
    });
    form->lvRemoteFiles->setFocus();
    Press(form->lvRemoteFiles, Qt::Key_F5);
    EXPECT_TRUE(stopEnabled);
    EXPECT_EQ(SentSince(), QByteArrayList{"LIST"});
    EXPECT_EQ(Errors().size(), 1) << "the stopped listing is reported";
    EXPECT_TRUE(form->FTPClient1->Connected);
}

TEST_F(Keys, EnterInTheHostListConnects)
{
    SelectSite(0);
    Press(form->lvSites, Qt::Key_Return);
    EXPECT_TRUE(form->FTPClient1->Connected);
    EXPECT_TRUE(server.Received().contains("USER joe"));
}

TEST_F(Keys, PageKeysSwitchPagesFromAnywhereAndTakeTheFocusAlong)
{
    const struct {
        const char* name;
        QKeyCombination key;
        QWidget* before;
        QWidget* after;
    } cases[] = {
        {"Alt+2", Qt::ALT | Qt::Key_2, form->tbshtStatus, form->tbshtListing},
        {"Alt+2 again", Qt::ALT | Qt::Key_2, form->tbshtListing, form->tbshtListing},
        {"Alt+1", Qt::ALT | Qt::Key_1, form->tbshtListing, form->tbshtStatus},
        {"Ctrl+PgDown", Qt::CTRL | Qt::Key_PageDown, form->tbshtStatus, form->tbshtListing},
        {"Ctrl+PgUp", Qt::CTRL | Qt::Key_PageUp, form->tbshtListing, form->tbshtStatus},
        {"Ctrl+Tab", Qt::CTRL | Qt::Key_Tab, form->tbshtStatus, form->tbshtListing},
        {"Ctrl+Shift+Tab", Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, form->tbshtListing, form->tbshtStatus},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->pgctlFTP->setCurrentWidget(c.before);
        Press(form->SystemTreeView, c.key);
        EXPECT_EQ(form->pgctlFTP->currentWidget(), c.after);
        EXPECT_TRUE(c.after->isAncestorOf(QApplication::focusWidget()))
            << qPrintable(QApplication::focusWidget()->objectName());
    }
    // Inside the pages the focus stays where the tab widget puts it.
    Press(form->pgctlFTP->tabBar(), Qt::CTRL | Qt::Key_PageDown);
    EXPECT_EQ(form->pgctlFTP->currentWidget(), form->tbshtListing);
    EXPECT_EQ(QApplication::focusWidget(), form->pgctlFTP->tabBar());
    // Back on a page, the focus returns to where it was there.
    Press(form->mmoStatus, Qt::ALT | Qt::Key_2);
    Press(LocalList(), Qt::ALT | Qt::Key_1);
    EXPECT_EQ(QApplication::focusWidget(), form->mmoStatus);
}

TEST_F(Keys, CtrlQClosesTheWindow)
{
    Press(LocalList(), Qt::CTRL | Qt::Key_Q);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(QFile::exists(form->HostsFile())) << "closing saved the hosts";
}

TEST_F(Keys, HintsNameTheKeys)
{
    EXPECT_EQ(form->pgctlFTP->tabToolTip(0), "Status (Alt+1)");
    EXPECT_EQ(form->pgctlFTP->tabToolTip(1), "Listing (Alt+2)");
    Open();
    const QStringList captions = RemoteCaptions();
    const QRect up = form->lvRemoteFiles->visualRect(form->RemoteFiles()->index(int(captions.indexOf("..")), 0));
    QHelpEvent help(QEvent::ToolTip, up.center(), form->lvRemoteFiles->viewport()->mapToGlobal(up.center()));
    QApplication::sendEvent(form->lvRemoteFiles->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), "Parent folder (Backspace, Alt+Up)");
    QToolTip::hideText();
}

// Every control that can take the focus is reached by Tab, in the order of the panes.
TEST_F(Keys, TabReachesEveryControlInPaneOrder)
{
    const auto tabStops = [this] {
        QSet<QWidget*> stops;
        for (QWidget* w : form->findChildren<QWidget*>())
            if (w->window() == form.get() && w->isVisible() && w->isEnabled() && !w->focusProxy()
                && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus)
                stops.insert(w);
        return stops;
    };
    const auto round = [this] {
        QList<QWidget*> visited;
        QWidget* start = QApplication::focusWidget();
        for (int i = 0; i < 200; ++i) {
            QWidget* focused = QApplication::focusWidget();
            if (!focused || (i > 0 && focused == start))
                break;
            visited << focused;
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        return visited;
    };
    // `order` starts where the round starts.
    const auto check = [&](const char* state, const QList<QWidget*>& order) {
        SCOPED_TRACE(state);
        form->IdleHandler();
        order.first()->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), order.first());
        const QList<QWidget*> visited = round();
        EXPECT_EQ(QSet<QWidget*>(visited.begin(), visited.end()), tabStops());
        EXPECT_EQ(visited.size(), tabStops().size()) << "each once";
        qsizetype last = -1;
        for (QWidget* w : order) {
            const qsizetype at = visited.indexOf(w);
            EXPECT_GT(at, last) << qPrintable(w->objectName());
            last = at;
        }
    };
    EXPECT_EQ(QApplication::focusWidget(), form->lvSites) << "the window opens on the host list";
    QWidget* tabs = form->pgctlFTP->tabBar();
    check("not connected", {form->lvSites, form->sbtnAdd, form->QueueView, form->tbtnClose, form->tbtnAbout,
                            form->SystemTreeView, LocalList(), tabs});
    Open();
    check("connected, Listing", {form->lvRemoteFiles, form->sbtnRefresh, form->sbtnMkDir, form->QueueView, form->tbtnClose,
                                 form->SystemTreeView, LocalList(), tabs});
    form->pgctlFTP->setCurrentWidget(form->tbshtStatus);
    check("connected, Status", {form->lvSites, form->sbtnDisconnect, form->edtFTPCommand, form->sbtnExecute, form->sbtn,
                                form->mmoStatus, form->QueueView, form->tbtnClose, form->SystemTreeView, LocalList(),
                                tabs});
    // A group of toggles is one stop, as radio buttons are; the arrow keys move within it.
    form->sbtnLargeIcons->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), form->sbtnDetails);
}

} // namespace
