#pragma once
// Parsers for the lines of a remote directory listing, and the server system
// types that choose one.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
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
    QString at(qsizetype i) const { return QString::fromUtf8(Bytes(i)); }
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
class TFTPUnixList : public TFTPDirectoryList {
public:
    void ParseLine(const QString& Line) override;
};

// The parser for a system type; every type uses the Unix parser. Returns none
// for FTPVendorUnknown, which has to be detected first.
std::unique_ptr<TFTPDirectoryList> MakeDirectoryList(int vendor);
