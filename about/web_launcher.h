#pragma once

#include <QByteArray>
#include <QString>
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
  // Messages go to `showMessage`. `tempRoot` is the folder that receives the private folder.
  // `browser` is the desktop's browser lookup and start, null where there is no desktop to ask.
  explicit WebLauncher(ShowMessageFunction showMessage, QString tempRoot = TempPage::DefaultRoot(),
                       const DesktopBrowser* browser = DesktopBrowser::ThroughGio());

  // Opens `sURL` unchanged in the browser, or reports why not. Throws errors::RuntimeError only
  // when the page cannot be removed after a failure; the caller's error trap reports that.
  void WebLaunch(const std::string& sURL) const;

  // The page's name and its exact content (a quoted "<HTML> <\HTML>" and CR LF, 18 bytes).
  static QString PageName();
  static QByteArray PageContent();
  // The longest program path the launcher accepts.
  static constexpr int kMaxProgramPath = 255;

 private:
  ShowMessageFunction m_showMessage;
  QString m_tempRoot;
  const DesktopBrowser* m_browser;
};

}  // namespace kelvor
