#pragma once
// Hints hold a short part and a long part separated by "|": the short part is
// the tool tip, the long part goes to the status bar. Both also serve screen readers.
#include <QString>

class QWidget;

// Sets tool tip, status tip and accessible description from the hint, and the
// accessible name from `caption`, or from the short part when there is no caption.
void SetHint(QWidget* control, const QString& hint, const QString& caption = {});

// Names a control for screen readers that has no hint (lists, pages, edits).
void SetAccessible(QWidget* control, const QString& name, const QString& description = {});
