#include "app/app_info.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace kelvor {

namespace {
QString& helpFileSetting() {
  static QString value;
  return value;
}
}  // namespace

void AppInfo::Apply(QCoreApplication& app) {
  app.setApplicationName(Title());
  app.setOrganizationName(CompanyName());
  app.setOrganizationDomain(QStringLiteral("tandrel.example"));
  app.setApplicationVersion(
      QStringLiteral("%1.%2.%3").arg(Major).arg(Minor).arg(Revision));
  if (auto* gui = qobject_cast<QGuiApplication*>(&app)) {
    gui->setApplicationDisplayName(Title());
    gui->setDesktopFileName(QStringLiteral("example.tandrel.LunarLanding"));
  }
}

QString AppInfo::Path() { return QCoreApplication::applicationDirPath(); }

QString AppInfo::HelpFile() { return helpFileSetting(); }

void AppInfo::SetHelpFile(const QString& path) { helpFileSetting() = path; }

}  // namespace kelvor
