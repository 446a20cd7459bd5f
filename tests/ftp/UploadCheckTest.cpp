// Uploads that never destroy the remote file, the conflict question that is
// never skipped, the check of every finished transfer, and modification
// times: the exact conversations against the scripted server, the bytes on
// disk against real servers (ProFTPD with its hashing module).
#include "FtpSession.h"
#include "QtPrinters.h"
#include "RealFtpServer.h"
#include "ScriptedFtpServer.h"
#include "ftp/FTPText.h"
#include "ftp/TransferCheck.h"
#include "ftp/TransferQueue.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using S = ScriptedFtpServer;

const QByteArray kFeatures = "211-Features:\r\n SIZE\r\n MDTM\r\n211 End\r\n";

QByteArray Hex(const QByteArray& data, QCryptographicHash::Algorithm algorithm = QCryptographicHash::Sha256)
{
    return QCryptographicHash::hash(data, algorithm).toHex();
}

// The lines the client sent that start with one of starts, from index from on.
QByteArrayList Sent(const S& server, const QByteArrayList& starts, qsizetype from = 0)
{
    QByteArrayList lines;
    for (const QByteArray& line : server.ReceivedWithoutPort().mid(from))
        if (std::any_of(starts.begin(), starts.end(), [&](const QByteArray& s) { return line.startsWith(s + ' '); }))
            lines << line;
    return lines;
}

// A scripted server in passive mode that takes uploads and renames.
struct ScriptedUploads {
    S server;
    FtpSession s{server.Port()};
    QTemporaryDir local;

    explicit ScriptedUploads(const QByteArray& features = kFeatures)
    {
        server.On("EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n");
        server.On("FEAT", features);
        server.On("STOR", {.text = "150 ok\r\n", .data = S::Receive, .completion = "226 done\r\n"});
        server.On("RNFR", "350 Ready.\r\n");
        server.On("RNTO", "250 Renamed.\r\n");
        server.On("DELE", "250 Deleted.\r\n");
        server.On("CWD", "250 ok\r\n");
        s.client.Passive = true;
        s.client.Connect();
    }

    QString File(const QString& name, const QByteArray& content)
    {
        const QString path = local.filePath(name);
        WriteFile(path, content);
        return path;
    }
};

// ---------------------------------------------------------------- the conflict question

struct ConflictCase {
    const char* name;
    QByteArray features;
    QByteArray mlst;      // its reply, if the server offers it
    QByteArray sizeText;  // "SIZE" in text type
    QByteArray sizeBinary;
    QByteArray listing;   // the folder's listing, where asked
    bool asked;
    qint64 targetSize;
};

