#pragma once

#include <QRect>

namespace kelvor {

// The windows are designed in twips: 1440 to the inch, 15 to a pixel at 96 dots per inch.
// Rounded to the nearest pixel.
constexpr int Px(int twips) { return (twips + 7) / 15; }

inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace kelvor
