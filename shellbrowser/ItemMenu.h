#pragma once
// The item context menu and the default action for entries of one folder:
// what Linux file managers offer (open, cut, copy, paste, rename, trash,
// delete, new folder, properties).
#include "shellbrowser/ShellFolder.h"
#include <QPoint>
#include <vector>

class QWidget;

// Implemented by the controls that show the menu, so commands can act on them.
class TItemMenuSite {
public:
    virtual ~TItemMenuSite() = default;
    // Starts editing the caption of the entry the menu was shown for.
    virtual void BeginRename() = 0;
    // Entries were created or removed in the shown folder.
    virtual void ContentsChanged() = 0;
};

// Shows the menu and runs the chosen command. True when a menu could be shown
// and either nothing was chosen or the command succeeded.
bool DisplayContextMenu(const ShellFolderPtr& folder, const std::vector<ItemIDList>& ids, quint32 attributes,
                        const QPoint& screenPoint, QWidget* owner);
// Runs one command of the menu without showing it ("actTrash", "actDelete" ...,
// the objectName of the menu's action). False when it is not offered or fails.
bool InvokeVerb(const ShellFolderPtr& folder, const std::vector<ItemIDList>& ids, const QString& verb, QWidget* owner);
// Opens the entries with the desktop's default application. True on success.
bool DefaultAction(const ShellFolderPtr& folder, const std::vector<ItemIDList>& ids, quint32 attributes, QWidget* owner);
