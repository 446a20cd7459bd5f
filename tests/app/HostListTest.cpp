#include "AppTestSupport.h"
#include "app/AppInfo.h"
#include "app/HostDlg.h"
#include "app/MainForm.h"
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <variant>

namespace {
class HostListTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString hostsFile = dir.filePath("ferrit.vth");
    std::unique_ptr<TMainForm> form;
    TScriptedDialogs* dialogs = nullptr;

    void WriteHosts(const QByteArray& text)
    {
        QFile out(hostsFile);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    QByteArray ReadFile(const QString& name) const
    {
        QFile in(name);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    void Create()
    {
        form = std::make_unique<TMainForm>(hostsFile);
        auto scripted = std::make_unique<TScriptedDialogs>();
        dialogs = scripted.get();
        form->SetDialogs(std::move(scripted));
        form->SetSounds(std::make_unique<TRecordedSounds>());
    }
    void TearDown() override
    {
        if (form)
            form->hide();  // not closed: that would save the host list
        form.reset();
    }
};

// Every text a screen reader can get from the view and its cells.
void CollectAccessibleTexts(QAccessibleInterface* node, QStringList& texts, int depth = 0)
{
    if (!node || depth > 4)
        return;
    for (QAccessible::Text kind : {QAccessible::Name, QAccessible::Description, QAccessible::Value, QAccessible::Help})
        texts << node->text(kind);
    for (int i = 0; i < node->childCount(); ++i)
        CollectAccessibleTexts(node->child(i), texts, depth + 1);
}

const QString Secrets[] = {"s3cr3t-short", "a-much-longer-s3cr3t-with-many-characters"};
}

TEST_F(HostListTest, ThePasswordColumnShowsOneMaskWhateverThePassword)
{
    WriteHosts("[Host1]\nHostname=alpha\nPassword=" + Secrets[0].toUtf8()
               + "\n[Host2]\nHostname=beta\nPassword=" + Secrets[1].toUtf8()
               + "\n[Host3]\nHostname=gamma\nPassword=\n");
    Create();
    form->show();
    ASSERT_EQ(form->lvSites->topLevelItemCount(), 3);
    QTreeWidgetItem* alpha = form->lvSites->topLevelItem(0);
    QTreeWidgetItem* beta = form->lvSites->topLevelItem(1);
    QTreeWidgetItem* gamma = form->lvSites->topLevelItem(2);
    EXPECT_FALSE(TMainForm::PasswordMask.isEmpty());
    EXPECT_EQ(alpha->text(3), TMainForm::PasswordMask);
    EXPECT_EQ(beta->text(3), TMainForm::PasswordMask) << "the mask does not tell the length";
    EXPECT_EQ(gamma->text(3), "") << "no password, no mask";

    // No role a view, tool tip or screen reader uses carries the password.
    for (QTreeWidgetItem* item : {alpha, beta, gamma})
        for (int column = 0; column < form->lvSites->columnCount(); ++column)
            for (int role = 0; role < Qt::UserRole; ++role)
                for (const QString& secret : Secrets)
                    EXPECT_FALSE(item->data(column, role).toString().contains(secret))
                        << "column " << column << ", role " << role;
    EXPECT_EQ(alpha->data(3, Qt::ToolTipRole).toString(), "");
    QStringList spoken;
    CollectAccessibleTexts(QAccessible::queryAccessibleInterface(form->lvSites), spoken);
    EXPECT_TRUE(spoken.join('\n').contains("alpha")) << "the walk reached the cells";
    for (const QString& secret : Secrets)
        EXPECT_FALSE(spoken.join('\n').contains(secret));

    // The passwords themselves are kept for connecting, editing and saving.
    EXPECT_EQ(TMainForm::SiteEntry(*alpha).Password, Secrets[0]);
    EXPECT_EQ(TMainForm::SiteEntry(*beta).Password, Secrets[1]);
    EXPECT_EQ(TMainForm::SiteEntry(*gamma).Password, "");
    EXPECT_TRUE(form->close());
    const QByteArray saved = ReadFile(hostsFile);
    EXPECT_TRUE(saved.contains("Password=" + Secrets[0].toUtf8() + "\n"));
    EXPECT_TRUE(saved.contains("Password=" + Secrets[1].toUtf8() + "\n"));
    EXPECT_TRUE(saved.contains("[Host3]\nHostname=gamma\nDescription=Vantle-FTP host\nUsername=anonymous\nPassword=\n"));
}

TEST_F(HostListTest, TheDialogHidesThePasswordUntilAskedToShowIt)
{
    THostDlg dialog;
    dialog.SetFields("h", "d", "u", "hunter2", "/l/", "r");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QToolButton* toggle = nullptr;
    for (QToolButton* button : dialog.edtPass->findChildren<QToolButton*>())
        if (button->defaultAction() == dialog.actShowPassword)
            toggle = button;
    ASSERT_NE(toggle, nullptr) << "the toggle sits on the password edit";
    EXPECT_TRUE(toggle->isVisible());
    EXPECT_FALSE(toggle->icon().isNull());
    const auto spokenName = [&] { return QAccessible::queryAccessibleInterface(toggle)->text(QAccessible::Name); };

    const struct {
        std::function<void()> act;
        QLineEdit::EchoMode echo;
        QString name;
    } steps[] = {
        {[] {}, QLineEdit::Password, "Show password"},
        {[&] { QTest::mouseClick(toggle, Qt::LeftButton); }, QLineEdit::Normal, "Hide password"},
        {[&] { QTest::mouseClick(toggle, Qt::LeftButton); }, QLineEdit::Password, "Show password"},
        {[&] { dialog.actShowPassword->trigger(); }, QLineEdit::Normal, "Hide password"},
        // Each host the dialog is filled with starts hidden again.
        {[&] { dialog.SetFields("h2", "d", "u", "other", "/l/", "r"); }, QLineEdit::Password, "Show password"},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        steps[i].act();
        EXPECT_EQ(dialog.edtPass->echoMode(), steps[i].echo) << "step " << i;
        EXPECT_EQ(spokenName(), steps[i].name) << "step " << i;
        EXPECT_EQ(toggle->toolTip(), steps[i].name) << "step " << i;
        if (steps[i].echo == QLineEdit::Password) {
            EXPECT_FALSE(dialog.edtPass->displayText().contains("hunter2")) << "step " << i;
            EXPECT_FALSE(dialog.edtPass->displayText().contains("other")) << "step " << i;
        }
    }
    EXPECT_EQ(dialog.Fields().Password, "other");
}

TEST_F(HostListTest, AFileWithoutReadableHostsIsLeftAloneThenKeptAsideWhenHostsAreSaved)
{
    const QByteArray old = "[Host1]\nDescription=no host name\nPassword=keep-me\n[Host2]\nHostname=b\n";
    WriteHosts(old);
    Create();
    EXPECT_EQ(form->lvSites->topLevelItemCount(), 0);
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(dialogs->Shown.empty());
    EXPECT_EQ(ReadFile(hostsFile), old) << "untouched at exit";

    Create();
    WhenModal([&](QWidget*) {
        form->HostDlg->edtHost->setText("fresh");
        form->HostDlg->btnOk->click();
    });
    form->sbtnAdd->click();
    EXPECT_TRUE(form->close());
    const QString kept = hostsFile + ".bak";
    ASSERT_EQ(dialogs->Shown.size(), 1u);
    EXPECT_EQ(dialogs->Shown[0].Title, "Ferrit");
    EXPECT_TRUE(dialogs->Shown[0].Text.contains(kept)) << qPrintable(dialogs->Shown[0].Text);
    EXPECT_EQ(ReadFile(kept), old);
    EXPECT_TRUE(ReadFile(hostsFile).startsWith("[Host1]\nHostname=fresh\n"));
}

TEST_F(HostListTest, AHostsFileThatIsNoRegularFileIsToldAboutAndNeverReplaced)
{
    const QByteArray path = QFile::encodeName(hostsFile);
    const struct {
        const char* name;
        std::function<void()> make;
        QString problem;
    } cases[] = {
        {"a FIFO", [&] { ::mkfifo(path.constData(), 0600); }, "it is a named pipe, not a file"},
        {"a link to /dev/zero", [&] { QFile::link("/dev/zero", hostsFile); }, "it is a device, not a file"},
    };
    for (const auto& c : cases) {
        QFile::remove(hostsFile);
        c.make();
        struct stat before {};
        ASSERT_EQ(::lstat(path.constData(), &before), 0);
        {
            // Should start-up open the FIFO and wait for a writer, one comes after 3 s.
            std::atomic<bool> created{false};
            std::thread watchdog([&] {
                for (int i = 0; i < 300 && !created; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK); fd >= 0)
                    ::close(fd);
            });
            QElapsedTimer clock;
            clock.start();
            Create();
            created = true;
            watchdog.join();
            EXPECT_LT(clock.elapsed(), 2000) << c.name;
        }
        EXPECT_EQ(form->lvSites->topLevelItemCount(), 0) << c.name;
        EXPECT_TRUE(dialogs->Shown.empty()) << c.name << ": told once the window is up";
        form->show();
        QTRY_COMPARE(dialogs->Shown.size(), 1u);
        EXPECT_EQ(dialogs->Shown[0].Title, "Ferrit");
        EXPECT_EQ(dialogs->Shown[0].Text, "The hosts file " + hostsFile + " was not read: " + c.problem
                                              + ". The host list starts empty, and the file is left as it is.");
        dialogs->Answers = {true};
        EXPECT_TRUE(form->close()) << c.name;
        EXPECT_TRUE(dialogs->Shown.back().Text.contains("could not be saved")) << c.name;
        struct stat after {};
        ASSERT_EQ(::lstat(path.constData(), &after), 0) << c.name << ": deleted at exit";
        EXPECT_EQ(after.st_ino, before.st_ino) << c.name << ": replaced at exit";
        EXPECT_EQ(after.st_mode, before.st_mode) << c.name;
        form.reset();
    }
}

