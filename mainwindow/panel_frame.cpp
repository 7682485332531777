#include "mainwindow/panel_frame.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace kelvor {

namespace {
constexpr int kCaptionLeft = 6;  // where the caption's gap in the border starts
constexpr int kCaptionGap = 2;   // border-free space on either side of the caption
}  // namespace

PanelFrame::PanelFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
  setAutoFillBackground(true);
  // Qt names an unnamed widget inside a group box after that box, and a group box is a widget
  // first: the instruments' frames, inside the instrument panel, would all be read out as
  // "Lunar module control and instrument panel".
  setAccessibleName(title);
}

QRect PanelFrame::CaptionRect() const {
  if (title().isEmpty()) return {};
  const QFontMetrics metrics(font());
  const int width = metrics.horizontalAdvance(title()) + 2 * kCaptionGap;
  return QRect(kCaptionLeft, 0, std::min(width, this->width() - kCaptionLeft - 1),
               metrics.height());
}

void PanelFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect caption = CaptionRect();
  const int top = caption.isEmpty() ? 0 : caption.center().y();
  const QRect border(0, top, width() - 1, height() - top - 1);
  if (isFlat()) {
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(border);
  } else {
    // Etched: a dark line with a light one just inside and below it.
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(border.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(border.adjusted(1, 1, 0, 0));
  }
  if (caption.isEmpty()) return;
  painter.fillRect(caption, palette().brush(backgroundRole()));
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  painter.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
}

}  // namespace kelvor
