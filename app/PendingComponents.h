#pragma once
// The least the main window's rules read from the FTP client and the local
// browser, held here until those components are wired into the window.
// Each class is replaced by the real component of the same role.
#include <QListWidget>
#include <QObject>
#include <QTreeView>

// Replaced by TSystemTreeView.
class TPendingTreeView : public QTreeView {
public:
    using QTreeView::QTreeView;
    QString Directory() const { return m_directory; }
    void SetDirectory(const QString& directory) { m_directory = directory; }

private:
    QString m_directory;
};

enum class TViewStyle { Icon, SmallIcon, List, Report };

// Replaced by TSystemListView.
class TPendingListView : public QListWidget {
public:
    using QListWidget::QListWidget;
    TViewStyle ViewStyle() const { return m_viewStyle; }
    void SetViewStyle(TViewStyle style);
    void Repopulate() {}

private:
    TViewStyle m_viewStyle = TViewStyle::Report;
};
