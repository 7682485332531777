#include "mission_model.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "flight/format_number.h"
#include "tests/mission_texts.h"

namespace kelvor::test {
namespace {

QString Fmt(double value, const char* pattern) {
  return QString::fromStdString(kelvor::flight::FormatNumber(value, pattern));
}

bool IsWhole(float value) { return std::isfinite(value) && value == std::floor(value); }

// What the pattern "0" prints, as a number: halves away from zero.
float RoundedWhole(float value) { return static_cast<float>(std::round(double{value})); }

// The landing report: time, landing velocity, fuel and grade.
const QRegularExpression kReport(QStringLiteral(
    "^Touchdown at (\\d+[.,]\\d\\d) seconds\\.\r\nLanding velocity is (-?\\d+[.,]\\d\\d) "
    "ft/sec\\.\r\n(\\d+) units of fuel remaining\\.\r\n\r\n([^\r\n]+)\r\n>$"));

double ReportNumber(QString text) {
  return text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
}

}  // namespace

const char* MissionModel::RowName(Row row) {
  switch (row) {
    case Row::kReady:
      return "Ready";
    case Row::kFlying:
      return "Flying";
    case Row::kFreeFall:
      return "Free fall";
    case Row::kAborted:
      return "Aborted";
    case Row::kLanded:
      return "Landed";
  }
  return "?";
}

// Whether the flight itself (values, readouts, bars) is the same in both.
bool MissionModel::SameFlight(const Snapshot& a, const Snapshot& b) {
  return a.time == b.time && a.altitude == b.altitude && a.speed == b.speed && a.fuel == b.fuel &&
         a.burn == b.burn && a.lblTime == b.lblTime && a.lblAlt == b.lblAlt &&
         a.lblSpeed == b.lblSpeed && a.lblFuel == b.lblFuel && a.lblBurn == b.lblBurn &&
         a.barValue == b.barValue && a.barMax == b.barMax && a.pbAltitude == b.pbAltitude &&
         a.pbFuel == b.pbFuel;
}

// The state every Start leads to.
bool MissionModel::FreshMission(const Snapshot& s) {
  return s.vMission == std::optional<bool>(false) && s.intHalted == 0 && s.time == 0 &&
         s.altitude == 500 && s.speed == 50 && s.fuel == 120 && s.burn == 0 && s.barValue == 0 &&
         s.barMax == 30 && s.barEnabled && s.igniteEnabled && !s.newEnabled &&
         !s.startItemEnabled && s.lblTime == QLatin1String("0") &&
         s.lblAlt == QLatin1String("500") && s.lblSpeed == QLatin1String("50") &&
         s.lblFuel == QLatin1String("120") && s.lblBurn == QLatin1String("0") &&
         s.pbAltitude == 500 && s.pbFuel == 120 && s.lblMessage.isEmpty();
}

std::optional<Row> MissionModel::Classify(const Snapshot& s, QString* why) {
  const bool start = s.newEnabled;
  const bool touchedDown = s.vMission.value_or(false);
  std::optional<Row> row;
  int matches = 0;
  auto consider = [&](bool matched, Row candidate) {
    if (matched) {
      row = candidate;
      ++matches;
    }
  };
  consider(!s.vMission.has_value() && s.intHalted == 0 && !s.barEnabled && start &&
               s.lblMessage == kOpening && s.strMessages == kOpening,
           Row::kReady);
  consider(s.vMission == std::optional<bool>(false) && s.intHalted == 0 && s.barEnabled && !start &&
               s.lblMessage.isEmpty(),
           Row::kFlying);
  consider(s.vMission == std::optional<bool>(false) && s.intHalted == 0 && !s.barEnabled &&
               !start && s.lblMessage == kOutOfFuel && s.strMessages == kOutOfFuel,
           Row::kFreeFall);
  consider(!touchedDown && s.intHalted == -1 && !s.barEnabled && start &&
               s.lblMessage == kAborted && s.strMessages == kAborted,
           Row::kAborted);
  consider(touchedDown && s.intHalted == -1 && !s.barEnabled && start &&
               s.lblMessage == s.strMessages && kReport.match(s.lblMessage).hasMatch(),
           Row::kLanded);
  if (matches != 1) {
    *why = matches == 0 ? QStringLiteral("the window is in no row of the mission state table")
                        : QStringLiteral("the window matches several rows of the table");
    return std::nullopt;
  }
  return row;
}

QString MissionModel::InvariantProblem(const Snapshot& s, Row row) {
  if (s.barEnabled != s.igniteEnabled) return QStringLiteral("bar and Ignite disagree");
  if (s.newEnabled != s.startItemEnabled) return QStringLiteral("button and menu item disagree");
  if (!IsWhole(s.fuel) || s.fuel < 0 || s.fuel > 120) return QStringLiteral("fuel out of bounds");
  if (!IsWhole(s.burn) || s.burn < 0 || s.burn > 30) return QStringLiteral("burn out of bounds");
  if (!IsWhole(s.time) || s.time < 0) return QStringLiteral("time is not whole");
  if (!IsWhole(s.speed)) return QStringLiteral("speed is not whole");
  if (!IsWhole(s.altitude * 2)) return QStringLiteral("altitude not a multiple of 0.5");
  if (!(s.altitude > 0) || s.altitude > 750) return QStringLiteral("altitude out of bounds");
  if (s.barValue < 0 || s.barValue > s.barMax || s.barMax > 30)
    return QStringLiteral("thruster bar out of its range");
  if (s.lblBurn != Fmt(s.burn, "0")) return QStringLiteral("lblBurn does not show the burn");
  // The burn follows the bar, except that running out of fuel zeroes it and leaves the bar.
  if (s.burn != s.barValue && !(s.burn == 0 && s.fuel == 0 && row != Row::kFlying))
    return QStringLiteral("the burn is not the bar's value");

  if (row == Row::kReady && !(s.time == 0 && s.altitude == 500 && s.speed == 50 && s.fuel == 120 &&
                              s.burn == 0 && s.barMax == 30))
    return QStringLiteral("Ready without the start state");
  if (row == Row::kFlying && s.barMax != std::min(30.0f, s.fuel))
    return QStringLiteral("the bar's maximum is not the fuel left");
  if (row == Row::kFreeFall && (s.fuel != 0 || s.burn != 0))
    return QStringLiteral("free fall with fuel or burn");

  if (row == Row::kLanded) {
    const QRegularExpressionMatch report = kReport.match(s.lblMessage);
    const double velocity = ReportNumber(report.captured(2));
    const double time = ReportNumber(report.captured(1));
    const QString grade = report.captured(4);
    if (s.lblTime != report.captured(1) || s.lblSpeed != report.captured(2))
      return QStringLiteral("readouts disagree with the landing report");
    if (report.captured(3) != Fmt(s.fuel, "0") || s.lblFuel != Fmt(s.fuel, "0"))
      return QStringLiteral("fuel readout or report disagrees with the fuel");
    if (s.lblAlt != Fmt(0, "0.0") || s.pbAltitude != 0)
      return QStringLiteral("the altitude does not read 0 after touchdown");
    // Contact comes within the crossing second, which starts at the whole seconds flown.
    if (time < s.time || time > s.time + 1) return QStringLiteral("touchdown outside its second");
    const bool gradeFits = (grade == kPerfect && velocity <= 2.005) ||
                           (grade == kDamage && velocity >= 1.995 && velocity <= 10.005) ||
                           (grade == kCrash && velocity >= 9.995);
    if (!gradeFits) return QStringLiteral("the grade does not fit the landing velocity");
    return {};
  }

  if (s.lblTime != Fmt(s.time, "0") || s.lblSpeed != Fmt(s.speed, "0") ||
      s.lblFuel != Fmt(s.fuel, "0"))
    return QStringLiteral("a readout does not show its value");
  const bool startText = s.time == 0 && s.altitude == 500 && s.lblAlt == QLatin1String("500");
  if (!startText && s.lblAlt != Fmt(s.altitude, "0.0"))
    return QStringLiteral("lblAlt does not show the altitude");
  if (s.pbAltitude != RoundedWhole(s.altitude) || s.pbFuel != s.fuel)
    return QStringLiteral("a bar does not show its value");
  return {};
}

QString MissionModel::TransitionProblem(Kind kind, const Snapshot& b, Row rb, const Snapshot& a,
                                        Row ra) {
  switch (kind) {
    case Kind::kStart:
      if (b.newEnabled) return FreshMission(a) ? QString() : QStringLiteral("not a new mission");
      return a == b ? QString() : QStringLiteral("an unavailable Start changed something");
    case Kind::kStopThenStart:
      return FreshMission(a) ? QString() : QStringLiteral("not a new mission");
    case Kind::kStop:
      if (rb == Row::kLanded) {
        return a == b ? QString() : QStringLiteral("Stop after touchdown changed something");
      }
      if (ra != Row::kAborted) return QStringLiteral("Stop did not abort");
      if (!SameFlight(a, b)) return QStringLiteral("Stop changed the flight");
      return {};
    case Kind::kIgnite:
      return b.igniteEnabled ? StepProblem(b, a, ra)
                             : (a == b ? QString() : QStringLiteral("a disabled Ignite flew"));
    case Kind::kBar:
      if (!b.barEnabled) {
        return a == b ? QString() : QStringLiteral("a disabled bar moved");
      }
      if (ra != Row::kFlying || a.time != b.time || a.altitude != b.altitude ||
          a.speed != b.speed || a.fuel != b.fuel || a.barMax != b.barMax ||
          a.lblMessage != b.lblMessage)
        return QStringLiteral("moving the bar changed more than the burn");
      return {};
    case Kind::kAbout:
    case Kind::kHelp:
    case Kind::kCloseDialog:
      return a == b ? QString() : QStringLiteral("the command changed the mission");
  }
  return {};
}

// One second of powered flight, from the state before the press.
QString MissionModel::StepProblem(const Snapshot& b, const Snapshot& a, Row ra) {
  const float burn = b.burn;
  const float newSpeed = b.speed - burn + 5;
  const float fuel = b.fuel - burn;
  const float altitude = b.altitude - (newSpeed + b.speed) * 0.5f;
  if (!(altitude > 0)) {
    // Touchdown: the state keeps the start of the crossing second, with its fuel taken.
    if (ra != Row::kLanded) return QStringLiteral("crossing the surface did not land");
    if (a.time != b.time || a.speed != b.speed || a.altitude != b.altitude || a.fuel != fuel)
      return QStringLiteral("the touchdown state is not the crossing second's start");
    return {};
  }
  if (!(fuel > 0)) return QStringLiteral("an empty tank above the surface did not fall freely");
  if (ra != Row::kFlying) return QStringLiteral("a step above the surface left the flight");
  if (a.time != b.time + 1 || a.speed != newSpeed || a.altitude != altitude || a.fuel != fuel)
    return QStringLiteral("the step did not follow the flight model");
  if (fuel < 30 && (a.barMax != fuel || a.barValue != std::min<int>(b.barValue, fuel)))
    return QStringLiteral("the bar was not cut down to the fuel left");
  if (fuel >= 30 && (a.barMax != b.barMax || a.barValue != b.barValue))
    return QStringLiteral("the bar moved with fuel to spare");
  return {};
}

QString MissionModel::ContinuityProblem(const Snapshot& last, Row lastRow, const Snapshot& now,
                                        Row row, long beeps) {
  if (lastRow != Row::kFreeFall) {
    return now == last ? QString() : QStringLiteral("the window changed without an event");
  }
  if (row == Row::kLanded) return {};
  if (row != Row::kFreeFall) return QStringLiteral("the free fall ended without an event");
  // Some whole seconds of free fall have passed: gravity alone, 5 ft/sec more each second.
  const int passes = static_cast<int>(now.time - last.time);
  if (passes < 0) return QStringLiteral("the free fall's time ran backwards");
  float altitude = last.altitude, speed = last.speed;
  for (int i = 0; i < passes; ++i) {
    const float next = speed + 5;
    altitude = altitude - (next + speed) * 0.5f;
    speed = next;
  }
  if (now.altitude != altitude || now.speed != speed || now.fuel != last.fuel ||
      now.burn != last.burn || now.barValue != last.barValue || now.barMax != last.barMax ||
      now.pbFuel != last.pbFuel)
    return QStringLiteral("the free fall did not follow gravity alone");
  if (beeps < passes) return QStringLiteral("a fall second without alarm");
  return {};
}

}  // namespace kelvor::test
