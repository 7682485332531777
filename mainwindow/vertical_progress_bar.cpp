#include "mainwindow/vertical_progress_bar.h"

#include <QProgressBar>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "errors/runtime_error.h"

namespace kelvor {

namespace {

[[noreturn]] void InvalidValue() {
  errors::RaiseInvalidPropertyValue();
}

// The display is a QProgressBar with an int range: rounding stays within int, whatever float
// range the caller chose.
int Displayed(float value) {
  constexpr double kLimit = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(std::round(double{value}), -kLimit, kLimit));
}

}  // namespace

VerticalProgressBar::VerticalProgressBar(QWidget* parent)
    : QWidget(parent), m_display(new QProgressBar(this)) {
  m_display->setOrientation(Qt::Vertical);
  m_display->setTextVisible(false);
  // Clicks (What's This above all) and the focus belong to the instrument, not to its drawing.
  m_display->setAttribute(Qt::WA_TransparentForMouseEvents);
  m_display->setFocusPolicy(Qt::NoFocus);
  Redraw();
}

void VerticalProgressBar::resizeEvent(QResizeEvent* event) {
  m_display->setGeometry(rect());
  QWidget::resizeEvent(event);
}

void VerticalProgressBar::SetMax(float max) {
  if (!std::isfinite(max) || !(max > m_min) || max < m_value) InvalidValue();
  m_max = max;
  Redraw();
}

void VerticalProgressBar::SetValue(float value) {
  if (!(value >= m_min && value <= m_max)) InvalidValue();  // NaN is refused too
  m_value = value;
  Redraw();
}

void VerticalProgressBar::Redraw() {
  m_display->setRange(Displayed(m_min), Displayed(m_max));
  m_display->setValue(Displayed(m_value));
}

}  // namespace kelvor
