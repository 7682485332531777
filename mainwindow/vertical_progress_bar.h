#pragma once

#include <QProgressBar>

namespace kelvor {

// A vertical progress bar whose range and value are single-precision numbers, as the panel's
// altitude and fuel bars are defined. A value outside the range is refused with run-time error
// 380 rather than clamped, so a caller that sets the value before widening the range finds out.
// The bar itself shows the value rounded to a whole number.
class VerticalProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit VerticalProgressBar(QWidget* parent = nullptr);

  float Min() const { return m_min; }
  float Max() const { return m_max; }
  float Value() const { return m_value; }

  // Each throws flight::RuntimeError (380, "Invalid property value") and changes nothing when
  // the result would not satisfy min < max and min <= value <= max.
  void SetMin(float min);
  void SetMax(float max);
  void SetValue(float value);

 private:
  void Show();

  float m_min = 0;
  float m_max = 100;
  float m_value = 0;
};

}  // namespace kelvor
