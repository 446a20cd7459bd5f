#include "app/RemoteFileTypes.h"
#include "app/uRegistry.h"

#include <gtest/gtest.h>

TEST(RemoteRegistry, ClassesRootFromTheMimeDatabase)
{
    TuRegistry reg;
    reg.Key = ".txt";
    EXPECT_EQ(reg.ReadString("", "none"), "text/plain");
    EXPECT_EQ(reg.ReadString("Other", "none"), "");
    EXPECT_TRUE(reg.KeyExists());

    reg.Key = "text/plain";
    EXPECT_FALSE(reg.ReadString("", "none").isEmpty());
    EXPECT_NE(reg.ReadString("", "none"), "none");

    for (const char* missing : {".zzqqx", ".", "no/such-type", "no/such-type\\DefaultIcon", ""}) {
        reg.Key = missing;
        EXPECT_EQ(reg.ReadString("", "none"), "none") << missing;
        EXPECT_FALSE(reg.KeyExists()) << missing;
    }

    reg.Key = ".txt";
    reg.Root = rkCurrentUser;
    EXPECT_EQ(reg.ReadString("", "none"), "none");
}

TEST(RemoteRegistry, TypeNamesAndOneImagePerType)
{
    TuRegistry reg;
    TRemoteFileTypes types(reg);
    QStringList log;
    const auto logger = [&](const QString& line) { log << line; };
    ASSERT_EQ(types.Images().size(), 2);

    const TRemoteFileInfo unknown = types.GetRemoteFileInfo("data.zzqqx", logger);
    EXPECT_EQ(unknown.TypeName, "ZZQQX file");
    EXPECT_EQ(unknown.ImageIndex, 1);
    const TRemoteFileInfo bare = types.GetRemoteFileInfo("README", logger);
    EXPECT_EQ(bare.TypeName, "file");
    EXPECT_EQ(bare.ImageIndex, 1);

    const TRemoteFileInfo text = types.GetRemoteFileInfo("a.txt", logger);
    EXPECT_NE(text.TypeName, "TXT file"); // the database's name for the type
    EXPECT_FALSE(text.TypeName.isEmpty());
    EXPECT_GE(text.ImageIndex, 2) << "the theme should have an icon for text files";
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(types.GetRemoteFileInfo(QStringLiteral("f%1.txt").arg(i), logger).ImageIndex, text.ImageIndex);
    const int afterText = int(types.Images().size());
    EXPECT_EQ(afterText, text.ImageIndex + 1);
    types.GetRemoteFileInfo("b.png", logger);
    EXPECT_LE(types.Images().size(), afterText + 1);

    types.Reset();
    EXPECT_EQ(types.Images().size(), 2);
    EXPECT_TRUE(log.isEmpty());
}
