#pragma once
// The main window's test doubles, shared by every fixture: scripted boxes and recorded sounds.
#include "app/Dialogs.h"
#include "app/Sounds.h"
#include <QString>
#include <QStringList>
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

// Answers conflict questions from a script and records each one; a question the
// script has no answer for fails the test and is skipped.
struct TConflictScript {
    TConflictDecision Ask(const TConflict& conflict);

    struct TAsked {
        TTransferItem Item;
        qint64 TargetSize = 0;
        bool CanResume = false;
        QString FreeName;
    };
    std::deque<TConflictDecision> Answers;
    std::vector<TAsked> Asked;
};

struct TShownBox {
    QString Kind;  // "confirm", "error", "input", "password" or "permissions"
    QString Title;
    QString Text;
};

// Records every box a window shows and answers certificate questions from a
// script; the two kinds below differ only in how they answer the other boxes.
class TRecordingDialogs : public TDialogs {
public:
    void ShowError(const QString& title, const QString& text) override;
    TCertificateAnswer AskCertificate(const TCertificateInfo& certificate,
                                      const std::optional<TPinnedCertificate>& previous) override
    {
        return Certificates.Ask(certificate, previous);
    }
    TConflictDecision AskConflict(const TConflict& conflict) override { return Conflicts.Ask(conflict); }
    // Recorded as kind "password" with its prompt; a question the script has no
    // answer for fails the test and is cancelled.
    bool AskPassword(const QString& prompt, QString& password) override;
    // Recorded as kind "permissions" with the entries' names, one a line; answered
    // from Permissions, a question without an answer failing the test (cancelled).
    std::optional<TPermissionsChoice> AskPermissions(const TPermissionsRequest& request) override;
    // The texts of the boxes of one kind, in order.
    QStringList Texts(const QString& kind) const;

    TCertificateScript Certificates;
    TConflictScript Conflicts;
    std::deque<std::optional<QString>> Passwords; // the text typed; nothing = Cancel
    std::deque<std::optional<TPermissionsChoice>> Permissions; // nothing = Cancel
    std::vector<TPermissionsRequest> PermissionQuestions;
    std::vector<TShownBox> Shown;
};

// Strict: a box the script has no answer for fails the test.
class TScriptedDialogs : public TRecordingDialogs {
public:
    bool Confirm(const QString& text) override;
    bool InputBox(const QString& title, const QString& prompt, QString& value) override;

    std::deque<bool> Answers;  // for Confirm and InputBox, in order; an unexpected box answers No
};

// Lenient, for driving the FTP side through many boxes: a confirmation nobody
// scripted answers Yes, an input box Cancel. An input box is recorded as its
// prompt followed by the proposed value in brackets.
class TAnsweringDialogs : public TRecordingDialogs {
public:
    bool Confirm(const QString& text) override;
    bool InputBox(const QString& title, const QString& prompt, QString& value) override;

    std::deque<bool> Confirms;                 // answers to Confirm; Yes when empty
    std::deque<std::optional<QString>> Inputs; // edited texts for InputBox; nothing = Cancel
    std::function<void()> OnConfirm;           // runs inside a confirmation, before it is answered
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
