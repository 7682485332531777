#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>

class QWidget;

namespace kelvor {

// The window thread's side of the start's watch (platform/start_watch): beats several times a
// second while the event loop runs, and ends the watch once the main window has shown and the
// loop has come round again after it. A thread that is held anywhere in between stops beating.
class StartHeartbeat : public QObject {
 public:
  static constexpr std::chrono::milliseconds kInterval{100};

  // Beats at once, then every kInterval.
  explicit StartHeartbeat(QObject* parent = nullptr);
  // Ends the watch if it still runs: a start that failed has nothing left to watch.
  ~StartHeartbeat() override;

  // The window whose showing ends the watch.
  void WatchFor(QWidget* mainWindow);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Tick();

  QTimer m_timer;
  QPointer<QWidget> m_mainWindow;
  bool m_shown = false;
};

}  // namespace kelvor
