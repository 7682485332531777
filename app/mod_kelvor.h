#pragma once

#include <chrono>
#include <functional>

#include "shared/services.h"

class QWidget;

// The start-up module: the program begins in Main, before any window exists.
namespace kelvor::modKelvor {

// Makes the main window, hidden, its load handler run: the program's frmLand, which main()
// chooses as it chooses the services; a stand-in in the tests of the start-up sequence.
using LoadMainWindow = std::function<QWidget*(Services&)>;

// How long the splash waits after the load. Left at zero: splashkv::kTimerInterval. Tests shorten
// the wait. `mainWindowLoaded`, when set, is handed the main window once it has loaded.
struct StartupOptions {
  std::chrono::milliseconds timerInterval{0};
  std::function<void(QWidget*)> mainWindowLoaded;
};

// Shows the splash window and paints it, loads the main window hidden, then arms the splash
// timer that later closes the splash and shows the main window. A failed load is reported and
// ends the program as soon as the event loop starts. Every window gets `services`, which must
// outlive them.
void Main(Services& services, const LoadMainWindow& loadMainWindow,
          const StartupOptions& options = {});

}  // namespace kelvor::modKelvor
