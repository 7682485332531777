#include "snapshot.h"

namespace kelvor::test {

QString Snapshot::Describe() const {
  auto quoted = [](QString text) {
    return QLatin1Char('"') + text.replace(QLatin1String("\r\n"), QLatin1String("|")) +
           QLatin1Char('"');
  };
  return QStringLiteral(
             "vMission=%1 intHalted=%2 time=%3 alt=%4 speed=%5 fuel=%6 burn=%7 | bar %8/%9 %10 "
             "| ignite %11 | new %12 menu %13 | pbAlt=%14 pbFuel=%15 | labels %16 %17 %18 %19 "
             "%20 | console %21 | strMessages %22")
      .arg(vMission ? (*vMission ? "true" : "false") : "none")
      .arg(intHalted)
      .arg(time)
      .arg(altitude)
      .arg(speed)
      .arg(fuel)
      .arg(burn)
      .arg(barValue)
      .arg(barMax)
      .arg(barEnabled ? "on" : "off")
      .arg(igniteEnabled ? "on" : "off")
      .arg(newEnabled ? "on" : "off")
      .arg(startItemEnabled ? "on" : "off")
      .arg(pbAltitude)
      .arg(pbFuel)
      .arg(quoted(lblTime), quoted(lblAlt), quoted(lblSpeed), quoted(lblFuel), quoted(lblBurn),
           quoted(lblMessage), quoted(strMessages));
}

}  // namespace kelvor::test
