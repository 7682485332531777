#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace flight {

// The main window's flight state record, in declaration order.
struct FlightState {
  std::string webURL;
  std::optional<bool> vMission;  // no value until the first Start; read as false
  std::int16_t intHalted = 0;    // -1 once Stop mission has run
  float sngTime = 0, sngAltitude = 0, sngSpeed = 0, sngFuel = 0, sngBurn = 0;
  std::string strMessages;
};

}  // namespace flight
