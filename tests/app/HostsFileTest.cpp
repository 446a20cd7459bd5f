#include "app/HostsFile.h"
#include "app/IniFile.h"
#include "net/Exception.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {
class HostsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("ferrit.vth"));
    int passwordLookups = 0;
    THostDefaults defaults{QStringLiteral("/opt/ferrit/"), [this] {
                               ++passwordLookups;
                               return QStringLiteral("192.0.2.7");
                           }};

    void WriteText(const QByteArray& text)
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    QByteArray ReadText()
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    static THostEntry Host(const QString& name)
    {
        return {name, QStringLiteral("d"), QStringLiteral("u"), QStringLiteral("p"), QStringLiteral("/l/"), QStringLiteral("r")};
    }
};

// Qt's "user" bits repeat those of whoever runs the test; leave them out.
const QFileDevice::Permissions OwnerGroupOther = QFileDevice::Permissions::fromInt(0xf0ff);

QStringList Names(const std::vector<THostEntry>& hosts)
{
    QStringList names;
    for (const THostEntry& host : hosts)
        names << host.Hostname;
    return names;
}

// Makes every write past `bytes` fail for this process while it lives, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};
}

TEST(HostsFileNameTest, BesideTheProgramWithItsExtensionReplaced)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    QDir(folder).mkdir("v1.2");
    const struct {
        QString executable;
        QString expected;
    } cases[] = {
        {folder + "/ferrit", folder + "/ferrit.vth"},
        {folder + "/ferrit.bin", folder + "/ferrit.vth"},
        {folder + "/ferrit.old.exe", folder + "/ferrit.old.vth"},
        {folder + "/v1.2/ferrit", folder + "/v1.2/ferrit.vth"},  // a dot in a folder is no extension
        {"/nonexistent-folder/ferrit.bin", "/cfg/ferrit.vth"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HostsFileName(c.executable, "/cfg"), c.expected) << qPrintable(c.executable);
}

