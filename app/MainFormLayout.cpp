#include "app/Hints.h"
#include "app/HostDlg.h"
#include "app/ListItems.h"
#include "app/MainForm.h"
#include "app/StatusBar.h"
#include "shellbrowser/ViewHelpers.h"
#include <QApplication>
#include <QButtonGroup>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
template <class T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QFrame* Panel(QWidget* parent, const char* name, int fixedHeight = 0)
{
    auto* panel = Named(new QFrame(parent), name);
    if (fixedHeight > 0)
        panel->setMinimumHeight(fixedHeight);
    return panel;
}

QHBoxLayout* ButtonRow(QFrame* row)
{
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(2);
    return layout;
}

QVBoxLayout* Column(QWidget* widget)
{
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

QIcon Icon(const char* themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(themeName), QApplication::style()->standardIcon(fallback));
}

// "Courier New" where the system has it, else the system's fixed-width font.
QFont LogFont()
{
    QFont font(QStringLiteral("Courier New"), 8);
    if (!QFontDatabase::families().contains(font.family())) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
        font.setPointSize(8);
    }
    return font;
}

QTreeWidget* ReportList(QWidget* parent, const char* name, const QList<QPair<QString, int>>& columns)
{
    auto* list = Named(new QTreeWidget(parent), name);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    QStringList titles;
    for (const auto& column : columns)
        titles << column.first;
    list->setHeaderLabels(titles);
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].second > 0)
            list->setColumnWidth(i, ScaledDesignWidth(list, columns[i].second));
    list->setSortingEnabled(true);
    list->sortByColumn(0, Qt::AscendingOrder);
    // Kept in order of the caption; the header does not re-sort by other columns.
    list->header()->setSectionsClickable(false);
    list->header()->setSortIndicatorShown(false);
    return list;
}

// Only the host name, the row's caption, is edited in place.
class CaptionOnlyDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return index.column() == 0 ? QStyledItemDelegate::createEditor(parent, option, index) : nullptr;
    }
};
}

void TMainForm::CreateLayout()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Ferrit"));
    // The left pane widens with the font, like the columns of its file list.
    const int explorerWidth = ScaledDesignWidth(this, 300);
    resize(660 + explorerWidth, 620);
    CreateImageLists();

    auto* central = new QWidget(this);
    auto* column = Column(central);
    CreateToolBar();
    column->addWidget(CoolBar1);

    splApp = Named(new QSplitter(Qt::Horizontal, central), "splApp");
    splApp->setHandleWidth(4);
    splApp->setChildrenCollapsible(false);
    splApp->addWidget(CreateExplorer());
    splRemote = Named(new QSplitter(Qt::Vertical, splApp), "splRemote");
    splRemote->setHandleWidth(4);
    splRemote->setChildrenCollapsible(false);
    pgctlFTP = Named(new QTabWidget(splRemote), "pgctlFTP");
    SetAccessible(pgctlFTP, QStringLiteral("FTP pages"));
    pgctlFTP->addTab(CreateStatusPage(), QStringLiteral("Status"));
    pgctlFTP->addTab(CreateListingPage(), QStringLiteral("Listing"));
    splRemote->addWidget(pgctlFTP);
    splRemote->addWidget(CreateQueuePane());
    splRemote->setStretchFactor(0, 1);
    splRemote->setSizes({420, 170});
    splApp->addWidget(splRemote);
    splApp->setStretchFactor(1, 1);
    splApp->setSizes({explorerWidth, 656});
    column->addWidget(splApp, 1);
    setCentralWidget(central);

    StatusBar1 = Named(new TStatusBar(this), "StatusBar1");
    setStatusBar(StatusBar1);
    SetTabOrder();
}

// Tab goes through the panes from left to right and top to bottom, and within a pane
// from its view to the buttons that act on what is chosen there; the tool bar closes
// the round. Controls of the hidden page and disabled ones are passed over.
void TMainForm::SetTabOrder()
{
    const QList<QWidget*> order = {
        SystemTreeView, SystemListView->ReportView(), SystemListView->IconView(),
        sbtnLargeIcons, sbtnSmall, sbtnList, sbtnDetails, sbtnUpload,
        pgctlFTP, pgctlFTP->tabBar(),
        lvSites, sbtnAdd, sbtnDelete, sbtnEdit, sbtnConnect, sbtnDisconnect,
        edtFTPCommand, sbtnExecute, sbtn, mmoStatus,
        cbRemotePath, lvRemoteFiles, sbtnRefresh, sbtnDownload, sbtnDeleteFile, sbtnRename, sbtnMkDir, sbtnASCII, sbtnBinary,
        QueueView, sbtnCancelTransfer, sbtnCancelAllTransfers, sbtnRetryFailed, sbtnRemoveFinished,
        tbtnClose, btnStop, tbtnAbout};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    // The window opens on the host list: choose a host, Enter connects.
    lvSites->setFocus();
}

