#pragma once

#include <chrono>
#include <string>

// The desktop's session bus as start-up meets it. Qt's accessibility bridge connects to that bus
// when the first window is shown and waits for its answer without a time limit; a bus daemon
// that has stopped answering (stopped, swapped out, deadlocked) would keep the game from ever
// showing a window.
class SessionBus {
 public:
  // How long start-up gives the bus to answer.
  static constexpr std::chrono::milliseconds kPatience{2000};

  // True when `address` (a D-Bus address list, as in DBUS_SESSION_BUS_ADDRESS) names a bus that
  // takes the connection but does not answer the first line of a client within `limit`. A bus
  // that refuses the connection, or an address that is not a local socket, is not silent: a
  // client learns about those at once.
  static bool IsSilent(const std::string& address, std::chrono::milliseconds limit);

  // Before the application object exists: when this process's session bus is silent, names an
  // address no client can connect to instead, so that the game starts without the bus (and so
  // without a screen reader) rather than not at all. Programs the game starts inherit that: a
  // silent bus would hold them just the same. Returns whether the bus was found silent.
  static bool SetAsideIfSilent(std::chrono::milliseconds limit = kPatience);
};
