#pragma once

#include <QIcon>
#include <QString>

class QCoreApplication;

namespace kelvor {

// Read-only facts about the program.
class AppInfo {
 public:
  static QString Title() { return QStringLiteral("Tandrel Lunar landing"); }
  static QString ProductName() { return QStringLiteral("Tandrel Lunar Landing"); }
  static QString CompanyName() { return QStringLiteral("Tandrel"); }
  static QString LegalCopyright() { return QStringLiteral("\u00A9 2026 Tandrel \u00B7 GPLv3+"); }
  static QString WebAddress() { return QStringLiteral("https://www.tandrel.example/"); }
  static constexpr int Major = 1;
  static constexpr int Minor = 0;
  static constexpr int Revision = 0;

  // The icon of the program's windows.
  static QIcon WindowIcon();

  // Names the application object after the program (name, organisation, version).
  static void Apply(QCoreApplication& app);

  // The program's folder, without a trailing separator.
  static QString Path();
};

}  // namespace kelvor