// Whether the remote file is there is decided in binary type, and a "SIZE"
// that is refused or cannot tell is never taken for "no such file": "MLST", or
// else the folder's listing, decides.
TEST(UploadConflicts, AnExistingRemoteFileIsAlwaysAskedAbout)
{
    const QByteArray mlstFeatures = "211-Features:\r\n MLST type*;size*;modify*;\r\n SIZE\r\n211 End\r\n";
    const QByteArray there = "-rw-r--r-- 1 o g 5 Jan 1 12:00 a.txt\r\n-rw-r--r-- 1 o g 9 Jan 1 12:00 other\r\n";
    const ConflictCase cases[] = {
        {"SIZE refused in text type (pyftpdlib)", kFeatures, {}, "550 SIZE not allowed in ASCII mode.\r\n",
         "213 5\r\n", {}, true, 5},
        {"SIZE refused, the listing shows it", kFeatures, {}, "502 No.\r\n", "502 No.\r\n", there, true, 5},
        {"SIZE cannot tell, the listing lacks it", kFeatures, {}, "550 No.\r\n", "550 No.\r\n",
         "-rw-r--r-- 1 o g 9 Jan 1 12:00 other\r\n", false, 0},
        {"MLST shows it", mlstFeatures, "250-Listing\r\n type=file;size=5;modify=20240101000000; /a.txt\r\n250 End\r\n",
         "550 No.\r\n", "550 No.\r\n", {}, true, 5},
        {"MLST says it is not there", mlstFeatures, "550 No such file.\r\n", "213 5\r\n", "213 5\r\n", {}, false, 0},
    };
    for (const ConflictCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedUploads u(c.features);
        bool binary = false;
        // Only "a.txt" is there: the free name beside it is "a (1).txt".
        u.server.OnCommand = [&](const QByteArray& line) {
            const bool target = line.endsWith("/a.txt");
            if (line.startsWith("TYPE "))
                binary = line == "TYPE I";
            if (line.startsWith("SIZE "))
                u.server.On("SIZE", !target && c.sizeBinary.startsWith("213") ? QByteArray("550 No.\r\n")
                                   : binary || !target                    ? c.sizeBinary
                                                                          : c.sizeText);
            if (line.startsWith("MLST "))
                u.server.On("MLST", c.mlst.isEmpty() ? QByteArray("502 No.\r\n")
                                    : target         ? c.mlst
                                                     : QByteArray("550 No such file.\r\n"));
        };
        u.server.On("TYPE", "200 Type set.\r\n");
        u.server.On("LIST", {.text = "150 ok\r\n", .data = S::Send, .payload = c.listing, .completion = "226 ok\r\n"});
        TTransferQueue queue(u.s.client);
        int asked = 0;
        queue.OnConflict = [&](const TConflict& conflict) {
            ++asked;
            EXPECT_EQ(conflict.TargetSize, c.targetSize);
            return TConflictDecision{TConflictAnswer::Skip, false, {}};
        };
        queue.TextType = true; // as after the ASCII button
        queue.AddUpload(u.File("a.txt", "fresh text"), "/");
        queue.Run();
        EXPECT_EQ(asked, c.asked ? 1 : 0);
        EXPECT_EQ(Sent(u.server, {"STOR"}).isEmpty(), c.asked) << "skipped means nothing stored";
        EXPECT_EQ(Sent(u.server, {"SIZE"}).isEmpty() || !binary, true) << "the session is back in text type";
    }
}

// ---------------------------------------------------------------- temporary names

struct RenameCase {
    const char* name;
    bool temporaryNames;
    QByteArray rnfr;
    QList<QByteArray> rnto; // replies in turn
    QByteArrayList sent;    // STOR, RNFR, RNTO, DELE of the first upload
    const char* logged;     // a line the log has, if any
};

// The upload goes to a hidden name and is renamed over the target; a server
// that renames over no existing file gets "DELE" first; one that renames
// nothing gets the target written directly, logged, also for the next upload.
TEST(UploadNames, TheTargetIsReplacedOnlyByACompleteFile)
{
    const RenameCase cases[] = {
        {"renamed over the target", true, "350 Ready.\r\n", {"250 Renamed.\r\n"},
         {"STOR /d/.a.bin.part", "RNFR /d/.a.bin.part", "RNTO /d/a.bin"}, nullptr},
        {"no rename over an existing file", true, "350 Ready.\r\n", {"553 Exists.\r\n", "250 Renamed.\r\n"},
         {"STOR /d/.a.bin.part", "RNFR /d/.a.bin.part", "RNTO /d/a.bin", "DELE /d/a.bin", "RNFR /d/.a.bin.part",
          "RNTO /d/a.bin"},
         "the old file is deleted first"},
        {"no rename at all", true, "502 No.\r\n", {"502 No.\r\n"},
         {"STOR /d/.a.bin.part", "RNFR /d/.a.bin.part", "STOR /d/a.bin", "DELE /d/.a.bin.part"},
         "it is written directly"},
        {"temporary names off", false, "350 Ready.\r\n", {"250 Renamed.\r\n"}, {"STOR /d/a.bin"}, nullptr},
    };
    const QByteArray data(70000, 'd');
    for (const RenameCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedUploads u;
        u.server.On("RNFR", c.rnfr);
        u.server.On("RNTO", {.text = c.rnto.front()});
        for (const QByteArray& reply : c.rnto.mid(1))
            u.server.Queue("RNTO", {.text = reply});
        u.s.client.TemporaryUploadNames = c.temporaryNames;
        const QString source = u.File("a.bin", data);
        const qsizetype before = u.server.ReceivedWithoutPort().size();
        u.s.client.Upload(source, "/d/a.bin");
        EXPECT_EQ(Sent(u.server, {"STOR", "RNFR", "RNTO", "DELE"}, before), c.sent);
        EXPECT_EQ(u.server.Uploaded(), data);
        if (c.logged) {
            EXPECT_FALSE(u.s.log.filter(c.logged).isEmpty()) << u.s.log.join('\n').toStdString();
        }
        const qsizetype second = u.server.ReceivedWithoutPort().size();
        u.s.client.Upload(source, "/d/b.bin");
        const QByteArray stored = Sent(u.server, {"STOR"}, second).value(0);
        EXPECT_EQ(stored, c.temporaryNames && c.rnfr.startsWith("350") ? "STOR /d/.b.bin.part" : "STOR /d/b.bin");
    }
}

