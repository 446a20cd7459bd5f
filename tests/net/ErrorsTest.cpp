// Error texts, errno mapping, NthField, status levels and start-up lines.
#include "Loopback.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(SocketErrors, LookupErrorMessageFormatsTableEntriesAndUnknownCodes)
{
    TAsyncSocket socket;
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {10060, "10060:Connection timed out"},
        {10061, "10061:Connection refused"},
        {10004, "10004:Interrupted system call"},
        {11004, "11004:Valid name, no data record of requested type"},
        {10100, "Unknown Error No. 10100"},
        {0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(socket.LookupErrorMessage(c.code), QString::fromLatin1(c.text)) << c.code;
}

TEST(SocketErrors, ErrnoValuesMapOntoTheTableCodes)
{
    const std::pair<int, int> cases[] = {
        {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060}, {ECONNRESET, 10054},
        {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051}, {EADDRINUSE, 10048},
        {EINPROGRESS, 10035}, {EWOULDBLOCK, 10035}, {EAGAIN, 10035}, {EPIPE, 10058},
        {ENOMEM, ENOMEM}, // no equivalent: stays, and reads "Unknown Error No. "
    };
    for (const auto& [err, code] : cases)
        EXPECT_EQ(SocketErrorFromErrno(err), code) << err;
}

TEST(SocketErrors, NthFieldPicksTheTextBetweenDelimiters)
{
    const struct {
        const char* text;
        char delimiter;
        int index;
        const char* expected;
    } cases[] = {
        {"RETR file.txt", ' ', 1, "RETR"},
        {"257 \"/home/user\" is current", '"', 2, "/home/user"},
        {"a,b,c", ',', 3, "c"},
        {"a,b,c", ',', 4, ""},
        {"", ' ', 1, ""},
        {"nodelimiter", ' ', 1, "nodelimiter"},
        {",lead", ',', 1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NthField(QString::fromLatin1(c.text), QLatin1Char(c.delimiter), c.index),
                  QString::fromLatin1(c.expected))
            << c.text << " #" << c.index;
}

TEST(SocketStatus, ReportLevelTwoDeliversOnlyTheReplyLine)
{
    Connection c;
    QStringList reports;
    c.socket->ReportLevel = 2;
    c.socket->Status = QStringLiteral("before");
    c.socket->OnStatus = [&](QObject*, const QString& text) { reports << text; };
    c.peer.Send("220 Ready\r\n");
    EXPECT_EQ(c.socket->Transaction(QStringLiteral("NOOP")), QStringLiteral("220 Ready\r\n"));
    EXPECT_EQ(reports, QStringList{QStringLiteral("220 Ready\r\n")});
    EXPECT_EQ(c.socket->Status, QStringLiteral("220 Ready\r\n"));

    reports.clear();
    c.socket->Write(QStringLiteral("x")); // "Write" is level 8, "Sending Buffer" level 4
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_EQ(c.socket->Status, QStringLiteral("220 Ready\r\n"));
}

TEST(SocketStatus, ConnectToAHostNameReportsItsStepsInOrder)
{
    for (const int level : {8, 16}) {
        PeerListener listener;
        TAsyncSocket socket;
        QStringList reports;
        socket.ReportLevel = level;
        socket.OnStatus = [&](QObject*, const QString& text) { reports << text; };
        socket.Host = QStringLiteral("localhost");
        socket.Port = listener.Port();
        socket.Connect();

        QStringList expected{"Connecting", "Resolve Host", "Timer On", "Timer Off",
                             "Checking Error In Error Manager", "Timer On", "Timer Off"};
        if (level < 16)
            expected.removeAll(QStringLiteral("Checking Error In Error Manager"));
        EXPECT_EQ(reports, expected) << "ReportLevel " << level;
    }
}

TEST(SocketStatus, OnlyTheFirstLiveComponentCarriesTheStartUpLines)
{
    {
        TAsyncSocket first;
        TAsyncSocket second;
        ASSERT_EQ(first.WSAInfo.size(), 6);
        const char* labels[] = {"Version= ", "High Version= ", "Description= ", "System= ",
                                "Max Sockets= ", "Max Udp pack size= "};
        for (int i = 0; i < 6; ++i)
            EXPECT_TRUE(first.WSAInfo[i].startsWith(QLatin1String(labels[i]))) << first.WSAInfo[i].toStdString();
        EXPECT_TRUE(second.WSAInfo.isEmpty());
    }
    TAsyncSocket again; // the last one released the library; this one starts it anew
    EXPECT_EQ(again.WSAInfo.size(), 6);
}
