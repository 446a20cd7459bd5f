#include "app/RemoteListing.h"
#include "app/RemoteListModel.h"

#include <QPersistentModelIndex>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct LineCase {
    const char* what;
    const char* line;
    bool adds;
    const char* rights;
    const char* name;
    const char* size;
    const char* modified;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.what; }

class RemoteListingLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(RemoteListingLines, SplitsLikeTheServerMeantIt)
{
    const LineCase& c = GetParam();
    const auto fields = ParseListItem(QString::fromUtf8(c.line));
    ASSERT_EQ(fields.has_value(), c.adds);
    if (!c.adds)
        return;
    EXPECT_EQ(fields->Rights, QString::fromUtf8(c.rights));
    EXPECT_EQ(fields->Name, QString::fromUtf8(c.name));
    EXPECT_EQ(fields->Size, QString::fromUtf8(c.size));
    EXPECT_EQ(fields->Modified, QString::fromUtf8(c.modified));
}

INSTANTIATE_TEST_SUITE_P(Table, RemoteListingLines, ::testing::Values(
    LineCase{"nine-field folder: time still in the name hands over to the long parser",
             "drwxr-xr-x   2 user     group         512 Jan  1 12:00 pub",
             true, "drwxr-xr-x", "pub", "512", "1 Jan 12:00"},
    LineCase{"eight-field file without group column",
             "-rw-r--r--   1 user        1234 Jan  1  1999 readme.txt",
             true, "-rw-r--r--", "readme.txt", "1234", "1 Jan 1999"},
    LineCase{"nine-field file with a year instead of a time",
             "-rw-r--r--   1 user     group       1234 Jan  1  1999 readme.txt",
             true, "-rw-r--r--", "readme.txt", "1234", "1 Jan 1999"},
    LineCase{"numeric owner and group with a year (vsftpd style)",
             "-rw-r--r--    1 1000     1000         1234 Mar 05  2020 x.bin",
             true, "-rw-r--r--", "x.bin", "1234", "05 Mar 2020"},
    LineCase{"eight-field file, day before month, year",
             "-rw-r--r-- 1 owner 1234 5 Feb 1999 name.txt",
             true, "-rw-r--r--", "name.txt", "1234", "Feb 5 1999"},
    LineCase{"eight-field file, day before month, time",
             "-rw-r--r-- 1 owner 1234 5 Feb 12:00 name.txt",
             true, "-rw-r--r--", "name.txt", "1234", "Feb 5 12:00"},
    LineCase{"nine-field file, day before month, year",
             "-rw-r--r-- 1 owner group 1234 5 Feb 1999 name.txt",
             true, "-rw-r--r--", "name.txt", "1234", "Feb 5 1999"},
    LineCase{"nine-field file, day before month, time",
             "-rw-r--r-- 1 owner group 1234 5 Feb 12:00 name.txt",
             true, "-rw-r--r--", "name.txt", "1234", "Feb 5 12:00"},
    LineCase{"nine-field file, numeric group, day before month, year",
             "-rw-r--r-- 1 1000 1000 1234 05 Feb 1999 name.txt",
             true, "-rw-r--r--", "name.txt", "1234", "Feb 05 1999"},
    LineCase{"eight-field file, small size like a day, month first",
             "-rw-r--r-- 1 owner 5 Feb 12 2001 name.txt",
             true, "-rw-r--r--", "name.txt", "5", "12 Feb 2001"},
    LineCase{"owner 0 (root) is a real file and stays listed",
             "-rw-r--r--    1 0        0            42 Dec 10 01:08 rootfile.txt",
             true, "-rw-r--r--", "rootfile.txt", "42", "10 Dec 01:08"},
    LineCase{"symbolic link keeps its target in the name",
             "lrwxrwxrwx   1 user     group          7 Jan  1 12:00 link -> target.txt",
             true, "lrwxrwxrwx", "link -> target.txt", "7", "1 Jan 12:00"},
    LineCase{"name with inner spaces",
             "-rw-r--r--   1 user     group          7 Jan  1 12:00 my  notes.txt",
             true, "-rw-r--r--", "my  notes.txt", "7", "1 Jan 12:00"},
    LineCase{"non-ASCII name", "-rw-r--r--   1 user     group          7 Jan  1 12:00 Grüße ☃.txt",
             true, "-rw-r--r--", "Grüße ☃.txt", "7", "1 Jan 12:00"},
    LineCase{"name with a slash is listed (refused only when transferred)",
             "-rw-r--r--   1 user     group          7 Jan  1 12:00 ../../etc/passwd",
             true, "-rw-r--r--", "../../etc/passwd", "7", "1 Jan 12:00"},
    LineCase{"dot entry", "drwxr-xr-x   2 user     group         512 Jan  1 12:00 .", false, "", "", "", ""},
    LineCase{"dot-dot entry", "drwxr-xr-x   2 user     group         512 Jan  1 12:00 ..", false, "", "", "", ""},
    LineCase{"dot-dot without group column", "drwxr-xr-x   2 user          512 Jan  1  2001 ..", false, "", "", "", ""},
    LineCase{"total line", "total 1234", false, "", "", "", ""},
    LineCase{"exactly 30 characters is too short", "-rw-r--r-- 1 u 1 Jan 1 2001 ab", false, "", "", "", ""},
    LineCase{"31 characters is long enough", "-rw-r--r-- 1 u 1 Jan 1 2001 abc",
             true, "-rw-r--r--", "abc", "1", "1 Jan 2001"}));