// ---------------------------------------------------------------- checks

struct CheckCase {
    const char* name;
    bool upload;
    QByteArray features;
    QByteArray announced;   // of the 150 reply of a download
    QByteArray sizeReply;
    QByteArray hashVerb;    // the command that asks for the digest
    QByteArray hashReply;   // "{hex}" becomes the digest of the file
    bool damaged;           // the server's digest is another file's
    TTransferCheck check;   // when it holds
    bool fails;
};

// Each transfer ends with the size and, where the server hashes files, with
// the digest of the bytes that moved. A mismatch fails it: a download keeps the
// old local file, an upload removes its temporary file and renames nothing.
TEST(TransferChecks, SizeAndDigestDecide)
{
    const QByteArray hashFeatures = "211-Features:\r\n SIZE\r\n HASH SHA-1;SHA-256*;MD5\r\n211 End\r\n";
    const QByteArray xFeatures = "211-Features:\r\n SIZE\r\n XSHA256\r\n XMD5\r\n211 End\r\n";
    const QByteArray noFeatures = "502 No.\r\n";
    const QByteArray data(50000, 'q');
    const QByteArray size = "213 50000\r\n";
    const QByteArray hash = "213 SHA-256 0-49999 {hex} a.bin\r\n";
    const CheckCase cases[] = {
        {"upload, HASH agrees", true, hashFeatures, {}, size, "HASH", hash, false, TTransferCheck::Sha256, false},
        {"upload, HASH differs", true, hashFeatures, {}, size, "HASH", hash, true, {}, true},
        {"upload, the server has fewer bytes", true, hashFeatures, {}, "213 49999\r\n", "HASH", hash, false, {}, true},
        {"upload, XSHA256 agrees", true, xFeatures, {}, size, "XSHA256", "250 {hex}\r\n", false, TTransferCheck::Sha256,
         false},
        {"upload, size only", true, kFeatures, {}, size, "XSHA256", "500 Unknown.\r\n", false, TTransferCheck::Size,
         false},
        {"upload, nothing to check with", true, noFeatures, {}, size, "HASH", hash, false, TTransferCheck::None, false},
        {"download, HASH agrees", false, hashFeatures, "(50000 bytes)", size, "HASH", hash, false,
         TTransferCheck::Sha256, false},
        {"download, HASH differs", false, hashFeatures, "(50000 bytes)", size, "HASH", hash, true, {}, true},
        {"download, more bytes than announced", false, noFeatures, "(40000 bytes)", size, "HASH", hash, false, {},
         true},
        {"download, size from SIZE", false, kFeatures, "", size, "XSHA256", "500 Unknown.\r\n", false,
         TTransferCheck::Size, false},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedUploads u(c.features);
        u.server.On("SIZE", c.sizeReply);
        const QByteArray digest = c.damaged ? Hex("another file") : Hex(data);
        QByteArray reply = c.hashReply;
        u.server.On(c.hashVerb, reply.replace("{hex}", digest));
        u.server.On("RETR", {.text = "150 ok " + c.announced + "\r\n", .data = S::Send, .payload = data,
                             .completion = "226 done\r\n"});
        const QString file = c.upload ? u.File("a.bin", data) : u.File("a.bin", "the old local file");
        const qsizetype before = u.server.ReceivedWithoutPort().size();
        try {
            if (c.upload)
                u.s.client.Upload(file, "a.bin");
            else
                u.s.client.Download("a.bin", file);
            EXPECT_FALSE(c.fails) << "no failure";
            EXPECT_EQ(u.s.client.LastCheck, c.check);
        } catch (const ETransferCheckFailed& e) {
            EXPECT_TRUE(c.fails) << e.Message().toStdString();
        }
        const QByteArrayList renames = Sent(u.server, {"RNFR", "DELE"}, before);
        if (c.upload) {
            EXPECT_EQ(renames, c.fails ? QByteArrayList{"DELE .a.bin.part"} : QByteArrayList{"RNFR .a.bin.part"});
        } else {
            EXPECT_EQ(ReadFile(file), c.fails ? QByteArray("the old local file") : data);
            EXPECT_FALSE(QFileInfo::exists(TFTPClient::PartialFileOf(file)));
        }
    }
}

