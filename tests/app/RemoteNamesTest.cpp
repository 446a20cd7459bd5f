// Names that are not UTF-8, against a scripted server: shown as the host's encoding
// setting asks, and sent back to the server as the very bytes it listed.
#include "RemoteFormFixture.h"
#include "ScriptedFtpServer.h"

#include "app/RemoteListModel.h"
#include "ftp/FTPClient.h"
#include "ftp/WireText.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

const QByteArray kNames = "drwxr-xr-x   2 user     group         512 Jan  1 12:00 r\xe9pertoire\r\n"
                          "-rw-r--r--   1 user     group           4 Jan  1 12:00 caf\xc3\xa9-utf8.txt\r\n"
                          "-rw-r--r--   1 user     group           4 Jan  1 12:00 caf\xe9.txt\r\n";

ScriptedFtpServer::Reply Sending(const QByteArray& payload)
{
    return {.text = "150 Here it comes.\r\n", .data = ScriptedFtpServer::Send, .payload = payload,
            .completion = "226 Done.\r\n"};
}

class RemoteNames : public RemoteFormTest {
protected:
    void Open(const QString& encoding, const QByteArray& listing = kNames)
    {
        server.On("LIST", Sending(listing));
        server.On("CWD", "250 OK.\r\n");
        THostEntry host = Host("joe", "pw");
        host.Encoding = encoding;
        MakeForm({host}, server.Port());
        Connect();
        ASSERT_TRUE(form->FTPClient1->Connected);
        Sent = server.ReceivedWithoutPort().size();
    }
    QByteArrayList SentSince() const { return server.ReceivedWithoutPort().mid(Sent); }
    // The lines sent since, of commands that begin so. The scripted server keeps one
    // connection: the transfer connection's login comes between, and a reconnect's.
    QByteArrayList SentSince(const QByteArray& start) const
    {
        QByteArrayList lines;
        for (const QByteArray& line : SentSince())
            if (line.startsWith(start))
                lines << line;
        return lines;
    }
    void ShowLocalFolder()
    {
        ASSERT_TRUE(local.isValid());
        form->show();
        form->SystemTreeView->SetDirectory(local.path());
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemTreeView->Directory() == local.path(); }, 5000));
    }
    QStringList LocalFiles() const { return QDir(local.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }

    ScriptedFtpServer server;
    QTemporaryDir local;
    qsizetype Sent = 0;
};

struct TEncodingCase {
    const char* label;
    QString setting;        // the host's
    QString clientEncoding; // what the FTP client is told
    QString folder, utf8Name, latin1Name; // the captions of the three entries
    QByteArray typedName;   // "dossier-é" as typed into the rename box, on the wire
};

class RemoteNamesByEncoding : public RemoteNames, public ::testing::WithParamInterface<TEncodingCase> {};

TEST_P(RemoteNamesByEncoding, NamesShowAsTheHostAsks)
{
    const TEncodingCase& c = GetParam();
    Open(c.setting);
    EXPECT_EQ(form->FTPClient1->NameEncoding, c.clientEncoding);
    // The listing made on connecting has no ".." row.
    EXPECT_EQ(RemoteCaptions(), (QStringList{c.utf8Name, c.latin1Name, c.folder}))
        << RemoteCaptions().join('|').toStdString();
    EXPECT_FALSE(server.Received().contains("OPTS UTF8 ON")) << "the scripted server offers no features";
}

