#include "shared/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "shared/app_info.h"

namespace kelvor {

void ShowMessageBox(const QString& text, int style) {
  QMessageBox box(style == kMsgCritical ? QMessageBox::Critical : QMessageBox::NoIcon,
                  app_info::Title(), text, QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

void ReportError(Services& services, int number, const QString& description) {
  services.ShowMessage(QString::number(number) + QStringLiteral(": ") + description, kMsgCritical);
}

}  // namespace kelvor
