#pragma once
// Shared by the main-window benchmarks: a window on a real server with boxes that
// answer Yes (the monitor of responsiveness and memory is in BenchUtil.h).
#include "RealFtpServer.h"
#include "app/Dialogs.h"
#include "app/HostsFile.h"
#include "app/MainForm.h"
#include "app/RemoteSession.h"
#include "app/TransferRunner.h"
#include "app/Sounds.h"
#include "bench/ftp/BenchUtil.h"
#include "ftp/FTPClient.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <memory>

class TAnswerYes : public TDialogs {
public:
    QStringList Errors;
    bool Confirm(const QString&) override { return true; }
    void ShowError(const QString&, const QString& text) override { Errors << text; }
    bool InputBox(const QString&, const QString&, QString&) override { return true; }
    bool AskPassword(const QString&, QString&) override { return false; }
    TCertificateAnswer AskCertificate(const TCertificateInfo&, const std::optional<TPinnedCertificate>&) override
    {
        return TCertificateAnswer::Refuse;
    }
    TConflictDecision AskConflict(const TConflict&) override { return {}; }
    std::optional<TPermissionsChoice> AskPermissions(const TPermissionsRequest&) override { return std::nullopt; }
};

class TSilence : public TSounds {
public:
    void Play(TSound) override {}
};

// A shown main window whose only host is 127.0.0.1 on `port`, in passive or active
// mode, opening remote folder `remoteDir` and local folder `localDir`.
inline std::unique_ptr<TMainForm> MainWindowFor(quint16 port, const QString& user, const QString& password,
                                                const QTemporaryDir& dir, const QString& remoteDir,
                                                const QString& localDir, TAnswerYes*& dialogs, bool passive = true)
{
    const QString hostsFile = dir.filePath("bench.vth");
    WriteHostsFile(hostsFile, {{"127.0.0.1", "bench", user, password, localDir, remoteDir, port, passive}});
    auto form = std::make_unique<TMainForm>(hostsFile);
    auto answers = std::make_unique<TAnswerYes>();
    dialogs = answers.get();
    form->SetDialogs(std::move(answers));
    form->SetSounds(std::make_unique<TSilence>());
    form->resize(1000, 700);
    form->show();
    form->lvSites->topLevelItem(0)->setSelected(true);
    return form;
}

// The same on a real server.
inline std::unique_ptr<TMainForm> MainWindowFor(const RealFtpServer& server, const QTemporaryDir& dir,
                                                const QString& remoteDir, const QString& localDir, TAnswerYes*& dialogs,
                                                bool passive = true)
{
    return MainWindowFor(server.Port(), server.User(), server.Password(), dir, remoteDir, localDir, dialogs, passive);
}

// Clicks a button as the user would: after the idle rule has run.
inline void UserClick(TMainForm& form, QToolButton* button)
{
    form.IdleHandler();
    button->click();
}

// A transfer button clicked, and the transfer queue it fed run to its end.
inline void UserTransfer(TMainForm& form, QToolButton* button)
{
    UserClick(form, button);
    const TTransferRunner& transfers = *form.RemoteSession().Transfers();
    while (transfers.Active() || transfers.PendingRequests() > 0 || transfers.Queue().Running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}
