#pragma once
// The main window's status bar: panel 0 (100 wide) is drawn by its owner,
// panel 1 takes the rest and shows plain text (hints, progress lines).
#include <QStatusBar>
#include <functional>

class QLabel;

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

    DrawPanel OnDrawPanel;

private:
    class TOwnerDrawnPanel;
    TOwnerDrawnPanel* m_panel0;
    QLabel* m_panel1;
};
