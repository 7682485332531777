#pragma once

#include <sys/types.h>

#include <optional>
#include <string_view>

namespace kelvor {

// What /proc/<pid>/stat tells of a process.
struct ProcessStat {
  pid_t pid = 0;
  char state = '?';  // 'Z': ended, its end not yet collected by its parent
  pid_t parent = 0;
  long long ticks = 0;  // processor time used, user and system, in clock ticks
};

// One line of /proc/<pid>/stat; nullopt when it is not one.
std::optional<ProcessStat> ParseProcessStat(std::string_view line);

// Nullopt once the process is gone (or is not ours to read). Allocates nothing: the start's
// watcher reads /proc where it may not allocate.
std::optional<ProcessStat> ReadProcessStat(pid_t pid);

}  // namespace kelvor
