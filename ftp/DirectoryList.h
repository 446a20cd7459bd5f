#pragma once
// Parsers for the lines of a remote directory listing, and the server system
// types that choose one.
#include <QString>
#include <QStringList>
#include <array>
#include <memory>

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

    QStringList Rights;
    QStringList Names;
    QStringList ModifiedDates;
    QStringList Sizes;
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
