#include "app/PermissionsDlg.h"

#include "app/Hints.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template <class T>
T* Named(T* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

const QString kWho[3] = {QStringLiteral("Owner"), QStringLiteral("Group"), QStringLiteral("Others")};
const QString kWhat[3] = {QStringLiteral("Read"), QStringLiteral("Write"), QStringLiteral("Execute")};

QString EntriesText(const QStringList& names)
{
    if (names.size() == 1)
        return QStringLiteral("Permissions of \"%1\":").arg(names.first());
    return QStringLiteral("Permissions of %1 entries (\"%2\", ...):").arg(names.size()).arg(names.first());
}

QString NoteText(const TPermissionsRequest& request)
{
    if (!request.Mode)
        return QStringLiteral("The listing does not show the current rights.");
    if (request.Mixed)
        return QStringLiteral("The entries have different rights; the first one's are shown.");
    return {};
}

} // namespace

TPermissionsDlg::TPermissionsDlg(const TPermissionsRequest& request, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PermissionsDlg"));
    setWindowTitle(QStringLiteral("Permissions"));
    auto* layout = new QVBoxLayout(this);
    lblEntries = Named(new QLabel(EntriesText(request.Names), this), QStringLiteral("lblEntries"));
    lblEntries->setTextFormat(Qt::PlainText);
    layout->addWidget(lblEntries);
    BuildRights();
    lblNote = Named(new QLabel(NoteText(request), this), QStringLiteral("lblNote"));
    lblNote->setVisible(!lblNote->text().isEmpty());
    layout->addWidget(lblNote);
    BuildRecursion(request.HasFolder);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btnOK = Named(buttons->button(QDialogButtonBox::Ok), QStringLiteral("btnOK"));
    Named(buttons->button(QDialogButtonBox::Cancel), QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    ShowMode(request.Mode.value_or(request.Default));
}

void TPermissionsDlg::BuildRights()
{
    auto* grid = new QGridLayout;
    for (int what = 0; what < 3; ++what)
        grid->addWidget(new QLabel(kWhat[what], this), 0, what + 1, Qt::AlignCenter);
    for (int who = 0; who < 3; ++who) {
        grid->addWidget(new QLabel(kWho[who], this), who + 1, 0);
        for (int what = 0; what < 3; ++what) {
            QCheckBox* box = Named(new QCheckBox(this), QStringLiteral("chk") + kWho[who] + kWhat[what]);
            SetAccessible(box, kWho[who] + u' ' + kWhat[what].toLower());
            connect(box, &QCheckBox::toggled, this, [this] { BoxesChanged(); });
            chkRights[who][what] = box;
            grid->addWidget(box, who + 1, what + 1, Qt::AlignCenter);
        }
    }
    edtOctal = Named(new QLineEdit(this), QStringLiteral("edtOctal"));
    edtOctal->setMaxLength(4);
    SetAccessible(edtOctal, QStringLiteral("Octal mode"), QStringLiteral("Three or four octal digits, such as 755 or 0644"));
    connect(edtOctal, &QLineEdit::textEdited, this, [this] { OctalEdited(); });
    auto* octalLabel = new QLabel(QStringLiteral("&Octal:"), this);
    octalLabel->setBuddy(edtOctal);
    grid->addWidget(octalLabel, 4, 0);
    grid->addWidget(edtOctal, 4, 1, 1, 3);
    static_cast<QVBoxLayout*>(layout())->addLayout(grid);
}

void TPermissionsDlg::BuildRecursion(bool offered)
{
    chkRecursive = Named(new QCheckBox(QStringLiteral("&Apply to everything inside"), this), QStringLiteral("chkRecursive"));
    SetAccessible(chkRecursive, QStringLiteral("Apply to everything inside"),
                  QStringLiteral("Also change the entries inside the folders, at every depth"));
    cbxScope = Named(new QComboBox(this), QStringLiteral("cbxScope"));
    cbxScope->addItems({QStringLiteral("Files and folders"), QStringLiteral("Only folders"), QStringLiteral("Only files")});
    SetAccessible(cbxScope, QStringLiteral("Entries to change"), QStringLiteral("Which entries inside the folders change"));
    cbxScope->setEnabled(false);
    connect(chkRecursive, &QCheckBox::toggled, cbxScope, &QWidget::setEnabled);
    m_recursionOffered = offered;
    chkRecursive->setVisible(offered);
    cbxScope->setVisible(offered);
    layout()->addWidget(chkRecursive);
    layout()->addWidget(cbxScope);
}

void TPermissionsDlg::ShowMode(int mode)
{
    SetBoxes(mode);
    edtOctal->setText(OctalModeText(mode));
    ShowValidity(true);
}

void TPermissionsDlg::SetBoxes(int mode)
{
    m_updating = true;
    m_specialBits = mode & 07000;
    for (int who = 0; who < 3; ++who)
        for (int what = 0; what < 3; ++what)
            chkRights[who][what]->setChecked(mode & (0400 >> (3 * who + what)));
    m_updating = false;
}

void TPermissionsDlg::BoxesChanged()
{
    if (m_updating)
        return;
    int mode = m_specialBits;
    for (int who = 0; who < 3; ++who)
        for (int what = 0; what < 3; ++what)
            if (chkRights[who][what]->isChecked())
                mode |= 0400 >> (3 * who + what);
    edtOctal->setText(OctalModeText(mode));
    ShowValidity(true);
}

void TPermissionsDlg::OctalEdited()
{
    const std::optional<int> mode = ParseOctalMode(edtOctal->text());
    ShowValidity(mode.has_value());
    // What the user typed stays as typed ("0755" is not shortened to "755").
    if (mode)
        SetBoxes(*mode);
}

void TPermissionsDlg::ShowValidity(bool valid)
{
    btnOK->setEnabled(valid);
    edtOctal->setProperty("invalid", !valid);
    edtOctal->setStyleSheet(valid ? QString() : QStringLiteral("QLineEdit { color: #8b0000; background: #ffd7d7; }"));
    edtOctal->setToolTip(valid ? QString()
                               : QStringLiteral("Not a mode: give three or four octal digits, such as 755 or 0644."));
}

std::optional<TPermissionsChoice> TPermissionsDlg::Choice() const
{
    const std::optional<int> mode = ParseOctalMode(edtOctal->text());
    if (!mode)
        return std::nullopt;
    return TPermissionsChoice{.Mode = *mode,
                              .Recursive = m_recursionOffered && chkRecursive->isChecked(),
                              .Scope = static_cast<TPermissionsScope>(cbxScope->currentIndex())};
}

std::optional<TPermissionsChoice> TPermissionsDlg::Ask()
{
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return Choice();
}
