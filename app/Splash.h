#pragma once
// The splash window: shown while the program starts, and again as the about view.
#include <QDialog>
#include <QRegion>

class QLabel;
class QPushButton;
class TURLLabel;

class TfrmSplash : public QDialog {
    Q_OBJECT
public:
    // The window deletes itself when closed; hold it in a QPointer.
    explicit TfrmSplash(QWidget* parent = nullptr);

    // Switches to the about view: version, an OK button, no "Please wait...".
    void ShowAsAbout();

    // The outline of the splash picture in window coordinates.
    static QRegion Outline();

    QLabel* Image1;
    QLabel* Label1;
    QLabel* lblVersion;
    QLabel* Label5;
    TURLLabel* URLLabel1;
    QLabel* Label2;
    QLabel* lblMessage;
    QPushButton* btnOK;

private:
    void FormCreate();
    void ShapeWindow();
    void btnOKClick();
    void URLLabel1Click();
    QLabel* AddLabel(const char* name, const QString& text, QPoint position, const QFont& font);
};
