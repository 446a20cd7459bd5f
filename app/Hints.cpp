#include "app/Hints.h"
#include <QWidget>

void SetHint(QWidget* control, const QString& hint, const QString& caption)
{
    const int bar = hint.indexOf(QLatin1Char('|'));
    const QString shortPart = bar < 0 ? hint : hint.left(bar);
    const QString longPart = bar < 0 ? hint : hint.mid(bar + 1);
    control->setToolTip(shortPart);
    control->setStatusTip(longPart);
    SetAccessible(control, caption.isEmpty() ? shortPart : caption, longPart);
}

void SetAccessible(QWidget* control, const QString& name, const QString& description)
{
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}

QString WithKey(const QString& shortPart, const QKeySequence& key)
{
    return QStringLiteral("%1 (%2)").arg(shortPart, key.toString(QKeySequence::NativeText));
}

void ShowKeyInHint(QWidget* control, const QKeySequence& key)
{
    control->setToolTip(WithKey(control->toolTip(), key));
}
