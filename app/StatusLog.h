#pragma once
// The bound of the status log: a connection that stays open for days, or a server that
// never stops talking, would otherwise grow the window's memory without end.
#include <QObject>
#include <QString>

class QPlainTextEdit;

// Keeps the newest lines of a plain text edit. The oldest are dropped in batches, so
// that one append stays cheap, and one first line then says that lines are missing.
class TStatusLog : public QObject {
public:
    static constexpr int kKeptLines = 100000;
    static constexpr int kDropBatch = 10000;
    static const QString kDroppedNote;

    // Keeps at least keptLines lines and drops once dropBatch more have come.
    explicit TStatusLog(QPlainTextEdit* edit, int keptLines = kKeptLines, int dropBatch = kDropBatch);

    // The log of edit, made on first use; the edit owns it.
    static TStatusLog& Of(QPlainTextEdit* edit);

    // Adds line (which may itself hold line ends) at the end.
    void Append(const QString& line);
    // The lines of the log, the note not counted.
    int LineCount() const;

private:
    bool HasNote() const;
    void DropOldest(int count);

    QPlainTextEdit* m_edit;
    const int m_keptLines;
    const int m_dropBatch;
};
