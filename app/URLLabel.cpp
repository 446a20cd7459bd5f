#include "app/URLLabel.h"
#include "net/Exception.h"
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QUrl>

TURLLabel::TURLLabel(QWidget* parent) : QLabel(DefaultUrl, parent), Url(DefaultUrl)
{
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    // Reachable from the keyboard too: Tab to it, Enter or Space opens it.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(text());
    setAccessibleDescription(QStringLiteral("Open this address in the web browser"));
}

void TURLLabel::OpenUrl() const
{
    if (!QDesktopServices::openUrl(QUrl(Url)))
        throw Exception(QStringLiteral("The default browser could not be launched."));
}

void TURLLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void TURLLabel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)
        emit clicked();
    else
        QLabel::keyPressEvent(event);
}
