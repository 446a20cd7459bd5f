#pragma once
// The folder trees that a folder transfer copies: every entry below a remote
// or a local folder, listed before anything is transferred.
//
// Names from the server are checked where the listing is read: an entry whose
// name is not a plain name ("", ".", "..", or holding "/" or a NUL) is left out
// and reported, so that no path made from the tree can leave the folder it is
// copied into. Links are not followed, on either side, so a link that points
// back up the tree cannot make the walk endless; a server that lists a tree
// without end (a folder "a" that always holds a folder "a") is stopped by the
// bounds below.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class TFTPClient;

// One entry of a tree. An entry names only itself and its folder's entry, so
// that a deep tree costs memory in proportion to its entries, not to the sum
// of their depths.
struct TTreeEntry {
    int Parent = -1;     // index of the entry of the folder holding it; -1: the tree's root folder
    QString Name;
    bool Folder = false;
    qint64 Size = 0;     // bytes; 0 for a folder or when the listing gave none
    QDateTime Modified;  // UTC, when the listing gave it
    bool Link = false;   // a link, listed by a walk that keeps links (never entered)
};

// The remote path of name inside folder (a path from the root, or relative).
QString JoinRemote(const QString& folder, const QString& name);

// The names from the tree's root folder down to entries[index].
QStringList TreePath(const std::vector<TTreeEntry>& entries, int index);

// No real tree is deeper than this; a remote walk that goes deeper stops.
constexpr int MaxTreeDepth = 100;
// A walk stops where one run of folders repeats this many times in a row
// ("a/a/a/...", "a/b/a/b/..."): the server lists an endless tree.
constexpr int MaxTreeRepeats = 6;

// Whether name can be one step of a path: not empty, not "." or "..", no "/" or NUL.
bool IsPlainName(const QString& name);

// Reports an entry left out, in words for the log.
using TTreeReport = std::function<void(const QString& text)>;

// What a remote walk does with links: leaves them out, as a copy that does not
// follow them must, or lists them as entries that are never entered, as a
// delete that removes the links themselves needs. Keep walks by "LIST", the one
// listing that tells a link to a folder from a folder on every server.
enum class TTreeLinks { LeaveOut, Keep };

// Every entry below the remote folder Folder (the folder itself not included),
// folders before their contents. The client lists each folder ("CWD" into it by
// its full path, then List) and is left in Folder. The names are the server's
// (wire) names; LocalName gives the name to use on this side.
// A tree deeper than MaxTreeDepth, or whose folders repeat, raises Exception.
// Stopped is asked before each folder; once it is true (the caller also
// aborts the client's wait), the walk raises EAbortError.
std::vector<TTreeEntry> ListRemoteTree(TFTPClient& Client, const QString& Folder, const TTreeReport& Report,
                                       const std::function<bool()>& Stopped = {},
                                       TTreeLinks Links = TTreeLinks::LeaveOut);

// The entries of the remote folder Folder itself (not below it), as listed:
// names unchecked, links included. The client is left in Folder.
std::vector<TTreeEntry> ListRemoteFolder(TFTPClient& Client, const QString& Folder);

// Every entry below the local folder Folder, folders before their contents.
std::vector<TTreeEntry> ListLocalTree(const QString& Folder, const TTreeReport& Report);

// The name a remote (wire) name gets on this side: its text as shown, in the
// client's name encoding.
QString LocalName(const QString& wireName, const QString& encoding);
