#pragma once
// The file list: the contents of the folder selected in the linked tree, with
// icons, size, type and modification time, folders first, sorting by column,
// four view styles, in-place renaming and the item context menu.
#include "shellbrowser/FolderItemData.h"
#include "shellbrowser/FolderListModel.h"
#include "shellbrowser/ItemMenu.h"
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QAbstractItemView;
class QListView;
class QMenu;
class QStackedLayout;
class QTreeView;
class QTreeWidgetItem;
class TSystemTreeView;

enum class TColumnType { ctFileSystem, ctMachine, ctControlPanel, ctPrinters, ctDUNet, ctNetwork, ctUser, ctUnknown };
enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

class TSystemListView : public QWidget, public TItemMenuSite {
    Q_OBJECT
public:
    explicit TSystemListView(QWidget* parent = nullptr);
    ~TSystemListView() override;

    QString Version() const { return QStringLiteral("TSystemListView 1.0"); }
    void SetVersion(const QString&) {}

    TPopupMenuMethod PopupMenuMethod = TPopupMenuMethod::pmmContextUser;
    QMenu* PopupMenu = nullptr;
    bool Autoscroll = false;

    // Events. OnAddListItem fills an entry's sub-items instead of the list;
    // OnDblClick replaces the double-click behaviour.
    std::function<void(TSystemListView*)> OnCreateColumns;
    std::function<void(TSystemListView*, TListEntry*)> OnAddListItem;
    std::function<void(TSystemListView*)> OnPopulated;
    std::function<void(TSystemListView*)> OnDblClick;
    // Drops onto the list: the source is this list for its own drags,
    // otherwise the widget the drag came from (null from other programs).
    std::function<void(QObject* source, bool& accept)> OnDragOver;
    std::function<void(QObject* source)> OnDragDrop;

    TColumnType ColumnType() const { return m_columnType; }
    void SetColumnType(TColumnType type);
    bool ShowHiddenFiles() const { return m_showHiddenFiles; }
    void SetShowHiddenFiles(bool show);
    bool ShowFolders() const { return m_showFolders; }
    void SetShowFolders(bool show);
    QString FileMask() const { return m_fileMask; }
    void SetFileMask(const QString& mask);
    TSystemTreeView* TreeView() const { return m_treeView; }
    void SetTreeView(TSystemTreeView* tree);
    int Tag() const { return m_tag; }
    void SetTag(int tag);
    bool MultiSelect() const;
    void SetMultiSelect(bool on);
    TViewStyle ViewStyle() const { return m_viewStyle; }
    void SetViewStyle(TViewStyle style);

    // Entries, in list order.
    int ItemCount() const { return m_model->Count(); }
    TListEntry* Item(int row) const { return m_model->Entry(row); }
    QString ItemCaption(int row) const;
    bool ItemSelected(int row) const;
    void SetItemSelected(int row, bool selected);
    int SelCount() const;
    std::vector<int> SelectedRows() const;
    // The record of an entry; a missing one gives the "Could not get folder
    // data." box (or ENoFolderData when RaiseOnMissingData) and null.
    TFolderItemData* ItemData(int row) const;
    bool RaiseOnMissingData = false;
    // Path of an entry ("" when virtual); folders end with "/".
    QString GetItemPath(int row) const;

    // The view showing the entries in the current style, and both views.
    QAbstractItemView* ActiveView() const;
    QTreeView* ReportView() const { return m_report; }
    QListView* IconView() const { return m_icons; }
    TFolderListModel* Model() const { return m_model; }
    // The list a drag came from when its source (QDropEvent::source()) is one
    // of a list's views; null otherwise.
    static TSystemListView* FromDragSource(QObject* source);

    bool HandleAllocated() const { return m_handleAllocated; }
    void HandleNeeded();
    void RecreateWnd();

    void ShowFolder(QTreeWidgetItem* node, bool desktop);
    void Repopulate();
    void ForgetNode();
    bool EnumerateFolder(const ShellFolderPtr& folder);
    bool RenameItem(int row, const QString& newName);
    void ColumnClick(int column);
    // Column widths by caption. A width the user set is kept from folder to folder
    // and may be given back from an earlier run; other columns have their default.
    QMap<QString, int> ColumnWidths() const;
    void SetColumnWidths(const QMap<QString, int>& widths);
    void DblClick(int row);
    // Column, direction of the last header click.
    int SortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_descending; }
    static int ListCompare(const TListEntry* a, const TListEntry* b, quint32 data);

    void BeginRename() override;
    void ContentsChanged() override;

signals:
    void SelectionChanged();

protected:
    virtual void CreateColumns(TColumnType type);
    virtual TListEntry* AddItem(const ShellFolderPtr& folder, ItemIDList absolute, ItemIDList relative);
    virtual void CustomSort(quint32 data);
    virtual void DoAutoScroll(int x, int y);
    virtual void DoPopulated();
    virtual bool ShowContextMenu(int row, const QPoint& screenPoint);
    virtual bool ShowMultiContextMenu(const QPoint& screenPoint);

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    void FillSubItems(TListEntry& entry, const ShellFolderPtr& folder, const ItemIDList& relative);
    bool HandleDrag(QEvent* event);
    void HandleContextMenu(const QPoint& viewportPos, QAbstractItemView* view);
    void RunVerbOnSelection(const QString& verb);
    QObject* ResolveSource(QObject* source) const;
    void ApplyColumnWidths();
    void RememberColumnWidths();

    TFolderListModel* m_model;
    QStackedLayout* m_stack;
    QTreeView* m_report;
    QListView* m_icons;
    TViewStyle m_viewStyle = TViewStyle::vsIcon;
    TColumnType m_columnType = TColumnType::ctFileSystem;
    QMap<QString, int> m_columnWidths; // by caption, as last shown
    bool m_showHiddenFiles = true;
    bool m_showFolders = true;
    QString m_fileMask;
    QStringList m_masks;
    QPointer<TSystemTreeView> m_treeView;
    int m_tag = 0;

    // The folder shown: a copy of its node's record, so it outlives the node.
    std::unique_ptr<TFolderItemData> m_current;
    bool m_currentHasParent = false;
    bool m_desktop = false;
    bool m_fillPending = false;
    bool m_handleAllocated = false;
    int m_widths[4] = {120, 60, 120, 120};
    int m_sortColumn = 0;
    bool m_descending = false;
    QString m_dateFormat;
};
