#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace kelvor {

// The desktop's browser for a web page: the program that opens such a page, started with an
// address. The game's is found through GIO (ThroughGio); a test may put its own in front of it.
class DesktopBrowser {
 public:
  enum class Result {
    kNoProgram,   // no application takes such a page and an address
    kNotStarted,  // one was found, but it could not be started (or not in time)
    kStarted,
  };

  virtual ~DesktopBrowser() = default;

  // GIO's, opened at the first call and kept; null without a usable GIO (no browser, no harm).
  // GIO is opened by name rather than linked: mapped, it and its libraries take over a
  // megabyte, and most games never open the web site.
  static const DesktopBrowser* ThroughGio();

  // Drops relative folders from the XDG search lists and homes: GLib would find applications
  // and associations under the working folder there. Before GLib's first look, while the
  // process has a single thread.
  static void KeepSearchPathsAbsolute();

  // Starts the default application for the content type of `pagePath` with `url`, or else the
  // first recommended one that takes addresses and needs no terminal, as every program the game
  // starts. Its program, a full path or a name found in PATH's full paths, may have at most
  // `maxProgramPath` bytes. Returns within `limit` (kNotStarted when the desktop has not
  // answered); a late search starts nothing.
  virtual Result Open(const std::string& pagePath, const std::string& url,
                      std::chrono::milliseconds limit, std::size_t maxProgramPath) const = 0;
};

}  // namespace kelvor