void TMainForm::CreateImageLists()
{
    imglstButtons = {Icon("window-close-symbolic", QStyle::SP_DialogCloseButton),
                     Icon("process-stop-symbolic", QStyle::SP_BrowserStop),
                     Icon("help-about-symbolic", QStyle::SP_MessageBoxInformation)};
}

void TMainForm::CreateToolBar()
{
    CoolBar1 = Panel(nullptr, "CoolBar1");
    CoolBar1->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto* row = ButtonRow(CoolBar1);
    tbrStandard = Named(new QToolBar(CoolBar1), "tbrStandard");
    tbrStandard->setMinimumHeight(26);
    tbrStandard->setIconSize({20, 20});
    tbrStandard->setMovable(false);
    row->addWidget(tbrStandard);

    const auto toolButton = [this](const char* name, int image, const QString& hint) {
        auto* button = Named(new QToolButton(tbrStandard), name);
        button->setIcon(imglstButtons.at(image));
        button->setAutoRaise(true);
        SetHint(button, hint);
        tbrStandard->addWidget(button);
        return button;
    };
    tbtnClose = toolButton("tbtnClose", 0, QStringLiteral("Close|Close this application"));
    ToolButton1 = Named(new QWidget(tbrStandard), "ToolButton1");
    ToolButton1->setFixedWidth(8);
    tbrStandard->addWidget(ToolButton1);
    btnStop = toolButton("btnStop", 1, QStringLiteral("Stop|Interrupt the current action"));
    tbtnAbout = toolButton("tbtnAbout", 2, QStringLiteral("About|Show information about this application"));
}

QToolButton* TMainForm::SpeedButton(QWidget* row, const char* name, const QString& hint, const QIcon& icon,
                                    bool withCaption)
{
    auto* button = Named(new QToolButton(row), name);
    button->setAutoRaise(true);
    button->setIcon(icon);
    SetHint(button, hint);
    if (withCaption) {
        button->setText(button->toolTip());
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    } else {
        button->setFixedSize(23, 22);
    }
    row->layout()->addWidget(button);
    return button;
}

