#pragma once
// The folder tree: the local namespace from a chosen root, each node's
// children listed on its first expansion, the selected node shown in the
// linked file list and watched for folders created, removed or renamed.
#include "shellbrowser/FolderItemData.h"
#include "shellbrowser/ItemMenu.h"
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStringList>
#include <QTreeWidget>
#include <functional>
#include <memory>

class QMenu;
class TFileChangeThread;
class TSystemListView;

// A tree node with the record it owns.
class TFolderNode : public QTreeWidgetItem {
public:
    static constexpr int NodeType = QTreeWidgetItem::UserType + 1;
    // Image indexes into the shared icon cache, readable through data().
    static constexpr int ImageIndexRole = Qt::UserRole + 1;
    static constexpr int SelectedIndexRole = Qt::UserRole + 2;
    static constexpr int OverlayIndexRole = Qt::UserRole + 3;

    TFolderNode() : QTreeWidgetItem(NodeType) {}
    std::unique_ptr<TFolderItemData> Data;
};

class TSystemTreeView : public QTreeWidget, public TItemMenuSite {
    Q_OBJECT
public:
    explicit TSystemTreeView(QWidget* parent = nullptr);
    ~TSystemTreeView() override;

    QString Version() const { return QStringLiteral("TSystemTreeView 1.0"); }
    void SetVersion(const QString&) {}

    TPopupMenuMethod PopupMenuMethod = TPopupMenuMethod::pmmContext;
    QMenu* PopupMenu = nullptr; // offered for pmmUser and pmmContextUser
    bool ExpandRoot = true;
    bool Autoscroll = false;
    // Raised each time a node is allowed to expand.
    std::function<void(TSystemTreeView*, QTreeWidgetItem*)> OnPopulated;

    // The selected node's path ("" when none, not yet shown, or virtual).
    QString Directory() const;
    // Selects the node for a path, expanding every level on the way; before
    // the control is shown the path is kept and applied when it is.
    void SetDirectory(const QString& path);
    QString Selection() const { return Directory(); }
    void SetSelection(const QString& path) { SetDirectory(path); }

    TRootFolder RootFolder() const { return m_rootFolder; }
    void SetRootFolder(TRootFolder root);
    QString CustomDir() const { return m_customDir; }
    void SetCustomDir(const QString& dir);
    QString CustomDirCaption() const { return m_customDirCaption; }
    void SetCustomDirCaption(const QString& caption);
    bool ShowFiles() const { return m_showFiles; }
    void SetShowFiles(bool show);
    bool ShowHiddenDirs() const { return m_showHiddenDirs; }
    void SetShowHiddenDirs(bool show);
    bool Checkboxes() const { return m_checkboxes; }
    void SetCheckboxes(bool on);
    QString FileMask() const { return m_fileMask; }
    void SetFileMask(const QString& mask);
    TSystemListView* ListView() const { return m_listView; }
    void SetListView(TSystemListView* list);

    // The control's "window": nodes exist only once it has been created.
    bool HandleAllocated() const { return m_handleAllocated; }
    void HandleNeeded();
    // Rebuilds everything, keeping the selected folder.
    void RecreateWnd();

    // The record of a node; a node without one gives the "Could not get folder
    // data." box (or ENoFolderData when RaiseOnMissingData) and null.
    TFolderItemData* NodeData(QTreeWidgetItem* node) const;
    bool RaiseOnMissingData = false;

    void Reload();
    bool PopulateNode(const ShellFolderPtr& folder, QTreeWidgetItem* node);
    QTreeWidgetItem* FindNodeForID(const ItemIDList& id);
    void RefreshNode(QTreeWidgetItem* node);
    void StartWatching(QTreeWidgetItem* node);
    void FolderChanged();
    void SelectChildByID(const ItemIDList& relative);
    bool RenameNode(QTreeWidgetItem* node, const QString& newName);
    // Expands a node through the expansion check; false when it was refused.
    bool ExpandNode(QTreeWidgetItem* node);
    // Whether the root is the desktop and the node its very first node.
    bool IsDesktopNode(QTreeWidgetItem* node) const;
    // The node currently watched for changes (null when none).
    QTreeWidgetItem* WatchedNode() const;

    // Menu site.
    void BeginRename() override;
    void ContentsChanged() override;

signals:
    // The selected node changed (after the list was refilled).
    void Changed(QTreeWidgetItem* node);

protected:
    virtual void DoAutoScroll(int x, int y);
    virtual void DoPopulated(QTreeWidgetItem* node);
    virtual void DeleteNode(QTreeWidgetItem* node);
    virtual QTreeWidgetItem* AddNode(const ShellFolderPtr& folder, ItemIDList absolute, QTreeWidgetItem* parent, ItemIDList relative);
    virtual void CustomSort(const std::function<int(QTreeWidgetItem*, QTreeWidgetItem*)>& compare);
    virtual bool ShowContextMenu(QTreeWidgetItem* node, const QPoint& screenPoint);

    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool CanExpand(QTreeWidgetItem* node);
    void SetExpandedQuietly(QTreeWidgetItem* node, bool expanded);
    void OnItemExpanded(QTreeWidgetItem* node);
    void OnCurrentChanged(QTreeWidgetItem* node);
    void ShowInList(QTreeWidgetItem* node);
    void StopWatching();
    void SetNodeIcons(QTreeWidgetItem* node, const TFolderItemData& data);
    bool HasChildEntries(const TFolderItemData& data) const;
    QString NodePath(QTreeWidgetItem* node) const;
    QString RelativeToRoot(const QString& path) const;
    int TreeCompare(QTreeWidgetItem* a, QTreeWidgetItem* b) const;

    TRootFolder m_rootFolder = TRootFolder::rfDesktop;
    QString m_customDir;
    QString m_customDirCaption;
    bool m_showFiles = false;
    bool m_showHiddenDirs = true;
    bool m_checkboxes = false;
    QString m_fileMask;
    QStringList m_masks;
    QPointer<TSystemListView> m_listView;

    bool m_handleAllocated = false;
    bool m_destroying = false;
    bool m_quietExpand = false;
    QString m_pendingDirectory;
    QPointer<TFileChangeThread> m_watcher;
    QPersistentModelIndex m_watched;
};
