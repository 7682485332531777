#pragma once

#include <chrono>

// The desktop's session bus as start-up meets it. Qt connects to that bus when the first window
// is shown (the screen-reader bridge, the desktop theme), on the one thread that carries all of
// its D-Bus connections, and the window waits for the bus's answer without a time limit; a bus
// daemon that has stopped answering (stopped, swapped out, deadlocked) would keep the game from
// ever showing a window.
class SessionBus {
 public:
  // How long start-up gives the bus to answer.
  static constexpr std::chrono::milliseconds kPatience{2000};

  // True when the session bus this process would connect to has not answered within `limit`.
  // The bus is asked by libdbus, the library under Qt's own connection, in a child process: the
  // same address (DBUS_SESSION_BUS_ADDRESS with its list of entries, or else
  // $XDG_RUNTIME_DIR/bus) and the same handshake, up to the answer to Hello. A bus that refuses
  // the connection, cannot be reached or turns the client away is not silent: a client learns
  // about those at once. A try still waiting at the limit is killed, so nothing of it outlives
  // the call. Call it only while the process has a single thread: the child goes on in libdbus
  // after the fork.
  static bool IsSilent(std::chrono::milliseconds limit);

  // Before the application object exists: when this process's session bus is silent, names an
  // address no client can connect to instead, so that the game starts without the bus (and so
  // without a screen reader) rather than not at all. Programs the game starts inherit that: a
  // silent bus would hold them just the same. Returns whether the bus was found silent.
  static bool SetAsideIfSilent(std::chrono::milliseconds limit = kPatience);
};
