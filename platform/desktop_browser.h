#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kelvor {

struct GioApi;

// The desktop's browser for a web page, found through GIO. GIO is opened by name at the first
// use rather than linked: mapped, it and its libraries take over a megabyte, and most games
// never open the web site. The search may wait on GVfs or a hung file system, so it runs on a
// worker thread the caller waits for only so long; only the caller starts the browser.
class DesktopBrowser {
 public:
  enum class Result {
    kNoProgram,   // no application takes such a page and an address
    kNotStarted,  // one was found, but it could not be started (or not in time)
    kStarted,
  };

  // Starts a command line whose program is a full path; true once it runs.
  using StartProgram = std::function<bool(const std::vector<std::string>& argv)>;

  // Opens GIO at the first call and keeps it; null without a usable GIO (no browser, no harm).
  static const DesktopBrowser* Get();

  // Drops relative folders from the XDG search lists and homes: GLib would find applications
  // and associations under the working folder there. Before GLib's first look, while the
  // process has a single thread.
  static void KeepSearchPathsAbsolute();

  // Starts the default application for the content type of `pagePath` with `url`, or else the
  // first recommended one that takes addresses and needs no terminal. Its program, a full path or
  // a name found in PATH's full paths, may have at most `maxProgramPath` bytes. Returns within
  // `limit` (kNotStarted when the desktop has not answered); a late search starts nothing.
  Result Open(const std::string& pagePath, const std::string& url, std::chrono::milliseconds limit,
              std::size_t maxProgramPath, const StartProgram& start) const;

 private:
  explicit DesktopBrowser(const GioApi& gio) : m_gio(gio) {}

  const GioApi& m_gio;
};

}  // namespace kelvor
