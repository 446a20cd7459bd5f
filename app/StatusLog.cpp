#include "app/StatusLog.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

const QString TStatusLog::kDroppedNote = QStringLiteral("(older lines were dropped)");

TStatusLog::TStatusLog(QPlainTextEdit* edit, int keptLines, int dropBatch)
    : QObject(edit), m_edit(edit), m_keptLines(std::max(keptLines, 1)), m_dropBatch(std::max(dropBatch, 1))
{
    setObjectName(QStringLiteral("StatusLog"));
}

TStatusLog& TStatusLog::Of(QPlainTextEdit* edit)
{
    if (auto* log = edit->findChild<TStatusLog*>(QStringLiteral("StatusLog"), Qt::FindDirectChildrenOnly))
        return *log;
    return *new TStatusLog(edit);
}

bool TStatusLog::HasNote() const
{
    // Told by the text, so a log cleared by its edit starts afresh without telling us.
    const QTextDocument* doc = m_edit->document();
    return doc->blockCount() > 1 && doc->firstBlock().text() == kDroppedNote;
}

int TStatusLog::LineCount() const
{
    const QTextDocument* doc = m_edit->document();
    if (doc->isEmpty())
        return 0;
    return doc->blockCount() - (HasNote() ? 1 : 0);
}

void TStatusLog::Append(const QString& line)
{
    // A read-only log needs no undo, and an undo history would keep every dropped line.
    if (m_edit->document()->isUndoRedoEnabled())
        m_edit->document()->setUndoRedoEnabled(false);
    m_edit->appendPlainText(line);
    const int lines = LineCount();
    if (lines > m_keptLines + m_dropBatch)
        DropOldest(lines - m_keptLines);
}

void TStatusLog::DropOldest(int count)
{
    QTextDocument* doc = m_edit->document();
    const bool noted = HasNote();
    const int first = noted ? 1 : 0;
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.setPosition(doc->findBlockByNumber(first).position());
    cursor.setPosition(doc->findBlockByNumber(first + count).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (!noted) {
        cursor.insertText(kDroppedNote);
        cursor.insertBlock();
    }
    cursor.endEditBlock();
}
