#pragma once

#include <QDialog>
#include <QString>

#include "shared/services.h"

class QKeyEvent;
class QLabel;
class QPushButton;
class QWidget;

namespace kelvor {

// The About dialog: the program's emblem, title, version, copyright (which names the licence),
// the platform it is built for and an empty disclaimer, with "&OK" and "&System Info". Created
// afresh for every opening and shown modal, so every opening fills its texts anew.
class frmKVAbout : public QDialog {
  Q_OBJECT

 public:
  // "&System Info", F1 on a button (through context help) and the error report go to
  // `services`.
  explicit frmKVAbout(Services& services, QWidget* parent = nullptr);

  // The help context numbers the buttons carry.
  static constexpr int kOKHelpContextID = 15;
  static constexpr int kSysInfoHelpContextID = 16;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();

  QLabel* picIcon = nullptr;
  QPushButton* cmdOK = nullptr;
  QPushButton* cmdSysInfo = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* Label1 = nullptr;
  QWidget* Line1_1 = nullptr;
  QWidget* Line1_0 = nullptr;
  QLabel* lblTitle = nullptr;
  QLabel* lblCopyright = nullptr;
  QLabel* lblDisclaimer = nullptr;

  Services& m_services;
};

}  // namespace kelvor
