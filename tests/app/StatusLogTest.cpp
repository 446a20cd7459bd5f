#include "app/StatusLog.h"

#include "QtPrinters.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

QStringList Lines(const QPlainTextEdit& edit)
{
    return edit.toPlainText().split(u'\n');
}

QStringList Numbers(int from, int to)
{
    QStringList lines;
    for (int i = from; i <= to; ++i)
        lines << QString::number(i);
    return lines;
}

// Kept 5, dropped in batches of 3: the log grows to 8 lines, then falls back to the
// newest 5 under the note, and so on.
TEST(StatusLog, KeepsTheNewestLinesUnderANote)
{
    QPlainTextEdit edit;
    TStatusLog log(&edit, 5, 3);
    const struct {
        int appended;
        QStringList shown;
    } steps[] = {
        {1, {"1"}},
        {8, Numbers(1, 8)},
        {9, QStringList{TStatusLog::kDroppedNote} + Numbers(5, 9)},
        {12, QStringList{TStatusLog::kDroppedNote} + Numbers(5, 12)},
        {13, QStringList{TStatusLog::kDroppedNote} + Numbers(9, 13)},
        {30, QStringList{TStatusLog::kDroppedNote} + Numbers(25, 30)},
    };
    int appended = 0;
    for (const auto& step : steps) {
        while (appended < step.appended)
            log.Append(QString::number(++appended));
        EXPECT_EQ(Lines(edit), step.shown) << "after " << appended << " lines";
        EXPECT_EQ(log.LineCount(), step.shown.size() - (step.shown.first() == TStatusLog::kDroppedNote ? 1 : 0));
    }
    EXPECT_FALSE(edit.document()->isUndoRedoEnabled()) << "an undo history would keep the dropped lines";
}

TEST(StatusLog, LinesWithLineEndsCountAsSeveral)
{
    QPlainTextEdit edit;
    TStatusLog log(&edit, 2, 1);
    log.Append("a\nb");
    log.Append("c\nd");
    EXPECT_EQ(Lines(edit), (QStringList{TStatusLog::kDroppedNote, "c", "d"}));
}

TEST(StatusLog, StartsAfreshWhenTheEditIsCleared)
{
    QPlainTextEdit edit;
    TStatusLog log(&edit, 2, 1);
    for (int i = 1; i <= 4; ++i)
        log.Append(QString::number(i));
    ASSERT_EQ(Lines(edit), (QStringList{TStatusLog::kDroppedNote, "3", "4"}));
    edit.clear();
    EXPECT_EQ(log.LineCount(), 0);
    const QStringList session = {"Connecting...", "220 ready", "USER anonymous"};
    for (const QString& line : session)
        log.Append(line);
    EXPECT_EQ(Lines(edit), session) << "no note over a log that lost nothing since";
    log.Append("331 password");
    EXPECT_EQ(Lines(edit), (QStringList{TStatusLog::kDroppedNote, "USER anonymous", "331 password"}));
}

// The window's own bound: at least 100,000 lines stay.
TEST(StatusLog, TheWindowKeepsAHundredThousandLines)
{
    QPlainTextEdit edit;
    TStatusLog& log = TStatusLog::Of(&edit);
    EXPECT_EQ(&TStatusLog::Of(&edit), &log) << "one log per edit";
    const int total = 100000 + TStatusLog::kDropBatch + 1;
    for (int i = 1; i <= total; ++i)
        log.Append(QString::number(i));
    const QStringList lines = Lines(edit);
    ASSERT_GE(lines.size(), 100001);
    EXPECT_EQ(lines.first(), TStatusLog::kDroppedNote);
    EXPECT_EQ(lines[lines.size() - 100000], QString::number(total - 99999));
    EXPECT_EQ(lines.last(), QString::number(total));
}

} // namespace
