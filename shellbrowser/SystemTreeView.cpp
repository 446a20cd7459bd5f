#include "shellbrowser/SystemTreeView.h"
#include "net/ErrorBoundary.h"
#include "shellbrowser/FileChange.h"
#include "shellbrowser/IconCache.h"
#include "shellbrowser/MaskSearch.h"
#include "shellbrowser/ShellDialogs.h"
#include "shellbrowser/SystemListView.h"
#include "shellbrowser/ViewHelpers.h"
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <algorithm>

namespace {
int SpecialFolderOf(TRootFolder root)
{
    switch (root) {
    case TRootFolder::rfDesktop: return CSIDL_DESKTOP;
    case TRootFolder::rfRecycleBin: return CSIDL_BITBUCKET;
    case TRootFolder::rfControlPanel: return CSIDL_CONTROLS;
    case TRootFolder::rfDesktopDir: return CSIDL_DESKTOPDIRECTORY;
    case TRootFolder::rfDrives: return CSIDL_DRIVES;
    case TRootFolder::rfFavoriteURLs: return CSIDL_FAVORITES;
    case TRootFolder::rfFonts: return CSIDL_FONTS;
    case TRootFolder::rfNetHood: return CSIDL_NETWORK;
    case TRootFolder::rfNetHoodDir: return CSIDL_NETHOOD;
    case TRootFolder::rfDocumentDir: return CSIDL_PERSONAL;
    case TRootFolder::rfPrinters: return CSIDL_PRINTERS;
    case TRootFolder::rfPrograms: return CSIDL_PROGRAMS;
    case TRootFolder::rfRecentDir: return CSIDL_RECENT;
    case TRootFolder::rfSendTo: return CSIDL_SENDTO;
    case TRootFolder::rfStartMenu: return CSIDL_STARTMENU;
    case TRootFolder::rfStartup: return CSIDL_STARTUP;
    case TRootFolder::rfTemplates: return CSIDL_TEMPLATES;
    case TRootFolder::rfFileSystem: return CSIDL_DRIVES;
    case TRootFolder::rfCustom: break;
    }
    return -1;
}

bool IsDescendant(QTreeWidgetItem* item, QTreeWidgetItem* ancestor)
{
    for (QTreeWidgetItem* p = item ? item->parent() : nullptr; p; p = p->parent())
        if (p == ancestor)
            return true;
    return false;
}
}

