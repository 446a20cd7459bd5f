#pragma once
// Hints hold a short part and a long part separated by "|": the short part is
// the tool tip, the long part goes to the status bar. Both also serve screen readers.
#include <QKeySequence>
#include <QString>

class QWidget;

// Sets tool tip, status tip and accessible description from the hint, and the
// accessible name from `caption`, or from the short part when there is no caption.
void SetHint(QWidget* control, const QString& hint, const QString& caption = {});

// Names a control for screen readers that has no hint (lists, pages, edits).
void SetAccessible(QWidget* control, const QString& name, const QString& description = {});

// A hint's short part followed by the key that does the same, in the desktop's
// words for keys: "Refresh (F5)".
QString WithKey(const QString& shortPart, const QKeySequence& key);

// Adds that key to a control's tool tip. The long part, its caption and its
// accessible name stay as they are.
void ShowKeyInHint(QWidget* control, const QKeySequence& key);
