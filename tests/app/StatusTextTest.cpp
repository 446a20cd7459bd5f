#include "app/StatusText.h"

#include "RemoteFormFixture.h"
#include "app/StatusBar.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

TEST(RemoteStatusText, LogLines)
{
    const struct { const char* status; std::optional<const char*> line; } cases[] = {
        {"", std::nullopt}, {"   ", std::nullopt}, {"\r\n", std::nullopt}, {" \t\r\n \r\n", std::nullopt},
        {"\x01", std::nullopt}, {"\x1b\x1f\x0b\x0c \x7f", "\x1b\x1f\x0b\x0c \x7f"}, {"\x1b\x1f\x0b\x0c ", std::nullopt},
        {"\xa0", "\xa0"}, {" \xa0\r\n", " \xa0"}, // a non-breaking space is not blank
        {"226 Transfer complete.\r\n", "226 Transfer complete."},
        {"a\r\nb\r\n", "ab"},
        {"x\r\r\n\n", "x"}, // removing the inner pair makes another
        {"  indented\r\n", "  indented"},
        {"bare LF\n", "bare LF\n"}};
    for (const auto& c : cases) {
        const auto line = StatusLogLine(QString::fromLatin1(c.status));
        ASSERT_EQ(line.has_value(), c.line.has_value()) << c.status;
        if (line) {
            EXPECT_EQ(*line, QString::fromLatin1(*c.line)) << c.status;
        }
    }
}

TEST(RemoteStatusText, PercentagesAndBarWidths)
{
    const struct { qint64 part, total; int percent; } percents[] = {
        {512, 2048, 25}, {0, 2048, 0}, {512, 0, 0}, {-1, 10, 0}, {2047, 2048, 99}, {2048, 2048, 100},
        {qint64(5) << 30, qint64(10) << 30, 50}, {qint64(3) << 32, qint64(4) << 32, 75}};
    for (const auto& c : percents)
        EXPECT_EQ(Percentage(c.part, c.total), c.percent) << c.part << "/" << c.total;
    EXPECT_EQ(PercentText(25), "25 %");

    const struct { const char* text; std::optional<int> percent; } panels[] = {
        {"25 %", 25}, {"0 %", 0}, {"%", 0}, {"abc %", 0}, {" 7%% ", 7}, {"Ready", std::nullopt}, {"", std::nullopt}};
    for (const auto& c : panels)
        EXPECT_EQ(PanelPercent(c.text), c.percent) << c.text;

    EXPECT_EQ(ProgressBarWidth(100, 25), 25);
    EXPECT_EQ(ProgressBarWidth(98, 25), 24);  // 24.5 goes to the even neighbour
    EXPECT_EQ(ProgressBarWidth(102, 25), 26); // 25.5 likewise
    EXPECT_EQ(ProgressBarWidth(100, 0), 0);
    EXPECT_EQ(ProgressBarWidth(100, 250), 100) << "never wider than the panel";
}

// Panel 0 as the window draws it: a bar over the given share, nothing for 0 %.
class RemoteProgressPanel : public RemoteFormTest {};

TEST_F(RemoteProgressPanel, DrawsABarOverItsShare)
{
    MakeForm({}, 21);
    const QColor bar = QApplication::palette().color(QPalette::ToolTipBase);
    const auto paint = [&](const QString& text) {
        QImage image(100, 19, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        form->StatusBar1DrawPanel(painter, QRect(0, 0, 100, 18), text);
        return image;
    };
    const QImage quarter = paint("25 %");
    EXPECT_EQ(quarter.pixelColor(20, 17), bar);
    EXPECT_NE(quarter.pixelColor(30, 17), bar);
    const QImage none = paint("0 %");
    for (int x : {0, 20, 50, 99})
        EXPECT_EQ(none.pixelColor(x, 10), QColor(Qt::white)) << x;
    const QImage text = paint("Ready");
    EXPECT_NE(text.pixelColor(20, 17), bar);
}
