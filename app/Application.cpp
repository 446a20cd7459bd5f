#include "app/Application.h"
#include "app/AppInfo.h"
#include "net/ErrorBoundary.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(ApplicationTitle);
    setApplicationVersion(ProgramVersion());
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}
