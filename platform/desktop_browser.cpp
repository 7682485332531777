#include "platform/desktop_browser.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/file_system.h"
#include "platform/library_symbols.h"

namespace kelvor {

// GIO's functions, and the GObject and GLib ones that go with them, opened rather than linked.
struct GioApi {
  decltype(&g_free) free;
  decltype(&g_strfreev) strfreev;
  decltype(&g_list_free) list_free;
  decltype(&g_shell_parse_argv) shell_parse_argv;
  decltype(&g_filename_from_uri) filename_from_uri;
  decltype(&g_object_unref) object_unref;
  decltype(&g_type_check_instance_is_a) type_check_instance_is_a;
  decltype(&g_cancellable_new) cancellable_new;
  decltype(&g_cancellable_cancel) cancellable_cancel;
  decltype(&g_file_new_for_path) file_new_for_path;
  decltype(&g_file_query_info) file_query_info;
  decltype(&g_file_info_get_content_type) file_info_get_content_type;
  decltype(&g_icon_to_string) icon_to_string;
  decltype(&g_app_info_get_default_for_type) app_info_get_default_for_type;
  decltype(&g_app_info_get_recommended_for_type) app_info_get_recommended_for_type;
  decltype(&g_app_info_supports_uris) app_info_supports_uris;
  decltype(&g_app_info_get_commandline) app_info_get_commandline;
  decltype(&g_app_info_get_name) app_info_get_name;
  decltype(&g_app_info_get_icon) app_info_get_icon;
  decltype(&g_desktop_app_info_get_type) desktop_app_info_get_type;
  decltype(&g_desktop_app_info_get_boolean) desktop_app_info_get_boolean;
  decltype(&g_desktop_app_info_get_filename) desktop_app_info_get_filename;
};

namespace {

using Result = DesktopBrowser::Result;

std::optional<GioApi> LoadGio() {
  // A handle's symbols include those of the libraries it depends on: GObject and GLib. GIO stays
  // loaded: GObject types cannot be unloaded.
  return LoadLibraryApi<GioApi>("libgio-2.0.so.0", [](const auto& bind, GioApi& api) {
    return bind("g_free", api.free) && bind("g_strfreev", api.strfreev) &&
           bind("g_list_free", api.list_free) && bind("g_shell_parse_argv", api.shell_parse_argv) &&
           bind("g_filename_from_uri", api.filename_from_uri) &&
           bind("g_object_unref", api.object_unref) &&
           bind("g_type_check_instance_is_a", api.type_check_instance_is_a) &&
           bind("g_cancellable_new", api.cancellable_new) &&
           bind("g_cancellable_cancel", api.cancellable_cancel) &&
           bind("g_file_new_for_path", api.file_new_for_path) &&
           bind("g_file_query_info", api.file_query_info) &&
           bind("g_file_info_get_content_type", api.file_info_get_content_type) &&
           bind("g_icon_to_string", api.icon_to_string) &&
           bind("g_app_info_get_default_for_type", api.app_info_get_default_for_type) &&
           bind("g_app_info_get_recommended_for_type", api.app_info_get_recommended_for_type) &&
           bind("g_app_info_supports_uris", api.app_info_supports_uris) &&
           bind("g_app_info_get_commandline", api.app_info_get_commandline) &&
           bind("g_app_info_get_name", api.app_info_get_name) &&
           bind("g_app_info_get_icon", api.app_info_get_icon) &&
           bind("g_desktop_app_info_get_type", api.desktop_app_info_get_type) &&
           bind("g_desktop_app_info_get_boolean", api.desktop_app_info_get_boolean) &&
           bind("g_desktop_app_info_get_filename", api.desktop_app_info_get_filename);
  });
}

struct GObjectUnref {
  const GioApi* gio;
  void operator()(gpointer object) const {
    if (object != nullptr) gio->object_unref(object);
  }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// GLib's strings, freed with GLib's allocator; empty for none.
std::string TakeString(const GioApi& gio, gchar* text) {
  std::string result = text != nullptr ? text : "";
  gio.free(text);
  return result;
}

// One search for the browser, shared by the caller and the worker thread; whichever lets go
// last frees it.
struct BrowserSearch {
  BrowserSearch(const GioApi& api, std::string page, std::string address, std::size_t maxPath)
      : gio(api),
        pagePath(std::move(page)),
        url(std::move(address)),
        maxProgramPath(maxPath),
        cancellable(api.cancellable_new()) {}
  ~BrowserSearch() { gio.object_unref(cancellable); }
  BrowserSearch(const BrowserSearch&) = delete;
  BrowserSearch& operator=(const BrowserSearch&) = delete;

