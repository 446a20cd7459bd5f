#pragma once
// The modal boxes of the main window. The window owns one TDialogs; the real
// one shows message boxes, tests install one that answers from a script.
#include "app/CertificateTrust.h"
#include "app/Permissions.h"
#include "ftp/TransferQueue.h"
#include <QString>
#include <optional>

class QWidget;

enum class TCertificateAnswer {
    Refuse,      // the session ends; nothing more is sent
    AcceptOnce,  // for this session only
    TrustAlways, // pinned for the server
};

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // Yes/No box titled "Confirm" with a question icon; true when Yes was chosen.
    virtual bool Confirm(const QString& text) = 0;
    // Box with an error icon, the text and one "OK" button.
    virtual void ShowError(const QString& title, const QString& text) = 0;
    // Box with a prompt and one edit holding `value`; false when cancelled,
    // otherwise `value` holds the edited text.
    virtual bool InputBox(const QString& title, const QString& prompt, QString& value) = 0;
    // Box titled "Password" with a prompt and an edit that hides what is typed;
    // false when cancelled, otherwise `password` holds the text typed.
    virtual bool AskPassword(const QString& prompt, QString& password) = 0;
    // The server's certificate did not verify, or is not the one pinned for the
    // server (`previous`): the user decides. Refuse is the default.
    virtual TCertificateAnswer AskCertificate(const TCertificateInfo& certificate,
                                              const std::optional<TPinnedCertificate>& previous) = 0;
    // A transfer's target exists: overwrite, overwrite if newer, resume, rename or
    // skip, perhaps for all remaining ones. Closing the question skips.
    virtual TConflictDecision AskConflict(const TConflict& conflict) = 0;
    // The new Unix rights of remote entries, starting from what the request shows;
    // none when cancelled.
    virtual std::optional<TPermissionsChoice> AskPermissions(const TPermissionsRequest& request) = 0;
};

class TMessageBoxes : public TDialogs {
public:
    explicit TMessageBoxes(QWidget* parent) : m_parent(parent) {}
    bool Confirm(const QString& text) override;
    void ShowError(const QString& title, const QString& text) override;
    bool InputBox(const QString& title, const QString& prompt, QString& value) override;
    bool AskPassword(const QString& prompt, QString& password) override;
    TCertificateAnswer AskCertificate(const TCertificateInfo& certificate,
                                      const std::optional<TPinnedCertificate>& previous) override;
    TConflictDecision AskConflict(const TConflict& conflict) override;
    std::optional<TPermissionsChoice> AskPermissions(const TPermissionsRequest& request) override;

private:
    QWidget* m_parent;
};