TEST_F(HostListTest, AnAddressInTheHostFieldFillsTheOtherFieldsOnOk)
{
    const struct {
        const char* typed;
        THostEntry expected;
    } cases[] = {
        {"ftp.example.com", {"ftp.example.com", "d", "anonymous", "pw", "/l/", "old", 21, false}},
        {"ftp.example.com:2121", {"ftp.example.com", "d", "anonymous", "pw", "/l/", "old", 2121, false}},
        {"[::1]:2121", {"::1", "d", "anonymous", "pw", "/l/", "old", 2121, false}},
        {"[::1]", {"::1", "d", "anonymous", "pw", "/l/", "old", 21, false}},
        {"::1", {"::1", "d", "anonymous", "pw", "/l/", "old", 21, false}},
        {"ftp://host", {"host", "d", "anonymous", "pw", "/l/", "old", 21, false}},
        {"ftp://joe:p%40ss@[2001:db8::1]:990/my%20files",
         {"2001:db8::1", "d", "joe", "p@ss", "/l/", "my files", 990, false}},
        {"ftp://joe@host/", {"host", "d", "joe", "pw", "/l/", "", 21, false}},
        {"ftps://host", {"host", "d", "anonymous", "pw", "/l/", "old", 990, false, "", TSecurity::ImplicitTls}},
        {"FTPS://joe@host:2990/pub", {"host", "d", "joe", "pw", "/l/", "pub", 2990, false, "", TSecurity::ImplicitTls}},
    };
    THostDlg dialog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        dialog.SetFields("", "d", "anonymous", "pw", "/l/", "old", 21, false);
        dialog.show();
        dialog.edtHost->setText(c.typed);
        dialog.btnOk->click();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.Fields(), c.expected);
        EXPECT_EQ(dialog.edtHost->text(), c.expected.Hostname) << "the host field keeps only the host";
    }
}

