#pragma once

#include <QObject>
#include <functional>

#include "shared/services.h"

class QAction;
class QMenu;
class QWidget;

namespace kelvor {

// The window's context help. Controls and menu items carry their help context number in the
// dynamic property "helpContextID". A What's-This click on such a control, and F1 on such an
// item while its menu is open, show that topic of the application's help file. F1 in an open
// menu on an item without a number runs the given contents command instead, like F1 elsewhere.
class ContextHelp : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kProperty = "helpContextID";

  // Topics go to the services' help viewer; `showContents` is the window's Help topics command.
  ContextHelp(Services& services, std::function<void()> showContents, QObject* parent);

  void Attach(QWidget* widget, int helpContextID);
  static void Attach(QAction* action, int helpContextID);
  void WatchMenu(QMenu* menu);

  // The number an object carries, 0 for none.
  static int HelpContextOf(const QObject* object);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowTopic(int helpContextID);
  bool MenuKey(QMenu* menu, QEvent* event);

  Services& m_services;
  std::function<void()> m_showContents;
};

}  // namespace kelvor