TEST_P(RemoteNamesByEncoding, CommandsSendTheServersBytes)
{
    const TEncodingCase& c = GetParam();
    Open(c.setting);
    ShowLocalFolder();
    server.On("RETR", Sending("data"));
    server.On("RNFR", "350 Ready.\r\n");
    server.On("RNTO", "250 Renamed.\r\n");
    server.On("DELE", "250 Deleted.\r\n");

    SelectRemote({c.latin1Name});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    EXPECT_TRUE(AnySent(SentSince(), [](const QByteArray& line) { return line == "RETR /caf\xe9.txt"; }))
        << SentSince().join('|').toStdString();
    EXPECT_EQ(LocalFiles(), QStringList{c.latin1Name}) << "the local file takes the name as shown";
    QFile file(QDir(local.path()).filePath(c.latin1Name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "data");

    // Left as shown, a name keeps its bytes; a typed one goes out in the host's encoding.
    Sent = server.ReceivedWithoutPort().size();
    SelectRemote({c.latin1Name, c.folder});
    dialogs->Inputs = {c.latin1Name, QStringLiteral("dossier-é")};
    Click(form->sbtnRename);
    EXPECT_EQ(dialogs->Texts("input").first(), "Rename " + c.latin1Name + " to: [" + c.latin1Name + "]");
    EXPECT_EQ(SentSince("RN"), (QByteArrayList{"RNFR caf\xe9.txt", "RNTO caf\xe9.txt", "RNFR r\xe9pertoire",
                                                     "RNTO " + c.typedName}));

    Sent = server.ReceivedWithoutPort().size();
    SelectRemote({c.latin1Name});
    Click(form->sbtnDeleteFile);
    EXPECT_EQ(SentSince("DELE"), QByteArrayList{"DELE caf\xe9.txt"});

    Sent = server.ReceivedWithoutPort().size();
    SelectRemote({c.folder});
    form->IdleHandler();
    emit form->lvRemoteFiles->doubleClicked(form->lvRemoteFiles->selectionModel()->selectedRows().first());
    EXPECT_EQ(SentSince("CWD ./"), QByteArrayList{"CWD ./r\xe9pertoire"});
    EXPECT_TRUE(LogLines().contains("CWD ./" + c.folder)) << "the log names the folder as the list does";
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

const QString kReplacement(QChar::ReplacementCharacter);

INSTANTIATE_TEST_SUITE_P(
    Settings, RemoteNamesByEncoding,
    ::testing::Values(
        TEncodingCase{"automatic", "", "", "répertoire", "café-utf8.txt", "café.txt", "dossier-\xc3\xa9"},
        TEncodingCase{"utf8", "UTF-8", "", "r" + kReplacement + "pertoire", "café-utf8.txt",
                      "caf" + kReplacement + ".txt", "dossier-\xc3\xa9"},
        TEncodingCase{"latin1", "ISO-8859-1", "ISO-8859-1", "répertoire", "cafÃ©-utf8.txt", "café.txt",
                      "dossier-\xe9"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RemoteNames, AHostileNameIsRefusedAfterDecodingAndAnOverlongOneStaysInside)
{
    Open({}, "-rw-r--r--   1 user     group           4 Jan  1 12:00 \xe9/../../escape.txt\r\n"
             "-rw-r--r--   1 user     group           4 Jan  1 12:00 \xc0\xae\xc0\xae\xc0\xafx\r\n");
    ShowLocalFolder();
    server.On("RETR", Sending("data"));
    // Overlong UTF-8 for "../" is no path: its bytes show as ISO-8859-1.
    const QString overlong = QStringLiteral("À®À®À¯x");
    SelectRemote({overlong});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(AnySent(SentSince(), [](const QByteArray& line) {
        return line.startsWith("RETR ") && line.endsWith("/\xc0\xae\xc0\xae\xc0\xafx");
    })) << SentSince().join('|').toStdString();
    EXPECT_EQ(LocalFiles(), QStringList{overlong});

    Sent = server.ReceivedWithoutPort().size();
    SelectRemote({QStringLiteral("é/../../escape.txt")});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors().first().contains("é/../../escape.txt")) << Errors().first().toStdString();
    EXPECT_FALSE(AnySent(SentSince(),
                             [](const QByteArray& line) { return line.startsWith("RETR "); }))
        << SentSince().join('|').toStdString();
    EXPECT_EQ(LocalFiles(), QStringList{overlong});
    EXPECT_FALSE(QFile::exists(QDir(local.path()).filePath("../../escape.txt")));
}

TEST(RemoteEntryNames, WireNamesAreKeptWhereTheyDifferFromTheCaption)
{
    const QString raw = DecodeWire("caf\xe9.txt");
    TRemoteEntries entries;
    const TRemoteEntry added[] = {
        {"plain", "1", "file", "", "", 1},                        // made without a wire name
        {"café.txt", "4", "TXT file", "", "", 1, raw},             // shown apart from its bytes
        {"same", "1", "file", "", "", 1, "same"},
        {"caf\uFFFD.txt", "4", "TXT file", "", "", 1, raw + "2"},
    };
    for (const TRemoteEntry& entry : added)
        entries.Add(entry);
    const QString expected[] = {"plain", raw, "same", raw + "2"};
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(entries.At(i).WireName, expected[i]) << i;
        EXPECT_EQ(entries.At(i).Caption, added[i].Caption) << i;
    }
    EXPECT_EQ(EncodeWire(entries.At(1).WireName), "caf\xe9.txt") << "the bytes survive storage";
}

} // namespace
