// The splash window on its own: shape, picture, timer, and that nothing but its timer ends it.
#include <QtTest>
#include <QtWidgets>

#include "app/splashkv.h"
#include "tests/fake_services.h"

namespace {

QImage Picture() {
  return QIcon(QStringLiteral(":/images/splash.png"))
      .pixmap(kelvor::splashkv::kPictureSize, 1.0)
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class TestSplashkv : public QObject {
  Q_OBJECT

 private:
  FakeServices m_services;

 private slots:
  void isAFramelessSplashWithoutTitleOrCloseBox() {
    kelvor::splashkv splash(m_services);
    const Qt::WindowFlags flags = splash.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::SplashScreen);
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(splash.windowTitle().isEmpty());
    // Closing it must never end the program: the main window comes next.
    QVERIFY(!splash.testAttribute(Qt::WA_QuitOnClose));
  }

  void clientAreaIsOnePixelNarrowerAndTallerThanThePicture() {
    kelvor::splashkv splash(m_services);
    QCOMPARE(splash.size(), QSize(299, 151));
    QCOMPARE(splash.minimumSize(), splash.maximumSize());
    QCOMPARE(splash.ImgCipherix->objectName(), QStringLiteral("ImgCipherix"));
    QCOMPARE(splash.ImgCipherix->geometry(), QRect(0, 0, 300, 150));
    QVERIFY(!splash.ImgCipherix->hasScaledContents());
    QCOMPARE(splash.ImgCipherix->pixmap().deviceIndependentSize().toSize(), QSize(300, 150));
  }

  void timerWaitsDisabledUntilStartUpArmsIt() {
    kelvor::splashkv splash(m_services);
    QCOMPARE(splash.Timer1->objectName(), QStringLiteral("Timer1"));
    QVERIFY(!splash.Timer1->isActive());
    QCOMPARE(splash.Timer1->interval(), 0);
    QVERIFY(splash.Timer1->isSingleShot());
    QCOMPARE(splash.Timer1->timerType(), Qt::PreciseTimer);
    QCOMPARE(int(kelvor::splashkv::kTimerInterval.count()), 2000);
  }

  void comesUpCentredOnTheScreen() {
    kelvor::splashkv splash(m_services);
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    const QRect screen = splash.screen()->availableGeometry();
    const QPoint offset = splash.frameGeometry().center() - screen.center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
  }

  // All but the picture's last column, and a strip of the background colour below it.
  void showsThePictureAndABackgroundStripAlongTheBottom() {
    kelvor::splashkv splash(m_services);
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    const QImage shown = splash.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage picture = Picture();
    QCOMPARE(shown.size(), QSize(299, 151));
    for (int y = 0; y < 150; y += 7) {
      for (int x : {0, 37, 150, 222, 298}) QCOMPARE(shown.pixel(x, y), picture.pixel(x, y));
    }
    const QRgb strip = splash.palette().color(QPalette::HighlightedText).rgb();
    for (int x = 0; x < 299; x += 13) QCOMPARE(shown.pixel(x, 150), strip);
  }

  void keysClicksAndTheWindowManagerLeaveItUp_data() {
    QTest::addColumn<QString>("action");
    for (const char* action :
         {"Esc", "Enter", "Space", "Alt+F4", "click", "double click", "close request"}) {
      QTest::newRow(action) << QString::fromLatin1(action);
    }
  }
  void keysClicksAndTheWindowManagerLeaveItUp() {
    QFETCH(QString, action);
    QPointer<kelvor::splashkv> splash = new kelvor::splashkv(m_services);
    QWidget mainWindow;
    splash->SetMainWindow(&mainWindow);
    splash->show();
    QVERIFY(QTest::qWaitForWindowExposed(splash));
    if (action == "Esc") QTest::keyClick(splash, Qt::Key_Escape);
    if (action == "Enter") QTest::keyClick(splash, Qt::Key_Return);
    if (action == "Space") QTest::keyClick(splash, Qt::Key_Space);
    if (action == "Alt+F4") QTest::keyClick(splash, Qt::Key_F4, Qt::AltModifier);
    if (action == "click") QTest::mouseClick(splash->ImgCipherix, Qt::LeftButton);
    if (action == "double click") QTest::mouseDClick(splash->ImgCipherix, Qt::LeftButton);
    if (action == "close request") splash->windowHandle()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!splash.isNull());
    QVERIFY(splash->isVisible());
    QVERIFY(!mainWindow.isVisible());
    delete splash;
  }

  void timerClosesItForGoodAndShowsTheMainWindow() {
    QPointer<kelvor::splashkv> splash = new kelvor::splashkv(m_services);
    QWidget mainWindow;
    splash->SetMainWindow(&mainWindow);
    splash->show();
    QVERIFY(QTest::qWaitForWindowExposed(splash));
    splash->Timer1->setInterval(20);
    splash->Timer1->start();
    QTRY_VERIFY(mainWindow.isVisible());
    QTRY_VERIFY(splash.isNull());
    QVERIFY(QApplication::topLevelWidgets().indexOf(&mainWindow) >= 0);
    for (QWidget* window : QApplication::topLevelWidgets()) {
      QVERIFY(qobject_cast<kelvor::splashkv*>(window) == nullptr);
    }
  }
};

QTEST_MAIN(TestSplashkv)
#include "test_splashkv.moc"
