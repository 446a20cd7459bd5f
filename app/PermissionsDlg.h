#pragma once
// The question of "Permissions": Unix rights as nine boxes (owner, group, others
// by read, write, execute) and as an octal field, kept in step both ways; for
// folders, whether the change reaches everything inside and which kind of entry.
// A field that holds no mode shows it and disables OK.
#include "app/Permissions.h"
#include <QDialog>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TPermissionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPermissionsDlg(const TPermissionsRequest& request, QWidget* parent = nullptr);

    // Shows the dialog modally; none when cancelled.
    std::optional<TPermissionsChoice> Ask();
    // What the controls say now; none while the octal field holds no mode.
    std::optional<TPermissionsChoice> Choice() const;

    QLabel* lblEntries;
    QLabel* lblNote;       // several entries with different rights, or rights unknown
    QCheckBox* chkRights[3][3]; // [owner, group, others][read, write, execute]
    QLineEdit* edtOctal;
    QCheckBox* chkRecursive; // only for folders
    QComboBox* cbxScope;     // TPermissionsScope, in its order
    QPushButton* btnOK;

private:
    void BuildRights();
    void BuildRecursion(bool offered);
    void BoxesChanged();
    void OctalEdited();
    void ShowMode(int mode);
    void SetBoxes(int mode);
    void ShowValidity(bool valid);

    int m_specialBits = 0; // set-id and sticky bits, which have no box: kept as found
    bool m_updating = false; // the boxes are being set from the field
    bool m_recursionOffered = false;
};
