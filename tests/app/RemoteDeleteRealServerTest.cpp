// Folders deleted whole through the main window on real servers, checked on
// disk: files, empty folders, names with spaces, four levels deep, and links
// that go themselves while what they point to stays; and a refusal half-way.
#include "QtPrinters.h"
#include "RealServerForm.h"

#include <QFile>
#include <QFileInfo>

namespace {

class RemoteDeleteRealServer : public RealServerForm {
protected:
    void MakeFolders(const QStringList& folders)
    {
        for (const QString& folder : folders) {
            ASSERT_TRUE(QDir(server->LocalDir()).mkpath(folder));
            // vsftpd and ProFTPD work as users of their own, who must be able to empty each one.
            for (QString step = folder; !step.isEmpty() && step != "."; step = QFileInfo(step).path())
                QFile::setPermissions(Remote(step), QFileDevice::Permissions(0x7777));
        }
    }
    void MakeFiles(const QStringList& files)
    {
        for (const QString& file : files)
            WriteFile(Remote(file), file.toUtf8());
    }
    bool Exists(const QString& name) const { return QFileInfo(Remote(name)).exists() || QFileInfo(Remote(name)).isSymLink(); }
};

TEST_P(RemoteDeleteRealServer, AFolderTreeGoesWholeAndWhatItsLinksPointToStays)
{
    MakeFolders({"project", "project/empty one", "project/src/deep/deeper/deepest", "project/src/deep/deeper/empty",
                 "outside"});
    MakeFiles({"project/read me.txt", "project/src/main.c", "project/src/deep/deeper/deepest/leaf file.txt",
               "outside/precious.txt", "keep.txt"});
    ASSERT_TRUE(QFile::link("../outside", Remote("project/link to outside")));
    ASSERT_TRUE(QFile::link("../keep.txt", Remote("project/file link")));
    Open();
    SelectRemote({"project"});
    Click(form->sbtnDeleteFile);
    EXPECT_EQ(dialogs->Texts("confirm"),
              QStringList{"Delete the folder \"project\" with the 5 files and 6 folders in it?"});
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_FALSE(Exists("project"));
    EXPECT_EQ(ReadFile(Remote("outside/precious.txt")), "outside/precious.txt");
    EXPECT_EQ(ReadFile(Remote("keep.txt")), "keep.txt");
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "keep.txt", "outside"}));
    EXPECT_EQ(LogLines().count("RemoveDir success"), 7);
}

TEST_P(RemoteDeleteRealServer, ARefusalHalfWayNamesTheEntryAndTheListShowsWhatIsLeft)
{
    if (GetParam() == RealFtpServer::Pyftpdlib)
        GTEST_SKIP() << "pyftpdlib works as root here, whom no folder's rights stop";
    MakeFolders({"mixed/b locked", "mixed/c sub"});
    MakeFiles({"mixed/a.txt", "mixed/b locked/stuck.txt", "mixed/c sub/gone.txt", "mixed/z.txt"});
    QFile::setPermissions(Remote("mixed/b locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                       | QFileDevice::ReadOther | QFileDevice::ExeOther);
    Open();
    SelectRemote({"mixed"});
    Click(form->sbtnDeleteFile);
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors().first().startsWith("Could not delete \"mixed/b locked/stuck.txt\": 550"))
        << Errors().first().toStdString();
    // Deepest first: the later folder's file went before the refusal, nothing after it.
    EXPECT_FALSE(Exists("mixed/c sub/gone.txt"));
    for (const QString& kept : QStringList{"mixed/b locked/stuck.txt", "mixed/c sub", "mixed/a.txt", "mixed/z.txt"})
        EXPECT_TRUE(Exists(kept)) << kept.toStdString();
    EXPECT_EQ(RemoteCaptions(), (QStringList{"..", "mixed"}));
    EXPECT_FALSE(form->Busy);
}

INSTANTIATE_FOR_EVERY_SERVER(RemoteDeleteRealServer);

} // namespace
