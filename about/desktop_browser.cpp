#include "about/desktop_browser.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) {
      g_object_unref(object);
    }
  }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

bool NeedsTerminal(GAppInfo* app) {
  return G_IS_DESKTOP_APP_INFO(app) &&
         g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(app), "Terminal");
}

// The application's executable as a full path; empty when it is not to be found.
std::string ProgramPathOf(GAppInfo* app) {
  const char* executable = g_app_info_get_executable(app);
  if (executable == nullptr || *executable == '\0') {
    return {};
  }
  gchar* found = g_find_program_in_path(executable);
  if (found == nullptr) {
    return {};
  }
  std::string path(found);
  g_free(found);
  return path;
}

struct Association {
  GObjectPtr<GAppInfo> app;
  std::string programPath;
};

// The desktop's default application for the page's content type that takes an address as an
// argument and runs in a window of its own. When the default needs a terminal (a text-mode
// browser), the other applications recommended for the type are tried in the desktop's order.
Association FindAssociatedProgram(const char* pagePath, std::size_t maxProgramPath) {
  GObjectPtr<GFile> file(g_file_new_for_path(pagePath));
  GObjectPtr<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                               G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
  if (!info) {
    return {};
  }
  const char* type = g_file_info_get_content_type(info.get());
  if (type == nullptr) {
    return {};
  }

  std::vector<GObjectPtr<GAppInfo>> candidates;
  candidates.emplace_back(g_app_info_get_default_for_type(type, TRUE));
  GList* recommended = g_app_info_get_recommended_for_type(type);
  for (GList* item = recommended; item != nullptr; item = item->next) {
    candidates.emplace_back(G_APP_INFO(item->data));
  }
  g_list_free(recommended);

  for (auto& candidate : candidates) {
    if (!candidate || !g_app_info_supports_uris(candidate.get()) ||
        NeedsTerminal(candidate.get())) {
      continue;
    }
    std::string program = ProgramPathOf(candidate.get());
    if (program.empty() || program.size() > maxProgramPath) {
      continue;
    }
    return {std::move(candidate), std::move(program)};
  }
  return {};
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The desktop's launcher hands the program to a helper that reports success once it is
// running, even when the program itself then cannot be executed. So the start also checks what
// the system would refuse to execute: a program that is no executable file, or a script whose
// interpreter is missing.
bool CanExecute(const std::string& programPath) {
  if (!IsExecutableFile(programPath)) {
    return false;
  }
  std::ifstream program(programPath, std::ios::binary);
  if (!program.is_open()) {
    return false;
  }
  char head[256] = {};
  program.read(head, sizeof head);
  const std::string start(head, static_cast<std::size_t>(program.gcount()));
  if (start.rfind("#!", 0) != 0) {
    return true;
  }
  const std::string line = start.substr(2, start.find('\n') - 2);
  const std::size_t begin = line.find_first_not_of(" \t");
  if (begin == std::string::npos) {
    return false;
  }
  const std::string interpreter = line.substr(begin, line.find_first_of(" \t\r", begin) - begin);
  return IsExecutableFile(interpreter);
}

// Runs the application through its desktop entry with the address as its one argument.
bool StartProgram(const Association& association, const char* url) {
  if (!CanExecute(association.programPath)) {
    return false;
  }
  GList* uris = g_list_append(nullptr, const_cast<char*>(url));
  GError* error = nullptr;
  const bool started = g_app_info_launch_uris(association.app.get(), uris, nullptr, &error);
  g_list_free(uris);
  if (error != nullptr) {
    g_error_free(error);
  }
  return started;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) KelvorBrowserResult kelvor_open_in_browser(
    const char* pagePath, const char* url, char* programPath, size_t programPathSize) {
  static_assert(std::is_same_v<decltype(&kelvor_open_in_browser), KelvorOpenInBrowser>);
  if (programPathSize == 0) {
    return kKelvorBrowserNone;
  }
  programPath[0] = '\0';
  const Association association = FindAssociatedProgram(pagePath, programPathSize - 1);
  if (!association.app) {
    return kKelvorBrowserNone;
  }
  std::memcpy(programPath, association.programPath.c_str(), association.programPath.size() + 1);
  return StartProgram(association, url) ? kKelvorBrowserStarted : kKelvorBrowserNotStarted;
}
