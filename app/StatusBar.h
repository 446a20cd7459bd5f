#pragma once
// The main window's status bar: panel 0 (100 wide) is drawn by its owner,
// panel 1 takes the rest and shows plain text (hints, progress lines); at the
// right end, whether the connection is encrypted.
#include <QStatusBar>
#include <functional>

class QLabel;

enum class TConnectionSecurity {
    Unknown,      // not connected, or plain FTP by the user's choice: nothing shown
    Encrypted,    // a lock and "Encrypted"
    NotEncrypted, // a warning and "Not encrypted": TLS was wanted, the server had none
};

class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    // Draws panel 0 into its rectangle; without one, the panel shows its text plainly.
    using DrawPanel = std::function<void(QPainter& painter, const QRect& rect, const QString& text)>;

    explicit TStatusBar(QWidget* parent = nullptr);

    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    // Paints the bar at once, not at the next idle moment: long loops update it.
    void RepaintNow();
    // `details` is the tool tip: the protocol and cipher, or why there are none.
    void ShowSecurity(TConnectionSecurity security, const QString& details = {});
    TConnectionSecurity Security() const { return m_security; }

    DrawPanel OnDrawPanel;

private:
    class TOwnerDrawnPanel;
    TOwnerDrawnPanel* m_panel0;
    QLabel* m_panel1;
    QWidget* m_securityPanel;
    QLabel* m_securityIcon;
    QLabel* m_securityText;
    TConnectionSecurity m_security = TConnectionSecurity::Unknown;
};
