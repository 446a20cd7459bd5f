// Unix rights read from listings and written as octal, and the permissions
// question keeping its boxes and its octal field in step.
#include "app/Permissions.h"
#include "app/PermissionsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(Permissions, ModesAreReadFromListingRights)
{
    const struct {
        const char* rights;
        std::optional<int> mode;
    } cases[] = {
        {"drwxr-xr-x", 0755},  {"-rw-r--r--", 0644},  {"-rw-r--r--+", 0644}, {"lrwxrwxrwx", 0777},
        {"----------", 0},     {"-rwsr-xr-x", 04755}, {"-rwSr--r--", 04644}, {"drwxr-sr-x", 02755},
        {"drwxrwxrwt", 01777}, {"drwxrwxrwT", 01776}, {"-rwx--x--x", 0711},  {"DRWXR-XR-X", std::nullopt},
        {"flcdmpe", std::nullopt}, {"", std::nullopt}, {"-rw-r--r", std::nullopt}, {"-rwxr-xr-q", std::nullopt},
        {"-rw-r--r--xy", std::nullopt}, {"xrw-r--r--", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ModeFromRights(c.rights), c.mode) << c.rights;
}

TEST(Permissions, OctalTextRoundTrips)
{
    const struct {
        const char* text;
        std::optional<int> mode;
        const char* written; // how the mode is written back
    } cases[] = {
        {"755", 0755, "755"}, {"0644", 0644, "644"}, {"000", 0, "000"}, {"4755", 04755, "4755"},
        {"7777", 07777, "7777"}, {"75", std::nullopt, ""}, {"75555", std::nullopt, ""}, {"758", std::nullopt, ""},
        {"-755", std::nullopt, ""}, {" 755", std::nullopt, ""}, {"rwx", std::nullopt, ""}, {"", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseOctalMode(c.text), c.mode) << c.text;
        if (c.mode) {
            EXPECT_EQ(OctalModeText(*c.mode), c.written) << c.text;
        }
    }
}

class PermissionsDialog : public ::testing::Test {
protected:
    // The nine boxes as "rwxr-xr-x".
    static QString Boxes(const TPermissionsDlg& dialog)
    {
        QString text;
        for (int who = 0; who < 3; ++who)
            for (int what = 0; what < 3; ++what)
                text += dialog.chkRights[who][what]->isChecked() ? QChar(u"rwx"[what]) : u'-';
        return text;
    }
    static void Type(TPermissionsDlg& dialog, const QString& text)
    {
        dialog.edtOctal->selectAll();
        QTest::keyClicks(dialog.edtOctal, text);
        if (text.isEmpty())
            QTest::keyClick(dialog.edtOctal, Qt::Key_Backspace);
    }
};

TEST_F(PermissionsDialog, StartsFromTheFirstEntrysRightsAndSaysWhenTheyDiffer)
{
    TPermissionsDlg one({.Names = {"a.txt"}, .Mode = 0640});
    EXPECT_EQ(one.edtOctal->text(), "640");
    EXPECT_EQ(Boxes(one), "rw-r-----");
    EXPECT_TRUE(one.lblNote->isHidden());
    EXPECT_TRUE(one.chkRecursive->isHidden()) << "files have nothing inside";

    TPermissionsDlg several({.Names = {"a", "b"}, .Mode = 0755, .Mixed = true, .HasFolder = true});
    EXPECT_FALSE(several.lblNote->isHidden());
    EXPECT_TRUE(several.lblNote->text().contains("different")) << several.lblNote->text().toStdString();
    EXPECT_FALSE(several.chkRecursive->isHidden());
    EXPECT_FALSE(several.cbxScope->isEnabled()) << "the kind of entry matters only when recursive";
    several.chkRecursive->setChecked(true);
    EXPECT_TRUE(several.cbxScope->isEnabled());
    several.cbxScope->setCurrentIndex(1);
    const std::optional<TPermissionsChoice> choice = several.Choice();
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->Mode, 0755);
    EXPECT_TRUE(choice->Recursive);
    EXPECT_EQ(choice->Scope, TPermissionsScope::FoldersOnly);

    TPermissionsDlg unknown({.Names = {"b"}});
    EXPECT_EQ(unknown.edtOctal->text(), "644");
    EXPECT_FALSE(unknown.lblNote->isHidden()) << "a default is not passed off as the entry's rights";
}

TEST_F(PermissionsDialog, TypedOctalSetsTheBoxesAndAWrongValueDisablesOK)
{
    const struct {
        const char* typed;
        const char* boxes; // after typing; an invalid value leaves them as they were
        bool valid;
    } cases[] = {
        {"755", "rwxr-xr-x", true},  {"0600", "rw-------", true}, {"4711", "rwx--x--x", true},
        {"000", "---------", true},  {"79", "---------", false},  {"12345", "-w--wxr--", true}, // max length 4
        {"", "-w--wxr--", false},    {"abc", "-w--wxr--", false}, {"777", "rwxrwxrwx", true},
    };
    TPermissionsDlg dialog({.Names = {"a"}, .Mode = 0644});
    for (const auto& c : cases) {
        Type(dialog, c.typed);
        EXPECT_EQ(Boxes(dialog), c.boxes) << c.typed;
        EXPECT_EQ(dialog.btnOK->isEnabled(), c.valid) << c.typed;
        EXPECT_EQ(dialog.Choice().has_value(), c.valid) << c.typed;
        EXPECT_EQ(dialog.edtOctal->property("invalid").toBool(), !c.valid) << c.typed;
    }
}

TEST_F(PermissionsDialog, BoxesSetTheOctalFieldAndKeepTheSpecialBits)
{
    TPermissionsDlg dialog({.Names = {"a"}, .Mode = 04755});
    EXPECT_EQ(dialog.edtOctal->text(), "4755");
    const struct {
        int who, what;
        const char* octal;
    } clicks[] = {{1, 0, "4715"}, {2, 2, "4714"}, {0, 1, "4514"}, {2, 1, "4516"}};
    for (const auto& c : clicks) {
        dialog.chkRights[c.who][c.what]->click();
        EXPECT_EQ(dialog.edtOctal->text(), c.octal);
    }
    Type(dialog, "79");
    ASSERT_FALSE(dialog.btnOK->isEnabled());
    dialog.chkRights[0][0]->click(); // a box makes the field whole again
    EXPECT_EQ(dialog.edtOctal->text(), "4116");
    EXPECT_TRUE(dialog.btnOK->isEnabled());
    EXPECT_EQ(dialog.Choice()->Mode, 04116);
}

} // namespace
