#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>

#include "platform/help_failure.h"
#include "platform/help_protocol.h"

class QObject;

namespace kelvor {

// Qt Assistant showing the help, one viewer per game, driven by remote-control lines
// (help_protocol) on its standard input and never waited for. It gets the collection in the
// player's language, so its contents and index hold that language alone, or English where that
// language's collection is missing. A viewer the player closed stays closed until the next request;
// one that could not take a request (it had ended when the request was written) is started again
// with it. Reported, then the game goes on: a missing or unreadable help file (checked before any
// start), a viewer that cannot start, and one that ends with an error within the first seconds (no
// collection or display). The viewer's output is kept from the terminal; its last lines are
// shown only after such an early end.
class HelpViewer {
 public:
  // `program` must speak Assistant's command line and remote control (tests pass a stand-in).
  // An end with an error within `earlyExitWindow` of the start is a failure for `report`.
  explicit HelpViewer(ReportHelpFailure report, QString program = help_protocol::DefaultProgram(),
                      std::chrono::milliseconds earlyExitWindow = std::chrono::seconds(5));
  ~HelpViewer();
  HelpViewer(const HelpViewer&) = delete;
  HelpViewer& operator=(const HelpViewer&) = delete;

  void ShowContents(const QString& helpFile);
  // The topic with this help context number.
  void ShowTopic(const QString& helpFile, int helpContextID);

  // Ends the viewer, if it still runs, quietly: before a viewer of another collection starts, on
  // the application's aboutToQuit and in the destructor. A game that ends through std::_Exit
  // leaves the viewer to the kernel, which kills it with the game (see Start).
  void Close();

 private:
  // As far as the event loop has heard.
  bool IsRunning() const;
  // helpContextID 0: the contents.
  void Request(const QString& helpFile, int helpContextID);
  void Send(const QString& collection, const QString& command);
  bool IsRunningWith(const QString& collection) const;
  void Start(const QString& collection);
  void Write(const QString& line);
  // A viewer whose processor time stays still has taken its input and built its contents.
  void WatchUntilSettled();
  void OnWatch();
  // Once per request, to a new viewer, when the old one could not take it.
  void ResendLostRequest();
  void OnError(QProcess::ProcessError error);
  void OnFinished(int exitCode, QProcess::ExitStatus status);
  // Deferred to the event loop: a request made while the message is open must not destroy the
  // process inside its own signal.
  void Report(const HelpFailure& failure);

  ReportHelpFailure m_report;
  QString m_program;
  std::chrono::milliseconds m_earlyExitWindow;
  QString m_collection;  // the running viewer's
  std::unique_ptr<QProcess> m_process;
  QString m_request;  // the last request, kept to resend
  bool m_resent = false;
  quint64 m_requests = 0;           // tells a queued resend that a newer request came
  bool m_contentsBuilt = false;     // settled once since its start
  bool m_syncOwed = false;          // a page was shown before the contents were built
  bool m_requestUnwritten = false;  // the last request is still on its way into the pipe
  bool m_lost = false;              // the last request reached no running viewer
  QByteArray m_output;  // the end of the viewer's output, told after an early failing end
  qint64 m_cpuTicks = -1;
  int m_stillLooks = 0;
  QElapsedTimer m_watching;
  QElapsedTimer m_started;
  // Owned here so that the deferred calls, the watch and the quit hook die with this object and
  // never reach a destroyed viewer.
  std::unique_ptr<QObject> m_reporter;
  std::unique_ptr<QTimer> m_watch;
  std::unique_ptr<QObject> m_quitHook;
};

}  // namespace kelvor
