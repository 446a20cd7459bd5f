#include "ShellFixture.h"
#include "shellbrowser/SystemListView.h"
#include "shellbrowser/SystemTreeView.h"
#include <QAction>
#include <QFileInfo>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <memory>

namespace {
class ListTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        Window = std::make_unique<QWidget>();
        Window->resize(500, 700);
        Tree = new TSystemTreeView(Window.get());
        List = new TSystemListView(Window.get());
        Tree->setGeometry(0, 0, 500, 200);
        List->setGeometry(0, 200, 500, 500);
        List->SetViewStyle(TViewStyle::vsReport);
        Tree->SetListView(List);
        Window->show();
    }
    void TearDown() override
    {
        Window.reset();
        ShellTest::TearDown();
    }
    void Open(const QString& relative) { Tree->SetDirectory(PathOf(relative)); }
    QStringList Captions() const
    {
        QStringList captions;
        for (int i = 0; i < List->ItemCount(); ++i)
            captions.append(List->ItemCaption(i));
        return captions;
    }
    int RowOf(const QString& caption) const { return int(Captions().indexOf(caption)); }
    QString SubItem(const QString& caption, int index) const
    {
        const TListEntry* entry = List->Item(RowOf(caption));
        return entry && index < entry->SubItems.size() ? entry->SubItems[index] : QString();
    }

    std::unique_ptr<QWidget> Window;
    TSystemTreeView* Tree = nullptr;
    TSystemListView* List = nullptr;
};

TEST_F(ListTest, FoldersFirstAndHeaderClicksReverse)
{
    MakeDirs({"fruit/Apple", "fruit/cherry"});
    MakeFile("fruit/berry.txt", 5000);
    MakeFile("fruit/apricot.txt", 10);
    Open("fruit");
    EXPECT_EQ(Captions(), (QStringList{"Apple", "cherry", "apricot.txt", "berry.txt"}));
    List->ColumnClick(0); // first click on Name: descending, everything reversed
    EXPECT_EQ(Captions(), (QStringList{"berry.txt", "apricot.txt", "cherry", "Apple"}));
    List->ColumnClick(0);
    EXPECT_EQ(Captions(), (QStringList{"Apple", "cherry", "apricot.txt", "berry.txt"}));
    List->ColumnClick(1); // another column starts ascending
    EXPECT_FALSE(List->SortDescending());
    EXPECT_EQ(Captions().mid(2), (QStringList{"apricot.txt", "berry.txt"}));
    List->ColumnClick(1);
    EXPECT_EQ(Captions(), (QStringList{"berry.txt", "apricot.txt", "cherry", "Apple"}));

    // A fill sorts by name but keeps the remembered column and direction.
    List->Repopulate();
    EXPECT_EQ(Captions().first(), QString("Apple"));
    EXPECT_EQ(List->SortColumn(), 1);
    EXPECT_TRUE(List->SortDescending());
}

TEST_F(ListTest, SortingKeepsTheSelection)
{
    MakeFile("sel/a.txt");
    MakeFile("sel/b.txt");
    MakeFile("sel/c.txt");
    Open("sel");
    List->SetItemSelected(RowOf("a.txt"), true);
    List->ColumnClick(0);
    EXPECT_EQ(Captions().first(), QString("c.txt"));
    EXPECT_EQ(List->SelCount(), 1);
    EXPECT_TRUE(List->ItemSelected(RowOf("a.txt")));
}

TEST_F(ListTest, SizesInKilobytesUseTheWholeSize)
{
    struct {
        const char* name;
        qint64 size;
        const char* text;
    } cases[] = {
        {"s0", 0, "0 KB"},
        {"s1", 1, "1 KB"},
        {"s1024", 1024, "1 KB"},
        {"s1025", 1025, "2 KB"},
        {"s1048576", 1048576, "1024 KB"},
        {"s1048577", 1048577, "1025 KB"},
        {"s5g", 5LL << 30, "5242880 KB"}, // sparse: no disk space needed
    };
    for (const auto& c : cases)
        MakeFile(QString("sizes/%1").arg(c.name), c.size);
    MakeDirs({"sizes/folder"});
    Open("sizes");
    for (const auto& c : cases)
        EXPECT_EQ(SubItem(c.name, 0), QString(c.text)) << c.name;
    EXPECT_EQ(SubItem("folder", 0), QString());
    EXPECT_EQ(SubItem("folder", 1), QString("Folder"));
    EXPECT_FALSE(SubItem("s0", 2).isEmpty()); // modified
    EXPECT_EQ(List->Model()->Columns().size(), 4u);
}

TEST_F(ListTest, FileMaskKeepsFolders)
{
    MakeDirs({"masked/x.dat"});
    MakeFile("masked/y.dat");
    MakeFile("masked/z.TXT");
    MakeFile("masked/noext");
    Open("masked");
    List->SetFileMask("*.txt");
    EXPECT_EQ(Captions(), (QStringList{"x.dat", "z.TXT"}));
    List->SetFileMask("");
    EXPECT_EQ(Captions().size(), 4);
}

