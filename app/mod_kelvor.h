#pragma once

#include <functional>

class QWidget;

// The start-up module: the program begins in Main, before any window exists.
namespace modKelvor {

// Shows the splash window and paints it, loads the main window hidden, then arms the splash
// timer that later closes the splash and shows the main window. A failed load is reported and
// ends the program as soon as the event loop starts.
void Main();

// Start-up hooks for tests: how the main window is loaded, and how long the splash waits after
// the load. Defaults (empty function, interval 0) mean the real main window and
// splashkv::kTimerInterval.
struct StartupHooks {
  std::function<QWidget*()> loadMainWindow;
  int timerInterval = 0;
};
void SetStartupHooks(StartupHooks hooks);

}  // namespace modKelvor
