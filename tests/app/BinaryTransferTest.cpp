// A session runs in binary type from the login on: through the main window, binary
// files move byte for byte without the user touching the type buttons, and the
// buttons show the type the server is in.
#include "RemoteFormFixture.h"
#include "RealFtpServer.h"

#include "ftp/FTPClient.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <iterator>

namespace {

// Everything an ASCII-type transfer would change: CR LF, lone LF and CR, NULs and
// bytes >= 0x80, spread over several blocks, and a lone CR as the very last byte.
QByteArray BinaryWithLineEnds(quint32 seed)
{
    const QByteArray pieces[] = {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r"), QByteArray("\r\r\n\n"),
                                 QByteArray("\0\0\0", 3), QByteArray("\x80\xff\xfe\r\x81\n", 6)};
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes += char(value);
    QRandomGenerator random(seed);
    while (bytes.size() < 60000) {
        bytes += pieces[random.bounded(int(std::size(pieces)))];
        bytes += char(random.bounded(256));
    }
    return bytes + '\r';
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

// Both sizes, so a failure says whether line ends were added or lost.
::testing::AssertionResult SameBytes(const QByteArray& actual, const QByteArray& expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the file differs: " << actual.size() << " bytes instead of "
                                         << expected.size();
}

class BinaryByDefault : public RemoteFormTest, public ::testing::WithParamInterface<RealFtpServer::Kind> {
protected:
    void SetUp() override
    {
        server = std::make_unique<RealFtpServer>(GetParam());
        if (!server->IsRunning())
            GTEST_SKIP() << server->ErrorText().toStdString();
        ASSERT_TRUE(local.isValid());
        const QString remoteDir = server->RemoteDir() == "/" ? QString() : server->RemoteDir().mid(1);
        THostEntry host = Host(server->User(), server->Password(), remoteDir);
        host.LocalDir = local.path();
        MakeForm({host}, server->Port());
        form->show();
    }
    void Open()
    {
        Connect();
        ASSERT_TRUE(form->FTPClient1->Connected) << Errors().join('\n').toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->SystemTreeView->Directory() == local.path(); }, 5000))
            << form->SystemTreeView->Directory().toStdString();
    }
    void SelectLocal(const QString& name)
    {
        form->SystemListView->Repopulate();
        for (int row = 0; row < form->SystemListView->ItemCount(); ++row)
            form->SystemListView->SetItemSelected(row, form->SystemListView->ItemCaption(row) == name);
        ASSERT_EQ(form->SystemListView->SelCount(), 1);
    }
    void ExpectBinaryButtonDown(const char* when)
    {
        SCOPED_TRACE(when);
        EXPECT_TRUE(form->sbtnBinary->isChecked());
        EXPECT_FALSE(form->sbtnASCII->isChecked());
    }
    QString Remote(const QString& name) const { return server->LocalPath(name); }
    QString Local(const QString& name) const { return QDir(local.path()).filePath(name); }

    std::unique_ptr<RealFtpServer> server;
    QTemporaryDir local;
};

TEST_P(BinaryByDefault, TheLoginSetsBinaryTypeAndTheButtonShowsIt)
{
    ExpectBinaryButtonDown("at start");
    Open();
    ExpectBinaryButtonDown("after connecting");
    const QStringList log = LogLines();
    const qsizetype loggedIn = log.indexOf(QRegularExpression("^230[ -]"));
    const qsizetype type = log.indexOf("TYPE I");
    ASSERT_GE(type, 0) << log.join('\n').toStdString();
    EXPECT_GT(type, loggedIn) << "sent after the login";
    ASSERT_LT(type + 1, log.size());
    EXPECT_TRUE(log[type + 1].startsWith("200")) << "its reply is logged too: " << log.join('\n').toStdString();
    EXPECT_EQ(log.count("TYPE I"), 1);
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

TEST_P(BinaryByDefault, DownloadAndUploadAreByteIdenticalWithoutChoosingAType)
{
    const QByteArray down = BinaryWithLineEnds(1), up = BinaryWithLineEnds(2);
    WriteFile(Remote("down.bin"), down);
    WriteFile(Local("up.bin"), up);
    Open();

    SelectRemote({"down.bin"});
    Click(form->sbtnDownload);
    EXPECT_TRUE(SameBytes(ReadFile(Local("down.bin")), down));

    SelectLocal("up.bin");
    Click(form->sbtnUpload);
    EXPECT_TRUE(SameBytes(ReadFile(Remote("up.bin")), up));
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
    ExpectBinaryButtonDown("after the transfers");
}

TEST_P(BinaryByDefault, ANewConnectionIsBinaryAgainAfterASCII)
{
    const QByteArray bytes = BinaryWithLineEnds(3);
    WriteFile(Remote("data.bin"), bytes);
    Open();
    Click(form->sbtnASCII);
    EXPECT_TRUE(form->sbtnASCII->isChecked());
    EXPECT_FALSE(form->sbtnBinary->isChecked());

    Click(form->sbtnDisconnect);
    ASSERT_FALSE(form->FTPClient1->Connected);
    Open();
    ExpectBinaryButtonDown("after connecting again");
    SelectRemote({"data.bin"});
    Click(form->sbtnDownload);
    EXPECT_TRUE(SameBytes(ReadFile(Local("data.bin")), bytes));
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, BinaryByDefault,
                         ::testing::Values(RealFtpServer::Pyftpdlib, RealFtpServer::Vsftpd, RealFtpServer::Proftpd),
                         [](const auto& info) { return RealFtpServer::Name(info.param).toStdString(); });

} // namespace