QWidget* TMainForm::CreateExplorer()
{
    pnlExplorer = Panel(nullptr, "pnlExplorer");
    pnlExplorer->setMinimumWidth(200);
    Splitter2 = Named(new QSplitter(Qt::Vertical, pnlExplorer), "Splitter2");
    Splitter2->setHandleWidth(5);
    Splitter2->setChildrenCollapsible(false);
    Column(pnlExplorer)->addWidget(Splitter2);

    Panel4 = Panel(Splitter2, "Panel4");
    SystemTreeView = Named(new TSystemTreeView(Panel4), "SystemTreeView");
    SystemTreeView->setIndentation(19);
    SetAccessible(SystemTreeView, QStringLiteral("Local folders"));
    Column(Panel4)->addWidget(SystemTreeView);

    Panel2 = Panel(Splitter2, "Panel2");
    Panel2->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* panel2Column = Column(Panel2);
    Panel3 = Panel(Panel2, "Panel3", 25);
    ButtonRow(Panel3);
    sbtnLargeIcons = SpeedButton(Panel3, "sbtnLargeIcons", QStringLiteral("Large icons|Display the items using large icons"),
                                 Icon("view-grid-symbolic", QStyle::SP_FileDialogContentsView), false);
    sbtnSmall = SpeedButton(Panel3, "sbtnSmall", QStringLiteral("Small icons|Display the items using small icons"),
                            Icon("view-app-grid-symbolic", QStyle::SP_FileDialogInfoView), false);
    sbtnList = SpeedButton(Panel3, "sbtnList", QStringLiteral("List|Display the items in a list"),
                           Icon("view-list-symbolic", QStyle::SP_FileDialogListView), false);
    sbtnDetails = SpeedButton(Panel3, "sbtnDetails", QStringLiteral("Details|Display the details of the items"),
                              Icon("view-paged-symbolic", QStyle::SP_FileDialogDetailedView), false);
    grpViewStyle = new QButtonGroup(this);
    int tag = 1;
    for (QToolButton* button : {sbtnLargeIcons, sbtnSmall, sbtnList, sbtnDetails}) {
        button->setCheckable(true);
        button->setProperty("Tag", tag++);
        grpViewStyle->addButton(button);
    }
    sbtnDetails->setChecked(true);
    sbtnUpload = SpeedButton(Panel3, "sbtnUpload", QStringLiteral("Upload|Transmit files to the remote server"),
                             Icon("go-up-symbolic", QStyle::SP_ArrowUp));
    static_cast<QHBoxLayout*>(Panel3->layout())->addStretch();
    panel2Column->addWidget(Panel3);

    SystemListView = Named(new TSystemListView(Panel2), "SystemListView");
    SystemListView->SetMultiSelect(true);
    SystemListView->SetTag(256);
    SystemListView->SetViewStyle(TViewStyle::vsReport);
    SystemTreeView->SetListView(SystemListView);
    for (QWidget* list : {static_cast<QWidget*>(SystemListView), static_cast<QWidget*>(SystemListView->ReportView()),
                          static_cast<QWidget*>(SystemListView->IconView())})
        SetAccessible(list, QStringLiteral("Local files"));
    panel2Column->addWidget(SystemListView, 1);
    Splitter2->setSizes({136, 300});
    Splitter2->setStretchFactor(1, 1);
    return pnlExplorer;
}

QWidget* TMainForm::CreateStatusPage()
{
    tbshtStatus = Named(new QWidget, "tbshtStatus");
    SetAccessible(tbshtStatus, QStringLiteral("Status"));
    auto* page = Column(tbshtStatus);
    Panel1 = Panel(tbshtStatus, "Panel1", 26);
    ButtonRow(Panel1);
    sbtnAdd = SpeedButton(Panel1, "sbtnAdd", QStringLiteral("Add|Add a new host"), Icon("list-add-symbolic", QStyle::SP_FileDialogNewFolder));
    sbtnDelete = SpeedButton(Panel1, "sbtnDelete", QStringLiteral("Delete|Delete this host"), Icon("list-remove-symbolic", QStyle::SP_TrashIcon));
    sbtnEdit = SpeedButton(Panel1, "sbtnEdit", QStringLiteral("Edit|Edit this hosts details"), Icon("document-edit-symbolic", QStyle::SP_FileDialogDetailedView));
    sbtnConnect = SpeedButton(Panel1, "sbtnConnect", QStringLiteral("Connect|Connect to the selected server"), Icon("network-transmit-receive-symbolic", QStyle::SP_DriveNetIcon));
    sbtnDisconnect = SpeedButton(Panel1, "sbtnDisconnect", QStringLiteral("Disconnect|Disconnect from the current server"), Icon("network-offline-symbolic", QStyle::SP_DialogCancelButton));
    static_cast<QHBoxLayout*>(Panel1->layout())->addStretch();
    for (QToolButton* button : {sbtnDelete, sbtnEdit, sbtnConnect, sbtnDisconnect})
        button->setEnabled(false);
    page->addWidget(Panel1);

    Splitter1 = Named(new QSplitter(Qt::Vertical, tbshtStatus), "Splitter1");
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    lvSites = ReportList(Splitter1, "lvSites", {{QStringLiteral("Host"), 80}, {QStringLiteral("Description"), 220},
                                               {QStringLiteral("Username"), 70}, {QStringLiteral("Password"), 60},
                                               {QStringLiteral("Local folder"), 200}, {QStringLiteral("Remote folder"), 200}});
    lvSites->setSelectionMode(QAbstractItemView::SingleSelection);
    lvSites->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    lvSites->setItemDelegate(new CaptionOnlyDelegate(lvSites));
    SetAccessible(lvSites, QStringLiteral("Hosts"), QStringLiteral("The saved FTP hosts"));
    Splitter1->addWidget(lvSites);

    Panel6 = Panel(Splitter1, "Panel6");
    auto* panel6Column = Column(Panel6);
    pnlFTPCommandLine = Panel(Panel6, "pnlFTPCommandLine", 26);
    ButtonRow(pnlFTPCommandLine);
    edtFTPCommand = Named(new QLineEdit(pnlFTPCommandLine), "edtFTPCommand");
    edtFTPCommand->setFixedWidth(271);
    SetAccessible(edtFTPCommand, QStringLiteral("FTP command"), QStringLiteral("A raw FTP command to send to the server"));
    pnlFTPCommandLine->layout()->addWidget(edtFTPCommand);
    sbtnExecute = SpeedButton(pnlFTPCommandLine, "sbtnExecute", QStringLiteral("Execute|Execute this command on the FTP server"),
                              Icon("system-run-symbolic", QStyle::SP_MediaPlay));
    sbtn = SpeedButton(pnlFTPCommandLine, "sbtn", QStringLiteral("FTP Help|Get help on the FTP commands from the remote server"),
                       Icon("help-about-symbolic", QStyle::SP_DialogHelpButton));
    static_cast<QHBoxLayout*>(pnlFTPCommandLine->layout())->addStretch();
    panel6Column->addWidget(pnlFTPCommandLine);

    mmoStatus = Named(new QPlainTextEdit(Panel6), "mmoStatus");
    mmoStatus->setFont(LogFont());
    mmoStatus->setReadOnly(true);
    mmoStatus->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmoStatus->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmoStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SetAccessible(mmoStatus, QStringLiteral("Status log"), QStringLiteral("Every command and reply of the FTP session"));
    panel6Column->addWidget(mmoStatus, 1);
    Splitter1->addWidget(Panel6);
    Splitter1->setSizes({150, 300});
    Splitter1->setStretchFactor(1, 1);
    page->addWidget(Splitter1, 1);
    return tbshtStatus;
}

