#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "errors/runtime_error.h"
#include "flight/flight_state.h"
#include "flight/format_number.h"
#include "flight/instrument_panel.h"
#include "flight/mission_host.h"

namespace kelvor::flight {

// The lander's flight computer: the one-second burn step, the free fall without fuel,
// the touchdown evaluation, the thrust setting and the alarm pause. No window code: it
// reaches the panel and the host only through the two interfaces.
//
// The window calls back into it in two ways while a step is still on the stack: lowering the
// thruster bar's value (SetThrusterValue) runs the bar's change handler, and so ThrusterChanged,
// before the call returns; and the touchdown's last act, the host's StopMission, runs the
// window's Stop command, which calls HaltMission. So sngBurn and intHalted change under a step,
// which reads no flight state after either call.
class FlightComputer {
 public:
  FlightComputer(InstrumentPanel& panel, MissionHost& host);
  FlightState& State();
  void BurnStep();  // what cmdBurn_Click runs
  void EvaluateTouchdown(float newSpeed);
  void ThrusterChanged();  // what hsbBurn_Change and hsbBurn_Scroll run
  void AlarmPause(double seconds);

  // The mission's flags, as Start new mission and Stop mission set them: a new mission that
  // has not touched down and is not halted; the halt that a free fall's next check obeys.
  void StartMission();
  void HaltMission();
  // Time, altitude, speed and fuel back to where every mission starts (kStartState).
  void RestoreStartState();

 private:
  void Step();
  // Ends a second whose altitude is stored: the touchdown when it reached the surface (false),
  // otherwise one more whole second flown at the new speed (true).
  bool FinishSecond(float newSpeed);
  void OutOfFuel();
  void FreeFall();
  void Touchdown(float newSpeed);
  void ShowMessages();

  InstrumentPanel& m_panel;
  MissionHost& m_host;
  FlightState m_state;
  unsigned m_mission = 0;  // counts Starts, so a free fall knows whose mission it flies
};

}  // namespace kelvor::flight
