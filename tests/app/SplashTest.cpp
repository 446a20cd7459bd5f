#include "app/AppInfo.h"
#include "app/JpegImage.h"
#include "app/Sounds.h"
#include "app/Splash.h"
#include "app/Startup.h"
#include "app/URLLabel.h"
#include "net/Exception.h"
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace {
QByteArray SplashJpeg()
{
    QFile file(":/splash.jpg");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Records what the desktop was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Opened;
public slots:
    void open(const QUrl& url) { Opened.append(url); }
};
}

TEST(VersionTest, LabelShowsVersionOrNothing)
{
    EXPECT_EQ(VersionLabelText(""), "");
    EXPECT_EQ(VersionLabelText("1.0.0"), "Version 1.0.0");
    EXPECT_FALSE(ProgramVersion().isEmpty()) << "the build compiles its version in";
}

TEST(JpegTest, DecodesTheSplashPicture)
{
    const QImage picture = DecodeJpeg(SplashJpeg());
    ASSERT_EQ(picture.size(), QSize(420, 380));
    // Light card under the labels, dark ring around the top-left hole.
    EXPECT_GT(qGray(picture.pixel(200, 250)), 180);
    EXPECT_LT(qGray(picture.pixel(136, 51)), 80);
}

TEST(JpegTest, BrokenDataRaisesInsteadOfCrashing)
{
    const QByteArray whole = SplashJpeg();
    for (const QByteArray& data : {QByteArray(), QByteArray("not a picture at all"), whole.left(200)}) {
        EXPECT_THROW(DecodeJpeg(data), Exception) << data.size();
    }
    // A picture cut short decodes as far as it goes, as image viewers show it.
    EXPECT_EQ(DecodeJpeg(whole.left(whole.size() / 2)).size(), QSize(420, 380));
}

TEST(SplashTest, WindowFollowsThePicturesOutline)
{
    QPointer<TfrmSplash> splash = new TfrmSplash;
    const QRegion outline = TfrmSplash::Outline();
    EXPECT_EQ(splash->mask(), outline);
    EXPECT_TRUE(outline.contains(QPoint(210, 200)));   // the card
    EXPECT_TRUE(outline.contains(QPoint(90, 5)));      // the ring above the card
    EXPECT_FALSE(outline.contains(QPoint(300, 10)));   // above the card, beside the ring
    EXPECT_FALSE(outline.contains(QPoint(2, 378)));    // rounded corner
    EXPECT_FALSE(outline.contains(QPoint(421, 382)));  // the window's own border
    EXPECT_EQ(splash->lblMessage->text(), "Please wait...");
    EXPECT_FALSE(splash->btnOK->isVisibleTo(splash));
    EXPECT_EQ(splash->Label1->pos(), QPoint(60, 160));
    EXPECT_EQ(splash->btnOK->geometry(), QRect(180, 325, 75, 25));
    delete splash;
}

TEST(StartupTest, SplashStaysUpForTheMinimumTimeWithTheBusyCursor)
{
    QPointer<TfrmSplash> splash = new TfrmSplash;
    QElapsedTimer clock;
    clock.start();
    bool busyCursor = false;
    RunUnderSplash(*splash, [&] {
        busyCursor = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    EXPECT_GT(clock.elapsed(), 1728);
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_TRUE(busyCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    QTRY_VERIFY(splash.isNull());
}

TEST(StartupTest, SlowCreationClosesTheSplashRightAfter)
{
    QPointer<TfrmSplash> splash = new TfrmSplash;
    QElapsedTimer clock;
    clock.start();
    RunUnderSplash(*splash, [] { QThread::msleep(400); }, std::chrono::milliseconds(150));
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_LT(clock.elapsed(), 600);
    EXPECT_FALSE(splash && splash->isVisible());
}

TEST(UrlLabelTest, OpensItsAddressWithTheDesktopHandler)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("ferrit-test", &recorder, "open");
    TURLLabel label;
    EXPECT_EQ(label.Url, label.text());
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    label.Url = "ferrit-test://example/page";
    label.OpenUrl();
    QDesktopServices::unsetUrlHandler("ferrit-test");
    EXPECT_EQ(recorder.Opened, QList<QUrl>{QUrl("ferrit-test://example/page")});
}

TEST(SoundsTest, SilentWithoutASoundServer)
{
    TCanberraSounds sounds;
    QElapsedTimer clock;
    clock.start();
    for (TSound sound : {TSound::Error, TSound::Question, TSound::Information})
        sounds.Play(sound);
    EXPECT_LT(clock.elapsed(), 1000) << "a missing sound server must not hold up the window";
}

#include "SplashTest.moc"
