#pragma once

#include <QObject>
#include <functional>

#include "shared/services.h"

class QAction;
class QMenu;
class QMenuBar;
class QMouseEvent;
class QWidget;

namespace kelvor {

// A window's context help. Controls and menu items carry their help context number in the
// dynamic property "helpContextID". A What's-This click on such a control or menu item, F1 on
// such an item while its menu is open, and F1 that no command of the window takes (a dialog's)
// on such a focused control, show that topic of the application's help file; a menu item
// without a number (Help topics) shows the contents instead, through the given command.
//
// What's-This mode never swallows a command: a key that gives one (a shortcut, an access key, a
// key on the focused control) first ends the mode and then runs as it always does, and the menus
// stay usable in the mode, so that their items can be asked about.
class ContextHelp : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kProperty = "helpContextID";

  // Topics go to the services' help viewer; `showContents` is the window's Help topics command,
  // if it has one. `window` is the window whose entering and leaving What's-This mode is
  // followed, and whose F1 asks about its focused control.
  ContextHelp(Services& services, std::function<void()> showContents, QWidget* window);

  void Attach(QWidget* widget, int helpContextID);
  static void Attach(QAction* action, int helpContextID);
  // The bar's titles and its menus' items keep working in What's-This mode.
  void WatchMenus(QMenuBar* bar);

  // The number an object carries, 0 for none.
  static int HelpContextOf(const QObject* object);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowTopic(int helpContextID);
  // Closes the menu and shows the item's topic, or the contents for an item without one.
  void Answer(QMenu* menu, const QAction* item);
  bool MenuKey(QMenu* menu, QEvent* event);
  bool MenuClick(QMenu* menu, const QMouseEvent* click);
  bool FocusKey(QEvent* event);

  Services& m_services;
  std::function<void()> m_showContents;
  QWidget* m_window;
};

}  // namespace kelvor