// The queue keeps how each done item was checked.
TEST(TransferChecks, TheQueueKeepsHowEachItemWasChecked)
{
    ScriptedUploads u("211-Features:\r\n SIZE\r\n HASH SHA-256*\r\n211 End\r\n");
    const QByteArray data = "checked bytes";
    u.server.On("HASH", "213 SHA-256 0-12 " + Hex(data) + " x\r\n");
    u.server.On("LIST", {.text = "150 ok\r\n", .data = S::Send, .completion = "226 ok\r\n"});
    // Only what was uploaded is there (the listing agrees).
    u.server.OnCommand = [&](const QByteArray& line) {
        if (line.startsWith("SIZE "))
            u.server.On("SIZE", line.endsWith(".part") && u.server.DataConnections() > 1 ? "213 13\r\n" : "550 No.\r\n");
    };
    TTransferQueue queue(u.s.client);
    queue.AddUpload(u.File("a.bin", data), "/");
    queue.TextType = true;
    queue.AddUpload(u.File("b.txt", data), "/");
    queue.Run();
    ASSERT_EQ(queue.Items().size(), 2u);
    EXPECT_EQ(queue.Items()[0].State, TTransferState::Done) << queue.Items()[0].Error.toStdString();
    EXPECT_EQ(queue.Items()[0].Checked, TTransferCheck::Sha256);
    EXPECT_EQ(queue.Items()[1].Checked, TTransferCheck::None) << "text type changes the bytes";
}

