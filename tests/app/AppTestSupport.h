#pragma once
// Scripted boxes and recorded sounds for the main window's tests.
#include "app/Dialogs.h"
#include "app/Sounds.h"
#include <QString>
#include <csignal>
#include <deque>
#include <functional>
#include <sys/resource.h>
#include <vector>

struct TCertificateQuestion {
    TCertificateInfo Certificate;
    std::optional<TPinnedCertificate> Previous; // set when shown as a change
};

// Answers certificate questions from a script and records each one; a question
// the script has no answer for fails the test and is refused.
struct TCertificateScript {
    TCertificateAnswer Ask(const TCertificateInfo& certificate, const std::optional<TPinnedCertificate>& previous);

    std::deque<TCertificateAnswer> Answers;
    std::vector<TCertificateQuestion> Asked;
};

struct TShownBox {
    QString Kind;  // "confirm", "error" or "input"
    QString Title;
    QString Text;
};

class TScriptedDialogs : public TDialogs {
public:
    bool Confirm(const QString& text) override;
    void ShowError(const QString& title, const QString& text) override;
    bool InputBox(const QString& title, const QString& prompt, QString& value) override;
    TCertificateAnswer AskCertificate(const TCertificateInfo& certificate,
                                      const std::optional<TPinnedCertificate>& previous) override
    {
        return Certificates.Ask(certificate, previous);
    }

    TCertificateScript Certificates;
    std::deque<bool> Answers;  // for Confirm and InputBox, in order; an unexpected box answers No
    std::vector<TShownBox> Shown;
};

class TRecordedSounds : public TSounds {
public:
    void Play(TSound sound) override { Played.push_back(sound); }
    std::vector<TSound> Played;
};

// Runs `act` on the next modal dialog once it is up (the caller then opens it).
void WhenModal(std::function<void(QWidget* dialog)> act);

// Makes every write past `bytes` fail for this process while it lives, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};
