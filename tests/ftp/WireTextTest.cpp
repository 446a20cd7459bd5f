// Names as the server's bytes: decoded without loss, sent back unchanged.
#include "ftp/WireText.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

namespace {

struct WireCase {
    const char* label;
    QByteArray bytes;
    QString encoding;
    QString automatic; // what the list shows without a chosen encoding
};

TEST(WireText, EveryNameRoundTripsByteForByte)
{
    const WireCase cases[] = {
        {"ASCII", "readme.txt", {}, "readme.txt"},
        {"UTF-8", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", {}, QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80")},
        {"ISO-8859-1 bytes", "caf\xe9.txt", {}, QString::fromLatin1("caf\xe9.txt")},
        {"truncated UTF-8 sequence", "a\xc3", {}, QString::fromLatin1("a\xc3")},
        {"overlong slash", "\xc0\xaf", {}, QString::fromLatin1("\xc0\xaf")},
        {"encoded surrogate", "\xed\xa0\x80", {}, QString::fromLatin1("\xed\xa0\x80")},
        {"bytes that look like an escape", "\xed\xb2\x80", {}, QString::fromLatin1("\xed\xb2\x80")},
        {"legacy host", "caf\xe9", QStringLiteral("ISO-8859-1"), {}},
        {"legacy host, undefined byte", "x\x81y", QStringLiteral("Windows-1252"), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString wire = DecodeWire(c.bytes, c.encoding);
        EXPECT_EQ(EncodeWire(wire, c.encoding), c.bytes);
        if (c.encoding.isEmpty()) {
            EXPECT_EQ(DisplayText(wire), c.automatic);
        }
    }
}

TEST(WireText, ALegacyHostSeesAndGetsItsOwnEncoding)
{
    if (!QStringDecoder("Windows-1252").isValid())
        GTEST_SKIP() << "no Windows-1252 converter in this Qt";
    const QString wire = DecodeWire("caf\xe9 \x80", QStringLiteral("Windows-1252"));
    EXPECT_EQ(wire, QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"));
    EXPECT_FALSE(HoldsRawBytes(wire));
    // A name the user types goes out in the host's encoding.
    EXPECT_EQ(EncodeWire(QString::fromUtf8("\xc3\xa9t\xc3\xa9"), QStringLiteral("Windows-1252")), "\xe9t\xe9");
}

TEST(WireText, BytesThatDoNotDecodeShowAsTheReplacementCharacter)
{
    const QString wire = DecodeWire("a\xff" "b");
    EXPECT_TRUE(HoldsRawBytes(wire));
    EXPECT_EQ(DisplayText(wire, false), QString("a") + QChar::ReplacementCharacter + "b");
    EXPECT_FALSE(DisplayText(wire, false).contains(QChar(0xDCFF)));
}

} // namespace
