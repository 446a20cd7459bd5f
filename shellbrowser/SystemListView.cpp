#include "shellbrowser/SystemListView.h"
#include "net/ErrorBoundary.h"
#include "shellbrowser/IconCache.h"
#include "shellbrowser/MaskSearch.h"
#include "shellbrowser/ShellDialogs.h"
#include "shellbrowser/SystemTreeView.h"
#include "shellbrowser/ViewHelpers.h"
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDragMoveEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QStackedLayout>
#include <QTreeView>

namespace {
// The user's short date, a space and the time with seconds (no zone name).
QString DateTimeFormat()
{
    const QLocale locale = QLocale::system();
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time.trimmed();
}

QString SizeText(qint64 size)
{
    return QString::number((quint64(size) + 1023) >> 10) + QStringLiteral(" KB");
}

template <class View>
void PrepareView(View* view, TRenameDelegate* delegate)
{
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    view->setDragEnabled(true);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDefaultDropAction(Qt::CopyAction);
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->setItemDelegate(delegate);
    view->viewport()->setMouseTracking(true);
}
}

TSystemListView::TSystemListView(QWidget* parent)
    : QWidget(parent)
    , m_model(new TFolderListModel(this, [this](int row, const QString& name) { RenameItem(row, name); }))
    , m_stack(new QStackedLayout(this))
    , m_report(new QTreeView(this))
    , m_icons(new QListView(this))
{
    setObjectName(QStringLiteral("SystemListView"));
    m_report->setObjectName(QStringLiteral("SystemListViewReport"));
    m_icons->setObjectName(QStringLiteral("SystemListViewIcons"));
    m_report->setModel(m_model);
    m_icons->setModel(m_model);
    m_icons->setSelectionModel(m_report->selectionModel());
    auto* delegate = new TRenameDelegate(this, [this](const QModelIndex& index, const QString& text) { RenameItem(index.row(), text); });
    PrepareView(m_report, delegate);
    PrepareView(m_icons, delegate);
    m_report->setRootIsDecorated(false);
    m_report->setItemsExpandable(false);
    m_report->setUniformRowHeights(true);
    m_report->setAllColumnsShowFocus(true);
    m_report->setSortingEnabled(false);
    m_report->header()->setSectionsClickable(true);
    m_report->header()->setSortIndicatorShown(false);
    m_report->header()->setStretchLastSection(false);
    m_icons->setUniformItemSizes(true);
    m_icons->setLayoutMode(QListView::Batched);
    m_icons->setBatchSize(2000);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(QListView::Static);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_icons);
    m_stack->addWidget(m_report);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_report), static_cast<QAbstractItemView*>(m_icons)}) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::activated, this, Guarded([this](const QModelIndex& index) { DblClick(index.row()); }));
    }
    connect(m_report->header(), &QHeaderView::sectionClicked, this, Guarded([this](int column) { ColumnClick(column); }));
    connect(m_report->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { emit SelectionChanged(); });
    SetViewStyle(TViewStyle::vsIcon);
    CreateColumns(m_columnType);
    // A tree on the same form that has no list yet links itself to this one.
    if (parent)
        for (TSystemTreeView* tree : parent->window()->findChildren<TSystemTreeView*>())
            if (!tree->ListView()) {
                SetTreeView(tree);
                break;
            }
}

TSystemListView::~TSystemListView()
{
    // The views outlive this part of the object; they must not call back.
    m_report->selectionModel()->disconnect(this);
    m_report->header()->disconnect(this);
    m_report->disconnect(this);
    m_icons->disconnect(this);
    m_report->viewport()->removeEventFilter(this);
    m_icons->viewport()->removeEventFilter(this);
    m_report->removeEventFilter(this);
    m_icons->removeEventFilter(this);
}

// ---- properties

void TSystemListView::SetColumnType(TColumnType type)
{
    if (std::exchange(m_columnType, type) != type)
        CreateColumns(type);
}

void TSystemListView::SetShowHiddenFiles(bool show)
{
    if (std::exchange(m_showHiddenFiles, show) != show)
        Repopulate();
}

