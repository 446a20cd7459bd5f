#pragma once
// The local namespace: a virtual desktop (Computer, the home folder, the
// trash and the entries of the user's desktop folder) above the file system.
// Folders issue and interpret the items of id lists (see IDList.h); the tree
// and the list use only the operations declared here.
#include "shellbrowser/IDList.h"
#include <QString>
#include <memory>
#include <optional>
#include <utility>

// Attribute flags reported by GetAttributesOf.
constexpr quint32 SFGAO_CANCOPY = 0x00000001;
constexpr quint32 SFGAO_CANMOVE = 0x00000002;
constexpr quint32 SFGAO_CANLINK = 0x00000004;
constexpr quint32 SFGAO_CANRENAME = 0x00000010;
constexpr quint32 SFGAO_CANDELETE = 0x00000020;
constexpr quint32 SFGAO_HASPROPSHEET = 0x00000040;
constexpr quint32 SFGAO_DROPTARGET = 0x00000100;
constexpr quint32 SFGAO_LINK = 0x00010000;
constexpr quint32 SFGAO_SHARE = 0x00020000;
constexpr quint32 SFGAO_GHOST = 0x00080000;
constexpr quint32 SFGAO_REMOVABLE = 0x02000000;
constexpr quint32 SFGAO_FILESYSANCESTOR = 0x10000000;
constexpr quint32 SFGAO_FOLDER = 0x20000000;
constexpr quint32 SFGAO_FILESYSTEM = 0x40000000;
constexpr quint32 SFGAO_HASSUBFOLDER = 0x80000000;
// Everything the tree and the list ask for.
constexpr quint32 AttributeRequestMask = 0xF20B0177;

// Enumeration flags.
constexpr quint32 SHCONTF_FOLDERS = 0x20;
constexpr quint32 SHCONTF_NONFOLDERS = 0x40;
constexpr quint32 SHCONTF_INCLUDEHIDDEN = 0x80;

// Special folders that a tree root can open.
constexpr int CSIDL_DESKTOP = 0x00;
constexpr int CSIDL_PROGRAMS = 0x02;
constexpr int CSIDL_CONTROLS = 0x03;
constexpr int CSIDL_PRINTERS = 0x04;
constexpr int CSIDL_PERSONAL = 0x05;
constexpr int CSIDL_FAVORITES = 0x06;
constexpr int CSIDL_STARTUP = 0x07;
constexpr int CSIDL_RECENT = 0x08;
constexpr int CSIDL_SENDTO = 0x09;
constexpr int CSIDL_BITBUCKET = 0x0A;
constexpr int CSIDL_STARTMENU = 0x0B;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
constexpr int CSIDL_DRIVES = 0x11;
constexpr int CSIDL_NETWORK = 0x12;
constexpr int CSIDL_NETHOOD = 0x13;
constexpr int CSIDL_FONTS = 0x14;
constexpr int CSIDL_TEMPLATES = 0x15;

// Size and modification time recorded when the item was issued.
struct TFileDetails {
    bool IsFolder = false;
    bool IsRegular = false;
    qint64 Size = 0;
    qint64 ModifiedMs = 0; // milliseconds since the epoch, UTC
};

// Yields a folder's children one relative id at a time; a null id ends it.
class TEnumIDList {
public:
    virtual ~TEnumIDList() = default;
    virtual ItemIDList Next() = 0;
};

class TShellFolder;
using ShellFolderPtr = std::shared_ptr<TShellFolder>;

class TShellFolder : public std::enable_shared_from_this<TShellFolder> {
public:
    virtual ~TShellFolder() = default;

    // Relative id of a path below this folder; null when it cannot be parsed.
    virtual ItemIDList ParseDisplayName(const QString& path) = 0;
    // Null when the folder cannot be listed.
    virtual std::unique_ptr<TEnumIDList> EnumObjects(quint32 flags) = 0;
    // The folder named by a relative id (an empty id gives this folder); null
    // when the place is not a folder.
    ShellFolderPtr BindToObject(const ItemIDList& relative);
    // Negative, zero or positive; for file-system folders the columns are
    // 0 name, 1 size, 2 type, 3 modification time.
    virtual int CompareIDs(int column, const ItemIDList& a, const ItemIDList& b) = 0;
    virtual quint32 GetAttributesOf(const ItemIDList& relative, quint32 mask) = 0;
    virtual std::optional<QString> GetDisplayNameOf(const ItemIDList& relative) = 0;
    // Renames a child and gives its new id; on failure a null id and the
    // reason in *error.
    virtual ItemIDList SetNameOf(const ItemIDList& relative, const QString& newName, QString* error);
    // File-system path of a child; empty for virtual places.
    virtual QString GetPathOf(const ItemIDList& relative) = 0;
    // Details of a file-system child; nullopt for virtual places and for
    // children that did not exist when the id was made.
    std::optional<TFileDetails> GetDetailsOf(const ItemIDList& relative) const;

protected:
    // Binds a single item.
    virtual ShellFolderPtr BindItem(const QByteArray& payload) = 0;
};

ShellFolderPtr SHGetDesktopFolder();
// Absolute id of a special folder; null when there is none on this system.
ItemIDList SHGetSpecialFolderLocation(int csidl);
// File-system path of a place; empty when it is not in the file system.
// Folders carry no trailing "/" except the file-system root.
QString SHGetPathFromIDList(const ItemIDList& absolute);
// Absolute id of a file-system path, for callers that start from a path.
ItemIDList ILCreateFromPath(const QString& path);

std::optional<QString> GetDisplayName(const ShellFolderPtr& folder, const ItemIDList& relative);
ItemIDList ParsePath(const ShellFolderPtr& folder, const QString& path);

// Normal and open icon indexes into the shared icon cache (-1 when none).
std::pair<int, int> GetIconIndexes(const ItemIDList& absolute);
// Type name shown in the list ("Folder", the MIME type's comment ...).
QString GetTypeName(const ItemIDList& absolute);
