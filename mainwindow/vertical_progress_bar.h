#pragma once

#include <QWidget>

class QProgressBar;

namespace kelvor {

// A vertical progress bar whose range and value are single-precision numbers, as the panel's
// altitude and fuel bars are defined. A value outside the range is refused with run-time error
// 380 rather than clamped, so a caller that sets the value before widening the range finds out.
// The bar shows the value rounded to a whole number. The Qt bar that draws it is held, not
// inherited, so its unchecked integer setters cannot put the display out of step with the value.
class VerticalProgressBar : public QWidget {
  Q_OBJECT

 public:
  explicit VerticalProgressBar(QWidget* parent = nullptr);

  float Min() const { return m_min; }
  float Max() const { return m_max; }
  float Value() const { return m_value; }

  // Each throws errors::RuntimeError (380, "Invalid property value") and changes nothing when
  // the result would not satisfy min < max and min <= value <= max. The minimum stays 0, as the
  // panel's bars are designed.
  void SetMax(float max);
  void SetValue(float value);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Redraw();

  QProgressBar* m_display = nullptr;
  float m_min = 0;
  float m_max = 100;
  float m_value = 0;
};

}  // namespace kelvor
