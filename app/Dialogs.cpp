#include "app/Dialogs.h"
#include "app/CertificateDlg.h"
#include "app/ConflictDlg.h"
#include "app/PermissionsDlg.h"
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

bool TMessageBoxes::Confirm(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton, m_parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void TMessageBoxes::ShowError(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::NoButton, m_parent);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

namespace {

// A one-line question; value holds the proposal and, on OK, the answer.
bool AskLine(QWidget* parent, const QString& title, const QString& prompt, QLineEdit::EchoMode echo, QString& value)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(echo);
    dialog.setTextValue(value);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

} // namespace

bool TMessageBoxes::InputBox(const QString& title, const QString& prompt, QString& value)
{
    return AskLine(m_parent, title, prompt, QLineEdit::Normal, value);
}

bool TMessageBoxes::AskPassword(const QString& prompt, QString& password)
{
    password.clear();
    return AskLine(m_parent, QStringLiteral("Password"), prompt, QLineEdit::Password, password);
}

TCertificateAnswer TMessageBoxes::AskCertificate(const TCertificateInfo& certificate,
                                                 const std::optional<TPinnedCertificate>& previous)
{
    TCertificateDlg dialog(certificate, previous, m_parent);
    return dialog.Ask();
}

TConflictDecision TMessageBoxes::AskConflict(const TConflict& conflict)
{
    TConflictDlg dialog(conflict, m_parent);
    return dialog.Ask();
}

std::optional<TPermissionsChoice> TMessageBoxes::AskPermissions(const TPermissionsRequest& request)
{
    TPermissionsDlg dialog(request, m_parent);
    return dialog.Ask();
}