TSystemTreeView::TSystemTreeView(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("SystemTreeView"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setUniformRowHeights(true);
    setMouseTracking(true);
    setIconSize(QSize(16, 16));
    setItemDelegate(new TRenameDelegate(this, [this](const QModelIndex& index, const QString& text) {
        RenameNode(itemFromIndex(index), text);
    }));
    connect(this, &QTreeWidget::itemExpanded, this, Guarded([this](QTreeWidgetItem* node) { OnItemExpanded(node); }));
    connect(this, &QTreeWidget::currentItemChanged, this, Guarded([this](QTreeWidgetItem* node, QTreeWidgetItem*) { OnCurrentChanged(node); }));
    // A list on the same form that has no tree yet links itself to this one.
    if (parent)
        for (TSystemListView* list : parent->window()->findChildren<TSystemListView*>())
            if (!list->TreeView()) {
                SetListView(list);
                break;
            }
}

TSystemTreeView::~TSystemTreeView()
{
    m_destroying = true;
    StopWatching();
    // Nothing of ours may run while the base class tears the items down.
    disconnect(this, nullptr, this, nullptr);
    clear();
}

// ---- properties

void TSystemTreeView::SetRootFolder(TRootFolder root)
{
    if (std::exchange(m_rootFolder, root) != root)
        Reload();
}

void TSystemTreeView::SetCustomDir(const QString& dir)
{
    if (std::exchange(m_customDir, dir) != dir)
        Reload();
}

void TSystemTreeView::SetCustomDirCaption(const QString& caption)
{
    if (std::exchange(m_customDirCaption, caption) == caption)
        return;
    if (topLevelItemCount() > 0)
        topLevelItem(0)->setText(0, caption);
}

void TSystemTreeView::SetShowFiles(bool show)
{
    if (std::exchange(m_showFiles, show) != show)
        Reload();
}

void TSystemTreeView::SetShowHiddenDirs(bool show)
{
    if (std::exchange(m_showHiddenDirs, show) != show)
        Reload();
}

void TSystemTreeView::SetCheckboxes(bool on)
{
    if (std::exchange(m_checkboxes, on) != on)
        RecreateWnd();
}

void TSystemTreeView::SetFileMask(const QString& mask)
{
    m_fileMask = mask;
    ParseMaskString(mask, m_masks);
    Reload();
}

void TSystemTreeView::SetListView(TSystemListView* list)
{
    if (m_listView == list)
        return;
    m_listView = list;
    if (!list)
        return;
    list->SetTreeView(this);
    QTreeWidgetItem* node = currentItem();
    if (node && static_cast<TFolderNode*>(node)->Data)
        ShowInList(node);
}

// ---- window

void TSystemTreeView::HandleNeeded()
{
    if (m_handleAllocated)
        return;
    m_handleAllocated = true;
    Reload();
}

void TSystemTreeView::showEvent(QShowEvent* event)
{
    QTreeWidget::showEvent(event);
    Guarded([this] { HandleNeeded(); })();
}

void TSystemTreeView::RecreateWnd()
{
    if (!m_handleAllocated)
        return;
    if (m_pendingDirectory.isEmpty())
        m_pendingDirectory = Directory();
    Reload();
}

TFolderItemData* TSystemTreeView::NodeData(QTreeWidgetItem* node) const
{
    TFolderItemData* data = node && node->type() == TFolderNode::NodeType ? static_cast<TFolderNode*>(node)->Data.get() : nullptr;
    if (data)
        return data;
    if (RaiseOnMissingData)
        throw ENoFolderData(QString::fromLatin1(SNoFolderData));
    ShellDialogs().Error(const_cast<TSystemTreeView*>(this), QString::fromLatin1(SNoFolderData));
    return nullptr;
}

// ---- building

void TSystemTreeView::Reload()
{
    if (!m_handleAllocated)
        return;
    TBusyCursor busy;
    setUpdatesEnabled(false);
    StopWatching();
    setCurrentItem(nullptr);
    if (m_listView)
        m_listView->ForgetNode();
    clear();
    setUpdatesEnabled(true);

    const ShellFolderPtr desktop = SHGetDesktopFolder();
    if (!desktop)
        throw Exception(QStringLiteral("The desktop folder is not available."));
    ItemIDList rootId = m_rootFolder == TRootFolder::rfCustom ? ParsePath(desktop, m_customDir)
                                                             : SHGetSpecialFolderLocation(SpecialFolderOf(m_rootFolder));
    if (!rootId.IsNull()) {
        ItemIDList absolute = IDListConcat(ItemIDList(), rootId);
        // The root's record names it relative to the desktop, whatever its depth.
        QTreeWidgetItem* root = AddNode(desktop, std::move(absolute), nullptr, std::move(rootId));
        if (root && ExpandRoot)
            ExpandNode(root);
    }
    if (!m_pendingDirectory.isEmpty())
        SetDirectory(std::exchange(m_pendingDirectory, QString()));
}

QTreeWidgetItem* TSystemTreeView::AddNode(const ShellFolderPtr& folder, ItemIDList absolute, QTreeWidgetItem* parent, ItemIDList relative)
{
    QString caption = GetDisplayName(folder, relative).value_or(QString());
    if (!parent && m_rootFolder == TRootFolder::rfCustom && !m_customDirCaption.isEmpty())
        caption = m_customDirCaption;
    const quint32 attributes = folder->GetAttributesOf(relative, AttributeRequestMask);
    if (m_rootFolder == TRootFolder::rfFileSystem && !(attributes & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR)))
        return nullptr;
    if (!m_fileMask.isEmpty() && !(attributes & SFGAO_FOLDER) && !MatchesMaskList(caption, m_masks))
        return nullptr;

    auto* node = new TFolderNode;
    node->Data = std::make_unique<TFolderItemData>(TFolderItemData{false, folder, std::move(relative), std::move(absolute), attributes});
    node->setText(0, caption);
    node->setFlags(node->flags() | (attributes & SFGAO_CANRENAME ? Qt::ItemIsEditable : Qt::NoItemFlags));
    if (m_checkboxes)
        node->setCheckState(0, Qt::Unchecked);
    SetNodeIcons(node, *node->Data);
    bool hasChildren = attributes & SFGAO_HASSUBFOLDER;
    if (m_showFiles && !hasChildren)
        hasChildren = HasChildEntries(*node->Data);
    node->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (parent)
        parent->addChild(node);
    else
        addTopLevelItem(node);
    return node;
}

