#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>

#include "shared/message_box.h"

namespace kelvor {

// Opens a web address in the browser the desktop associates with web pages.
//
// The browser is found the way a file manager finds the program for an HTML page: a throw-away
// page "temp.HTM" is written, the desktop is asked for the default application of that page's
// content type, and that application is started with the address as its one argument. The page
// lives in a private folder (mode 0700) made for the launch under the user's temporary folder,
// never in the program's folder, which is read-only once the game is installed and would invite
// a symlink attack if it were shared. Page and folder are gone when WebLaunch returns or throws,
// and when SIGTERM, SIGINT or SIGHUP ends the game while it runs (the game then ends with the
// usual status for that signal). The desktop is asked through GIO, opened from the system's
// libraries at the first launch; without it no browser is found, and no page is written. The
// desktop gets a few seconds to find and start the browser (a session bus that has stopped
// answering must not hold the window); after that the launch counts as not started.
//
// Failures are told in a critical message box: "Could not find associated Browser" or "Web site
// not located" (each followed by a line break and "0: "), or, for a file error, the error's
// number, ": " and its description.
class WebLauncher {
 public:
  // Messages go to `showMessage`. `tempRoot` is the folder that receives the private folder;
  // the user's temporary folder unless a caller names another.
  explicit WebLauncher(ShowMessageFunction showMessage, QString tempRoot = DefaultTempRoot());

  // Opens `sURL` unchanged in the browser, or reports why not. Throws flight::RuntimeError only
  // when the page cannot be removed after a failure; the caller's error trap reports that.
  void WebLaunch(const std::string& sURL) const;

  // The program that the last WebLaunch found for the page: its executable as a full path, at
  // most 255 characters; empty when none was found.
  const QString& ProgramPath() const { return m_programPath; }

  // Called with the page's path once the page is written, before the browser is looked up.
  // Lets tests look at the page while it exists.
  void SetPageWrittenHook(std::function<void(const QString& pagePath)> hook) {
    m_pageWritten = std::move(hook);
  }

  // $TMPDIR when it is a full path to a folder the user may create files in, /tmp otherwise.
  static QString DefaultTempRoot();
  // The page's name and its exact content (a quoted "<HTML> <\HTML>" and CR LF, 18 bytes).
  static QString PageName();
  static QByteArray PageContent();
  // The longest program path the launcher accepts.
  static constexpr int kMaxProgramPath = 255;

 private:
  ShowMessageFunction m_showMessage;
  QString m_tempRoot;
  mutable QString m_programPath;
  std::function<void(const QString&)> m_pageWritten;
};

}  // namespace kelvor