TEST(RemoteListingLayout, FolderAndFileRows)
{
    QStringList asked;
    const auto info = [&](const QString& name) {
        asked << name;
        return TRemoteFileInfo{QStringLiteral("Text"), 7};
    };
    const TRemoteEntry folder = LayoutEntry({"drwxr-xr-x", "pub ", "512", "1 Jan 12:00"}, info);
    EXPECT_EQ(folder.Caption, "pub ");
    EXPECT_EQ(folder.TypeName, "File folder");
    EXPECT_EQ(folder.ImageIndex, 0);
    EXPECT_TRUE(folder.Size.isEmpty() && folder.Modified.isEmpty() && folder.Rights.isEmpty());
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_TRUE(asked.isEmpty());

    const TRemoteEntry file = LayoutEntry({"-rw-r--r--", "a.txt ", "3", "1 Jan 1999"}, info);
    EXPECT_EQ(file.Caption, "a.txt");
    EXPECT_EQ(file.Size, "3");
    EXPECT_EQ(file.TypeName, "Text");
    EXPECT_EQ(file.ImageIndex, 7);
    EXPECT_EQ(file.Modified, "1 Jan 1999");
    EXPECT_EQ(file.Rights, "-rw-r--r--");
    EXPECT_FALSE(file.IsFolder());
    EXPECT_EQ(asked, QStringList{"a.txt "});

    const TRemoteEntry up = UpEntry();
    EXPECT_EQ(up.Caption, "..");
    EXPECT_TRUE(up.IsFolder());
    EXPECT_EQ(up.ImageIndex, 0);
}

TEST(RemoteListingLayout, ExtensionAndDefaultTypeName)
{
    const struct { const char* name; const char* ext; const char* type; } cases[] = {
        {"readme.txt", "txt", "TXT file"}, {"README", "", "file"}, {"a.tar.gz", "gz", "GZ file"},
        {"dir.d/file", "", "file"}, {".bashrc", "bashrc", "BASHRC file"}, {"x:y.c", "c", "C file"}};
    for (const auto& c : cases) {
        EXPECT_EQ(RemoteFileExtension(c.name), c.ext) << c.name;
        EXPECT_EQ(DefaultTypeName(RemoteFileExtension(c.name)), c.type) << c.name;
    }
}

