#include "app/Application.h"
#include "app/AppInfo.h"
#include "net/ErrorBoundary.h"

#include <QDirIterator>
#include <QIcon>
#include <malloc.h>

namespace {

// The icon built into the program: every size drawn for the hicolor theme.
QIcon BundledIcon()
{
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/icons/hicolor"), {QStringLiteral("ferrit.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext())
        icon.addFile(sizes.next());
    return icon;
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Without fast bins glibc merges freed small blocks as they come. With them,
    // the hundred thousand strings of a long listing, freed at once, are merged
    // in one go by the next large allocation: a pause of up to 90 ms in the
    // window, where the merging spread out costs nothing one can see.
    mallopt(M_MXFAST, 0);
    setApplicationName(ApplicationTitle);
    setApplicationVersion(ProgramVersion());
    // Wayland desktops find the window's entry, and so its icon, by this name.
    setDesktopFileName(QStringLiteral("ferrit"));
    // The installed icon follows the desktop's theme; a copy run from its build folder
    // still has its own.
    setWindowIcon(QIcon::fromTheme(QStringLiteral("ferrit"), BundledIcon()));
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