void TSystemTreeView::SetNodeIcons(QTreeWidgetItem* node, const TFolderItemData& data)
{
    auto [normal, open] = GetIconIndexes(data.AbsoluteID);
    if (open == 0 && normal != 0)
        open = normal;
    const bool folder = data.Attributes & SFGAO_FOLDER;
    const int image = folder ? normal : open;
    int overlay = -1;
    if (data.Attributes & SFGAO_SHARE)
        overlay = 0;
    if (data.Attributes & SFGAO_LINK)
        overlay = 1;
    node->setData(0, TFolderNode::ImageIndexRole, image);
    node->setData(0, TFolderNode::SelectedIndexRole, open);
    node->setData(0, TFolderNode::OverlayIndexRole, overlay);
    node->setIcon(0, TIconCache::Instance().Composed(image, open, overlay));
}

bool TSystemTreeView::HasChildEntries(const TFolderItemData& data) const
{
    const ShellFolderPtr folder = data.ParentFolder->BindToObject(data.RelativeID);
    if (!folder)
        return false;
    const auto items = folder->EnumObjects(SHCONTF_NONFOLDERS | (m_showHiddenDirs ? SHCONTF_INCLUDEHIDDEN : 0));
    return items && !items->Next().IsNull();
}

bool TSystemTreeView::PopulateNode(const ShellFolderPtr& folder, QTreeWidgetItem* node)
{
    TBusyCursor busy;
    const quint32 flags = SHCONTF_FOLDERS | (m_showHiddenDirs ? SHCONTF_INCLUDEHIDDEN : 0) | (m_showFiles ? SHCONTF_NONFOLDERS : 0);
    const auto items = folder ? folder->EnumObjects(flags) : nullptr;
    if (!items)
        return false;
    std::vector<ItemIDList> ids;
    for (ItemIDList id = items->Next(); !id.IsNull(); id = items->Next())
        ids.push_back(std::move(id));
    // Children arrive in name order, as the sort after expansion would leave them.
    std::sort(ids.begin(), ids.end(), [&](const ItemIDList& a, const ItemIDList& b) { return folder->CompareIDs(0, a, b) < 0; });
    const ItemIDList& parentId = static_cast<TFolderNode*>(node)->Data ? static_cast<TFolderNode*>(node)->Data->AbsoluteID : ItemIDList();
    for (ItemIDList& relative : ids) {
        ItemIDList absolute = IDListConcat(parentId, relative);
        AddNode(folder, std::move(absolute), node, std::move(relative));
    }
    return !ids.empty();
}

// ---- expansion

bool TSystemTreeView::CanExpand(QTreeWidgetItem* node)
{
    bool answer = true;
    TFolderItemData* data = static_cast<TFolderNode*>(node)->Data.get();
    if (data && !data->Enumerated) {
        ShellFolderPtr folder;
        if (node->parent() || m_rootFolder != TRootFolder::rfDesktop) {
            folder = data->ParentFolder->BindToObject(data->RelativeID);
            if (!folder)
                throw Exception(QStringLiteral("Cannot open the folder \"%1\".").arg(node->text(0)));
        } else {
            folder = SHGetDesktopFolder();
        }
        data->Enumerated = true;
        answer = PopulateNode(folder, node);
    }
    if (!answer) {
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
        return false;
    }
    DoPopulated(node);
    return true;
}

bool TSystemTreeView::ExpandNode(QTreeWidgetItem* node)
{
    if (!node)
        return false;
    if (node->isExpanded())
        return true;
    if (!CanExpand(node))
        return false;
    SetExpandedQuietly(node, true);
    return true;
}

