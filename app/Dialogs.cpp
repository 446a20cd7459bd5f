#include "app/Dialogs.h"
#include "app/CertificateDlg.h"
#include "app/ConflictDlg.h"
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

bool TMessageBoxes::InputBox(const QString& title, const QString& prompt, QString& value)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

bool TMessageBoxes::AskPassword(const QString& prompt, QString& password)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(QStringLiteral("Password"));
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    password = dialog.textValue();
    return true;
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
