// The event storm: thousands of seeded random commands fired at the real main window through the
// real event loop (mouse clicks and keys on the real controls, posted menu triggers, all driven
// by a chain of zero-time timers), free falls included. After every event the window must stand
// in exactly one row of the mission state table, the flight values must keep their invariants,
// and every change must be one that the event explains; nothing may raise a message box.
// Further storms, each in a process of its own, end by closing the game at some event (in a free
// fall, after a touchdown, ...): the program must end right there, with status 0.
//
// Each storm prints its seed; KELVOR_STORM_SEED replays a storm with another seed and
// KELVOR_STORM_EVENTS changes its length.
#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>

#include "about/help_viewer.h"
#include "shared/message_box.h"
#include "flight/format_number.h"
#include "mainwindow/frm_land.h"
#include "mainwindow/vertical_progress_bar.h"
#include "tests/mission_texts.h"

namespace {

using namespace kelvor::test;

QString Fmt(double value, const char* pattern) {
  return QString::fromStdString(flight::FormatNumber(value, pattern));
}

bool IsWhole(float value) { return std::isfinite(value) && value == std::floor(value); }

// What the pattern "0" prints, as a number: halves away from zero.
float RoundedWhole(float value) { return static_cast<float>(std::round(double{value})); }

// The real window with a fast alarm: its clock advances a quarter second at every reading, so a
// simulated second of free fall passes after four silent beeps instead of a real second.
class StormWindow : public frmLand {
 public:
  double MonotonicSeconds() override { return m_clock += 0.25; }
  void Beep() override { ++m_beeps; }
  long Beeps() const { return m_beeps; }

