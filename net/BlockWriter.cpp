#include "net/BlockWriter.h"

#include <QFile>

#include <cstring>

namespace {
// Whole pages keep every write of the file on page boundaries.
constexpr qsizetype PageSize = 4096;
}

BlockWriter::BlockWriter(QFile& file) : m_file(file)
{
    m_pending.resize(ChunkSize + 4 * PageSize);
}

char* BlockWriter::Space(qsizetype count)
{
    if (m_pending.size() < m_used + count)
        m_pending.resize(m_used + count);
    return m_pending.data() + m_used;
}

bool BlockWriter::Commit(qsizetype count)
{
    if (m_failed)
        return false;
    m_used += count;
    return m_used < ChunkSize || WriteOut(m_used - m_used % PageSize);
}

bool BlockWriter::Append(const char* data, qsizetype count)
{
    if (count > 0)
        std::memcpy(Space(count), data, size_t(count));
    return Commit(count);
}

bool BlockWriter::Flush()
{
    return !m_failed && WriteOut(m_used);
}

bool BlockWriter::WriteOut(qsizetype count)
{
    // A short write (the disk filled up mid-chunk) sets no error; the write of
    // the rest then fails with the system's reason ("No space left on device").
    for (qsizetype done = 0; done < count;) {
        const qint64 written = m_file.write(m_pending.constData() + done, count - done);
        if (written <= 0) {
            m_failed = true;
            m_used = 0;
            return false;
        }
        done += written;
    }
    m_used -= count;
    std::memmove(m_pending.data(), m_pending.constData() + count, size_t(m_used));
    return true;
}