TEST(TransferChecks, ReplyAndFeatureTexts)
{
    const QByteArray sha = Hex("x");
    EXPECT_EQ(DigestOfHashReply("213 SHA-256 0-0 " + sha + " my file.txt\r\n", TTransferCheck::Sha256), sha);
    EXPECT_EQ(DigestOfHashReply("213 MD5 0-0 " + Hex("x", QCryptographicHash::Md5) + " f\r\n", TTransferCheck::Sha256),
              std::nullopt);
    EXPECT_EQ(DigestOfXReply("250 " + sha.toUpper() + "\r\n", TTransferCheck::Sha256), sha);
    EXPECT_EQ(DigestOfXReply("250 my 1 file " + sha + "\r\n", TTransferCheck::Sha256), sha);
    EXPECT_EQ(DigestOfXReply("250 1a2b\r\n", TTransferCheck::Crc32), "00001a2b");
    EXPECT_EQ(DigestOfXReply("250 nothing here\r\n", TTransferCheck::Md5), std::nullopt);

    const std::optional<THashFeature> feature = HashFeatureOf({"211-Features:", " HASH SHA-1;SHA-256*;SHA-512;MD5;FOO", "211 End"});
    ASSERT_TRUE(feature);
    EXPECT_EQ(feature->Selected, TTransferCheck::Sha256);
    EXPECT_EQ(feature->Algorithms, (std::vector<TTransferCheck>{TTransferCheck::Sha256, TTransferCheck::Sha512,
                                                                TTransferCheck::Sha1, TTransferCheck::Md5}));
    EXPECT_EQ(HashFeatureOf({" SIZE"}), std::nullopt);

    // CRC-32 streamed in pieces is the whole one's (zlib's check value of "123456789").
    TStreamDigest crc(TTransferCheck::Crc32);
    crc.Add("1234", 4);
    crc.Add("56789", 5);
    EXPECT_EQ(crc.HexResult(), "cbf43926");
    EXPECT_EQ(CheckText(TTransferCheck::Sha256), "SHA-256 verified");
    EXPECT_EQ(CheckText(TTransferCheck::Size), "size checked");
}

// ---------------------------------------------------------------- times

// Times go to the server with "MFMT", else "SITE UTIME" until the server shows
// it does not know it; downloads take the listing's time without asking; and
// KeepModificationTimes = false sends none of it.
TEST(TransferTimes, ScriptedConversations)
{
    const QDateTime then(QDate(2021, 6, 7), QTime(8, 9, 10), Qt::UTC);
    {
        SCOPED_TRACE("SITE UTIME, then not again");
        ScriptedUploads u;
        u.server.Queue("SITE", {.text = "200 Times set.\r\n"});
        u.server.Queue("SITE", {.text = "500 Unknown SITE command.\r\n"});
        const QString source = u.File("a.txt", "x");
        {
            QFile f(source);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            f.setFileTime(then, QFileDevice::FileModificationTime);
        }
        for (int i = 0; i < 3; ++i)
            u.s.client.Upload(source, "a.txt");
        EXPECT_EQ(Sent(u.server, {"SITE"}), (QByteArrayList{"SITE UTIME 20210607080910 .a.txt.part",
                                                             "SITE UTIME 20210607080910 .a.txt.part"}));
    }
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "kept" : "not kept");
        ScriptedUploads u("211-Features:\r\n MDTM\r\n MFMT\r\n211 End\r\n");
        u.server.On("MDTM", "213 20200101000000\r\n");
        u.server.On("MFMT", "213 Modify=20210607080910; a.txt\r\n");
        u.server.On("RETR", {.text = "150 ok\r\n", .data = S::Send, .payload = "abc", .completion = "226 done\r\n"});
        u.s.client.KeepModificationTimes = keep;
        const QString target = u.local.filePath("d.txt");
        u.s.client.Download("d.txt", target);
        EXPECT_EQ(QFileInfo(target).lastModified().toUTC() == QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC), keep);
        u.s.client.Download("d.txt", target, false, then); // the listing's time
        EXPECT_EQ(QFileInfo(target).lastModified().toUTC() == then, keep);
        u.s.client.Upload(u.File("u.txt", "y"), "u.txt");
        EXPECT_EQ(Sent(u.server, {"MDTM", "MFMT"}).size(), keep ? 2 : 0) << "one MDTM, one MFMT";
    }
}

// ---------------------------------------------------------------- real servers

class UploadRealServer : public ::testing::TestWithParam<RealFtpServer::Kind> {};

