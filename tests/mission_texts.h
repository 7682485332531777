#pragma once

// The console texts of a mission, written out here as the player reads them, so that the
// window tests check the game's own strings against an independent copy.

#include <QString>

namespace kelvor::test {

inline const QString kOpening = QStringLiteral(
    "Incoming message: Roger four-niner this is Houston control.\r\n"
    "Fasten your harness safety belt.\r\n\r\n"
    "Take manual control to land on the moon.\r\n"
    "Roger and out.\r\n>..");
inline const QString kAborted = QStringLiteral("\r\nMission aborted\r\n>");
inline const QString kOutOfFuel = QStringLiteral(
    "\r\nWARNING: Red code alert\r\n\r\nOut of fuel !!!\r\n\r\n"
    "Auto transmission to Houston:\r\nMayday... Mayday...\r\n>");
inline const QString kPerfect = QStringLiteral("Houston sends congratulations! A perfect landing!");
inline const QString kDamage =
    QStringLiteral("You inflicted some craft damage and stranded until a rescue craft arrives.");
inline const QString kCrash =
    QStringLiteral("Flight black box recorder activated for fatalistic crash.");

}  // namespace kelvor::test
