// A session runs in binary type from the login on: through the main window, binary
// files move byte for byte without the user touching the type buttons, and the
// buttons show the type the server is in.
#include "RealServerForm.h"

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

// Both sizes, so a failure says whether line ends were added or lost.
::testing::AssertionResult SameBytes(const QByteArray& actual, const QByteArray& expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the file differs: " << actual.size() << " bytes instead of "
                                         << expected.size();
}

class BinaryByDefault : public RealServerForm {
protected:
    void ExpectBinaryButtonDown(const char* when)
    {
        SCOPED_TRACE(when);
        EXPECT_TRUE(form->sbtnBinary->isChecked());
        EXPECT_FALSE(form->sbtnASCII->isChecked());
    }
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
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(SameBytes(ReadFile(Local("down.bin")), down));

    SelectLocal({"up.bin"});
    Click(form->sbtnUpload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
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
    // The listing of the new connection comes below the old one: a refresh shows one.
    Click(form->sbtnRefresh);
    SelectRemote({"data.bin"});
    Click(form->sbtnDownload);
    ASSERT_TRUE(WaitUntilIdle()) << States().join('|').toStdString();
    EXPECT_TRUE(SameBytes(ReadFile(Local("data.bin")), bytes));
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('\n').toStdString();
}

INSTANTIATE_FOR_EVERY_SERVER(BinaryByDefault);

} // namespace
