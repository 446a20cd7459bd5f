#include "app/StatusBar.h"
#include "net/ErrorBoundary.h"
#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace {
QIcon SecurityIcon(TConnectionSecurity security)
{
    if (security == TConnectionSecurity::Encrypted)
        return QIcon::fromTheme(QStringLiteral("channel-secure-symbolic"),
                                QIcon::fromTheme(QStringLiteral("security-high")));
    return QIcon::fromTheme(QStringLiteral("dialog-warning"),
                            QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
}
}

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
    : QStatusBar(parent), m_panel0(new TOwnerDrawnPanel(this)), m_panel1(new QLabel(this)),
      m_securityPanel(new QWidget(this)), m_securityIcon(new QLabel(m_securityPanel)),
      m_securityText(new QLabel(m_securityPanel))
{
    setMinimumHeight(19);
    m_panel0->setObjectName(QStringLiteral("StatusBar1Panel0"));
    m_panel1->setObjectName(QStringLiteral("StatusBar1Panel1"));
    m_panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel1->setAccessibleName(QStringLiteral("Status"));
    addWidget(m_panel0);
    addWidget(m_panel1, 1);
    m_securityPanel->setObjectName(QStringLiteral("StatusBar1Security"));
    m_securityIcon->setObjectName(QStringLiteral("StatusBar1SecurityIcon"));
    m_securityText->setObjectName(QStringLiteral("StatusBar1SecurityText"));
    auto* row = new QHBoxLayout(m_securityPanel);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(4);
    row->addWidget(m_securityIcon);
    row->addWidget(m_securityText);
    addPermanentWidget(m_securityPanel);
    m_securityPanel->hide();
}

void TStatusBar::ShowSecurity(TConnectionSecurity security, const QString& details)
{
    m_security = security;
    if (security == TConnectionSecurity::Unknown) {
        m_securityPanel->hide();
        return;
    }
    const QString text = security == TConnectionSecurity::Encrypted ? QStringLiteral("Encrypted")
                                                                    : QStringLiteral("Not encrypted");
    const int size = m_securityText->fontMetrics().height();
    m_securityIcon->setPixmap(SecurityIcon(security).pixmap(size, size));
    m_securityText->setText(text);
    m_securityPanel->setToolTip(details);
    m_securityPanel->setAccessibleName(QStringLiteral("Connection security: ") + text);
    m_securityPanel->setAccessibleDescription(details);
    for (QLabel* part : {m_securityIcon, m_securityText}) {
        part->setAccessibleName(text);
        part->setAccessibleDescription(details);
    }
    m_securityPanel->show();
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
