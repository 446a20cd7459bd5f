#include "ftp/DirectoryList.h"
#include "ftp/WireText.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Reads a line word by word, remembering where the rest begins.
class TWords {
public:
    explicit TWords(QStringView line) : m_line(line) {}

    QStringView Next()
    {
        SkipBlanks();
        const qsizetype begin = m_pos;
        while (m_pos < m_line.size() && !IsBlank(m_line[m_pos]))
            ++m_pos;
        return m_line.sliced(begin, m_pos - begin);
    }
    QStringView Peek() const { return TWords(*this).Next(); }
    QStringView Rest()
    {
        SkipBlanks();
        return m_line.sliced(m_pos);
    }

private:
    void SkipBlanks()
    {
        while (m_pos < m_line.size() && IsBlank(m_line[m_pos]))
            ++m_pos;
    }

    QStringView m_line;
    qsizetype m_pos = 0;
};

// Fact names are letters, digits, ".", "-" and "_" ("UNIX.mode"); a Unix or
// Windows line has a space or some other character before its first "=".
bool IsFactName(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'_')
            return false;
    return true;
}

bool Is(QStringView s, const char* word)
{
    return s.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

TListedType MachineType(QStringView value)
{
    if (Is(value, "file"))
        return TListedType::File;
    if (Is(value, "dir"))
        return TListedType::Folder;
    if (Is(value, "cdir"))
        return TListedType::ThisFolder;
    if (Is(value, "pdir"))
        return TListedType::ParentFolder;
    if (value.startsWith(QLatin1String("OS.unix=slink"), Qt::CaseInsensitive)
        || value.startsWith(QLatin1String("OS.unix=symlink"), Qt::CaseInsensitive))
        return TListedType::Link;
    return TListedType::File; // devices, pipes and types we do not know are listed as files
}

QChar TypeLetter(TListedType type)
{
    switch (type) {
    case TListedType::Folder:
    case TListedType::ThisFolder:
    case TListedType::ParentFolder: return u'd';
    case TListedType::Link: return u'l';
    case TListedType::File: break;
    }
    return u'-';
}

// An octal mode of at most seven digits ("0755", "100644"); -1 otherwise.
int OctalMode(QStringView s)
{
    // pyftpdlib writes the mode as Python does: "0o755".
    if (s.startsWith(QLatin1String("0o")))
        s = s.sliced(2);
    if (s.isEmpty() || s.size() > 7)
        return -1;
    int mode = 0;
    for (QChar c : s) {
        if (c < u'0' || c > u'7')
            return -1;
        mode = mode * 8 + (c.unicode() - u'0');
    }
    return mode;
}

// Two-digit years as Windows servers send them: 70 to 99 are 19xx.
int FullYear(int year, qsizetype digits)
{
    if (digits > 2)
        return year;
    return year < 70 ? 2000 + year : 1900 + year;
}

// "12-10-26", "12/10/2026", "2026-12-10"; a first number over 12 is a day.
QDate WindowsDate(QStringView s)
{
    const QChar sep = s.contains(u'/') ? u'/' : u'-';
    const QList<QStringView> parts = s.split(sep);
    if (parts.size() != 3)
        return {};
    for (QStringView p : parts)
        if (!AllDigits(p) || p.size() > 4)
            return {};
    const int a = parts[0].toInt(), b = parts[1].toInt(), c = parts[2].toInt();
    if (parts[0].size() == 4)
        return QDate(a, b, c);
    if (parts[2].size() != 2 && parts[2].size() != 4)
        return {};
    const int year = FullYear(c, parts[2].size());
    return a > 12 ? QDate(year, b, a) : QDate(year, a, b);
}

// "04:10PM", "16:10", "4:10:33"; meridiem is the "AM"/"PM" that may follow apart.
QTime WindowsTime(QStringView s, QStringView meridiem)
{
    if (s.endsWith(QLatin1String("AM"), Qt::CaseInsensitive) || s.endsWith(QLatin1String("PM"), Qt::CaseInsensitive)) {
        meridiem = s.right(2);
        s.chop(2);
    }
    const QList<QStringView> parts = s.split(u':');
    if (parts.size() < 2 || parts.size() > 3)
        return {};
    for (QStringView p : parts)
        if (!AllDigits(p) || p.size() > 2)
            return {};
    int hour = parts[0].toInt();
    if (!meridiem.isEmpty()) {
        if (hour < 1 || hour > 12)
            return {};
        hour = hour % 12 + (Is(meridiem, "PM") ? 12 : 0);
    }
    return QTime(hour, parts[1].toInt(), parts.size() == 3 ? parts[2].toInt() : 0);
}

bool IsMeridiem(QStringView s)
{
    return Is(s, "AM") || Is(s, "PM");
}

} // namespace

