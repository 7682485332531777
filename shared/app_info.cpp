#include "shared/app_info.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace kelvor::app_info {

void NameApplication(QCoreApplication& app) {
  app.setApplicationName(Title());
  app.setOrganizationName(CompanyName());
  app.setOrganizationDomain(QStringLiteral("tandrel.example"));
  app.setApplicationVersion(QStringLiteral("%1.%2.%3").arg(kMajor).arg(kMinor).arg(kRevision));
  if (auto* gui = qobject_cast<QGuiApplication*>(&app)) {
    // No display name of its own: once one is set, Qt appends it to every window title that does
    // not already end with it ("Tandrel Lunar Landing -- Tandrel Lunar landing" in a task bar),
    // and each window's caption is meant to be its whole title. Unset, it reads as the
    // application name wherever Qt asks for it.
    gui->setDesktopFileName(QStringLiteral("example.tandrel.LunarLanding"));
  }
}

QIcon WindowIcon() {
  // Bitmaps, not the SVG drawing: an SVG window icon loads the SVG plugin at start-up and renders
  // every size the window manager asks for, while a title bar or task switcher needs 64 pixels
  // at most. Made once: every icon made from files renders its own pixmaps into the pixmap
  // cache, so a fresh one for each About dialog would grow the game with every opening. Never
  // destroyed, as its pixmaps must not outlive the application object.
  static const QIcon* const icon = [] {
    auto* made = new QIcon;
    made->addFile(QStringLiteral(":/images/icon32.png"), QSize(32, 32));
    for (int size : {16, 48, 64}) {
      made->addFile(
          QStringLiteral(":/icons/hicolor/%1x%1/apps/example.tandrel.LunarLanding.png").arg(size),
          QSize(size, size));
    }
    return made;
  }();
  return *icon;
}

QString Path() { return QCoreApplication::applicationDirPath(); }

}  // namespace kelvor::app_info
