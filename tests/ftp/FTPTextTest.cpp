#include "ftp/FTPText.h"

#include <gtest/gtest.h>

namespace {

TEST(FTPText, ReplyContinuation)
{
    const std::pair<const char*, bool> cases[] = {
        {"220-Welcome\r\n", true},
        {" second line\r\n", true},
        {"220 Ready\r\n", false},
        {"22-\r\n", false}, // "-" in the third column only
        {" a\n", true},     // short, but starts with a space
        {"ab\n", false},
        {"", false},
        {"Hello-world\r\n", false},
        {"abc-\r\n", true}, // the fourth column decides, whatever comes before
    };
    for (const auto& [line, continues] : cases)
        EXPECT_EQ(IsReplyContinuation(QString::fromUtf8(line)), continues) << line;
}

TEST(FTPText, ByteCount)
{
    const std::pair<const char*, qint64> cases[] = {
        {"150 Opening BINARY mode data connection for a.txt (1234 bytes).\r\n", 1234},
        {"150 Opening data connection.\r\n", 0},
        {"150 Opening BINARY mode data connection for bytes.dat (99 bytes)\r\n", 150}, // BYTE inside the name
        {"150 5368709120 Bytes follow\r\n", 5368709120LL},                             // beyond 32 bits
        {"150 here come (77)Byte\r\n", 77},
        {"BYTES without digits\r\n", 0},
        {"150 (99999999999999999999999 bytes)\r\n", 0}, // does not fit: 0
        {"", 0},
    };
    for (const auto& [reply, count] : cases)
        EXPECT_EQ(ByteCountOf(QString::fromUtf8(reply)), count) << reply;
}

TEST(FTPText, CommandTypeByFirstWord)
{
    const std::pair<const char*, TCmdType> cases[] = {
        {"CWD /pub", TCmdType::ChangeDir},
        {"CWD", TCmdType::ChangeDir},
        {"cwd /pub", TCmdType::DoCommand},
        {"MKD new", TCmdType::MakeDir},
        {"DELE a.txt", TCmdType::Delete},
        {"RMD old", TCmdType::RemoveDir},
        {"PWD", TCmdType::CurrentDir},
        {"PWD ", TCmdType::DoCommand},
        {"NOOP", TCmdType::DoCommand},
        {"CWDX a", TCmdType::DoCommand},
        {"", TCmdType::DoCommand},
    };
    for (const auto& [command, type] : cases)
        EXPECT_EQ(CommandTypeOf(QString::fromUtf8(command)), type) << command;
}

TEST(FTPText, ListingLineEnd)
{
    const std::pair<const char*, const char*> cases[] = {
        {"abc\r\n", "abc"}, {"abc\n", "abc"}, {"\r\n", "\r\n"}, {"a\n", "a\n"}, {"abc", "abc"}, {"ab\r\r\n", "ab\r"},
    };
    for (const auto& [line, cut] : cases)
        EXPECT_EQ(CutListingLineEnd(QString::fromUtf8(line)), QString::fromUtf8(cut)) << line;
}

TEST(FTPText, ReplyNumber)
{
    EXPECT_EQ(ReplyNumberOf("220 Ready\r\n"), 220);
    EXPECT_EQ(ReplyNumberOf("Hello\r\n"), 0);
    EXPECT_EQ(ReplyNumberOf("99999999999999 x"), 2147483647); // at most 10 digits, no wrap
    EXPECT_EQ(ReplyNumberOf("40000 x"), 40000);
}

TEST(FTPText, UnsafeTextIsRejected)
{
    for (const QString& bad : {QString("a\r\nDELE b"), QString("a\nb"), QString("a\rb"), QString("a") + QChar(0) + "b"})
        EXPECT_THROW(RejectUnsafeText(bad), EUnsafeCommand) << bad.toStdString();
    EXPECT_NO_THROW(RejectUnsafeText(QString::fromUtf8("Grüße aus Köln.txt")));
    EXPECT_EQ(FileNamePart("/home/u/x.txt"), "x.txt");
    EXPECT_EQ(FileNamePart("x.txt"), "x.txt");
    EXPECT_EQ(FileNamePart("/home/u/a:b.txt"), "a:b.txt"); // ":" is an ordinary character here
}

} // namespace
