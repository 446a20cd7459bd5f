#pragma once
// Small text rules of the status log and the progress panel.
#include <QString>
#include <optional>

// The log line for a status text: nothing for a blank text (only characters of code 32
// or less), otherwise the text with every CR LF pair removed (removing one may join the
// next pair, so it repeats).
std::optional<QString> StatusLogLine(const QString& status);

// part of total in whole percent, truncated; 0 unless both are positive.
int Percentage(qint64 part, qint64 total);
// The text of progress panel 0: "25 %".
QString PercentText(int percent);
// The percentage a panel text shows: the digits with every "%" removed; nothing for a
// text without "%", 0 for one that is not a number.
std::optional<int> PanelPercent(const QString& text);
// Width of the progress bar for a panel `width` pixels wide; halves round to even.
// Never wider than the panel, also for a server that sent more than it announced.
int ProgressBarWidth(int width, int percent);
