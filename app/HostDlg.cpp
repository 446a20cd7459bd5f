#include "app/HostDlg.h"
#include "app/Hints.h"
#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {
// An eye, crossed out when `crossed`: for desktops whose icon theme has none.
QIcon DrawnEye(bool crossed)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 2.5));
    QPainterPath lids;
    lids.moveTo(3, 16);
    lids.quadTo(16, 3, 29, 16);
    lids.quadTo(16, 29, 3, 16);
    painter.drawPath(lids);
    painter.setBrush(QColor(0x40, 0x40, 0x40));
    painter.drawEllipse(QPointF(16, 16), 4.5, 4.5);
    if (crossed)
        painter.drawLine(6, 27, 26, 5);
    return QIcon(pixmap);
}

QIcon EyeIcon(bool crossed)
{
    return QIcon::fromTheme(crossed ? QStringLiteral("view-conceal-symbolic") : QStringLiteral("view-reveal-symbolic"),
                            DrawnEye(crossed));
}
}

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

    actShowPassword = new QAction(this);
    actShowPassword->setObjectName(QStringLiteral("actShowPassword"));
    actShowPassword->setCheckable(true);
    edtPass->addAction(actShowPassword, QLineEdit::TrailingPosition);
    connect(actShowPassword, &QAction::toggled, this, &THostDlg::ShowPassword);
    ShowPassword(false);

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
    actShowPassword->setChecked(false);
    edtLocal->setText(localDir);
    edtRemote->setText(remoteDir);
}

void THostDlg::ShowPassword(bool shown)
{
    edtPass->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    actShowPassword->setText(shown ? QStringLiteral("Hide password") : QStringLiteral("Show password"));
    actShowPassword->setIcon(EyeIcon(shown));
}

THostEntry THostDlg::Fields() const
{
    return {edtHost->text(), edtDesc->text(), edtUser->text(),
            edtPass->text(), edtLocal->text(), edtRemote->text()};
}
