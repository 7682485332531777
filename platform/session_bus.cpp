#include "platform/session_bus.h"

#include <dbus/dbus.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/child_process.h"
#include "platform/library_symbols.h"

namespace kelvor::session_bus {

namespace {

using Clock = std::chrono::steady_clock;

// What each try reports on the pipe, one byte, once its feature is known to be safe for Qt.
constexpr char kSessionAnswers = 'S';
constexpr char kAccessibilityAnswers = 'A';
constexpr char kMenuAnswers = 'M';

constexpr char kBusName[] = "org.freedesktop.DBus";
constexpr char kBusPath[] = "/org/freedesktop/DBus";
constexpr char kA11yService[] = "org.a11y.Bus";
constexpr char kA11yPath[] = "/org/a11y/bus";
constexpr char kRegistrar[] = "com.canonical.AppMenu.Registrar";
constexpr char kRegistrarPath[] = "/com/canonical/AppMenu/Registrar";

// How long the children's keeper may take to end what the tries started.
constexpr std::chrono::milliseconds kCleanUpLimit{1000};

// The tries run in children forked from a single thread, so they may allocate and use libdbus.
struct Try {
  Clock::time_point deadline;
  int report;

  int LeftMs() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 1 ? static_cast<int>(left) : 1;
  }

  void Say(char word) const { [[maybe_unused]] const ssize_t written = ::write(report, &word, 1); }

  // Sends `call` and waits for its reply until the deadline. Null without one; `answered` says
  // whether the peer answered at all (an error reply is an answer).
  DBusMessage* Ask(DBusConnection* connection, DBusMessage* call, bool& answered) const {
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply =
        call ? dbus_connection_send_with_reply_and_block(connection, call, LeftMs(), &error)
             : nullptr;
    if (call) dbus_message_unref(call);
    answered = reply != nullptr ||
               (dbus_error_is_set(&error) && !dbus_error_has_name(&error, DBUS_ERROR_NO_REPLY) &&
                !dbus_error_has_name(&error, DBUS_ERROR_TIMEOUT) &&
                !dbus_error_has_name(&error, DBUS_ERROR_DISCONNECTED) &&
                !dbus_error_has_name(&error, DBUS_ERROR_NO_MEMORY));
    dbus_error_free(&error);
    return reply;
  }

  // A call of the bus itself that every bus answers.
  bool BusAnswers(DBusConnection* connection) const {
    bool answered = false;
    DBusMessage* reply = Ask(
        connection, dbus_message_new_method_call(kBusName, kBusPath, kBusName, "GetId"), answered);
    if (reply) dbus_message_unref(reply);
    return reply != nullptr;
  }

  // The session bus as Qt finds it, Hello answered; null when it cannot be had.
  DBusConnection* Session() const {
    DBusError error;
    dbus_error_init(&error);
    // A private connection: with DBUS_BUS_SESSION it is only returned once the bus has
    // answered Hello.
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    dbus_error_free(&error);
    return connection;
  }

  // A bus at `address` that takes a connection, answers Hello and then a call.
  bool AddressAnswers(const char* address) const {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_connection_open_private(address, &error);
    dbus_error_free(&error);
    return connection && dbus_bus_register(connection, nullptr) && BusAnswers(connection);
  }

  // Whether `name` has an owner on the bus: true or false once the bus has answered.
  bool HasOwner(DBusConnection* connection, const char* name, bool& answered) const {
    DBusMessage* call = dbus_message_new_method_call(kBusName, kBusPath, kBusName, "NameHasOwner");
    if (call) dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusMessage* reply = Ask(connection, call, answered);
    dbus_bool_t owned = FALSE;
    if (reply) {
      dbus_message_get_args(reply, nullptr, DBUS_TYPE_BOOLEAN, &owned, DBUS_TYPE_INVALID);
      dbus_message_unref(reply);
    }
    answered = reply != nullptr;
    return owned;
  }

