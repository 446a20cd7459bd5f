#pragma once
// Writes a stream of small blocks to a file in large page-aligned chunks. On
// loopback a received block costs less than the kernel's per-call work for
// writing it, so a capture that wrote each block on its own spent most of its
// time there. The bytes held back are less than ChunkSize; Flush writes them.
#include <QByteArray>

class QFile;

class BlockWriter {
public:
    static constexpr qsizetype ChunkSize = 256 * 1024;

    explicit BlockWriter(QFile& file);
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // Room for count bytes at the end of the held bytes, valid until the next
    // call; a receive goes straight in there and Commit takes what it filled.
    char* Space(qsizetype count);
    // These return false once a write has failed (the file's errorString says
    // why); from then on nothing more is written.
    bool Commit(qsizetype count);
    bool Append(const char* data, qsizetype count);
    bool Flush();

private:
    bool WriteOut(qsizetype count);

    QFile& m_file;
    QByteArray m_pending; // the first m_used bytes are held
    qsizetype m_used = 0;
    bool m_failed = false;
};
