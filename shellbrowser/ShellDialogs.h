#pragma once
// Every modal box of the local browser goes through these replaceable hooks,
// so tests answer them without a real modal loop. The defaults show real boxes.
#include <QPoint>
#include <QString>
#include <functional>
#include <optional>

class QAction;
class QUrl;
class QMenu;
class QWidget;

struct TShellDialogs {
    // "Confirm" box with Yes and No; true for Yes.
    std::function<bool(QWidget* owner, const QString& text)> Confirm;
    // "Error" box with OK.
    std::function<void(QWidget* owner, const QString& text)> Error;
    // Plain information box (properties).
    std::function<void(QWidget* owner, const QString& title, const QString& text)> Inform;
    // A one-line text question; nullopt when cancelled.
    std::function<std::optional<QString>(QWidget* owner, const QString& title, const QString& label, const QString& text)> AskText;
    // Opens a file or folder with the desktop's default application.
    std::function<bool(const QUrl& url)> OpenUrl;
    // Runs a pop-up menu at a screen point; the chosen action or null.
    std::function<QAction*(QMenu& menu, const QPoint& screenPoint)> ExecMenu;
};

// The process-wide hooks (GUI thread only).
TShellDialogs& ShellDialogs();