  const GioApi& gio;
  const std::string pagePath;
  const std::string url;
  const std::size_t maxProgramPath;
  GCancellable* const cancellable;  // called off when the caller stops waiting

  std::mutex mutex;
  std::condition_variable changed;
  // Guarded by mutex.
  bool done = false;
  bool failed = false;            // the search itself went wrong (out of memory)
  std::vector<std::string> argv;  // the command to start; empty when no application takes it
};

bool IsDesktopEntry(const GioApi& gio, GAppInfo* app) {
  return gio.type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(app),
                                      gio.desktop_app_info_get_type());
}

bool NeedsTerminal(const GioApi& gio, GAppInfo* app) {
  return IsDesktopEntry(gio, app) &&
         gio.desktop_app_info_get_boolean(reinterpret_cast<GDesktopAppInfo*>(app), "Terminal");
}

// What the field codes of one entry's command line stand for in this start.
struct FieldValues {
  std::string address;
  std::string localPath;  // the address as a file name, when it names a local file
  std::string name;       // the entry's Name, in the desktop's language
  std::string icon;       // its Icon, as GIO reads it
  std::string entryFile;  // the file the entry was read from
  bool addressUsed = false;
};

// The arguments a field code ("%u") stands for, as GIO fills them in for one address: only the
// first of %u, %U, %f, %F takes it (%f, %F as a local file name, or nothing for a network
// address); %i is "--icon" and the icon; a missing value, deprecated or unknown code is nothing.
std::vector<std::string> FieldCode(char code, FieldValues& values) {
  const auto given = [](const std::string& value) {
    return value.empty() ? std::vector<std::string>{} : std::vector<std::string>{value};
  };
  switch (code) {
    case 'u':
    case 'U':
    case 'f':
    case 'F':
      if (values.addressUsed) return {};
      values.addressUsed = true;
      return given(code == 'u' || code == 'U' ? values.address : values.localPath);
    case 'i':
      if (values.icon.empty()) return {};
      return {"--icon", values.icon};
    case 'c':
      return given(values.name);
    case 'k':
      return given(values.entryFile);
    case '%':
      return {"%"};
    default:
      return {};
  }
}

// The command an entry's Exec line gives, split by GLib's own parser (the entry's quoting
// rules) before the codes are filled in, so that an address with blanks or quotes in it stays
// one argument. A code that is a whole argument becomes the arguments it stands for (none, one,
// or two for %i); a code inside an argument becomes its text there ("--class=%c").
std::vector<std::string> ExpandCommandLine(const GioApi& gio, const char* exec,
                                           FieldValues& values) {
  gint argc = 0;
  gchar** words = nullptr;
  if (!gio.shell_parse_argv(exec, &argc, &words, nullptr)) return {};
  std::vector<std::string> argv;
  for (gint i = 0; i < argc; ++i) {
    const std::string word = words[i];
    if (word.size() == 2 && word[0] == '%') {
      for (std::string& argument : FieldCode(word[1], values)) argv.push_back(std::move(argument));
      continue;
    }
    std::string expanded;
    for (std::size_t at = 0; at < word.size(); ++at) {
      if (word[at] != '%' || at + 1 == word.size()) {
        expanded += word[at];
        continue;
      }
      const std::vector<std::string> parts = FieldCode(word[++at], values);
      for (std::size_t part = 0; part < parts.size(); ++part) {
        expanded += (part > 0 ? " " : "") + parts[part];
      }
    }
    argv.push_back(std::move(expanded));
  }
  gio.strfreev(words);
  return argv;
}

// The command that starts `app` with the address, its program as a full path; empty when the
// program cannot be named so: a bare name found nowhere but in the working folder, or a
// relative path, which would be looked for there.
// Built here rather than left to g_app_info_launch_uris: that launch first connects to the
// session bus and waits without limit on a bus daemon that has stopped answering; it reports
// success once its helper runs, even when the program itself cannot be executed; it would run
// the program named by PATH at that moment, not the one checked here; and it would start it on
// the worker, which may outlive the caller's limit. The caller starts this command as it starts
// every other program (child_process), or not at all.
std::vector<std::string> CommandOf(const GioApi& gio, GAppInfo* app, const std::string& url) {
  const char* exec = gio.app_info_get_commandline(app);
  if (exec == nullptr) return {};
  FieldValues values;
  values.address = url;
  values.localPath = TakeString(gio, gio.filename_from_uri(url.c_str(), nullptr, nullptr));
  if (const char* name = gio.app_info_get_name(app)) values.name = name;
  if (GIcon* icon = gio.app_info_get_icon(app)) {
    values.icon = TakeString(gio, gio.icon_to_string(icon));
  }
  if (IsDesktopEntry(gio, app)) {
    const char* file = gio.desktop_app_info_get_filename(reinterpret_cast<GDesktopAppInfo*>(app));
    if (file != nullptr) values.entryFile = file;
  }
  std::vector<std::string> argv = ExpandCommandLine(gio, exec, values);
  if (argv.empty() || argv.front().empty()) return {};
  std::string& program = argv.front();
  if (program.find('/') == std::string::npos) {
    program = child_process::FindInAbsolutePath(program);
  } else if (program.front() != '/') {
    program.clear();
  }
  if (program.empty()) return {};
  return argv;
}

// The default application first, then the recommended ones in the desktop's order: the default
// may need a terminal (a text-mode browser) or take no address.
std::vector<std::string> FindCommand(BrowserSearch& search) {
  const GioApi& gio = search.gio;
  const GObjectUnref unref{&gio};
  GObjectPtr<GFile> file(gio.file_new_for_path(search.pagePath.c_str()), unref);
  GObjectPtr<GFileInfo> info(
      gio.file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                          G_FILE_QUERY_INFO_NONE, search.cancellable, nullptr),
      unref);
  if (!info) return {};
  const char* type = gio.file_info_get_content_type(info.get());
  if (type == nullptr) return {};

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
    std::vector<std::string> argv = CommandOf(gio, candidate.get(), search.url);
    if (!argv.empty() && argv.front().size() <= search.maxProgramPath) return argv;
  }
  return {};
}

