#include "app/Splash.h"
#include "app/AppInfo.h"
#include "app/JpegImage.h"
#include "app/URLLabel.h"
#include "net/ErrorBoundary.h"
#include <QFile>
#include <QLabel>
#include <QPainterPath>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>

namespace {
// The picture's outline: a rounded card with the ferrite ring standing out of
// its top-left corner. resources/make-splash.sh draws the picture from the same figures.
constexpr QRectF CardRect(0, 30, 420, 350);
constexpr qreal CardRadius = 28;
constexpr QPointF RingCentre(90, 70);
constexpr qreal RingRadius = 68;

QFont SplashFont(const QString& family, int points, bool bold)
{
    QFont font(family, points, bold ? QFont::Bold : QFont::Normal);
    font.setFamilies({family, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    return font;
}

QPixmap SplashPicture()
{
    QFile file(QStringLiteral(":/splash.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QPixmap::fromImage(DecodeJpeg(file.readAll()));
}
}

TfrmSplash::TfrmSplash(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ApplicationTitle);
    setFixedSize(422, 383);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setGeometry(0, 0, 420, 380);
    Image1->setPixmap(SplashPicture());
    Image1->setCursor(Qt::WaitCursor);

    const QFont small = SplashFont(QStringLiteral("Arial"), 8, true);
    Label1 = AddLabel("Label1", QStringLiteral("Vantle FTP client"), {60, 160},
                      SplashFont(QStringLiteral("Tahoma"), 14, true));
    lblVersion = AddLabel("lblVersion", QString(), {60, 190}, small);
    Label5 = AddLabel("Label5", QStringLiteral("For information visit:"), {85, 220}, small);

    URLLabel1 = new TURLLabel(this);
    URLLabel1->setObjectName(QStringLiteral("URLLabel1"));
    QFont link = small;
    link.setUnderline(true);
    URLLabel1->setFont(link);
    URLLabel1->setStyleSheet(QStringLiteral("color: navy; background: transparent;"));
    URLLabel1->move(85, 235);
    URLLabel1->adjustSize();

    Label2 = AddLabel("Label2", QStringLiteral("Free software: moves your files by FTP."), {85, 265}, small);
    Label2->setWordWrap(true);
    Label2->setFixedSize(266, 16);
    lblMessage = AddLabel("lblMessage", QStringLiteral("Please wait..."), {115, 310}, small);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(180, 325, 75, 25);
    btnOK->setCursor(Qt::PointingHandCursor);
    btnOK->hide();

    connect(btnOK, &QPushButton::clicked, this, [this] { Guarded([this] { btnOKClick(); })(); });
    connect(URLLabel1, &TURLLabel::clicked, this, [this] { Guarded([this] { URLLabel1Click(); })(); });
    FormCreate();
}

QLabel* TfrmSplash::AddLabel(const char* name, const QString& text, QPoint position, const QFont& font)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
    label->move(position);
    label->setMinimumWidth(300);
    label->adjustSize();
    return label;
}

void TfrmSplash::FormCreate()
{
    ShapeWindow();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QRegion TfrmSplash::Outline()
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRoundedRect(CardRect, CardRadius, CardRadius);
    path.addEllipse(RingCentre, RingRadius, RingRadius);
    QRegion region;
    for (const QPolygonF& polygon : path.toFillPolygons())
        region += QRegion(polygon.toPolygon(), Qt::WindingFill);
    return region;
}

void TfrmSplash::ShapeWindow()
{
    setMask(Outline());
    repaint();
}

void TfrmSplash::ShowAsAbout()
{
    lblVersion->setText(VersionLabelText(ProgramVersion()));
    lblVersion->adjustSize();
    lblMessage->hide();
    btnOK->show();
    btnOK->setFocus();
    Image1->setCursor(Qt::ArrowCursor);
}

void TfrmSplash::btnOKClick()
{
    close();
}

void TfrmSplash::URLLabel1Click()
{
    URLLabel1->OpenUrl();
}
