#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QObject;
class QProcess;

namespace kelvor {

// The help viewer: asks Qt Assistant to show the program's help collection, and keeps one
// viewer per running game, reusing it while it runs. Never waits for it.
//
// Assistant is started with the collection and its remote control switched on; every request
// is one line of remote-control commands written to its standard input. A viewer that the user
// has closed is started again by the next request. Whatever the viewer makes of a missing or
// broken help file is its own business: the requests return normally and show no message.
class HelpViewer {
 public:
  static HelpViewer& Instance();

  // A viewer driven through `program`, which must understand Assistant's command line and
  // remote control (tests hand in a stand-in that records what it is told).
  explicit HelpViewer(QString program = DefaultProgram());
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
  // Whether the viewer this object started still runs, as far as the event loop has heard.
  bool IsRunning() const;

  // Qt Assistant in the Qt binaries folder.
  static QString DefaultProgram();
  // The command line that opens `helpFile` with the remote control on.
  static QStringList Arguments(const QString& helpFile);
  // The keyword identifier the help collection gives the topic of a help context number.
  static QString TopicIdentifier(int topic);
  // The address of the contents topic inside the help collection.
  static QString ContentsUrl();
  // The remote-control line of each request, without its line end.
  static QString ContentsCommand();
  static QString TopicCommand(int topic);

 private:
  void Send(const QString& helpFile, const QString& command);
  bool IsRunningWith(const QString& helpFile) const;
  void Start(const QString& helpFile);

  QString m_program;
  QString m_helpFile;  // the collection the running viewer was started with
  std::unique_ptr<QProcess> m_process;
  // Lives as long as this object, so the quit hook never reaches a destroyed viewer.
  std::unique_ptr<QObject> m_quitHook;
};

}  // namespace kelvor