// Overwrite answered, the upload cancelled under way: the old remote file is
// untouched, byte for byte, and nothing is left under the final name but it.
TEST_P(UploadRealServer, ACancelledOverwriteLeavesTheOldFile)
{
    RealFtpServer server(GetParam());
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    const QString remoteDir = server.RemoteDir();
    const QString old = QDir(server.LocalDir()).filePath("big.bin");
    WriteRandomFile(old, 3 * 1024 * 1024, 1);
    const QByteArray oldDigest = Sha256Of(old);
    QTemporaryDir local;
    const QString source = local.filePath("big.bin");
    WriteRandomFile(source, 8 * 1024 * 1024, 2);
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    TTransferQueue queue(s.client);
    int asked = 0;
    queue.OnConflict = [&](const TConflict& conflict) {
        ++asked;
        EXPECT_EQ(conflict.TargetSize, 3 * 1024 * 1024);
        return TConflictDecision{TConflictAnswer::Overwrite, false, {}};
    };
    queue.OnItemChanged = [&](int index) {
        const TTransferItem& item = queue.Items()[index];
        // At the first progress report: later ones come only every 50 ms, and
        // on loopback the whole upload may take less.
        if (item.State == TTransferState::Running && item.Moved > 0)
            queue.Cancel(index);
    };
    queue.AddUpload(source, remoteDir);
    queue.Run();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(queue.Items()[0].State, TTransferState::Cancelled) << queue.Items()[0].Error.toStdString();
    EXPECT_EQ(Sha256Of(old), oldDigest) << "the old file stays as it was";
    EXPECT_EQ(queue.MovedBytes(), queue.TotalBytes()) << "a cancelled item counts in neither total";

    // Overwrite again, to the end: the new file, checked, and no temporary file left.
    queue.OnItemChanged = nullptr;
    queue.RetryFailed();
    queue.Run();
    EXPECT_EQ(queue.Items()[0].State, TTransferState::Done) << queue.Items()[0].Error.toStdString();
    EXPECT_EQ(Sha256Of(old), Sha256Of(source));
    EXPECT_EQ(QDir(server.LocalDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
    EXPECT_EQ(queue.Items()[0].Checked, TTransferCheck::Size);
}

// A stopped upload's temporary file is not continued once the local file has
// changed: its old bytes would sit in front of the new ones, and pyftpdlib has
// no digest to tell.
TEST(UploadNamesRealServer, AChangedFileIsNotContinued)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    QTemporaryDir local;
    const QString source = local.filePath("doc.bin");
    constexpr qint64 size = 4 * 1024 * 1024;
    WriteRandomFile(source, size, 7);
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    s.client.OnPacketSent = [&](QObject*) {
        if (s.client.BytesSent() >= size / 3)
            s.client.Abort();
    };
    EXPECT_THROW(s.client.Upload(source, "doc.bin"), EAbortError);
    s.client.OnPacketSent = nullptr;
    ASSERT_GT(QFileInfo(server.LocalPath(TFTPClient::TemporaryUploadNameOf("doc.bin"))).size(), 0);

    WriteRandomFile(source, size, 8); // edited meanwhile
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime);
    }
    s.client.Upload(source, "doc.bin");
    EXPECT_EQ(Sha256Of(server.LocalPath("doc.bin")), Sha256Of(source));
    EXPECT_FALSE(s.log.filter("another version of the file").isEmpty()) << s.log.join('\n').toStdString();
}

// pyftpdlib refuses "SIZE" in text type: a session in text type is asked in
// binary type and still gets the question.
TEST(UploadConflictsRealServer, TextTypeStillAsksOnPyftpdlib)
{
    RealFtpServer server(RealFtpServer::Pyftpdlib);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    WriteFile(server.LocalPath("notes.txt"), "the server's notes\n");
    QTemporaryDir local;
    WriteFile(local.filePath("notes.txt"), "mine\n");
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    s.client.DoCommand("TYPE A");
    TTransferQueue queue(s.client);
    int asked = 0;
    queue.OnConflict = [&](const TConflict&) {
        ++asked;
        return TConflictDecision{TConflictAnswer::Skip, false, {}};
    };
    queue.TextType = true;
    queue.AddUpload(local.filePath("notes.txt"), server.RemoteDir());
    queue.Run();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ReadFile(server.LocalPath("notes.txt")), "the server's notes\n");
    EXPECT_TRUE(s.client.TextType());
}