QWidget* TMainForm::CreateListingPage()
{
    tbshtListing = Named(new QWidget, "tbshtListing");
    SetAccessible(tbshtListing, QStringLiteral("Listing"));
    pnlListing = Panel(tbshtListing, "pnlListing");
    Column(tbshtListing)->addWidget(pnlListing);
    auto* listing = Column(pnlListing);
    Panel5 = Panel(pnlListing, "Panel5", 25);
    ButtonRow(Panel5);
    sbtnRefresh = SpeedButton(Panel5, "sbtnRefresh", QStringLiteral("Refresh|Refresh the remote listing"), Icon("view-refresh-symbolic", QStyle::SP_BrowserReload));
    sbtnDownload = SpeedButton(Panel5, "sbtnDownload", QStringLiteral("Download|Download files from the remote server"), Icon("go-down-symbolic", QStyle::SP_ArrowDown));
    sbtnDeleteFile = SpeedButton(Panel5, "sbtnDeleteFile", QStringLiteral("Delete|Delete this file"), Icon("edit-delete-symbolic", QStyle::SP_TrashIcon));
    sbtnRename = SpeedButton(Panel5, "sbtnRename", QStringLiteral("Rename|Rename the remote file/directory"), Icon("document-edit-symbolic", QStyle::SP_FileDialogDetailedView));
    sbtnMkDir = SpeedButton(Panel5, "sbtnMkDir", QStringLiteral("MkDir|Make a remote directory"), Icon("folder-new-symbolic", QStyle::SP_FileDialogNewFolder));
    sbtnASCII = SpeedButton(Panel5, "sbtnASCII", QStringLiteral("ASCII|Set the upload mode as ASCII"), Icon("format-text-plaintext-symbolic", QStyle::SP_FileIcon));
    sbtnBinary = SpeedButton(Panel5, "sbtnBinary", QStringLiteral("Binary|Set the upload mode as binary"), Icon("application-x-executable-symbolic", QStyle::SP_FileIcon));
    static_cast<QHBoxLayout*>(Panel5->layout())->addStretch();
    grpTransferType = new QButtonGroup(this);
    for (QToolButton* button : {sbtnASCII, sbtnBinary}) {
        button->setCheckable(true);
        grpTransferType->addButton(button);
    }
    sbtnBinary->setChecked(true); // every session starts in binary type
    for (QToolButton* button : {sbtnRefresh, sbtnDownload, sbtnDeleteFile, sbtnRename, sbtnMkDir, sbtnASCII, sbtnBinary})
        button->setEnabled(false);
    listing->addWidget(Panel5);

    pnlRemotePath = Panel(pnlListing, "pnlRemotePath");
    ButtonRow(pnlRemotePath)->setContentsMargins(2, 2, 2, 2);
    cbRemotePath = Named(new TRemotePathBox(pnlRemotePath), "cbRemotePath");
    SetHint(cbRemotePath, QStringLiteral("Remote folder|The current remote folder: type a path and press Enter to go "
                                         "there, or choose a recent folder"));
    cbRemotePath->setEnabled(false);
    pnlRemotePath->layout()->addWidget(cbRemotePath);
    listing->addWidget(pnlRemotePath);

    // Its rows come from TRemoteListModel (SetUpRemoteSide): a model of our own keeps a
    // folder of 100,000 entries sorted without sorting them all again for each line.
    lvRemoteFiles = Named(new QTreeView(pnlListing), "lvRemoteFiles");
    lvRemoteFiles->setRootIsDecorated(false);
    lvRemoteFiles->setUniformRowHeights(true);
    lvRemoteFiles->setAllColumnsShowFocus(true);
    lvRemoteFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvRemoteFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvRemoteFiles->setIconSize({16, 16});
    lvRemoteFiles->setDragEnabled(true);
    lvRemoteFiles->setProperty("Tag", 128);
    SetAccessible(lvRemoteFiles, QStringLiteral("Remote files"), QStringLiteral("The files of the current remote folder"));
    listing->addWidget(lvRemoteFiles, 1);
    return tbshtListing;
}

