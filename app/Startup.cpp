#include "app/Startup.h"
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

void RunUnderSplash(QWidget& splash, const std::function<void()>& create, std::chrono::milliseconds minimum)
{
    splash.show();
    splash.repaint();
    QElapsedTimer shown;
    shown.start();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor {
        ~RestoreCursor() { QGuiApplication::restoreOverrideCursor(); }
    } restore;
    create();
    // Wait for events rather than spin: the window stays live and costs no CPU.
    while (shown.elapsed() <= minimum.count()) {
        QEventLoop wait;
        QTimer::singleShot(std::chrono::milliseconds(minimum.count() - shown.elapsed() + 1), &wait, &QEventLoop::quit);
        wait.exec();
    }
    splash.close();
}
