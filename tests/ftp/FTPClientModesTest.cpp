// Both data-connection modes and both address families against real servers
// nobody here wrote: passive on 127.0.0.1 and on ::1, active on 127.0.0.1.
// vsftpd's passive rows run it passive-only, so a client that falls back to
// "PORT" fails there; the log proves the mode on the other servers.
#include "DataConnectionLog.h"
#include "FtpSession.h"
#include "QtPrinters.h"
#include "RealFtpServer.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Mode {
    RealFtpServer::Kind kind;
    RealFtpServer::Family family;
    bool passive;
};

const Mode AllModes[] = {
    {RealFtpServer::Pyftpdlib, RealFtpServer::IPv4, true}, {RealFtpServer::Pyftpdlib, RealFtpServer::IPv6, true},
    {RealFtpServer::Pyftpdlib, RealFtpServer::IPv4, false}, {RealFtpServer::Vsftpd, RealFtpServer::IPv4, true},
    {RealFtpServer::Vsftpd, RealFtpServer::IPv6, true},     {RealFtpServer::Vsftpd, RealFtpServer::IPv4, false},
    {RealFtpServer::Proftpd, RealFtpServer::IPv4, true},    {RealFtpServer::Proftpd, RealFtpServer::IPv6, true},
    {RealFtpServer::Proftpd, RealFtpServer::IPv4, false},
};

std::string ModeName(const Mode& mode)
{
    return RealFtpServer::Name(mode.kind).toStdString() + (mode.passive ? "_passive" : "_active")
           + (mode.family == RealFtpServer::IPv6 ? "_ipv6" : "_ipv4");
}

void PrintTo(const Mode& mode, std::ostream* out) { *out << ModeName(mode); }

QByteArray RandomBytes(qint64 size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray data(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        data[i] = char(random.generate());
    return data;
}

// Sizes only: a 10 MiB difference printed in full would bury the report.
::testing::AssertionResult SameBytes(const QByteArray& actual, const QByteArray& expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the bytes differ (" << actual.size() << " bytes, expected "
                                         << expected.size() << ")";
}

class Modes : public ::testing::TestWithParam<Mode> {
protected:
    void SetUp() override
    {
        if (!server.IsRunning())
            GTEST_SKIP() << server.ErrorText().toStdString();
        s.client.Host = server.Host();
        s.client.Passive = GetParam().passive;
        s.client.InactivityTimeOut = 10000;
        s.client.Connect();
        ASSERT_TRUE(s.client.Connected);
        s.client.DoCommand("CWD " + server.RemoteDir());
    }

    RealFtpServer server{GetParam().kind, GetParam().family,
                         GetParam().kind == RealFtpServer::Vsftpd && GetParam().passive ? RealFtpServer::PassiveOnly
                                                                                       : RealFtpServer::BothModes};
    FtpSession s{server.Port(), server.User(), server.Password()};
    QTemporaryDir local;
};

TEST_P(Modes, LoginAndListing)
{
    WriteFile(server.LocalPath("one.bin"), RandomBytes(1234, 1));
    QDir(server.LocalDir()).mkdir("sub");
    s.client.ParseList = true;
    s.events.clear();
    s.client.List();
    EXPECT_EQ(s.events, QStringList({"Success 14", "Start", "Stop", "Success 4"}));
    const TFTPDirectoryList* list = s.client.FTPDirectoryList();
    const qsizetype one = list->Names.indexOf("one.bin");
    ASSERT_GE(one, 0) << list->Names.join(", ").toStdString();
    EXPECT_EQ(list->Sizes[one], "1234");
    EXPECT_TRUE(list->Names.contains("sub"));
    EXPECT_TRUE(DataConnectionsIn(GetParam().passive, GetParam().family == RealFtpServer::IPv6, s.log));
    EXPECT_TRUE(s.client.Connected);
}

TEST_P(Modes, TransfersAreByteIdentical)
{
    for (qint64 size : {0, 1, 16383, 16384, 10 * 1024 * 1024}) {
        SCOPED_TRACE(size);
        const QString name = QString::fromUtf8("daten-%1-ü.bin").arg(size);
        const QByteArray bytes = RandomBytes(size, quint32(size) + 11);
        WriteFile(local.filePath(name), bytes);
        s.events.clear();
        s.client.Upload(local.filePath(name), name);
        EXPECT_TRUE(SameBytes(ReadFile(server.LocalPath(name)), bytes));
        EXPECT_EQ(s.events, QStringList({"Start", "Stop", "Success 9"}));

        s.events.clear();
        const QString copy = local.filePath("copy-" + name);
        s.client.Download(name, copy);
        EXPECT_TRUE(SameBytes(ReadFile(copy), bytes));
        EXPECT_EQ(s.client.BytesTotal, size);
        EXPECT_EQ(s.events, QStringList({"Start", "Stop", "Success 8"}));
    }
    EXPECT_TRUE(DataConnectionsIn(GetParam().passive, GetParam().family == RealFtpServer::IPv6, s.log));
}

INSTANTIATE_TEST_SUITE_P(Servers, Modes, ::testing::ValuesIn(AllModes),
                         [](const auto& info) { return ModeName(info.param); });

// The passive-only fixture is what makes vsftpd's passive rows prove anything:
// it refuses an active client, which gets the refusal and keeps the session.
TEST(PassiveOnlyServer, RefusesAnActiveClientWhichKeepsItsSession)
{
    RealFtpServer server(RealFtpServer::Vsftpd, RealFtpServer::IPv4, RealFtpServer::PassiveOnly);
    if (!server.IsRunning())
        GTEST_SKIP() << server.ErrorText().toStdString();
    FtpSession s(server.Port(), server.User(), server.Password());
    s.client.InactivityTimeOut = 10000;
    s.client.Passive = false;
    s.client.Connect();
    s.client.DoCommand("CWD " + server.RemoteDir());
    EXPECT_THROW(s.client.List(), FTPException);
    EXPECT_TRUE(s.client.Connected);

    s.client.Passive = true;
    s.items.clear();
    WriteFile(server.LocalPath("seen.txt"), "x");
    s.client.List();
    EXPECT_EQ(s.items.filter("seen.txt").size(), 1) << s.log.join('\n').toStdString();
}

} // namespace
