#include "app/RemoteListing.h"

#include "app/TransferNames.h"
#include "ftp/DirectoryList.h"
#include "ftp/WireText.h"
#include "net/Exception.h"

#include <QStringView>
#include <ctime>
#include <vector>

namespace {

// Leading spaces and tabs.
QStringView BlankTrim(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    return s.mid(i);
}

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

// The day of a date: one or two digits, unlike a year or a time.
bool IsDay(QStringView s)
{
    return AllDigits(s) && s.size() <= 2;
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsMonth(QStringView s)
{
    for (const char* month : kMonths)
        if (s.compare(QLatin1String(month), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// "12:00", "9:05" or a year.
bool IsTimeOrYear(QStringView s)
{
    if (AllDigits(s))
        return s.size() == 4;
    const qsizetype colon = s.indexOf(u':');
    return colon > 0 && colon <= 2 && AllDigits(s.first(colon)) && s.size() - colon == 3
           && AllDigits(s.sliced(colon + 1));
}

// "drwxr-xr-x", "-rw-r--r--+" (ACL), "crw-rw-rw-", "lrwxrwxrwx@".
bool IsRights(QStringView s)
{
    static const QStringView kTypes(u"-bcdDlps"), kModes(u"-rwxsStTlL");
    if (s.size() < 10 || s.size() > 11 || !kTypes.contains(s[0]))
        return false;
    for (qsizetype i = 1; i < 10; ++i)
        if (!kModes.contains(s[i]))
            return false;
    return s.size() == 10 || QStringView(u"+.@").contains(s[10]);
}

bool IsDotName(QStringView name)
{
    return name == u"." || name == u"..";
}

struct TWord {
    QStringView text;
    qsizetype end; // where the word ends in the line
};

// The words of a line up to the first `count`, split at spaces and tabs.
std::vector<TWord> LeadingWords(QStringView line, size_t count)
{
    std::vector<TWord> words;
    qsizetype i = 0;
    while (words.size() < count) {
        while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
            ++i;
        if (i == line.size())
            break;
        const qsizetype begin = i;
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t')
            ++i;
        words.push_back({line.sliced(begin, i - begin), i});
    }
    return words;
}

// The size before a date at words[at]: a number, or a device's "major, minor".
std::optional<QString> UnixSize(const std::vector<TWord>& words, size_t at, bool device)
{
    const QStringView last = words[at - 1].text;
    if (device) {
        const qsizetype comma = last.indexOf(u',');
        if (comma > 0 && AllDigits(last.first(comma)) && AllDigits(last.sliced(comma + 1)))
            return last.toString();
        if (at >= 3 && AllDigits(last) && words[at - 2].text.endsWith(u',') && AllDigits(words[at - 2].text.chopped(1)))
            return words[at - 2].text.toString() + u' ' + last.toString();
    }
    if (AllDigits(last))
        return last.toString();
    return std::nullopt;
}

enum class TRead { NotUnderstood, NoEntry, Entry };

// A Unix long listing line: rights, links, owner, group (often missing), size, a date
// of month, day and time-or-year (some servers put the day first), and the name. The
// date is looked for rather than counted, so a missing group column, a year in place
// of the time and a device's two numbers all find it; the name is the rest of the line.
TRead ReadUnixLine(const QString& line, TListingFields& f)
{
    // Rights, links, owner, group, size (or major and minor), then the date.
    const std::vector<TWord> words = LeadingWords(line, 12);
    if (words.empty() || !IsRights(words[0].text))
        return TRead::NotUnderstood;
    const bool device = words[0].text[0] == u'b' || words[0].text[0] == u'c';
    for (size_t at = 2; at + 2 < words.size(); ++at) {
        const QStringView a = words[at].text, b = words[at + 1].text, c = words[at + 2].text;
        if (!((IsMonth(a) && IsDay(b)) || (IsDay(a) && IsMonth(b))) || !IsTimeOrYear(c))
            continue;
        const std::optional<QString> size = UnixSize(words, at, device);
        if (!size)
            continue;
        const QStringView name = BlankTrim(QStringView(line).sliced(words[at + 2].end));
        if (name.isEmpty())
            return TRead::NotUnderstood;
        if (IsDotName(name))
            return TRead::NoEntry;
        f.Rights = words[0].text.toString();
        f.Name = name.toString();
        f.Size = *size;
        f.Modified = b.toString() + u' ' + a.toString() + u' ' + c.toString();
        f.Folder = f.Rights[0].toUpper() == u'D';
        return TRead::Entry;
    }
    return TRead::NotUnderstood;
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

// Day, month and time within the last six months (as "ls -l" shows it, with an hour's
// grace for clocks that differ), else day, month and year. Months in English, as the
// servers' Unix lines beside these have them.
QString ListingDate(const QDate& date, const QTime& time, qint64 age)
{
    constexpr qint64 kSixMonths = 183 * 24 * 3600;
    const bool recent = age < kSixMonths && age > -3600;
    return QString::number(date.day()) + u' ' + QLatin1String(kMonths[date.month() - 1]) + u' '
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
        read = ReadUnixLine(line, f);
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
    e.WireName = fields.Folder || fields.ExactName ? fields.Name : Trim(fields.Name).toString();
    e.Caption = DisplayText(e.WireName);
    if (fields.Folder) {
        e.TypeName = kFolderTypeName;
        e.ImageIndex = kFolderImage;
        return e;
    }
    e.Size = fields.Size;
    const TRemoteFileInfo info = GetInfo(fields.Name);
    e.TypeName = info.TypeName;
    e.ImageIndex = info.ImageIndex;
    e.Modified = fields.Modified;
    e.Rights = fields.Rights;
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
