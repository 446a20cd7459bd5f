#pragma once
// Parsers for the lines of a remote directory listing, and the server system
// types that choose one.
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <array>
#include <memory>
#include <optional>
#include <vector>

// Values of TFTPClient::Vendor: the system a server named in its "SYST" reply.
constexpr int FTPVendorUnix = 2400;
constexpr int FTPVendorDos = 2401;
constexpr int FTPVendorVM = 2402;
constexpr int FTPVendorMacOS = 2404;
constexpr int FTPVendorVMS = 2406;
constexpr int FTPVendorMVS = 2408;
constexpr int FTPVendorOther = 2410;
constexpr int FTPVendorUnknown = 2411; // not asked yet
constexpr int FTPVendorOS400 = 2414;
constexpr int FTPVendorNetware = 2416;

// The system type named by a "SYST" reply line (case-sensitive; the first
// word found in a fixed order decides, so "MVS" wins over "VM").
int VendorFromSystReply(const QString& reply);

// A list of texts in one UTF-8 buffer. A listing of a million lines keeps four of
// these; as QStringLists they cost an allocation and a list slot per text, about four
// times the text itself. Reads give copies; the common QStringList reads are offered.
class TTextList {
public:
    qsizetype size() const { return qsizetype(m_ends.size()); }
    bool isEmpty() const { return m_ends.empty(); }
    QString at(qsizetype i) const;
    QString operator[](qsizetype i) const { return at(i); }
    qsizetype indexOf(const QString& text) const;
    bool contains(const QString& text) const { return indexOf(text) >= 0; }
    QString join(const QString& separator) const;
    QStringList toList() const;
    // The texts from first on.
    TTextList mid(qsizetype first) const;

    void append(const QString& text);
    void clear();

    friend bool operator==(const TTextList& a, const QStringList& b);
    friend bool operator==(const TTextList& a, const TTextList& b);

private:
    QByteArrayView Bytes(qsizetype i) const;

    QByteArray m_text;
    std::vector<qsizetype> m_ends; // where each text ends in m_text
};

// Splits a line into space-separated columns and keeps those of the last line.
class TFTPDirectoryList {
public:
    static constexpr int MaxColumns = 25;
    static constexpr int MaxColumnLength = 255;

    virtual ~TFTPDirectoryList() = default;

    // Splits Line (without its line end) into Columns[1..ColumnCount]. Only the
    // space separates columns, and a run of spaces counts as one. Text beyond
    // the 25th column stays in the 25th, joined by single spaces, so a long line
    // neither overflows nor loses its tail.
    virtual void ParseLine(const QString& Line);

    // Empties the four lists; Columns keep the last line.
    void Clear();

    TTextList Rights;
    TTextList Names;
    TTextList ModifiedDates;
    TTextList Sizes;
    std::array<QString, MaxColumns + 1> Columns; // indexed 1..25; [0] is unused
    int ColumnCount = 0;
};

// Files each line of a Unix-style long listing by its position from the end:
// name last, date the three columns before, size the fourth before, rights
// first. Lines of 7 columns or fewer (the "total" line, messages) are skipped.
// Servers that answer "SYST" with a Unix word may still list in the Windows
// style; such lines are filed as TWindowsListLine reads them.
class TFTPUnixList : public TFTPDirectoryList {
public:
    void ParseLine(const QString& Line) override;
};

// Files the entries of a machine listing ("MLSD"): the name, the size in bytes,
// the modification time as sent (YYYYMMDDHHMMSS[.sss], UTC) and the rights as
// TMachineListLine gives them. The lines for the folder itself and its parent
// are skipped, and so are lines that are not in the machine format.
class TFTPMachineList : public TFTPDirectoryList {
public:
    void ParseLine(const QString& Line) override;
};

// The parser for a system type; every type uses the Unix parser. Returns none
// for FTPVendorUnknown, which has to be detected first.
std::unique_ptr<TFTPDirectoryList> MakeDirectoryList(int vendor);
// The parser for listings asked for with "MLSD".
std::unique_ptr<TFTPDirectoryList> MakeMachineListParser();

// Whether the text is one or more ASCII digits (a size, a day, a time's part).
bool AllDigits(QStringView s);

enum class TListedType { File, Folder, Link, ThisFolder, ParentFolder };

// One line of a machine listing: "fact=value;fact=value; name". Fact names are
// case-insensitive and unknown facts are ignored; any fact may be missing (a line
// without a type is a file).
struct TMachineListLine {
    TListedType Type = TListedType::File;
    QString Name;   // exactly as sent: it may hold spaces, ";" and "="
    QString Size;   // decimal bytes (64-bit and beyond stay text), or empty
    QString Modify; // YYYYMMDDHHMMSS[.sss] in UTC, or empty
    // From UNIX.mode ("drwxr-xr-x", with the type's letter), or else the perm
    // letters as sent ("adfrw"), or empty.
    QString Rights;
};
// None when the line is not in the machine format.
std::optional<TMachineListLine> ParseMachineListLine(QStringView line);
// The time of a modify fact; invalid when it is not one.
QDateTime MachineListTime(QStringView modify);
// Unix rights text for a mode (the low twelve bits count) and a type letter.
QString UnixRightsText(QChar typeLetter, uint mode);

// One line of a Windows/IIS listing: "12-10-26  04:10PM  <DIR>  Reports" or
// "12-10-2026  16:10  123456 my file.txt". The date is month first unless its
// first number cannot be a month; "/" may separate it; times are the server's.
struct TWindowsListLine {
    bool Folder = false;
    QString Size; // empty for a folder
    QDate Date;
    QTime Time;
    QString DateText; // date and time as sent, joined by a space
    QString Name;
};
// None when the line is not in the Windows format.
std::optional<TWindowsListLine> ParseWindowsListLine(QStringView line);

// One line of a Unix long listing ("ls -l"): rights, links, owner, group (often
// missing), size, a date of month, day and time-or-year (some servers put the
// day first), and the name, which is the rest of the line, spaces and all.
struct TUnixListLine {
    QString Rights;
    QString Size;     // bytes, or a device's "major, minor" as sent
    QString DateText; // day, month, and time or year
    QString Name;     // "." and ".." too: the caller decides
};
// None when the line is not in the Unix format.
std::optional<TUnixListLine> ParseUnixListLine(QStringView line);
// "Jan" to "Dec", as Unix listings spell the months (1 to 12).
QLatin1String ListMonthName(int month);
// The month (1 to 12) such a name spells, in any case; 0 for none.
int ListMonthNumber(QStringView name);
// A Unix line names a link "name -> target": the link's own name. Other names as they are.
QString UnixLinkName(const QString& rights, const QString& name);
