#include "AppTestSupport.h"
#include "app/AppInfo.h"
#include "app/HostsFile.h"
#include "app/IniFile.h"
#include "net/Exception.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// Opens the FIFO for writing if a reader is still stuck in open() after a while,
// so that a fault fails the test instead of hanging it.
class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString& fifo)
        : m_thread([this, path = QFile::encodeName(fifo)] {
              for (int i = 0; i < 300 && !m_done; ++i)
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              if (const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK); fd >= 0)
                  ::close(fd);
          })
    {
    }
    ~FifoWatchdog()
    {
        m_done = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

const QByteArray UnicodeValue = "Z\xC3\xBCrich \xE6\x97\xA5\xE6\x9C\xAC";  // "Zürich 日本"

QByteArray Encoded(const QString& text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}
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

// True when this user cannot write a read-only file (root can).
bool PermissionsBind(const QString& folder)
{
    const QString probe = folder + "/probe";
    QFile file(probe);
    file.open(QIODevice::WriteOnly);
    file.close();
    QFile::setPermissions(probe, QFileDevice::ReadOwner);
    const bool bind = !QFileInfo(probe).isWritable();
    QFile::remove(probe);
    return bind;
}

TEST(HostsFileNameTest, BesideTheProgramWhenThereOrNotInstalledOtherwiseInTheConfigFolder)
{
    const struct {
        const char* name;
        const char* folder; // the program's
        bool hostsFile;     // one is beside the program already
        bool readOnlyFolder;
        bool readOnlyFile;
        bool beside;
    } cases[] = {
        {"a build folder", "build", false, false, false, true},
        {"a build folder with a hosts file", "build", true, false, false, true},
        {"installed, in a folder root may write", "bin", false, false, false, false},
        {"installed with a hosts file beside it", "bin", true, false, false, true},
        {"installed with a read-only hosts file", "bin", true, false, true, false},
        {"a read-only folder", "build", false, true, false, false},
        {"a read-only folder with a hosts file", "build", true, true, false, false},
    };
    QTemporaryDir dir;
    const bool bind = PermissionsBind(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if ((c.readOnlyFolder || c.readOnlyFile) && !bind)
            continue; // this user writes whatever the permissions say
        QTemporaryDir root;
        const QString folder = root.filePath(c.folder);
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString hosts = folder + "/ferrit.vth";
        if (c.hostsFile) {
            QFile file(hosts);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        if (c.readOnlyFile)
            QFile::setPermissions(hosts, QFileDevice::ReadOwner);
        if (c.readOnlyFolder)
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(HostsFileName(folder + "/ferrit", "/cfg"), c.beside ? hosts : "/cfg/ferrit.vth");
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

// main() asks Qt for the configuration folder under the application's name.
TEST(HostsFileNameTest, TheConfigFolderIsFerritInXdgConfigHome)
{
    QTemporaryDir config;
    const QByteArray oldHome = qgetenv("XDG_CONFIG_HOME");
    const QString oldName = QCoreApplication::applicationName();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication::setApplicationName(ApplicationTitle);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QCoreApplication::setApplicationName(oldName);
    if (oldHome.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldHome);
    EXPECT_EQ(folder, config.path() + "/Ferrit");
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

TEST_F(HostsFileTest, ReadsEveryEncodingAndLineEndOtherProgramsWrite)
{
    const QString lf = "[Host1]\nHostname=a\nDescription=" + QString::fromUtf8(UnicodeValue)
                       + "\n[Host2]\nHostname=b\nPassword=pw\n";
    QString crlf = lf;
    crlf.replace("\n", "\r\n");
    QString cr = lf;
    cr.replace("\n", "\r");
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"UTF-8, LF", lf.toUtf8()},
        {"UTF-8 with BOM", Encoded(lf, QStringConverter::Utf8)},
        {"UTF-16 LE with BOM", Encoded(lf, QStringConverter::Utf16LE)},
        {"UTF-16 BE with BOM", Encoded(lf, QStringConverter::Utf16BE)},
        {"UTF-16 LE with BOM, CR LF", Encoded(crlf, QStringConverter::Utf16LE)},
        {"CR only", cr.toUtf8()},
        {"CR LF", crlf.toUtf8()},
    };
    for (const auto& c : cases) {
        WriteText(c.bytes);
        const THostsFileContents contents = LoadHostsFile(file, defaults);
        EXPECT_EQ(contents.Status, THostsFileStatus::Hosts) << c.name;
        ASSERT_EQ(Names(contents.Hosts), (QStringList{"a", "b"})) << c.name;
        EXPECT_EQ(contents.Hosts[0].Description, QString::fromUtf8(UnicodeValue)) << c.name;
        EXPECT_EQ(contents.Hosts[1].Password, "pw") << c.name;
    }
}

TEST_F(HostsFileTest, WhatIsNotARegularFileOfSaneSizeIsNotReadNorReplaced)
{
    const QByteArray hosts = "[Host1]\nHostname=a\n";
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray atLimit = hosts + QByteArray(TIniFile::MaxFileSize - hosts.size(), '\n');
    const struct {
        const char* name;
        std::function<void()> make;
        QString problem;  // empty: the file reads
    } cases[] = {
        {"a FIFO", [&] { ::mkfifo(QFile::encodeName(file).constData(), 0600); }, "it is a named pipe, not a file"},
        {"a link to a FIFO", [&] { QFile::link(fifo, file); }, "it is a named pipe, not a file"},
        {"a link to /dev/zero", [&] { QFile::link("/dev/zero", file); }, "it is a device, not a file"},
        {"a folder", [&] { QDir().mkdir(file); }, "it is a folder, not a file"},
        {"one byte over the limit", [&] { WriteText(atLimit + "\n"); }, "it is larger than 1024 KiB"},
        {"right at the limit", [&] { WriteText(atLimit); }, ""},
    };
    for (const auto& c : cases) {
        QFile::remove(file);
        QDir().rmdir(file);
        c.make();
        struct stat before {};
        ASSERT_EQ(::lstat(QFile::encodeName(file).constData(), &before), 0) << c.name;
        THostsFileContents contents;
        {
            const FifoWatchdog watchdog(file);
            QElapsedTimer clock;
            clock.start();
            contents = LoadHostsFile(file, defaults);
            EXPECT_LT(clock.elapsed(), 1000) << c.name << ": start-up must not wait on the file";
        }
        EXPECT_EQ(contents.Problem, c.problem) << c.name;
        if (c.problem.isEmpty()) {
            EXPECT_EQ(contents.Status, THostsFileStatus::Hosts) << c.name;
            continue;
        }
        EXPECT_EQ(contents.Status, THostsFileStatus::Unreadable) << c.name;
        EXPECT_TRUE(contents.Hosts.empty()) << c.name;
        THostsFileStatus status = contents.Status;
        EXPECT_THROW(SaveHostsFile(file, status, {Host("new")}), Exception) << c.name;
        EXPECT_THROW(SaveHostsFile(file, status, {}), Exception) << c.name;
        struct stat after {};
        ASSERT_EQ(::lstat(QFile::encodeName(file).constData(), &after), 0) << c.name << ": deleted";
        EXPECT_EQ(after.st_ino, before.st_ino) << c.name << ": replaced";
        EXPECT_EQ(after.st_mode, before.st_mode) << c.name;
    }
}

TEST_F(HostsFileTest, PermissionDeniedIsUnreadableWithTheSystemsWords)
{
    WriteText("[Host1]\nHostname=a\n");
    QFile::setPermissions(file, QFileDevice::WriteOwner);
    QFile probe(file);
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "this user reads files without read permission";
    const THostsFileContents contents = LoadHostsFile(file, defaults);
    EXPECT_EQ(contents.Status, THostsFileStatus::Unreadable);
    EXPECT_EQ(contents.Problem, "Permission denied");
}

TEST_F(HostsFileTest, StatusSaysWhatSavingMayDoToTheFile)
{
    const struct {
        QByteArray text;
        THostsFileStatus status;
    } cases[] = {
        {"", THostsFileStatus::Absent},
        {" \n\r\n\t\n", THostsFileStatus::Absent},
        {"[Host1]\nHostname=a\n", THostsFileStatus::Hosts},
        {"[Host1]\nDescription=no name\n[Host2]\nHostname=b\n", THostsFileStatus::NoHosts},
        {"[Host1]\nHostname=*\n", THostsFileStatus::NoHosts},
        {"not a profile file at all", THostsFileStatus::NoHosts},
        {Encoded("[Host1]\nHostname=a\n", QStringConverter::Utf32LE), THostsFileStatus::NoHosts},
    };
    for (const auto& c : cases) {
        WriteText(c.text);
        EXPECT_EQ(LoadHostsFile(file, defaults).Status, c.status) << c.text.toHex().toStdString();
    }
    QFile::remove(file);
    EXPECT_EQ(LoadHostsFile(file, defaults).Status, THostsFileStatus::Absent);
}

TEST_F(HostsFileTest, AFileWithoutReadableHostsIsKeptAsideBeforeItIsReplaced)
{
    const QByteArray old = "[Host1]\nDescription=no name\n[Host2]\nHostname=b\n";
    WriteText(old);
    THostsFileStatus status = LoadHostsFile(file, defaults).Status;
    ASSERT_EQ(status, THostsFileStatus::NoHosts);

    EXPECT_EQ(SaveHostsFile(file, status, {}), "") << "an empty list leaves it alone";
    EXPECT_EQ(ReadText(), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"ferrit.vth"});

    {
        FileSizeLimit fullDisk(16);
        EXPECT_THROW(SaveHostsFile(file, status, {Host(QString(100, 'x'))}), Exception);
    }
    EXPECT_EQ(ReadText(), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"ferrit.vth"}) << "no second name left over";
    EXPECT_EQ(status, THostsFileStatus::NoHosts);

    QFile taken(file + ".bak");
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.write("someone else's");
    taken.close();
    const QString kept = SaveHostsFile(file, status, {Host("a")});
    EXPECT_EQ(kept, file + ".1.bak");
    QFile keptFile(kept);
    ASSERT_TRUE(keptFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(keptFile.readAll(), old);
    ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
    EXPECT_EQ(taken.readAll(), "someone else's");
    EXPECT_EQ(Names(ReadHostsFile(file, defaults)), QStringList{"a"});
    EXPECT_EQ(status, THostsFileStatus::Hosts);

    EXPECT_EQ(SaveHostsFile(file, status, {Host("b")}), "") << "the file now holds our hosts";
    EXPECT_EQ(SaveHostsFile(file, status, {}), "");
    EXPECT_FALSE(QFile::exists(file)) << "an empty list of read hosts deletes it, as always";
    EXPECT_EQ(status, THostsFileStatus::Absent);
}

TEST_F(HostsFileTest, AListTooLargeToReadBackIsNotWritten)
{
    WriteText("[Host1]\nHostname=old\n");
    const std::vector<THostEntry> many(1000, THostEntry{"h", QString(2000, 'd'), "u", "p", "l", "r"});
    EXPECT_THROW(WriteHostsFile(file, many), Exception);
    EXPECT_EQ(ReadText(), "[Host1]\nHostname=old\n");
}

TEST_F(HostsFileTest, PortAndTransferModeFollowTheSixKeysAndRoundTripUnchanged)
{
    const struct {
        const char* name;
        QByteArray text;
        std::vector<std::pair<int, bool>> settings; // port, passive for each host
    } cases[] = {
        {"a file from before the new keys",
         "[Host1]\nHostname=a\nDescription=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\n"
         "[Host2]\nHostname=b\nDescription=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=\n",
         {{21, true}, {21, true}}},
        {"one with them",
         "[Host1]\nHostname=a\nDescription=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\nPort=2121\nTransferMode=active\n"
         "[Host2]\nHostname=b\nDescription=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\nTransferMode=active\n"
         "[Host3]\nHostname=c\nDescription=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\nPort=65535\n",
         {{2121, false}, {21, false}, {65535, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(c.text);
        const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
        ASSERT_EQ(hosts.size(), c.settings.size());
        for (std::size_t i = 0; i < hosts.size(); ++i) {
            EXPECT_EQ(hosts[i].Port, c.settings[i].first) << i;
            EXPECT_EQ(hosts[i].Passive, c.settings[i].second) << i;
            EXPECT_EQ(hosts[i].Username, "u") << "the six keys keep their meaning";
        }
        WriteHostsFile(file, hosts);
        EXPECT_EQ(ReadText(), c.text);
    }
}

TEST_F(HostsFileTest, EncodingFollowsTheOtherKeysOnlyWhenChosenAndRoundTrips)
{
    const QByteArray six = "Description=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\n";
    const QByteArray text = "[Host1]\nHostname=a\n" + six + "Port=2121\nTransferMode=active\nEncoding=ISO-8859-1\n"
                            "[Host2]\nHostname=b\n" + six +
                            "[Host3]\nHostname=c\n" + six + "Encoding=UTF-8\n"
                            "[Host4]\nHostname=d\n" + six + "Port=990\nEncoding=KOI8-R\n";
    WriteText(text);
    const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
    ASSERT_EQ(hosts.size(), 4u);
    const QString expected[] = {"ISO-8859-1", "", "UTF-8", "KOI8-R"};
    for (std::size_t i = 0; i < hosts.size(); ++i)
        EXPECT_EQ(hosts[i].Encoding, expected[i]) << i;
    EXPECT_EQ(hosts[3].Port, 990);
    WriteHostsFile(file, hosts);
    EXPECT_EQ(ReadText(), text);
}

TEST_F(HostsFileTest, AnEncodingIsReadByItsNameInAnyCaseAndAnUnknownOneAsAutomatic)
{
    const struct {
        QByteArray line;
        QString encoding;
        QString client; // what the FTP client speaks
    } cases[] = {
        {"", "", ""},
        {"Encoding=\n", "", ""},
        {"Encoding=utf-8\n", "UTF-8", ""},
        {"Encoding=iso-8859-1\n", "ISO-8859-1", "ISO-8859-1"},
        {"Encoding= windows-1252 \n", "Windows-1252", "Windows-1252"},
        {"Encoding=latin1\n", "", ""},
        {"Encoding=Shift_JIS\n", "", ""},
        {"Encoding=Automatic\n", "", ""},
    };
    for (const auto& c : cases) {
        WriteText("[Host1]\nHostname=a\n" + c.line);
        const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
        ASSERT_EQ(hosts.size(), 1u) << c.line.toStdString();
        EXPECT_EQ(hosts[0].Encoding, c.encoding) << c.line.toStdString();
        EXPECT_EQ(ClientNameEncoding(hosts[0].Encoding), c.client) << c.line.toStdString();
    }
}

TEST_F(HostsFileTest, AnInvalidPortOrTransferModeReadsAsTheDefault)
{
    const struct {
        QByteArray lines;
        int port;
        bool passive;
    } cases[] = {
        {"", 21, true},
        {"Port=\nTransferMode=\n", 21, true},
        {"Port=0\n", 21, true},
        {"Port=65536\n", 21, true},
        {"Port=-21\n", 21, true},
        {"Port=ftp\n", 21, true},
        {"Port=21.5\n", 21, true},
        {"Port=99999999999\n", 21, true},
        {"Port= 990 \n", 990, true},
        {"TransferMode=ACTIVE\n", 21, false},
        {"TransferMode=Passive\n", 21, true},
        {"TransferMode=activ\n", 21, true},
        {"TransferMode=PORT\n", 21, true},
    };
    for (const auto& c : cases) {
        WriteText("[Host1]\nHostname=a\n" + c.lines);
        const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
        ASSERT_EQ(hosts.size(), 1u) << c.lines.toStdString();
        EXPECT_EQ(hosts[0].Port, c.port) << c.lines.toStdString();
        EXPECT_EQ(hosts[0].Passive, c.passive) << c.lines.toStdString();
    }
}

TEST_F(HostsFileTest, SecurityFollowsTheOtherKeysOnlyWhenNotTheDefaultAndRoundTrips)
{
    const QByteArray six = "Description=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\n";
    const QByteArray text = "[Host1]\nHostname=a\n" + six + "Port=990\nTransferMode=active\nEncoding=UTF-8\nSecurity=implicit-tls\n"
                            "[Host2]\nHostname=b\n" + six +
                            "[Host3]\nHostname=c\n" + six + "Security=require-tls\n"
                            "[Host4]\nHostname=d\n" + six + "Port=2121\nSecurity=plain\n";
    WriteText(text);
    const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
    ASSERT_EQ(hosts.size(), 4u);
    const TSecurity expected[] = {TSecurity::ImplicitTls, TSecurity::TlsIfAvailable, TSecurity::RequireTls,
                                  TSecurity::PlainFtp};
    for (std::size_t i = 0; i < hosts.size(); ++i)
        EXPECT_EQ(hosts[i].Security, expected[i]) << i;
    EXPECT_EQ(hosts[0].Port, 990);
    EXPECT_EQ(hosts[0].Encoding, "UTF-8");
    WriteHostsFile(file, hosts);
    EXPECT_EQ(ReadText(), text);
}

TEST_F(HostsFileTest, EverySecuritySettingIsWrittenAndReadBack)
{
    for (const TSecurity security :
         {TSecurity::TlsIfAvailable, TSecurity::RequireTls, TSecurity::ImplicitTls, TSecurity::PlainFtp}) {
        THostEntry host = Host("a");
        host.Security = security;
        WriteHostsFile(file, {host});
        const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
        ASSERT_EQ(hosts.size(), 1u);
        EXPECT_EQ(hosts[0], host) << SecurityText(security).toStdString();
        EXPECT_EQ(ReadText().contains("Security="), security != TSecurity::TlsIfAvailable)
            << SecurityText(security).toStdString();
    }
}

// A missing word is a host saved before the setting existed: the default. A word
// no version wrote must never weaken the host: it reads as "Require TLS", and
// the user is told once, naming the hosts.
TEST_F(HostsFileTest, AMissingSecurityReadsAsTlsIfAvailableAndAnUnknownOneAsRequireTls)
{
    const struct {
        QByteArray line;
        TSecurity security;
    } cases[] = {
        {"", TSecurity::TlsIfAvailable},
        {"Security=\n", TSecurity::TlsIfAvailable},
        {"Security=tls-if-available\n", TSecurity::TlsIfAvailable},
        {"Security=REQUIRE-TLS\n", TSecurity::RequireTls},
        {"Security= Implicit-TLS \n", TSecurity::ImplicitTls},
        {"Security=plain\n", TSecurity::PlainFtp},
        {"Security=none\n", TSecurity::RequireTls},
        {"Security=3\n", TSecurity::RequireTls},
        {"Security=ftps\n", TSecurity::RequireTls},
        {"Security=plain ftp\n", TSecurity::RequireTls},
    };
    for (const auto& c : cases) {
        WriteText("[Host1]\nHostname=a\n" + c.line);
        const THostsFileContents contents = LoadHostsFile(file, defaults);
        ASSERT_EQ(contents.Hosts.size(), 1u) << c.line.toStdString();
        EXPECT_EQ(contents.Hosts[0].Security, c.security) << c.line.toStdString();
        const bool known = c.line.isEmpty() || c.security != TSecurity::RequireTls || c.line.contains("REQUIRE");
        EXPECT_EQ(contents.Notice.isEmpty(), known) << c.line.toStdString();
    }
    WriteText("[Host1]\nHostname=a\nSecurity=tls\n[Host2]\nHostname=b\n[Host3]\nHostname=c\nSecurity=ssl\n");
    EXPECT_EQ(LoadHostsFile(file, defaults).Notice.toStdString(),
              ("The security setting of a, c in the hosts file " + file
               + " is not one this version knows, so it is taken as \"Require TLS\". Edit the host to choose another.")
                  .toStdString());
}

TEST_F(HostsFileTest, UploadNamesAndTimesAreWrittenOnlyWhenTurnedOffAndReadBack)
{
    const QByteArray six = "Description=d\nUsername=u\nPassword=p\nLocalDir=/l/\nRemoteDir=r\n";
    const struct {
        bool temporaryNames;
        bool keepTimes;
        QByteArray keys;
    } cases[] = {
        {true, true, ""},
        {false, true, "UploadNames=final\n"},
        {true, false, "ModificationTimes=ignore\n"},
        {false, false, "Security=plain\nUploadNames=final\nModificationTimes=ignore\n"},
    };
    for (const auto& c : cases) {
        THostEntry host = Host("a");
        host.TemporaryUploadNames = c.temporaryNames;
        host.KeepModificationTimes = c.keepTimes;
        if (c.keys.startsWith("Security"))
            host.Security = TSecurity::PlainFtp;
        WriteHostsFile(file, {host});
        EXPECT_EQ(ReadText(), "[Host1]\nHostname=a\n" + six + c.keys) << c.keys.toStdString();
        const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
        ASSERT_EQ(hosts.size(), 1u);
        EXPECT_EQ(hosts[0], host) << c.keys.toStdString();
    }
}

TEST_F(HostsFileTest, AnUnknownUploadNamesOrTimesValueKeepsTheSaferDefault)
{
    const struct {
        QByteArray lines;
        bool temporaryNames;
        bool keepTimes;
    } cases[] = {
        {"UploadNames=FINAL\nModificationTimes= Ignore \n", false, false},
        {"UploadNames=\nModificationTimes=\n", true, true},
        {"UploadNames=direct\nModificationTimes=off\n", true, true},
        {"UploadNames=0\nModificationTimes=no\n", true, true},
    };
    for (const auto& c : cases) {
        WriteText("[Host1]\nHostname=a\n" + c.lines);
        const std::vector<THostEntry> hosts = ReadHostsFile(file, defaults);
        ASSERT_EQ(hosts.size(), 1u) << c.lines.toStdString();
        EXPECT_EQ(hosts[0].TemporaryUploadNames, c.temporaryNames) << c.lines.toStdString();
        EXPECT_EQ(hosts[0].KeepModificationTimes, c.keepTimes) << c.lines.toStdString();
    }
}
