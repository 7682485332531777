#include "app/splashkv.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "shared/message_box.h"

namespace kelvor {

splashkv::splashkv(Services& services, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), m_services(services) {
  setObjectName(QStringLiteral("splashkv"));
  setWindowTitle(QString());
  setWindowIcon(QIcon(QStringLiteral(":/images/icon32.png")));
  // Closing the splash must never count as closing the program's last window: the main window
  // is shown right after.
  setAttribute(Qt::WA_QuitOnClose, false);
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(kClientSize);

  // The strip the picture leaves free along the bottom shows the highlighted-text colour.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::HighlightedText));
  setPalette(palette);
  setAutoFillBackground(true);

  ImgCipherix = new QLabel(this);
  ImgCipherix->setObjectName(QStringLiteral("ImgCipherix"));
  ImgCipherix->setGeometry(QRect(QPoint(0, 0), kPictureSize));
  ImgCipherix->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ImgCipherix->setScaledContents(false);
  const QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
  const qreal ratio = target ? target->devicePixelRatio() : 1.0;
  ImgCipherix->setPixmap(QIcon(QStringLiteral(":/images/splash.png")).pixmap(kPictureSize, ratio));

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(0);
  Timer1->setSingleShot(true);
  // A coarse timer may fire up to 5% early; the splash must stay its full time.
  Timer1->setTimerType(Qt::PreciseTimer);
  connect(Timer1, &QTimer::timeout, this, &splashkv::Timer1_Timer);

  if (target) {
    const QRect area = target->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }

  // The splash has no caption, but the window system never receives an empty title: Qt hands
  // it the application name instead, and a window manager that frames splash windows or a
  // window switcher then shows that name. A blank title shows nothing there, while the widget's
  // own caption (what a screen reader reads) stays empty.
  create();
  windowHandle()->setTitle(QStringLiteral(" "));
}

void splashkv::SetMainWindow(QWidget* frmLand) { m_frmLand = frmLand; }

void splashkv::Timer1_Timer() {
  ErrorTrap(m_services, [this] {
    Timer1->stop();
    m_closingForGood = true;
    close();  // deletes the splash once the event loop gets back to it
    if (m_frmLand) {
      m_frmLand->show();
      m_frmLand->raise();
      m_frmLand->activateWindow();
    }
  });
}

void splashkv::closeEvent(QCloseEvent* event) {
  if (m_closingForGood) {
    QWidget::closeEvent(event);
  } else {
    event->ignore();
  }
}

}  // namespace kelvor
