#include "platform/desktop_browser.h"

#include <dlfcn.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/library_symbols.h"

namespace kelvor {

// GIO's functions (and the GObject and GLib ones that go with them), opened rather than
// linked. The pointers keep the types of GIO's own declarations, so every call is checked as if
// it were linked.
struct GioApi {
  decltype(&g_free) free;
  decltype(&g_strfreev) strfreev;
  decltype(&g_list_append) list_append;
  decltype(&g_list_free) list_free;
  decltype(&g_error_free) error_free;
  decltype(&g_shell_parse_argv) shell_parse_argv;
  decltype(&g_shell_quote) shell_quote;
  decltype(&g_key_file_new) key_file_new;
  decltype(&g_key_file_free) key_file_free;
  decltype(&g_key_file_load_from_file) key_file_load_from_file;
  decltype(&g_key_file_set_string) key_file_set_string;
  decltype(&g_object_unref) object_unref;
  decltype(&g_type_check_instance_is_a) type_check_instance_is_a;
  decltype(&g_cancellable_new) cancellable_new;
  decltype(&g_cancellable_cancel) cancellable_cancel;
  decltype(&g_file_new_for_path) file_new_for_path;
  decltype(&g_file_query_info) file_query_info;
  decltype(&g_file_info_get_content_type) file_info_get_content_type;
  decltype(&g_app_info_get_default_for_type) app_info_get_default_for_type;
  decltype(&g_app_info_get_recommended_for_type) app_info_get_recommended_for_type;
  decltype(&g_app_info_supports_uris) app_info_supports_uris;
  decltype(&g_app_info_get_commandline) app_info_get_commandline;
  decltype(&g_app_info_launch_uris) app_info_launch_uris;
  decltype(&g_desktop_app_info_get_type) desktop_app_info_get_type;
  decltype(&g_desktop_app_info_get_boolean) desktop_app_info_get_boolean;
  decltype(&g_desktop_app_info_get_filename) desktop_app_info_get_filename;
  decltype(&g_desktop_app_info_new_from_keyfile) desktop_app_info_new_from_keyfile;
  decltype(&g_bus_get_sync) bus_get_sync;
};

namespace {

using Result = DesktopBrowser::Result;

// A launch that has begun by the time limit no longer waits on the bus (the connection is made
// before it); it gets this long to hand the address over.
constexpr std::chrono::seconds kLaunchGrace{1};

std::optional<GioApi> LoadGio() {
  // By name alone: the loader then searches only the system's folders (the game's executable
  // carries no run path), never the working folder.
  void* library = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  // A handle's symbols include those of the libraries it depends on: GObject and GLib.
  GioApi api{};
  if (BindSymbol(library, "g_free", api.free) && BindSymbol(library, "g_strfreev", api.strfreev) &&
      BindSymbol(library, "g_list_append", api.list_append) &&
      BindSymbol(library, "g_list_free", api.list_free) &&
      BindSymbol(library, "g_error_free", api.error_free) &&
      BindSymbol(library, "g_shell_parse_argv", api.shell_parse_argv) &&
      BindSymbol(library, "g_shell_quote", api.shell_quote) &&
      BindSymbol(library, "g_key_file_new", api.key_file_new) &&
      BindSymbol(library, "g_key_file_free", api.key_file_free) &&
      BindSymbol(library, "g_key_file_load_from_file", api.key_file_load_from_file) &&
      BindSymbol(library, "g_key_file_set_string", api.key_file_set_string) &&
      BindSymbol(library, "g_object_unref", api.object_unref) &&
      BindSymbol(library, "g_type_check_instance_is_a", api.type_check_instance_is_a) &&
      BindSymbol(library, "g_cancellable_new", api.cancellable_new) &&
      BindSymbol(library, "g_cancellable_cancel", api.cancellable_cancel) &&
      BindSymbol(library, "g_file_new_for_path", api.file_new_for_path) &&
      BindSymbol(library, "g_file_query_info", api.file_query_info) &&
      BindSymbol(library, "g_file_info_get_content_type", api.file_info_get_content_type) &&
      BindSymbol(library, "g_app_info_get_default_for_type", api.app_info_get_default_for_type) &&
      BindSymbol(library, "g_app_info_get_recommended_for_type",
                 api.app_info_get_recommended_for_type) &&
      BindSymbol(library, "g_app_info_supports_uris", api.app_info_supports_uris) &&
      BindSymbol(library, "g_app_info_get_commandline", api.app_info_get_commandline) &&
      BindSymbol(library, "g_app_info_launch_uris", api.app_info_launch_uris) &&
      BindSymbol(library, "g_desktop_app_info_get_type", api.desktop_app_info_get_type) &&
      BindSymbol(library, "g_desktop_app_info_get_boolean", api.desktop_app_info_get_boolean) &&
      BindSymbol(library, "g_desktop_app_info_get_filename", api.desktop_app_info_get_filename) &&
      BindSymbol(library, "g_desktop_app_info_new_from_keyfile",
                 api.desktop_app_info_new_from_keyfile) &&
      BindSymbol(library, "g_bus_get_sync", api.bus_get_sync)) {
    return api;  // GIO stays loaded for the rest of the run: GObject types cannot be unloaded
  }
  dlclose(library);
  return std::nullopt;
}

struct GObjectUnref {
  const GioApi* gio;
  void operator()(gpointer object) const {
    if (object != nullptr) gio->object_unref(object);
  }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// One search for the browser, shared by the caller and the worker thread; whichever lets go
// last frees it.
struct Search {
  Search(const GioApi& api, std::string page, std::string address, std::size_t maxPath)
      : gio(api),
        pagePath(std::move(page)),
        url(std::move(address)),
        maxProgramPath(maxPath),
        cancellable(api.cancellable_new()) {}
  ~Search() { gio.object_unref(cancellable); }
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;

