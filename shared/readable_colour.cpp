#include "shared/readable_colour.h"

#include <algorithm>
#include <cmath>

namespace kelvor {

namespace {

constexpr double kReadableContrast = 4.5;

double Linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double RelativeLuminance(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) + 0.0722 * Linear(rgb.blueF());
}

}  // namespace

double ContrastRatio(const QColor& first, const QColor& second) {
  const double a = RelativeLuminance(first);
  const double b = RelativeLuminance(second);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor ClassicColour(QPalette::ColorRole role, const QPalette& system) {
  switch (role) {
    case QPalette::WindowText:
      return QColor(0x00, 0x00, 0x00);
    case QPalette::Window:
      return QColor(0xD4, 0xD0, 0xC8);
    case QPalette::HighlightedText:
      return QColor(0xFF, 0xFF, 0xFF);
    default:
      return system.color(role);
  }
}

QColor SystemColourAgainst(const QColor& fixed, QPalette::ColorRole role, const QPalette& system) {
  const QColor own = system.color(QPalette::Active, role);
  const double ownContrast = ContrastRatio(own, fixed);
  if (ownContrast >= kReadableContrast) return own;
  const QColor classic = ClassicColour(role, system);
  return ContrastRatio(classic, fixed) > ownContrast ? classic : own;
}

}  // namespace kelvor
