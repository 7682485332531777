#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "flight/flight_computer.h"

// A panel that records every call and plays the thruster bar as the window's scroll bar does:
// value and maximum, with the change notification only on a real change.
class RecordingPanel : public kelvor::flight::InstrumentPanel {
 public:
  kelvor::flight::FlightComputer* computer = nullptr;
  std::vector<std::string> calls;
  std::map<kelvor::flight::Control, std::string> captions;
  std::map<kelvor::flight::Bar, float> bars;
  std::int16_t thrusterValue = 0;
  std::int16_t thrusterMax = 30;
  bool burnControlsEnabled = false;
  std::function<void()> onYield;
  // Makes the named operation throw a run-time error, to show the error trap.
  std::string failOn;

  void SetCaption(kelvor::flight::Control control, const std::string& text) override {
    Record("SetCaption " + Name(control));
    captions[control] = text;
  }
  void SetBarValue(kelvor::flight::Bar bar, float value) override {
    Record(bar == kelvor::flight::Bar::pbAltitude ? "SetBarValue pbAltitude"
                                                  : "SetBarValue pbFuel");
    bars[bar] = value;
  }
  void Repaint(kelvor::flight::Control control) override { Record("Repaint " + Name(control)); }
  std::int16_t GetThrusterValue() override { return thrusterValue; }
  void SetThrusterValue(std::int16_t value) override {
    Record("SetThrusterValue " + std::to_string(value));
    if (value == thrusterValue) return;
    thrusterValue = value;
    computer->ThrusterChanged();
  }
  void SetThrusterMax(std::int16_t value) override {
    Record("SetThrusterMax " + std::to_string(value));
    thrusterMax = value;
  }
  void SetBurnControlsEnabled(bool enabled) override {
    Record(enabled ? "EnableBurnControls" : "DisableBurnControls");
    burnControlsEnabled = enabled;
  }
  void YieldToEvents() override {
    Record("YieldToEvents");
    if (onYield) onYield();
  }

  // A person dragging the thumb: every position raises the notification.
  void Drag(std::int16_t value) {
    thrusterValue = value;
    computer->ThrusterChanged();
  }

  int Count(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls) n += c == call ? 1 : 0;
    return n;
  }

  static std::string Name(kelvor::flight::Control control) {
    switch (control) {
      case kelvor::flight::Control::lblTime:
        return "lblTime";
      case kelvor::flight::Control::lblAlt:
        return "lblAlt";
      case kelvor::flight::Control::lblSpeed:
        return "lblSpeed";
      case kelvor::flight::Control::lblFuel:
        return "lblFuel";
      case kelvor::flight::Control::lblBurn:
        return "lblBurn";
      case kelvor::flight::Control::lblMessage:
        return "lblMessage";
    }
    return "?";
  }

 private:
  void Record(const std::string& call) {
    calls.push_back(call);
    if (!failOn.empty() && call == failOn) {
      throw kelvor::errors::RuntimeError(kelvor::errors::kInvalidPropertyValue,
                                         "Invalid property value");
    }
  }
};

// The host: a fake monotonic clock that each beep moves on, and the window's Stop command.
class FakeHost : public kelvor::flight::MissionHost {
 public:
  kelvor::flight::FlightComputer* computer = nullptr;
  RecordingPanel* panel = nullptr;
  double now = 100.0;
  double beepLength = 0.25;
  int beeps = 0;
  int stops = 0;
  std::vector<std::pair<int, std::string>> errors;

  void StopMission() override {
    ++stops;
    auto& s = computer->State();
    s.intHalted = -1;
    panel->SetBurnControlsEnabled(false);
    if (!s.vMission.value_or(false)) {
      s.strMessages = "\r\nMission aborted\r\n>";
      panel->SetCaption(kelvor::flight::Control::lblMessage, s.strMessages);
    }
  }
  void Beep() override {
    ++beeps;
    now += beepLength;
  }
  double MonotonicSeconds() override { return now; }
  void ReportError(int number, const std::string& description) override {
    errors.emplace_back(number, description);
  }
};

// A panel, a host and a flight computer wired together, with the window's Start command.
struct MissionRig {
  RecordingPanel panel;
  FakeHost host;
  kelvor::flight::FlightComputer computer{panel, host};

  MissionRig() {
    panel.computer = &computer;
    host.computer = &computer;
    host.panel = &panel;
  }

  kelvor::flight::FlightState& State() { return computer.State(); }

  // As the window's Start: the mission's flags first, then the controls and the start state.
  // `restoring` false is a Start whose later steps failed: counted and armed, state untouched.
  void Start(bool restoring = true) {
    computer.StartMission();
    panel.SetBurnControlsEnabled(true);
    if (!restoring) return;
    computer.RestoreStartState();
    panel.SetThrusterValue(0);
    panel.SetThrusterMax(30);
  }

  // Presses Ignite with the bar at each burn in turn, the last one repeated, until the mission
  // ends (or a step limit is reached). Returns the number of presses.
  int Fly(const std::vector<int>& burns, int limit = 100) {
    int presses = 0;
    while (panel.burnControlsEnabled && presses < limit) {
      const int burn = burns[std::min<std::size_t>(presses, burns.size() - 1)];
      if (panel.thrusterValue != burn) panel.Drag(static_cast<std::int16_t>(burn));
      computer.BurnStep();
      ++presses;
    }
    return presses;
  }
};
