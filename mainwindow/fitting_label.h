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
//
// For a screen reader a readout is its instrument: named after it, with the reading as its
// description, and every new reading announced as a description change. A label without an
// instrument name keeps the plain label's behaviour (its text is its name).
class FittingLabel : public QLabel {
  Q_OBJECT

 public:
  explicit FittingLabel(QWidget* parent = nullptr);

  // Shows a new reading and announces it to assistive technology: QLabel announces a change of
  // text only as a change of name, and only while it has no accessible name of its own. The
  // panel changes its readouts through this alone; the inherited setText does not announce.
  void ShowReading(const QString& text);

  // Names the readout for assistive technology after its instrument (the caption of its frame).
  void SetInstrumentName(const QString& name);

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
