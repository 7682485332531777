#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStyle>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "mission_model.h"
#include "snapshot.h"

class QAction;
class QLabel;
class QPushButton;
class QScrollBar;
class QToolBar;
class QWidget;
class StormServices;
namespace kelvor {
class VerticalProgressBar;
class frmLand;
}  // namespace kelvor

namespace kelvor::test {

// One storm on one window: seeded commands fired through the real event loop on a chain of
// zero-time timers, each event's snapshots judged by the mission model, and the tallies.
class StormDriver : public QObject {
 public:
  // `services` are the ones `window` was made with; the storm reads their alarm count and takes
  // any message box they record as a failure.
  StormDriver(kelvor::frmLand& window, StormServices& services, std::uint32_t seed, int events,
              int diveWeight);

  // Runs the storm to its end: every event fired, any dialog closed, any fall played out.
  void Blow();
  // Ends the storm by closing the main window, at the first event from `at` on that finds the
  // window in `row` (in any row without one). The close must end the program right there.
  void CloseAt(int at, std::optional<Row> row);

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
  // How the player gives each command.
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
    kQuietDive
  };
  struct Weighted {
    Command command;
    int weight;
  };

  Snapshot Take() const;
  void Fail(const QString& problem, const Snapshot& now, const Snapshot* before = nullptr);
  void Tally(Row row) { ++m_rowsSeen[static_cast<int>(row)]; }
  Snapshot Observe(const QString& when);
  QString Continuity(const Snapshot& now, Row row);
  void Run(Kind kind, const QString& name, const std::function<void()>& act);
  QString Transition(Kind kind, const Snapshot& b, Row rb, const Snapshot& a, Row ra);
  bool Finished() const;
  void Tick();
  void WindDown();
  std::uint32_t Random(std::uint32_t bound) { return m_rng() % bound; }
  Row Current() const;
  Command Draw();
  QWidget* Button(const char* key) const;
  void Click(QWidget* widget, QPoint at = QPoint());
  void Shortcut(Qt::Key key);
  void Post(Kind kind, const QString& name, QAction* action);
  void Deliver(Kind kind, const QString& name, QAction* action);
  QRect BarPart(QStyle::SubControl part) const;
  void Fire(Command command);
  void CloseDialog(QWidget* dialog);
  void CloseWindow();

  static constexpr qint64 kTimeLimitMs = 200000;

  kelvor::frmLand& m_w;
  StormServices& m_services;
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

}  // namespace kelvor::test
