#include "ftp/DirectoryList.h"
#include "ftp/WireText.h"

#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const TTextList& list, std::ostream* os)
{
    *os << '{';
    for (const QString& s : list.toList())
        *os << " \"" << s.toStdString() << '"';
    *os << " }";
}

namespace {

TEST(TTextList, KeepsEveryTextAsGiven)
{
    // A name in the server's own bytes that are not UTF-8 is kept too.
    const QStringList texts = {"", "docs", QString::fromUtf8("Grüße ☃.txt"), QString::fromUtf8("a\0b", 3), "", "x y", "docs",
                               DecodeWire("caf\xe9")};
    TTextList list;
    EXPECT_TRUE(list.isEmpty());
    for (const QString& t : texts)
        list.append(t);
    ASSERT_EQ(list.size(), texts.size());
    for (qsizetype i = 0; i < texts.size(); ++i)
        EXPECT_EQ(list[i], texts[i]) << i;
    EXPECT_EQ(list, texts);
    EXPECT_FALSE(list == texts.mid(1));
    EXPECT_EQ(list.toList(), texts);
    EXPECT_EQ(list.indexOf("docs"), 1);
    EXPECT_EQ(list.indexOf(QString::fromUtf8("Grüße ☃.txt")), 2);
    EXPECT_EQ(list.indexOf("doc"), -1);
    EXPECT_TRUE(list.contains("x y"));
    EXPECT_EQ(list.join(", "), texts.join(", "));

    EXPECT_EQ(list.mid(2), texts.mid(2));
    EXPECT_EQ(list.mid(0), list);
    EXPECT_TRUE(list.mid(texts.size()).isEmpty());
    TTextList tail = list.mid(5);
    tail.append("more");
    EXPECT_EQ(tail, QStringList({"x y", "docs", DecodeWire("caf\xe9"), "more"}));
    EXPECT_EQ(list.size(), texts.size()) << "a tail is a copy";

    list.clear();
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(list, QStringList());
}

struct SystCase {
    const char* reply;
    int vendor;
};

TEST(VendorFromSystReply, FirstWordInFixedOrderDecides)
{
    const SystCase cases[] = {
        {"215 UNIX Type: L8\r\n", FTPVendorUnix},
        {"215 Windows_NT\r\n", FTPVendorOther},
        {"215 MVS is the operating system of this server\r\n", FTPVendorMVS}, // MVS before VM
        {"215 VMS\r\n", FTPVendorVMS},
        {"215 VM/ESA\r\n", FTPVendorVM},
        {"215 unix type\r\n", FTPVendorOther}, // case-sensitive
        {"215 NETWARE UNIX\r\n", FTPVendorUnix}, // UNIX is looked for first
        {"215 MACOS Peter's Server\r\n", FTPVendorMacOS},
        {"215 OS/400 is the remote operating system\r\n", FTPVendorOS400},
        {"215 DOS\r\n", FTPVendorDos},
        {"500 SYST not understood\r\n", FTPVendorOther},
        {"", FTPVendorOther},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VendorFromSystReply(QString::fromUtf8(c.reply)), c.vendor) << c.reply;
}

TEST(MakeDirectoryList, UnixParserForEveryTypeButUnknown)
{
    EXPECT_EQ(MakeDirectoryList(FTPVendorUnknown), nullptr);
    for (int vendor : {FTPVendorUnix, FTPVendorOther, FTPVendorNetware, 12345})
        EXPECT_NE(dynamic_cast<TFTPUnixList*>(MakeDirectoryList(vendor).get()), nullptr) << vendor;
    EXPECT_NE(dynamic_cast<TFTPMachineList*>(MakeMachineListParser().get()), nullptr);
}

struct SplitCase {
    const char* name;
    QString line;
    QStringList columns;
};

TEST(TFTPDirectoryList, ColumnSplit)
{
    const SplitCase cases[] = {
        {"plain", "a bb ccc", {"a", "bb", "ccc"}},
        {"run of spaces is one separator", "a   b", {"a", "b"}},
        {"leading space gives empty first column", " a b", {"", "a", "b"}},
        {"trailing spaces give empty last column", "a b  ", {"a", "b", ""}},
        {"empty line is one empty column", "", {""}},
        {"tab is an ordinary character", "a\tb c", {"a\tb", "c"}},
        {"utf-8 name", QString::fromUtf8("x Grüße.txt"), {"x", QString::fromUtf8("Grüße.txt")}},
    };
    TFTPDirectoryList list;
    for (const auto& c : cases) {
        list.ParseLine(c.line);
        QStringList got;
        for (int k = 1; k <= list.ColumnCount; ++k)
            got << list.Columns[k];
        EXPECT_EQ(got, c.columns) << c.name;
    }
}

TEST(TFTPDirectoryList, LongColumnsAndLinesAreBounded)
{
    TFTPDirectoryList list;
    list.ParseLine(QString(300, u'x') + " y");
    EXPECT_EQ(list.ColumnCount, 2);
    EXPECT_EQ(list.Columns[1], QString(255, u'x'));

    QStringList words;
    for (int i = 1; i <= 40; ++i)
        words << QString::number(i);
    list.ParseLine(words.join("  ") + "   ");
    EXPECT_EQ(list.ColumnCount, 25);
    EXPECT_EQ(list.Columns[24], "24");
    EXPECT_EQ(list.Columns[25], words.mid(24).join(' ')); // the tail is kept, trailing spaces are not

    list.ParseLine(QString(10000, u' ') + QString(10000, u'z'));
    EXPECT_EQ(list.ColumnCount, 2);
    EXPECT_EQ(list.Columns[2].size(), 255);
}

struct UnixCase {
    const char* name;
    QString line;
    QString rights, size, date, fileName; // empty rights: the line is skipped
};

TEST(TFTPUnixList, FilesEntriesByPositionFromTheEnd)
{
    const UnixCase cases[] = {
        {"with group", "drwxr-xr-x 2 owner group 512 Jan 1 12:00 docs", "drwxr-xr-x", "512", "Jan 1 12:00", "docs"},
        {"without group", "drwxr-xr-x 2 owner 512 Jan 1 12:00 docs", "drwxr-xr-x", "512", "Jan 1 12:00", "docs"},
        {"day before month, without group", "-rw-r--r-- 1 owner 1234 5 Feb 1999 name.txt", "-rw-r--r--", "1234", "5 Feb 1999", "name.txt"},
        {"day before month, with group", "-rw-r--r-- 1 owner group 1234 5 Feb 1999 name.txt", "-rw-r--r--", "1234", "5 Feb 1999", "name.txt"},
        {"double spaces", "drwxr-xr-x  2 owner  group   512 Jan  1 12:00 docs", "drwxr-xr-x", "512", "Jan 1 12:00", "docs"},
        {"name with a space", "-rw-r--r-- 1 owner group 100 Jan 1 12:00 my file.txt", "-rw-r--r--", "Jan", "1 12:00 my", "file.txt"},
        {"symbolic link", "lrwxrwxrwx 1 owner group 7 Jan 1 12:00 name -> target", "lrwxrwxrwx", "1", "12:00 name ->", "target"},
        {"large size, year", "-rw-r--r-- 1 ftp ftp 5368709120 Mar 14 2024 big.iso", "-rw-r--r--", "5368709120", "Mar 14 2024", "big.iso"},
        {"utf-8 name", QString::fromUtf8("-rw-r--r-- 1 o g 3 Jan 1 12:00 Ärger.txt"), "-rw-r--r--", "3", "Jan 1 12:00", QString::fromUtf8("Ärger.txt")},
        {"windows folder, 12 h", "12-10-26  04:10PM       <DIR>          Reports", "d", "", "12-10-26 04:10PM", "Reports"},
        {"windows file with spaces, 24 h", "12-10-2026  16:10            123456 my file.txt", "-", "123456", "12-10-2026 16:10", "my file.txt"},
        {"windows apart AM/PM", "12/10/26 04:10 PM 5368709120 big file.iso", "-", "5368709120", "12/10/26 04:10 PM", "big file.iso"},
        {"total line", "total 12", "", "", "", ""},
        {"seven columns", "a b c d e f g", "", "", "", ""},
        {"empty line", "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        TFTPUnixList list;
        list.ParseLine(c.line);
        if (c.rights.isEmpty()) {
            EXPECT_TRUE(list.Names.isEmpty()) << c.name;
            continue;
        }
        ASSERT_EQ(list.Names.size(), 1) << c.name;
        EXPECT_EQ(list.Rights[0], c.rights) << c.name;
        EXPECT_EQ(list.Sizes[0], c.size) << c.name;
        EXPECT_EQ(list.ModifiedDates[0], c.date) << c.name;
        EXPECT_EQ(list.Names[0], c.fileName) << c.name;
    }
}

struct MachineCase {
    const char* name;
    QString line;
    QString fileName, size, modify, rights; // empty file name: the line is skipped
};

TEST(MachineDirectoryList, FilesEachEntryByItsFacts)
{
    const MachineCase cases[] = {
        {"every common fact", "type=file;size=1234;modify=20261201093000;UNIX.mode=0644; report.txt",
         "report.txt", "1234", "20261201093000", "-rw-r--r--"},
        {"facts in another order and case", "Modify=20200314235900.25;UNIX.MODE=02755;Type=DIR; src",
         "src", "", "20200314235900.25", "drwxr-sr-x"},
        {"pyftpdlib's Python-style mode", "modify=20261210121719;perm=eldfmMTcp;size=4096;type=dir;unix.mode=0o755; sub",
         "sub", "4096", "20261210121719", "drwxr-xr-x"},
        {"unknown facts ignored", "unique=803U1A;x.odd=a b c;type=file;size=5; notes.txt", "notes.txt", "5", "", ""},
        {"missing facts", "type=file; bare", "bare", "", "", ""},
        {"no type is a file", "size=7; untyped", "untyped", "7", "", ""},
        {"name holding ; = and spaces", "type=file;size=1;  a;b=c d ", " a;b=c d ", "1", "", ""},
        {"5 GiB", "type=file;size=5368709120; big.iso", "big.iso", "5368709120", "", ""},
        {"link", "type=OS.unix=slink:/srv/t;UNIX.mode=0777; cur", "cur", "", "", "lrwxrwxrwx"},
        {"perm without mode", "type=file;perm=adfrw; p.txt", "p.txt", "", "", "adfrw"},
        {"mode wins over perm", "perm=r;UNIX.mode=0400;type=file; ro", "ro", "", "", "-r--------"},
        {"mode with file type bits", "type=file;UNIX.mode=100755; run.sh", "run.sh", "", "", "-rwxr-xr-x"},
        {"malformed values left out", "type=file;size=12a;modify=2026120109300;UNIX.mode=9; m", "m", "", "", ""},
        {"listed folder skipped", "type=cdir;UNIX.mode=0755; /home/ftp", "", "", "", ""},
        {"parent folder skipped", "type=pdir; ..", "", "", "", ""},
        {"empty name skipped", "type=file; ", "", "", "", ""},
        {"Unix line is not a machine line", "-rw-r--r-- 1 o g 1 Jan 1 12:00 a=b; c", "", "", "", ""},
        {"fact without =", "type=file;junk; x", "", "", "", ""},
        {"no space after the facts", "type=file;size=1;x", "", "", "", ""},
    };
    for (const auto& c : cases) {
        TFTPMachineList list;
        list.ParseLine(c.line);
        if (c.fileName.isEmpty()) {
            EXPECT_TRUE(list.Names.isEmpty()) << c.name;
            continue;
        }
        ASSERT_EQ(list.Names.size(), 1) << c.name;
        EXPECT_EQ(list.Names[0], c.fileName) << c.name;
        EXPECT_EQ(list.Sizes[0], c.size) << c.name;
        EXPECT_EQ(list.ModifiedDates[0], c.modify) << c.name;
        EXPECT_EQ(list.Rights[0], c.rights) << c.name;
    }
}

TEST(MachineDirectoryList, TimesAreUtcAndMalformedOnesRefused)
{
    EXPECT_EQ(MachineListTime(u"20261201093005"), QDateTime(QDate(2026, 12, 1), QTime(9, 30, 5), Qt::UTC));
    EXPECT_EQ(MachineListTime(u"20261201093005.5"), QDateTime(QDate(2026, 12, 1), QTime(9, 30, 5, 500), Qt::UTC));
    EXPECT_EQ(MachineListTime(u"20161231235960"), QDateTime(QDate(2016, 12, 31), QTime(23, 59, 59), Qt::UTC))
        << "a leap second";
    for (const char16_t* bad : {u"", u"2026120109300", u"20261301093005", u"20261232093005", u"20261201250000",
                                u"20261201093005.", u"20261201093005x", u"2026-12-01T09:30"})
        EXPECT_FALSE(MachineListTime(bad).isValid()) << QString::fromUtf16(bad).toStdString();
}

TEST(TFTPUnixList, ListsStayParallelAndClearKeepsColumns)
{
    TFTPUnixList list;
    list.ParseLine("total 2");
    list.ParseLine("-rw-r--r-- 1 o g 1 Jan 1 12:00 a");
    list.ParseLine("drwxr-xr-x 2 o g 4096 Feb 2 2020 b");
    EXPECT_EQ(list.Names, QStringList({"a", "b"}));
    EXPECT_EQ(list.Sizes, QStringList({"1", "4096"}));
    EXPECT_EQ(list.Rights.size(), 2);
    EXPECT_EQ(list.ModifiedDates.size(), 2);

    list.Clear();
    EXPECT_TRUE(list.Names.isEmpty() && list.Sizes.isEmpty() && list.Rights.isEmpty() && list.ModifiedDates.isEmpty());
    EXPECT_EQ(list.Columns[9], "b");
}

TEST(TFTPUnixList, RandomLinesNeverCrash)
{
    // Whitespace-heavy and overlong lines of random shape must only ever be
    // filed or skipped.
    TFTPUnixList list;
    quint32 seed = 12345;
    auto next = [&seed] { seed = seed * 1664525u + 1013904223u; return seed >> 16; };
    for (int i = 0; i < 2000; ++i) {
        QString line;
        const int len = int(next() % 400);
        for (int j = 0; j < len; ++j)
            line += (next() % 3 == 0) ? QChar(u' ') : QChar(char16_t(u'!' + next() % 90));
        list.ParseLine(line);
        ASSERT_LE(list.ColumnCount, TFTPDirectoryList::MaxColumns);
    }
    EXPECT_EQ(list.Names.size(), list.Rights.size());
}

TEST(MachineDirectoryList, RandomAndGarbledLinesNeverCrash)
{
    // Machine and Windows lines cut and sprinkled with the characters their
    // parsers split on; the lists must stay parallel.
    const QString samples[] = {QStringLiteral("type=file;size=12;modify=20261201093000.5;UNIX.mode=0644;perm=r; a;b=c"),
                               QStringLiteral("12-10-26  04:10PM       <DIR>          Reports"),
                               QStringLiteral("12-10-2026  16:10            123456 my file.txt")};
    const QString sprinkle = QStringLiteral(" ;=:-/,.<>0123456789APM");
    TFTPMachineList machine;
    TFTPUnixList unix;
    quint32 seed = 2026;
    auto next = [&seed](quint32 n) { seed = seed * 1664525u + 1013904223u; return (seed >> 8) % qMax(n, 1u); };
    for (int i = 0; i < 20000; ++i) {
        QString line = samples[next(3)];
        for (int edits = int(next(5)); edits >= 0; --edits) {
            const qsizetype at = next(quint32(line.size() + 1));
            if (next(2))
                line.remove(at, next(6));
            else
                line.insert(at, sprinkle[next(quint32(sprinkle.size()))]);
        }
        machine.ParseLine(line);
        unix.ParseLine(line);
        ParseWindowsListLine(line);
    }
    for (const TFTPDirectoryList* list : {static_cast<TFTPDirectoryList*>(&machine), static_cast<TFTPDirectoryList*>(&unix)}) {
        EXPECT_EQ(list->Names.size(), list->Rights.size());
        EXPECT_EQ(list->Names.size(), list->Sizes.size());
        EXPECT_EQ(list->Names.size(), list->ModifiedDates.size());
    }
}

} // namespace

// Only a Unix link's rights make " -> " the start of a target; a machine listing's
// perm letters, which may start with "l", leave the name whole.
TEST(UnixLinkName, CutsOnlyAUnixLink)
{
    const struct {
        const char* rights;
        const char* name;
        const char* expected;
    } cases[] = {
        {"lrwxrwxrwx", "link -> target.txt", "link"},
        {"lrwxrwxrwx+", "a b -> c -> d", "a b"},
        {"lrwxrwxrwx", "no arrow", "no arrow"},
        {"-rw-r--r--", "a -> b", "a -> b"},
        {"drwxr-xr-x", "a -> b", "a -> b"},
        {"lcdmpe", "a -> b", "a -> b"},
        {"lradfmwMTx", "a -> b", "a -> b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnixLinkName(c.rights, c.name), QString(c.expected)) << c.rights << " " << c.name;
}
