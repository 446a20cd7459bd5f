#include "AppTestSupport.h"
#include "app/AppInfo.h"
#include "app/HostDlg.h"
#include "app/MainForm.h"
#include "app/RemoteListModel.h"
#include "ftp/FTPClient.h"
#include "shellbrowser/ViewHelpers.h"
#include "app/Splash.h"
#include "app/StatusBar.h"
#include "app/URLLabel.h"
#include "net/ErrorBoundary.h"
#include "net/Exception.h"
#include <QButtonGroup>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {
class MainFormTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString hostsFile = dir.filePath("ferrit.vth");
    std::unique_ptr<TMainForm> form;
    TScriptedDialogs* dialogs = nullptr;
    TRecordedSounds* sounds = nullptr;

    void Create(const QByteArray& hostsText = {})
    {
        if (!hostsText.isEmpty()) {
            QFile out(hostsFile);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(hostsText);
        }
        form = std::make_unique<TMainForm>(hostsFile);
        auto scripted = std::make_unique<TScriptedDialogs>();
        dialogs = scripted.get();
        form->SetDialogs(std::move(scripted));
        auto recorded = std::make_unique<TRecordedSounds>();
        sounds = recorded.get();
        form->SetSounds(std::move(recorded));
    }
    void TearDown() override
    {
        if (form)
            form->hide();  // not closed: that would save the host list
        form.reset();
    }
    QStringList SiteNames() const
    {
        QStringList names;
        for (int i = 0; i < form->lvSites->topLevelItemCount(); ++i)
            names << form->lvSites->topLevelItem(i)->text(0);
        return names;
    }
    QStringList SiteTexts(int row) const
    {
        QStringList texts;
        for (int column = 0; column < 6; ++column)
            texts << form->lvSites->topLevelItem(row)->text(column);
        return texts;
    }
    QByteArray HostsText() const
    {
        QFile in(hostsFile);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
};

const QByteArray ThreeHosts = "[Host1]\nHostname=gamma\nDescription=g\nUsername=ug\nPassword=pg\nLocalDir=/g/\nRemoteDir=rg\n"
                              "[Host2]\nHostname=alpha\nDescription=a\nUsername=ua\nPassword=pa\nLocalDir=/a/\nRemoteDir=ra\n"
                              "[Host3]\nHostname=beta\nDescription=b\nUsername=ub\nPassword=pb\nLocalDir=/b/\nRemoteDir=rb\n";
}

