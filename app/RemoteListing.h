#pragma once
// The remote folder as the Listing page shows it: the listing line parsers (Unix
// long listings with and without the group column, Windows/IIS listings, machine
// listings from "MLSD", and the whole line as a last resort) and the layout of one row.
#include <QDateTime>
#include <QString>
#include <functional>
#include <limits>
#include <optional>

// The sort time of an entry whose listing gave no date: before every real one.
inline constexpr qint64 kUnknownTime = std::numeric_limits<qint64>::min();

// The columns the main window takes from one listing line.
struct TListingFields {
    QString Rights;   // Unix rights ("drwxr-xr-x", an ACL "+" kept), or a machine listing's perm letters
    QString Name;     // Unix: the rest of the line after the date (a link keeps " -> target")
    QString Size;     // as text: sizes beyond 32 bits stay exact
    QString Modified; // day, month and time-or-year joined by single spaces
    bool Folder = false;
    bool ExactName = false; // a machine listing names the entry exactly: no trimming
    // The same moment as seconds of the wall clock it is shown in (local for a machine
    // listing, the server's for the others), so that dates sort as dates; kUnknownTime.
    qint64 ModifiedSecs = kUnknownTime;
};

// One row of lvRemoteFiles: caption and four sub-items, and its small image.
struct TRemoteEntry {
    QString Caption;
    QString Size;
    QString TypeName;
    QString Modified;
    QString Rights;
    int ImageIndex = 1;
    QString WireName = {}; // the name as the server sent it (Caption shows it decoded); commands send this
    qint64 ModifiedSecs = kUnknownTime; // as TListingFields has it

    // Folders are told by their type name, as double-click does.
    bool IsFolder() const;
    // The ".." row, the way up: no listing line makes one, so its caption tells it.
    bool IsWayUp() const;
    // The entry's own name as shown: a Unix link's caption without its " -> target".
    QString Name() const;
};

struct TRemoteFileInfo {
    QString TypeName;
    int ImageIndex = 1;
};

inline const QString kFolderTypeName = QStringLiteral("File folder");
inline constexpr int kFolderImage = 0;
inline constexpr int kFileImage = 1;

// Lines of this length or shorter ("total 42") carry no entry.
inline constexpr int kShortestListingLine = 30;

// What one line received through OnListItem adds. Machine and Windows lines are
// known by their shape; for the rest the length rule applies, then the Unix parser,
// then the whole line becomes a file's name if the transfer checks accept it. Nothing
// for ".", "..", the listed folder and its parent, "total" and blank lines.
std::optional<TListingFields> ParseListItem(const QString& line);
// The same, with "now" deciding whether a date shows its time (the last six months)
// or its year, as "ls -l" does.
std::optional<TListingFields> ParseListItem(const QString& line, const QDateTime& now);

// The row for a parsed line: a folder's size stays empty, its date and rights are kept
// where the listing gave them. GetInfo gives a file's type name and image from its name.
TRemoteEntry LayoutEntry(const TListingFields& fields,
                         const std::function<TRemoteFileInfo(const QString&)>& GetInfo);
// The ".." row that every refresh starts with.
TRemoteEntry UpEntry();

// The extension of a remote file name, without its dot ("" when there is none).
QString RemoteFileExtension(const QString& name);
// The type name used when the registry knows nothing: "TXT file", or "file".
QString DefaultTypeName(const QString& extension);
