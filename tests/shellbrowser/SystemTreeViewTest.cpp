#include "ShellFixture.h"
#include "shellbrowser/SystemListView.h"
#include "shellbrowser/SystemTreeView.h"
#include <QFileInfo>
#include <QTest>
#include <QMenu>
#include <QContextMenuEvent>
#include <QTreeView>
#include <QWidget>
#include <memory>

namespace {
class TreeTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        Window = std::make_unique<QWidget>();
        Window->resize(400, 600);
        Tree = new TSystemTreeView(Window.get());
        List = new TSystemListView(Window.get());
        Tree->setGeometry(0, 0, 400, 300);
        List->setGeometry(0, 300, 400, 300);
        Tree->SetListView(List);
    }
    void TearDown() override
    {
        Window.reset();
        ShellTest::TearDown();
    }
    void Show() { Window->show(); }

    QTreeWidgetItem* Selected() const { return Tree->currentItem(); }
    QStringList ChildCaptions(QTreeWidgetItem* node) const
    {
        QStringList captions;
        for (int i = 0; i < node->childCount(); ++i)
            captions.append(node->child(i)->text(0));
        return captions;
    }
    QStringList ListCaptions() const
    {
        QStringList captions;
        for (int i = 0; i < List->ItemCount(); ++i)
            captions.append(List->ItemCaption(i));
        return captions;
    }

    std::unique_ptr<QWidget> Window;
    TSystemTreeView* Tree = nullptr;
    TSystemListView* List = nullptr;
};

TEST_F(TreeTest, DirectoryRoundTripsAndDeepestMatch)
{
    MakeDirs({"a/b/c/d", "a/other"});
    Show();
    struct Case {
        QString written;
        QString read;
    } cases[] = {
        {PathOf("a/b/c/d"), PathOf("a/b/c/d")},
        {PathOf("a"), PathOf("a")},
        {PathOf("a/b/"), PathOf("a/b")},
        {PathOf("a/missing/deeper"), PathOf("a")}, // second level missing: the first-level node
        {QStringLiteral("/"), QStringLiteral("/")},
    };
    for (const Case& c : cases) {
        Tree->SetDirectory(c.written);
        EXPECT_EQ(Tree->Directory(), c.read) << c.written.toStdString();
    }
    // Every level on the way was expanded.
    Tree->SetDirectory(PathOf("a/b/c/d"));
    for (QTreeWidgetItem* node = Selected()->parent(); node; node = node->parent())
        EXPECT_TRUE(node->isExpanded()) << node->text(0).toStdString();
    EXPECT_EQ(Selected()->text(0), QString("d"));
    // A path that does not parse leaves the selection alone.
    Tree->SetDirectory("not/absolute");
    EXPECT_EQ(Tree->Directory(), PathOf("a/b/c/d"));
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(TreeTest, DirectoryWrittenBeforeTheWindowExistsIsAppliedWhenShown)
{
    MakeDirs({"early/bird"});
    Tree->SetDirectory(PathOf("early/bird"));
    EXPECT_EQ(Tree->Directory(), QString());
    EXPECT_EQ(Tree->topLevelItemCount(), 0);
    Show();
    EXPECT_EQ(Tree->Directory(), PathOf("early/bird"));
    EXPECT_EQ(Selected()->text(0), QString("bird"));
}

TEST_F(TreeTest, DesktopRootSelectsTheDesktopForAnEmptyPath)
{
    Show();
    ASSERT_EQ(Tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = Tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), QString("Desktop"));
    EXPECT_TRUE(root->isExpanded());
    EXPECT_TRUE(ChildCaptions(root).contains("Computer"));
    Tree->SetDirectory(PathOf("."));
    Tree->SetDirectory(QString());
    EXPECT_EQ(Selected(), root);
    EXPECT_TRUE(ListCaptions().contains("Computer"));
    EXPECT_EQ(List->ColumnType(), TColumnType::ctFileSystem);
}

