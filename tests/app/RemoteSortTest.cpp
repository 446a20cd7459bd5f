// The remote list in the order the user picks by its headers, and the dates and rights
// that order works on.
#include "RealFtpServer.h"
#include "RemoteFormFixture.h"

#include "app/RemoteListModel.h"
#include "app/RemoteListing.h"
#include "ftp/FTPClient.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QTest>
#include <QTreeView>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr int kName = TRemoteListModel::colFilename, kSize = TRemoteListModel::colSize,
              kType = TRemoteListModel::colType, kDate = TRemoteListModel::colModified,
              kRights = TRemoteListModel::colRights;
constexpr Qt::SortOrder kUp = Qt::AscendingOrder, kDown = Qt::DescendingOrder;

// A time zone for the length of a test: listings' dates depend on it.
class TimeZone {
public:
    explicit TimeZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ"))
            m_saved = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (m_saved.empty())
            unsetenv("TZ");
        else
            setenv("TZ", m_saved.c_str(), 1);
        tzset();
    }

private:
    std::string m_saved;
};

qint64 Wall(int y, int m, int d, int h = 0, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::UTC).toSecsSinceEpoch();
}

TEST(RemoteListingTimes, EachFormatGivesASortableTime)
{
    const TimeZone zone("XYZ-2"); // two hours east of UTC
    const QDateTime now(QDate(2026, 12, 15), QTime(12, 0), Qt::UTC); // 14:00 on the local clock
    const struct {
        const char* line;
        qint64 secs;
    } cases[] = {
        {"-rw-r--r--   1 user     group          7 Jan  1 12:00 this-year", Wall(2026, 1, 1, 12)},
        // Less than a day ahead of our clock: the server's clock is ahead, not last year.
        {"-rw-r--r--   1 user     group          7 Dec 16 09:00 clock-ahead", Wall(2026, 12, 16, 9)},
        {"-rw-r--r--   1 user     group          7 Dec 20 09:00 last-year", Wall(2025, 12, 20, 9)},
        {"-rw-r--r--   1 user     group          7 Feb 29 10:00 leap-day", Wall(2024, 2, 29, 10)},
        {"-rw-r--r--   1 user     group          7 Jan  1  1999 with-year", Wall(1999, 1, 1)},
        {"-rw-r--r-- 1 owner group 1234 5 Feb 12:00 day-first", Wall(2026, 2, 5, 12)},
        {"drwxr-xr-x   2 user     group        512 Mar  3  2021 folder", Wall(2021, 3, 3)},
        // A machine listing's UTC time, as the local clock shows it.
        {"type=file;size=1;modify=20261201093000; mlsd", Wall(2026, 12, 1, 11, 30)},
        {"12-10-26  04:10PM            123456 windows.txt", Wall(2026, 12, 10, 16, 10)},
        {"type=file;size=1; mlsd-without-date", kUnknownTime},
        {"this is not a listing line at all, sorry", kUnknownTime},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto fields = ParseListItem(QString::fromUtf8(c.line), now);
        ASSERT_TRUE(fields.has_value());
        EXPECT_EQ(fields->ModifiedSecs, c.secs);
        EXPECT_EQ(LayoutEntry(*fields, [](const QString&) { return TRemoteFileInfo{"file", 1}; }).ModifiedSecs,
                  c.secs);
    }
}

