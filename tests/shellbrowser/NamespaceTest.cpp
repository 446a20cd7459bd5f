#include "ShellFixture.h"
#include "shellbrowser/FolderItemData.h"
#include "shellbrowser/IconCache.h"
#include "shellbrowser/ShellFolder.h"
#include <QFileInfo>
#include <unistd.h>

namespace {
ItemIDList Item(const char* payload)
{
    return ItemIDList::FromItem(QByteArray(payload));
}

TEST(IDList, SizesAndEquality)
{
    EXPECT_EQ(IDListSize(ItemIDList()), 0u);
    EXPECT_EQ(IDListSize(ItemIDList::Empty()), 2u);
    EXPECT_EQ(IDListSize(Item("abc")), 7u); // 2 + 3 + terminator
    EXPECT_TRUE(IDListEqual(ItemIDList(), ItemIDList()));
    EXPECT_FALSE(IDListEqual(ItemIDList(), ItemIDList::Empty()));
    EXPECT_TRUE(IDListEqual(Item("abc"), Item("abc")));
    EXPECT_FALSE(IDListEqual(Item("abc"), Item("abd")));
    EXPECT_FALSE(IDListEqual(Item("abc"), Item("ab")));
}

TEST(IDList, ByteLayoutIsLittleEndianSizesAndZeroTerminator)
{
    const ItemIDList list = IDListConcat(Item("a"), Item("bc"));
    const QByteArray expected("\x03\x00" "a" "\x04\x00" "bc" "\x00\x00", 9);
    EXPECT_EQ(list.Bytes(), expected);
    EXPECT_EQ(list.ItemCount(), 2);
}

TEST(IDList, ConcatCopyFirstAndNext)
{
    const ItemIDList one = Item("x");
    EXPECT_TRUE(IDListEqual(IDListConcat(ItemIDList::Empty(), one), one));
    EXPECT_TRUE(IDListEqual(IDListConcat(ItemIDList(), one), one));
    EXPECT_TRUE(IDListConcat(one, ItemIDList()).IsNull());

    const ItemIDList three = IDListConcat(IDListConcat(Item("a"), Item("bb")), Item("ccc"));
    EXPECT_EQ(IDListSize(three), 2u + 3 + 4 + 5);
    EXPECT_TRUE(IDListEqual(IDListCopyFirst(three), Item("a")));
    const ItemIDList rest = IDListNext(three);
    EXPECT_TRUE(IDListEqual(rest, IDListConcat(Item("bb"), Item("ccc"))));
    EXPECT_TRUE(IDListNext(IDListNext(rest)).IsEmpty());
    EXPECT_TRUE(IDListNext(ItemIDList::Empty()).IsNull());
    EXPECT_TRUE(IDListCopyFirst(ItemIDList::Empty()).IsEmpty());
    EXPECT_EQ(IDListSize(IDListAlloc(6)), 2u); // zero-filled: just a terminator
}

class NamespaceTest : public ShellTest {};

TEST_F(NamespaceTest, PathsRoundTripThroughAbsoluteIds)
{
    MakeDirs({"a/b/c"});
    for (const QString& path : {PathOf("a"), PathOf("a/b/c"), QStringLiteral("/"), QDir::homePath()}) {
        const ItemIDList id = ILCreateFromPath(path);
        ASSERT_FALSE(id.IsNull()) << path.toStdString();
        EXPECT_EQ(SHGetPathFromIDList(id), QDir::cleanPath(path)) << path.toStdString();
    }
    EXPECT_TRUE(ILCreateFromPath("relative/path").IsNull());
    EXPECT_TRUE(ILCreateFromPath("").IsEmpty());
    // The computer itself is not a place in the file system.
    EXPECT_EQ(SHGetPathFromIDList(SHGetSpecialFolderLocation(CSIDL_DRIVES)), QString());
    EXPECT_TRUE(SHGetSpecialFolderLocation(CSIDL_CONTROLS).IsNull());
}

TEST_F(NamespaceTest, AttributesOfFilesFoldersAndLinks)
{
    MakeDirs({"parent/child", "empty"});
    MakeFile("file.txt", 10);
    ASSERT_EQ(symlink(qPrintable(PathOf("file.txt")), qPrintable(PathOf("link.txt"))), 0);
    const ShellFolderPtr folder = SHGetDesktopFolder()->BindToObject(ILCreateFromPath(Root()));
    ASSERT_TRUE(folder);
    auto attributes = [&](const char* name) { return folder->GetAttributesOf(ParsePath(folder, name), AttributeRequestMask); };

    const quint32 parent = attributes("parent");
    EXPECT_TRUE(parent & SFGAO_FOLDER);
    EXPECT_TRUE(parent & SFGAO_HASSUBFOLDER);
    EXPECT_TRUE(parent & SFGAO_FILESYSTEM);
    EXPECT_TRUE(parent & SFGAO_CANRENAME);
    EXPECT_FALSE(attributes("empty") & SFGAO_HASSUBFOLDER);
    const quint32 file = attributes("file.txt");
    EXPECT_FALSE(file & SFGAO_FOLDER);
    EXPECT_FALSE(file & SFGAO_LINK);
    EXPECT_TRUE(attributes("link.txt") & SFGAO_LINK);
    EXPECT_EQ(attributes("file.txt") & ~AttributeRequestMask, 0u);

    TFolderItemData record;
    record.Attributes = parent;
    EXPECT_TRUE(HasAttribute(&record, SFGAO_FOLDER | SFGAO_LINK));
    EXPECT_FALSE(HasAttribute(&record, SFGAO_LINK));
    EXPECT_FALSE(HasAttribute(nullptr, SFGAO_FOLDER));
}

TEST_F(NamespaceTest, EnumerationHonoursFolderAndHiddenFlags)
{
    MakeDirs({"dir", ".hiddendir"});
    MakeFile("file");
    MakeFile(".hiddenfile");
    const ShellFolderPtr folder = SHGetDesktopFolder()->BindToObject(ILCreateFromPath(Root()));
    auto names = [&](quint32 flags) {
        QStringList result;
        const auto items = folder->EnumObjects(flags);
        for (ItemIDList id = items->Next(); !id.IsNull(); id = items->Next())
            result.append(*folder->GetDisplayNameOf(id));
        result.sort();
        return result;
    };
    EXPECT_EQ(names(SHCONTF_FOLDERS), QStringList{"dir"});
    EXPECT_EQ(names(SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN), (QStringList{".hiddenfile", "file"}));
    EXPECT_EQ(names(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN).size(), 4);
    EXPECT_EQ(SHGetDesktopFolder()->BindToObject(ILCreateFromPath(PathOf("file"))), nullptr);
}

TEST_F(NamespaceTest, RenameNeverReplacesAnExistingEntry)
{
    MakeFile("old.txt", 3);
    MakeFile("taken.txt", 7);
    const ShellFolderPtr folder = SHGetDesktopFolder()->BindToObject(ILCreateFromPath(Root()));
    const ItemIDList id = ParsePath(folder, "old.txt");
    for (const char* refused : {"taken.txt", "", "a/b", ".."}) {
        QString error;
        EXPECT_TRUE(folder->SetNameOf(id, refused, &error).IsNull()) << refused;
        EXPECT_FALSE(error.isEmpty()) << refused;
    }
    EXPECT_EQ(QFileInfo(PathOf("taken.txt")).size(), 7);
    QString error;
    const ItemIDList renamed = folder->SetNameOf(id, "new.txt", &error);
    ASSERT_FALSE(renamed.IsNull()) << error.toStdString();
    EXPECT_EQ(folder->GetDisplayNameOf(renamed), QString("new.txt"));
    EXPECT_TRUE(QFileInfo::exists(PathOf("new.txt")));
    EXPECT_FALSE(QFileInfo::exists(PathOf("old.txt")));
}

TEST_F(NamespaceTest, IconsAreRealThemeIcons)
{
    MakeDirs({"folder"});
    MakeFile("notes.txt");
    for (const QString& path : {PathOf("folder"), PathOf("notes.txt"), QDir::homePath()}) {
        const auto [normal, open] = GetIconIndexes(ILCreateFromPath(path));
        ASSERT_GE(normal, 0);
        EXPECT_FALSE(TIconCache::Instance().Icon(normal).pixmap(16).isNull()) << path.toStdString();
        EXPECT_FALSE(TIconCache::Instance().Icon(open).isNull());
    }
    EXPECT_EQ(GetTypeName(ILCreateFromPath(PathOf("folder"))), QString("Folder"));
    EXPECT_FALSE(GetTypeName(ILCreateFromPath(PathOf("notes.txt"))).isEmpty());
}
}

