#include "mainwindow/vertical_progress_bar.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "flight/runtime_error.h"

namespace kelvor {

namespace {

[[noreturn]] void InvalidValue() {
  throw flight::RuntimeError(flight::errors::kInvalidPropertyValue, "Invalid property value");
}

// The display is a QProgressBar with an int range: rounding stays within int, whatever float
// range the caller chose.
int Displayed(float value) {
  constexpr double kLimit = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(std::round(double{value}), -kLimit, kLimit));
}

}  // namespace

VerticalProgressBar::VerticalProgressBar(QWidget* parent) : QProgressBar(parent) {
  setOrientation(Qt::Vertical);
  setTextVisible(false);
  Show();
}

void VerticalProgressBar::SetMin(float min) {
  if (!std::isfinite(min) || !(min < m_max) || min > m_value) InvalidValue();
  m_min = min;
  Show();
}

void VerticalProgressBar::SetMax(float max) {
  if (!std::isfinite(max) || !(max > m_min) || max < m_value) InvalidValue();
  m_max = max;
  Show();
}

void VerticalProgressBar::SetValue(float value) {
  if (!(value >= m_min && value <= m_max)) InvalidValue();  // NaN is refused too
  m_value = value;
  Show();
}

void VerticalProgressBar::Show() {
  setRange(Displayed(m_min), Displayed(m_max));
  setValue(Displayed(m_value));
}

}  // namespace kelvor
