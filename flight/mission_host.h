#pragma once

#include <string>

namespace kelvor::flight {

// What the host window and the operating system supply.
class MissionHost {
 public:
  virtual ~MissionHost() = default;
  virtual void StopMission() = 0;         // the window's Stop mission command
  virtual void Beep() = 0;                // one alarm beep
  virtual double MonotonicSeconds() = 0;  // a monotonic clock
  virtual void ReportError(int number,
                           const std::string& description) = 0;  // the common error report
};

}  // namespace kelvor::flight