 private:
  double m_clock = 0;
  long m_beeps = 0;
};

// The rows of the mission state table, with the free fall told apart from the rest of a flight.
enum class Row { kReady, kFlying, kFreeFall, kAborted, kLanded };
constexpr int kRowCount = 5;

const char* RowName(Row row) {
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

  QString Describe() const {
    auto quoted = [](QString text) {
      return QLatin1Char('"') + text.replace(QLatin1String("\r\n"), QLatin1String("|")) +
             QLatin1Char('"');
    };
    return QStringLiteral(
               "vMission=%1 intHalted=%2 time=%3 alt=%4 speed=%5 fuel=%6 burn=%7 | bar %8/%9 %10 "
               "| ignite %11 | new %12 menu %13 | pbAlt=%14 pbFuel=%15 | labels %16 %17 %18 %19 "
               "%20 | console %21 | strMessages %22")
        .arg(vMission ? (*vMission ? "true" : "false") : "none")
        .arg(intHalted)
        .arg(time)
        .arg(altitude)
        .arg(speed)
        .arg(fuel)
        .arg(burn)
        .arg(barValue)
        .arg(barMax)
        .arg(barEnabled ? "on" : "off")
        .arg(igniteEnabled ? "on" : "off")
        .arg(newEnabled ? "on" : "off")
        .arg(startItemEnabled ? "on" : "off")
        .arg(pbAltitude)
        .arg(pbFuel)
        .arg(quoted(lblTime), quoted(lblAlt), quoted(lblSpeed), quoted(lblFuel), quoted(lblBurn),
             quoted(lblMessage), quoted(strMessages));
  }
};

// Whether the flight itself (values, readouts, bars) is the same in both.
bool SameFlight(const Snapshot& a, const Snapshot& b) {
  return a.time == b.time && a.altitude == b.altitude && a.speed == b.speed && a.fuel == b.fuel &&
         a.burn == b.burn && a.lblTime == b.lblTime && a.lblAlt == b.lblAlt &&
         a.lblSpeed == b.lblSpeed && a.lblFuel == b.lblFuel && a.lblBurn == b.lblBurn &&
         a.barValue == b.barValue && a.barMax == b.barMax && a.pbAltitude == b.pbAltitude &&
         a.pbFuel == b.pbFuel;
}

// The state every Start leads to.
bool FreshMission(const Snapshot& s) {
  return s.vMission == std::optional<bool>(false) && s.intHalted == 0 && s.time == 0 &&
         s.altitude == 500 && s.speed == 50 && s.fuel == 120 && s.burn == 0 && s.barValue == 0 &&
         s.barMax == 30 && s.barEnabled && s.igniteEnabled && !s.newEnabled &&
         !s.startItemEnabled && s.lblTime == QLatin1String("0") &&
         s.lblAlt == QLatin1String("500") && s.lblSpeed == QLatin1String("50") &&
         s.lblFuel == QLatin1String("120") && s.lblBurn == QLatin1String("0") &&
         s.pbAltitude == 500 && s.pbFuel == 120 && s.lblMessage.isEmpty();
}

// The landing report: time, landing velocity, fuel and grade.
const QRegularExpression kReport(QStringLiteral(
    "^Touchdown at (\\d+[.,]\\d\\d) seconds\\.\r\nLanding velocity is (-?\\d+[.,]\\d\\d) "
    "ft/sec\\.\r\n(\\d+) units of fuel remaining\\.\r\n\r\n([^\r\n]+)\r\n>$"));

double ReportNumber(QString text) {
  return text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
}

// Which row of the table the snapshot stands in; empty with the reason when none.
std::optional<Row> Classify(const Snapshot& s, QString* why) {
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

// The invariants of the flight values and what the instruments must show of them.
QString InvariantProblem(const Snapshot& s, Row row) {
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

// What the player can do, and how.
enum class Kind { kStart, kStop, kStopThenStart, kIgnite, kBar, kAbout, kHelp, kCloseDialog };

enum class Command {
  kStartButton,
  kStartMenu,
  kStopButton,
  kStopMenu,
  kStopThenStart,
  kIgniteClick,
  kIgniteSpace,
  kBarKey,
  kBarBottom,
  kBarArrow,
  kBarTrough,
  kBarDrag,
  kBarMouseDrag,
  kBarSetValue,
  kAboutKey,
  kAboutButton,
  kAboutMenu,
  kHelpKey,
  kHelpButton,
  kHelpMenu,
  kDive,
  kQuietDive,
};

struct Weighted {
  Command command;
  int weight;
};

// One storm on one window: the chain of ticks, the checks and the tallies.
class Storm : public QObject {
 public:
  Storm(StormWindow& window, std::uint32_t seed, int events, int diveWeight)
      : m_w(window), m_rng(seed), m_seed(seed), m_target(events) {
    m_bar = m_w.findChild<QScrollBar*>(QStringLiteral("hsbBurn"));
    m_ignite = m_w.findChild<QPushButton*>(QStringLiteral("cmdBurn"));
    m_toolbar = m_w.findChild<QToolBar*>(QStringLiteral("Toolbar1"));
    m_start = m_w.findChild<QAction*>(QStringLiteral("mnuGameStart"));
    m_stop = m_w.findChild<QAction*>(QStringLiteral("mnuGameStop"));
    m_about = m_w.findChild<QAction*>(QStringLiteral("mnuHelpAbout"));
    m_help = m_w.findChild<QAction*>(QStringLiteral("mnuHelpTopics"));
    m_exit = m_w.findChild<QAction*>(QStringLiteral("mnuGameExit"));
    for (const char* name : {"lblTime", "lblAlt", "lblSpeed", "lblFuel", "lblBurn", "lblMessage"}) {
      m_labels.push_back(m_w.findChild<QLabel*>(QLatin1String(name)));
    }
    m_pbAltitude = m_w.findChild<kelvor::VerticalProgressBar*>(QStringLiteral("pbAltitude"));
    m_pbFuel = m_w.findChild<kelvor::VerticalProgressBar*>(QStringLiteral("pbFuel"));
    m_table = {
        {Command::kStartButton, 8},
        {Command::kStartMenu, 4},
        {Command::kStopButton, 4},
        {Command::kStopMenu, 2},
        {Command::kStopThenStart, 2},
        {Command::kIgniteClick, 20},
        {Command::kIgniteSpace, 10},
        {Command::kBarKey, 10},
        {Command::kBarArrow, 6},
        {Command::kBarTrough, 4},
        {Command::kBarDrag, 3},
        {Command::kBarMouseDrag, 4},
        {Command::kBarSetValue, 4},
        {Command::kAboutKey, 2},
        {Command::kAboutButton, 2},
        {Command::kAboutMenu, 2},
        {Command::kHelpKey, 2},
        {Command::kHelpButton, 2},
        {Command::kHelpMenu, 2},
        {Command::kDive, diveWeight},
        {Command::kQuietDive, diveWeight},
    };
    kelvor::SetMessageBoxHook(
        [this](const QString& text, int, const QString&) { m_boxes << text; });
  }

  ~Storm() override { kelvor::SetMessageBoxHook({}); }

  // Runs the storm to its end: every event fired, any dialog closed, any fall played out.
  void Blow() {
    m_clock.start();
    m_last = Take();
    QString why;
    const std::optional<Row> row = Classify(m_last, &why);
    if (!row) return Fail(why, m_last);
    m_lastRow = *row;
    Tally(*row);
    QTimer::singleShot(0, this, &Storm::Tick);
    m_loop.exec();
    const Snapshot end = Observe(QStringLiteral("end of the storm"));
    if (m_failure.isEmpty() && m_lastRow == Row::kFreeFall)
      Fail(QStringLiteral("still falling"), end);
  }

  // Ends the storm by closing the main window, at the first event from `at` on that finds the
  // window in `row` (in any row without one). The close must end the program right there.
  void CloseAt(int at, std::optional<Row> row) {
    m_closeAt = at;
    m_closeRow = row;
  }

  const QString& Failure() const { return m_failure; }
  int Events() const { return m_events; }
  int RowsSeen(Row row) const { return m_rowsSeen[static_cast<int>(row)]; }
  int FallEvents() const { return m_fallEvents; }
  int FallLandings() const { return m_fallLandings; }
  int FallAborts() const { return m_fallAborts; }
  int FallRestarts() const { return m_fallRestarts; }
  int HelpCommands() const { return m_helpCommands; }
  int AboutCommands() const { return m_aboutCommands; }
  int DialogsClosed() const { return m_dialogsClosed; }

 private:
  Snapshot Take() const {
    const flight::FlightState& st = m_w.State();
    Snapshot s;
    s.vMission = st.vMission;
    s.intHalted = st.intHalted;
    s.time = st.sngTime;
    s.altitude = st.sngAltitude;
    s.speed = st.sngSpeed;
    s.fuel = st.sngFuel;
    s.burn = st.sngBurn;
    s.strMessages = QString::fromStdString(st.strMessages);
    s.lblTime = m_labels[0]->text();
    s.lblAlt = m_labels[1]->text();
    s.lblSpeed = m_labels[2]->text();
    s.lblFuel = m_labels[3]->text();
    s.lblBurn = m_labels[4]->text();
    s.lblMessage = m_labels[5]->text();
    s.barEnabled = m_bar->isEnabled();
    s.igniteEnabled = m_ignite->isEnabled();
    s.newEnabled = m_w.ToolbarButton(QStringLiteral("new"))->isEnabled();
    s.startItemEnabled = m_start->isEnabled();
    s.barValue = m_bar->value();
    s.barMax = m_bar->maximum();
    s.pbAltitude = m_pbAltitude->Value();
    s.pbFuel = m_pbFuel->Value();
    return s;
  }

  void Fail(const QString& problem, const Snapshot& now, const Snapshot* before = nullptr) {
    if (!m_failure.isEmpty()) return;
    QString text = QStringLiteral("event %1 of the storm with seed %2: %3\n  now:    %4\n")
                       .arg(m_events)
                       .arg(m_seed)
                       .arg(problem, now.Describe());
    if (before) text += QStringLiteral("  before: %1\n").arg(before->Describe());
    text += QStringLiteral("  last events:\n");
    for (const QString& line : m_trail) text += QStringLiteral("    ") + line + QLatin1Char('\n');
    m_failure = text;
  }

  void Tally(Row row) { ++m_rowsSeen[static_cast<int>(row)]; }

  // Checks the window as it is now against the table and against the last thing seen: what
  // changed since must be what the free fall does on its own, or nothing.
  Snapshot Observe(const QString& when) {
    const Snapshot now = Take();
    QString why;
    const std::optional<Row> row = Classify(now, &why);
    if (!row) {
      Fail(when + QStringLiteral(": ") + why, now);
      return now;
    }
    const QString invariant = InvariantProblem(now, *row);
    if (!invariant.isEmpty()) Fail(when + QStringLiteral(": ") + invariant, now);
    // The first event inside another one sees what that one has done so far: nothing, or the
    // step that emptied the tank and started the fall whose yield this is.
    const QString drift =
        m_insideAction ? ((now == m_last || (*row == Row::kFreeFall && m_lastRow == Row::kFlying))
                              ? QString()
                              : QStringLiteral("an event began inside one that changed the window"))
                       : ContinuityProblem(now, *row);
    if (!drift.isEmpty()) Fail(when + QStringLiteral(": ") + drift, now, &m_last);
    m_insideAction = false;
    m_last = now;
    m_lastRow = *row;
    m_beepsAtLast = m_w.Beeps();
    Tally(*row);
    return now;
  }

  QString ContinuityProblem(const Snapshot& now, Row row) {
    if (m_lastRow != Row::kFreeFall) {
      return now == m_last ? QString() : QStringLiteral("the window changed without an event");
    }
    if (row == Row::kLanded) {
      ++m_fallLandings;
      m_quiet = false;
      return {};
    }
    if (row != Row::kFreeFall) return QStringLiteral("the free fall ended without an event");
    // Some whole seconds of free fall have passed: gravity alone, 5 ft/sec more each second.
    const int passes = static_cast<int>(now.time - m_last.time);
    if (passes < 0) return QStringLiteral("the free fall's time ran backwards");
    float altitude = m_last.altitude, speed = m_last.speed;
    for (int i = 0; i < passes; ++i) {
      const float next = speed + 5;
      altitude = altitude - (next + speed) * 0.5f;
      speed = next;
    }
    if (now.altitude != altitude || now.speed != speed || now.fuel != m_last.fuel ||
        now.burn != m_last.burn || now.barValue != m_last.barValue || now.barMax != m_last.barMax ||
        now.pbFuel != m_last.pbFuel)
      return QStringLiteral("the free fall did not follow gravity alone");
    if (m_w.Beeps() - m_beepsAtLast < passes) return QStringLiteral("a fall second without alarm");
    return {};
  }

  // One event: the window is checked before it, the action runs (other events may run inside
  // it, in a free fall's yields or a modal dialog's loop), and the window is checked after it.
  void Run(Kind kind, const QString& name, const std::function<void()>& act) {
    if (!m_failure.isEmpty()) return;
    const Snapshot before = Observe(name + QStringLiteral(", before"));
    if (!m_failure.isEmpty()) return;
    const Row rowBefore = m_lastRow;
    if (rowBefore == Row::kFreeFall) ++m_fallEvents;
    const int mark = ++m_events;
    m_trail.push_back(QStringLiteral("#%1 [%2] %3").arg(mark).arg(RowName(rowBefore), name));
    if (m_trail.size() > 24) m_trail.pop_front();
    const qsizetype boxes = m_boxes.size();

    m_insideAction = true;
    act();
    m_insideAction = false;
    if (!m_failure.isEmpty()) return;

    const bool nested = m_events != mark;
    const Snapshot after = Take();
    QString why;
    const std::optional<Row> row = Classify(after, &why);
    if (!row) return Fail(name + QStringLiteral(": ") + why, after, &before);
    QString problem = InvariantProblem(after, *row);
    if (problem.isEmpty() && m_boxes.size() != boxes) {
      problem = QStringLiteral("a message box appeared: ") + m_boxes.last();
    }
    if (problem.isEmpty()) {
      problem = nested ? ContinuityProblem(after, *row)
                       : TransitionProblem(kind, before, rowBefore, after, *row);
    }
    if (problem.isEmpty() && kind == Kind::kAbout && QApplication::activeModalWidget()) {
      problem = QStringLiteral("the About command returned with a dialog still open");
    }
    if (problem.isEmpty() && kind == Kind::kIgnite && *row == Row::kFreeFall && nested) {
      problem = QStringLiteral("Ignite returned in the middle of a free fall");
    }
    if (!problem.isEmpty()) return Fail(name + QStringLiteral(": ") + problem, after, &before);
    m_last = after;
    m_lastRow = *row;
    m_beepsAtLast = m_w.Beeps();
    Tally(*row);
  }

  // What one event that ran no other event inside it may change.
  QString TransitionProblem(Kind kind, const Snapshot& b, Row rb, const Snapshot& a, Row ra) {
    switch (kind) {
      case Kind::kStart:
        if (b.newEnabled) return FreshMission(a) ? QString() : QStringLiteral("not a new mission");
        return a == b ? QString() : QStringLiteral("an unavailable Start changed something");
      case Kind::kStopThenStart:
        if (rb == Row::kFreeFall) ++m_fallRestarts;
        return FreshMission(a) ? QString() : QStringLiteral("not a new mission");
      case Kind::kStop:
        if (rb == Row::kFreeFall) ++m_fallAborts;
        if (rb == Row::kLanded) {
          return a == b ? QString() : QStringLiteral("Stop after touchdown changed something");
        }
        if (ra != Row::kAborted) return QStringLiteral("Stop did not abort");
        if (!SameFlight(a, b)) return QStringLiteral("Stop changed the flight");
        if (rb == Row::kFreeFall) m_quiet = false;
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
  QString StepProblem(const Snapshot& b, const Snapshot& a, Row ra) {
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

  bool Finished() const {
    return !m_failure.isEmpty() || m_events >= m_target || m_clock.elapsed() > kTimeLimitMs;
  }

  void Tick() {
    if (m_clock.elapsed() > kTimeLimitMs) {
      Fail(QStringLiteral("the storm took too long"), Take());
    }
    if (Finished()) return WindDown();
    // The next event is due before this one runs, so that it can arrive inside this one: in a
    // free fall's yield or in a modal dialog's loop.
    QTimer::singleShot(0, this, &Storm::Tick);
    if (QWidget* dialog = QApplication::activeModalWidget()) return CloseDialog(dialog);
    if (m_closeAt >= 0 && m_events >= m_closeAt && (!m_closeRow || m_lastRow == *m_closeRow)) {
      return CloseWindow();
    }
    if (!m_script.empty()) {
      const Command command = m_script.front();
      m_script.pop_front();
      return Fire(command);
    }
    Fire(Draw());
  }

  void WindDown() {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      dialog->close();
      QTimer::singleShot(0, this, &Storm::Tick);
      return;
    }
    if (m_pending > 0) {
      QTimer::singleShot(0, this, &Storm::Tick);
      return;
    }
    m_loop.quit();  // a fall still under way plays out to its touchdown first
  }

  std::uint32_t Random(std::uint32_t bound) { return m_rng() % bound; }

  // The row the window stands in right now (the last one seen when it stands in none; the next
  // check reports that).
  Row Current() const {
    QString why;
    return Classify(Take(), &why).value_or(m_lastRow);
  }

  Command Draw() {
    const bool falling = Current() == Row::kFreeFall;
    if (m_quiet && !falling && m_script.empty()) m_quiet = false;
    // A quiet fall is left alone by Stop, so that it plays out to its touchdown.
    const bool quiet = m_quiet && falling;
    auto allowed = [quiet](Command c) {
      return !quiet ||
             (c != Command::kStopButton && c != Command::kStopMenu &&
              c != Command::kStopThenStart && c != Command::kDive && c != Command::kQuietDive);
    };
    int total = 0;
    for (const Weighted& entry : m_table) total += allowed(entry.command) ? entry.weight : 0;
    int pick = static_cast<int>(Random(static_cast<std::uint32_t>(total)));
    for (const Weighted& entry : m_table) {
      if (!allowed(entry.command)) continue;
      if (pick < entry.weight) return entry.command;
      pick -= entry.weight;
    }
    return Command::kIgniteClick;
  }

  QWidget* Button(const char* key) const {
    return m_toolbar->widgetForAction(m_w.ToolbarButton(QLatin1String(key)));
  }

  void Click(QWidget* widget, QPoint at = QPoint()) {
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
  }

  // A shortcut of the main window; it reaches the window only while the window is active.
  void Shortcut(Qt::Key key) {
    if (QApplication::activeWindow() != &m_w) QApplication::setActiveWindow(&m_w);
    QTest::keyClick(&m_w, key);
  }

  // A menu item chosen through the event queue: it runs when the loop next takes events, as
  // a menu click does, and waits while a modal dialog keeps the main window from input.
  void Post(Kind kind, const QString& name, QAction* action) {
    ++m_pending;
    QTimer::singleShot(0, this, [this, kind, name, action] { Deliver(kind, name, action); });
  }

  void Deliver(Kind kind, const QString& name, QAction* action) {
    if (QApplication::activeModalWidget()) {
      QTimer::singleShot(0, this, [this, kind, name, action] { Deliver(kind, name, action); });
      return;
    }
    --m_pending;
    if (kind == Kind::kHelp) ++m_helpCommands;
    if (kind == Kind::kAbout) ++m_aboutCommands;
    Run(kind, name, [action] { action->trigger(); });
  }

  QRect BarPart(QStyle::SubControl part) const {
    QStyleOptionSlider option;
    option.initFrom(m_bar);
    option.orientation = Qt::Vertical;
    option.minimum = m_bar->minimum();
    option.maximum = m_bar->maximum();
    option.sliderPosition = option.sliderValue = m_bar->value();
    option.singleStep = m_bar->singleStep();
    option.pageStep = m_bar->pageStep();
    return m_bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, m_bar);
  }

  void Fire(Command command) {
    switch (command) {
      case Command::kStartButton:
        return Run(Kind::kStart, QStringLiteral("Start (toolbar)"),
                   [this] { Click(Button("new")); });
      case Command::kStartMenu:
        return Post(Kind::kStart, QStringLiteral("Start (menu)"), m_start);
      case Command::kStopButton:
        return Run(Kind::kStop, QStringLiteral("Stop (toolbar)"),
                   [this] { Click(Button("stop")); });
      case Command::kStopMenu:
        return Post(Kind::kStop, QStringLiteral("Stop (menu)"), m_stop);
      case Command::kStopThenStart:
        return Run(Kind::kStopThenStart, QStringLiteral("Stop and Start at once"), [this] {
          Click(Button("stop"));
          Click(Button("new"));
        });
      case Command::kIgniteClick:
        return Run(Kind::kIgnite, QStringLiteral("Ignite (click)"), [this] { Click(m_ignite); });
      case Command::kIgniteSpace:
        return Run(Kind::kIgnite, QStringLiteral("Ignite (space)"),
                   [this] { QTest::keyClick(m_ignite, Qt::Key_Space); });
      case Command::kBarKey: {
        static constexpr std::array<Qt::Key, 6> kKeys = {
            Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
        const Qt::Key key = kKeys[Random(kKeys.size())];
        return Run(Kind::kBar, QStringLiteral("bar key %1").arg(QKeySequence(key).toString()),
                   [this, key] { QTest::keyClick(m_bar, key); });
      }
      case Command::kBarBottom:
        return Run(Kind::kBar, QStringLiteral("bar key End"),
                   [this] { QTest::keyClick(m_bar, Qt::Key_End); });
      case Command::kBarArrow: {
        const bool down = Random(2) == 0;
        const QPoint at =
            BarPart(down ? QStyle::SC_ScrollBarAddLine : QStyle::SC_ScrollBarSubLine).center();
        return Run(Kind::kBar,
                   down ? QStringLiteral("bar arrow down") : QStringLiteral("bar arrow up"),
                   [this, at] { Click(m_bar, at); });
      }
      case Command::kBarTrough: {
        const QRect groove = BarPart(QStyle::SC_ScrollBarGroove);
        const QPoint at(groove.center().x(),
                        groove.top() + static_cast<int>(Random(std::max(1, groove.height()))));
        return Run(Kind::kBar, QStringLiteral("bar trough at %1").arg(at.y()),
                   [this, at] { Click(m_bar, at); });
      }
      case Command::kBarDrag: {
        const int to = static_cast<int>(Random(static_cast<std::uint32_t>(m_bar->maximum() + 1)));
        return Run(Kind::kBar, QStringLiteral("bar dragged to %1").arg(to), [this, to] {
          if (!m_bar->isEnabled()) return;  // a disabled bar cannot be taken hold of
          m_bar->setSliderDown(true);
          m_bar->setSliderPosition(to);
          m_bar->setSliderDown(false);
        });
      }
      case Command::kBarMouseDrag: {
        // The thumb taken with the mouse and pulled to a point of the groove: the bar reports
        // each move as a scroll and the new value on release.
        const QRect groove = BarPart(QStyle::SC_ScrollBarGroove);
        const QPoint from = BarPart(QStyle::SC_ScrollBarSlider).center();
        const QPoint to(from.x(),
                        groove.top() + static_cast<int>(Random(std::max(1, groove.height()))));
        return Run(Kind::kBar, QStringLiteral("thumb pulled to %1").arg(to.y()), [this, from, to] {
          QTest::mousePress(m_bar, Qt::LeftButton, Qt::NoModifier, from);
          QTest::mouseMove(m_bar, QPoint(to.x(), (from.y() + to.y()) / 2));
          QTest::mouseMove(m_bar, to);
          QTest::mouseRelease(m_bar, Qt::LeftButton, Qt::NoModifier, to);
        });
      }
      case Command::kBarSetValue: {
        const int to = static_cast<int>(Random(static_cast<std::uint32_t>(m_bar->maximum() + 1)));
        return Run(Kind::kBar, QStringLiteral("bar set to %1").arg(to), [this, to] {
          if (m_bar->isEnabled()) m_bar->setValue(to);
        });
      }
      case Command::kAboutKey:
        ++m_aboutCommands;
        return Run(Kind::kAbout, QStringLiteral("About (F2)"), [this] { Shortcut(Qt::Key_F2); });
      case Command::kAboutButton:
        ++m_aboutCommands;
        return Run(Kind::kAbout, QStringLiteral("About (toolbar)"),
                   [this] { Click(Button("about")); });
      case Command::kAboutMenu:
        return Post(Kind::kAbout, QStringLiteral("About (menu)"), m_about);
      case Command::kHelpKey:
        ++m_helpCommands;
        return Run(Kind::kHelp, QStringLiteral("Help (F1)"), [this] { Shortcut(Qt::Key_F1); });
      case Command::kHelpButton:
        ++m_helpCommands;
        return Run(Kind::kHelp, QStringLiteral("Help (toolbar)"),
                   [this] { Click(Button("help")); });
      case Command::kHelpMenu:
        return Post(Kind::kHelp, QStringLiteral("Help (menu)"), m_help);
      case Command::kDive:
      case Command::kQuietDive:
        // Start afresh and burn 30 four times: the tank runs dry at 500 ft climbing at 50
        // ft/sec, and the fall that follows takes the next events in its yields.
        m_quiet = command == Command::kQuietDive;
        m_script = {Command::kStartButton, Command::kBarBottom,   Command::kIgniteClick,
                    Command::kIgniteClick, Command::kIgniteClick, Command::kIgniteClick};
        return Fire(Command::kStopButton);
    }
  }

  void CloseDialog(QWidget* dialog) {
    const char* className = dialog->metaObject()->className();
    if (!dialog->inherits("frmKVAbout")) {
      return Fail(QStringLiteral("an unexpected modal window: %1").arg(QLatin1String(className)),
                  Take());
    }
    ++m_dialogsClosed;
    const std::uint32_t how = Random(4);
    static const char* const kHow[] = {"Esc", "Enter", "OK", "the close button"};
    Run(Kind::kCloseDialog, QStringLiteral("About closed by %1").arg(QLatin1String(kHow[how])),
        [this, dialog, how] {
          switch (how) {
            case 0:
              QTest::keyClick(dialog, Qt::Key_Escape);
              break;
            case 1:
              QTest::keyClick(dialog, Qt::Key_Return);
              break;
            case 2:
              if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))) {
                Click(ok);
                break;
              }
              [[fallthrough]];
            default:
              dialog->close();
          }
          if (dialog->isVisible()) Fail(QStringLiteral("the About dialog did not close"), Take());
        });
  }

  // The ways a player ends the game; each must end the program at once, with status 0. What
  // the storm prints last tells the test where it ended.
  void CloseWindow() {
    static const char* const kHow[] = {"the window's close", "Ctrl+Q", "Game > Exit"};
    const std::uint32_t how = Random(3);
    std::printf("closing at event %d, %s, by %s\n", m_events, RowName(m_lastRow), kHow[how]);
    std::fflush(stdout);
    switch (how) {
      case 0:
        m_w.close();
        break;
      case 1:
        // The keys go to the window the player is in. The offscreen platform leaves no window
        // active after a dialog closes, where a desktop gives the activation back.
        QApplication::setActiveWindow(&m_w);
        QTest::keyClick(&m_w, Qt::Key_Q, Qt::ControlModifier);
        break;
      default:
        m_exit->trigger();
    }
    Fail(QStringLiteral("the program went on after %1").arg(QLatin1String(kHow[how])), Take());
  }

  static constexpr qint64 kTimeLimitMs = 200000;

  StormWindow& m_w;
  std::mt19937 m_rng;
  std::uint32_t m_seed;
  int m_target;
  std::vector<Weighted> m_table;

  QScrollBar* m_bar = nullptr;
  QPushButton* m_ignite = nullptr;
  QToolBar* m_toolbar = nullptr;
  QAction* m_start = nullptr;
  QAction* m_stop = nullptr;
  QAction* m_about = nullptr;
  QAction* m_help = nullptr;
  QAction* m_exit = nullptr;
  std::vector<QLabel*> m_labels;
  kelvor::VerticalProgressBar* m_pbAltitude = nullptr;
  kelvor::VerticalProgressBar* m_pbFuel = nullptr;

  QEventLoop m_loop;
  QElapsedTimer m_clock;
  std::deque<Command> m_script;
  std::deque<QString> m_trail;
  QStringList m_boxes;
  QString m_failure;
  Snapshot m_last;
  Row m_lastRow = Row::kReady;
  long m_beepsAtLast = 0;
  bool m_quiet = false;
  bool m_insideAction = false;
  int m_pending = 0;
  int m_events = 0;
  std::array<int, kRowCount> m_rowsSeen{};
  int m_fallEvents = 0;
  int m_fallLandings = 0;
  int m_fallAborts = 0;
  int m_fallRestarts = 0;
  int m_helpCommands = 0;
  int m_aboutCommands = 0;
  int m_dialogsClosed = 0;
  int m_closeAt = -1;  // no close
  std::optional<Row> m_closeRow;
};

// Clicks and keys on disabled controls are part of the storm; QTest's note that such an event was
// not taken would only bury the output.
QtMessageHandler g_previousHandler = nullptr;

void QuietAboutRefusedInput(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
  if (type == QtWarningMsg && message.endsWith(QLatin1String("not accepted by receiving widget")))
    return;
  g_previousHandler(type, context, message);
}

std::optional<std::uint32_t> SeedFromEnvironment() {
  bool ok = false;
  const uint seed = qEnvironmentVariable("KELVOR_STORM_SEED").toUInt(&ok);
  if (!ok) return std::nullopt;
  return seed;
}

// A storm that ends in a close, in a process of its own: KELVOR_STORM_CLOSE is
// "<seed>:<first event>:<row or any>:<dive weight>". Returns only when the close did not end
// the program.
int RunClosingStorm(const QString& setting) {
  const QStringList field = setting.split(QLatin1Char(':'));
  if (field.size() != 4) return 2;
  std::optional<Row> row;
  for (Row candidate : {Row::kReady, Row::kFlying, Row::kFreeFall, Row::kAborted, Row::kLanded}) {
    if (field[2] == QLatin1String(RowName(candidate))) row = candidate;
  }
  g_previousHandler = qInstallMessageHandler(QuietAboutRefusedInput);
  StormWindow window;
  window.show();
  if (!QTest::qWaitForWindowActive(&window)) return 3;
  // Long enough that the storm can only end by the close or by breaking a rule.
  Storm storm(window, field[0].toUInt(), 1000000, field[3].toInt());
  storm.CloseAt(field[1].toInt(), row);
  storm.Blow();
  std::printf("still running: %s\n", qPrintable(storm.Failure()));
  return 1;
}

}  // namespace

class EventStormTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;