int VendorFromSystReply(const QString& reply)
{
    static const std::pair<const char*, int> words[] = {
        {"UNIX", FTPVendorUnix}, {"NETWARE", FTPVendorNetware}, {"DOS", FTPVendorDos},
        {"VMS", FTPVendorVMS},   {"MVS", FTPVendorMVS},         {"VM", FTPVendorVM},
        {"MACOS", FTPVendorMacOS}, {"OS/400", FTPVendorOS400},
    };
    for (const auto& [word, vendor] : words)
        if (reply.contains(QLatin1String(word), Qt::CaseSensitive))
            return vendor;
    return FTPVendorOther;
}

QByteArrayView TTextList::Bytes(qsizetype i) const
{
    const qsizetype begin = i == 0 ? 0 : m_ends[size_t(i - 1)];
    return QByteArrayView(m_text).sliced(begin, m_ends[size_t(i)] - begin);
}

QString TTextList::at(qsizetype i) const { return DecodeWire(Bytes(i)); }

qsizetype TTextList::indexOf(const QString& text) const
{
    const QByteArray wanted = EncodeWire(text);
    for (qsizetype i = 0; i < size(); ++i)
        if (Bytes(i) == wanted)
            return i;
    return -1;
}

QString TTextList::join(const QString& separator) const
{
    return toList().join(separator);
}

QStringList TTextList::toList() const
{
    QStringList list;
    list.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        list << at(i);
    return list;
}

TTextList TTextList::mid(qsizetype first) const
{
    TTextList tail;
    first = qBound<qsizetype>(0, first, size());
    if (first == size())
        return tail;
    const qsizetype begin = first == 0 ? 0 : m_ends[size_t(first - 1)];
    tail.m_text = m_text.sliced(begin);
    tail.m_ends.reserve(m_ends.size() - size_t(first));
    for (size_t i = size_t(first); i < m_ends.size(); ++i)
        tail.m_ends.push_back(m_ends[i] - begin);
    return tail;
}

void TTextList::append(const QString& text)
{
    m_text += EncodeWire(text); // the server's own bytes, also where they are not UTF-8
    m_ends.push_back(m_text.size());
}

void TTextList::clear()
{
    m_text = QByteArray();
    m_ends = std::vector<qsizetype>();
}

bool operator==(const TTextList& a, const QStringList& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a.at(i) != b[i])
            return false;
    return true;
}

bool operator==(const TTextList& a, const TTextList& b)
{
    return a.m_ends == b.m_ends && a.m_text == b.m_text;
}

void TFTPDirectoryList::ParseLine(const QString& Line)
{
    int k = 1;
    Columns[1].clear();
    const qsizetype n = Line.size();
    for (qsizetype i = 0; i < n;) {
        if (Line[i] != u' ') {
            if (Columns[k].size() < MaxColumnLength)
                Columns[k].append(Line[i]);
            ++i;
            continue;
        }
        while (i < n && Line[i] == u' ')
            ++i;
        if (k < MaxColumns) {
            ++k;
            Columns[k].clear();
        } else if (i < n && Columns[k].size() < MaxColumnLength) {
            Columns[k].append(u' ');
        }
    }
    ColumnCount = k;
}

void TFTPDirectoryList::Clear()
{
    Rights.clear();
    Names.clear();
    ModifiedDates.clear();
    Sizes.clear();
}

