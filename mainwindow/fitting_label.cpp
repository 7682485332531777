#include "mainwindow/fitting_label.h"

#include <QFontMetricsF>
#include <QPainter>

namespace kelvor {

namespace {

constexpr double kScaleStep = 0.02;
constexpr double kPadding = 1;  // between the border and the text, left and right

bool Fits(const QFontMetricsF& metrics, const QSizeF& box, const QString& text, int flags,
          double scale) {
  // Drawn at this scale, the text has box.width() / scale of unscaled room per line.
  const double width = box.width() / scale;
  const QRectF needed = metrics.boundingRect(QRectF(0, 0, width, 1e6), flags, text);
  // A word wider than a line sticks out to the right; allow for rounding of the advances.
  return needed.width() <= width + 0.01 && needed.height() <= box.height() + 0.01;
}

}  // namespace

FittingLabel::FittingLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

void FittingLabel::ShowReading(const QString& text) {
  setText(text);
  if (accessibleName().isEmpty()) return;
  // Setting the description announces it (a description change event), even when it is the
  // same: the panel rewrites unchanged readings every second, which must not be read out again.
  const QString shown = DisplayText(text);
  if (shown != accessibleDescription()) setAccessibleDescription(shown);
}

void FittingLabel::SetInstrumentName(const QString& name) {
  setAccessibleName(name);
  setAccessibleDescription(DisplayText(text()));
}

double FittingLabel::FitScale(const QFont& font, const QSizeF& box, const QString& text,
                              int flags) {
  const QFontMetricsF metrics(font);
  const QString shown = DisplayText(text);
  for (double scale = 1.0; scale > kMinScale; scale -= kScaleStep) {
    if (Fits(metrics, box, shown, flags, scale)) return scale;
  }
  return kMinScale;
}

QString FittingLabel::DisplayText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

int FittingLabel::DrawFlags() const {
  return int(alignment()) | (wordWrap() ? int(Qt::TextWordWrap) : 0);
}

QRectF FittingLabel::TextRect() const {
  return QRectF(contentsRect()).adjusted(kPadding, 0, -kPadding, 0);
}

void FittingLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  const QRectF box = TextRect();
  if (box.isEmpty() || text().isEmpty()) return;
  const int flags = DrawFlags();
  const double scale = FitScale(font(), box.size(), text(), flags);
  painter.setClipRect(box);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  painter.translate(box.topLeft());
  painter.scale(scale, 1);
  painter.drawText(QRectF(0, 0, box.width() / scale, box.height()), flags, DisplayText(text()));
}

}  // namespace kelvor
