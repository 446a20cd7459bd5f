#include "app/TransferNames.h"
#include "ftp/WireText.h"
#include "net/Exception.h"

#include <gtest/gtest.h>

TEST(RemoteTransferNames, LocalFolderGetsOneSlash)
{
    EXPECT_EQ(LocalTransferFolder(""), "/");
    EXPECT_EQ(LocalTransferFolder("/tmp"), "/tmp/");
    EXPECT_EQ(LocalTransferFolder("/tmp/"), "/tmp/");
    EXPECT_EQ(LocalTransferFile("/tmp/x", "a b.txt"), "/tmp/x/a b.txt");
    EXPECT_EQ(LocalTransferFile("/tmp/x", "...").toStdString(), "/tmp/x/...");
    EXPECT_EQ(LocalTransferFile("/", "a"), "/a");
    EXPECT_THROW(LocalTransferFile("", "a"), Exception) << "no folder chosen: nothing is written into the root";
}

TEST(RemoteTransferNames, BothTheShownAndTheWireNameAreChecked)
{
    const QString raw = DecodeWire("caf\xe9.txt");
    EXPECT_EQ(LocalTransferFile("/tmp/x", "café.txt", raw), "/tmp/x/café.txt");
    const struct {
        QString caption, wire;
    } refused[] = {{"a", "../a"}, {"a", "a/b"}, {"..", "x"}, {"a", QStringLiteral("a") + QChar(0)}};
    for (const auto& c : refused)
        EXPECT_THROW(LocalTransferFile("/tmp/x", c.caption, c.wire), Exception) << c.wire.toStdString();
    // The refusal names a raw name readably, not by its undecoded bytes.
    try {
        CheckEntryName(DecodeWire("\xe9/x"));
        ADD_FAILURE() << "accepted";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(QString(QChar::ReplacementCharacter) + "/x")) << e.Message().toStdString();
        EXPECT_FALSE(HoldsRawBytes(e.Message()));
    }
}

TEST(RemoteTransferNames, NamesThatLeaveTheFolderAreRefused)
{
    const QString bad[] = {"", ".", "..", "../x", "a/b", "/etc/passwd", "link -> /usr/bin/x",
                           QStringLiteral("a") + QChar(0) + QStringLiteral("b")};
    for (const QString& name : bad) {
        try {
            LocalTransferFile("/tmp/x", name);
            ADD_FAILURE() << "accepted " << name.toStdString();
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().startsWith("Refused to transfer")) << e.Message().toStdString();
        }
    }
    for (const QString& good : {QStringLiteral(".hidden"), QStringLiteral("..a"), QStringLiteral("a..b"),
                                QStringLiteral("Grüße.txt"), QStringLiteral(" lead")})
        EXPECT_NO_THROW(CheckEntryName(good)) << good.toStdString();
}
