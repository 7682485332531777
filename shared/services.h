#pragma once

#include <QString>
#include <string>

namespace kelvor {

// Message box styles: OK only without icon, and the critical icon with OK.
inline constexpr int kMsgOkOnly = 0;
inline constexpr int kMsgCritical = 16;

// What the windows ask of the desktop and the machine: message boxes, the help file and viewer, the
// browser, the system-information program, the alarm and the clock. Start-up hands the real ones
// to every window it makes, the way the flight computer is handed its host; tests hand in fakes.
// A window's whole world is in its constructor.
class Services {
 public:
  virtual ~Services() = default;

  // A modal message box titled with the application title; returns when it is dismissed.
  virtual void ShowMessage(const QString& text, int style) = 0;

  // The application's help file: the one file every help request of the program names. Held
  // here rather than in a global so that each window reads the setting it was handed.
  const QString& HelpFile() const { return m_helpFile; }
  void SetHelpFile(const QString& path) { m_helpFile = path; }

  // The help file's contents, or the topic of a help context number.
  virtual void ShowHelpContents(const QString& helpFile) = 0;
  virtual void ShowHelpTopic(const QString& helpFile, int helpContextID) = 0;

  // Opens the address in the desktop's browser, or tells the player why not. May throw
  // errors::RuntimeError, for the caller's error trap.
  virtual void WebLaunch(const std::string& url) = 0;

  // Starts the system-information program named in the machine's key store, or says there is
  // none.
  virtual void StartSysInfo() = 0;

  // One alarm beep; returns when the tone's time has passed.
  virtual void Beep() = 0;
  // A monotonic clock, in seconds.
  virtual double MonotonicSeconds() = 0;

 private:
  QString m_helpFile;
};

}  // namespace kelvor
