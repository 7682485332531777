// The start-up sequence: splash painted before the main window loads, timer armed after the
// load, then the main window alone. Runs offscreen, and also on an X server, where a separate
// X client photographs the screen in the middle of the load.
#include <QtTest>
#include <QtWidgets>

#include "app/mod_kelvor.h"
#include "app/splashkv.h"
#include "errors/runtime_error.h"
#include "tests/fake_services.h"

namespace {

kelvor::splashkv* FindSplash() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* splash = qobject_cast<kelvor::splashkv*>(window)) return splash;
  }
  return nullptr;
}

QImage Picture() {
  return QIcon(QStringLiteral(":/images/splash.png"))
      .pixmap(kelvor::splashkv::kPictureSize, 1.0)
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

// Empty when `shot` shows the splash picture with its top-left corner at `origin`; otherwise
// the first pixel that differs.
QString PictureMismatch(const QImage& shot, QPoint origin) {
  if (shot.isNull()) return QStringLiteral("nothing on the screen");
  const QImage picture = Picture();
  const QImage screen = shot.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < 150; y += 5) {
    for (int x = 0; x < 299; x += 11) {
      const QPoint at = origin + QPoint(x, y);
      if (!screen.rect().contains(at)) return QStringLiteral("picture off the screen");
      if (screen.pixel(at) != picture.pixel(x, y)) {
        return QStringLiteral("pixel %1,%2 is %3, picture has %4")
            .arg(x)
            .arg(y)
            .arg(QColor(screen.pixel(at)).name(), QColor(picture.pixel(x, y)).name());
      }
    }
  }
  return {};
}

// Notes when, and how often, a window is shown.
class ShowRecorder : public QObject {
 public:
  explicit ShowRecorder(const QElapsedTimer& clock) : m_clock(clock) {}
  int shows = 0;
  qint64 firstShownAt = -1;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (shows++ == 0) firstShownAt = m_clock.elapsed();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  const QElapsedTimer& m_clock;
};

}  // namespace

class TestModKelvor : public QObject {
  Q_OBJECT

 private:
  FakeServices m_services;  // outlives every window start-up makes
  QStringList m_messages;

