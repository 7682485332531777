#pragma once

#include <QIcon>
#include <QString>

class QCoreApplication;

// Read-only facts about the program.
namespace kelvor::app_info {

inline QString Title() { return QStringLiteral("Tandrel Lunar landing"); }
inline QString ProductName() { return QStringLiteral("Tandrel Lunar Landing"); }
inline QString CompanyName() { return QStringLiteral("Tandrel"); }
inline QString LegalCopyright() { return QStringLiteral("\u00A9 2026 Tandrel \u00B7 GPLv3+"); }
inline QString WebAddress() { return QStringLiteral("https://www.tandrel.example/"); }
// The version the build gives the project.
inline constexpr int kMajor = KELVOR_VERSION_MAJOR;
inline constexpr int kMinor = KELVOR_VERSION_MINOR;
inline constexpr int kRevision = KELVOR_VERSION_PATCH;

// The icon of the program's windows.
QIcon WindowIcon();

// Names the application object after the program (name, organisation, version).
void NameApplication(QCoreApplication& app);

// The program's folder, without a trailing separator.
QString Path();

}  // namespace kelvor::app_info
