#include "about/web_launcher.h"

#include <chrono>

#include "errors/runtime_error.h"
#include "shared/message_box.h"

namespace kelvor {

namespace {

// How long the web command waits for the desktop to find and start the browser. A session bus
// that has stopped answering would otherwise hold the window for ever; a desktop in working
// order answers within a fraction of a second.
constexpr std::chrono::seconds kDesktopWait{5};

// The three ways a launch can fail, as the message tells them.
enum class Failure { kNone, kNoProgram, kNotStarted };

}  // namespace

WebLauncher::WebLauncher(ShowMessageFunction showMessage, QString tempRoot,
                         const DesktopBrowser* browser)
    : m_showMessage(std::move(showMessage)), m_tempRoot(std::move(tempRoot)), m_browser(browser) {}

QString WebLauncher::PageName() { return QStringLiteral("temp.HTM"); }

QByteArray WebLauncher::PageContent() { return QByteArrayLiteral("\"<HTML> <\\HTML>\"\r\n"); }

void WebLauncher::WebLaunch(const std::string& sURL) const {
  Failure failure = Failure::kNone;
  int errorNumber = 0;
  QString errorDescription;
  // Whatever of the page is left goes with this, on every way out.
  TempPage page;

  try {
    // The page is written only once a launch can be attempted: without a desktop to ask there
    // is nothing to ask about it.
    if (m_browser == nullptr) {
      failure = Failure::kNoProgram;
    } else {
      page.Write(m_tempRoot, PageName(), PageContent());
      const DesktopBrowser::Result result =
          m_browser->Open(page.Path().toStdString(), sURL, kDesktopWait, kMaxProgramPath);
      if (result == DesktopBrowser::Result::kNoProgram) {
        failure = Failure::kNoProgram;
      } else if (result == DesktopBrowser::Result::kNotStarted) {
        failure = Failure::kNotStarted;
      } else {
        page.Remove();
        return;
      }
    }
  } catch (const errors::RuntimeError& e) {
    errorNumber = e.Number();
    errorDescription = QString::fromStdString(e.Description());
  }

  // Every failure ends here. An error while removing the page now leaves the launcher to the
  // caller's error trap.
  page.RemoveWhatIsLeft();
  QString message;
  if (failure == Failure::kNoProgram) {
    message = QStringLiteral("Could not find associated Browser\n");
  } else if (failure == Failure::kNotStarted) {
    message = QStringLiteral("Web site not located\n");
  }
  message += QString::number(errorNumber) + QStringLiteral(": ") + errorDescription;
  m_showMessage(message, kMsgCritical);
}

}  // namespace kelvor
