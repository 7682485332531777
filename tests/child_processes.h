#pragma once

// The processes a test's process has started, as /proc shows them: what a test looks at to tell
// that a program still runs, or that its end was collected (no zombie left behind).

#include <QDir>
#include <QMap>
#include <optional>

#include "platform/process_stat.h"

// The state letter of a process ('Z': ended, its end not yet collected by its parent), and its
// parent; a zero state once the process is gone.
struct ProcessStatus {
  char state = 0;
  qint64 parent = 0;
};

inline ProcessStatus StatusOf(qint64 pid) {
  const std::optional<kelvor::ProcessStat> stat = kelvor::ReadProcessStat(static_cast<pid_t>(pid));
  if (!stat) return {};
  return {stat->state, stat->parent};
}

// The children of `parent`, each with its state letter.
inline QMap<qint64, char> ChildProcesses(qint64 parent) {
  QMap<qint64, char> children;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool isNumber = false;
    const qint64 pid = entry.toLongLong(&isNumber);
    if (!isNumber) continue;
    const ProcessStatus status = StatusOf(pid);
    if (status.state != 0 && status.parent == parent) children.insert(pid, status.state);
  }
  return children;
}
