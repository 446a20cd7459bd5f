// The window's layout kept from one run to the next, and the window fitted to its screen.
#include "app/AppInfo.h"
#include "app/MainForm.h"
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QtDebug>

QList<QSplitter*> TMainForm::Splitters() const
{
    return {splApp, splRemote, Splitter1, Splitter2};
}

QList<QTreeView*> TMainForm::ColumnViews() const
{
    return {lvRemoteFiles, lvSites, QueueView};
}

void TMainForm::RestoreWindowState(const TWindowState& state)
{
    if (state.Geometry)
        setGeometry(*state.Geometry);
    FitWindowToScreen();
    if (state.Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    for (QSplitter* splitter : Splitters())
        if (const QList<int> sizes = state.Splitters.value(splitter->objectName()); sizes.size() == splitter->count())
            splitter->setSizes(sizes);
    for (QTreeView* view : ColumnViews()) {
        const QList<int> widths = state.ColumnWidths.value(view->objectName());
        for (int column = 0; column < std::min<int>(widths.size(), view->header()->count()); ++column)
            if (widths[column] > 0)
                view->header()->resizeSection(column, widths[column]);
    }
    if (state.RemoteSortColumn >= 0 && state.RemoteSortColumn < lvRemoteFiles->header()->count())
        lvRemoteFiles->sortByColumn(state.RemoteSortColumn, state.RemoteSortOrder);
    SystemListView->SetColumnWidths(state.LocalColumnWidths);
    m_rememberedFolder = state.LocalFolder;
    m_recentFolders = TRecentFolders(state.RecentRemoteFolders);
}

// A window larger than the screen, or left on a screen no longer there, could not
// be moved or closed by its title bar. Its frame counts once the window has one.
void TMainForm::FitWindowToScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect client = geometry();
    const QRect frame = frameGeometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                           frame.bottom() - client.bottom());
    const QRect wanted(frame.topLeft(), frame.size().expandedTo(minimumSizeHint().grownBy(margins)));
    const QRect fitted = ::FitToScreen(wanted, screen->availableGeometry()).marginsRemoved(margins);
    if (fitted != client)
        setGeometry(fitted);
}

void TMainForm::SaveWindowState() const
{
    if (m_windowStateFile.isEmpty())
        return;
    TWindowState state;
    state.Geometry = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    state.Maximized = isMaximized();
    for (const QSplitter* splitter : Splitters())
        state.Splitters.insert(splitter->objectName(), splitter->sizes());
    for (const QTreeView* view : ColumnViews()) {
        QList<int> widths;
        for (int column = 0; column < view->header()->count(); ++column)
            widths << view->header()->sectionSize(column);
        state.ColumnWidths.insert(view->objectName(), widths);
    }
    state.LocalColumnWidths = SystemListView->ColumnWidths();
    state.LocalFolder = SystemTreeView->Directory();
    state.RecentRemoteFolders = m_recentFolders.Accounts();
    state.RemoteSortColumn = lvRemoteFiles->header()->sortIndicatorSection();
    state.RemoteSortOrder = lvRemoteFiles->header()->sortIndicatorOrder();
    // Only the layout is lost: not worth stopping the close for.
    if (!WriteWindowState(m_windowStateFile, state))
        qWarning().noquote() << "The window's layout could not be saved in" << m_windowStateFile;
}

QString TMainForm::StartFolder() const
{
    if (!m_rememberedFolder.isEmpty() && QFileInfo(m_rememberedFolder).isDir())
        return m_rememberedFolder;
    return LocalStartFolder();
}
