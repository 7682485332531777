#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>

#include "platform/desktop_browser.h"
#include "platform/temp_page.h"
#include "shared/message_box.h"

namespace kelvor {

// Opens a web address in the browser the desktop associates with web pages.
//
// The browser is found the way a file manager finds the program for an HTML page: a throw-away
// page "temp.HTM" is written, the desktop is asked for the default application of that page's
// content type, and that application is started with the address as its one argument. The page
// lives in a private folder made for the launch under the user's temporary folder, never in the
// program's folder, which is read-only once the game is installed (see TempPage, which also
// removes it when a signal ends the game meanwhile). Page and folder are gone when WebLaunch
// returns or throws. Without a desktop to ask (no usable GIO) no browser is found, and no page
// is written. The desktop gets a few seconds to find and start the browser (a session bus that
// has stopped answering must not hold the window); after that the launch counts as not started.
//
// Failures are told in a critical message box: "Could not find associated Browser" or "Web site
// not located" (each followed by a line break and "0: "), or, for a file error, the error's
// number, ": " and its description.
class WebLauncher {
 public:
  // Asks the desktop which program opens the page at `pagePath` and starts it with `url` as its
  // one argument.
  using OpenPage =
      std::function<DesktopBrowser::Result(const std::string& pagePath, const std::string& url)>;

  // Messages go to `showMessage`. `tempRoot` is the folder that receives the private folder.
  // `openPage` is the desktop's browser lookup and start, empty where there is no desktop to ask.
  explicit WebLauncher(ShowMessageFunction showMessage, QString tempRoot = TempPage::DefaultRoot(),
                       OpenPage openPage = DesktopOpenPage());

  // Opens `sURL` unchanged in the browser, or reports why not. Throws errors::RuntimeError only
  // when the page cannot be removed after a failure; the caller's error trap reports that.
  void WebLaunch(const std::string& sURL) const;

  // The page's name and its exact content (a quoted "<HTML> <\HTML>" and CR LF, 18 bytes).
  static QString PageName();
  static QByteArray PageContent();
  // The longest program path the launcher accepts.
  static constexpr int kMaxProgramPath = 255;
  // The desktop's own lookup, through GIO, with the program started as every program the game
  // starts, or by `start`; empty without a usable GIO.
  static OpenPage DesktopOpenPage();
  static OpenPage DesktopOpenPage(DesktopBrowser::StartProgram start);

 private:
  ShowMessageFunction m_showMessage;
  QString m_tempRoot;
  OpenPage m_openPage;
};

}  // namespace kelvor
