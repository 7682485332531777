// Peak memory of the game's process over many openings of the About dialog, each opened and
// closed as the Help menu does it: a fresh dialog, shown modal, closed with its OK button. The
// dialog must not grow the game: the figure after the last opening should stay close to the one
// after the first.
//
//   cmake --build <build dir> --target about_memory_bench
//   xvfb-run -a <build dir>/bench/about_memory_bench [openings, 500 unless given]
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "about/frm_kv_about.h"
#include "shared/app_info.h"
#include "shared/services.h"

namespace {

// The process's peak resident memory so far, in MB (VmHWM).
double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

// Nothing the dialog could ask for happens during the run.
class QuietServices : public kelvor::Services {
 public:
  void ShowMessage(const QString& text, int) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
  void ShowHelpContents(const QString&) override {}
  void ShowHelpTopic(const QString&, int) override {}
  void WebLaunch(const std::string&) override {}
  void StartSysInfo() override {}
  void Beep() override {}
  double MonotonicSeconds() override { return 0; }
};

void OpenOnce(kelvor::Services& services, QWidget* owner) {
  kelvor::frmKVAbout dialog(services, owner);
  QTimer::singleShot(
      0, &dialog, [&dialog] { dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click(); });
  dialog.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  kelvor::app_info::NameApplication(app);
  const int openings = argc > 1 ? std::atoi(argv[1]) : 500;
  QuietServices services;
  QWidget owner;
  owner.setWindowIcon(kelvor::app_info::WindowIcon());
  owner.resize(474, 380);
  owner.show();
  QApplication::processEvents();
  const double before = PeakMegabytes();
  OpenOnce(services, &owner);
  const double first = PeakMegabytes();
  for (int i = 1; i < openings; ++i) OpenOnce(services, &owner);
  const double last = PeakMegabytes();
  std::printf("platform %s, %d openings of the About dialog\n",
              qPrintable(QGuiApplication::platformName()), openings);
  std::printf("peak memory: %.1f MB before, %.1f MB after the first, %.1f MB after the last\n",
              before, first, last);
  std::printf("growth after the first opening: %.1f KB an opening\n",
              openings > 1 ? (last - first) * 1024.0 / (openings - 1) : 0.0);
  return 0;
}