TEST(HostsFileNameTest, ReadOnlyProgramFolderUsesTheConfigFolder)
{
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (QFileInfo(dir.path()).isWritable())
        GTEST_SKIP() << "this user may write into read-only folders";
    EXPECT_EQ(HostsFileName(dir.filePath("ferrit"), "/cfg"), "/cfg/ferrit.vth");
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(HostsFileTest, MissingFileReadsAsEmptyList)
{
    EXPECT_TRUE(ReadHostsFile(file, defaults).empty());
}

TEST_F(HostsFileTest, ListEndsAtFirstMissingNumberOrStar)
{
    const struct {
        const char* text;
        QStringList expected;
    } cases[] = {
        {"[Host1]\nHostname=a\n[Host2]\nHostname=b\n[Host4]\nHostname=d\n", {"a", "b"}},
        {"[Host1]\nHostname=a\n[Host2]\nHostname=*\n[Host3]\nHostname=c\n", {"a"}},
        {"[Host2]\nHostname=b\n", {}},
        {"[Host1]\nDescription=no name\n[Host2]\nHostname=b\n", {}},
        // Sections in any order, names in any case, an empty host name accepted.
        {"[host2]\nHOSTNAME=b\n[Host1]\nHostname=\n", {"", "b"}},
    };
    for (const auto& c : cases) {
        WriteText(c.text);
        EXPECT_EQ(Names(ReadHostsFile(file, defaults)), c.expected) << c.text;
    }
}

TEST_F(HostsFileTest, MissingKeysTakeTheDefaults)
{
    WriteText("[Host1]\nHostname=ftp.example.com\n[Host2]\nHostname=h2\nPassword=secret\nRemoteDir=/pub\n");
    const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
    ASSERT_EQ(hosts.size(), 2u);
    EXPECT_EQ(hosts[0], (THostEntry{"ftp.example.com", "Vantle-FTP host", "anonymous", "192.0.2.7", "/opt/ferrit/", ""}));
    EXPECT_EQ(hosts[1], (THostEntry{"h2", "Vantle-FTP host", "anonymous", "secret", "/opt/ferrit/", "/pub"}));
    // The local address costs a name look-up: asked only for the entry that lacks a password.
    EXPECT_EQ(passwordLookups, 1);
}

TEST_F(HostsFileTest, SaveWritesSixKeysInOrderNumberedFromOne)
{
    WriteHostsFile(file, {Host("b"), Host("a")});
    EXPECT_EQ(ReadText(),
              "[Host1]\nHostname=b\nDescription=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\n"
              "[Host2]\nHostname=a\nDescription=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\n");
}

TEST_F(HostsFileTest, SaveReplacesOldSectionsAndGaps)
{
    WriteText("[Host1]\nHostname=a\nExtra=1\n[Host2]\nHostname=b\n[Host4]\nHostname=d\n");
    WriteHostsFile(file, ReadHostsFile(file, defaults));
    const QByteArray text = ReadText();
    EXPECT_FALSE(text.contains("Host4"));
    EXPECT_FALSE(text.contains("Extra"));
    EXPECT_EQ(Names(ReadHostsFile(file, defaults)), (QStringList{"a", "b"}));
}

TEST_F(HostsFileTest, HostNamedStarIsSavedAndEndsTheListNextTime)
{
    WriteHostsFile(file, {Host("a"), Host("*"), Host("c")});
    EXPECT_TRUE(ReadText().contains("Hostname=*\n"));
    EXPECT_EQ(Names(ReadHostsFile(file, defaults)), QStringList{"a"});
}

TEST_F(HostsFileTest, SavingAnEmptyListDeletesTheFile)
{
    WriteHostsFile(file, {Host("a")});
    WriteHostsFile(file, {});
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(ReadHostsFile(file, defaults).empty());
}

TEST_F(HostsFileTest, FileIsPrivateToItsOwner)
{
    WriteText("[Host1]\nHostname=old\n");
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    WriteHostsFile(file, {Host("a")});
    EXPECT_EQ(QFile::permissions(file) & OwnerGroupOther,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QString fresh = dir.filePath("sub/fresh.vth");
    WriteHostsFile(fresh, {Host("a")});
    EXPECT_EQ(QFile::permissions(fresh) & OwnerGroupOther, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(HostsFileTest, FailedSaveKeepsTheOldFile)
{
    WriteText("[Host1]\nHostname=old\n");
    std::vector<THostEntry> many(200, Host(QString(100, QLatin1Char('x'))));
    try {
        FileSizeLimit fullDisk(512);
        WriteHostsFile(file, many);
        FAIL() << "the save should have failed";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "Unable to write to " + file);
    }
    EXPECT_EQ(ReadText(), "[Host1]\nHostname=old\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"ferrit.vth"}) << "no temporary file left";
}

TEST_F(HostsFileTest, OddValuesSurviveSaveAndLoad)
{
    const QString values[] = {
        "two  inner  spaces",
        "a=b=c",
        ";starts like a comment",
        "#hash",
        "[Host1]",
        "]",
        "Zürich – 日本語 ✓",
        "  leading and trailing  ",
        "\"quoted\"",
        "",
        QString(2047, QLatin1Char('v')),
    };
    std::vector<THostEntry> hosts;
    for (const QString& value : values)
        hosts.push_back({"h" + QString::number(hosts.size()), value, value, value, value, value});
    WriteHostsFile(file, hosts);
    EXPECT_EQ(ReadHostsFile(file, defaults), hosts);
}

TEST_F(HostsFileTest, LongValuesAreCutAt2047Characters)
{
    WriteHostsFile(file, {{"h", QString(5000, QLatin1Char('d')), "u", "p", "l", "r"}});
    EXPECT_EQ(ReadHostsFile(file, defaults).at(0).Description, QString(TIniFile::MaxValueLength, QLatin1Char('d')));
    // A character outside the basic plane is not split in two at the limit.
    QString astral = QString(2046, QLatin1Char('e')) + QString::fromUtf8("😀") + "tail";
    WriteHostsFile(file, {{"h", astral, "u", "p", "l", "r"}});
    EXPECT_EQ(ReadHostsFile(file, defaults).at(0).Description, QString(2046, QLatin1Char('e')));
}

TEST(GetLocalIPTest, GivesADottedIPv4AddressOrNothing)
{
    const QString address = GetLocalIP();
    EXPECT_TRUE(address.isEmpty() || QHostAddress(address).protocol() == QAbstractSocket::IPv4Protocol)
        << qPrintable(address);
}
