#pragma once

#include "platform/alarm_sound.h"
#include "platform/help_viewer.h"
#include "shared/services.h"

namespace kelvor {

// The services of the running game: real message boxes, Qt Assistant, the desktop's browser,
// the system-information program of the machine's key store, the sound card and the system's
// monotonic clock. One object for the whole run, made before the first window.
class DesktopServices : public Services {
 public:
  DesktopServices();

  void ShowMessage(const QString& text, int style) override;
  void ShowHelpContents(const QString& helpFile) override;
  void ShowHelpTopic(const QString& helpFile, int helpContextID) override;
  void WebLaunch(const std::string& url) override;
  void StartSysInfo() override;
  void Beep() override;
  double MonotonicSeconds() override;

 private:
  HelpViewer m_help;  // one viewer per game, reused while it runs
  AlarmSound m_alarm;
};

}  // namespace kelvor
