#include "app/RemoteListing.h"

#include "app/TransferNames.h"
#include "ftp/DirectoryList.h"
#include "ftp/WireText.h"
#include "net/Exception.h"

#include <QStringView>
#include <ctime>
#include <vector>

namespace {

// Leading and trailing characters up to and including the space.
QStringView Trim(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 32)
        ++b;
    while (e > b && s[e - 1].unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}

bool IsDotName(QStringView name)
{
    return name == u"." || name == u"..";
}

enum class TRead { NotUnderstood, NoEntry, Entry };

// The sortable time of a Unix listing's date ("1 Jan 12:00", "Jan 1 1999"). A date with
// a time has no year: it is the latest such day not more than a day ahead of `nowWall`
// (servers' clocks differ), as "ls -l" shows only the recent ones with a time.
qint64 UnixListingSecs(const QString& dateText, qint64 nowWall);

TRead ReadUnixLine(const QString& line, qint64 nowWall, TListingFields& f)
{
    const std::optional<TUnixListLine> entry = ParseUnixListLine(line);
    if (!entry)
        return TRead::NotUnderstood;
    if (IsDotName(entry->Name))
        return TRead::NoEntry;
    f.Rights = entry->Rights;
    f.Name = entry->Name;
    f.Size = entry->Size;
    f.Modified = entry->DateText;
    f.ModifiedSecs = UnixListingSecs(entry->DateText, nowWall);
    f.Folder = f.Rights[0].toUpper() == u'D';
    return TRead::Entry;
}

// The local clock's offset from UTC at a UTC instant. Asked of the C library: Qt's
// own conversion costs microseconds, too much for each line of a long listing.
qint64 LocalOffset(qint64 utcSecs)
{
    const time_t t = time_t(utcSecs);
    tm local{};
    localtime_r(&t, &local);
    return local.tm_gmtoff;
}

// A wall-clock time as seconds, for telling ages apart.
qint64 WallSecs(const QDate& date, const QTime& time)
{
    return QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
}

qint64 UnixListingSecs(const QString& dateText, qint64 nowWall)
{
    const QStringList words = dateText.split(u' ', Qt::SkipEmptyParts);
    if (words.size() != 3)
        return kUnknownTime;
    int month = ListMonthNumber(words[0]);
    int day = words[1].toInt();
    if (month == 0) {
        month = ListMonthNumber(words[1]);
        day = words[0].toInt();
    }
    const QString& last = words[2];
    if (!last.contains(u':')) {
        const QDate date(last.toInt(), month, day);
        return date.isValid() ? WallSecs(date, QTime(0, 0)) : kUnknownTime;
    }
    const QTime time = QTime::fromString(last, QStringLiteral("H:mm"));
    const int thisYear = QDateTime::fromSecsSinceEpoch(nowWall, Qt::UTC).date().year();
    constexpr qint64 kClockGrace = 24 * 3600;
    for (int year = thisYear; year >= thisYear - 8; --year)
        if (const QDate date(year, month, day); date.isValid() && time.isValid()
                                                 && WallSecs(date, time) <= nowWall + kClockGrace)
            return WallSecs(date, time);
    return kUnknownTime;
}

// Day, month and time within the last six months (as "ls -l" shows it, with an hour's
// grace for clocks that differ), else day, month and year. Months in English, as the
// servers' Unix lines beside these have them.
QString ListingDate(const QDate& date, const QTime& time, qint64 age)
{
    constexpr qint64 kSixMonths = 183 * 24 * 3600;
    const bool recent = age < kSixMonths && age > -3600;
    return QString::number(date.day()) + u' ' + ListMonthName(date.month()) + u' '
           + (recent ? time.toString(QStringLiteral("HH:mm")) : QString::number(date.year()));
}

TRead ReadMachineLine(const QString& line, const QDateTime& now, TListingFields& f)
{
    const std::optional<TMachineListLine> entry = ParseMachineListLine(line);
    if (!entry)
        return TRead::NotUnderstood;
    if (entry->Type == TListedType::ThisFolder || entry->Type == TListedType::ParentFolder
        || entry->Name.isEmpty() || IsDotName(entry->Name))
        return TRead::NoEntry;
    f.Rights = entry->Rights;
    f.Name = entry->Name;
    f.Size = entry->Size;
    if (const QDateTime modified = MachineListTime(entry->Modify); modified.isValid()) {
        const qint64 utc = modified.toSecsSinceEpoch();
        const QDateTime local = QDateTime::fromSecsSinceEpoch(utc + LocalOffset(utc), Qt::UTC);
        f.Modified = ListingDate(local.date(), local.time(), now.toSecsSinceEpoch() - utc);
        f.ModifiedSecs = local.toSecsSinceEpoch();
    }
    f.Folder = entry->Type == TListedType::Folder;
    f.ExactName = true;
    return TRead::Entry;
}

TRead ReadWindowsLine(const QString& line, const QDateTime& now, TListingFields& f)
{
    const std::optional<TWindowsListLine> entry = ParseWindowsListLine(line);
    if (!entry)
        return TRead::NotUnderstood;
    if (IsDotName(entry->Name))
        return TRead::NoEntry;
    f.Name = entry->Name;
    f.Size = entry->Size;
    // The server's own clock: shown as it stands, its age told by ours.
    const qint64 nowUtc = now.toSecsSinceEpoch();
    f.Modified = ListingDate(entry->Date, entry->Time, nowUtc + LocalOffset(nowUtc) - WallSecs(entry->Date, entry->Time));
    f.ModifiedSecs = WallSecs(entry->Date, entry->Time);
    f.Folder = entry->Folder;
    return TRead::Entry;
}

bool IsTotalLine(QStringView line)
{
    return line.startsWith(QLatin1String("total ")) && AllDigits(Trim(line.sliced(6)));
}

// The last resort: a line nothing understood names a file, so the user sees it
// rather than a gap; unless the name could not be transferred safely.
std::optional<TListingFields> WholeLineEntry(const QString& line)
{
    const QStringView name = Trim(line);
    if (name.isEmpty() || IsTotalLine(name))
        return std::nullopt;
    try {
        CheckEntryName(name.toString());
    } catch (const Exception&) {
        return std::nullopt;
    }
    TListingFields f;
    f.Name = line;
    return f;
}

} // namespace