  // A boolean property of org.a11y.Status, as Qt's bridge reads it.
  bool StatusProperty(DBusConnection* connection, const char* property, bool& answered) const {
    DBusMessage* call =
        dbus_message_new_method_call(kA11yService, kA11yPath, DBUS_INTERFACE_PROPERTIES, "Get");
    const char* interface = "org.a11y.Status";
    if (call) {
      dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                               DBUS_TYPE_INVALID);
    }
    DBusMessage* reply = Ask(connection, call, answered);
    dbus_bool_t value = FALSE;
    if (reply) {
      DBusMessageIter top;
      DBusMessageIter variant;
      if (dbus_message_iter_init(reply, &top) &&
          dbus_message_iter_get_arg_type(&top) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&top, &variant);
        if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_BOOLEAN) {
          dbus_message_iter_get_basic(&variant, &value);
        }
      }
      dbus_message_unref(reply);
    }
    return value;
  }
};

// The session bus up to a round trip after Hello.
void TrySession(const Try& t) {
  DBusConnection* connection = t.Session();
  if (connection && t.BusAnswers(connection)) t.Say(kSessionAnswers);
}

// The global-menu registrar, where Qt's menu bars would register: absent, or answering a call.
void TryMenu(const Try& t) {
  DBusConnection* connection = t.Session();
  if (!connection) {
    t.Say(kMenuAnswers);  // no bus, no global menu: Qt asks nothing
    return;
  }
  bool answered = false;
  const bool owned = t.HasOwner(connection, kRegistrar, answered);
  if (!answered) return;
  if (owned) {
    DBusMessage* call =
        dbus_message_new_method_call(kRegistrar, kRegistrarPath, kRegistrar, "GetMenuForWindow");
    const dbus_uint32_t noWindow = 0;
    if (call) dbus_message_append_args(call, DBUS_TYPE_UINT32, &noWindow, DBUS_TYPE_INVALID);
    DBusMessage* reply = t.Ask(connection, call, answered);
    if (reply) dbus_message_unref(reply);
    if (!answered) return;
  }
  t.Say(kMenuAnswers);
}

// The X root window's AT_SPI_BUS property, where the screen-reader bridge also finds the
// accessibility bus on X; empty without one. libxcb is opened here rather than linked: only
// this child needs it, and Qt's own X plugin loads it anyway.
std::string AddressOnXRoot() {
  void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  decltype(&xcb_connect) connect = nullptr;
  decltype(&xcb_connection_has_error) hasError = nullptr;
  decltype(&xcb_get_setup) getSetup = nullptr;
  decltype(&xcb_setup_roots_iterator) roots = nullptr;
  decltype(&xcb_screen_next) nextScreen = nullptr;
  decltype(&xcb_intern_atom) internAtom = nullptr;
  decltype(&xcb_intern_atom_reply) internAtomReply = nullptr;
  decltype(&xcb_get_property) getProperty = nullptr;
  decltype(&xcb_get_property_reply) getPropertyReply = nullptr;
  decltype(&xcb_get_property_value) propertyValue = nullptr;
  decltype(&xcb_get_property_value_length) propertyLength = nullptr;
  if (xcb == nullptr || !BindSymbol(xcb, "xcb_connect", connect) ||
      !BindSymbol(xcb, "xcb_connection_has_error", hasError) ||
      !BindSymbol(xcb, "xcb_get_setup", getSetup) ||
      !BindSymbol(xcb, "xcb_setup_roots_iterator", roots) ||
      !BindSymbol(xcb, "xcb_screen_next", nextScreen) ||
      !BindSymbol(xcb, "xcb_intern_atom", internAtom) ||
      !BindSymbol(xcb, "xcb_intern_atom_reply", internAtomReply) ||
      !BindSymbol(xcb, "xcb_get_property", getProperty) ||
      !BindSymbol(xcb, "xcb_get_property_reply", getPropertyReply) ||
      !BindSymbol(xcb, "xcb_get_property_value", propertyValue) ||
      !BindSymbol(xcb, "xcb_get_property_value_length", propertyLength)) {
    return {};
  }
  int screenNumber = 0;
  xcb_connection_t* display = connect(nullptr, &screenNumber);
  if (display == nullptr || hasError(display)) return {};  // the child ends soon; so does this
  xcb_screen_iterator_t screen = roots(getSetup(display));
  for (; screenNumber > 0 && screen.rem > 0; --screenNumber) nextScreen(&screen);
  if (screen.rem <= 0) return {};
  constexpr char kName[] = "AT_SPI_BUS";
  xcb_intern_atom_reply_t* atom =
      internAtomReply(display, internAtom(display, 1, sizeof kName - 1, kName), nullptr);
  if (atom == nullptr) return {};
  std::string address;
  if (atom->atom != XCB_ATOM_NONE) {
    xcb_get_property_reply_t* property = getPropertyReply(
        display, getProperty(display, 0, screen.data->root, atom->atom, XCB_ATOM_STRING, 0, 4096),
        nullptr);
    if (property != nullptr) {
      address.assign(static_cast<const char*>(propertyValue(property)),
                     static_cast<std::size_t>(propertyLength(property)));
      std::free(property);
    }
  }
  std::free(atom);
  return address;
}

