#pragma once

#include <QColor>
#include <QPalette>

namespace kelvor {

// Contrast of two colours by the WCAG relative luminance: 1 for equal colours, 21 for black on
// white. Text reads well from 4.5 up.
double ContrastRatio(const QColor& first, const QColor& second);

// The colour the classic light scheme (the one the windows were drawn for) gives a role: black
// text, white highlighted text, the grey dialog face. A role it has no colour for keeps the
// system's.
QColor ClassicColour(QPalette::ColorRole role, const QPalette& system);

// A system colour that meets one of the design's fixed colours, text on background or background
// under text. The system colour follows the desktop while the pair stays readable; under a
// scheme that makes the pair unreadable (white text on the white readout under a dark scheme)
// the classic light colour takes its place, unless the system's already reads better.
QColor SystemColourAgainst(const QColor& fixed, QPalette::ColorRole role, const QPalette& system);

}  // namespace kelvor