INSTANTIATE_TEST_SUITE_P(Servers, UploadRealServer,
                         ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd, RealFtpServer::Proftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

// ProFTPD with mod_digest: "HASH" (or, where it is refused, "XSHA256") checks
// both ways; a server file changed under the transfer fails it.
class DigestRealServer : public ::testing::TestWithParam<RealFtpServer::Digests> {};

TEST_P(DigestRealServer, DigestsCheckBothWays)
{
    RealFtpServer server(RealFtpServer::Proftpd, GetParam());
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    const QByteArray verb = GetParam() == RealFtpServer::WithoutHash ? "XSHA256 " : "HASH ";
    constexpr qint64 size = 2 * 1024 * 1024 + 3;
    WriteRandomFile(server.LocalPath("down.bin"), size, 3);
    QTemporaryDir local;
    const QString source = local.filePath("up.bin");
    WriteRandomFile(source, size, 4);
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.Passive = true;
    s.client.Connect();
    s.client.DoCommand("CWD " + server.RemoteDir());

    s.client.Upload(source, "up.bin");
    EXPECT_EQ(s.client.LastCheck, TTransferCheck::Sha256) << s.log.join('\n').toStdString();
    EXPECT_EQ(Sha256Of(server.LocalPath("up.bin")), Sha256Of(source));
    s.client.Download("down.bin", local.filePath("down.bin"));
    EXPECT_EQ(s.client.LastCheck, TTransferCheck::Sha256);
    EXPECT_FALSE(s.log.filter(QString::fromLatin1(verb)).isEmpty()) << s.log.join('\n').toStdString();

    // The server's file is damaged at its start once the transfer is under way.
    const auto damage = [](const QString& path) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const char first = f.read(1).front();
        f.seek(0);
        f.write(QByteArray(1, char(~first)));
    };
    WriteRandomFile(server.LocalPath("damaged.bin"), size, 5);
    const QString target = local.filePath("damaged.bin");
    WriteFile(target, "the old local file");
    bool damaged = false;
    s.client.OnPacketRecvd = [&](QObject*) {
        if (!std::exchange(damaged, true))
            damage(server.LocalPath("damaged.bin"));
    };
    EXPECT_THROW(s.client.Download("damaged.bin", target), ETransferCheckFailed);
    s.client.OnPacketRecvd = nullptr;
    EXPECT_EQ(ReadFile(target), "the old local file");
    EXPECT_FALSE(QFileInfo::exists(TFTPClient::PartialFileOf(target)));

    WriteFile(server.LocalPath("victim.bin"), "the old remote file");
    const QString temporary = server.LocalPath(TFTPClient::TemporaryUploadNameOf("victim.bin"));
    damaged = false;
    s.client.OnPacketSent = [&](QObject*) {
        if (s.client.BytesSent() > size / 2 && !std::exchange(damaged, true))
            damage(temporary);
    };
    EXPECT_THROW(s.client.Upload(source, "victim.bin"), ETransferCheckFailed);
    s.client.OnPacketSent = nullptr;
    EXPECT_EQ(ReadFile(server.LocalPath("victim.bin")), "the old remote file");
    EXPECT_FALSE(QFileInfo::exists(temporary));
}

INSTANTIATE_TEST_SUITE_P(Proftpd, DigestRealServer, ::testing::Values(RealFtpServer::WithDigests, RealFtpServer::WithoutHash),
                         [](const auto& info) {
                             return std::string(info.param == RealFtpServer::WithDigests ? "HASH" : "XSHA256");
                         });

} // namespace
