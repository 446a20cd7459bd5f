#include "app/RemoteListing.h"
#include "app/RemoteListModel.h"

#include "app/TransferNames.h"
#include "net/Exception.h"

#include <QPersistentModelIndex>
#include <QStringList>
#include <QTest>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <random>

namespace {

struct LineCase {
    const char* what;
    const char* line;
    bool adds;
    const char* rights;
    const char* name;
    const char* size;
    const char* modified;
    bool folder = false;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.what; }

// The table's clock: 15 Dec 2026, noon UTC, in a zone two hours east of UTC, so a
// machine listing's UTC time that is shown unconverted is caught.
const QDateTime kNow(QDate(2026, 12, 15), QTime(12, 0), Qt::UTC);

class RemoteListingLines : public ::testing::TestWithParam<LineCase> {
protected:
    static void SetUpTestSuite()
    {
        if (const char* tz = std::getenv("TZ"))
            savedTz = tz;
        setenv("TZ", "XYZ-2", 1);
        tzset();
    }
    static void TearDownTestSuite()
    {
        if (savedTz.empty())
            unsetenv("TZ");
        else
            setenv("TZ", savedTz.c_str(), 1);
        tzset();
    }
    static inline std::string savedTz;
};

TEST_P(RemoteListingLines, SplitsLikeTheServerMeantIt)
{
    const LineCase& c = GetParam();
    const auto fields = ParseListItem(QString::fromUtf8(c.line), kNow);
    ASSERT_EQ(fields.has_value(), c.adds);
    if (!c.adds)
        return;
    EXPECT_EQ(fields->Rights, QString::fromUtf8(c.rights));
    EXPECT_EQ(fields->Name, QString::fromUtf8(c.name));
    EXPECT_EQ(fields->Size, QString::fromUtf8(c.size));
    EXPECT_EQ(fields->Modified, QString::fromUtf8(c.modified));
    EXPECT_EQ(fields->Folder, c.folder);
}

INSTANTIATE_TEST_SUITE_P(Table, RemoteListingLines, ::testing::Values(
    LineCase{"unix folder with group",
             "drwxr-xr-x   2 user     group         512 Jan  1 12:00 pub",
             true, "drwxr-xr-x", "pub", "512", "1 Jan 12:00", true},
    LineCase{"unix folder without group",
             "drwxr-xr-x   2 user          512 Jan  1 12:00 pub",
             true, "drwxr-xr-x", "pub", "512", "1 Jan 12:00", true},
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
    LineCase{"unix ACL plus after the rights",
             "drwxrwxr-x+  3 user     group        4096 Jan  1 12:00 shared",
             true, "drwxrwxr-x+", "shared", "4096", "1 Jan 12:00", true},
    LineCase{"unix character device: major, minor in place of the size",
             "crw-rw-rw-   1 root     root       1,   3 Jan  1 12:00 null",
             true, "crw-rw-rw-", "null", "1, 3", "1 Jan 12:00"},
    LineCase{"unix block device without group, year",
             "brw-rw----   1 root       8,   0 Mar  5  2024 sda",
             true, "brw-rw----", "sda", "8, 0", "5 Mar 2024"},
    LineCase{"unix device numbers without a space",
             "crw--w----   1 root     tty      4,64 Jan  1 12:00 ttyS0",
             true, "crw--w----", "ttyS0", "4,64", "1 Jan 12:00"},
    LineCase{"unix 5 GiB file",
             "-rw-r--r--   1 ftp      ftp      5368709120 Mar 14  2024 big.iso",
             true, "-rw-r--r--", "big.iso", "5368709120", "14 Mar 2024"},
    LineCase{"unix leading spaces of a name go, as the Unix rules blank-trim",
             "-rw-r--r--   1 user     group          7 Jan  1 12:00   lead.txt",
             true, "-rw-r--r--", "lead.txt", "7", "1 Jan 12:00"},
    LineCase{"unix date-like words in the name stay in the name",
             "-rw-r--r--   1 user     group          7 Jan  1 12:00 Jan 1 2001 notes",
             true, "-rw-r--r--", "Jan 1 2001 notes", "7", "1 Jan 12:00"},
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
             true, "-rw-r--r--", "abc", "1", "1 Jan 2001"},

    LineCase{"windows folder, 12 h time", "12-10-26  04:10PM       <DIR>          Reports",
             true, "", "Reports", "", "10 Dec 16:10", true},
    LineCase{"windows file with spaces in the name, 12 h time", "12-10-26  04:10PM            123456 my file.txt",
             true, "", "my file.txt", "123456", "10 Dec 16:10"},
    LineCase{"windows folder, 24 h time and 4-digit year", "12-10-2026  16:10       <DIR>          Reports 2026",
             true, "", "Reports 2026", "", "10 Dec 16:10", true},
    LineCase{"windows 12:30AM is half past midnight", "12-14-26  12:30AM                 5 a.txt",
             true, "", "a.txt", "5", "14 Dec 00:30"},
    LineCase{"windows 12:05PM is just past noon", "12-14-26  12:05PM                 5 b.txt",
             true, "", "b.txt", "5", "14 Dec 12:05"},
    LineCase{"windows old file shows its year, last century", "03-05-98  09:00AM              1024 old.log",
             true, "", "old.log", "1024", "5 Mar 1998"},
    LineCase{"windows day first when the first number cannot be a month", "25-11-2026  08:00  <DIR>  Archiv",
             true, "", "Archiv", "", "25 Nov 08:00", true},
    LineCase{"windows 5 GiB file with grouped digits", "12-10-26  04:10PM     5,368,709,120 big.iso",
             true, "", "big.iso", "5368709120", "10 Dec 16:10"},
    LineCase{"windows short line is still read", "01-02-26 01:00PM <DIR> x",
             true, "", "x", "", "2 Jan 2026", true},
    LineCase{"windows dot-dot folder", "12-10-26  04:10PM       <DIR>          ..", false, "", "", "", ""},

    LineCase{"mlsd file with every common fact", "type=file;size=1234;modify=20261201093000;UNIX.mode=0644; report.txt",
             true, "-rw-r--r--", "report.txt", "1234", "1 Dec 11:30"},
    LineCase{"mlsd facts in another order and case, UTC day before the local one",
             "Modify=20200314235900;UNIX.MODE=0755;Type=DIR; src",
             true, "drwxr-xr-x", "src", "", "15 Mar 2020", true},
    LineCase{"mlsd unknown facts are ignored",
             "unique=803U1A;type=file;UNIX.owner=ftp;x.custom=odd value;size=5; notes.txt",
             true, "", "notes.txt", "5", ""},
    LineCase{"mlsd only a type", "type=file; bare", true, "", "bare", "", ""},
    LineCase{"mlsd without a type is a file", "size=7; untyped", true, "", "untyped", "7", ""},
    LineCase{"mlsd name holding ; = and spaces", "type=file;size=1; a;b=c d.txt", true, "", "a;b=c d.txt", "1", ""},
    LineCase{"mlsd name keeps its leading and trailing spaces", "type=file;size=1;  two lead ",
             true, "", " two lead ", "1", ""},
    LineCase{"mlsd listed folder itself", "type=cdir;modify=20261201093000;UNIX.mode=0755; /home/ftp", false, "", "", "", ""},
    LineCase{"mlsd parent folder", "type=pdir;modify=20261201093000; ..", false, "", "", "", ""},
    LineCase{"mlsd folder named dot", "type=dir; .", false, "", "", "", ""},
    LineCase{"mlsd symbolic link", "type=OS.unix=slink:/srv/target;size=11;UNIX.mode=0777; current",
             true, "lrwxrwxrwx", "current", "11", ""},
    LineCase{"mlsd symbolic link, other spelling", "type=OS.unix=symlink;size=11; current", true, "", "current", "11", ""},
    LineCase{"mlsd 5 GiB file", "type=file;size=5368709120; big.iso", true, "", "big.iso", "5368709120", ""},
    LineCase{"mlsd perm letters when no mode is given", "type=file;perm=adfrw;size=3; p.txt", true, "adfrw", "p.txt", "3", ""},
    LineCase{"mlsd a file whose perm starts with d is no folder", "type=file;perm=dfrw; f.txt", true, "dfrw", "f.txt", "", ""},
    LineCase{"mlsd setuid, setgid and sticky bits", "type=file;UNIX.mode=7754; su", true, "-rwsr-sr-T", "su", "", ""},
    LineCase{"mlsd folder with sticky bit", "type=dir;UNIX.mode=1777; tmp", true, "drwxrwxrwt", "tmp", "", "", true},
    LineCase{"mlsd modify with milliseconds", "type=file;modify=20261201093000.123; y", true, "", "y", "", "1 Dec 11:30"},
    LineCase{"mlsd malformed modify and mode show nothing", "type=file;modify=2026-12-01;UNIX.mode=0999;size=x; z",
             true, "", "z", "", ""},

    LineCase{"garbled line shown whole", "this is not a listing line at all, sorry",
             true, "", "this is not a listing line at all, sorry", "", ""},
    LineCase{"unix-like line with impossible rights shown whole", "-rw-r--r-Q 1 user group 7 Jan 1 12:00 x.txt",
             true, "", "-rw-r--r-Q 1 user group 7 Jan 1 12:00 x.txt", "", ""},
    LineCase{"garbled line holding a slash is dropped", "Error: /home/ftp is not readable, sorry", false, "", "", "", ""},
    LineCase{"long total line", "total 123456789012345678901234567890", false, "", "", "", ""},
    LineCase{"blank line longer than the length rule", "                                        ", false, "", "", "", ""}));