void TSystemListView::SetShowFolders(bool show)
{
    if (std::exchange(m_showFolders, show) != show)
        Repopulate();
}

void TSystemListView::SetFileMask(const QString& mask)
{
    m_fileMask = mask;
    ParseMaskString(mask, m_masks);
    Repopulate();
}

void TSystemListView::SetTreeView(TSystemTreeView* tree)
{
    if (m_treeView == tree)
        return;
    if (!tree) {
        m_model->Clear();
        ForgetNode();
    }
    m_treeView = tree;
    if (tree)
        tree->SetListView(this);
}

void TSystemListView::SetTag(int tag)
{
    m_tag = tag;
    setProperty("Tag", tag);
}

bool TSystemListView::MultiSelect() const
{
    return m_report->selectionMode() == QAbstractItemView::ExtendedSelection;
}

void TSystemListView::SetMultiSelect(bool on)
{
    const auto mode = on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    m_report->setSelectionMode(mode);
    m_icons->setSelectionMode(mode);
}

void TSystemListView::SetViewStyle(TViewStyle style)
{
    m_viewStyle = style;
    if (style == TViewStyle::vsReport) {
        m_stack->setCurrentWidget(m_report);
        return;
    }
    const bool large = style == TViewStyle::vsIcon;
    m_icons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_icons->setFlow(style == TViewStyle::vsList ? QListView::TopToBottom : QListView::LeftToRight);
    m_icons->setWrapping(true);
    m_icons->setWordWrap(large);
    m_icons->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    const int line = fontMetrics().height() + 6;
    m_icons->setGridSize(large ? QSize(100, 44 + 2 * fontMetrics().height()) : QSize(style == TViewStyle::vsList ? 220 : 170, line));
    m_icons->setMovement(QListView::Static);
    m_icons->setResizeMode(QListView::Adjust);
    // Icons wrap their captions over two lines; every entry needs its own size.
    m_icons->setUniformItemSizes(style == TViewStyle::vsList);
    m_stack->setCurrentWidget(m_icons);
}

QAbstractItemView* TSystemListView::ActiveView() const
{
    return m_viewStyle == TViewStyle::vsReport ? static_cast<QAbstractItemView*>(m_report) : m_icons;
}

// ---- entries

QString TSystemListView::ItemCaption(int row) const
{
    const TListEntry* entry = Item(row);
    return entry ? entry->Caption : QString();
}

bool TSystemListView::ItemSelected(int row) const
{
    return m_report->selectionModel()->isRowSelected(row, QModelIndex());
}

