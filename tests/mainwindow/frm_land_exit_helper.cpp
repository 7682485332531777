// Plays one way of ending the program and reports on stdout how far it got. Run by
// test_frm_land_exit; the scenario is the only argument.
#include <signal.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "mainwindow/frm_land.h"
#include "platform/help_viewer.h"
#include "shared/message_box.h"
#include "tests/fake_services.h"

namespace {
void Say(const char* line) {
  std::puts(line);
  std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) return 2;
  const QByteArray scenario = argv[1];
  // A real message box: the scenarios end the program while one is open.
  struct : FakeServices {
    void ShowMessage(const QString& text, int style) override {
      kelvor::ShowMessageBox(text, style);
    }
  } services;
  kelvor::frmLand w(services);
  w.show();
  if (!QTest::qWaitForWindowActive(&w)) return 4;

  // How the program is asked to end.
  auto end = [&] {
    if (scenario.startsWith("exit")) {
      w.mnuGameExit_Click();
    } else if (scenario.startsWith("ctrl-q")) {
      QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
    } else if (scenario.startsWith("close")) {
      w.close();
    }
    Say("still running");
  };

  if (scenario.endsWith("free-fall")) {
    w.mnuGameStart_Click();
    w.SetThrusterValue(30);
    for (int i = 0; i < 3; ++i) w.cmdBurn_Click();
    int passes = 0;
    QTimer tick;  // runs only in the fall's yields
    QObject::connect(&tick, &QTimer::timeout, [&] {
      if (++passes < 2) return;  // let one alarm second sound first
      if (!w.findChild<QPushButton*>(QStringLiteral("cmdBurn"))->isEnabled()) Say("falling");
      end();
    });
    tick.start(0);
    w.cmdBurn_Click();
    Say("fall ended");
  } else if (scenario.endsWith("message-box")) {
    // Asks for the end once the box is up, or after ten seconds without one.
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
      const bool open = QApplication::activeModalWidget() != nullptr;
      if (!open && waited.elapsed() < 10000) return;
      poll.stop();
      if (open) Say("box open");
      end();
    });
    poll.start(10);
    services.ShowMessage(QStringLiteral("Houston"), kelvor::kMsgOkOnly);
    Say("box closed");
  } else if (scenario.endsWith("help-viewer")) {
    // A viewer that takes three seconds to end when told to: the game must not wait for it. Its
    // files go to the test's folder, as the program's end runs no clean-up of its own.
    const QString folder = qEnvironmentVariable("KELVOR_EXIT_FOLDER");
    const QString viewerPath = folder + QStringLiteral("/slow-viewer");
    const QString helpFile = folder + QStringLiteral("/Kelvor.hlp");
    QFile script(viewerPath);
    QFile help(helpFile);
    if (!script.open(QIODevice::WriteOnly) || !help.open(QIODevice::WriteOnly)) return 5;
    script.write(
        "#!/bin/sh\ntrap 'sleep 3; exit 0' TERM\necho $$ > \"$0.pid\"\n"
        "while :; do sleep 0.1; done\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    kelvor::HelpViewer viewer([](const kelvor::HelpFailure&) {}, viewerPath);
    viewer.ShowContents(helpFile);
    // The viewer is under way, its slow ending set up, once it has written its whole pid.
    QFile pidFile(viewerPath + QStringLiteral(".pid"));
    pid_t pid = 0;
    (void)QTest::qWaitFor(
        [&] {
          if (!pidFile.open(QIODevice::ReadOnly)) return false;
          const QByteArray line = pidFile.readAll();
          pidFile.close();
          if (line.endsWith('\n')) pid = line.trimmed().toInt();
          return pid > 0;
        },
        10000);
    if (pid > 0 && ::kill(pid, 0) == 0) Say("viewer running");
    end();
  } else if (scenario.endsWith("nested-loop")) {
    QEventLoop nested;
    QTimer::singleShot(0, [&] {
      Say("in nested loop");
      end();
    });
    nested.exec();
    Say("nested loop ended");
  } else {
    return 2;
  }
  return 3;
}
