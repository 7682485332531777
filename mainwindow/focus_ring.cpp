#include "mainwindow/focus_ring.h"

#include <QEvent>
#include <QPainter>

namespace kelvor {

FocusRing::FocusRing(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("focusRing"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide();
}

void FocusRing::Track(QWidget* control) { control->installEventFilter(this); }

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
  auto* control = qobject_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::EnabledChange:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::FocusOut:
      Follow(control);
      break;
    default:
      break;
  }
  return false;
}

void FocusRing::Follow(QWidget* control) {
  // Called before the event is handled; the focus itself has moved already.
  if (control && control->hasFocus() && control->isEnabled() && control->isVisible()) {
    setGeometry(control->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
    show();
    raise();
  } else if (!control || !control->hasFocus()) {
    hide();
  }
}

void FocusRing::paintEvent(QPaintEvent*) {
  // Black, the classic scheme's text colour: well above 4.5:1 on the cyan thruster frame.
  QPainter painter(this);
  painter.setPen(QPen(Qt::black, kWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0));
}

}  // namespace kelvor