  const GioApi& gio;
  const std::string pagePath;
  const std::string url;
  const std::size_t maxProgramPath;
  GCancellable* const cancellable;  // called off when the caller stops waiting

  std::mutex mutex;
  std::condition_variable changed;
  // Guarded by mutex.
  bool abandoned = false;  // the caller has stopped waiting: start nothing, leave the page alone
  bool launching = false;  // the launch has begun
  bool done = false;
  Result result = Result::kNoProgram;
  std::string programPath;
};

bool StillWanted(Search& search) {
  const std::lock_guard lock(search.mutex);
  return !search.abandoned;
}

bool IsDesktopEntry(const GioApi& gio, GAppInfo* app) {
  return gio.type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(app),
                                      gio.desktop_app_info_get_type());
}

bool NeedsTerminal(const GioApi& gio, GAppInfo* app) {
  return IsDesktopEntry(gio, app) &&
         gio.desktop_app_info_get_boolean(reinterpret_cast<GDesktopAppInfo*>(app), "Terminal");
}

struct CommandLine {
  std::string programPath;  // the program as a full path; empty when there is none
  std::string exec;         // the entry's command line with that path as its program
};

// A field code of a desktop entry's command line that stands alone as an argument ("%u").
bool IsFieldCode(const char* argument) {
  return argument[0] == '%' && argument[1] != '\0' && argument[2] == '\0';
}

// The application's executable as a full path, and its command line rewritten to start exactly
// that file. The program is the first word of the entry's command line as the launch would
// split it, so that a quoted path with spaces in it stays whole.
CommandLine CommandLineOf(const GioApi& gio, GAppInfo* app) {
  const char* commandLine = gio.app_info_get_commandline(app);
  if (commandLine == nullptr) return {};
  gint argc = 0;
  gchar** argv = nullptr;
  if (!gio.shell_parse_argv(commandLine, &argc, &argv, nullptr)) return {};
  const std::string program = argc > 0 ? argv[0] : "";
  CommandLine result;
  if (!program.empty() && program.front() == '/') {
    result.programPath = program;
  } else if (!program.empty() && program.find('/') == std::string::npos) {
    result.programPath = ChildProcess::FindInAbsolutePath(program);
  }  // a name with a slash that is not a full path would be looked for in the working folder
  if (!result.programPath.empty()) {
    const auto quoted = [&gio](const char* text) {
      gchar* quote = gio.shell_quote(text);
      std::string word(quote);
      gio.free(quote);
      return word;
    };
    result.exec = quoted(result.programPath.c_str());
    for (gint i = 1; i < argc; ++i) {
      result.exec += ' ';
      result.exec += IsFieldCode(argv[i]) ? std::string(argv[i]) : quoted(argv[i]);
    }
  }
  gio.strfreev(argv);
  return result;
}

// The desktop entry of `app` with its command line replaced by `exec`, so that the launch starts
// the program that was looked for and checked, not whatever its name means to PATH by then.
GAppInfo* WithCommandLine(const GioApi& gio, GAppInfo* app, const std::string& exec) {
  if (!IsDesktopEntry(gio, app)) return nullptr;
  const char* file = gio.desktop_app_info_get_filename(reinterpret_cast<GDesktopAppInfo*>(app));
  if (file == nullptr) return nullptr;
  GKeyFile* entry = gio.key_file_new();
  GAppInfo* rewritten = nullptr;
  if (gio.key_file_load_from_file(entry, file, G_KEY_FILE_NONE, nullptr)) {
    gio.key_file_set_string(entry, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC,
                            exec.c_str());
    rewritten = reinterpret_cast<GAppInfo*>(gio.desktop_app_info_new_from_keyfile(entry));
  }
  gio.key_file_free(entry);
  return rewritten;
}

struct Association {
  GObjectPtr<GAppInfo> app;
  std::string programPath;
};

// The desktop's default application for the page's content type that takes an address as an
// argument and runs in a window of its own. When the default needs a terminal (a text-mode
// browser), the other applications recommended for the type are tried in the desktop's order.
Association FindAssociatedProgram(Search& search) {
  const GioApi& gio = search.gio;
  const GObjectUnref unref{&gio};
  if (!StillWanted(search)) return {{nullptr, unref}, {}};
  GObjectPtr<GFile> file(gio.file_new_for_path(search.pagePath.c_str()), unref);
  GObjectPtr<GFileInfo> info(
      gio.file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                          G_FILE_QUERY_INFO_NONE, search.cancellable, nullptr),
      unref);
  if (!info) return {{nullptr, unref}, {}};
  const char* type = gio.file_info_get_content_type(info.get());
  if (type == nullptr) return {{nullptr, unref}, {}};

