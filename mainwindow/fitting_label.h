#pragma once

#include <QLabel>
#include <QSizeF>
#include <QString>

class QFont;

namespace kelvor {

// A label that always shows its whole text. The panel's boxes were laid out for a narrow
// bitmap font; in the wider fonts of a Linux desktop a touchdown time such as "31.32" or the
// console's longest report would run past the box. When the text does not fit, the label draws
// it condensed horizontally, just enough to fit, instead of cutting it off. Text that fits is
// drawn as it is. Carriage returns of the program's CR LF line ends are not drawn.
class FittingLabel : public QLabel {
  Q_OBJECT

 public:
  explicit FittingLabel(QWidget* parent = nullptr);

  // The horizontal scale, at most 1, at which the text laid out with these flags fits the box,
  // or kMinScale when even that does not fit (the text is then cut at the bottom).
  static double FitScale(const QFont& font, const QSizeF& box, const QString& text, int flags);
  static constexpr double kMinScale = 0.6;

  // The text as drawn: CR LF and lone CR become line breaks.
  static QString DisplayText(const QString& text);

  // The flags the label draws with: its alignment, and word wrap when it is on.
  int DrawFlags() const;
  // The box the text is drawn in: inside the border, less a pixel of padding left and right.
  QRectF TextRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace kelvor
