#include <QApplication>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "app/desktop_services.h"
#include "app/mod_kelvor.h"
#include "app/start_heartbeat.h"
#include "mainwindow/frm_land.h"
#include "platform/child_process.h"
#include "platform/desktop_browser.h"
#include "platform/start_watch.h"
#include "shared/app_info.h"

namespace {

// Qt's messages while the application reaches the window system: without a display Qt prints
// half a screen about plugins and aborts with a core dump, where the player should read one
// line. Qt's threads may log meanwhile, hence the lock.
struct HeldMessage {
  QtMsgType type;
  QByteArray category;
  QString text;
};
std::mutex g_heldLock;
std::vector<HeldMessage>* g_held = nullptr;

void HoldStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  std::unique_lock lock(g_heldLock);
  if (g_held == nullptr) {
    // Logged by another thread while start-up handed back to the handler before this one.
    lock.unlock();
    qt_message_output(type, context, text);
    return;
  }
  if (type == QtFatalMsg) {
    // With a display named, Qt's first message is the reason (an unreachable display, a plugin
    // that cannot load); the fatal last one only says that no plugin worked.
    const bool noDisplay =
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QString reason = noDisplay ? QStringLiteral(
                                           "no display was found (DISPLAY and "
                                           "WAYLAND_DISPLAY are unset)")
                           : !g_held->empty() ? g_held->front().text
                                              : text;
    std::fprintf(stderr, "Tandrel Lunar Landing: cannot open a window: %s\n",
                 qPrintable(reason.section(QLatin1Char('\n'), 0, 0)));
    std::_Exit(1);
  }
  g_held->push_back({type, QByteArray(context.category), text});
}

}  // namespace

int main(int argc, char* argv[]) {
  // What the game's parent left open is not for the programs the game starts, whoever starts
  // them: alsa-lib's pipe plugin passes on whatever it finds open.
  kelvor::child_process::MarkInheritedDescriptorsCloseOnExec();
  // A write to a pipe or socket whose reader has gone fails with EPIPE instead of ending the
  // game (GLib would set this at its first socket anyway). Started programs do not inherit it.
  std::signal(SIGPIPE, SIG_IGN);
  // While this is the only thread: the environment is changed here and nowhere later.
  kelvor::DesktopBrowser::KeepSearchPathsAbsolute();
  // The game asks no desktop service it does not need. Its menus stay in the window, where its
  // design puts the menu bar, so Qt never asks a global-menu registrar; and it takes no text
  // input, so it starts without an input method (Qt then asks no IBus, Fcitx or portal).
  // Programs the game starts keep the player's input method.
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  kelvor::child_process::SetForGameOnly("QT_IM_MODULE", "none");
  // What else Qt asks on the window's thread (the session bus, the screen-reader bridge) is
  // watched rather than foreseen; a start that stops moving is made again without them.
  kelvor::start_watch::Begin(argv);

  // X when there is one, also under Wayland (XWayland): a Wayland client cannot centre its
  // windows, and Qt's Wayland title bar offers minimize and maximize, which the main window must
  // not have. As an argument, it leaves started programs to choose for themselves; the player's
  // QT_QPA_PLATFORM or own -platform, which Qt reads after this one, still decides.
  const bool preferX11 =
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY");
  std::vector<char*> arguments(argv, argv + argc);
  char platformOption[] = "-platform";
  char platforms[] = "xcb;wayland";
  if (preferX11) arguments.insert(arguments.begin() + 1, {platformOption, platforms});
  int argumentCount = static_cast<int>(arguments.size());
  arguments.push_back(nullptr);

  // Messages held while the window system is reached are passed on once it has been.
  std::vector<HeldMessage> held;
  g_held = &held;
  const QtMessageHandler previous = qInstallMessageHandler(&HoldStartMessage);
  QApplication app(argumentCount, arguments.data());
  qInstallMessageHandler(previous);
  {
    const std::lock_guard lock(g_heldLock);
    g_held = nullptr;
  }
  // An X server that was named but could not be reached, with Wayland taking over, is the
  // silent fallback the choice above asks for, not news for the player.
  const bool fellBackToWayland = preferX11 && QGuiApplication::platformName() != u"xcb";
  for (const HeldMessage& message : held) {
    if (fellBackToWayland &&
        (message.category == "qt.qpa.xcb" || message.category == "qt.qpa.plugin")) {
      continue;
    }
    const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
    qt_message_output(message.type, context, message.text);
  }

  auto* heartbeat = new kelvor::StartHeartbeat(&app);
  kelvor::app_info::NameApplication(app);
  kelvor::DesktopServices services;
  kelvor::modKelvor::StartupOptions options;
  options.mainWindowLoaded = [heartbeat](QWidget* mainWindow) { heartbeat->WatchFor(mainWindow); };
  kelvor::modKelvor::Main(
      services, [](kelvor::Services& given) -> QWidget* { return new kelvor::frmLand(given); },
      options);
  const int result = app.exec();
  kelvor::start_watch::End();

  // Windows still alive when the loop ends go before the application object they need.
  QList<QPointer<QWidget>> windows;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->parentWidget() == nullptr) windows.append(widget);
  }
  for (const QPointer<QWidget>& window : windows) delete window.data();
  return result;
}
