#include "app/Application.h"
#include "app/AppInfo.h"
#include "net/ErrorBoundary.h"

#include <malloc.h>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Without fast bins glibc merges freed small blocks as they come. With them,
    // the hundred thousand strings of a long listing, freed at once, are merged
    // in one go by the next large allocation: a pause of up to 90 ms in the
    // window, where the merging spread out costs nothing one can see.
    mallopt(M_MXFAST, 0);
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
