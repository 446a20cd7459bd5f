#pragma once
// The host settings dialog, created once and reused for every add and edit.
#include "app/HostsFile.h"
#include <QDialog>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class THostDlg : public QDialog {
    Q_OBJECT
public:
    explicit THostDlg(QWidget* parent = nullptr);

    void SetFields(const QString& host, const QString& description, const QString& user,
                   const QString& password, const QString& localDir, const QString& remoteDir,
                   int port = DefaultFtpPort, bool passive = true, const QString& encoding = {},
                   TSecurity security = TSecurity::TlsIfAvailable);
    void SetFields(const THostEntry& host);
    // What the controls hold.
    THostEntry Fields() const;

    // Closes with OK only when the host field holds an address; one with a
    // port, user, password or folder in it ("host:port", "ftp://...") first
    // gives those to their fields, and the host field keeps the host.
    void accept() override;

    QLineEdit* edtHost;
    QLineEdit* edtDesc;
    QLineEdit* edtUser;
    QLineEdit* edtPass;
    QLineEdit* edtLocal;
    QLineEdit* edtRemote;
    QSpinBox* edtPort;
    QComboBox* cmbSecurity;     // TLS if available, Require TLS, Implicit TLS, Plain FTP; the TSecurity is each item's data
    QComboBox* cmbTransferMode; // Passive, Active
    QComboBox* cmbEncoding;     // Automatic, UTF-8, the legacy encodings; the setting is each item's data
    QCheckBox* chkTemporaryUploadNames; // THostEntry::TemporaryUploadNames
    QCheckBox* chkKeepTimes;            // THostEntry::KeepModificationTimes
    QLabel* lblHostError;       // why the host field was refused; hidden otherwise
    QPushButton* btnOk;
    QPushButton* btnCancel;
    // Checked while the password is shown in clear; each SetFields hides it again.
    QAction* actShowPassword;

private:
    QLineEdit* AddRow(const char* name, const QString& caption, int width, int row);
    void ShowPassword(bool shown);
    void AddPortAndMode(int modeRow);
    void AddEncoding(int row);
    void AddSecurity(int row);
    void AddTransferOptions(int row);
    void AddHostError(int row);
    void ProposePort();
    TSecurity ShownSecurity() const;
    bool ApplyHostText(); // false, with the reason shown, when it is no address
    void ShowHostError(const QString& error);

    TSecurity m_proposedFor = TSecurity::TlsIfAvailable; // the choice the port was last proposed for
};
