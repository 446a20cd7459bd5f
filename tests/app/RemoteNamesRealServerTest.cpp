// Names and sizes as real servers list them, through the main window: a UTF-8
// name, names in ISO-8859-1 bytes, a folder and a 5 GiB sparse file; and the
// names that are not UTF-8 downloaded, renamed and deleted by their own bytes.
#include "RealServerForm.h"

#include "app/RemoteListModel.h"
#include "ftp/FTPClient.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Names as bytes on disk: QDir would decode them, and "caf\xe9.txt" would not
// survive the trip.
const QByteArray kUtf8Name = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x98\x83.txt"; // "Grüße ☃.txt"
const QByteArray kLatin1Name = "caf\xe9.txt";
const QByteArray kLatin1Doomed = "\xe9t\xe9.txt";  // "été.txt", to be deleted
const QByteArray kFolder = "folder";
const QByteArray kSparse = "big.bin";
constexpr off_t kSparseSize = 5LL << 30;
const QByteArray kContent = "bytes of caf\xe9\n";

class RemoteNamesRealServer : public RealServerForm {
protected:
    // QTemporaryDir removes by decoded names, which miss names that are not UTF-8.
    void TearDown() override
    {
        RealServerForm::TearDown();
        if (server && server->IsRunning())
            for (const QByteArray& name : {kLatin1Name, kLatin1Doomed})
                ::unlink(RawPath(name).constData());
    }
    QByteArray RawPath(const QByteArray& name) const { return QFile::encodeName(server->LocalDir()) + '/' + name; }