namespace {
// A home of our own with a desktop folder, documents and a trash.
class DesktopTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            m_saved.emplace_back(name, qgetenv(name));
        qputenv("HOME", QFile::encodeName(PathOf("home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(PathOf("home/.config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(PathOf("home/.local/share")));
        MakeDirs({"home/Desktop/project", "home/Documents", "home/.local/share/Trash/files", "home/.config/autostart"});
        MakeFile("home/Desktop/todo.txt");
        QFile dirs(PathOf("home/.config/user-dirs.dirs"));
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
    }
    void TearDown() override
    {
        for (const auto& [name, value] : m_saved)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        ShellTest::TearDown();
    }

private:
    std::vector<std::pair<const char*, QByteArray>> m_saved;
};

TEST_F(DesktopTest, TheDesktopHoldsComputerHomeTrashAndTheDesktopFolder)
{
    const ShellFolderPtr desktop = SHGetDesktopFolder();
    QStringList names;
    const auto items = desktop->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    for (ItemIDList id = items->Next(); !id.IsNull(); id = items->Next())
        names.append(*desktop->GetDisplayNameOf(id));
    EXPECT_EQ(names, (QStringList{"Computer", "Home", "Trash", "project", "todo.txt"}));

    // The desktop folder is the desktop itself; its entries are the desktop's children.
    EXPECT_TRUE(ILCreateFromPath(PathOf("home/Desktop")).IsEmpty());
    EXPECT_EQ(SHGetPathFromIDList(ItemIDList::Empty()), PathOf("home/Desktop"));
    const ItemIDList todo = ILCreateFromPath(PathOf("home/Desktop/todo.txt"));
    EXPECT_EQ(todo.ItemCount(), 1);
    EXPECT_EQ(GetDisplayName(desktop, todo), QString("todo.txt"));
    EXPECT_EQ(ILCreateFromPath(PathOf("home/Documents/x")).ItemCount(), 3); // Home, Documents, x

    const struct {
        int csidl;
        QString path;
    } special[] = {
        {CSIDL_PERSONAL, PathOf("home/Documents")},
        {CSIDL_DESKTOPDIRECTORY, PathOf("home/Desktop")},
        {CSIDL_BITBUCKET, PathOf("home/.local/share/Trash/files")},
        {CSIDL_STARTUP, PathOf("home/.config/autostart")},
        {CSIDL_TEMPLATES, QString()}, // no such folder here
        {CSIDL_PRINTERS, QString()},
    };
    for (const auto& s : special)
        EXPECT_EQ(SHGetPathFromIDList(SHGetSpecialFolderLocation(s.csidl)), s.path) << s.csidl;

    EXPECT_FALSE(desktop->GetAttributesOf(ILCreateFromPath(PathOf("home")), SFGAO_CANRENAME));
    EXPECT_TRUE(desktop->GetAttributesOf(todo, SFGAO_CANRENAME));
}
}
