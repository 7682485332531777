#pragma once

#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <memory>

#include "shared/help_failure.h"

class QObject;

namespace kelvor {

// The help viewer: asks Qt Assistant to show the program's help collection, and keeps one
// viewer per running game, reusing it while it runs. Never waits for it.
//
// The help file the windows name is the English collection; the help in every other language is
// a collection of its own beside it, and the viewer is handed the one in the player's language,
// so that its contents and index hold that language alone. Assistant is started with it and its
// remote control switched on; every request is one line of remote-control commands written to
// its standard input. A viewer that the user has closed is started again by the next request,
// and so is one that ends, or can no longer be written to, before it has taken a request.
//
// A request that cannot be shown is reported, then the game goes on: a help file that is missing
// or unreadable (checked at once, before any viewer starts), a viewer that cannot be started, and
// a viewer that ends with an error soon after its start (Assistant ends that way when it cannot
// open the collection or the display). Both of the last arrive through the viewer's signals, so
// nothing waits for the viewer. A viewer that ends with status
// 0, one the user closes after the first seconds and one the game itself closes say nothing.
// The viewer's own output stays off the game's terminal, except after a failure that is
// reported, where it tells the reason in the viewer's words.
class HelpViewer {
 public:
  // A viewer driven through `program`, which must understand Assistant's command line and
  // remote control (tests hand in a stand-in that records what it is told).
  // An end within `earlyExitWindow` of the start counts as the viewer failing to show the help.
  // Failures go to `report`.
  explicit HelpViewer(ReportHelpFailure report, QString program = DefaultProgram(),
                      std::chrono::milliseconds earlyExitWindow = std::chrono::seconds(5));
  ~HelpViewer();
  HelpViewer(const HelpViewer&) = delete;
  HelpViewer& operator=(const HelpViewer&) = delete;

  // The contents topic of the help file.
  void ShowContents(const QString& helpFile);
  // The topic with this help context number.
  void ShowTopic(const QString& helpFile, int topic);

  // Ends the viewer this object started, if it still runs. Done when the game quits, so that no
  // help window outlives the game it belongs to.
  void Close();

  // Qt Assistant in the Qt binaries folder.
  static QString DefaultProgram();
  // The command line that opens the collection `collectionFile` with the remote control on.
  static QStringList Arguments(const QString& collectionFile);

  // The languages the help is written in, as ISO 639 codes, English first.
  static QStringList Languages();
  // The language of the help for a player whose user-interface languages are `uiLanguages`,
  // most wanted first: the first one the help is written in, English when there is none.
  static QString Language(const QStringList& uiLanguages);
  // The namespace of the help in `language` inside the help collection.
  static QString Namespace(const QString& language = QStringLiteral("en"));
  // The keyword identifier the help collection gives the topic of a help context number.
  static QString TopicIdentifier(int topic, const QString& language = QStringLiteral("en"));
  // The address of the contents topic inside the help collection.
  static QString ContentsUrl(const QString& language = QStringLiteral("en"));
  // The collection handed to the viewer for the help file `helpFile` (the English collection),
  // in the help language of a player with these user-interface languages (by default the
  // desktop's): `helpFile` itself in English, the file beside it with the language's code after
  // an underscore in every other ("Kelvor_de.hlp").
  static QString CollectionFile(const QString& helpFile,
                                const QStringList& uiLanguages = QLocale::system().uiLanguages());
  // The remote-control commands of each request, without its line end, in the help language of
  // the player as above: the panes and the page.
  static QString ContentsCommand(const QStringList& uiLanguages = QLocale::system().uiLanguages());
  static QString TopicCommand(int topic,
                              const QStringList& uiLanguages = QLocale::system().uiLanguages());
  // The command that selects the page shown in the viewer's contents. It follows the page in the
  // same line once the viewer has settled after its start, and comes in a line of its own as
  // soon as it has otherwise: until then, Assistant is still building its contents.
  static QString SyncCommand();

 private:
  // Whether the viewer this object started still runs, as far as the event loop has heard.
  bool IsRunning() const;
  // A new request of the player.
  void Request(const QString& helpFile, const QString& command);
  // Hands `command` to a viewer of `collection`, starting one if none runs with it.
  void Send(const QString& collection, const QString& command);
  bool IsRunningWith(const QString& collection) const;
  void Start(const QString& collection);
  void Write(const QString& line);
  // Watches the viewer's processor time until it stays still: the viewer has then taken what
  // it was given, and has built its contents.
  void WatchUntilSettled();
  void OnWatch();
  // The request handed to a viewer that ended, or could not be written to, before it settled
  // goes to a new viewer, once per request.
  void ResendLostRequest();
  void OnError(QProcess::ProcessError error);
  void OnFinished(int exitCode, QProcess::ExitStatus status);
  // Reports the failure once the event loop next runs, outside the viewer's signal, so that a
  // request made while its message is open cannot pull the process out from under that signal.
  void Report(const HelpFailure& failure);

  ReportHelpFailure m_report;
  QString m_program;
  std::chrono::milliseconds m_earlyExitWindow;
  QString m_collection;  // the collection the running viewer was started with
  std::unique_ptr<QProcess> m_process;
  QString m_request;       // the commands of the last request handed to the viewer
  bool m_resent = false;   // that request has gone to a new viewer once already
  quint64 m_requests = 0;  // the player's requests so far
  bool m_settled = false;  // the viewer has taken all it was given
  bool m_contentsBuilt = false;  // the viewer has settled once since its start
  bool m_syncOwed = false;       // a page was shown before the contents were built
  bool m_writeFailed = false;
  QByteArray m_output;  // the end of the viewer's output, told after a reported failure
  // The viewer's processor time at the last look, and the looks since it last changed.
  qint64 m_cpuTicks = -1;
  int m_stillLooks = 0;
  QElapsedTimer m_watching;
  // Since the start of the viewer; an end with an error within m_earlyExitWindow is reported.
  QElapsedTimer m_started;
  // The context of the deferred messages and the watch: they die with this object.
  std::unique_ptr<QObject> m_reporter;
  std::unique_ptr<QTimer> m_watch;
  // Lives as long as this object, so the quit hook never reaches a destroyed viewer.
  std::unique_ptr<QObject> m_quitHook;
};

}  // namespace kelvor