    // Made by a char* path so that the name on disk is exactly these bytes.
    void CreateRaw(const QByteArray& name, const QByteArray& content)
    {
        const int fd = ::open(RawPath(name).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << name.toStdString() << ": " << strerror(errno);
        EXPECT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
        ::close(fd);
    }
    void CreateAll()
    {
        CreateRaw(kUtf8Name, "snow\n");
        CreateRaw(kLatin1Name, kContent);
        CreateRaw(kLatin1Doomed, "doomed\n");
        ASSERT_EQ(::mkdir(RawPath(kFolder).constData(), 0755), 0) << strerror(errno);
        const int fd = ::open(RawPath(kSparse).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << strerror(errno);
        // A hole, not data: 5 GiB of disk are not needed to list 5 GiB.
        EXPECT_EQ(::ftruncate(fd, kSparseSize), 0) << strerror(errno);
        ::close(fd);
    }

    // The names in the server's folder as the file system holds them.
    QByteArrayList RawNames() const
    {
        QByteArrayList names;
        DIR* dir = ::opendir(QFile::encodeName(server->LocalDir()).constData());
        if (!dir)
            return {"<cannot open>"};
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string Joined(const QByteArrayList& names) { return names.join('|').toStdString(); }

    int RowOf(const QString& caption) const
    {
        TRemoteListModel* model = form->RemoteFiles();
        model->Flush();
        for (int row = 0; row < model->Count(); ++row)
            if (model->Entry(row).Caption == caption)
                return row;
        return -1;
    }
    // The shown text of a column of the row with this caption.
    QString Cell(const QString& caption, int column) const
    {
        TRemoteListModel* model = form->RemoteFiles();
        return model->data(model->index(RowOf(caption), column), Qt::DisplayRole).toString();
    }

    // Opens and lists again by the Refresh button, so the entries made after the
    // login are listed as a user would see them.
    void OpenAndRefresh()
    {
        Open();
        CreateAll();
        Click(form->sbtnRefresh);
        ASSERT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    }

    // How each server reads the names that are not UTF-8 (the host's encoding is
    // automatic, so intact bytes show as ISO-8859-1).
    QString Latin1Caption(const QString& intact) const
    {
        // pyftpdlib 1.5 on Python 3 reads the folder as text (the bytes become lone
        // surrogates) and encodes each line with errors='replace': every such byte goes
        // out as "?", and the listed name names no file.
        return server->ServerKind() == RealFtpServer::Pyftpdlib ? QString(intact).replace(QChar(0xe9), '?') : intact;
    }
    bool KeepsBytes() const { return server->ServerKind() != RealFtpServer::Pyftpdlib; }
};

TEST_P(RemoteNamesRealServer, EveryEntryIsListedRight)
{
    OpenAndRefresh();
    const QString latin1 = Latin1Caption(QStringLiteral("café.txt")), doomed = Latin1Caption(QStringLiteral("été.txt"));
    QStringList captions = RemoteCaptions();
    captions.sort();
    // Refresh lists ".." as well, at the root too.
    QStringList expected = {"..", QStringLiteral("Grüße ☃.txt"), latin1, doomed, "folder", "big.bin"};
    expected.sort();
    EXPECT_EQ(captions, expected) << captions.join('|').toStdString();

    // ProFTPD and pyftpdlib offer MLST, vsftpd does not.
    const bool machine = server->ServerKind() != RealFtpServer::Vsftpd;
    const QStringList log = LogLines();
    EXPECT_EQ(log.contains("MLSD"), machine) << log.join('\n').toStdString();
    EXPECT_EQ(log.contains("LIST"), !machine) << log.join('\n').toStdString();

    EXPECT_EQ(Cell("big.bin", TRemoteListModel::colSize), "5368709120") << "a size past 4 GiB, digit for digit";
    EXPECT_EQ(Cell(latin1, TRemoteListModel::colSize), QString::number(kContent.size()));
    EXPECT_EQ(Cell(QStringLiteral("Grüße ☃.txt"), TRemoteListModel::colSize), "5");

    ASSERT_GE(RowOf("folder"), 0);
    const TRemoteEntry folder = form->RemoteFiles()->Entry(RowOf("folder"));
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_EQ(folder.TypeName, kFolderTypeName);
    for (const QString& file : {QStringLiteral("big.bin"), latin1, QStringLiteral("Grüße ☃.txt")})
        EXPECT_FALSE(form->RemoteFiles()->Entry(RowOf(file)).IsFolder()) << file.toStdString();
}

TEST_P(RemoteNamesRealServer, ANameInLegacyBytesIsDownloadedRenamedAndDeleted)
{
    OpenAndRefresh();
    Click(form->sbtnBinary);
    if (!KeepsBytes()) {
        // What the user meets: the name is listed mangled, and its download fails
        // rather than seeming to work.
        SelectRemote({"caf?.txt"});
        Click(form->sbtnDownload);
        ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
        ASSERT_EQ(States().size(), 1);
        EXPECT_TRUE(States()[0].startsWith("Failed: 550")) << "a file the server cannot find must not download as a success: "
                                                      << States()[0].toStdString();
        EXPECT_FALSE(QFile::exists(Local("caf?.txt")));
        EXPECT_FALSE(LogLines().contains("Download success"));
        GTEST_SKIP() << "pyftpdlib lists names that are not UTF-8 with '?' for each such byte; "
                        "no command can name the file";
    }

    SelectRemote({QStringLiteral("café.txt")});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(ReadFile(Local(QStringLiteral("café.txt"))), kContent) << "the local file takes the name as shown";
    EXPECT_EQ(RawNames(), (QByteArrayList{kUtf8Name, kSparse, kLatin1Name, kFolder, kLatin1Doomed}))
        << Joined(RawNames());

    SelectRemote({QStringLiteral("café.txt")});
    dialogs->Inputs = {QStringLiteral("Café neu.txt")};
    Click(form->sbtnRename);
    EXPECT_EQ(dialogs->Texts("input").last(), QStringLiteral("Rename café.txt to: [café.txt]"));
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    // The old name went out as the server's bytes, the typed one as UTF-8.
    const QByteArray renamed = "Caf\xc3\xa9 neu.txt";
    EXPECT_EQ(RawNames(), (QByteArrayList{renamed, kUtf8Name, kSparse, kFolder, kLatin1Doomed})) << Joined(RawNames());
    QFile moved(QFile::decodeName(RawPath(renamed)));
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    EXPECT_EQ(moved.readAll(), kContent);
    EXPECT_TRUE(RemoteCaptions().contains(QStringLiteral("Café neu.txt"))) << RemoteCaptions().join('|').toStdString();

    SelectRemote({QStringLiteral("été.txt")});
    Click(form->sbtnDeleteFile);
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_EQ(RawNames(), (QByteArrayList{renamed, kUtf8Name, kSparse, kFolder})) << Joined(RawNames());
    EXPECT_FALSE(RemoteCaptions().contains(QStringLiteral("été.txt"))) << RemoteCaptions().join('|').toStdString();
}

INSTANTIATE_FOR_EVERY_SERVER(RemoteNamesRealServer);

} // namespace
