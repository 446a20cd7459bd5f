#include "app/StatusText.h"

#include <algorithm>
#include <cmath>

namespace {

// Blank is the log's own rule, by character code: a control character is blank, a
// non-breaking space (Unicode white space, but code 160) is not.
bool IsBlank(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 32; });
}

} // namespace

std::optional<QString> StatusLogLine(const QString& status)
{
    if (IsBlank(status))
        return std::nullopt;
    QString line = status;
    while (line.contains(QStringLiteral("\r\n")))
        line.remove(QStringLiteral("\r\n"));
    return line;
}

int Percentage(qint64 part, qint64 total)
{
    if (part <= 0 || total <= 0)
        return 0;
    return int(std::min<qint64>(part / total * 100 + part % total * 100 / total, INT_MAX));
}

QString PercentText(int percent)
{
    return QString::number(percent) + QStringLiteral(" %");
}

std::optional<int> PanelPercent(const QString& text)
{
    if (!text.contains(u'%'))
        return std::nullopt;
    bool ok = false;
    const int value = QString(text).remove(u'%').trimmed().toInt(&ok);
    return ok ? value : 0;
}

int ProgressBarWidth(int width, int percent)
{
    if (percent <= 0)
        return 0;
    const double w = double(width) / 100.0 * percent;
    return std::min(int(std::nearbyint(w)), width);
}