void TSystemTreeView::SetExpandedQuietly(QTreeWidgetItem* node, bool expanded)
{
    const bool was = std::exchange(m_quietExpand, true);
    node->setExpanded(expanded);
    m_quietExpand = was;
}

void TSystemTreeView::OnItemExpanded(QTreeWidgetItem* node)
{
    if (m_quietExpand)
        return;
    // Expanded by the user: fill while collapsed (cheaper for big folders),
    // then open it again unless the check refused.
    SetExpandedQuietly(node, false);
    ExpandNode(node);
}

void TSystemTreeView::DoPopulated(QTreeWidgetItem* node)
{
    if (OnPopulated)
        OnPopulated(this, node);
}

int TSystemTreeView::TreeCompare(QTreeWidgetItem* a, QTreeWidgetItem* b) const
{
    if (a == b)
        return 0;
    if (!a)
        return -1;
    if (!b)
        return 1;
    const TFolderItemData* da = static_cast<TFolderNode*>(a)->Data.get();
    const TFolderItemData* db = static_cast<TFolderNode*>(b)->Data.get();
    if (!da || !db)
        return 0;
    return da->ParentFolder->CompareIDs(0, da->RelativeID, db->RelativeID);
}

void TSystemTreeView::CustomSort(const std::function<int(QTreeWidgetItem*, QTreeWidgetItem*)>& compare)
{
    const auto cmp = compare ? compare : [this](QTreeWidgetItem* a, QTreeWidgetItem* b) { return TreeCompare(a, b); };
    auto sortChildren = [&](auto&& self, QTreeWidgetItem* parent) -> void {
        QList<QTreeWidgetItem*> children = parent->takeChildren();
        std::stable_sort(children.begin(), children.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) { return cmp(a, b) < 0; });
        parent->addChildren(children);
        for (QTreeWidgetItem* child : children)
            if (child->childCount() > 0)
                self(self, child);
    };
    sortChildren(sortChildren, invisibleRootItem());
}

void TSystemTreeView::DeleteNode(QTreeWidgetItem* node)
{
    delete node; // the node's record goes with it
}

// ---- directory

QString TSystemTreeView::NodePath(QTreeWidgetItem* node) const
{
    const TFolderItemData* data = node && node->type() == TFolderNode::NodeType ? static_cast<TFolderNode*>(node)->Data.get() : nullptr;
    return data ? SHGetPathFromIDList(data->AbsoluteID) : QString();
}

QString TSystemTreeView::Directory() const
{
    return m_handleAllocated ? NodePath(currentItem()) : QString();
}

