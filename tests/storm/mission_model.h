#pragma once

#include <QString>
#include <optional>

#include "snapshot.h"

namespace kelvor::test {

// The rows of the mission state table, with the free fall told apart from the rest of a flight.
enum class Row { kReady, kFlying, kFreeFall, kAborted, kLanded };
inline constexpr int kRowCount = 5;

// What the player can do, whichever way it is done.
enum class Kind { kStart, kStop, kStopThenStart, kIgnite, kBar, kAbout, kHelp, kCloseDialog };

// What the mission must look like: the state table, the invariants of the flight values and
// what each command, or a second of free fall, may change. It judges snapshots only; the storm
// driver takes them from the window. Each check answers with the problem found, empty if none.
class MissionModel {
 public:
  static const char* RowName(Row row);

  // Which row of the table the snapshot stands in; empty with the reason when none.
  static std::optional<Row> Classify(const Snapshot& s, QString* why);
  // The invariants of the flight values and what the instruments must show of them.
  static QString InvariantProblem(const Snapshot& s, Row row);
  // What one event that ran no other event inside it may change.
  static QString TransitionProblem(Kind kind, const Snapshot& b, Row rb, const Snapshot& a, Row ra);
  // What may change with no event of the player's: only a free fall's whole seconds of gravity,
  // each with its alarm (`beeps` sounded since `last`), or its touchdown.
  static QString ContinuityProblem(const Snapshot& last, Row lastRow, const Snapshot& now, Row row,
                                   long beeps);

 private:
  static bool SameFlight(const Snapshot& a, const Snapshot& b);
  static bool FreshMission(const Snapshot& s);
  static QString StepProblem(const Snapshot& b, const Snapshot& a, Row ra);
};

}  // namespace kelvor::test
