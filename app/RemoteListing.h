#pragma once
// The remote folder as the Listing page shows it: the two Unix long-listing line
// parsers (with and without the group column) and the layout of one row.
#include <QString>
#include <functional>
#include <optional>

// The columns the main window takes from one listing line.
struct TListingFields {
    QString Rights;   // the 10-character rights field, trimmed
    QString Name;     // the rest of the line after the date (a link keeps " -> target")
    QString Size;
    QString Modified; // day, month and time-or-year joined by single spaces
};

// One row of lvRemoteFiles: caption and four sub-items, and its small image.
struct TRemoteEntry {
    QString Caption;
    QString Size;
    QString TypeName;
    QString Modified;
    QString Rights;
    int ImageIndex = 1;

    // Folders are told by their type name, as double-click does.
    bool IsFolder() const;
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

// A listing line without the group column; hands the line to the long parser when it
// turns out to have one. Nothing for lines that add no entry ("." and "..").
std::optional<TListingFields> ParseListingLine(const QString& line);
// The full nine-field line.
std::optional<TListingFields> ParseLongListingLine(const QString& line);
// What one line received through OnListItem adds: the length rule, then the parsers.
std::optional<TListingFields> ParseListItem(const QString& line);

// The row for a parsed line; GetInfo gives a file's type name and image from its name.
TRemoteEntry LayoutEntry(const TListingFields& fields,
                         const std::function<TRemoteFileInfo(const QString&)>& GetInfo);
// The ".." row that every refresh starts with.
TRemoteEntry UpEntry();

// The extension of a remote file name, without its dot ("" when there is none).
QString RemoteFileExtension(const QString& name);
// The type name used when the registry knows nothing: "TXT file", or "file".
QString DefaultTypeName(const QString& extension);
