#pragma once

#include <QGroupBox>

namespace kelvor {

// The panel's frames, drawn the classic way so that they look alike in every style: the
// caption at the top left breaks the border line, and the border runs at the caption's middle
// height. A flat frame has a single dark line, the others an etched line. Children keep their
// own fixed geometry; the frame lays nothing out.
class PanelFrame : public QGroupBox {
  Q_OBJECT

 public:
  explicit PanelFrame(const QString& title, QWidget* parent = nullptr);

  // Where the caption is drawn, in the frame's coordinates; empty without a caption.
  QRect CaptionRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace kelvor