// Seen empty before: a folder row kept only its name and type.
TEST(RemoteListingTimes, FolderRowsShowDateAndRights)
{
    const TimeZone zone("UTC0");
    const QDateTime now(QDate(2026, 12, 15), QTime(12, 0), Qt::UTC);
    const auto info = [](const QString&) { return TRemoteFileInfo{"file", 1}; };
    const struct {
        const char* line;
        const char* modified;
        const char* rights;
    } cases[] = {
        {"drwxr-x---   2 user     group       4096 Mar  3  2021 pub", "3 Mar 2021", "drwxr-x---"},
        {"type=dir;modify=20261201093000;UNIX.mode=0750; src", "1 Dec 09:30", "drwxr-x---"},
        {"type=dir;modify=20261201093000;perm=flcdmpe; plain", "1 Dec 09:30", "flcdmpe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const TRemoteEntry row = LayoutEntry(*ParseListItem(QString::fromUtf8(c.line), now), info);
        EXPECT_TRUE(row.IsFolder());
        EXPECT_EQ(row.Modified, c.modified);
        EXPECT_EQ(row.Rights, c.rights);
        EXPECT_EQ(row.Size, "");
    }
}

TRemoteEntry File(const char* name, const char* size, const char* type, qint64 secs, const char* rights)
{
    TRemoteEntry e{name, size, type, QString::number(secs), rights, 1};
    e.ModifiedSecs = secs;
    return e;
}

TRemoteEntry Folder(const char* name, qint64 secs, const char* rights)
{
    TRemoteEntry e{name, "", kFolderTypeName, QString::number(secs), rights, 0};
    e.ModifiedSecs = secs;
    return e;
}

// The listing of the table, in the order a server might send it.
std::vector<TRemoteEntry> TableListing()
{
    return {
        UpEntry(),
        File("photo_10.jpg", "300", "JPG file", Wall(2026, 3, 1), "-rw-r--r--"),
        Folder("src", Wall(2026, 1, 1), "drwxr-xr-x"),
        File("photo_2.jpg", "5368709120", "JPG file", Wall(2024, 5, 1), "-rw-------"),
        File("Alpha.txt", "40", "TXT file", Wall(2026, 2, 1), "-rwxr-xr-x"),
        File("no-size", "", "BIN file", kUnknownTime, ""),
        Folder("docs", Wall(2025, 6, 1), "drwx------"),
        File("beta.txt", "40", "TXT file", Wall(2026, 2, 1), "-rw-r--r--"),
    };
}

QStringList Captions(const TRemoteListModel& model)
{
    QStringList captions;
    for (int row = 0; row < model.Count(); ++row)
        captions << model.Caption(row);
    return captions;
}

struct SortCase {
    int column;
    Qt::SortOrder order;
    QStringList captions;
};

// Sizes as numbers (5 GiB beyond 32 bits), dates as dates, ties by name (also when
// descending), names as people count; folders first and ".." on top whichever way.
const SortCase kSortCases[] = {
    {kName, kUp, {"..", "docs", "src", "Alpha.txt", "beta.txt", "no-size", "photo_2.jpg", "photo_10.jpg"}},
    {kName, kDown, {"..", "src", "docs", "photo_10.jpg", "photo_2.jpg", "no-size", "beta.txt", "Alpha.txt"}},
    {kSize, kUp, {"..", "docs", "src", "no-size", "Alpha.txt", "beta.txt", "photo_10.jpg", "photo_2.jpg"}},
    {kSize, kDown, {"..", "docs", "src", "photo_2.jpg", "photo_10.jpg", "Alpha.txt", "beta.txt", "no-size"}},
    {kType, kUp, {"..", "docs", "src", "no-size", "photo_2.jpg", "photo_10.jpg", "Alpha.txt", "beta.txt"}},
    {kType, kDown, {"..", "docs", "src", "Alpha.txt", "beta.txt", "photo_2.jpg", "photo_10.jpg", "no-size"}},
    {kDate, kUp, {"..", "docs", "src", "no-size", "photo_2.jpg", "Alpha.txt", "beta.txt", "photo_10.jpg"}},
    {kDate, kDown, {"..", "src", "docs", "photo_10.jpg", "Alpha.txt", "beta.txt", "photo_2.jpg", "no-size"}},
    {kRights, kUp, {"..", "docs", "src", "no-size", "photo_2.jpg", "beta.txt", "photo_10.jpg", "Alpha.txt"}},
    {kRights, kDown, {"..", "src", "docs", "Alpha.txt", "beta.txt", "photo_10.jpg", "photo_2.jpg", "no-size"}},
};

TEST(RemoteListSort, EachColumnBothWays)
{
    const QList<QPixmap> images;
    TRemoteListModel model(images);
    for (const TRemoteEntry& e : TableListing())
        model.Add(e);
    model.Flush();
    // Until a header is clicked: the plain collation, folders among the files.
    EXPECT_EQ(Captions(model), (QStringList{"..", "Alpha.txt", "beta.txt", "docs", "no-size", "photo_10.jpg",
                                            "photo_2.jpg", "src"}));
    for (const SortCase& c : kSortCases) {
        SCOPED_TRACE(::testing::Message() << "column " << c.column << (c.order == kUp ? " up" : " down"));
        model.sort(c.column, c.order);
        model.Flush();
        EXPECT_EQ(Captions(model), c.captions);
        EXPECT_EQ(model.SortColumn(), c.column);
        EXPECT_EQ(model.SortOrder(), c.order);
    }
}

// A new listing (a Refresh, another folder) comes in the order chosen before; a row's
// selection follows its entry when the order changes.
TEST(RemoteListSort, OrderSurvivesRefreshAndFollowsSelection)
{
    const QList<QPixmap> images;
    TRemoteListModel model(images);
    model.sort(kSize, kDown);
    for (int listing = 0; listing < 2; ++listing) {
        model.Clear();
        for (const TRemoteEntry& e : TableListing())
            model.Add(e);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.Count() == 8; }, 5000));
        EXPECT_EQ(Captions(model), kSortCases[3].captions) << listing;
    }
    const QPersistentModelIndex alpha = model.index(int(Captions(model).indexOf("Alpha.txt")), 0);
    model.sort(kDate, kUp);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Captions(model) == kSortCases[6].captions; }, 5000))
        << Captions(model).join(' ').toStdString();
    EXPECT_EQ(model.Caption(alpha.row()), "Alpha.txt");
}

