#include "app/AppInfo.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/HostsFile.h"
#include "app/MainForm.h"
#include "app/Splash.h"
#include "app/Startup.h"
#include "app/TerminationSignals.h"
#include "app/WindowState.h"
#include "net/ErrorBoundary.h"
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <memory>

int main(int argc, char** argv)
{
    const TCommandLine commandLine = ReadCommandLine(argc, argv);
    TApplication app(argc, argv);
    // Desktops without an icon theme of their own still get the button images.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    try {
        QPointer<TfrmSplash> frmSplash = new TfrmSplash;
        frmSplash->lblVersion->setText(VersionLabelText(ProgramVersion()));
        frmSplash->lblVersion->adjustSize();
        std::unique_ptr<TMainForm> MainForm;
        // Watched from the start: a signal during start-up closes the window once it is there.
        bool closeWhenShown = false;
        const TTerminationSignals terminate([&](int) {
            if (MainForm && MainForm->isVisible())
                MainForm->close();
            else
                closeWhenShown = true;
        });
        RunUnderSplash(*frmSplash, [&] {
            const QString configFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
            MainForm = std::make_unique<TMainForm>(HostsFileName(QCoreApplication::applicationFilePath(), configFolder),
                                                   WindowStateFileName(configFolder));
        });
        MainForm->show();
        if (closeWhenShown)
            QTimer::singleShot(0, MainForm.get(), Guarded([&] { MainForm->close(); }));
        if (commandLine.Address)
            // Once the window is on screen: connecting waits in the event loop.
            QTimer::singleShot(0, MainForm.get(), Guarded([&] { MainForm->OpenAddress(*commandLine.Address); }));
        return app.exec();
    } catch (...) {
        QMessageBox::critical(nullptr, ApplicationTitle, ExceptionText(std::current_exception()));
        return 1;
    }
}
