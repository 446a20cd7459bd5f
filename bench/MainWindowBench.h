#pragma once
// Shared by the main-window benchmarks: a window on a real server with boxes that
// answer Yes, a monitor of the event loop's responsiveness and of memory.
#include "RealFtpServer.h"
#include "app/Dialogs.h"
#include "app/HostsFile.h"
#include "app/MainForm.h"
#include "app/Sounds.h"
#include "bench/ftp/BenchUtil.h"
#include "ftp/FTPClient.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
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
    TCertificateAnswer AskCertificate(const TCertificateInfo&, const std::optional<TPinnedCertificate>&) override
    {
        return TCertificateAnswer::Refuse;
    }
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

// While it lives: the longest gap between two ticks of a 10 ms timer, and the
// largest resident size seen.
class TResponsiveness {
public:
    TResponsiveness()
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longestGapNs = std::max(m_longestGapNs, now - m_lastNs);
            m_lastNs = now;
            if (++m_ticks % 10 == 0)
                m_peakRssKiB = std::max(m_peakRssKiB, ProcStatusKiB("VmRSS:"));
        });
        m_timer.start(10);
    }
    double LongestGapMs() const { return m_longestGapNs / 1e6; }
    qint64 PeakRssKiB() const { return std::max(m_peakRssKiB, ProcStatusKiB("VmRSS:")); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestGapNs = 0;
    qint64 m_peakRssKiB = 0;
    int m_ticks = 0;
};
