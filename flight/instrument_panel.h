#pragma once

#include <cstdint>
#include <string>

namespace kelvor::flight {

// The panel controls the flight computer writes to.
enum class Control { lblTime, lblAlt, lblSpeed, lblFuel, lblBurn, lblMessage };
enum class Bar { pbAltitude, pbFuel };

// Implemented by the main window on its controls; by a recording double in tests.
// Any operation may throw errors::RuntimeError (a progress bar refusing a value, say).
class InstrumentPanel {
 public:
  virtual ~InstrumentPanel() = default;
  virtual void SetCaption(Control control, const std::string& text) = 0;
  virtual void SetBarValue(Bar bar, float value) = 0;
  virtual void Repaint(Control control) = 0;
  virtual std::int16_t GetThrusterValue() = 0;
  // When the value really changes, runs FlightComputer::ThrusterChanged before returning.
  virtual void SetThrusterValue(std::int16_t value) = 0;
  virtual void SetThrusterMax(std::int16_t value) = 0;
  virtual void SetBurnControlsEnabled(bool enabled) = 0;  // hsbBurn, then cmdBurn
  virtual void YieldToEvents() = 0;
};

}  // namespace kelvor::flight