void TSystemListView::SetItemSelected(int row, bool selected)
{
    const QItemSelection range(m_model->index(row, 0), m_model->index(row, m_model->columnCount() - 1));
    m_report->selectionModel()->select(range, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

int TSystemListView::SelCount() const
{
    return int(m_report->selectionModel()->selectedRows().size());
}

std::vector<int> TSystemListView::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : m_report->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

TFolderItemData* TSystemListView::ItemData(int row) const
{
    const TListEntry* entry = Item(row);
    if (entry && entry->Data)
        return entry->Data.get();
    if (RaiseOnMissingData)
        throw ENoFolderData(QString::fromLatin1(SNoFolderData));
    ShellDialogs().Error(const_cast<TSystemListView*>(this), QString::fromLatin1(SNoFolderData));
    return nullptr;
}

QString TSystemListView::GetItemPath(int row) const
{
    const TListEntry* entry = Item(row);
    if (!entry || !entry->Data)
        return {};
    QString path = SHGetPathFromIDList(entry->Data->AbsoluteID);
    if (!path.isEmpty() && (entry->Data->Attributes & SFGAO_FOLDER) && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

// ---- window

void TSystemListView::HandleNeeded()
{
    if (m_handleAllocated)
        return;
    m_handleAllocated = true;
    CreateColumns(m_columnType);
    if (m_fillPending)
        Repopulate();
}

void TSystemListView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Guarded([this] { HandleNeeded(); })();
}

void TSystemListView::RecreateWnd()
{
    if (!m_handleAllocated)
        return;
    CreateColumns(m_columnType);
    Repopulate();
}

void TSystemListView::CreateColumns(TColumnType type)
{
    RememberColumnWidths();
    const auto right = Qt::AlignRight;
    const auto center = Qt::AlignHCenter;
    const int* w = m_widths;
    std::vector<TListColumn> columns;
    switch (type) {
    case TColumnType::ctFileSystem:
        columns = {{"Name", w[0]}, {"Size", w[1], right}, {"Type", w[2]}, {"Modified", w[3]}};
        break;
    case TColumnType::ctMachine:
        columns = {{"Name", w[0]}, {"Type", w[1]}, {"Total Size", w[2], right}, {"Free Space", w[3], right}};
        break;
    case TColumnType::ctControlPanel: columns = {{"Name", w[0]}, {"Description", w[1]}}; break;
    case TColumnType::ctPrinters:
        columns = {{"Name", w[0]}, {"Documents", w[1], center}, {"Status", w[2]}, {"Comment", w[3]}};
        break;
    case TColumnType::ctDUNet: columns = {{"Entry name", w[0]}, {"Phone #", w[1], right}, {"Device name", w[2]}}; break;
    case TColumnType::ctNetwork: columns = {{"Name", w[0]}, {"Comment", w[1]}}; break;
    case TColumnType::ctUser:
        if (OnCreateColumns) {
            OnCreateColumns(this);
            return;
        }
        m_columnType = TColumnType::ctUnknown;
        [[fallthrough]];
    case TColumnType::ctUnknown: columns = {{"Name", w[0]}}; break;
    }
    m_model->SetColumns(std::move(columns));
    ApplyColumnWidths();
}

void TSystemListView::ApplyColumnWidths()
{
    const auto& columns = m_model->Columns();
    for (size_t i = 0; i < columns.size(); ++i)
        m_report->setColumnWidth(int(i), m_columnWidths.value(columns[i].Caption,
                                                              ScaledDesignWidth(m_report, columns[i].Width)));
}

void TSystemListView::RememberColumnWidths()
{
    m_columnWidths = ColumnWidths();
}

QMap<QString, int> TSystemListView::ColumnWidths() const
{
    QMap<QString, int> widths = m_columnWidths;
    const auto& columns = m_model->Columns();
    for (size_t i = 0; i < columns.size(); ++i)
        if (const int width = m_report->columnWidth(int(i)); width > 0)
            widths.insert(columns[i].Caption, width);
    return widths;
}

void TSystemListView::SetColumnWidths(const QMap<QString, int>& widths)
{
    m_columnWidths.insert(widths);
    ApplyColumnWidths();
}

// ---- filling

void TSystemListView::ShowFolder(QTreeWidgetItem* node, bool desktop)
{
    const TFolderItemData* data = node && node->type() == TFolderNode::NodeType ? static_cast<TFolderNode*>(node)->Data.get() : nullptr;
    if (!data)
        return;
    m_current = std::make_unique<TFolderItemData>(*data);
    m_currentHasParent = node->parent() != nullptr;
    m_desktop = desktop;
    Fill();
}

void TSystemListView::Repopulate()
{
    if (m_current)
        Fill();
}

void TSystemListView::ForgetNode()
{
    m_current.reset();
}

void TSystemListView::Fill()
{
    if (!m_handleAllocated) {
        m_fillPending = true;
        return;
    }
    m_fillPending = false;
    TBusyCursor busy;
    RememberColumnWidths();
    m_report->selectionModel()->clear();
    ShellFolderPtr folder;
    TColumnType type = TColumnType::ctFileSystem;
    if (m_desktop) {
        folder = SHGetDesktopFolder();
    } else {
        const quint32 fs = m_current->ParentFolder->GetAttributesOf(m_current->RelativeID, SFGAO_FILESYSTEM);
        type = fs & SFGAO_FILESYSTEM ? TColumnType::ctFileSystem : TColumnType::ctUnknown;
        folder = m_current->ParentFolder->BindToObject(m_current->RelativeID);
    }
    if (m_columnType != TColumnType::ctUser)
        SetColumnType(type);
    m_dateFormat = DateTimeFormat();
    m_model->BeginFill();
    if (folder)
        EnumerateFolder(folder);
    CustomSort(0);
    m_model->EndFill();
    ApplyColumnWidths();
    DoPopulated();
}

bool TSystemListView::EnumerateFolder(const ShellFolderPtr& folder)
{
    if (!folder)
        return false;
    TBusyCursor busy;
    const quint32 flags = SHCONTF_NONFOLDERS | (m_showHiddenFiles ? SHCONTF_INCLUDEHIDDEN : 0) | (m_showFolders ? SHCONTF_FOLDERS : 0);
    const auto items = folder->EnumObjects(flags);
    if (!items)
        return false;
    bool found = false;
    for (ItemIDList relative = items->Next(); !relative.IsNull(); relative = items->Next()) {
        found = true;
        ItemIDList absolute = m_current ? IDListConcat(m_current->AbsoluteID, relative) : IDListConcat(ItemIDList(), relative);
        AddItem(folder, std::move(absolute), std::move(relative));
    }
    return found;
}

TListEntry* TSystemListView::AddItem(const ShellFolderPtr& folder, ItemIDList absolute, ItemIDList relative)
{
    const std::optional<QString> name = GetDisplayName(folder, relative);
    if (!name)
        return nullptr;
    const quint32 attributes = folder->GetAttributesOf(relative, AttributeRequestMask);
    if (!m_fileMask.isEmpty() && !(attributes & SFGAO_FOLDER) && !MatchesMaskList(*name, m_masks))
        return nullptr;
    auto entry = std::make_unique<TListEntry>();
    entry->ImageIndex = GetIconIndexes(absolute).first;
    entry->Caption = *name;
    if (attributes & SFGAO_SHARE)
        entry->OverlayIndex = 0;
    if ((attributes & SFGAO_LINK) && m_currentHasParent)
        entry->OverlayIndex = 1; // a link shows its own file name, which on Linux is its display name
    entry->Data = std::make_unique<TFolderItemData>(TFolderItemData{false, folder, relative, std::move(absolute), attributes});
    if (OnAddListItem)
        OnAddListItem(this, entry.get());
    else
        FillSubItems(*entry, folder, relative);
    TListEntry* added = entry.get();
    m_model->Append(std::move(entry));
    return added;
}

void TSystemListView::FillSubItems(TListEntry& entry, const ShellFolderPtr& folder, const ItemIDList& relative)
{
    const QString path = folder->GetPathOf(relative);
    if (path.isEmpty())
        return;
    const std::optional<TFileDetails> details = folder->GetDetailsOf(relative);
    const bool removableRoot = (entry.Data->Attributes & SFGAO_REMOVABLE) != 0;
    const bool folderLike = details && details->IsFolder;
    entry.SubItems << (details && details->IsRegular ? SizeText(details->Size) : QString());
    entry.SubItems << FileTypeName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1), folderLike);
    entry.SubItems << (details && !removableRoot ? QLocale::system().toString(QDateTime::fromMSecsSinceEpoch(details->ModifiedMs), m_dateFormat)
                                                 : QString());
}

void TSystemListView::DoPopulated()
{
    if (OnPopulated)
        OnPopulated(this);
}

// ---- sorting

namespace {
// What ordering reads of an entry, gathered once so a sort of many entries
// compares small contiguous records instead of chasing pointers.
struct SortKey {
    int row = 0;
    bool hasRecord = false;
    bool folderLike = false;
    TShellFolder* folder = nullptr;
    ItemIDList relative;
};

SortKey KeyOf(const TListEntry* entry, int row)
{
    SortKey key;
    key.row = row;
    if (entry && entry->Data) {
        key.hasRecord = true;
        key.folderLike = IsFolderLike(entry->Data.get());
        key.folder = entry->Data->ParentFolder.get();
        key.relative = entry->Data->RelativeID;
    }
    return key;
}

int CompareKeys(const SortKey& a, const SortKey& b, quint32 data)
{
    if (!a.hasRecord || !b.hasRecord)
        return 0;
    int result = 0;
    if (a.folderLike != b.folderLike)
        result = a.folderLike ? -1 : 1;
    else
        result = a.folder->CompareIDs(int(data & 0xFFFF), a.relative, b.relative);
    return (data >> 16) != 0 ? -result : result;
}
}

int TSystemListView::ListCompare(const TListEntry* a, const TListEntry* b, quint32 data)
{
    if (a == b)
        return 0;
    if (!a)
        return -1;
    if (!b)
        return 1;
    return CompareKeys(KeyOf(a, 0), KeyOf(b, 1), data);
}

void TSystemListView::CustomSort(quint32 data)
{
    std::vector<SortKey> keys;
    keys.reserve(size_t(ItemCount()));
    for (int row = 0; row < ItemCount(); ++row)
        keys.push_back(KeyOf(Item(row), row));
    std::stable_sort(keys.begin(), keys.end(), [data](const SortKey& a, const SortKey& b) { return CompareKeys(a, b, data) < 0; });
    std::vector<int> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].row;
    m_model->Reorder(order);
}

