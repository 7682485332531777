#include "app/start_heartbeat.h"

#include <QEvent>
#include <QWidget>

#include "platform/start_watch.h"

namespace kelvor {

StartHeartbeat::StartHeartbeat(QObject* parent) : QObject(parent) {
  m_timer.setInterval(kInterval);
  connect(&m_timer, &QTimer::timeout, this, &StartHeartbeat::Tick);
  m_timer.start();
  start_watch::Beat();
}

StartHeartbeat::~StartHeartbeat() { start_watch::End(); }

void StartHeartbeat::WatchFor(QWidget* mainWindow) {
  m_mainWindow = mainWindow;
  if (mainWindow != nullptr) mainWindow->installEventFilter(this);
}

bool StartHeartbeat::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_mainWindow && event->type() == QEvent::Show) {
    m_shown = true;
    m_mainWindow->removeEventFilter(this);
  }
  return false;
}

void StartHeartbeat::Tick() {
  start_watch::Beat();
  if (!m_shown) return;
  // The loop came round after the show: the start is over, and so is the watch.
  m_timer.stop();
  start_watch::End();
}

}  // namespace kelvor
