#include "flight/flight_computer.h"

#include <cmath>

#include <utility>

#include "errors/error_trap.h"

namespace kelvor::flight {

namespace {

constexpr float kGravity = 5;  // ft/sec gained per second of flight

// Every arithmetic result is tested; a stored result is rounded to single precision, and a
// value that does not fit a Single is an overflow too.
double Checked(double value) {
  if (!std::isfinite(value)) errors::RaiseOverflow();
  return value;
}

float Single(double value) {
  const auto stored = static_cast<float>(Checked(value));
  if (!std::isfinite(stored)) errors::RaiseOverflow();
  return stored;
}

double Divide(double dividend, double divisor) {
  if (divisor == 0) {
    if (dividend == 0 || std::isnan(dividend)) errors::RaiseOverflow();
    errors::RaiseDivisionByZero();
  }
  return Checked(dividend / divisor);
}

double SquareRoot(double value) {
  if (std::isnan(value)) errors::RaiseOverflow();
  if (value < 0) errors::RaiseInvalidCall();
  return Checked(std::sqrt(value));
}

// The number the pattern "0" prints, as a Single: halves away from zero, like FormatNumber.
float RoundedWhole(float value) { return Single(std::round(Checked(value))); }

// Runs a procedure body under the error trap, reporting to the host window.
template <class Body>
void ErrorTrap(MissionHost& host, Body&& body) noexcept {
  errors::ErrorTrap(
      [&host](int number, const std::string& description) {
        host.ReportError(number, description);
      },
      std::forward<Body>(body));
}

}  // namespace

FlightComputer::FlightComputer(InstrumentPanel& panel, MissionHost& host)
    : m_panel(panel), m_host(host) {}

FlightState& FlightComputer::State() { return m_state; }

void FlightComputer::StartMission() {
  m_state.vMission = false;
  m_state.intHalted = 0;
  ++m_mission;
}

void FlightComputer::HaltMission() { m_state.intHalted = -1; }

void FlightComputer::RestoreStartState() {
  m_state.sngTime = kStartState.sngTime;
  m_state.sngAltitude = kStartState.sngAltitude;
  m_state.sngSpeed = kStartState.sngSpeed;
  m_state.sngFuel = kStartState.sngFuel;
}

void FlightComputer::BurnStep() {
  ErrorTrap(m_host, [this] { Step(); });
}

void FlightComputer::Step() {
  FlightState& s = m_state;
  const float speed = s.sngSpeed;
  const float burn = s.sngBurn;
  const float newSpeed = Single(Checked(double{speed} - burn) + kGravity);
  s.sngFuel = Single(double{s.sngFuel} - burn);
  s.sngAltitude = Single(s.sngAltitude - Checked((double{newSpeed} + speed) * 0.5));
  if (!FinishSecond(newSpeed)) return;

  m_panel.SetCaption(Control::lblTime, FormatNumber(s.sngTime, "0"));
  m_panel.SetCaption(Control::lblAlt, FormatNumber(s.sngAltitude, "0.0"));
  m_panel.SetBarValue(Bar::pbAltitude, RoundedWhole(s.sngAltitude));
  m_panel.SetCaption(Control::lblSpeed, FormatNumber(s.sngSpeed, "0"));
  m_panel.SetCaption(Control::lblFuel, FormatNumber(s.sngFuel, "0"));
  m_panel.SetBarValue(Bar::pbFuel, RoundedWhole(s.sngFuel));

  if (s.sngFuel > 0) {
    if (s.sngFuel < kThrusterMax) {
      // The bar may not offer more than the fuel left; ties to even, as the bar's own rounding.
      const auto left = static_cast<std::int16_t>(std::nearbyint(s.sngFuel));
      // The window runs ThrusterChanged for the new value before this call returns, so
      // sngBurn follows the bar within the step (it was used above already).
      if (m_panel.GetThrusterValue() > s.sngFuel) m_panel.SetThrusterValue(left);
      m_panel.SetThrusterMax(left);
    }
    return;
  }
  OutOfFuel();
  FreeFall();
}

bool FlightComputer::FinishSecond(float newSpeed) {
  FlightState& s = m_state;
  if (!(s.sngAltitude > 0)) {
    EvaluateTouchdown(newSpeed);
    return false;
  }
  s.sngTime = Single(double{s.sngTime} + 1);
  s.sngSpeed = newSpeed;
  return true;
}

void FlightComputer::OutOfFuel() {
  FlightState& s = m_state;
  s.sngBurn = 0;
  m_panel.SetCaption(Control::lblBurn, "0");
  m_panel.SetBarValue(Bar::pbFuel, 0);
  m_panel.SetBurnControlsEnabled(false);
  s.strMessages = std::string(kCrLf) + "WARNING: Red code alert" + kCrLf + kCrLf +
                  "Out of fuel !!!" + kCrLf + kCrLf + "Auto transmission to Houston:" + kCrLf +
                  "Mayday... Mayday..." + kCrLf + ">";
  ShowMessages();
  m_panel.Repaint(Control::lblMessage);
}

void FlightComputer::FreeFall() {
  FlightState& s = m_state;
  const unsigned mission = m_mission;
  for (;;) {
    m_panel.YieldToEvents();
    // A Stop and a Start handled within one alarm second leave intHalted at 0 again; the new
    // mission is not this loop's to fly. Start counts missions before any other step, so even
    // a Start that failed before it restored the start state (its enabled controls stay) ends
    // the loop.
    if (s.intHalted != 0 || m_mission != mission) return;
    AlarmPause(1);

    const float start = s.sngSpeed;
    const float newSpeed = Single(double{start} + kGravity);
    s.sngAltitude = Single(s.sngAltitude - Checked((double{newSpeed} + start) * 0.5));
    if (s.sngAltitude > 0) m_panel.SetBarValue(Bar::pbAltitude, RoundedWhole(s.sngAltitude));
    if (!FinishSecond(newSpeed)) return;

    m_panel.SetCaption(Control::lblTime, FormatNumber(s.sngTime, "0"));
    m_panel.Repaint(Control::lblTime);
    m_panel.SetCaption(Control::lblAlt, FormatNumber(s.sngAltitude, "0.0"));
    m_panel.Repaint(Control::lblAlt);
    m_panel.SetCaption(Control::lblSpeed, FormatNumber(s.sngSpeed, "0"));
    m_panel.Repaint(Control::lblSpeed);
  }
}

void FlightComputer::EvaluateTouchdown(float newSpeed) {
  ErrorTrap(m_host, [this, newSpeed] { Touchdown(newSpeed); });
}

void FlightComputer::Touchdown(float newSpeed) {
  FlightState& s = m_state;
  s.vMission = true;
  m_panel.SetBurnControlsEnabled(false);

  const float speed = s.sngSpeed;
  const float burn = s.sngBurn;
  s.sngAltitude = Single(Checked((double{newSpeed} + speed) * 0.5) + s.sngAltitude);
  const double start = s.sngAltitude;

  // Contact is the first root of A0 - V t - (5 - B) t^2 / 2 within the second.
  const double acceleration = Checked(double{kGravity} - burn);
  float contact = 0;
  if (burn == kGravity) {
    contact = Single(Divide(start, speed));
  } else {
    const double radicand =
        Checked(Checked(start * Checked(10.0 - 2.0 * burn)) + Checked(double{speed} * speed));
    contact = Single(Divide(Checked(SquareRoot(radicand) - speed), acceleration));
  }
  const float velocity = Single(Checked(acceleration * contact) + speed);
  const float touchdownTime = Single(double{contact} + s.sngTime);

  m_panel.SetCaption(Control::lblTime, FormatNumber(touchdownTime, "0.00"));
  m_panel.SetCaption(Control::lblAlt, FormatNumber(0, "0.0"));
  m_panel.SetBarValue(Bar::pbAltitude, 0);
  m_panel.SetCaption(Control::lblSpeed, FormatNumber(velocity, "0.00"));
  m_panel.SetCaption(Control::lblFuel, FormatNumber(s.sngFuel, "0"));
  // The fuel bar follows its label, so the two never disagree after a landing.
  m_panel.SetBarValue(Bar::pbFuel, RoundedWhole(s.sngFuel));

  const char* grade = "Houston sends congratulations! A perfect landing!";
  if (velocity > 2) {
    grade = std::fabs(velocity) > 10
                ? "Flight black box recorder activated for fatalistic crash."
                : "You inflicted some craft damage and stranded until a rescue craft arrives.";
  }
  s.strMessages = "Touchdown at " + FormatNumber(touchdownTime, "0.00") + " seconds." + kCrLf +
                  "Landing velocity is " + FormatNumber(velocity, "0.00") + " ft/sec." + kCrLf +
                  FormatNumber(s.sngFuel, "0") + " units of fuel remaining." + kCrLf + kCrLf +
                  grade + kCrLf + ">";
  ShowMessages();
  // Last: the window's Stop command runs inside this call, still within the step (and within
  // the free fall's loop), and sets intHalted through HaltMission; nothing here runs after it.
  m_host.StopMission();
}

void FlightComputer::ThrusterChanged() {
  ErrorTrap(m_host, [this] {
    m_state.sngBurn = static_cast<float>(m_panel.GetThrusterValue());
    m_panel.SetCaption(Control::lblBurn, FormatNumber(m_state.sngBurn, "0"));
    m_panel.Repaint(Control::lblBurn);
  });
}

void FlightComputer::AlarmPause(double seconds) {
  ErrorTrap(m_host, [this, seconds] {
    const double start = m_host.MonotonicSeconds();
    double elapsed = 0;
    do {
      m_host.Beep();
      elapsed = Checked(m_host.MonotonicSeconds() - start);
    } while (elapsed < seconds);
  });
}

void FlightComputer::ShowMessages() {
  m_panel.SetCaption(Control::lblMessage, m_state.strMessages);
}

}  // namespace kelvor::flight
