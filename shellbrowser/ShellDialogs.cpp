#include "shellbrowser/ShellDialogs.h"
#include <QDesktopServices>
#include <QInputDialog>
#include <QUrl>
#include <QMenu>
#include <QMessageBox>

namespace {
TShellDialogs MakeDefaults()
{
    TShellDialogs d;
    d.Confirm = [](QWidget* owner, const QString& text) {
        return QMessageBox::question(owner, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };
    d.Error = [](QWidget* owner, const QString& text) { QMessageBox::critical(owner, QStringLiteral("Error"), text); };
    d.Inform = [](QWidget* owner, const QString& title, const QString& text) { QMessageBox::information(owner, title, text); };
    d.AskText = [](QWidget* owner, const QString& title, const QString& label, const QString& text) -> std::optional<QString> {
        bool ok = false;
        const QString answer = QInputDialog::getText(owner, title, label, QLineEdit::Normal, text, &ok);
        return ok ? std::optional<QString>(answer) : std::nullopt;
    };
    d.OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    d.ExecMenu = [](QMenu& menu, const QPoint& pos) { return menu.exec(pos); };
    return d;
}
}

TShellDialogs& ShellDialogs()
{
    static TShellDialogs dialogs = MakeDefaults();
    return dialogs;
}
