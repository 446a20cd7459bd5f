// The capture file's chunked writer: whatever the block sizes, the file gets
// exactly the bytes given, in order; a failed write is reported, never lost.
#include "Loopback.h"
#include "net/BlockWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

TEST(BlockWriter, FileHoldsEveryByteInOrderWhateverTheBlockSizes)
{
    // Blocks that straddle chunk and page ends, one larger than a chunk, empty ones.
    const qsizetype blockSizes[][4] = {
        {16383, 16383, 16383, 16383},
        {1, 4095, 4097, 0},
        {BlockWriter::ChunkSize - 1, 2, 16383, 7},
        {3 * BlockWriter::ChunkSize + 5, 16383, 1, 16383},
    };
    for (const auto& sizes : blockSizes) {
        QTemporaryDir dir;
        QFile file(dir.filePath("out"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray data = Pattern(3 * BlockWriter::ChunkSize + 12345);
        BlockWriter writer(file);
        qsizetype done = 0;
        for (int i = 0; done < data.size(); ++i) {
            const qsizetype n = std::min(sizes[i % 4], data.size() - done);
            if (i % 2 == 0) { // as a receive does it
                std::memcpy(writer.Space(n), data.constData() + done, size_t(n));
                ASSERT_TRUE(writer.Commit(n));
            } else {
                ASSERT_TRUE(writer.Append(data.constData() + done, n));
            }
            done += n;
            EXPECT_GT(file.size(), done - BlockWriter::ChunkSize) << "holds back at most a chunk";
            EXPECT_EQ(file.size() % 4096, 0) << "writes whole pages until the end";
        }
        ASSERT_TRUE(writer.Flush());
        file.close();
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll() == data) << sizes[0];
    }
}

TEST(BlockWriter, AFailedWriteIsReportedAtTheLatestByFlush)
{
    QFile full(QStringLiteral("/dev/full"));
    if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        GTEST_SKIP() << "no /dev/full";
    BlockWriter small(full);
    EXPECT_TRUE(small.Append("abc", 3)); // held back: nothing written yet
    EXPECT_FALSE(small.Flush());

    BlockWriter large(full);
    const QByteArray chunk = Pattern(BlockWriter::ChunkSize);
    EXPECT_FALSE(large.Append(chunk.constData(), chunk.size()));
    EXPECT_FALSE(large.Append("x", 1)); // stays failed
    EXPECT_FALSE(large.Flush());
    EXPECT_EQ(full.errorString(), QString::fromLocal8Bit(std::strerror(ENOSPC)));
}

// A disk that fills up in the middle of a chunk takes part of a write and then
// refuses the rest: the reason must be the system's, not "Unknown error". A file
// size limit gives the same short write.
TEST(BlockWriter, AShortWriteReportsTheSystemsReason)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("out"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    BlockWriter writer(file);
    const QByteArray chunk = Pattern(BlockWriter::ChunkSize);
    const bool written = writer.Append(chunk.constData(), chunk.size());
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(file.size(), 10000); // as much as the limit let through
    EXPECT_EQ(file.errorString(), QString::fromLocal8Bit(std::strerror(EFBIG)));
}