// Entries that come in batches while the list is sorted by size land in their places
// among the earlier ones, also after the keys were let go in a pause, and a change of
// column while the listing is still arriving is not lost.
TEST(RemoteListSort, BatchesSortedByANonNameColumn)
{
    const QList<QPixmap> images;
    TRemoteListModel model(images);
    model.sort(kSize, kUp);
    model.Add(UpEntry());
    const auto addBatch = [&model](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            // Sizes in a scrambled order, and names that would sort otherwise.
            const qint64 size = qint64(i * 7919 % 1000) * 10'000'000LL;
            model.Add(File(qPrintable(QString("f%1").arg(999 - i)), qPrintable(QString::number(size)), "file",
                           Wall(2020, 1, 1) + i, "-rw-r--r--"));
        }
        if (first == 0)
            model.Add(Folder("zz-folder", 0, "drwxr-xr-x"));
    };
    const auto sizesAscend = [&model] {
        for (int row = 3; row < model.Count(); ++row)
            if (model.Entry(row - 1).Size.toLongLong() > model.Entry(row).Size.toLongLong())
                return false;
        return model.Caption(0) == ".." && model.Caption(1) == "zz-folder";
    };
    addBatch(0, 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Count() == 302; }, 5000));
    addBatch(300, 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Count() == 602; }, 5000));
    EXPECT_TRUE(sizesAscend());
    QTest::qWait(2500); // longer than the sort keys are kept
    addBatch(600, 400);
    model.sort(kSize, kDown);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Count() == 1002; }, 5000));
    model.Flush();
    EXPECT_EQ(model.Caption(0), "..");
    EXPECT_EQ(model.Caption(1), "zz-folder");
    for (int row = 3; row < model.Count(); ++row)
        ASSERT_GE(model.Entry(row - 1).Size.toLongLong(), model.Entry(row).Size.toLongLong()) << row;
}

// A user's click on a header of the list on a real server: the rows by size, then the
// other way on a second click, and the same order after Refresh.
class RemoteSortRealServer : public RemoteFormTest {
protected:
    void SetUp() override
    {
        server = std::make_unique<RealFtpServer>(RealFtpServer::Pyftpdlib);
        if (!server->IsRunning())
            GTEST_SKIP() << server->ErrorText().toStdString();
        const QDir dir(server->LocalDir());
        dir.mkpath("a-folder");
        for (const auto& [name, size] : {std::pair{"medium 2.txt", 2000}, {"small_10.txt", 10}, {"big.bin", 70000},
                                          {"empty", 0}, {"Medium 1.txt", 2000}}) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(size, 'x'));
        }
    }
    void ClickHeader(int column)
    {
        QHeaderView* header = form->lvRemoteFiles->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    }
    std::unique_ptr<RealFtpServer> server;
};

TEST_F(RemoteSortRealServer, HeaderClickSortsBySize)
{
    const QString folder = server->RemoteDir() == "/" ? QString() : server->RemoteDir().mid(1);
    THostEntry host = Host(server->User(), server->Password(), folder);
    host.Passive = true;
    MakeForm({host}, server->Port());
    form->show();
    Connect();
    ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString();
    // The listing made at connect has no ".." row; a Refresh's has.
    const QStringList bySize{"a-folder", "empty", "small_10.txt", "Medium 1.txt", "medium 2.txt", "big.bin"};
    ClickHeader(kSize);
    ASSERT_TRUE(QTest::qWaitFor([&] { return RemoteCaptions() == bySize; }, 5000))
        << RemoteCaptions().join('|').toStdString();
    EXPECT_EQ(form->lvRemoteFiles->header()->sortIndicatorSection(), kSize);
    EXPECT_EQ(form->lvRemoteFiles->header()->sortIndicatorOrder(), kUp);

    ClickHeader(kSize);
    const QStringList bySizeDown{"a-folder", "big.bin", "Medium 1.txt", "medium 2.txt", "small_10.txt", "empty"};
    ASSERT_TRUE(QTest::qWaitFor([&] { return RemoteCaptions() == bySizeDown; }, 5000))
        << RemoteCaptions().join('|').toStdString();
    Click(form->sbtnRefresh);
    EXPECT_EQ(RemoteCaptions(), QStringList{".."} + bySizeDown);
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

} // namespace
