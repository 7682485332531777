#include "shared/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include "shared/app_info.h"

namespace kelvor {

namespace {
MessageBoxHook& hookSetting() {
  static MessageBoxHook hook;
  return hook;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { hookSetting() = std::move(hook); }

void ShowMessage(const QString& text, int style) {
  const QString title = AppInfo::Title();
  if (hookSetting()) {
    hookSetting()(text, style, title);
    return;
  }
  QMessageBox box(style == kMsgCritical ? QMessageBox::Critical : QMessageBox::NoIcon, title,
                  text, QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

void ReportError(int number, const QString& description) {
  ShowMessage(QString::number(number) + QStringLiteral(": ") + description, kMsgCritical);
}

}  // namespace kelvor
