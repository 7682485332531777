#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kelvor {

struct GioApi;

// The desktop's browser for a web page, found through GIO and started as every other program the
// game starts (child_process).
//
// GIO is opened from the system's library folders at the first use rather than linked: GIO and
// the libraries under it (mount tables, SELinux, the GObject type system) take over a megabyte
// when mapped, and most games never open the maker's web site. It is opened by its library name
// only, so the loader looks where the system keeps its libraries and never in the folder the
// game was started from.
//
// Finding the browser may wait on other processes and devices: GIO's file system layer may ask
// the session bus (GVfs), and the desktop's files may lie on a file system that has stopped
// answering. So the search runs on a worker thread and the caller waits for it only so long. The
// worker only finds the application and its command; the caller starts it.
class DesktopBrowser {
 public:
  enum class Result {
    kNoProgram,   // no application takes such a page and an address
    kNotStarted,  // one was found, but it could not be started (or not in time)
    kStarted,
  };

  // Starts a program from its command line, the program's full path first; true once it runs.
  using StartProgram = std::function<bool(const std::vector<std::string>& argv)>;

  // GIO's functions, opened at the first call and kept for the rest of the run; null without a
  // usable GIO on the system, which leaves the game without a browser but otherwise whole.
  static const DesktopBrowser* Get();

  // Drops the relative folders from the XDG search lists of this process's environment (and a
  // relative XDG home), where GLib would look for applications and associations under the
  // working folder. Must run before GLib's first look at them, and while no other thread reads
  // or changes the environment: start-up runs it first thing (and so does a test program).
  static void KeepSearchPathsAbsolute();

  // Asks the desktop for the default application of the content type of the page at
  // `pagePath`, and starts it with `url` as its address. When the default needs a terminal or
  // takes no addresses, the other applications recommended for the type are tried in the
  // desktop's order. The command is the entry's own (its Exec line, split as GLib splits it, with
  // its field codes filled in), and `start` starts its program as the exact file that was looked
  // for: a full path of at most `maxProgramPath` bytes, or a bare name found in a folder of PATH
  // that is a full path. Returns after at most `limit` (kNotStarted when the desktop has not
  // answered by then); a search still running then is left to end on its own and starts
  // nothing.
  Result Open(const std::string& pagePath, const std::string& url, std::chrono::milliseconds limit,
              std::size_t maxProgramPath, const StartProgram& start) const;

 private:
  explicit DesktopBrowser(const GioApi& gio) : m_gio(gio) {}

  const GioApi& m_gio;
};

}  // namespace kelvor