TEST(RemoteListingLayout, FolderAndFileRows)
{
    QStringList asked;
    const auto info = [&](const QString& name) {
        asked << name;
        return TRemoteFileInfo{QStringLiteral("Text"), 7};
    };
    const TRemoteEntry folder = LayoutEntry({"drwxr-xr-x", "pub ", "512", "1 Jan 12:00", true}, info);
    EXPECT_EQ(folder.Caption, "pub ");
    EXPECT_EQ(folder.TypeName, "File folder");
    EXPECT_EQ(folder.ImageIndex, 0);
    // A folder's size says nothing about what it holds; its date and rights do.
    EXPECT_TRUE(folder.Size.isEmpty());
    EXPECT_EQ(folder.Modified, "1 Jan 12:00");
    EXPECT_EQ(folder.Rights, "drwxr-xr-x");
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

    // A machine listing's name is exact: trimming it would name another file.
    const TRemoteEntry exact = LayoutEntry({"-rw-r--r--", " a.txt ", "3", "", false, true}, info);
    EXPECT_EQ(exact.Caption, " a.txt ");

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

// Lines of every format, garbled at random: cut, spliced and sprinkled with the
// characters the parsers split on. Nothing may crash, every entry has a name, and a
// line shown whole never becomes a caption the transfer checks refuse.
TEST(RemoteListingLines, GarbledLinesOfEveryFormat)
{
    const QString samples[] = {
        QStringLiteral("drwxr-xr-x+  2 user     group         512 Jan  1 12:00 pub"),
        QStringLiteral("crw-rw-rw-   1 root     root       1,   3 Jan  1 12:00 null"),
        QStringLiteral("lrwxrwxrwx   1 user     group          7 Jan  1 12:00 link -> target.txt"),
        QStringLiteral("12-10-26  04:10PM       <DIR>          Reports"),
        QStringLiteral("12-10-2026  16:10            123456 my file.txt"),
        QStringLiteral("type=file;size=5368709120;modify=20261201093000.5;UNIX.mode=0644;perm=adfrw; a;b=c.txt"),
        QStringLiteral("type=OS.unix=slink:/x;UNIX.mode=0777; l"),
    };
    const QString sprinkle = QStringLiteral(" \t;=/:,.<>-+0123456789dlAMPM") + QChar(0) + QChar(0x2028) + QChar(0xFFFD);
    std::mt19937 random(20261215);
    const auto pick = [&random](qsizetype n) { return qsizetype(random() % quint32(qMax<qsizetype>(n, 1))); };
    const auto info = [](const QString&) { return TRemoteFileInfo{QStringLiteral("file"), 1}; };
    for (int round = 0; round < 20000; ++round) {
        QString line = samples[pick(std::size(samples))];
        for (int edits = int(pick(6)); edits >= 0; --edits) {
            const qsizetype at = pick(line.size() + 1);
            switch (pick(4)) {
            case 0: line.remove(at, pick(8)); break;
            case 1: line.insert(at, sprinkle[pick(sprinkle.size())]); break;
            case 2: line.insert(at, QString(int(pick(5)) + 1, u' ')); break;
            default: line = line.left(at) + samples[pick(std::size(samples))].mid(pick(40)); break;
            }
        }
        const auto fields = ParseListItem(line, kNow);
        if (!fields)
            continue;
        ASSERT_FALSE(fields->Name.isEmpty()) << line.toStdString();
        if (fields->Name == line && fields->Rights.isEmpty() && !fields->Folder) {
            EXPECT_NO_THROW(CheckEntryName(LayoutEntry(*fields, info).Caption)) << line.toStdString();
        }
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