QString TSystemTreeView::RelativeToRoot(const QString& path) const
{
    switch (m_rootFolder) {
    case TRootFolder::rfDesktop:
    case TRootFolder::rfDrives:
    case TRootFolder::rfFileSystem:
        return path;
    default:
        break;
    }
    // Below any other root the path is taken relative to the root's own folder.
    const QString rootPath = NodePath(topLevelItem(0));
    if (rootPath.isEmpty())
        return path;
    if (path == rootPath)
        return QString();
    const QString prefix = rootPath.endsWith(QLatin1Char('/')) ? rootPath : rootPath + QLatin1Char('/');
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

void TSystemTreeView::SetDirectory(const QString& path)
{
    if (!m_handleAllocated) {
        m_pendingDirectory = path;
        return;
    }
    QTreeWidgetItem* root = topLevelItem(0);
    if (!root)
        return;
    ExpandNode(root);
    const TFolderItemData* rootData = static_cast<TFolderNode*>(root)->Data.get();
    if (!rootData)
        return;
    const QString text = RelativeToRoot(path);
    QTreeWidgetItem* target = nullptr;
    if (text.isEmpty() && m_rootFolder != TRootFolder::rfDesktop) {
        target = root;
    } else {
        const ShellFolderPtr folder = rootData->ParentFolder->BindToObject(rootData->RelativeID);
        const ItemIDList id = ParsePath(folder, text);
        if (id.IsNull())
            return;
        target = FindNodeForID(id);
    }
    setCurrentItem(target);
    scrollToItem(target);
}

QTreeWidgetItem* TSystemTreeView::FindNodeForID(const ItemIDList& id)
{
    QTreeWidgetItem* current = topLevelItem(0);
    if (id.IsNull() || id.IsEmpty() || !current)
        return current;
    ItemIDList rest = id;
    ItemIDList piece = IDListCopyFirst(rest);
    int index = 0;
    QTreeWidgetItem* candidate = current->child(index);
    while (candidate && !piece.IsNull()) {
        const TFolderItemData* data = static_cast<TFolderNode*>(candidate)->Data.get();
        if (!data || data->RelativeID.IsNull())
            break;
        if (data->ParentFolder->CompareIDs(0, data->RelativeID, piece) == 0) {
            current = candidate;
            rest = IDListNext(rest);
            if (rest.IsNull() || rest.IsEmpty())
                break;
            piece = IDListCopyFirst(rest);
            ExpandNode(current);
            index = 0;
            if (current->childCount() == 0)
                break;
        } else if (++index >= current->childCount()) {
            break;
        }
        candidate = current->child(index);
    }
    return current;
}

bool TSystemTreeView::IsDesktopNode(QTreeWidgetItem* node) const
{
    return m_rootFolder == TRootFolder::rfDesktop && node && node == topLevelItem(0);
}

// ---- selection and the list

void TSystemTreeView::ShowInList(QTreeWidgetItem* node)
{
    if (m_listView && node && static_cast<TFolderNode*>(node)->Data)
        m_listView->ShowFolder(node, IsDesktopNode(node));
}

void TSystemTreeView::OnCurrentChanged(QTreeWidgetItem* node)
{
    if (m_destroying)
        return;
    TBusyCursor busy;
    if (node && !node->isSelected())
        node->setSelected(true);
    emit Changed(node);
    ShowInList(node);
    if (node)
        StartWatching(node);
    else
        StopWatching();
}

void TSystemTreeView::SelectChildByID(const ItemIDList& relative)
{
    QTreeWidgetItem* selected = currentItem();
    if (relative.IsNull() || !selected || !static_cast<TFolderNode*>(selected)->Data)
        return;
    ExpandNode(selected);
    const TFolderItemData* data = static_cast<TFolderNode*>(selected)->Data.get();
    if (&data->RelativeID == &relative)
        return;
    for (int i = 0; i < selected->childCount(); ++i) {
        const TFolderItemData* child = static_cast<TFolderNode*>(selected->child(i))->Data.get();
        if (child && IDListEqual(child->RelativeID, relative)) {
            setCurrentItem(selected->child(i));
            return;
        }
    }
}

// ---- watching

QTreeWidgetItem* TSystemTreeView::WatchedNode() const
{
    return m_watched.isValid() ? itemFromIndex(m_watched) : nullptr;
}

void TSystemTreeView::StopWatching()
{
    if (m_watcher)
        m_watcher->Terminate();
    m_watcher = nullptr;
    m_watched = QPersistentModelIndex();
}

void TSystemTreeView::StartWatching(QTreeWidgetItem* node)
{
    StopWatching();
    QString path = NodePath(node);
    if (m_showFiles && QFileInfo(path).isFile())
        path = QFileInfo(path).path() + QLatin1Char('/');
    if (path.isEmpty())
        return;
    m_watched = QPersistentModelIndex(indexFromItem(node));
    m_watcher = new TFileChangeThread(path, false, TFileChangeFilter::fcDirName, [this](TFileChangeThread* watcher) {
        if (watcher == m_watcher)
            FolderChanged();
    });
}

void TSystemTreeView::FolderChanged()
{
    m_watcher = nullptr;
    QTreeWidgetItem* watched = WatchedNode();
    QString path = NodePath(watched);
    if (path.isEmpty())
        return;
    auto refreshKeepingState = [this](QTreeWidgetItem* node) {
        const bool wasExpanded = node->isExpanded();
        RefreshNode(node);
        if (wasExpanded) {
            ExpandNode(node);
            scrollToItem(node);
        }
    };
    const QFileInfo info(path);
    if (info.isDir()) {
        m_watched = QPersistentModelIndex();
        refreshKeepingState(watched);
        StartWatching(watched);
    } else if (info.exists()) {
        StartWatching(watched->parent());
    } else if (QTreeWidgetItem* parent = watched->parent()) {
        // The watched folder has gone: show its parent.
        m_watched = QPersistentModelIndex();
        refreshKeepingState(parent);
        setCurrentItem(parent);
        if (currentItem() == parent && !m_watcher)
            StartWatching(parent);
    }
}

void TSystemTreeView::RefreshNode(QTreeWidgetItem* node)
{
    if (!node)
        return;
    TBusyCursor busy;
    if (IsDescendant(currentItem(), node))
        setCurrentItem(node);
    const bool wasExpanded = node->isExpanded();
    SetExpandedQuietly(node, false);
    for (QTreeWidgetItem* child : node->takeChildren())
        DeleteNode(child);
    node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (TFolderItemData* data = static_cast<TFolderNode*>(node)->Data.get()) {
        data->Enumerated = false;
        if (CanExpand(node)) {
            node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
            if (wasExpanded)
                SetExpandedQuietly(node, true);
        }
    }
    if (node == currentItem())
        ShowInList(node);
}

// ---- renaming

bool TSystemTreeView::RenameNode(QTreeWidgetItem* node, const QString& newName)
{
    TFolderItemData* data = NodeData(node);
    if (!data || !(data->Attributes & SFGAO_CANRENAME))
        return false;
    QString error;
    ItemIDList renamed = data->ParentFolder->SetNameOf(data->RelativeID, newName, &error);
    if (renamed.IsNull()) {
        ShellDialogs().Error(this, QStringLiteral("Cannot rename \"%1\": %2").arg(node->text(0), error));
        return false;
    }
    const TFolderItemData* parentData = node->parent() ? static_cast<TFolderNode*>(node->parent())->Data.get() : nullptr;
    data->AbsoluteID = IDListConcat(parentData ? parentData->AbsoluteID : ItemIDList(), renamed);
    data->RelativeID = std::move(renamed);
    node->setText(0, newName);
    // The children's ids still name the old path: list them again.
    if (data->Enumerated)
        RefreshNode(node);
    else if (node == currentItem())
        ShowInList(node);
    if (node == currentItem())
        StartWatching(node);
    return true;
}

void TSystemTreeView::BeginRename()
{
    if (QTreeWidgetItem* node = currentItem(); node && (node->flags() & Qt::ItemIsEditable))
        editItem(node, 0);
}

void TSystemTreeView::ContentsChanged()
{
    if (QTreeWidgetItem* node = currentItem()) {
        QTreeWidgetItem* refresh = node->parent() ? node->parent() : node;
        const bool wasExpanded = refresh->isExpanded();
        RefreshNode(refresh);
        if (wasExpanded)
            ExpandNode(refresh);
    }
}

// ---- mouse

bool TSystemTreeView::ShowContextMenu(QTreeWidgetItem* node, const QPoint& screenPoint)
{
    const TFolderItemData* data = NodeData(node);
    if (!data || data->RelativeID.IsNull())
        return false;
    return DisplayContextMenu(data->ParentFolder, {data->RelativeID}, data->Attributes, screenPoint, this);
}

void TSystemTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    Guarded([&] {
        bool handled = false;
        const QPoint pos = event->reason() == QContextMenuEvent::Mouse ? event->pos() : visualItemRect(currentItem()).center();
        if (PopupMenuMethod == TPopupMenuMethod::pmmContext || PopupMenuMethod == TPopupMenuMethod::pmmContextUser) {
            if (QTreeWidgetItem* node = itemAt(pos)) {
                setCurrentItem(node);
                handled = ShowContextMenu(node, viewport()->mapToGlobal(pos));
            }
        }
        if (!handled && PopupMenu
            && (PopupMenuMethod == TPopupMenuMethod::pmmUser || PopupMenuMethod == TPopupMenuMethod::pmmContextUser))
            PopupMenu->popup(viewport()->mapToGlobal(pos));
    })();
}

void TSystemTreeView::mouseMoveEvent(QMouseEvent* event)
{
    QTreeWidget::mouseMoveEvent(event);
    if (Autoscroll)
        Guarded([&] { DoAutoScroll(event->position().toPoint().x(), event->position().toPoint().y()); })();
}

void TSystemTreeView::DoAutoScroll(int x, int y)
{
    ScrollNearEdge(this, x, y);
}