  std::vector<GObjectPtr<GAppInfo>> candidates;
  candidates.emplace_back(gio.app_info_get_default_for_type(type, TRUE), unref);
  GList* recommended = gio.app_info_get_recommended_for_type(type);
  for (GList* item = recommended; item != nullptr; item = item->next) {
    candidates.emplace_back(static_cast<GAppInfo*>(item->data), unref);
  }
  gio.list_free(recommended);

  for (auto& candidate : candidates) {
    if (!candidate || !gio.app_info_supports_uris(candidate.get()) ||
        NeedsTerminal(gio, candidate.get())) {
      continue;
    }
    CommandLine command = CommandLineOf(gio, candidate.get());
    if (command.programPath.empty() || command.programPath.size() > search.maxProgramPath) {
      continue;
    }
    GObjectPtr<GAppInfo> app(WithCommandLine(gio, candidate.get(), command.exec), unref);
    if (!app) continue;
    return {std::move(app), std::move(command.programPath)};
  }
  return {{nullptr, unref}, {}};
}

// The desktop's launcher hands the program to a helper that reports success once it is
// running, even when the program itself then cannot be executed. So the start also checks what
// the system would refuse to execute: a program that is no executable file, or a script whose
// interpreter is missing.
bool CanExecute(const std::string& programPath) {
  if (!ChildProcess::IsExecutableFile(programPath)) return false;
  std::ifstream program(programPath, std::ios::binary);
  if (!program.is_open()) return false;
  char head[256] = {};
  program.read(head, sizeof head);
  const std::string start(head, static_cast<std::size_t>(program.gcount()));
  if (start.rfind("#!", 0) != 0) return true;
  // The kernel splits the line at blanks and tabs only: a carriage return of a line written
  // on another system is part of the interpreter's name, which then does not exist.
  const std::string line = start.substr(2, start.find('\n') - 2);
  const std::size_t begin = line.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  const std::string interpreter = line.substr(begin, line.find_first_of(" \t", begin) - begin);
  return ChildProcess::IsExecutableFile(interpreter);
}

// Runs the application through its desktop entry with the address as its one argument.
bool StartProgram(Search& search, const Association& association) {
  const GioApi& gio = search.gio;
  if (!CanExecute(association.programPath)) return false;
  // GIO's launch first asks for the session bus, and waits without limit for a bus daemon that
  // has stopped answering. Connecting here, where the wait can be called off, leaves the launch
  // the connection already made: GIO keeps one per process for as long as it is held.
  GError* error = nullptr;
  GDBusConnection* bus = gio.bus_get_sync(G_BUS_TYPE_SESSION, search.cancellable, &error);
  if (error != nullptr) {
    gio.error_free(error);  // without a bus, GIO starts the program all the same
    error = nullptr;
  }
  const GObjectPtr<GDBusConnection> holdBus(bus, GObjectUnref{&gio});
  {
    const std::lock_guard lock(search.mutex);
    if (search.abandoned) return false;
    search.launching = true;
  }
  GList* uris = gio.list_append(nullptr, const_cast<char*>(search.url.c_str()));
  const bool started = gio.app_info_launch_uris(association.app.get(), uris, nullptr, &error);
  gio.list_free(uris);
  if (error != nullptr) gio.error_free(error);
  return started;
}

void Work(const std::shared_ptr<Search>& search) {
  Result result = Result::kNoProgram;
  const Association association = FindAssociatedProgram(*search);
  if (association.app) {
    {
      const std::lock_guard lock(search->mutex);
      search->programPath = association.programPath;
    }
    result = StartProgram(*search, association) ? Result::kStarted : Result::kNotStarted;
  }
  {
    const std::lock_guard lock(search->mutex);
    search->result = result;
    search->done = true;
  }
  search->changed.notify_all();
}

}  // namespace