QWidget* TMainForm::CreateQueuePane()
{
    pnlQueue = Panel(nullptr, "pnlQueue");
    pnlQueue->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    SetAccessible(pnlQueue, QStringLiteral("Transfer queue"));
    auto* pane = Column(pnlQueue);
    pnlQueueButtons = Panel(pnlQueue, "pnlQueueButtons", 25);
    ButtonRow(pnlQueueButtons);
    sbtnCancelTransfer = SpeedButton(pnlQueueButtons, "sbtnCancelTransfer",
                                     QStringLiteral("Cancel|Cancel the selected transfer"),
                                     Icon("process-stop-symbolic", QStyle::SP_BrowserStop));
    sbtnCancelAllTransfers = SpeedButton(pnlQueueButtons, "sbtnCancelAllTransfers",
                                         QStringLiteral("Cancel all|Cancel every transfer that has not finished"),
                                         Icon("edit-clear-all-symbolic", QStyle::SP_DialogCancelButton));
    sbtnRetryFailed = SpeedButton(pnlQueueButtons, "sbtnRetryFailed",
                                  QStringLiteral("Retry failed|Run the failed and cancelled transfers again"),
                                  Icon("view-refresh-symbolic", QStyle::SP_BrowserReload));
    sbtnRemoveFinished = SpeedButton(pnlQueueButtons, "sbtnRemoveFinished",
                                     QStringLiteral("Remove finished|Remove the finished transfers from the queue"),
                                     Icon("edit-clear-symbolic", QStyle::SP_DialogResetButton));
    for (QToolButton* button : {sbtnCancelTransfer, sbtnCancelAllTransfers, sbtnRetryFailed, sbtnRemoveFinished})
        button->setEnabled(false);
    lblQueueSummary = Named(new QLabel(pnlQueueButtons), "lblQueueSummary");
    lblQueueSummary->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SetAccessible(lblQueueSummary, QStringLiteral("Queue total"), QStringLiteral("How far the whole queue has come"));
    pnlQueueButtons->layout()->addWidget(lblQueueSummary);
    static_cast<QHBoxLayout*>(pnlQueueButtons->layout())->setStretchFactor(lblQueueSummary, 1);
    pane->addWidget(pnlQueueButtons);

    QueueView = Named(new QTreeView(pnlQueue), "QueueView");
    QueueView->setRootIsDecorated(false);
    QueueView->setUniformRowHeights(true);
    QueueView->setAllColumnsShowFocus(true);
    QueueView->setSelectionMode(QAbstractItemView::SingleSelection);
    QueueView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SetAccessible(QueueView, QStringLiteral("Transfer queue"),
                  QStringLiteral("Every transfer asked for, with its direction, paths, size, state and progress"));
    pane->addWidget(QueueView, 1);
    return pnlQueue;
}
