#pragma once
// The question about a transfer whose target exists: both files' sizes and
// times, and the five answers (overwrite, overwrite if the source is newer,
// resume, rename to a proposed free name the user may edit, skip), with "for
// all remaining". Escape and closing it skip; nothing is assumed.
#include "ftp/TransferQueue.h"
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TConflictDlg : public QDialog {
    Q_OBJECT
public:
    explicit TConflictDlg(const TConflict& conflict, QWidget* parent = nullptr);

    // Shows the dialog modally.
    TConflictDecision Ask();

    QLabel* lblQuestion;
    QLabel* lblSource;
    QLabel* lblTarget;
    QPushButton* btnOverwrite;
    QPushButton* btnOverwriteIfNewer;
    QPushButton* btnResume;
    QPushButton* btnRename;
    QLineEdit* edtNewName;
    QPushButton* btnSkip;
    QCheckBox* chkForAll;

private:
    QPushButton* AddButton(const char* name, const QString& caption, const QString& hint, TConflictAnswer answer);

    TConflictDecision m_decision;
};

// "1.5 MB, 2026-12-01 14:02 UTC" ("time unknown" when none is known).
QString FileFactsText(qint64 size, const QDateTime& modified);