void TSystemListView::ColumnClick(int column)
{
    const bool descending = column == m_sortColumn ? !m_descending : false;
    CustomSort(quint32(column) | (descending ? 0xFFFF0000u : 0));
    m_sortColumn = column;
    m_descending = descending;
    m_report->header()->setSortIndicatorShown(true);
    m_report->header()->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

// ---- commands

void TSystemListView::DblClick(int row)
{
    if (OnDblClick) {
        OnDblClick(this);
        return;
    }
    const TFolderItemData* data = ItemData(row);
    if (!data || data->RelativeID.IsNull())
        return;
    if (IsFolderLike(data) && m_treeView) {
        QString path = GetItemPath(row);
        if (!path.isEmpty()) {
            while (path.endsWith(QLatin1String("//")))
                path.chop(1);
            m_treeView->SetDirectory(path.size() > 1 && path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path);
        } else {
            m_treeView->SelectChildByID(data->RelativeID);
        }
        return;
    }
    DefaultAction(data->ParentFolder, {data->RelativeID}, data->Attributes, this);
}

bool TSystemListView::RenameItem(int row, const QString& newName)
{
    TListEntry* entry = Item(row);
    TFolderItemData* data = ItemData(row);
    if (!data || !(data->Attributes & SFGAO_CANRENAME))
        return false;
    QString error;
    ItemIDList renamed = data->ParentFolder->SetNameOf(data->RelativeID, newName, &error);
    if (renamed.IsNull()) {
        ShellDialogs().Error(this, QStringLiteral("Cannot rename \"%1\": %2").arg(entry->Caption, error));
        return false;
    }
    data->AbsoluteID = IDListConcat(m_current ? m_current->AbsoluteID : ItemIDList(), renamed);
    data->RelativeID = std::move(renamed);
    entry->Caption = newName;
    m_model->EntryChanged(row);
    return true;
}

void TSystemListView::BeginRename()
{
    QAbstractItemView* view = ActiveView();
    if (view->currentIndex().isValid())
        view->edit(view->currentIndex().siblingAtColumn(0));
}

void TSystemListView::ContentsChanged()
{
    Repopulate();
}

void TSystemListView::RunVerbOnSelection(const QString& verb)
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || !Item(rows.front())->Data)
        return;
    std::vector<ItemIDList> ids;
    for (const int row : rows)
        if (const TListEntry* entry = Item(row); entry->Data && !entry->Data->RelativeID.IsNull())
            ids.push_back(entry->Data->RelativeID);
    const ShellFolderPtr folder = Item(rows.front())->Data->ParentFolder; // the entries may be refilled meanwhile
    InvokeVerb(folder, ids, verb, this);
}

