#pragma once

// The processes a test's process has started, as /proc shows them: what a test looks at to tell
// that a program still runs, or that its end was collected (no zombie left behind).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>

// The state letter of a process ('Z': ended, its end not yet collected by its parent), and its
// parent; a zero state once the process is gone.
struct ProcessStatus {
  char state = 0;
  qint64 parent = 0;
};

inline ProcessStatus StatusOf(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return {};
  // "pid (name) state parent ...", where the name may hold blanks and parentheses.
  const QByteArray line = stat.readAll();
  const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
  if (fields.size() < 2 || fields[0].isEmpty()) return {};
  return {fields[0].at(0), fields[1].toLongLong()};
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