// Broken or hostile listings must never crash the parser nor make it slow.
TEST(RemoteListingLines, SurvivesHostileLines)
{
    const QString prefix = QStringLiteral("-rw-r--r--   1 user     group          7 Jan  1 12:00 ");
    const QString huge = prefix + QString(1 << 20, u'x');
    const auto big = ParseListItem(huge);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->Name.size(), 1 << 20);

    const QString odd[] = {QString(200, u' '), QString(200, u'\t'), QStringLiteral("d") + QString(40, u'\0'),
                           prefix + QStringLiteral("a\x01\x1b[31mb\x7f"), QStringLiteral("-rw-r--r--") + QString(25, u':'),
                           QString(31, u'd'), QStringLiteral("drwxr-xr-x 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 ..")};
    for (const QString& line : odd)
        ParseListItem(line);

    // Random whitespace between the fields of a good line keeps the name intact.
    const char* const parts[] = {"-rw-r--r--", "1", "user", "group", "7", "Jan", "1", "12:00", "name.txt"};
    for (int spaces = 1; spaces < 6; ++spaces) {
        QString line;
        for (const char* p : parts)
            line += QString::fromLatin1(p) + QString(spaces, u' ');
        const auto f = ParseListItem(line.trimmed());
        ASSERT_TRUE(f) << spaces;
        EXPECT_EQ(f->Name, "name.txt");
    }
}

TEST(RemoteListModel, StoresEveryFieldOfAnEntry)
{
    const TRemoteEntry entries[] = {
        {"a.txt", "12", "TXT file", "1 Jan 12:00", "-rw-r--r--", 5},
        {QString::fromUtf8("Grüße ☃"), "", "File folder", "", "", 0},
        {"", "0", "", "", "", -1},
        {"b.txt", "5368709120", "TXT file", "14 Mar 2024", "-rw-------", 5},
    };
    TRemoteEntries store;
    for (const TRemoteEntry& e : entries)
        store.Add(e);
    ASSERT_EQ(store.size(), std::size(entries));
    for (size_t i = 0; i < store.size(); ++i) {
        const TRemoteEntry got = store.At(i);
        EXPECT_EQ(got.Caption, entries[i].Caption) << i;
        EXPECT_EQ(got.Size, entries[i].Size) << i;
        EXPECT_EQ(got.TypeName, entries[i].TypeName) << i;
        EXPECT_EQ(got.Modified, entries[i].Modified) << i;
        EXPECT_EQ(got.Rights, entries[i].Rights) << i;
        EXPECT_EQ(got.ImageIndex, entries[i].ImageIndex) << i;
    }
}

QStringList Captions(const TRemoteListModel& model)
{
    QStringList captions;
    for (int row = 0; row < model.Count(); ++row)
        captions << model.Caption(row) + '/' + model.Entry(row).Size;
    return captions;
}

// The model forgets its sort keys once a listing has been quiet for a while; entries
// that come later must still land in their places, equal captions after the earlier
// ones, and a selected row must stay on its entry.
TEST(RemoteListModel, SortsEntriesThatComeAfterAPause)
{
    const QList<QPixmap> images;
    TRemoteListModel model(images);
    const auto add = [&model](const char* name, const char* size) {
        model.Add(TRemoteEntry{name, size, "file", "", "", 1});
    };
    add("delta", "1");
    add("alpha", "1");
    add("charlie", "1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Count() == 3; }, 5000));
    EXPECT_EQ(Captions(model), QStringList({"alpha/1", "charlie/1", "delta/1"}));
    const QPersistentModelIndex delta = model.index(2, 0);

    QTest::qWait(2500); // longer than the keys are kept
    add("echo", "2");
    add("alpha", "2");
    add("bravo", "2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Count() == 6; }, 5000));
    EXPECT_EQ(Captions(model), QStringList({"alpha/1", "alpha/2", "bravo/2", "charlie/1", "delta/1", "echo/2"}));
    EXPECT_EQ(delta.row(), 4);

    QTest::qWait(2500);
    add("aardvark", "3");
    model.Flush();
    EXPECT_EQ(Captions(model).first(), "aardvark/3");
    EXPECT_EQ(model.Count(), 7);
    EXPECT_EQ(delta.row(), 5);
}

} // namespace