TEST_F(ListTest, HiddenFilesAndFoldersSwitches)
{
    MakeDirs({"switch/dir"});
    MakeFile("switch/.hidden");
    MakeFile("switch/shown");
    Open("switch");
    EXPECT_EQ(Captions().size(), 3);
    List->SetShowHiddenFiles(false);
    EXPECT_EQ(Captions(), (QStringList{"dir", "shown"}));
    List->SetShowFolders(false);
    EXPECT_EQ(Captions(), QStringList{"shown"});
}

TEST_F(ListTest, RenamingInPlaceAcceptedAndRefused)
{
    MakeFile("ren/one.txt", 1);
    MakeFile("ren/two.txt", 2);
    Open("ren");
    const QModelIndex one = List->Model()->index(RowOf("one.txt"), 0);
    ASSERT_TRUE(List->Model()->flags(one) & Qt::ItemIsEditable);

    List->Model()->setData(one, "two.txt", Qt::EditRole);
    EXPECT_EQ(List->ItemCaption(one.row()), QString("one.txt"));
    EXPECT_EQ(Errors.size(), 1);
    EXPECT_EQ(QFileInfo(PathOf("ren/two.txt")).size(), 2);

    List->Model()->setData(one, "three.txt", Qt::EditRole);
    EXPECT_EQ(List->ItemCaption(one.row()), QString("three.txt"));
    EXPECT_EQ(List->GetItemPath(one.row()), PathOf("ren/three.txt"));
    EXPECT_TRUE(QFileInfo::exists(PathOf("ren/three.txt")));
}

TEST_F(ListTest, DoubleClickOnAFileRunsItsDefaultAction)
{
    MakeFile("dbl/readme.txt");
    Open("dbl");
    List->DblClick(0);
    EXPECT_EQ(Opened, QList<QUrl>{QUrl::fromLocalFile(PathOf("dbl/readme.txt"))});
    int replaced = 0;
    List->OnDblClick = [&](TSystemListView*) { ++replaced; };
    List->DblClick(0);
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(Opened.size(), 1);
}

class ContextMenuTest : public ListTest {
protected:
    // Chooses the named action (or nothing) when a menu is shown.
    void Choose(const QString& action)
    {
        ShellDialogs().ExecMenu = [this, action](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* a : menu.actions())
                if (!a->isSeparator())
                    MenuItems.append(a->objectName());
            ++MenusShown;
            return action.isEmpty() ? nullptr : menu.findChild<QAction*>(action);
        };
    }
    void RightClick(const QString& caption)
    {
        const QRect rect = List->ReportView()->visualRect(List->Model()->index(RowOf(caption), 0));
        QContextMenuEvent event(QContextMenuEvent::Mouse, rect.center(), List->ReportView()->viewport()->mapToGlobal(rect.center()));
        QCoreApplication::sendEvent(List->ReportView()->viewport(), &event);
    }

    QStringList MenuItems;
    int MenusShown = 0;
};

TEST_F(ContextMenuTest, RightClickAddsToTheSelectionAndDismissingIsHandled)
{
    MakeFile("menu/a.txt");
    MakeFile("menu/b.txt");
    Open("menu");
    Choose("");
    List->SetItemSelected(RowOf("a.txt"), true);
    RightClick("b.txt");
    EXPECT_EQ(MenusShown, 1);
    EXPECT_EQ(List->SelCount(), 2);
    EXPECT_TRUE(MenuItems.contains("actOpen"));
    EXPECT_TRUE(MenuItems.contains("actRename")); // one entry: rename is offered
    MenuItems.clear();
    RightClick("a.txt"); // a selected entry: one menu for the whole selection
    EXPECT_FALSE(MenuItems.contains("actRename"));
    EXPECT_TRUE(MenuItems.contains("actTrash"));
}

TEST_F(ContextMenuTest, DeletingAsksFirstAndNothingGoesWithoutYes)
{
    MakeFile("del/victim.txt");
    MakeDirs({"del/folder/inside"});
    Open("del");
    for (const char* verb : {"actDelete", "actTrash"}) {
        Choose(verb);
        ConfirmAnswer = false;
        RightClick("victim.txt");
        EXPECT_TRUE(QFileInfo::exists(PathOf("del/victim.txt"))) << verb;
    }
    EXPECT_EQ(Questions.size(), 2);
    EXPECT_TRUE(Questions[0].contains("Permanently delete \"victim.txt\""));

    Choose("actDelete");
    ConfirmAnswer = true;
    List->SetItemSelected(RowOf("victim.txt"), false);
    RightClick("folder");
    EXPECT_FALSE(QFileInfo::exists(PathOf("del/folder")));
    EXPECT_EQ(Captions(), QStringList{"victim.txt"}); // the list was refilled
}

