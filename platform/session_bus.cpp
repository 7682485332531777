#include "platform/session_bus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

// A value of a D-Bus address, with its %XX escapes undone.
std::string Unescape(const std::string& value) {
  std::string plain;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size()) {
      plain += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      plain += value[i];
    }
  }
  return plain;
}

// The socket address of one "unix:path=..." or "unix:abstract=..." entry; nullopt for another
// kind of entry.
std::optional<std::pair<sockaddr_un, socklen_t>> SocketOf(const std::string& entry) {
  if (entry.rfind("unix:", 0) != 0) return std::nullopt;
  std::istringstream pairs(entry.substr(5));
  for (std::string pair; std::getline(pairs, pair, ',');) {
    const std::size_t equals = pair.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = pair.substr(0, equals);
    if (key != "path" && key != "abstract") continue;
    std::string name;
    try {
      name = Unescape(pair.substr(equals + 1));
    } catch (const std::exception&) {
      return std::nullopt;  // a malformed escape: not an address a client could use either
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const bool abstract = key == "abstract";
    if (name.size() + (abstract ? 1 : 0) >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path + (abstract ? 1 : 0), name.data(), name.size());
    // A path with its terminator; an abstract name after its leading zero byte, without one.
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
    return std::make_pair(address, length);
  }
  return std::nullopt;
}

enum class Answer { kAnswers, kSilent, kUnreachable };

// Connects to the bus and says what every client says first (the start of the authentication),
// then waits for any word back, or for the bus to hang up, until the deadline.
Answer Ask(const sockaddr_un& address, socklen_t length, Clock::time_point deadline) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return Answer::kUnreachable;
  Answer answer = Answer::kSilent;
  const auto remaining = [deadline] {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(left > 0 ? left : 0);
  };
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    if (errno != EAGAIN && errno != EINPROGRESS) {
      ::close(fd);
      return Answer::kUnreachable;  // refused, missing: a client fails at once
    }
    // The listener's queue is full: nobody takes connections.
    pollfd writable{fd, POLLOUT, 0};
    if (::poll(&writable, 1, remaining()) <= 0) {
      ::close(fd);
      return Answer::kSilent;
    }
  }
  const std::string hello = std::string(1, '\0') + "AUTH\r\n";
  if (::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN) {
    ::close(fd);
    return Answer::kUnreachable;
  }
  for (;;) {
    pollfd readable{fd, POLLIN, 0};
    const int ready = ::poll(&readable, 1, remaining());
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0) answer = Answer::kAnswers;  // a word, or the bus hanging up: no wait either
    break;
  }
  ::close(fd);
  return answer;
}

}  // namespace

bool SessionBus::IsSilent(const std::string& addresses, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  // A client tries the entries in turn and takes the first that connects.
  std::istringstream entries(addresses);
  for (std::string entry; std::getline(entries, entry, ';');) {
    const auto socket = SocketOf(entry);
    if (!socket) return false;  // not a local socket: nothing start-up can judge
    switch (Ask(socket->first, socket->second, deadline)) {
      case Answer::kAnswers:
        return false;
      case Answer::kSilent:
        return true;
      case Answer::kUnreachable:
        break;  // on to the next entry
    }
  }
  return false;
}

bool SessionBus::SetAsideIfSilent(std::chrono::milliseconds limit) {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address == nullptr || !IsSilent(address, limit)) return false;
  // A transport no client knows: libdbus and GLib both give up on it at once.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  return true;
}
