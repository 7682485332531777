#include "app/mod_kelvor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <utility>

#include "app/splashkv.h"
#include "shared/message_box.h"

namespace kelvor::modKelvor {

namespace {

// How long start-up waits for the window system to map the splash before painting anyway.
constexpr std::chrono::milliseconds kExposeWait{2000};

// Puts the splash picture on the screen before the slow main-window load. A window system maps
// a new window asynchronously, and a repaint before that paints nothing; so wait (without
// taking user input) until the window is exposed, then repaint, which paints and flushes the
// backing store to the screen before it returns.
void PaintNow(QWidget* splash) {
  QWindow* window = splash->windowHandle();
  if (window && !window->isExposed()) {
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(std::chrono::milliseconds(5));
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      const std::chrono::milliseconds waitedFor(waited.elapsed());
      if (window->isExposed() || waitedFor >= kExposeWait) loop.quit();
    });
    poll.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  splash->repaint();
}

}  // namespace

void Main(Services& services, const LoadMainWindow& loadMainWindow, const StartupOptions& options) {
  bool armed = false;
  ErrorTrap(services, [&] {
    auto* splash = new splashkv(services);
    splash->show();
    PaintNow(splash);

    QWidget* mainWindow = loadMainWindow(services);
    splash->SetMainWindow(mainWindow);
    if (options.mainWindowLoaded) options.mainWindowLoaded(mainWindow);

    splash->Timer1->setInterval(options.timerInterval.count() > 0 ? options.timerInterval
                                                                  : splashkv::kTimerInterval);
    splash->Timer1->start();
    armed = true;
  });
  if (!armed) {
    // The error has been reported; with no timer nothing would ever take the splash away, so
    // the program ends as soon as its event loop starts.
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
  }
}

}  // namespace kelvor::modKelvor