TEST_F(TreeTest, LazyExpansionAndTheLostExpandButton)
{
    MakeDirs({"full/one", "full/two", "empty"});
    MakeFile("full/file.txt");
    Show();
    Tree->SetDirectory(Root());
    QTreeWidgetItem* base = Selected();
    ASSERT_TRUE(base);
    ASSERT_TRUE(Tree->ExpandNode(base));
    ASSERT_EQ(ChildCaptions(base), (QStringList{"empty", "full"}));
    QTreeWidgetItem* empty = base->child(0);
    QTreeWidgetItem* full = base->child(1);
    EXPECT_EQ(full->childCount(), 0); // nothing listed before the first expansion
    EXPECT_EQ(full->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_NE(empty->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

    QList<QTreeWidgetItem*> populated;
    Tree->OnPopulated = [&](TSystemTreeView*, QTreeWidgetItem* node) { populated.append(node); };
    full->setExpanded(true); // as a click on the expand button does
    EXPECT_EQ(ChildCaptions(full), (QStringList{"one", "two"})); // folders only
    EXPECT_TRUE(full->isExpanded());
    EXPECT_EQ(populated, QList<QTreeWidgetItem*>{full});

    // A folder found empty on first expansion loses its button and stays shut.
    EXPECT_FALSE(Tree->ExpandNode(empty));
    EXPECT_FALSE(empty->isExpanded());
    EXPECT_EQ(empty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    EXPECT_EQ(populated.size(), 1);
}

TEST_F(TreeTest, SelectingANodeFillsTheLinkedList)
{
    MakeDirs({"sel/sub"});
    MakeFile("sel/file.txt");
    Show();
    QStringList signalled;
    QObject::connect(Tree, &TSystemTreeView::Changed, [&](QTreeWidgetItem* node) { signalled.append(node ? node->text(0) : QString()); });
    Tree->SetDirectory(PathOf("sel"));
    EXPECT_EQ(ListCaptions(), (QStringList{"sub", "file.txt"}));
    EXPECT_EQ(signalled.last(), QString("sel"));
    // Double-clicking a folder entry selects it in the tree.
    List->DblClick(0);
    EXPECT_EQ(Tree->Directory(), PathOf("sel/sub"));
    EXPECT_TRUE(ListCaptions().isEmpty());
}

TEST_F(TreeTest, FoldersCreatedAndDeletedOutsideRefreshTreeAndList)
{
    MakeDirs({"watched/gone"});
    Show();
    Tree->SetDirectory(PathOf("watched"));
    QTreeWidgetItem* watched = Selected();
    Tree->ExpandNode(watched);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tree->WatchedNode() == watched; }, 1000));
    QTest::qWait(30); // the watcher is running

    MakeDirs({"watched/fresh"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return ChildCaptions(Selected()).contains("fresh"); }, 5000));
    EXPECT_TRUE(Selected()->isExpanded());
    EXPECT_TRUE(ListCaptions().contains("fresh"));

    // The selected folder removed: its parent is selected and shown.
    Tree->SetDirectory(PathOf("watched/gone"));
    ASSERT_EQ(Tree->Directory(), PathOf("watched/gone"));
    QTest::qWait(30);
    ASSERT_TRUE(QDir(PathOf("watched/gone")).removeRecursively());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tree->Directory() == PathOf("watched"); }, 5000));
    EXPECT_EQ(ChildCaptions(Selected()), QStringList{"fresh"});
    EXPECT_EQ(ListCaptions(), QStringList{"fresh"});
}

TEST_F(TreeTest, RenamingANodeAcceptedAndRefused)
{
    MakeDirs({"names/before/inner", "names/taken"});
    Show();
    Tree->SetDirectory(PathOf("names/before"));
    QTreeWidgetItem* node = Selected();
    Tree->ExpandNode(node);

    EXPECT_FALSE(Tree->RenameNode(node, "taken"));
    EXPECT_EQ(node->text(0), QString("before"));
    EXPECT_EQ(Errors.size(), 1);
    EXPECT_TRUE(QFileInfo(PathOf("names/before/inner")).isDir());

    EXPECT_TRUE(Tree->RenameNode(node, "after"));
    EXPECT_EQ(node->text(0), QString("after"));
    EXPECT_EQ(Tree->Directory(), PathOf("names/after"));
    EXPECT_TRUE(QFileInfo(PathOf("names/after/inner")).isDir());
    // Children were listed again under the new name.
    ASSERT_EQ(node->childCount(), 1);
    Tree->setCurrentItem(node->child(0));
    EXPECT_EQ(Tree->Directory(), PathOf("names/after/inner"));
}