// ---- context menu

bool TSystemListView::ShowContextMenu(int row, const QPoint& screenPoint)
{
    const TListEntry* entry = Item(row);
    if (!entry || !entry->Data || entry->Data->RelativeID.IsNull())
        return false;
    return DisplayContextMenu(entry->Data->ParentFolder, {entry->Data->RelativeID}, entry->Data->Attributes, screenPoint, this);
}

bool TSystemListView::ShowMultiContextMenu(const QPoint& screenPoint)
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return false;
    const TListEntry* first = Item(rows.front());
    if (!first->Data || first->Data->RelativeID.IsNull())
        return false;
    std::vector<ItemIDList> ids;
    for (const int row : rows)
        if (const TListEntry* entry = Item(row); entry->Data && !entry->Data->RelativeID.IsNull())
            ids.push_back(entry->Data->RelativeID);
    return DisplayContextMenu(first->Data->ParentFolder, ids, first->Data->Attributes, screenPoint, this);
}

void TSystemListView::HandleContextMenu(const QPoint& viewportPos, QAbstractItemView* view)
{
    bool handled = false;
    const QPoint screen = view->viewport()->mapToGlobal(viewportPos);
    if (PopupMenuMethod == TPopupMenuMethod::pmmContext || PopupMenuMethod == TPopupMenuMethod::pmmContextUser) {
        const QModelIndex index = view->indexAt(viewportPos);
        if (index.isValid()) {
            if (ItemSelected(index.row())) {
                handled = ShowMultiContextMenu(screen);
            } else {
                SetItemSelected(index.row(), true);
                handled = ShowContextMenu(index.row(), screen);
            }
        }
    }
    if (!handled && PopupMenu && (PopupMenuMethod == TPopupMenuMethod::pmmUser || PopupMenuMethod == TPopupMenuMethod::pmmContextUser))
        PopupMenu->popup(screen);
}