// The worker thread: finds the command and hands it to the caller, if it still waits.
void RunSearch(const std::shared_ptr<BrowserSearch>& search) {
  std::vector<std::string> argv;
  bool failed = false;
  // Nothing may leave the thread: an exception there would end the game.
  try {
    argv = FindCommand(*search);
  } catch (...) {
    failed = true;
  }
  {
    const std::lock_guard lock(search->mutex);
    search->argv = std::move(argv);
    search->failed = failed;
    search->done = true;
  }
  search->changed.notify_all();
}

// The browser GIO finds. The search may wait on GVfs or a hung file system, so it runs on a
// worker thread the caller waits for only so long; only the caller starts the browser.
class GioBrowser final : public DesktopBrowser {
 public:
  explicit GioBrowser(const GioApi& gio) : m_gio(gio) {}

  Result Open(const std::string& pagePath, const std::string& url, std::chrono::milliseconds limit,
              std::size_t maxProgramPath) const override;

 private:
  const GioApi& m_gio;
};

}  // namespace

void DesktopBrowser::KeepSearchPathsAbsolute() {
  // A relative folder in these lists means one under the working folder, and a desktop entry or
  // association found there would choose the program the game starts.
  for (const char* list : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
    const char* value = std::getenv(list);
    if (value == nullptr) continue;
    std::string kept;
    for (const std::string& folder : AbsoluteFolders(value)) {
      kept += (kept.empty() ? "" : ":") + folder;
    }
    if (kept == value) continue;
    // Emptied, the list falls back to the system's folders, as if it had never been set.
    child_process::SetForGameOnly(list, kept.empty() ? nullptr : kept.c_str());
  }
  for (const char* home : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
    const char* value = std::getenv(home);
    if (value != nullptr && value[0] != '/') child_process::SetForGameOnly(home, nullptr);
  }
}

const DesktopBrowser* DesktopBrowser::ThroughGio() {
  static const std::optional<GioApi> gio = LoadGio();
  if (!gio) return nullptr;
  static const GioBrowser browser(*gio);
  return &browser;
}

DesktopBrowser::Result GioBrowser::Open(const std::string& pagePath, const std::string& url,
                                        std::chrono::milliseconds limit,
                                        std::size_t maxProgramPath) const {
  const auto search = std::make_shared<BrowserSearch>(m_gio, pagePath, url, maxProgramPath);
  std::thread worker;
  try {
    worker = std::thread(RunSearch, search);
  } catch (const std::system_error&) {
    return Result::kNotStarted;  // no thread to be had: the system is out of resources
  }

  std::unique_lock lock(search->mutex);
  if (!search->changed.wait_until(lock, std::chrono::steady_clock::now() + limit,
                                  [&search] { return search->done; })) {
    // The desktop has not answered in time. The worker may stay blocked in a call that cannot
    // be called off; it ends on its own, if ever, holding its share of the search, and starts
    // nothing: programs are started here only.
    lock.unlock();
    m_gio.cancellable_cancel(search->cancellable);
    worker.detach();
    return Result::kNotStarted;
  }
  lock.unlock();
  worker.join();
  if (search->failed) return Result::kNotStarted;
  if (search->argv.empty()) return Result::kNoProgram;
  return child_process::StartDetached(search->argv) ? Result::kStarted : Result::kNotStarted;
}

}  // namespace kelvor