void TFTPUnixList::ParseLine(const QString& Line)
{
    TFTPDirectoryList::ParseLine(Line);
    if (const auto windows = ParseWindowsListLine(Line)) {
        Names.append(windows->Name);
        Sizes.append(windows->Size);
        ModifiedDates.append(windows->DateText.left(MaxColumnLength));
        Rights.append(windows->Folder ? QStringLiteral("d") : QStringLiteral("-"));
        return;
    }
    const int n = ColumnCount;
    if (n <= 7)
        return;
    Names.append(Columns[n]);
    Sizes.append(Columns[n - 4]);
    ModifiedDates.append((Columns[n - 3] + u' ' + Columns[n - 2] + u' ' + Columns[n - 1]).left(MaxColumnLength));
    Rights.append(Columns[1]);
}

void TFTPMachineList::ParseLine(const QString& Line)
{
    TFTPDirectoryList::ParseLine(Line);
    const auto entry = ParseMachineListLine(Line);
    if (!entry || entry->Name.isEmpty() || entry->Type == TListedType::ThisFolder
        || entry->Type == TListedType::ParentFolder)
        return;
    Names.append(entry->Name);
    Sizes.append(entry->Size);
    ModifiedDates.append(entry->Modify);
    Rights.append(entry->Rights);
}

std::unique_ptr<TFTPDirectoryList> MakeDirectoryList(int vendor)
{
    if (vendor == FTPVendorUnknown)
        return nullptr;
    return std::make_unique<TFTPUnixList>();
}

std::unique_ptr<TFTPDirectoryList> MakeMachineListParser()
{
    return std::make_unique<TFTPMachineList>();
}