bool TRemoteEntry::IsFolder() const
{
    return TypeName.toUpper() == kFolderTypeName.toUpper();
}

bool TRemoteEntry::IsWayUp() const
{
    return Caption == u"..";
}

QString TRemoteEntry::Name() const
{
    return UnixLinkName(Rights, Caption);
}

std::optional<TListingFields> ParseListItem(const QString& line)
{
    return ParseListItem(line, QDateTime::currentDateTimeUtc());
}

std::optional<TListingFields> ParseListItem(const QString& line, const QDateTime& now)
{
    TListingFields f;
    TRead read = ReadMachineLine(line, now, f);
    if (read == TRead::NotUnderstood)
        read = ReadWindowsLine(line, now, f);
    if (read == TRead::NotUnderstood) {
        if (line.size() <= kShortestListingLine)
            return std::nullopt;
        const qint64 nowUtc = now.toSecsSinceEpoch();
        read = ReadUnixLine(line, nowUtc + LocalOffset(nowUtc), f);
    }
    if (read == TRead::NotUnderstood)
        return WholeLineEntry(line);
    if (read == TRead::NoEntry)
        return std::nullopt;
    return f;
}

TRemoteEntry LayoutEntry(const TListingFields& fields,
                         const std::function<TRemoteFileInfo(const QString&)>& GetInfo)
{
    TRemoteEntry e;
    const QString shown = fields.Folder || fields.ExactName ? fields.Name : Trim(fields.Name).toString();
    e.Caption = DisplayText(shown);
    e.WireName = fields.ExactName ? shown : UnixLinkName(fields.Rights, shown);
    e.Modified = fields.Modified;
    e.ModifiedSecs = fields.ModifiedSecs;
    e.Rights = fields.Rights;
    if (fields.Folder) {
        e.TypeName = kFolderTypeName;
        e.ImageIndex = kFolderImage;
        return e;
    }
    e.Size = fields.Size;
    const TRemoteFileInfo info = GetInfo(fields.Name);
    e.TypeName = info.TypeName;
    e.ImageIndex = info.ImageIndex;
    return e;
}

TRemoteEntry UpEntry()
{
    TRemoteEntry e;
    e.Caption = QStringLiteral("..");
    e.TypeName = kFolderTypeName;
    e.ImageIndex = kFolderImage;
    return e;
}

QString RemoteFileExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || dot < name.lastIndexOf(u'/'))
        return QString();
    return name.mid(dot + 1);
}

QString DefaultTypeName(const QString& extension)
{
    return (extension.toUpper() + QStringLiteral(" file")).trimmed();
}
