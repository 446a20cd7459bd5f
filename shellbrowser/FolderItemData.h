#pragma once
// The record behind every tree node and list entry: where in the namespace
// the node or entry lies. The control that holds the node or entry owns it.
#include "net/Exception.h"
#include "shellbrowser/ShellFolder.h"

class TFolderItemData {
public:
    bool Enumerated = false; // the tree has listed this node's children
    ShellFolderPtr ParentFolder;
    ItemIDList RelativeID;
    ItemIDList AbsoluteID;
    quint32 Attributes = 0;
};

inline bool HasAttribute(const TFolderItemData* data, quint32 mask)
{
    return data && (data->Attributes & mask) != 0;
}

inline bool IsFolderLike(const TFolderItemData* data)
{
    return HasAttribute(data, SFGAO_FOLDER | SFGAO_HASSUBFOLDER);
}

// A node or entry that should carry a record has none.
class ENoFolderData : public Exception {
public:
    using Exception::Exception;
};

inline const char* const SNoFolderData = "Could not get folder data.";

// What a right click on the tree or the list shows.
enum class TPopupMenuMethod { pmmNone, pmmContext, pmmUser, pmmContextUser };

// The tree's choice of root.
enum class TRootFolder {
    rfDesktop, rfRecycleBin, rfControlPanel, rfDesktopDir, rfDrives, rfFavoriteURLs, rfFonts, rfNetHood,
    rfNetHoodDir, rfDocumentDir, rfPrinters, rfPrograms, rfRecentDir, rfSendTo, rfStartMenu, rfStartup,
    rfTemplates, rfFileSystem, rfCustom
};