std::optional<TMachineListLine> ParseMachineListLine(QStringView line)
{
    // The facts end at the first "; ": fact values hold no ";", the name may.
    const qsizetype end = line.indexOf(QLatin1String("; "));
    if (end <= 0)
        return std::nullopt;
    TMachineListLine entry;
    QStringView perm;
    int mode = -1;
    for (QStringView fact : line.first(end).tokenize(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = fact.indexOf(u'=');
        if (eq < 0 || !IsFactName(fact.first(eq)))
            return std::nullopt;
        const QStringView name = fact.first(eq), value = fact.sliced(eq + 1);
        if (Is(name, "type"))
            entry.Type = MachineType(value);
        else if (Is(name, "size") && AllDigits(value))
            entry.Size = value.toString();
        else if (Is(name, "modify") && MachineListTime(value).isValid())
            entry.Modify = value.toString();
        else if (Is(name, "UNIX.mode"))
            mode = OctalMode(value);
        else if (Is(name, "perm"))
            perm = value;
    }
    entry.Name = line.sliced(end + 2).toString();
    entry.Rights = mode >= 0 ? UnixRightsText(TypeLetter(entry.Type), uint(mode)) : perm.toString();
    return entry;
}

QDateTime MachineListTime(QStringView modify)
{
    const QStringView whole = modify.left(14);
    if (whole.size() != 14 || !AllDigits(whole))
        return {};
    int ms = 0;
    if (modify.size() > 14) {
        const QStringView fraction = modify.sliced(15);
        if (modify[14] != u'.' || !AllDigits(fraction))
            return {};
        ms = (fraction.left(3).toString() + QStringLiteral("00")).left(3).toInt();
    }
    const auto number = [&](qsizetype at, qsizetype length) { return whole.sliced(at, length).toInt(); };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    // A leap second is shown as the second before it.
    const QTime time(number(8, 2), number(10, 2), qMin(number(12, 2), 59), ms);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QString UnixRightsText(QChar typeLetter, uint mode)
{
    QString text(10, u'-');
    text[0] = typeLetter;
    static const char16_t letters[] = u"rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (mode & (0400u >> i))
            text[i + 1] = letters[i];
    // setuid, setgid and sticky take the place of an execute letter, upper case
    // when that execute bit is off.
    const struct { uint bit; int at; QChar on, off; } special[] = {
        {04000, 3, u's', u'S'}, {02000, 6, u's', u'S'}, {01000, 9, u't', u'T'}};
    for (const auto& s : special)
        if (mode & s.bit)
            text[s.at] = text[s.at] == u'-' ? s.off : s.on;
    return text;
}

std::optional<TWindowsListLine> ParseWindowsListLine(QStringView line)
{
    if (line.isEmpty() || !line[0].isDigit())
        return std::nullopt;
    TWords words(line);
    const QStringView dateText = words.Next();
    TWindowsListLine entry;
    entry.Date = WindowsDate(dateText);
    if (!entry.Date.isValid())
        return std::nullopt;
    QStringView timeText = words.Next(), meridiem;
    if (IsMeridiem(words.Peek()))
        meridiem = words.Next();
    entry.Time = WindowsTime(timeText, meridiem);
    if (!entry.Time.isValid())
        return std::nullopt;
    const QStringView kind = words.Next();
    if (Is(kind, "<DIR>")) {
        entry.Folder = true;
    } else {
        QString size = kind.toString();
        size.remove(u','); // "1,234" as some servers group digits
        if (!AllDigits(size))
            return std::nullopt;
        entry.Size = size;
    }
    entry.Name = words.Rest().toString();
    if (entry.Name.isEmpty())
        return std::nullopt;
    entry.DateText = dateText.toString() + u' ' + timeText.toString();
    if (!meridiem.isEmpty())
        entry.DateText += u' ' + meridiem.toString();
    return entry;
}

bool AllDigits(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

namespace {

// ---------------------------------------------------------------- Unix long listings

// Leading spaces and tabs.
QStringView BlankTrim(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    return s.mid(i);
}

// The day of a date: one or two digits, unlike a year or a time.
bool IsDay(QStringView s)
{
    return AllDigits(s) && s.size() <= 2;
}

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsMonth(QStringView s)
{
    return ListMonthNumber(s) > 0;
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

} // namespace

int ListMonthNumber(QStringView name)
{
    for (int month = 1; month <= 12; ++month)
        if (name.compare(QLatin1String(kMonths[month - 1]), Qt::CaseInsensitive) == 0)
            return month;
    return 0;
}

QString UnixLinkName(const QString& rights, const QString& name)
{
    // Rights of the "lrwxrwxrwx" kind, not a machine listing's perm letters ("lr...").
    const bool link = rights.size() >= 10 && rights[0] == u'l'
        && std::all_of(rights.begin() + 1, rights.begin() + 10,
                       [](QChar c) { return QStringLiteral("rwxsStT-").contains(c); });
    const QString arrow = QStringLiteral(" -> ");
    return link && name.contains(arrow) ? name.section(arrow, 0, 0) : name;
}

QLatin1String ListMonthName(int month)
{
    return QLatin1String(kMonths[std::clamp(month, 1, 12) - 1]);
}

// The date is looked for rather than counted, so a missing group column, a year in
// place of the time and a device's two numbers all find it.
std::optional<TUnixListLine> ParseUnixListLine(QStringView line)
{
    // Rights, links, owner, group, size (or major and minor), then the date.
    const std::vector<TWord> words = LeadingWords(line, 12);
    if (words.empty() || !IsRights(words[0].text))
        return std::nullopt;
    const bool device = words[0].text[0] == u'b' || words[0].text[0] == u'c';
    for (size_t at = 2; at + 2 < words.size(); ++at) {
        const QStringView a = words[at].text, b = words[at + 1].text, c = words[at + 2].text;
        if (!((IsMonth(a) && IsDay(b)) || (IsDay(a) && IsMonth(b))) || !IsTimeOrYear(c))
            continue;
        const std::optional<QString> size = UnixSize(words, at, device);
        if (!size)
            continue;
        const QStringView name = BlankTrim(line.sliced(words[at + 2].end));
        if (name.isEmpty())
            return std::nullopt;
        return TUnixListLine{words[0].text.toString(), *size, b.toString() + u' ' + a.toString() + u' ' + c.toString(),
                             name.toString()};
    }
    return std::nullopt;
}