// ---- events of the two views

TSystemListView* TSystemListView::FromDragSource(QObject* source)
{
    for (QObject* o = source; o; o = o->parent())
        if (auto* list = qobject_cast<TSystemListView*>(o))
            return list;
    return nullptr;
}

QObject* TSystemListView::ResolveSource(QObject* source) const
{
    TSystemListView* list = FromDragSource(source);
    return list ? list : source;
}

bool TSystemListView::HandleDrag(QEvent* event)
{
    auto* drop = static_cast<QDropEvent*>(event);
    QObject* source = ResolveSource(drop->source());
    bool accept = false;
    if (event->type() == QEvent::Drop) {
        if (OnDragOver)
            OnDragOver(source, accept);
        if (accept && OnDragDrop) {
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            OnDragDrop(source);
            return true;
        }
    } else if (OnDragOver) {
        OnDragOver(source, accept);
    }
    if (accept) {
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
    } else {
        drop->ignore();
    }
    return true;
}

bool TSystemListView::eventFilter(QObject* watched, QEvent* event)
{
    auto* view = qobject_cast<QAbstractItemView*>(watched == m_report->viewport() ? m_report : watched == m_icons->viewport() ? m_icons : watched);
    if (!view || (view != m_report && view != m_icons))
        return QWidget::eventFilter(watched, event);
    bool handled = false;
    Guarded([&] {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            handled = watched == view->viewport() && HandleDrag(event);
            break;
        case QEvent::ContextMenu:
            if (watched == view->viewport()) {
                auto* menuEvent = static_cast<QContextMenuEvent*>(event);
                const QPoint pos = menuEvent->reason() == QContextMenuEvent::Mouse ? menuEvent->pos() : view->visualRect(view->currentIndex()).center();
                HandleContextMenu(pos, view);
                handled = true;
            }
            break;
        case QEvent::MouseMove:
            if (Autoscroll && watched == view->viewport()) {
                const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
                DoAutoScroll(pos.x(), pos.y());
            }
            break;
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (watched == view && key->key() == Qt::Key_Delete) {
                RunVerbOnSelection(key->modifiers() & Qt::ShiftModifier ? QStringLiteral("actDelete") : QStringLiteral("actTrash"));
                handled = true;
            }
            break;
        }
        default:
            break;
        }
    })();
    return handled || QWidget::eventFilter(watched, event);
}

void TSystemListView::DoAutoScroll(int x, int y)
{
    ScrollNearEdge(ActiveView(), x, y);
}
