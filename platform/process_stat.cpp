#include "platform/process_stat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace kelvor {

namespace {

// A decimal number, optionally negative, at the start of `text`, which it then skips along with
// the blank after it.
std::optional<long long> TakeNumber(std::string_view& text) {
  std::size_t at = 0;
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) ++at;
  if (at == text.size() || text[at] < '0' || text[at] > '9') return std::nullopt;
  long long value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + (text[at] - '0');
  }
  if (at < text.size() && text[at] != ' ' && text[at] != '\n') return std::nullopt;
  text.remove_prefix(at < text.size() ? at + 1 : at);
  return negative ? -value : value;
}

}  // namespace

std::optional<ProcessStat> ParseProcessStat(std::string_view line) {
  // "pid (name) state parent ...": the name may hold anything, blanks and parentheses
  // included, so the fields are read after its last ')'.
  std::string_view pidText = line;
  const std::optional<long long> pid = TakeNumber(pidText);
  const std::size_t nameEnd = line.rfind(')');
  if (!pid || nameEnd == std::string_view::npos || line.size() < nameEnd + 4 ||
      line[nameEnd + 1] != ' ' || line[nameEnd + 3] != ' ') {
    return std::nullopt;
  }
  ProcessStat stat;
  stat.pid = static_cast<pid_t>(*pid);
  stat.state = line[nameEnd + 2];
  std::string_view fields = line.substr(nameEnd + 4);
  // parent, group, session, terminal, its group, flags, four fault counts, user time, system
  // time.
  long long numbers[12] = {};
  for (long long& number : numbers) {
    const std::optional<long long> taken = TakeNumber(fields);
    if (!taken) return std::nullopt;
    number = *taken;
  }
  stat.parent = static_cast<pid_t>(numbers[0]);
  stat.ticks = numbers[10] + numbers[11];
  return stat;
}

std::optional<ProcessStat> ReadProcessStat(pid_t pid) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // The fields read come well within the first kilobyte: the name is at most 64 bytes.
  char line[1024];
  const ssize_t length = ::read(fd, line, sizeof line);
  ::close(fd);
  if (length <= 0) return std::nullopt;
  return ParseProcessStat(std::string_view(line, static_cast<std::size_t>(length)));
}

}  // namespace kelvor
