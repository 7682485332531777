#pragma once

#include <chrono>

// The desktop's buses as start-up meets them. While the first windows come up, Qt talks to the
// session bus, to the accessibility bus and to services on them, on the window's own thread and
// with long or no time limits:
// - the session bus: the connection and its Hello (no limit while the bus does not even
//   authenticate), then NameHasOwner calls for the accessibility and global-menu services
//   (25 s each);
// - the screen-reader bridge: the org.a11y.Status properties ScreenReaderEnabled and IsEnabled
//   (25 s each), and the connection to the accessibility bus, whose address it takes from
//   AT_SPI_BUS_ADDRESS, from org.a11y.Bus GetAddress or from the X root window's AT_SPI_BUS
//   property (no limit);
// - the global menu: RegisterWindow on com.canonical.AppMenu.Registrar for every menu bar shown
//   (25 s each).
// A bus or service that has stopped answering (stopped, swapped out, deadlocked) would keep the
// game from showing its window for minutes, or for good.
namespace kelvor::session_bus {

// How long start-up gives all of them together to answer.
constexpr std::chrono::milliseconds kPatience{2000};

// What answered in time; each a feature Qt may use without waiting on a silent peer.
struct Findings {
  // The session bus answered a call after Hello.
  bool sessionBus = false;
  // Every accessibility bus Qt would connect to answered a call after Hello, and the
  // accessibility service answered Qt's questions; or Qt would reach none of them.
  bool accessibility = false;
  // The global-menu registrar answered a call, or there is none.
  bool globalMenu = false;
};

// Asks the buses, as Qt will, in child processes: libdbus, the library under Qt's own
// connections, with the same addresses (DBUS_SESSION_BUS_ADDRESS with its list of entries,
// $XDG_RUNTIME_DIR/bus, X autolaunch through DISPLAY) and the same handshake. The three
// questions are asked side by side, within `limit` for all of them. Whatever the children
// started meanwhile (a unixexec: program, an autolaunched bus) is ended with them before the
// call returns. Call it only while the process has a single thread: the children go on in
// libdbus after the fork.
Findings Check(std::chrono::milliseconds limit);

// Before the application object exists: starts the game without each feature whose peer did
// not answer, through Qt's own switches, so that the game starts without the bus, the screen
// reader or the global menu rather than not at all. Programs the game starts are not
// affected (child_process gives them the environment the game was started with).
Findings SetAsideWhatIsSilent(std::chrono::milliseconds limit = kPatience);

}  // namespace kelvor::session_bus
