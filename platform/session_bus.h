#pragma once

#include <chrono>

// While the first windows come up, Qt asks the session bus (Hello: no limit; NameHasOwner: 25 s),
// the screen-reader bridge's org.a11y.Status and accessibility bus (25 s; the connection: no
// limit) and the global-menu registrar (25 s per menu bar), all on the window's thread. A peer
// that has stopped answering would keep the window away for minutes, or for good.
namespace kelvor::session_bus {

// How long start-up gives all of them together to answer.
constexpr std::chrono::milliseconds kPatience{2000};

// Each true when Qt may use the feature without waiting on a silent peer.
struct Findings {
  bool sessionBus = false;  // answered a call after Hello
  // Every accessibility bus and service Qt would ask answered, or Qt would ask none.
  bool accessibility = false;
  bool globalMenu = false;  // the registrar answered a call, or there is none
};

// Asks as Qt will, through libdbus (the library under Qt's connections, so the same addresses
// and handshake), in child processes side by side, within `limit` for all. What the children
// started (a unixexec: program, an autolaunched bus) is ended before it returns. Only while the
// process has a single thread: the children go on in libdbus after the fork.
Findings Check(std::chrono::milliseconds limit);

// Before the application object exists: switches off each feature whose peer did not answer,
// so the game starts without it rather than not at all. Programs the game starts keep the
// environment the game was started with (child_process).
Findings SetAsideWhatIsSilent(std::chrono::milliseconds limit = kPatience);

}  // namespace kelvor::session_bus
