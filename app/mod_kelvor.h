#pragma once

#include <functional>

#include "shared/services.h"

class QWidget;

// The start-up module: the program begins in Main, before any window exists.
namespace kelvor::modKelvor {

// How start-up loads the main window and how long the splash waits after the load. Left
// empty: the real main window and splashkv::kTimerInterval. Tests load stand-ins and shorten the
// wait. `mainWindowLoaded`, when set, is handed the main window once it has loaded.
struct StartupOptions {
  std::function<QWidget*(Services&)> loadMainWindow;
  int timerInterval = 0;
  std::function<void(QWidget*)> mainWindowLoaded;
};

// Shows the splash window and paints it, loads the main window hidden, then arms the splash
// timer that later closes the splash and shows the main window. A failed load is reported and
// ends the program as soon as the event loop starts. Every window gets `services`, which must
// outlive them.
void Main(Services& services, const StartupOptions& options = {});

}  // namespace kelvor::modKelvor