 private slots:
  void initTestCase() {
    m_services.onMessage = [this](const QString& text, int style) {
      m_messages.append(QStringLiteral("%1|%2").arg(style).arg(text));
    };
  }
  void init() { m_messages.clear(); }
  void cleanup() {
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->parentWidget() == nullptr) windows.append(window);
    }
    for (const QPointer<QWidget>& window : windows) delete window.data();
  }
  void splashIsOnTheScreenWhileTheMainWindowLoads() {
    bool exposedDuringLoad = false;
    bool timerActiveDuringLoad = true;
    QString inProcess = QStringLiteral("load never ran");
    QString outOfProcess;
    kelvor::modKelvor::StartupOptions options;
    const kelvor::modKelvor::LoadMainWindow load = [&](kelvor::Services&) -> QWidget* {
      kelvor::splashkv* splash = FindSplash();
      if (splash == nullptr) return new QWidget;
      exposedDuringLoad = splash->isVisible() && splash->windowHandle()->isExposed();
      timerActiveDuringLoad = splash->Timer1->isActive();
      // What the window system holds for the splash window right now.
      inProcess = PictureMismatch(splash->screen()->grabWindow(splash->winId()).toImage(), {});
      // On X, another client's photograph of the whole screen settles it: the picture has
      // reached the server, not just our own buffers.
      if (QGuiApplication::platformName() == QStringLiteral("xcb") &&
          !QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty()) {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("screen.png"));
        QProcess::execute(QStringLiteral("import"), {"-window", "root", file});
        outOfProcess = PictureMismatch(QImage(file), splash->geometry().topLeft());
      }
      return new QWidget;
    };
    kelvor::modKelvor::Main(m_services, load, options);

    QVERIFY(exposedDuringLoad);
    QVERIFY2(inProcess.isEmpty(), qPrintable(inProcess));
    QVERIFY2(outOfProcess.isEmpty(), qPrintable(outOfProcess));
    // Armed only after the load, with the full interval.
    QVERIFY(!timerActiveDuringLoad);
    kelvor::splashkv* splash = FindSplash();
    QVERIFY(splash != nullptr);
    QVERIFY(splash->Timer1->isActive());
    QCOMPARE(splash->Timer1->interval(), 2000);
    QVERIFY(m_messages.isEmpty());
  }

  void timerFiresOnceAndLeavesOnlyTheMainWindow() {
    QElapsedTimer clock;
    clock.start();
    ShowRecorder recorder(clock);
    QPointer<QWidget> mainWindow;
    kelvor::modKelvor::StartupOptions options;
    const kelvor::modKelvor::LoadMainWindow load = [&](kelvor::Services&) {
      mainWindow = new QWidget;
      mainWindow->installEventFilter(&recorder);
      return mainWindow.data();
    };
    options.timerInterval = std::chrono::milliseconds(30);
    kelvor::modKelvor::Main(m_services, load, options);
    QVERIFY(!mainWindow->isVisible());

    QTRY_VERIFY(mainWindow->isVisible());
    QTRY_VERIFY(FindSplash() == nullptr);
    QTRY_COMPARE(QApplication::activeWindow(), mainWindow.data());
    // Long enough for a repeating timer to have fired again several times.
    QTest::qWait(200);
    QCOMPARE(recorder.shows, 1);
    QVERIFY(m_messages.isEmpty());
  }

  void splashStaysTheFullIntervalAfterASlowLoad() {
    QElapsedTimer clock;
    clock.start();
    ShowRecorder recorder(clock);
    qint64 loadEndedAt = -1;
    kelvor::modKelvor::StartupOptions options;
    const kelvor::modKelvor::LoadMainWindow load = [&](kelvor::Services&) {
      QThread::msleep(300);
      auto* mainWindow = new QWidget;
      mainWindow->installEventFilter(&recorder);
      loadEndedAt = clock.elapsed();
      return mainWindow;
    };
    kelvor::modKelvor::Main(m_services, load, options);
    QVERIFY(FindSplash() != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.shows == 1, 8000);
    QVERIFY2(recorder.firstShownAt - loadEndedAt >= kelvor::splashkv::kTimerInterval.count(),
             qPrintable(QString::number(recorder.firstShownAt - loadEndedAt)));
  }

  void failedLoadIsReportedAndEndsTheProgram() {
    kelvor::modKelvor::StartupOptions options;
    const kelvor::modKelvor::LoadMainWindow load = [](kelvor::Services&) -> QWidget* {
      throw kelvor::errors::RuntimeError(kelvor::errors::kPathFileAccess, "Path/File access error");
    };
    kelvor::modKelvor::Main(m_services, load, options);
    QCOMPARE(m_messages, QStringList{QStringLiteral("16|75: Path/File access error")});
    kelvor::splashkv* splash = FindSplash();
    QVERIFY(splash != nullptr);
    QVERIFY(splash->isVisible());
    QVERIFY(!splash->Timer1->isActive());

    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    QCOMPARE(QCoreApplication::exec(), 1);
  }

  void closingTheMainWindowEndsTheProgram() {
    QPointer<QWidget> mainWindow;
    kelvor::modKelvor::StartupOptions options;
    const kelvor::modKelvor::LoadMainWindow load = [&](kelvor::Services&) {
      return (mainWindow = new QWidget).data();
    };
    options.timerInterval = std::chrono::milliseconds(30);
    kelvor::modKelvor::Main(m_services, load, options);

    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
      if (mainWindow && mainWindow->isVisible()) mainWindow->close();
    });
    closer.start(50);
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(FindSplash() == nullptr);
  }
};

QTEST_MAIN(TestModKelvor)
#include "test_mod_kelvor.moc"
