#include "app/ScreenCursor.h"

#include <QApplication>

void SetScreenCursor(Qt::CursorShape shape)
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (shape != Qt::ArrowCursor)
        QApplication::setOverrideCursor(shape);
}
