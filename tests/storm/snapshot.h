#pragma once

#include <QString>
#include <optional>

namespace kelvor::test {

// Everything of the window that the mission state and the instruments show.
struct Snapshot {
  std::optional<bool> vMission;
  int intHalted = 0;
  float time = 0, altitude = 0, speed = 0, fuel = 0, burn = 0;
  QString strMessages, lblMessage, lblTime, lblAlt, lblSpeed, lblFuel, lblBurn;
  bool barEnabled = false, igniteEnabled = false, newEnabled = false, startItemEnabled = false;
  int barValue = 0, barMax = 0;
  float pbAltitude = 0, pbFuel = 0;

  bool operator==(const Snapshot&) const = default;

  QString Describe() const;
};

}  // namespace kelvor::test
