#include "app/HostDlg.h"
#include "app/Hints.h"
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

THostDlg::THostDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HostDlg"));
    setWindowTitle(QStringLiteral("Host settings"));
    auto* grid = new QGridLayout(this);
    edtHost = AddRow("edtHost", QStringLiteral("Host"), 121, 0);
    edtDesc = AddRow("edtDesc", QStringLiteral("Description"), 261, 1);
    edtUser = AddRow("edtUser", QStringLiteral("Username"), 121, 2);
    edtPass = AddRow("edtPass", QStringLiteral("Password"), 121, 3);
    edtLocal = AddRow("edtLocal", QStringLiteral("Local folder"), 261, 4);
    edtRemote = AddRow("edtRemote", QStringLiteral("Remote folder"), 261, 5);

    // The buttons sit beside the short edits, right of the user name and password.
    btnOk = new QPushButton(QStringLiteral("Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    grid->addWidget(btnOk, 2, 2, Qt::AlignRight);
    grid->addWidget(btnCancel, 3, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    SetAccessible(btnOk, btnOk->text());
    SetAccessible(btnCancel, btnCancel->text());
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(edtHost, edtDesc);
    setTabOrder(edtDesc, edtUser);
    setTabOrder(edtUser, edtPass);
    setTabOrder(edtPass, btnCancel);
    setTabOrder(btnCancel, btnOk);
    setTabOrder(btnOk, edtLocal);
    setTabOrder(edtLocal, edtRemote);

    grid->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumSize(345, 198);
}

QLineEdit* THostDlg::AddRow(const char* name, const QString& caption, int width, int row)
{
    auto* grid = static_cast<QGridLayout*>(layout());
    auto* label = new QLabel(caption, this);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(name));
    edit->setFixedWidth(width);
    label->setBuddy(edit);
    SetAccessible(edit, caption);
    grid->addWidget(label, row, 0);
    // The wide edits reach under the buttons; the short ones leave them room.
    grid->addWidget(edit, row, 1, 1, width > 200 ? 2 : 1, Qt::AlignLeft);
    return edit;
}

void THostDlg::SetFields(const QString& host, const QString& description, const QString& user,
                         const QString& password, const QString& localDir, const QString& remoteDir)
{
    edtHost->setText(host);
    edtDesc->setText(description);
    edtUser->setText(user);
    edtPass->setText(password);
    edtLocal->setText(localDir);
    edtRemote->setText(remoteDir);
}

THostEntry THostDlg::Fields() const
{
    return {edtHost->text(), edtDesc->text(), edtUser->text(),
            edtPass->text(), edtLocal->text(), edtRemote->text()};
}
