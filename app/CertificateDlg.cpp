#include "app/CertificateDlg.h"
#include "app/Hints.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
const QString ExpiredStyle = QStringLiteral("color: #b00020; font-weight: bold;");

QString ServerText(const TCertificateInfo& certificate)
{
    const QString host = certificate.Host.contains(QLatin1Char(':')) ? u'[' + certificate.Host + u']' : certificate.Host;
    return QStringLiteral("%1:%2").arg(host).arg(certificate.Port);
}

QString LocalTimeText(const QDateTime& time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t"))
                          : QStringLiteral("unknown");
}

QString ReasonText(const TCertificateInfo& certificate, bool changed)
{
    if (!certificate.Reason.isEmpty())
        return certificate.Reason;
    return changed ? QStringLiteral("It verifies, but it is not the certificate you chose to trust for this server.")
                   : QString();
}

QString Explanation(bool changed)
{
    if (changed)
        return QStringLiteral("You chose to trust another certificate for this server before. A certificate "
                              "changes when it is renewed or replaced, but also when someone intercepts the "
                              "connection to read or change what goes through it, the password included. Accept "
                              "it only if the server's administrator confirms the new fingerprint.");
    return QStringLiteral("The connection would be encrypted, but nothing proves that it goes to the server you "
                          "meant: someone in between could read and change everything, the password included. "
                          "Refuse unless you know this certificate, for example by its fingerprint from the "
                          "server's administrator.");
}
}

QString ValidFromText(const QDateTime& notBefore, const QDateTime& now)
{
    const bool early = notBefore.isValid() && now < notBefore;
    return LocalTimeText(notBefore) + (early ? QStringLiteral(" (not yet valid)") : QString());
}

QString ValidUntilText(const QDateTime& notAfter, const QDateTime& now)
{
    const bool expired = notAfter.isValid() && now > notAfter;
    return LocalTimeText(notAfter) + (expired ? QStringLiteral(" (expired)") : QString());
}

QString FingerprintLines(const QString& fingerprint)
{
    // 16 pairs and their colons are 48 characters.
    constexpr int LineLength = 48;
    if (fingerprint.size() <= LineLength)
        return fingerprint;
    return fingerprint.left(LineLength) + u'\n' + fingerprint.mid(LineLength);
}

TCertificateDlg::TCertificateDlg(const TCertificateInfo& certificate,
                                 const std::optional<TPinnedCertificate>& previous, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CertificateDlg"));
    const bool changed = previous.has_value();
    setWindowTitle(changed ? QStringLiteral("Server certificate changed") : QStringLiteral("Server certificate"));
    new QVBoxLayout(this);
    AddHeading(certificate, changed);
    AddDetails(certificate, previous);
    AddButtons();
    setMinimumWidth(560);
}

TCertificateAnswer TCertificateDlg::Ask()
{
    btnRefuse->setFocus();
    return static_cast<TCertificateAnswer>(exec());
}