// Every accessibility bus the screen-reader bridge would connect to, and the questions it asks
// the accessibility service on the session bus first.
void TryAccessibility(const Try& t) {
  // An address in the environment is the only one the bridge uses.
  const char* given = std::getenv("AT_SPI_BUS_ADDRESS");
  if (given != nullptr && *given != '\0') {
    if (t.AddressAnswers(given)) t.Say(kAccessibilityAnswers);
    return;
  }
  if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0') {
    const std::string onRoot = AddressOnXRoot();
    if (!onRoot.empty() && !t.AddressAnswers(onRoot.c_str())) return;
  }
  DBusConnection* connection = t.Session();
  if (!connection) {
    t.Say(kAccessibilityAnswers);  // without the session bus the bridge asks nothing more
    return;
  }
  bool answered = false;
  const bool registered = t.HasOwner(connection, kA11yService, answered);
  if (!answered) return;
  if (registered) {
    // Read as the bridge reads them: the second only when the first is false.
    bool enabled = std::getenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON") != nullptr;
    if (!enabled) {
      enabled = t.StatusProperty(connection, "ScreenReaderEnabled", answered);
      if (!answered) return;
    }
    if (!enabled) {
      enabled = t.StatusProperty(connection, "IsEnabled", answered);
      if (!answered) return;
    }
    if (enabled) {
      DBusMessage* reply =
          t.Ask(connection,
                dbus_message_new_method_call(kA11yService, kA11yPath, kA11yService, "GetAddress"),
                answered);
      if (!reply) return;
      const char* address = nullptr;
      const bool usable =
          dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &address, DBUS_TYPE_INVALID) &&
          (*address == '\0' || t.AddressAnswers(address));
      dbus_message_unref(reply);
      if (!usable) return;
    }
  }
  t.Say(kAccessibilityAnswers);
}

// Starts one try in a child of the keeper; it ends with the keeper.
void Fork(void (*run)(const Try&), const Try& t, pid_t keeper) {
  const pid_t child = ::fork();
  if (child != 0) return;
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != keeper) ::_exit(1);
  run(t);
  ::_exit(0);
}

// Kills every child of this process and collects it, until there is none: with this process a
// subreaper, what a killed child leaves running becomes its child in turn. False when some are
// still there at `deadline` (a process stuck in the kernel).
bool EndAllChildren(Clock::time_point deadline) {
  const std::string self = std::to_string(::getpid());
  for (;;) {
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    if (::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD) return true;
    if (Clock::now() >= deadline) return false;
    if (DIR* processes = ::opendir("/proc")) {
      while (const dirent* entry = ::readdir(processes)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const std::string path = std::string("/proc/") + entry->d_name + "/stat";
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char stat[512];
        const ssize_t got = ::read(fd, stat, sizeof stat - 1);
        ::close(fd);
        if (got <= 0) continue;
        stat[got] = '\0';
        // "pid (name) state ppid ...": the name may hold anything, so read after its last ')'.
        const char* end = std::strrchr(stat, ')');
        if (end == nullptr) continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(end + 1, " %c %d", &state, &parent) == 2 &&
            self == std::to_string(parent)) {
          ::kill(static_cast<pid_t>(std::atoi(entry->d_name)), SIGKILL);
        }
      }
      ::closedir(processes);
    }
    ::usleep(1000);
  }
}