TEST_F(HostListTest, AHostFieldThatIsNoAddressIsRefusedWithItsReason)
{
    const struct {
        const char* typed;
        const char* says;
    } cases[] = {
        {"host:99999", "The port \"99999\" is not a number from 1 to 65535."},
        {"ftp://", "The host name is missing."},
        {"", "The host name is missing."},
        {"[::1]:", "The port after \":\" is missing."},
    };
    THostDlg dialog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        dialog.SetFields("", "d", "anonymous", "pw", "/l/", "old");
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        dialog.edtHost->setText(c.typed);
        QTest::keyClick(dialog.edtHost, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
        EXPECT_TRUE(dialog.lblHostError->isVisible());
        EXPECT_EQ(dialog.lblHostError->text().toStdString(), c.says);
        EXPECT_EQ(dialog.edtHost->text(), c.typed) << "nothing of the text is lost";
        EXPECT_EQ(dialog.Fields().Port, 21);
        EXPECT_TRUE(dialog.edtHost->hasFocus());

        // Typing hides the reason; a good address then closes the dialog.
        QTest::keyClicks(dialog.edtHost, "x");
        EXPECT_FALSE(dialog.lblHostError->isVisible());
        dialog.edtHost->setText("ftp.example.com:2121");
        dialog.btnOk->click();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
}

TEST_F(HostListTest, PortAndTransferModeAreEditedSavedAndShownAgain)
{
    WriteHosts("[Host1]\nHostname=alpha\nPort=2121\nTransferMode=active\n");
    Create();
    THostDlg* dialog = form->HostDlg;
    EXPECT_EQ(dialog->edtPort->minimum(), 1);
    EXPECT_EQ(dialog->edtPort->maximum(), 65535);
    EXPECT_EQ(dialog->edtPort->accessibleName(), "Port");
    EXPECT_EQ(dialog->cmbTransferMode->accessibleName(), "Transfer mode");
    EXPECT_FALSE(dialog->edtPort->toolTip().isEmpty());
    EXPECT_FALSE(dialog->cmbTransferMode->toolTip().isEmpty());

    // A new host starts at port 21, passive.
    WhenModal([&](QWidget*) {
        EXPECT_EQ(dialog->edtPort->value(), 21);
        EXPECT_EQ(dialog->cmbTransferMode->currentText(), "Passive");
        dialog->edtHost->setText("beta");
        dialog->btnOk->click();
    });
    form->sbtnAdd->click();

    form->lvSites->topLevelItem(0)->setSelected(true);
    WhenModal([&](QWidget*) {
        EXPECT_EQ(dialog->edtPort->value(), 2121);
        EXPECT_EQ(dialog->cmbTransferMode->currentText(), "Active");
        dialog->edtHost->setText("alpha:990");
        dialog->cmbTransferMode->setCurrentIndex(dialog->cmbTransferMode->findText("Passive"));
        dialog->btnOk->click();
    });
    form->sbtnEdit->click();
    EXPECT_EQ(form->lvSites->topLevelItem(0)->text(0), "alpha");
    EXPECT_TRUE(form->close());
    const QByteArray saved = ReadFile(hostsFile);
    EXPECT_TRUE(saved.contains("Hostname=alpha\nDescription=Vantle-FTP host\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("RemoteDir=\nPort=990\n[Host2]")) << saved.toStdString();
    EXPECT_TRUE(saved.endsWith("Hostname=beta\nDescription=No description :)\nUsername=anonymous\nPassword=" +
                               GetLocalIP().toUtf8() + "\nLocalDir=" + ProgramFolder().toUtf8() + "\nRemoteDir=\n"))
        << saved.toStdString();
}

TEST_F(HostListTest, TheEncodingIsChosenSavedAndShownAgain)
{
    WriteHosts("[Host1]\nHostname=alpha\nEncoding=Windows-1252\n");
    Create();
    THostDlg* dialog = form->HostDlg;
    EXPECT_EQ(dialog->cmbEncoding->accessibleName(), "Encoding");
    EXPECT_FALSE(dialog->cmbEncoding->toolTip().isEmpty());
    EXPECT_EQ(dialog->cmbEncoding->accessibleDescription(), dialog->cmbEncoding->toolTip());
    ASSERT_GE(dialog->cmbEncoding->count(), 4);
    EXPECT_EQ(dialog->cmbEncoding->itemText(0), "Automatic");
    EXPECT_EQ(dialog->cmbEncoding->itemText(1), "UTF-8");
    EXPECT_TRUE(dialog->cmbEncoding->itemText(2).startsWith("ISO-8859-1 (")) << dialog->cmbEncoding->itemText(2).toStdString();

    WhenModal([&](QWidget*) {
        EXPECT_EQ(dialog->cmbEncoding->currentText(), "Automatic") << "a new host starts automatic";
        dialog->edtHost->setText("beta");
        dialog->cmbEncoding->setCurrentIndex(dialog->cmbEncoding->findData(QStringLiteral("UTF-8")));
        dialog->btnOk->click();
    });
    form->sbtnAdd->click();

    form->lvSites->topLevelItem(0)->setSelected(true);
    WhenModal([&](QWidget*) {
        EXPECT_EQ(dialog->cmbEncoding->currentData().toString(), "Windows-1252");
        dialog->cmbEncoding->setCurrentIndex(dialog->cmbEncoding->findData(QStringLiteral("ISO-8859-2")));
        dialog->btnOk->click();
    });
    form->sbtnEdit->click();
    EXPECT_TRUE(form->close());
    const QByteArray saved = ReadFile(hostsFile);
    EXPECT_TRUE(saved.contains("Hostname=alpha\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("RemoteDir=\nEncoding=ISO-8859-2\n[Host2]")) << saved.toStdString();
    EXPECT_TRUE(saved.endsWith("RemoteDir=\nEncoding=UTF-8\n")) << saved.toStdString();
}

TEST_F(HostListTest, TabInTheDialogFollowsItsRows)
{
    THostDlg dialog;
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    const QWidget* expected[] = {dialog.edtHost,   dialog.edtPort,   dialog.edtDesc,          dialog.edtUser,
                                 dialog.edtPass,   dialog.btnCancel, dialog.btnOk,            dialog.edtLocal,
                                 dialog.edtRemote, dialog.cmbSecurity,     dialog.cmbTransferMode, dialog.cmbEncoding,
                                 dialog.chkTemporaryUploadNames, dialog.chkKeepTimes, dialog.edtHost};
    dialog.edtHost->setFocus();
    for (std::size_t i = 0; i + 1 < std::size(expected); ++i) {
        QWidget* focused = QApplication::focusWidget();
        // The spin box's focus is its own line edit.
        if (focused && focused->parentWidget() == dialog.edtPort)
            focused = dialog.edtPort;
        EXPECT_EQ(focused, expected[i]) << "step " << i << ": "
                                        << qPrintable(focused ? focused->objectName() : QString("nothing"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
}

namespace {
void ChooseSecurity(THostDlg& dialog, TSecurity security)
{
    const int index = dialog.cmbSecurity->findData(static_cast<int>(security));
    ASSERT_GE(index, 0);
    dialog.cmbSecurity->setCurrentIndex(index);
}
}

TEST_F(HostListTest, TheSecurityIsChosenSavedAndShownAgain)
{
    WriteHosts("[Host1]\nHostname=alpha\nSecurity=require-tls\n[Host2]\nHostname=beta\nPort=2121\n");
    Create();
    THostDlg* dialog = form->HostDlg;
    EXPECT_EQ(dialog->cmbSecurity->objectName(), "cmbSecurity");
    EXPECT_EQ(dialog->cmbSecurity->accessibleName(), "Security");
    EXPECT_FALSE(dialog->cmbSecurity->toolTip().isEmpty());
    EXPECT_EQ(dialog->cmbSecurity->count(), 4);

    form->lvSites->topLevelItem(0)->setSelected(true);
    WhenModal([&](QWidget*) {
        EXPECT_EQ(dialog->cmbSecurity->currentText(), "Require TLS");
        ChooseSecurity(*dialog, TSecurity::PlainFtp);
        dialog->btnOk->click();
    });
    form->sbtnEdit->click();
    // Another setting edited keeps the security the host has.
    form->lvSites->clearSelection();
    form->lvSites->topLevelItem(1)->setSelected(true);
    WhenModal([&](QWidget*) {
        EXPECT_EQ(dialog->cmbSecurity->currentText(), "TLS if available");
        ChooseSecurity(*dialog, TSecurity::ImplicitTls);
        dialog->btnOk->click();
    });
    form->sbtnEdit->click();
    WhenModal([&](QWidget*) {
        EXPECT_EQ(dialog->cmbSecurity->currentData().toInt(), static_cast<int>(TSecurity::ImplicitTls));
        dialog->edtDesc->setText("renamed");
        dialog->btnOk->click();
    });
    form->sbtnEdit->click();
    EXPECT_TRUE(form->close());
    const QByteArray saved = ReadFile(hostsFile);
    EXPECT_TRUE(saved.contains("RemoteDir=\nSecurity=plain\n[Host2]")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("Description=renamed\n")) << saved.toStdString();
    EXPECT_TRUE(saved.endsWith("RemoteDir=\nPort=2121\nSecurity=implicit-tls\n"))
        << "a port the user chose is not replaced: " << saved.toStdString();
}

TEST_F(HostListTest, ImplicitTlsProposesItsPortOnlyInPlaceOfTheDefaultAndBack)
{
    const struct {
        const char* name;
        TSecurity shown;   // what SetFields showed
        int port;          // with this port
        std::vector<std::variant<TSecurity, int>> steps; // a choice, or a port typed
        int expected;
    } cases[] = {
        {"21 becomes 990", TSecurity::TlsIfAvailable, 21, {TSecurity::ImplicitTls}, 990},
        {"and back", TSecurity::TlsIfAvailable, 21, {TSecurity::ImplicitTls, TSecurity::RequireTls}, 21},
        {"a stored implicit host going explicit", TSecurity::ImplicitTls, 990, {TSecurity::TlsIfAvailable}, 21},
        {"a port of the user's stays", TSecurity::TlsIfAvailable, 2121, {TSecurity::ImplicitTls, TSecurity::PlainFtp}, 2121},
        {"a port typed after the proposal stays", TSecurity::TlsIfAvailable, 21,
         {TSecurity::ImplicitTls, 9990, TSecurity::PlainFtp}, 9990},
        {"990 on an explicit host is the user's", TSecurity::RequireTls, 990, {TSecurity::PlainFtp}, 990},
        {"between explicit choices nothing moves", TSecurity::TlsIfAvailable, 21,
         {TSecurity::RequireTls, TSecurity::PlainFtp}, 21},
        {"a stored implicit host on 21 keeps it", TSecurity::ImplicitTls, 21, {}, 21},
    };
    THostDlg dialog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialog.SetFields("h", "d", "u", "p", "/l/", "r", c.port, true, {}, c.shown);
        ASSERT_EQ(dialog.edtPort->value(), c.port) << "the stored port is shown as it is";
        for (const auto& step : c.steps) {
            if (const auto* security = std::get_if<TSecurity>(&step))
                ChooseSecurity(dialog, *security);
            else
                dialog.edtPort->setValue(std::get<int>(step));
        }
        EXPECT_EQ(dialog.edtPort->value(), c.expected);
    }
}

TEST_F(HostListTest, EveryChangeIsOnDiskAtOnceNotOnlyAtClose)
{
    WriteHosts("[Host1]\nHostname=alpha\n[Host2]\nHostname=beta\n");
    Create();
    THostDlg* dialog = form->HostDlg;
    const auto select = [&](int row) {
        form->lvSites->clearSelection();
        form->lvSites->topLevelItem(row)->setSelected(true);
    };
    const struct {
        const char* step;
        std::function<void()> act;
        QByteArrayList inFile; // lines the file holds right after the step
        QByteArrayList notInFile;
    } steps[] = {
        {"add",
         [&] {
             WhenModal([&](QWidget*) {
                 EXPECT_TRUE(dialog->chkTemporaryUploadNames->isChecked());
                 EXPECT_TRUE(dialog->chkKeepTimes->isChecked());
                 dialog->edtHost->setText("gamma");
                 dialog->btnOk->click();
             });
             form->sbtnAdd->click();
         },
         {"Hostname=gamma"},
         {}},
        {"edit in the dialog",
         [&] {
             select(0);
             WhenModal([&](QWidget*) {
                 dialog->edtDesc->setText("edited");
                 dialog->chkTemporaryUploadNames->setChecked(false);
                 dialog->chkKeepTimes->setChecked(false);
                 dialog->btnOk->click();
             });
             form->sbtnEdit->click();
         },
         {"Description=edited", "UploadNames=final", "ModificationTimes=ignore"},
         {}},
        {"the edit's settings shown again",
         [&] {
             WhenModal([&](QWidget*) {
                 EXPECT_FALSE(dialog->chkTemporaryUploadNames->isChecked());
                 EXPECT_FALSE(dialog->chkKeepTimes->isChecked());
                 dialog->btnCancel->click();
             });
             form->sbtnEdit->click();
         },
         {"UploadNames=final"},
         {}},
        {"a name edited in place",
         [&] {
             QTreeWidgetItem* item = form->lvSites->topLevelItem(1);
             form->lvSites->setCurrentItem(item);
             form->lvSites->editItem(item, 0);
             auto* editor = form->lvSites->viewport()->findChild<QLineEdit*>();
             ASSERT_NE(editor, nullptr);
             editor->setText("beta-renamed");
             // Another row chosen ends the edit, as a click elsewhere does.
             form->lvSites->setCurrentItem(form->lvSites->topLevelItem(0));
             EXPECT_EQ(item->text(0), "beta-renamed");
         },
         {"Hostname=beta-renamed"},
         {"Hostname=beta\n"}},
        {"delete",
         [&] {
             select(0);
             form->sbtnDelete->click();
         },
         {},
         {"Hostname=alpha"}},
    };
    form->show();
    for (const auto& s : steps) {
        s.act();
        const QByteArray saved = ReadFile(hostsFile);
        for (const QByteArray& line : s.inFile)
            EXPECT_TRUE(saved.contains(line)) << s.step << ": " << saved.toStdString();
        for (const QByteArray& line : s.notInFile)
            EXPECT_FALSE(saved.contains(line)) << s.step << ": " << saved.toStdString();
    }
    EXPECT_TRUE(dialogs->Shown.empty());
}
