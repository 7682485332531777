#include "storm_driver.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cstdio>

#include "mainwindow/frm_land.h"
#include "mainwindow/vertical_progress_bar.h"
#include "storm_services.h"

namespace kelvor::test {

StormDriver::StormDriver(kelvor::frmLand& window, StormServices& services, std::uint32_t seed,
                         int events, int diveWeight)
    : m_w(window), m_services(services), m_rng(seed), m_seed(seed), m_target(events) {
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
      {Command::kStartButton, 8},  {Command::kStartMenu, 4},     {Command::kStopButton, 4},
      {Command::kStopMenu, 2},     {Command::kStopThenStart, 2}, {Command::kIgniteClick, 20},
      {Command::kIgniteSpace, 10}, {Command::kBarKey, 10},       {Command::kBarArrow, 6},
      {Command::kBarTrough, 4},    {Command::kBarDrag, 3},       {Command::kBarMouseDrag, 4},
      {Command::kBarSetValue, 4},  {Command::kAboutKey, 2},      {Command::kAboutButton, 2},
      {Command::kAboutMenu, 2},    {Command::kHelpKey, 2},       {Command::kHelpButton, 2},
      {Command::kHelpMenu, 2},     {Command::kDive, diveWeight}, {Command::kQuietDive, diveWeight},
  };
}

void StormDriver::Blow() {
  m_clock.start();
  m_last = Take();
  QString why;
  const std::optional<Row> row = MissionModel::Classify(m_last, &why);
  if (!row) return Fail(why, m_last);
  m_lastRow = *row;
  Tally(*row);
  QTimer::singleShot(0, this, &StormDriver::Tick);
  m_loop.exec();
  const Snapshot end = Observe(QStringLiteral("end of the storm"));
  if (m_failure.isEmpty() && m_lastRow == Row::kFreeFall)
    Fail(QStringLiteral("still falling"), end);
}

void StormDriver::CloseAt(int at, std::optional<Row> row) {
  m_closeAt = at;
  m_closeRow = row;
}