// The keeper: a subreaper that starts the tries and, once the game has heard enough (or has
// gone), ends them and everything they started.
[[noreturn]] void Keep(const Try& t, int word, pid_t game) {
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  if (::getppid() != game) ::_exit(1);
  const pid_t keeper = ::getpid();
  Fork(TrySession, t, keeper);
  Fork(TryAccessibility, t, keeper);
  Fork(TryMenu, t, keeper);
  ::close(t.report);
  // The game's end of `word` closes when it is done with the tries, or when it ends.
  for (;;) {
    pollfd done{word, POLLIN, 0};
    if (::poll(&done, 1, -1) >= 0 || errno != EINTR) break;
  }
  EndAllChildren(Clock::now() + kCleanUpLimit);
  ::_exit(0);
}

}  // namespace

Findings Check(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  Findings found;
  int report[2];
  int word[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return found;
  if (::pipe2(word, O_CLOEXEC) != 0) {
    ::close(report[0]);
    ::close(report[1]);
    return found;
  }
  const pid_t game = ::getpid();
  const pid_t keeper = ::fork();
  if (keeper == 0) {
    ::close(report[0]);
    ::close(word[1]);
    Keep(Try{deadline, report[1]}, word[0], game);
  }
  ::close(report[1]);
  ::close(word[0]);
  if (keeper < 0) {
    ::close(report[0]);
    ::close(word[1]);
    return found;
  }

  // Each try says its word once its feature is safe; the end of the pipe means every try has
  // ended, and what has not been said by then is not so.
  for (;;) {
    if (found.sessionBus && found.accessibility && found.globalMenu) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd readable{report[0], POLLIN, 0};
    const int ready = ::poll(&readable, 1, static_cast<int>(left > 0 ? left : 0));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char words[8];
    const ssize_t got = ::read(report[0], words, sizeof words);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      found.sessionBus |= words[i] == kSessionAnswers;
      found.accessibility |= words[i] == kAccessibilityAnswers;
      found.globalMenu |= words[i] == kMenuAnswers;
    }
  }
  ::close(report[0]);
  // The keeper ends the tries and what they started, then itself; one stuck beyond its own
  // limit is killed, and what it leaves goes to the system.
  ::close(word[1]);
  const auto cleanUpDeadline = Clock::now() + kCleanUpLimit + std::chrono::milliseconds(200);
  for (;;) {
    const pid_t ended = ::waitpid(keeper, nullptr, WNOHANG);
    if (ended == keeper || (ended < 0 && errno != EINTR)) break;
    if (Clock::now() >= cleanUpDeadline) {
      ::kill(keeper, SIGKILL);
      while (::waitpid(keeper, nullptr, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    ::usleep(1000);
  }
  return found;
}

Findings SetAsideWhatIsSilent(std::chrono::milliseconds limit) {
  const Findings found = Check(limit);
  if (!found.sessionBus) {
    // A transport no client knows: libdbus and GLib both give up on it at once. Read before
    // $XDG_RUNTIME_DIR/bus and autolaunch, it covers a silent bus found there too.
    child_process::SetForGameOnly("DBUS_SESSION_BUS_ADDRESS", "disabled:");
  }
  if (!found.accessibility) {
    // An address in the environment is the only one Qt's screen-reader bridge then uses, and it
    // asks the session bus nothing about accessibility; this one fails at once. GTK's bridge,
    // loaded with the GTK platform theme, is switched off by its own variable.
    child_process::SetForGameOnly("AT_SPI_BUS_ADDRESS", "disabled:");
    child_process::SetForGameOnly("NO_AT_BRIDGE", "1");
  }
  if (!found.globalMenu) {
    // Menu bars stay in their windows: Qt then never asks the registrar.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  }
  return found;
}

}  // namespace kelvor::session_bus