TEST_F(MainFormTest, EveryHintedControlHasItsCaptionHintAndAccessibleTexts)
{
    Create();
    const struct {
        const char* name;
        const char* shortHint;
        const char* longHint;
        const char* toolTip = nullptr; // the short part and the key that does the same; else the short part
    } controls[] = {
        {"tbtnClose", "Close", "Close this application", "Close (Ctrl+Q)"},
        {"btnStop", "Stop", "Interrupt the current action", "Stop (Esc)"},
        {"tbtnAbout", "About", "Show information about this application"},
        {"sbtnLargeIcons", "Large icons", "Display the items using large icons"},
        {"sbtnSmall", "Small icons", "Display the items using small icons"},
        {"sbtnList", "List", "Display the items in a list"},
        {"sbtnDetails", "Details", "Display the details of the items"},
        {"sbtnUpload", "Upload", "Transmit files to the remote server"},
        {"sbtnAdd", "Add", "Add a new host"},
        {"sbtnDelete", "Delete", "Delete this host"},
        {"sbtnEdit", "Edit", "Edit this hosts details"},
        {"sbtnConnect", "Connect", "Connect to the selected server", "Connect (Enter)"},
        {"sbtnDisconnect", "Disconnect", "Disconnect from the current server"},
        {"sbtnExecute", "Execute", "Execute this command on the FTP server"},
        {"sbtn", "FTP Help", "Get help on the FTP commands from the remote server"},
        {"sbtnRefresh", "Refresh", "Refresh the remote listing", "Refresh (F5)"},
        {"sbtnDownload", "Download", "Download files from the remote server", "Download (Enter)"},
        {"sbtnDeleteFile", "Delete", "Delete this file", "Delete (Del)"},
        {"sbtnRename", "Rename", "Rename the remote file/directory", "Rename (F2)"},
        {"sbtnMkDir", "MkDir", "Make a remote directory", "MkDir (Ctrl+Shift+N)"},
        {"sbtnASCII", "ASCII", "Set the upload mode as ASCII"},
        {"sbtnBinary", "Binary", "Set the upload mode as binary"},
    };
    for (const auto& c : controls) {
        auto* control = form->findChild<QWidget*>(c.name);
        ASSERT_NE(control, nullptr) << c.name;
        EXPECT_EQ(control->toolTip(), c.toolTip ? c.toolTip : c.shortHint) << c.name;
        EXPECT_EQ(control->statusTip(), c.longHint) << c.name;
        EXPECT_EQ(control->accessibleName(), c.shortHint) << c.name;
        EXPECT_EQ(control->accessibleDescription(), c.longHint) << c.name;
    }
    // Lists, pages, edits and the log are named for screen readers too.
    for (QWidget* control : form->findChildren<QWidget*>()) {
        const bool speaks = qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control)
                            || qobject_cast<QAbstractItemView*>(control) || qobject_cast<QPlainTextEdit*>(control)
                            || control == form->tbshtStatus || control == form->tbshtListing;
        // Qt's own parts (tab scroll arrows, editors inside views) are named by Qt.
        const bool ours = !control->objectName().isEmpty() && !control->objectName().startsWith("qt_");
        if (speaks && ours) {
            EXPECT_FALSE(control->accessibleName().isEmpty()) << qPrintable(control->objectName());
        }
    }
}

