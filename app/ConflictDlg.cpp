#include "app/ConflictDlg.h"

#include "app/Hints.h"
#include "app/TransferQueueModel.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template <class T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QString NameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

QString FileFactsText(qint64 size, const QDateTime& modified)
{
    const QString time = modified.isValid() ? modified.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))
                                            : QStringLiteral("time unknown");
    return QStringLiteral("%1 (%2 bytes), %3").arg(SizeText(size)).arg(size).arg(time);
}

TConflictDlg::TConflictDlg(const TConflict& conflict, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ConflictDlg"));
    setWindowTitle(conflict.PartOnly ? QStringLiteral("A part of the file is kept") : QStringLiteral("The file exists"));
    const TTransferItem& item = *conflict.Item;
    const bool down = item.Direction == TTransferDirection::Download;
    const QString target = down ? item.LocalPath : item.RemotePath;

    auto* column = new QVBoxLayout(this);
    const QString question =
        conflict.PartOnly
            ? QStringLiteral("A stopped download of \"%1\" kept its part in the local folder. What should happen "
                             "to it?")
                  .arg(NameOf(target))
            : QStringLiteral("\"%1\" exists already %2. What should happen to it?")
                  .arg(NameOf(target), down ? QStringLiteral("in the local folder") : QStringLiteral("on the server"));
    lblQuestion = Named(new QLabel(question, this), "lblQuestion");
    lblQuestion->setWordWrap(true);
    column->addWidget(lblQuestion);
    auto* facts = new QFormLayout;
    lblSource = Named(new QLabel(FileFactsText(item.Size, item.Modified), this), "lblSource");
    lblTarget = Named(new QLabel(FileFactsText(conflict.TargetSize, conflict.TargetModified), this), "lblTarget");
    facts->addRow(QStringLiteral("Source:"), lblSource);
    facts->addRow(conflict.PartOnly ? QStringLiteral("Kept part:") : QStringLiteral("Target:"), lblTarget);
    SetAccessible(lblSource, QStringLiteral("Source"), lblSource->text());
    SetAccessible(lblTarget, QStringLiteral("Target"), lblTarget->text());
    column->addLayout(facts);

    btnOverwrite = AddButton("btnOverwrite", QStringLiteral("&Overwrite"), QStringLiteral("Replace the target"),
                             TConflictAnswer::Overwrite);
    btnOverwriteIfNewer = AddButton("btnOverwriteIfNewer", QStringLiteral("Overwrite if &newer"),
                                    QStringLiteral("Replace the target only when the source is newer"),
                                    TConflictAnswer::OverwriteIfNewer);
    btnResume = AddButton("btnResume", QStringLiteral("Res&ume"),
                          QStringLiteral("Continue the shorter target with the rest of the source"), TConflictAnswer::Resume);
    btnResume->setEnabled(conflict.CanResume);
    auto* renameRow = new QHBoxLayout;
    btnRename = AddButton("btnRename", QStringLiteral("&Rename to:"),
                          QStringLiteral("Keep the target and give the new file this name"), TConflictAnswer::Rename);
    edtNewName = Named(new QLineEdit(NameOf(conflict.FreeName), this), "edtNewName");
    SetAccessible(edtNewName, QStringLiteral("New name"), QStringLiteral("The name the transferred file gets"));
    renameRow->addWidget(btnRename);
    renameRow->addWidget(edtNewName, 1);
    btnSkip = AddButton("btnSkip", QStringLiteral("&Skip"), QStringLiteral("Leave the target as it is"),
                        TConflictAnswer::Skip);
    chkForAll = Named(new QCheckBox(QStringLiteral("For &all remaining conflicts"), this), "chkForAll");
    SetAccessible(chkForAll, QStringLiteral("For all remaining conflicts"),
                  QStringLiteral("Give the same answer to every conflict still to come in the queue"));

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {btnOverwrite, btnOverwriteIfNewer, btnResume})
        buttons->addWidget(button);
    column->addLayout(buttons);
    column->addLayout(renameRow);
    auto* last = new QHBoxLayout;
    last->addWidget(chkForAll);
    last->addStretch();
    last->addWidget(btnSkip);
    column->addLayout(last);
    btnSkip->setDefault(true);
}

QPushButton* TConflictDlg::AddButton(const char* name, const QString& caption, const QString& hint,
                                     TConflictAnswer answer)
{
    auto* button = Named(new QPushButton(caption, this), name);
    button->setAutoDefault(false);
    SetAccessible(button, QString(caption).remove(u'&'), hint);
    button->setToolTip(hint);
    connect(button, &QPushButton::clicked, this, [this, answer] {
        m_decision.Answer = answer;
        accept();
    });
    return button;
}

TConflictDecision TConflictDlg::Ask()
{
    m_decision = {};
    if (exec() != QDialog::Accepted)
        m_decision.Answer = TConflictAnswer::Skip; // Escape or the window's close box
    m_decision.ForAll = chkForAll->isChecked();
    if (m_decision.Answer == TConflictAnswer::Rename)
        m_decision.NewName = edtNewName->text().trimmed();
    return m_decision;
}
