#pragma once

#include <chrono>
#include <string>

namespace kelvor {

struct GioApi;

// The desktop's browser for a web page, found and started through GIO.
//
// GIO is opened from the system's library folders at the first use rather than linked: GIO and
// the libraries under it (mount tables, SELinux, the GObject type system) take over a megabyte
// when mapped, and most games never open the maker's web site. It is opened by its library name
// only, so the loader looks where the system keeps its libraries and never in the folder the
// game was started from.
//
// Finding and starting the browser may wait on other processes: GIO's file system layer and the
// launch itself talk to the session bus, and a bus daemon that has stopped answering would hold
// them forever. So that part runs on a worker thread and the caller waits for it only so long.
class DesktopBrowser {
 public:
  enum class Result {
    kNoProgram,   // no application takes such a page and an address
    kNotStarted,  // one was found, but it could not be started (or not in time)
    kStarted,
  };

  // GIO's functions, opened at the first call and kept for the rest of the run; null without a
  // usable GIO on the system, which leaves the game without a browser but otherwise whole.
  static const DesktopBrowser* Get();

  // Drops the relative folders from the XDG search lists of this process's environment (and a
  // relative XDG home), where GLib would look for applications and associations under the
  // working folder. Must run before GLib's first look at them, and while no other thread reads
  // the environment: start-up runs it first thing, and Get runs it once more for programs
  // without that start-up.
  static void KeepSearchPathsAbsolute();

  // Asks the desktop for the default application of the content type of the page at
  // `pagePath`, and starts it with `url` as its one argument. Returns after at most `limit`
  // (kNotStarted when the desktop has not answered by then); a search still running then is
  // left to end on its own, no longer looks at the page and starts nothing, unless its launch
  // had begun before the limit and then overruns a further second. `programPath`
  // receives the application's executable as a full path of at most `maxProgramPath` bytes
  // whenever one was found, and an empty string otherwise. A bare program name counts only when
  // it is found in a folder of PATH that is a full path, and the launch starts exactly the file
  // found, not the name looked up once more.
  Result Open(const std::string& pagePath, const std::string& url,
              std::chrono::milliseconds limit, std::size_t maxProgramPath,
              std::string& programPath) const;

 private:
  explicit DesktopBrowser(const GioApi& gio) : m_gio(gio) {}

  const GioApi& m_gio;
};

}  // namespace kelvor