TEST_F(ContextMenuTest, MoveToTrashIsTheDeleteKey)
{
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(PathOf("data")));
    MakeDirs({"data"});
    MakeFile("trash/old.txt");
    Open("trash");
    List->SetItemSelected(0, true);
    ConfirmAnswer = true;
    QTest::keyClick(List->ReportView(), Qt::Key_Delete);
    EXPECT_EQ(Questions.size(), 1);
    EXPECT_TRUE(Questions.first().startsWith("Move \"old.txt\" to the trash"));
    EXPECT_FALSE(QFileInfo::exists(PathOf("trash/old.txt")));
    EXPECT_TRUE(QFileInfo::exists(PathOf("data/Trash/files/old.txt")));
    EXPECT_TRUE(Captions().isEmpty());
    if (savedData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", savedData);
}

TEST_F(ListTest, ViewStylesShareEntriesAndSelection)
{
    MakeFile("views/a.txt");
    MakeFile("views/b.txt");
    Open("views");
    List->SetItemSelected(1, true);
    const std::pair<TViewStyle, QListView::ViewMode> styles[] = {
        {TViewStyle::vsIcon, QListView::IconMode}, {TViewStyle::vsSmallIcon, QListView::ListMode}, {TViewStyle::vsList, QListView::ListMode}};
    for (const auto& [style, mode] : styles) {
        List->SetViewStyle(style);
        ASSERT_EQ(List->ActiveView(), List->IconView());
        EXPECT_EQ(List->IconView()->viewMode(), mode);
        EXPECT_TRUE(List->IconView()->selectionModel()->isRowSelected(1, {}));
    }
    EXPECT_EQ(List->IconView()->flow(), QListView::TopToBottom);
    List->SetViewStyle(TViewStyle::vsReport);
    EXPECT_EQ(List->ActiveView(), List->ReportView());
    EXPECT_EQ(List->SelCount(), 1);
}

TEST_F(ListTest, DragsCarryTheSelectedFilesAndDropsAskTheHook)
{
    MakeFile("drag/a.txt");
    MakeFile("drag/b.txt");
    Open("drag");
    List->SetItemSelected(0, true);
    List->SetItemSelected(1, true);
    std::unique_ptr<QMimeData> data(List->Model()->mimeData(List->ReportView()->selectionModel()->selectedIndexes()));
    EXPECT_EQ(data->urls(), (QList<QUrl>{QUrl::fromLocalFile(PathOf("drag/a.txt")), QUrl::fromLocalFile(PathOf("drag/b.txt"))}));

    int asked = 0, dropped = 0;
    bool allow = false;
    List->OnDragOver = [&](QObject*, bool& accept) {
        ++asked;
        accept = allow;
    };
    List->OnDragDrop = [&](QObject*) { ++dropped; };
    QWidget* viewport = List->ReportView()->viewport();
    for (const bool allowed : {false, true}) {
        allow = allowed;
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
        EXPECT_EQ(move.isAccepted(), allowed);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
    }
    EXPECT_GE(asked, 2);
    EXPECT_EQ(dropped, 1);
}

TEST_F(ListTest, AnEntryWithoutARecordReportsOnce)
{
    MakeFile("norec/a.txt");
    Open("norec");
    List->Item(0)->Data.reset();
    List->DblClick(0);
    EXPECT_EQ(Errors, QStringList{"Could not get folder data."});
    EXPECT_TRUE(Opened.isEmpty());
}
}

namespace {
TEST_F(ContextMenuTest, CopyCutAndPasteNeverReplaceAnything)
{
    MakeFile("clip/a.txt", 3000);
    MakeDirs({"clip/dst"});
    MakeFile("clip/dst/a.txt", 1);
    Open("clip");
    Choose("actCopy");
    RightClick("a.txt");
    List->SetItemSelected(RowOf("a.txt"), false);
    Choose("actPaste");
    RightClick("dst");
    EXPECT_EQ(QFileInfo(PathOf("clip/dst/a.txt")).size(), 1); // the existing file is kept
    EXPECT_EQ(QFileInfo(PathOf("clip/dst/a (2).txt")).size(), 3000);
    EXPECT_TRUE(QFileInfo::exists(PathOf("clip/a.txt")));

    List->SetItemSelected(RowOf("dst"), false);
    Choose("actCut");
    RightClick("a.txt");
    List->SetItemSelected(RowOf("a.txt"), false);
    Choose("actPaste");
    RightClick("dst");
    EXPECT_FALSE(QFileInfo::exists(PathOf("clip/a.txt")));
    EXPECT_EQ(QFileInfo(PathOf("clip/dst/a (3).txt")).size(), 3000);
    EXPECT_EQ(Captions(), QStringList{"dst"});
    EXPECT_TRUE(Errors.isEmpty());
}
}