void DesktopBrowser::KeepSearchPathsAbsolute() {
  // A relative folder in these lists means one under the working folder, and a desktop entry or
  // association found there would choose the program the game starts.
  for (const char* list : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
    const char* value = std::getenv(list);
    if (value == nullptr) continue;
    std::string kept;
    std::istringstream folders{std::string(value)};
    for (std::string folder; std::getline(folders, folder, ':');) {
      if (folder.empty() || folder.front() != '/') continue;
      kept += (kept.empty() ? "" : ":") + folder;
    }
    if (kept == value) continue;
    // Emptied, the list falls back to the system's folders, as if it had never been set.
    if (kept.empty()) {
      unsetenv(list);
    } else {
      setenv(list, kept.c_str(), 1);
    }
  }
  for (const char* home : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
    const char* value = std::getenv(home);
    if (value != nullptr && value[0] != '/') unsetenv(home);
  }
}

const DesktopBrowser* DesktopBrowser::Get() {
  // GLib reads the lists once, at their first use; the game has cleaned them at its start.
  static const bool cleaned = (KeepSearchPathsAbsolute(), true);
  (void)cleaned;
  static const std::optional<GioApi> gio = LoadGio();
  if (!gio) return nullptr;
  static const DesktopBrowser browser(*gio);
  return &browser;
}

DesktopBrowser::Result DesktopBrowser::Open(const std::string& pagePath, const std::string& url,
                                            std::chrono::milliseconds limit,
                                            std::size_t maxProgramPath,
                                            std::string& programPath) const {
  programPath.clear();
  const auto search = std::make_shared<Search>(m_gio, pagePath, url, maxProgramPath);
  std::thread worker;
  try {
    worker = std::thread(Work, search);
  } catch (const std::system_error&) {
    return Result::kNotStarted;  // no thread to be had: the system is out of resources
  }

  std::unique_lock lock(search->mutex);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const auto finished = [&search] { return search->done; };
  bool done = search->changed.wait_until(lock, deadline, finished);
  if (!done && search->launching) {
    done = search->changed.wait_until(lock, deadline + kLaunchGrace, finished);
  }
  programPath = search->programPath;
  if (done) {
    const Result result = search->result;
    lock.unlock();
    worker.join();
    return result;
  }
  // The desktop has not answered in time. The worker may stay blocked in a call that cannot be
  // called off; it ends on its own, if ever, holding its share of the search.
  search->abandoned = true;
  lock.unlock();
  m_gio.cancellable_cancel(search->cancellable);
  worker.detach();
  return Result::kNotStarted;
}

}  // namespace kelvor
