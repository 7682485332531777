#pragma once

#include <QWidget>

namespace kelvor {

// A clearly visible frame around whichever of the tracked controls has the keyboard focus.
// The style's own focus marks are faint (a dotted line on the button) or missing (the scroll
// bar), and the burn controls sit on a fixed cyan background where a faint mark vanishes; a
// player who flies with the keyboard must see at a glance where Space and the arrows go.
class FocusRing : public QWidget {
  Q_OBJECT

 public:
  // The ring lives in `parent`, the container of the tracked controls.
  explicit FocusRing(QWidget* parent);

  // Follows `control`, a child of the ring's parent, whenever it has the focus.
  void Track(QWidget* control);

  static constexpr int kWidth = 2;  // pixels of ring outside the control

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Follow(QWidget* control);
};

}  // namespace kelvor
