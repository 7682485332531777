#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>

#include "shared/services.h"

class QCloseEvent;
class QLabel;
class QTimer;

namespace kelvor {

// The splash window: the title picture in a frameless window in the middle of the screen, up
// while the main window loads and for a fixed time after. It takes no input; only its timer
// ends it, and then it shows the main window.
class splashkv : public QWidget {
  Q_OBJECT

 public:
  // How long the splash stays once the main window has loaded.
  static constexpr std::chrono::milliseconds kTimerInterval{2000};
  // The picture's size and the window's client area, one pixel narrower and one taller.
  static constexpr QSize kPictureSize{300, 150};
  static constexpr QSize kClientSize{299, 151};

  // An error in the timer's handler is reported through `services`.
  explicit splashkv(Services& services, QWidget* parent = nullptr);

  // The window the timer shows when it closes the splash.
  void SetMainWindow(QWidget* frmLand);

  QTimer* Timer1 = nullptr;
  QLabel* ImgCipherix = nullptr;

  void Timer1_Timer();

 protected:
  // The window manager may offer to close the splash (Alt+F4 and the like); only the timer
  // closes it.
  void closeEvent(QCloseEvent* event) override;

 private:
  Services& m_services;
  QPointer<QWidget> m_frmLand;
  bool m_closingForGood = false;
};

}  // namespace kelvor
