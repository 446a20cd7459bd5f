// The whole path against real servers nobody here wrote.
#include "FtpSession.h"
#include "QtPrinters.h"
#include "RealFtpServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// In active mode: the session's defaults are the other tests' passive one.
class RealServer : public RealServerSession {
protected:
    RealServer() { passive = false; }
    QTemporaryDir local;
};

TEST_P(RealServer, RefusedLogin)
{
    FtpSession other(server.Port(), "nobody", "wrong");
    other.client.InactivityTimeOut = 10000; // pyftpdlib answers a failed login after 3 s
    try {
        other.client.Connect();
        FAIL() << "login accepted";
    } catch (const FTPException& e) {
        EXPECT_TRUE(e.Message().startsWith("530")) << e.Message().toStdString();
    }
    EXPECT_FALSE(other.client.Connected);
    EXPECT_EQ(other.events, QStringList({"ConnectionFailed"}));
    EXPECT_EQ(other.log.last(), "Disconnected");
    EXPECT_TRUE(s->client.Connected); // the good session is unaffected
}

TEST_P(RealServer, FoldersFilesAndRename)
{
    const QString folder = QString::fromUtf8("Ordner ü 東京");
    EXPECT_EQ(s->client.CurrentDir(), server.RemoteDir());
    s->client.MakeDirectory(folder);
    EXPECT_TRUE(QFileInfo(server.LocalPath(folder)).isDir());
    s->client.DoCommand("CWD " + folder);
    EXPECT_TRUE(s->client.CurrentDir().endsWith(folder));
    s->client.DoCommand("CWD ..");
    // A folder that still holds something is refused, and stays.
    QFile(server.LocalPath(folder + "/kept.txt")).open(QIODevice::WriteOnly);
    EXPECT_THROW(s->client.RemoveDirectory(folder), FTPException);
    EXPECT_TRUE(QFileInfo::exists(server.LocalPath(folder + "/kept.txt")));
    ASSERT_TRUE(QFile::remove(server.LocalPath(folder + "/kept.txt")));
    s->events.clear();
    s->client.RemoveDirectory(folder);
    EXPECT_EQ(s->events, QStringList{"Success 3"});
    EXPECT_FALSE(QFileInfo::exists(server.LocalPath(folder)));

    QFile(server.LocalPath("a.txt")).open(QIODevice::WriteOnly);
    const QString renamed = QString::fromUtf8("b – ß.txt");
    s->client.Rename("a.txt", renamed);
    EXPECT_TRUE(QFileInfo::exists(server.LocalPath(renamed)));
    s->client.Delete(renamed);
    EXPECT_FALSE(QFileInfo::exists(server.LocalPath(renamed)));

    s->events.clear();
    EXPECT_THROW(s->client.Delete("no-such-file"), FTPException);
    EXPECT_THROW(s->client.Rename("no-such-file", "x"), FTPException);
    EXPECT_TRUE(s->client.Connected);
    EXPECT_EQ(s->events, QStringList());
}

TEST_P(RealServer, ListingIsParsed)
{
    WriteRandomFile(server.LocalPath("one.bin"), 1234, 1);
    WriteRandomFile(server.LocalPath(QString::fromUtf8("zwei ä.bin")), 0, 2);
    QDir(server.LocalDir()).mkdir("sub");
    s->client.ParseList = true;
    s->events.clear();
    s->client.List();
    EXPECT_EQ(s->client.Vendor, FTPVendorUnix);
    EXPECT_EQ(s->events, QStringList({"Success 14", "Start", "Stop", "Success 4"}));
    const TFTPDirectoryList* list = s->client.FTPDirectoryList();
    const qsizetype one = list->Names.indexOf("one.bin");
    ASSERT_GE(one, 0) << list->Names.join(", ").toStdString();
    EXPECT_EQ(list->Sizes[one], "1234");
    const qsizetype sub = list->Names.indexOf("sub");
    ASSERT_GE(sub, 0);
    EXPECT_TRUE(list->Rights[sub].startsWith('d')) << list->Rights[sub].toStdString();
    if (s->client.MachineListings()) {
        // Machine listings name every entry whole, in facts.
        EXPECT_TRUE(list->Names.contains(QString::fromUtf8("zwei ä.bin"))) << list->Names.join(", ").toStdString();
        EXPECT_EQ(s->items.filter(QRegularExpression("^[A-Za-z.]+=")).size(), s->items.size());
    } else {
        EXPECT_TRUE(list->Names.contains(QString::fromUtf8("ä.bin"))); // a name with a space keeps its last word
        EXPECT_EQ(s->items.size(), s->items.filter(QRegularExpression("^[-dl]")).size() + s->items.filter("total").size());
    }
    EXPECT_EQ(s->client.MachineListings(), GetParam() != RealFtpServer::Vsftpd) << "vsftpd lists with LIST only";
}

TEST_P(RealServer, TransfersAreByteIdentical)
{
    const qint64 sizes[] = {0, 1, 16382, 16383, 16384, 49150, 10 * 1024 * 1024};
    for (qint64 size : sizes) {
        SCOPED_TRACE(size);
        const QString name = QString::fromUtf8("daten-%1-ü.bin").arg(size);
        const QString source = local.filePath("source-" + name);
        WriteRandomFile(source, size, quint32(size) + 7);
        s->events.clear();
        s->client.Upload(source, name);
        EXPECT_EQ(Sha256Of(server.LocalPath(name)), Sha256Of(source));
        EXPECT_EQ(s->events, QStringList({"Start", "Stop", "Success 9"}));

        const QString copy = local.filePath("copy-" + name);
        s->client.Download(name, copy);
        EXPECT_EQ(Sha256Of(copy), Sha256Of(source));
        EXPECT_EQ(s->client.BytesTotal, size);
    }
}

TEST_P(RealServer, DownloadOfMissingFileKeepsLocalFile)
{
    const QString target = local.filePath("keep.txt");
    {
        QFile f(target);
        f.open(QIODevice::WriteOnly);
        f.write("mine");
    }
    EXPECT_THROW(s->client.Download("no-such-file", target), FTPException);
    QFile f(target);
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), "mine");
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"keep.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer,
                         ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd, RealFtpServer::Proftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

} // namespace
