#pragma once
// The host settings dialog, created once and reused for every add and edit.
#include "app/HostsFile.h"
#include <QDialog>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

class THostDlg : public QDialog {
    Q_OBJECT
public:
    explicit THostDlg(QWidget* parent = nullptr);

    void SetFields(const QString& host, const QString& description, const QString& user,
                   const QString& password, const QString& localDir, const QString& remoteDir);
    // The six edits' texts.
    THostEntry Fields() const;

    QLineEdit* edtHost;
    QLineEdit* edtDesc;
    QLineEdit* edtUser;
    QLineEdit* edtPass;
    QLineEdit* edtLocal;
    QLineEdit* edtRemote;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    // Checked while the password is shown in clear; each SetFields hides it again.
    QAction* actShowPassword;

private:
    QLineEdit* AddRow(const char* name, const QString& caption, int width, int row);
    void ShowPassword(bool shown);
};