TEST_F(MainFormTest, StartsWithTheDesignedLayoutAndStates)
{
    Create();
    EXPECT_EQ(form->windowTitle(), "Ferrit");
    EXPECT_EQ(form->pgctlFTP->currentWidget(), form->tbshtStatus);
    EXPECT_EQ(form->pgctlFTP->tabText(0), "Status");
    EXPECT_EQ(form->pgctlFTP->tabText(1), "Listing");
    // The tree selects its folder once it is shown.
    form->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->SystemTreeView->Directory() == QDir::cleanPath(ProgramFolder()); }, 5000))
        << qPrintable(form->SystemTreeView->Directory());
    EXPECT_FALSE(form->Busy);

    const auto columns = [](QTreeView* list) {
        QList<QPair<QString, int>> result;
        for (int i = 0; i < list->model()->columnCount(); ++i)
            result.append({list->model()->headerData(i, Qt::Horizontal).toString(), list->columnWidth(i)});
        return result;
    };
    const auto alignment = [](QTreeView* list, int column) {
        return list->model()->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
    };
    // The layout's widths, widened in proportion for a font with wider digits.
    const auto sites = [&](int width) { return ScaledDesignWidth(form->lvSites, width); };
    EXPECT_EQ(columns(form->lvSites),
              (QList<QPair<QString, int>>{{"Host", sites(80)}, {"Description", sites(220)}, {"Username", sites(70)},
                                          {"Password", sites(60)}, {"Local folder", sites(200)}, {"Remote folder", sites(200)}}));
    const auto remote = columns(form->lvRemoteFiles);
    const auto remoteWidth = [&](int width) { return ScaledDesignWidth(form->lvRemoteFiles, width); };
    ASSERT_EQ(remote.size(), 5);
    EXPECT_EQ(remote[0], (QPair<QString, int>{"Filename", remoteWidth(100)}));
    EXPECT_EQ(remote[1].first, "Size");
    EXPECT_EQ(remote[2], (QPair<QString, int>{"Type", remoteWidth(120)}));
    EXPECT_EQ(remote[3], (QPair<QString, int>{"Modified", remoteWidth(80)}));
    EXPECT_EQ(remote[4], (QPair<QString, int>{"Rights", remoteWidth(120)}));
    EXPECT_GE(remote[3].second, form->lvRemoteFiles->fontMetrics().horizontalAdvance("10 Dec 04:10") + 8)
        << "a date fits its column";
    EXPECT_TRUE(alignment(form->lvRemoteFiles, 1) & Qt::AlignRight);
    EXPECT_TRUE(alignment(form->lvRemoteFiles, 4) & Qt::AlignRight);
    EXPECT_EQ(form->lvSites->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(form->lvRemoteFiles->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(form->SystemListView->MultiSelect());
    EXPECT_EQ(form->SystemListView->property("Tag").toInt(), 256);
    EXPECT_EQ(form->lvRemoteFiles->property("Tag").toInt(), 128);
    EXPECT_EQ(form->SystemListView->ViewStyle(), TViewStyle::vsReport);

    // Exactly one button of each group is down.
    EXPECT_TRUE(form->grpViewStyle->exclusive());
    EXPECT_EQ(form->grpViewStyle->checkedButton(), form->sbtnDetails);
    EXPECT_TRUE(form->grpTransferType->exclusive());
    EXPECT_EQ(form->grpTransferType->checkedButton(), form->sbtnBinary); // files arrive intact unless asked

    for (QWidget* disabled : std::initializer_list<QWidget*>{
             form->sbtnDelete, form->sbtnEdit, form->sbtnConnect, form->sbtnDisconnect, form->sbtnRefresh,
             form->sbtnDownload, form->sbtnDeleteFile, form->sbtnRename, form->sbtnMkDir, form->sbtnASCII,
             form->sbtnBinary, form->btnStop, form->sbtnUpload, form->pnlFTPCommandLine})
        EXPECT_FALSE(disabled->isEnabled()) << qPrintable(disabled->objectName());
    EXPECT_TRUE(form->sbtnAdd->isEnabled());

    const QFont log = form->mmoStatus->font();
    EXPECT_EQ(log.pointSize(), 8);
    const QFontMetrics metrics(log);
    EXPECT_EQ(metrics.horizontalAdvance("iiii"), metrics.horizontalAdvance("MMMM")) << "a fixed-width font";
}

TEST_F(MainFormTest, IdleRuleFollowsConnectionAndBusy)
{
    Create();
    const QColor base = QApplication::palette().color(QPalette::Base);
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    ASSERT_NE(base, buttonFace);
    const struct {
        bool connected;
        bool busy;
        bool commandRow;
    } cases[] = {{false, false, false}, {true, false, true}, {true, true, false}, {false, true, false}};
    // The idle rule leaves the selection-driven buttons alone.
    form->sbtnConnect->setEnabled(true);
    form->sbtnDownload->setEnabled(true);
    for (const auto& c : cases) {
        form->FTPClient1->Connected = c.connected;
        form->Busy = c.busy;
        form->IdleHandler();
        for (QWidget* button : std::initializer_list<QWidget*>{form->sbtnRefresh, form->sbtnDisconnect, form->sbtnMkDir,
                                                               form->sbtnASCII, form->sbtnBinary})
            EXPECT_EQ(button->isEnabled(), c.connected) << qPrintable(button->objectName());
        EXPECT_EQ(form->btnStop->isEnabled(), c.busy);
        EXPECT_EQ(form->pnlFTPCommandLine->isEnabled(), c.commandRow);
        EXPECT_EQ(form->edtFTPCommand->isEnabled(), c.commandRow);
        EXPECT_EQ(form->sbtnExecute->isEnabled(), c.commandRow);
        EXPECT_EQ(form->edtFTPCommand->palette().color(QPalette::Base), c.commandRow ? base : buttonFace);
        EXPECT_TRUE(form->sbtnConnect->isEnabled());
        EXPECT_TRUE(form->sbtnDownload->isEnabled());
    }
}

TEST_F(MainFormTest, IdleRuleRunsByItselfWhenTheQueueRunsEmpty)
{
    Create();
    form->FTPClient1->Connected = true;
    // An event loop that runs out of work is idle, as the program's main loop is.
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(form->sbtnRefresh->isEnabled());

    // Each change of what the rule reads shows by the next idle pass, also back and forth.
    const auto idlePass = [] {
        QEventLoop pass;
        QTimer::singleShot(20, &pass, &QEventLoop::quit);
        pass.exec();
    };
    for (const bool busy : {true, false, true}) {
        form->Busy = busy;
        idlePass();
        EXPECT_EQ(form->btnStop->isEnabled(), busy);
        EXPECT_EQ(form->pnlFTPCommandLine->isEnabled(), !busy);
    }
    form->Busy = false;
    form->FTPClient1->Connected = false;
    idlePass();
    EXPECT_FALSE(form->sbtnRefresh->isEnabled());

    // Inside a loop that never waits for events, a click still meets the rule first.
    form->FTPClient1->Connected = false;
    form->IdleHandler();
    form->FTPClient1->Connected = true;
    QSignalSpy clicked(form->sbtnMkDir, &QToolButton::clicked);
    dialogs->Answers = {false}; // the folder name box, cancelled: nothing is sent
    QTest::mouseClick(form->sbtnMkDir, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(MainFormTest, SelectionEnablesTheButtonsOfItsList)
{
    Create(ThreeHosts);
    form->lvSites->topLevelItem(1)->setSelected(true);
    for (QWidget* button : {form->sbtnDelete, form->sbtnEdit, form->sbtnConnect})
        EXPECT_TRUE(button->isEnabled()) << qPrintable(button->objectName());
    form->lvSites->clearSelection();
    for (QWidget* button : {form->sbtnDelete, form->sbtnEdit, form->sbtnConnect})
        EXPECT_FALSE(button->isEnabled()) << qPrintable(button->objectName());

    TRemoteListModel* remote = form->RemoteFiles();
    for (const char* name : {"a.txt", "b.txt"})
        remote->Add(TRemoteEntry{name, "1", "file", "", "", 1});
    remote->Flush();
    QItemSelectionModel* selection = form->lvRemoteFiles->selectionModel();
    selection->select(remote->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(remote->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    for (QWidget* button : {form->sbtnDownload, form->sbtnDeleteFile, form->sbtnRename})
        EXPECT_TRUE(button->isEnabled()) << qPrintable(button->objectName());
    remote->Clear();
    for (QWidget* button : {form->sbtnDownload, form->sbtnDeleteFile, form->sbtnRename})
        EXPECT_FALSE(button->isEnabled()) << qPrintable(button->objectName());

    QTemporaryDir folder;
    for (const char* name : {"x", "y"})
        QFile(QDir(folder.path()).filePath(name)).open(QIODevice::WriteOnly);
    form->show();
    form->SystemTreeView->SetDirectory(folder.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemListView->ItemCount() == 2; }, 5000));
    form->SystemListView->SetItemSelected(1, true);
    EXPECT_TRUE(form->sbtnUpload->isEnabled());
    form->SystemListView->SetItemSelected(1, false);
    EXPECT_FALSE(form->sbtnUpload->isEnabled());
}

TEST_F(MainFormTest, ViewButtonsChangeOnlyTheLocalListsView)
{
    Create();
    const struct {
        QToolButton* TMainForm::*button;
        TViewStyle style;
    } cases[] = {{&TMainForm::sbtnLargeIcons, TViewStyle::vsIcon},
                 {&TMainForm::sbtnSmall, TViewStyle::vsSmallIcon},
                 {&TMainForm::sbtnList, TViewStyle::vsList},
                 {&TMainForm::sbtnDetails, TViewStyle::vsReport}};
    for (const auto& c : cases) {
        QTest::mouseClick(form.get()->*c.button, Qt::LeftButton);
        EXPECT_EQ(form->SystemListView->ViewStyle(), c.style);
        EXPECT_EQ(form->grpViewStyle->checkedButton(), form.get()->*c.button);
        EXPECT_EQ(form->pgctlFTP->currentWidget(), form->tbshtStatus);
        EXPECT_EQ(form->lvRemoteFiles->model()->columnCount(), 5);
    }
}

TEST_F(MainFormTest, HoveringAControlShowsItsLongHintInPanelOne)
{
    Create();
    const struct {
        const char* control;
        const char* hint;
    } cases[] = {{"sbtnAdd", "Add a new host"}, {"tbtnAbout", "Show information about this application"}};
    for (const auto& c : cases) {
        auto* control = form->findChild<QWidget*>(c.control);
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(control, &enter);
        EXPECT_EQ(form->StatusBar1->PanelText(1), c.hint);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(control, &leave);
        EXPECT_EQ(form->StatusBar1->PanelText(1), "");
    }
}

TEST_F(MainFormTest, HostsLoadSortedByName)
{
    Create(ThreeHosts);
    EXPECT_EQ(SiteNames(), (QStringList{"alpha", "beta", "gamma"}));
    EXPECT_EQ(SiteTexts(0), (QStringList{"alpha", "a", "ua", TMainForm::PasswordMask, "/a/", "ra"}));
    EXPECT_EQ(TMainForm::SiteEntry(*form->lvSites->topLevelItem(0)).Password, "pa");
}

TEST_F(MainFormTest, AddShowsTheDefaultsAndAppendsOnOk)
{
    Create(ThreeHosts);
    QStringList shown;
    WhenModal([&](QWidget* dialog) {
        ASSERT_EQ(dialog, form->HostDlg);
        const THostEntry fields = form->HostDlg->Fields();
        shown = {fields.Hostname, fields.Description, fields.Username, fields.Password, fields.LocalDir, fields.RemoteDir};
        form->HostDlg->edtHost->setText("beta2");
        form->HostDlg->edtRemote->setText("/pub");
        QTest::mouseClick(form->HostDlg->btnOk, Qt::LeftButton);
    });
    form->sbtnAdd->click();
    EXPECT_EQ(shown, (QStringList{"", "No description :)", "anonymous", GetLocalIP(), ProgramFolder(), ""}));
    EXPECT_EQ(SiteNames(), (QStringList{"alpha", "beta", "beta2", "gamma"}));
    const QString localIP = GetLocalIP();
    EXPECT_EQ(SiteTexts(2), (QStringList{"beta2", "No description :)", "anonymous",
                                         localIP.isEmpty() ? QString() : TMainForm::PasswordMask, ProgramFolder(), "/pub"}));
    EXPECT_EQ(TMainForm::SiteEntry(*form->lvSites->topLevelItem(2)).Password, localIP);

    WhenModal([&](QWidget*) {
        form->HostDlg->edtHost->setText("dropped");
        QTest::mouseClick(form->HostDlg->btnCancel, Qt::LeftButton);
    });
    form->sbtnAdd->click();
    EXPECT_EQ(SiteNames().size(), 4);
}

TEST_F(MainFormTest, EditAndDoubleClickChangeTheSelectedHost)
{
    Create(ThreeHosts);
    form->lvSites->setCurrentItem(form->lvSites->topLevelItem(0));
    WhenModal([&](QWidget*) {
        EXPECT_EQ(form->HostDlg->Fields(), (THostEntry{"alpha", "a", "ua", "pa", "/a/", "ra"}));
        form->HostDlg->edtHost->setText("zeta");
        form->HostDlg->edtPass->setText("new");
        QTest::mouseClick(form->HostDlg->btnOk, Qt::LeftButton);
    });
    form->sbtnEdit->click();
    QTRY_COMPARE(SiteNames(), (QStringList{"beta", "gamma", "zeta"}));
    EXPECT_EQ(SiteTexts(2), (QStringList{"zeta", "a", "ua", TMainForm::PasswordMask, "/a/", "ra"}));
    EXPECT_EQ(TMainForm::SiteEntry(*form->lvSites->topLevelItem(2)), (THostEntry{"zeta", "a", "ua", "new", "/a/", "ra"}));

    WhenModal([&](QWidget*) { form->HostDlg->reject(); });
    form->lvSitesDblClick();
    EXPECT_EQ(TMainForm::SiteEntry(*form->lvSites->topLevelItem(2)), (THostEntry{"zeta", "a", "ua", "new", "/a/", "ra"}));
}

TEST_F(MainFormTest, DoubleClickWithoutSelectionDoesNothing)
{
    Create(ThreeHosts);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::mouseDClick(form->lvSites->viewport(), Qt::LeftButton, {}, {5, form->lvSites->viewport()->height() - 3});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(form->lvSites->selectedItems().isEmpty());
}

TEST_F(MainFormTest, DeleteRemovesTheSelectedHostWithoutAsking)
{
    Create(ThreeHosts);
    form->lvSites->topLevelItem(1)->setSelected(true);
    form->sbtnDelete->click();
    EXPECT_EQ(SiteNames(), (QStringList{"alpha", "gamma"}));
    EXPECT_TRUE(dialogs->Shown.empty());
    EXPECT_EQ(HostsText(),
              "[Host1]\nHostname=alpha\nDescription=a\nUsername=ua\nPassword=pa\nLocalDir=/a/\nRemoteDir=ra\n"
              "[Host2]\nHostname=gamma\nDescription=g\nUsername=ug\nPassword=pg\nLocalDir=/g/\nRemoteDir=rg\n")
        << "the file holds the change at once, in the list's order";
}

TEST_F(MainFormTest, RenamingInPlaceKeepsTheListSorted)
{
    Create(ThreeHosts);
    form->lvSites->topLevelItem(0)->setText(0, "omega");
    QTRY_COMPARE(SiteNames(), (QStringList{"beta", "gamma", "omega"}));
    // Only the host name is edited in place.
    form->lvSites->setCurrentItem(form->lvSites->topLevelItem(0), 1);
    form->lvSites->editItem(form->lvSites->topLevelItem(0), 1);
    EXPECT_EQ(form->lvSites->findChild<QLineEdit*>(), nullptr);
}

TEST_F(MainFormTest, ClosingRewritesTheHostsFileInListOrder)
{
    Create(ThreeHosts + "[Host5]\nHostname=lost\n");
    form->show();
    form->tbtnClose->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(HostsText(),
              "[Host1]\nHostname=alpha\nDescription=a\nUsername=ua\nPassword=pa\nLocalDir=/a/\nRemoteDir=ra\n"
              "[Host2]\nHostname=beta\nDescription=b\nUsername=ub\nPassword=pb\nLocalDir=/b/\nRemoteDir=rb\n"
              "[Host3]\nHostname=gamma\nDescription=g\nUsername=ug\nPassword=pg\nLocalDir=/g/\nRemoteDir=rg\n");
}

TEST_F(MainFormTest, AHostsFileThatCouldNotBeReadIsNeverReplaced)
{
    // A folder in the file's place stands for a file of another owner: there, but unreadable.
    ASSERT_TRUE(QDir().mkpath(hostsFile + "/inside"));
    Create();
    EXPECT_EQ(form->lvSites->topLevelItemCount(), 0);
    dialogs->Answers = {true};
    EXPECT_TRUE(form->close());
    ASSERT_EQ(dialogs->Shown.size(), 2u);
    EXPECT_TRUE(dialogs->Shown[0].Text.startsWith("Unable to write to " + hostsFile + ": it could not be read"));
    EXPECT_TRUE(QFileInfo::exists(hostsFile + "/inside"));
}

TEST_F(MainFormTest, ClosingWithNoHostsDeletesTheFile)
{
    Create(ThreeHosts);
    form->lvSites->clear();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(QFile::exists(hostsFile));
}

TEST_F(MainFormTest, FailedSaveOnCloseKeepsTheFileAndAsks)
{
    Create(ThreeHosts);
    for (int i = 0; i < 50; ++i)
        form->lvSites->addTopLevelItem(new QTreeWidgetItem(QStringList{"host" + QString::number(i), QString(80, 'x')}));
    form->show();
    dialogs->Answers = {false, true};
    {
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{1024, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        const bool firstClosed = form->close();
        const bool secondClosed = form->close();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(firstClosed) << "answered No: the window stays";
        EXPECT_TRUE(secondClosed) << "answered Yes: it closes";
    }
    ASSERT_EQ(dialogs->Shown.size(), 4u);
    EXPECT_EQ(dialogs->Shown[0].Kind, "error");
    EXPECT_EQ(dialogs->Shown[0].Title, "Ferrit");
    EXPECT_EQ(dialogs->Shown[0].Text, "Unable to write to " + hostsFile);
    EXPECT_EQ(dialogs->Shown[1].Kind, "confirm");
    EXPECT_EQ(HostsText(), ThreeHosts);
}

TEST_F(MainFormTest, UncaughtErrorsAreShownTitledFerritAndTheProgramGoesOn)
{
    Create();
    QPushButton thrower;
    QObject::connect(&thrower, &QPushButton::clicked, Guarded([](bool) { throw Exception("the server said no"); }));
    thrower.click();
    thrower.click();
    ASSERT_EQ(dialogs->Shown.size(), 2u);
    EXPECT_EQ(dialogs->Shown[0].Kind, "error");
    EXPECT_EQ(dialogs->Shown[0].Title, "Ferrit");
    EXPECT_EQ(dialogs->Shown[0].Text, "the server said no");
}

TEST_F(MainFormTest, AboutOpensClosesWithOkAndOpensAgain)
{
    Create();
    for (int round = 0; round < 2; ++round) {
        QPointer<TfrmSplash> about;
        WhenModal([&](QWidget* dialog) {
            about = qobject_cast<TfrmSplash*>(dialog);
            ASSERT_TRUE(about);
            EXPECT_EQ(about->lblVersion->text(), VersionLabelText(ProgramVersion()));
            EXPECT_EQ(about->lblVersion->text(), "Version " + ProgramVersion());
            EXPECT_FALSE(about->lblMessage->isVisible());
            EXPECT_TRUE(about->btnOK->isVisible());
            EXPECT_EQ(about->Image1->cursor().shape(), Qt::ArrowCursor);
            QTest::mouseClick(about->btnOK, Qt::LeftButton);
        });
        form->tbtnAbout->click();
        EXPECT_TRUE(about.isNull()) << "the about view frees itself when closed";
    }
}

TEST_F(MainFormTest, UrlLabelFailureGoesToTheGeneralErrorHandler)
{
    Create();
    WhenModal([&](QWidget* dialog) {
        auto* about = qobject_cast<TfrmSplash*>(dialog);
        ASSERT_TRUE(about);
        about->URLLabel1->Url = "ferrit-test-unhandled:nothing";
        QTest::mouseClick(about->URLLabel1, Qt::LeftButton);
        about->close();
    });
    form->tbtnAbout->click();
    ASSERT_EQ(dialogs->Shown.size(), 1u);
    EXPECT_EQ(dialogs->Shown[0].Title, "Ferrit");
    EXPECT_EQ(dialogs->Shown[0].Text, "The default browser could not be launched.");
}
