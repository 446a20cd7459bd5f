#include "app/StatusBar.h"
#include "net/ErrorBoundary.h"
#include <QLabel>
#include <QPainter>

class TStatusBar::TOwnerDrawnPanel : public QFrame {
public:
    explicit TOwnerDrawnPanel(TStatusBar* bar) : QFrame(bar), m_bar(bar)
    {
        setFixedWidth(100);
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    QString Text;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QFrame::paintEvent(event);
        try {
            QPainter painter(this);
            const QRect area = contentsRect();
            if (m_bar->OnDrawPanel)
                m_bar->OnDrawPanel(painter, area, Text);
            else
                painter.drawText(area.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, Text);
        } catch (...) {
            HandleException(std::current_exception());
        }
    }

private:
    TStatusBar* m_bar;
};

TStatusBar::TStatusBar(QWidget* parent)
    : QStatusBar(parent), m_panel0(new TOwnerDrawnPanel(this)), m_panel1(new QLabel(this))
{
    setMinimumHeight(19);
    m_panel0->setObjectName(QStringLiteral("StatusBar1Panel0"));
    m_panel1->setObjectName(QStringLiteral("StatusBar1Panel1"));
    m_panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel1->setAccessibleName(QStringLiteral("Status"));
    addWidget(m_panel0);
    addWidget(m_panel1, 1);
}

QString TStatusBar::PanelText(int index) const
{
    return index == 0 ? m_panel0->Text : m_panel1->text();
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    if (index == 0) {
        m_panel0->Text = text;
        m_panel0->update();
    } else {
        m_panel1->setText(text);
    }
}

void TStatusBar::RepaintNow()
{
    repaint();
}
