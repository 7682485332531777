#pragma once

#include <QFont>

namespace kelvor {

// "MS Sans Serif" of the design at this size: DejaVu Sans comes with the program's dependencies
// and keeps the plain, open look.
inline QFont SansSerif(double points, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

}  // namespace kelvor
