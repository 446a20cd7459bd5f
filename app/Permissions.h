#pragma once
// Unix rights of remote entries: read from a listing's rights column, written as
// the octal mode that "SITE CHMOD" takes, and what the user chose to change.
#include <QString>
#include <QStringList>
#include <optional>

// The mode of a long listing's rights ("drwxr-xr-x" is 0755, "-rwsr-x--T" 05750),
// an ACL's "+" ignored; none for anything else (a machine listing's perm letters).
std::optional<int> ModeFromRights(const QString& rights);
// Three or four octal digits ("644", "0755", "4755"); none for anything else.
std::optional<int> ParseOctalMode(const QString& text);
// Three digits, four when a set-id or sticky bit is set.
QString OctalModeText(int mode);

// Which entries below a folder a recursive change reaches.
enum class TPermissionsScope { Everything, FoldersOnly, FilesOnly };

// What the permissions question shows.
struct TPermissionsRequest {
    QStringList Names = {};       // the entries, as the list shows them
    std::optional<int> Mode = {}; // the first entry's mode, when its listing gave it
    int Default = 0644;           // shown when there is no Mode
    bool Mixed = false;           // the entries' modes differ: Mode is the first's
    bool HasFolder = false;       // a folder is among them: a recursive change is offered
};

// What the user chose.
struct TPermissionsChoice {
    int Mode = 0644;
    bool Recursive = false; // into every folder's contents
    TPermissionsScope Scope = TPermissionsScope::Everything;
};
