#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kelvor::flight {

// The main window's flight state record, in declaration order.
struct FlightState {
  std::string webURL;
  std::optional<bool> vMission;  // no value until the first Start; read as false
  std::int16_t intHalted = 0;    // -1 once Stop mission has run
  float sngTime = 0, sngAltitude = 0, sngSpeed = 0, sngFuel = 0, sngBurn = 0;
  std::string strMessages;
};

// The line break of the console's messages (strMessages).
inline constexpr const char* kCrLf = "\r\n";

// The thruster bar's full scale, in fuel units per second. Once less fuel is left, the bar
// offers no more than there is.
inline constexpr std::int16_t kThrusterMax = 30;

// Where every mission starts, and the scales the panel shows it on.
struct StartState {
  float sngTime, sngAltitude, sngSpeed, sngFuel;
  float altitudeBarMax;      // the altitude bar: room above the start for a climb
  float fuelBarMax;          // the fuel bar: a full tank
  std::int16_t thrusterMax;  // the thruster bar, fuel units per second
};
inline constexpr StartState kStartState{0, 500, 50, 120, 750, 120, kThrusterMax};

}  // namespace kelvor::flight