TEST_F(TreeTest, CustomRootTakesPathsRelativeToItsFolder)
{
    MakeDirs({"custom/x/y"});
    Tree->SetRootFolder(TRootFolder::rfCustom);
    Tree->SetCustomDir(PathOf("custom"));
    Tree->SetCustomDirCaption("Mine");
    Show();
    ASSERT_EQ(Tree->topLevelItemCount(), 1);
    EXPECT_EQ(Tree->topLevelItem(0)->text(0), QString("Mine"));
    Tree->SetDirectory(PathOf("custom/x/y"));
    EXPECT_EQ(Tree->Directory(), PathOf("custom/x/y"));
    Tree->SetDirectory(PathOf("custom"));
    EXPECT_EQ(Selected(), Tree->topLevelItem(0));
    Tree->SetCustomDirCaption("Renamed");
    EXPECT_EQ(Tree->topLevelItem(0)->text(0), QString("Renamed"));
}

TEST_F(TreeTest, RecreationKeepsTheSelectedFolder)
{
    MakeDirs({"keep/me"});
    Show();
    Tree->SetDirectory(PathOf("keep/me"));
    Tree->SetCheckboxes(true);
    EXPECT_EQ(Tree->Directory(), PathOf("keep/me"));
    EXPECT_EQ(Selected()->checkState(0), Qt::Unchecked);
}

TEST_F(TreeTest, ANodeWithoutARecordReportsOnce)
{
    Show();
    auto* root = static_cast<TFolderNode*>(Tree->topLevelItem(0));
    root->Data.reset();
    EXPECT_EQ(Tree->NodeData(root), nullptr);
    EXPECT_EQ(Errors, QStringList{"Could not get folder data."});
    EXPECT_FALSE(Tree->RenameNode(root, "x"));
    EXPECT_EQ(Errors.size(), 2);
    Tree->RaiseOnMissingData = true;
    EXPECT_THROW(Tree->NodeData(root), ENoFolderData);
}
}

namespace {
TEST(TreeAndListLinking, ControlsOnOneFormLinkThemselvesAndForgetADestroyedList)
{
    QWidget window;
    auto* tree = new TSystemTreeView(&window);
    auto* panel = new QWidget(&window);
    auto* list = new TSystemListView(panel);
    EXPECT_EQ(tree->ListView(), list);
    EXPECT_EQ(list->TreeView(), tree);
    EXPECT_EQ(TSystemListView::FromDragSource(list->ReportView()->viewport()), list);
    EXPECT_EQ(TSystemListView::FromDragSource(tree), nullptr);
    delete list;
    EXPECT_EQ(tree->ListView(), nullptr);
}
}

namespace {
TEST_F(TreeTest, ShowFilesWithAMaskKeepsFoldersAndMatchingFiles)
{
    MakeDirs({"files/sub.dat", "files/onlyfiles"});
    MakeFile("files/a.txt");
    MakeFile("files/b.dat");
    MakeFile("files/onlyfiles/inner.txt");
    Tree->SetShowFiles(true);
    Tree->SetFileMask("*.txt");
    Show();
    Tree->SetDirectory(PathOf("files"));
    QTreeWidgetItem* node = Selected();
    ASSERT_TRUE(Tree->ExpandNode(node));
    EXPECT_EQ(ChildCaptions(node), (QStringList{"a.txt", "onlyfiles", "sub.dat"}));
    // A folder holding only files still offers its expand button.
    EXPECT_EQ(node->child(1)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}

TEST_F(TreeTest, RightClickSelectsTheNodeAndShowsItsMenu)
{
    MakeDirs({"menu/one", "menu/two"});
    Show();
    Tree->SetDirectory(PathOf("menu"));
    Tree->ExpandNode(Selected());
    QTreeWidgetItem* two = Selected()->child(1);
    QStringList offered;
    ShellDialogs().ExecMenu = [&](QMenu& menu, const QPoint&) -> QAction* {
        for (QAction* a : menu.actions())
            if (!a->isSeparator())
                offered.append(a->objectName());
        return nullptr;
    };
    int ownMenu = 0;
    QMenu own;
    QObject::connect(&own, &QMenu::aboutToShow, [&] { ++ownMenu; });
    Tree->PopupMenu = &own;
    Tree->PopupMenuMethod = TPopupMenuMethod::pmmContextUser;
    const QPoint pos = Tree->visualItemRect(two).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, Tree->viewport()->mapToGlobal(pos));
    QCoreApplication::sendEvent(Tree->viewport(), &event);
    EXPECT_EQ(Selected(), two);
    EXPECT_TRUE(offered.contains("actNewFolder"));
    EXPECT_EQ(ownMenu, 0); // dismissing the item menu counts as handled
}
}
