#pragma once
// The question about a server certificate that did not verify, or that is not the
// one the user chose to trust for that server: what it says, why it is in
// question, and the three answers, Refuse being the default.
#include "app/Dialogs.h"
#include <QDialog>

class QFormLayout;
class QLabel;
class QPushButton;

class TCertificateDlg : public QDialog {
    Q_OBJECT
public:
    TCertificateDlg(const TCertificateInfo& certificate, const std::optional<TPinnedCertificate>& previous,
                    QWidget* parent = nullptr);

    // Shows the dialog modally; Escape and closing it refuse.
    TCertificateAnswer Ask();

    QLabel* lblHeading;
    QLabel* lblExplanation;
    QLabel* lblServer;
    QLabel* lblSubject;
    QLabel* lblIssuer;
    QLabel* lblValidFrom;
    QLabel* lblValidUntil;
    QLabel* lblFingerprint;
    QLabel* lblOldFingerprint; // only for a changed certificate
    QLabel* lblReason;
    QPushButton* btnRefuse;
    QPushButton* btnAcceptOnce;
    QPushButton* btnTrustAlways;

private:
    QLabel* AddValue(QFormLayout* form, const char* name, const QString& caption, const QString& value);
    void AddHeading(const TCertificateInfo& certificate, bool changed);
    void AddDetails(const TCertificateInfo& certificate, const std::optional<TPinnedCertificate>& previous);
    void AddButtons();
    QPushButton* AddButton(const char* name, const QString& caption, const QString& hint, TCertificateAnswer answer);
};

// Validity as the dialog shows it: local time, with "(expired)" or "(not yet valid)"
// when `now` lies outside it.
QString ValidFromText(const QDateTime& notBefore, const QDateTime& now);
QString ValidUntilText(const QDateTime& notAfter, const QDateTime& now);
// A fingerprint in two lines of 16 pairs, so that it can be compared by eye.
QString FingerprintLines(const QString& fingerprint);