void TCertificateDlg::AddHeading(const TCertificateInfo& certificate, bool changed)
{
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("lblIcon"));
    const QIcon warning = QIcon::fromTheme(QStringLiteral("dialog-warning"),
                                           QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
    icon->setPixmap(warning.pixmap(48, 48));
    SetAccessible(icon, QStringLiteral("Warning"));
    row->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    const QString heading = changed ? QStringLiteral("Warning: the certificate of %1 has changed")
                                    : QStringLiteral("The certificate of %1 could not be verified");
    lblHeading = new QLabel(heading.arg(ServerText(certificate)), this);
    lblHeading->setObjectName(QStringLiteral("lblHeading"));
    lblHeading->setWordWrap(true);
    lblHeading->setStyleSheet(changed ? QStringLiteral("font-weight: bold; font-size: 13pt; color: #b00020;")
                                      : QStringLiteral("font-weight: bold; font-size: 13pt;"));
    SetAccessible(lblHeading, lblHeading->text());
    lblExplanation = new QLabel(Explanation(changed), this);
    lblExplanation->setObjectName(QStringLiteral("lblExplanation"));
    lblExplanation->setWordWrap(true);
    SetAccessible(lblExplanation, lblExplanation->text());
    texts->addWidget(lblHeading);
    texts->addWidget(lblExplanation);
    row->addLayout(texts, 1);
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

QLabel* TCertificateDlg::AddValue(QFormLayout* form, const char* name, const QString& caption, const QString& value)
{
    auto* label = new QLabel(value, this);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Screen readers speak the value under its caption.
    SetAccessible(label, caption, value);
    form->addRow(caption + u':', label);
    return label;
}

void TCertificateDlg::AddDetails(const TCertificateInfo& certificate,
                                 const std::optional<TPinnedCertificate>& previous)
{
    auto* form = new QFormLayout;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    lblServer = AddValue(form, "lblServer", QStringLiteral("Server"), ServerText(certificate));
    lblReason = AddValue(form, "lblReason", QStringLiteral("Reason"), ReasonText(certificate, previous.has_value()));
    lblReason->setStyleSheet(ExpiredStyle);
    lblSubject = AddValue(form, "lblSubject", QStringLiteral("Subject"), certificate.Subject);
    lblIssuer = AddValue(form, "lblIssuer", QStringLiteral("Issuer"), certificate.Issuer);
    lblValidFrom = AddValue(form, "lblValidFrom", QStringLiteral("Valid from"), ValidFromText(certificate.NotBefore, now));
    lblValidUntil = AddValue(form, "lblValidUntil", QStringLiteral("Valid until"), ValidUntilText(certificate.NotAfter, now));
    if (certificate.NotBefore.isValid() && now < certificate.NotBefore)
        lblValidFrom->setStyleSheet(ExpiredStyle);
    if (certificate.NotAfter.isValid() && now > certificate.NotAfter)
        lblValidUntil->setStyleSheet(ExpiredStyle);
    lblFingerprint = AddValue(form, "lblFingerprint", QStringLiteral("SHA-256 fingerprint"),
                              FingerprintLines(certificate.Fingerprint));
    lblFingerprint->setAccessibleDescription(certificate.Fingerprint);
    lblFingerprint->setFont(fixed);
    lblOldFingerprint = nullptr;
    if (previous) {
        lblOldFingerprint = AddValue(form, "lblOldFingerprint", QStringLiteral("Trusted before"),
                                     FingerprintLines(previous->Fingerprint));
        lblOldFingerprint->setAccessibleDescription(previous->Fingerprint);
        lblOldFingerprint->setFont(fixed);
    }
    static_cast<QVBoxLayout*>(layout())->addLayout(form);
}

QPushButton* TCertificateDlg::AddButton(const char* name, const QString& caption, const QString& hint,
                                        TCertificateAnswer answer)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QLatin1String(name));
    // Only Refuse answers Enter, wherever the focus is.
    button->setAutoDefault(false);
    SetHint(button, hint, QString(caption).remove(u'&'));
    connect(button, &QPushButton::clicked, this, [this, answer] { done(static_cast<int>(answer)); });
    return button;
}

void TCertificateDlg::AddButtons()
{
    btnTrustAlways = AddButton("btnTrustAlways", QStringLiteral("&Trust always"),
                               QStringLiteral("Connect, and accept this certificate from this server from now on"),
                               TCertificateAnswer::TrustAlways);
    btnAcceptOnce = AddButton("btnAcceptOnce", QStringLiteral("&Accept once"),
                              QStringLiteral("Connect this time, and ask again next time"),
                              TCertificateAnswer::AcceptOnce);
    btnRefuse = AddButton("btnRefuse", QStringLiteral("&Refuse"),
                          QStringLiteral("Do not connect: nothing more is sent to this server"),
                          TCertificateAnswer::Refuse);
    btnRefuse->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addWidget(btnTrustAlways);
    row->addWidget(btnAcceptOnce);
    row->addStretch(1);
    row->addWidget(btnRefuse);
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
}
