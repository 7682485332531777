#include "app/desktop_services.h"

#include <chrono>

#include "about/sys_info_launcher.h"
#include "about/web_launcher.h"
#include "app/help_failure_message.h"
#include "platform/key_store.h"
#include "shared/message_box.h"

namespace kelvor {

DesktopServices::DesktopServices()
    : m_help([this](const HelpFailure& failure) {
        ShowMessage(HelpFailureMessage(failure), kMsgCritical);
      }) {}

void DesktopServices::ShowMessage(const QString& text, int style) { ShowMessageBox(text, style); }

void DesktopServices::ShowHelpContents(const QString& helpFile) { m_help.ShowContents(helpFile); }

void DesktopServices::ShowHelpTopic(const QString& helpFile, int helpContextID) {
  m_help.ShowTopic(helpFile, helpContextID);
}

// The launchers keep nothing between two uses: each use reads the desktop and the key store
// afresh, as the player may have changed them meanwhile.
void DesktopServices::WebLaunch(const std::string& url) {
  WebLauncher([this](const QString& text, int style) { ShowMessage(text, style); }).WebLaunch(url);
}

void DesktopServices::StartSysInfo() {
  KeyStore registry(KeyStore::kDefaultPath);
  SysInfoLauncher([this](const QString& text, int style) { ShowMessage(text, style); }, registry)
      .StartSysInfo();
}

void DesktopServices::Beep() { m_alarm.Beep(); }

double DesktopServices::MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace kelvor
