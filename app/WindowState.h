#pragma once
// The main window's layout as the user left it: kept in a file of its own in the
// configuration folder, beside the hosts file but never in it.
#include <QList>
#include <QMap>
#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

// The folders last visited on one server account, most recent first, as the
// server named them (its own bytes: see ftp/WireText.h). No password is kept.
struct TRecentRemoteFolders {
    QString Host;
    int Port = 0;
    QString User;
    QStringList Folders;
    bool SameAccount(const QString& host, int port, const QString& user) const
    {
        return Host == host && Port == port && User == user;
    }
};

struct TWindowState {
    std::optional<QRect> Geometry; // the window's normal (not maximized) frame-less geometry
    bool Maximized = false;
    QMap<QString, QList<int>> Splitters;       // sizes, by the splitter's objectName
    QMap<QString, QList<int>> ColumnWidths;    // by the view's objectName
    QMap<QString, int> LocalColumnWidths;      // the local list's, by column caption
    QString LocalFolder;
    QList<TRecentRemoteFolders> RecentRemoteFolders; // most recently used account first
    int RemoteSortColumn = -1; // none chosen: the list's own order
    Qt::SortOrder RemoteSortOrder = Qt::AscendingOrder;
};

// "window.ini" in `configFolder`.
QString WindowStateFileName(const QString& configFolder);

// A missing or damaged file, or one of another version, gives the defaults; a
// value that does not read as it should is left at its default alone.
TWindowState ReadWindowState(const QString& fileName);

// Writes the whole state in one step; false when it could not be written.
bool WriteWindowState(const QString& fileName, const TWindowState& state);

// `wanted` made no larger than `available` and moved inside it.
QRect FitToScreen(const QRect& wanted, const QRect& available);