Snapshot StormDriver::Take() const {
  const kelvor::flight::FlightState& st = m_w.State();
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

void StormDriver::Fail(const QString& problem, const Snapshot& now, const Snapshot* before) {
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

// Checks the window as it is now against the table and against the last thing seen: what
// changed since must be what the free fall does on its own, or nothing.
Snapshot StormDriver::Observe(const QString& when) {
  const Snapshot now = Take();
  QString why;
  const std::optional<Row> row = MissionModel::Classify(now, &why);
  if (!row) {
    Fail(when + QStringLiteral(": ") + why, now);
    return now;
  }
  const QString invariant = MissionModel::InvariantProblem(now, *row);
  if (!invariant.isEmpty()) Fail(when + QStringLiteral(": ") + invariant, now);
  // The first event inside another one sees what that one has done so far: nothing, or the
  // step that emptied the tank and started the fall whose yield this is.
  const QString drift =
      m_insideAction ? ((now == m_last || (*row == Row::kFreeFall && m_lastRow == Row::kFlying))
                            ? QString()
                            : QStringLiteral("an event began inside one that changed the window"))
                     : Continuity(now, *row);
  if (!drift.isEmpty()) Fail(when + QStringLiteral(": ") + drift, now, &m_last);
  m_insideAction = false;
  m_last = now;
  m_lastRow = *row;
  m_beepsAtLast = m_services.Beeps();
  Tally(*row);
  return now;
}

QString StormDriver::Continuity(const Snapshot& now, Row row) {
  if (m_lastRow == Row::kFreeFall && row == Row::kLanded) {
    ++m_fallLandings;
    m_quiet = false;
  }
  return MissionModel::ContinuityProblem(m_last, m_lastRow, now, row,
                                         m_services.Beeps() - m_beepsAtLast);
}

// One event: the window is checked before it, the action runs (other events may run inside
// it, in a free fall's yields or a modal dialog's loop), and the window is checked after it.
void StormDriver::Run(Kind kind, const QString& name, const std::function<void()>& act) {
  if (!m_failure.isEmpty()) return;
  const Snapshot before = Observe(name + QStringLiteral(", before"));
  if (!m_failure.isEmpty()) return;
  const Row rowBefore = m_lastRow;
  if (rowBefore == Row::kFreeFall) ++m_fallEvents;
  const int mark = ++m_events;
  m_trail.push_back(
      QStringLiteral("#%1 [%2] %3").arg(mark).arg(MissionModel::RowName(rowBefore), name));
  if (m_trail.size() > 24) m_trail.pop_front();
  const qsizetype boxes = m_services.messages.size();

  m_insideAction = true;
  act();
  m_insideAction = false;
  if (!m_failure.isEmpty()) return;

  const bool nested = m_events != mark;
  const Snapshot after = Take();
  QString why;
  const std::optional<Row> row = MissionModel::Classify(after, &why);
  if (!row) return Fail(name + QStringLiteral(": ") + why, after, &before);
  QString problem = MissionModel::InvariantProblem(after, *row);
  if (problem.isEmpty() && m_services.messages.size() != boxes) {
    problem = QStringLiteral("a message box appeared: ") + m_services.messages.last().text;
  }
  if (problem.isEmpty()) {
    problem = nested ? Continuity(after, *row) : Transition(kind, before, rowBefore, after, *row);
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
  m_beepsAtLast = m_services.Beeps();
  Tally(*row);
}

// The model's verdict on one event, with the tallies of falls it ended.
QString StormDriver::Transition(Kind kind, const Snapshot& b, Row rb, const Snapshot& a, Row ra) {
  if (rb == Row::kFreeFall && kind == Kind::kStopThenStart) ++m_fallRestarts;
  if (rb == Row::kFreeFall && kind == Kind::kStop) ++m_fallAborts;
  const QString problem = MissionModel::TransitionProblem(kind, b, rb, a, ra);
  if (problem.isEmpty() && rb == Row::kFreeFall && kind == Kind::kStop) m_quiet = false;
  return problem;
}

bool StormDriver::Finished() const {
  return !m_failure.isEmpty() || m_events >= m_target || m_clock.elapsed() > kTimeLimitMs;
}

void StormDriver::Tick() {
  if (m_clock.elapsed() > kTimeLimitMs) {
    Fail(QStringLiteral("the storm took too long"), Take());
  }
  if (Finished()) return WindDown();
  // The next event is due before this one runs, so that it can arrive inside this one: in a
  // free fall's yield or in a modal dialog's loop.
  QTimer::singleShot(0, this, &StormDriver::Tick);
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

void StormDriver::WindDown() {
  if (QWidget* dialog = QApplication::activeModalWidget()) {
    dialog->close();
    QTimer::singleShot(0, this, &StormDriver::Tick);
    return;
  }
  if (m_pending > 0) {
    QTimer::singleShot(0, this, &StormDriver::Tick);
    return;
  }
  m_loop.quit();  // a fall still under way plays out to its touchdown first
}

// The row the window stands in right now (the last one seen when it stands in none; the next
// check reports that).
Row StormDriver::Current() const {
  QString why;
  return MissionModel::Classify(Take(), &why).value_or(m_lastRow);
}

StormDriver::Command StormDriver::Draw() {
  const bool falling = Current() == Row::kFreeFall;
  if (m_quiet && !falling && m_script.empty()) m_quiet = false;
  // A quiet fall is left alone by Stop, so that it plays out to its touchdown.
  const bool quiet = m_quiet && falling;
  auto allowed = [quiet](Command c) {
    return !quiet ||
           (c != Command::kStopButton && c != Command::kStopMenu && c != Command::kStopThenStart &&
            c != Command::kDive && c != Command::kQuietDive);
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

QWidget* StormDriver::Button(const char* key) const {
  return m_toolbar->widgetForAction(m_w.ToolbarButton(QLatin1String(key)));
}

void StormDriver::Click(QWidget* widget, QPoint at) {
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
}

// A shortcut of the main window; it reaches the window only while the window is active.
void StormDriver::Shortcut(Qt::Key key) {
  if (QApplication::activeWindow() != &m_w) QApplication::setActiveWindow(&m_w);
  QTest::keyClick(&m_w, key);
}

// A menu item chosen through the event queue: it runs when the loop next takes events, as
// a menu click does, and waits while a modal dialog keeps the main window from input.
void StormDriver::Post(Kind kind, const QString& name, QAction* action) {
  ++m_pending;
  QTimer::singleShot(0, this, [this, kind, name, action] { Deliver(kind, name, action); });
}

void StormDriver::Deliver(Kind kind, const QString& name, QAction* action) {
  if (QApplication::activeModalWidget()) {
    QTimer::singleShot(0, this, [this, kind, name, action] { Deliver(kind, name, action); });
    return;
  }
  --m_pending;
  if (kind == Kind::kHelp) ++m_helpCommands;
  if (kind == Kind::kAbout) ++m_aboutCommands;
  Run(kind, name, [action] { action->trigger(); });
}

QRect StormDriver::BarPart(QStyle::SubControl part) const {
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

void StormDriver::Fire(Command command) {
  switch (command) {
    case Command::kStartButton:
      return Run(Kind::kStart, QStringLiteral("Start (toolbar)"), [this] { Click(Button("new")); });
    case Command::kStartMenu:
      return Post(Kind::kStart, QStringLiteral("Start (menu)"), m_start);
    case Command::kStopButton:
      return Run(Kind::kStop, QStringLiteral("Stop (toolbar)"), [this] { Click(Button("stop")); });
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
      return Run(Kind::kHelp, QStringLiteral("Help (toolbar)"), [this] { Click(Button("help")); });
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

void StormDriver::CloseDialog(QWidget* dialog) {
  const char* className = dialog->metaObject()->className();
  if (!dialog->inherits("kelvor::frmKVAbout")) {
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
void StormDriver::CloseWindow() {
  static const char* const kHow[] = {"the window's close", "Ctrl+Q", "Game > Exit"};
  const std::uint32_t how = Random(3);
  std::printf("closing at event %d, %s, by %s\n", m_events, MissionModel::RowName(m_lastRow),
              kHow[how]);
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

}  // namespace kelvor::test