  QString HelpLog() const { return m_dir.filePath(QStringLiteral("help-requests.txt")); }

  // How many contents requests the stand-in viewer has been sent.
  int HelpRequests() const {
    QFile log(HelpLog());
    if (!log.open(QIODevice::ReadOnly)) return 0;
    int requests = 0;
    for (const QByteArray& line : log.readAll().split('\n')) {
      requests += line.startsWith("show contents") ? 1 : 0;
    }
    return requests;
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    // Help goes to the stand-in, never to a real viewer.
    QCOMPARE(kelvor::HelpViewer::DefaultProgram(), QStringLiteral(KELVOR_TEST_VIEWER));
    qputenv("KELVOR_TEST_HELP_LOG", QFile::encodeName(HelpLog()));
    g_previousHandler = qInstallMessageHandler(QuietAboutRefusedInput);
  }

  void cleanupTestCase() {
    qInstallMessageHandler(g_previousHandler);
    kelvor::HelpViewer::Instance().Close();
  }

  void stormKeepsTheWindowInTheStateTable_data() {
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("diveWeight");
    QTest::newRow("mixed commands") << 20261206u << 5000 << 1;
    QTest::newRow("mostly free falls") << 7110500u << 3000 << 12;
  }

  void stormKeepsTheWindowInTheStateTable() {
    QFETCH(uint, seed);
    QFETCH(int, events);
    QFETCH(int, diveWeight);
    seed = SeedFromEnvironment().value_or(seed);
    bool ok = false;
    const int wanted = qEnvironmentVariableIntValue("KELVOR_STORM_EVENTS", &ok);
    if (ok && wanted > 0) events = wanted;
    qInfo("storm seed %u, %d events (KELVOR_STORM_SEED=%u replays it)", seed, events, seed);

    const int helpBefore = HelpRequests();
    StormWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    Storm storm(window, seed, events, diveWeight);
    storm.Blow();
    // The report is long (both states and the events before): printed whole, not cut short.
    if (!storm.Failure().isEmpty()) qWarning().noquote() << storm.Failure();
    QVERIFY2(storm.Failure().isEmpty(), "the storm broke the window's rules, see above");

    qInfo(
        "%d events; rows seen: Ready %d, Flying %d, Free fall %d, Aborted %d, Landed %d; "
        "in free falls %d events, %d landings, %d aborts, %d restarts; "
        "Help %d, About %d (%d dialogs closed)",
        storm.Events(), storm.RowsSeen(Row::kReady), storm.RowsSeen(Row::kFlying),
        storm.RowsSeen(Row::kFreeFall), storm.RowsSeen(Row::kAborted), storm.RowsSeen(Row::kLanded),
        storm.FallEvents(), storm.FallLandings(), storm.FallAborts(), storm.FallRestarts(),
        storm.HelpCommands(), storm.AboutCommands(), storm.DialogsClosed());

    // The storm reached what it is meant to shake: every row, and falls ended every way.
    for (Row row : {Row::kReady, Row::kFlying, Row::kFreeFall, Row::kAborted, Row::kLanded}) {
      QVERIFY2(storm.RowsSeen(row) > 0, RowName(row));
    }
    QVERIFY(storm.FallEvents() >= 50);
    QVERIFY(storm.FallLandings() > 0);
    QVERIFY(storm.FallAborts() > 0);
    QVERIFY(storm.FallRestarts() > 0);

    // Every Help command reached the viewer once, whichever way it was given.
    QTRY_COMPARE_WITH_TIMEOUT(HelpRequests() - helpBefore, storm.HelpCommands(), 10000);
    // The About command either opens its dialog every time or, until it is wired to one, never.
    if (storm.DialogsClosed() == 0) {
      qWarning("no About command opened a dialog");
    } else {
      QCOMPARE(storm.DialogsClosed(), storm.AboutCommands());
    }
    // A closed About dialog is gone, not hidden.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget* top : QApplication::topLevelWidgets()) {
      QVERIFY2(!top->inherits("frmKVAbout"), "an About dialog outlived its closing");
    }
  }

  // Closing the game in the middle of a storm: each storm in a process of its own, closed at the
  // first event from the given one on that finds the window in the given row, by the window's
  // close, Ctrl+Q or Game > Exit as the seed picks.
  void stormEndsWithAClose_data() {
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("diveWeight");
    QTest::newRow("before any other event") << 11u << 0 << "any" << 1;
    QTest::newRow("in the middle of a storm") << 12u << 400 << "any" << 1;
    QTest::newRow("flying") << 13u << 150 << "Flying" << 1;
    QTest::newRow("in a free fall") << 14u << 150 << "Free fall" << 12;
    QTest::newRow("in another free fall") << 15u << 300 << "Free fall" << 12;
    QTest::newRow("in a third free fall") << 20u << 450 << "Free fall" << 12;
    QTest::newRow("after touchdown") << 17u << 200 << "Landed" << 4;
    QTest::newRow("after an abort") << 18u << 200 << "Aborted" << 1;
  }

  void stormEndsWithAClose() {
    QFETCH(uint, seed);
    QFETCH(int, at);
    QFETCH(QString, row);
    QFETCH(int, diveWeight);
    QProcess storm;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KELVOR_STORM_CLOSE"),
               QStringLiteral("%1:%2:%3:%4").arg(seed).arg(at).arg(row).arg(diveWeight));
    storm.setProcessEnvironment(env);
    storm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    storm.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY2(storm.waitForFinished(120000), "the storm did not end");
    const QStringList lines = QString::fromLocal8Bit(storm.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    qInfo("%s", qPrintable(lines.last()));
    // It ended at the close, with nothing after it, and cleanly.
    QVERIFY2(lines.last().startsWith(QLatin1String("closing at event ")), qPrintable(lines.last()));
    if (row != QLatin1String("any")) {
      QVERIFY(lines.last().contains(QStringLiteral(", %1, by ").arg(row)));
    }
    QCOMPARE(storm.exitStatus(), QProcess::NormalExit);
    QCOMPARE(storm.exitCode(), 0);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  const QString closing = qEnvironmentVariable("KELVOR_STORM_CLOSE");
  if (!closing.isEmpty()) return RunClosingStorm(closing);
  EventStormTest test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}
#include "test_event_storm.moc"
