#include <QApplication>
#include <QList>
#include <QPointer>
#include <QWidget>

#include "app/app_info.h"
#include "app/mod_kelvor.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  kelvor::AppInfo::Apply(app);
  modKelvor::Main();
  const int result = app.exec();

  // Windows still alive when the loop ends go before the application object they need.
  QList<QPointer<QWidget>> windows;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->parentWidget() == nullptr) windows.append(widget);
  }
  for (const QPointer<QWidget>& window : windows) delete window.data();
  return result;
}
