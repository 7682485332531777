#include "shared/context_help.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWhatsThis>
#include <QWidget>
#include <utility>

#include "shared/message_box.h"

namespace kelvor {

namespace {
bool IsPlainF1(const QEvent* event) {
  const auto* key = static_cast<const QKeyEvent*>(event);
  return key->key() == Qt::Key_F1 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Whether a key pressed in What's-This mode ends it and then goes on as usual. A modifier alone
// changes nothing yet; Esc only ends the mode, as Qt has it, except in an open menu, which it
// also closes.
bool EndsModeAndGoesOn(const QObject* receiver, const QKeyEvent* key) {
  switch (key->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
      return false;
    default:
      break;
  }
  if (key->matches(QKeySequence::Cancel)) return qobject_cast<const QMenu*>(receiver) != nullptr;
  return true;
}

// The item of a menu at a point, if the point is on one that can be asked about.
QAction* ItemAt(QMenu* menu, const QPoint& point) {
  QAction* item = menu->actionAt(point);
  return item && !item->isSeparator() && !item->menu() ? item : nullptr;
}
}  // namespace

ContextHelp::ContextHelp(Services& services, std::function<void()> showContents, QWidget* window)
    : QObject(window),
      m_services(services),
      m_showContents(std::move(showContents)),
      m_window(window) {
  m_window->installEventFilter(this);
}

void ContextHelp::Attach(QWidget* widget, int helpContextID) {
  widget->setProperty(kProperty, helpContextID);
  widget->installEventFilter(this);
}

void ContextHelp::Attach(QAction* action, int helpContextID) {
  action->setProperty(kProperty, helpContextID);
}

void ContextHelp::WatchMenus(QMenuBar* bar) {
  // Without this Qt's What's-This mode would take a click on a title or an item for a question
  // about the whole bar or menu, which has no topic, and drop it.
  bar->setAttribute(Qt::WA_CustomWhatsThis);
  for (QAction* title : bar->actions()) {
    if (QMenu* menu = title->menu()) {
      menu->setAttribute(Qt::WA_CustomWhatsThis);
      menu->installEventFilter(this);
    }
  }
}

int ContextHelp::HelpContextOf(const QObject* object) {
  return object ? object->property(kProperty).toInt() : 0;
}

void ContextHelp::ShowTopic(int helpContextID) {
  ErrorTrap(m_services, [this, helpContextID] {
    m_services.ShowHelpTopic(m_services.HelpFile(), helpContextID);
  });
}

void ContextHelp::Answer(QMenu* menu, const QAction* item) {
  const int number = HelpContextOf(item);
  menu->close();
  if (number != 0) {
    ShowTopic(number);
  } else if (m_showContents) {
    m_showContents();
  }
}

bool ContextHelp::MenuKey(QMenu* menu, QEvent* event) {
  if (!IsPlainF1(event)) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    // Claims F1 from the window's Help topics shortcut while a menu is open.
    event->accept();
    return true;
  }
  Answer(menu, menu->activeAction());
  return true;
}

bool ContextHelp::FocusKey(QEvent* event) {
  // F1 reached the window: the focused control did not take it, nor did a shortcut. Asked
  // about a control without a number, it does nothing, rather than go on to the window's parent.
  const int number = HelpContextOf(m_window->focusWidget());
  if (number != 0) ShowTopic(number);
  event->accept();
  return true;
}

bool ContextHelp::MenuClick(QMenu* menu, const QMouseEvent* click) {
  const QPoint point = click->position().toPoint();
  // The release of the click that opened the menu lands on its title, outside the menu.
  if (!menu->rect().contains(point)) return false;
  if (QAction* item = ItemAt(menu, point)) {
    QWhatsThis::leaveWhatsThisMode();
    Answer(menu, item);
  }
  // A click beside the items (a separator, the border) keeps the menu open and the question.
  return true;
}

bool ContextHelp::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::EnterWhatsThisMode:
      // Qt's own filter for the mode was installed on the application a moment ago; this one,
      // installed after it, sees each event first, while the mode lasts.
      if (watched == m_window) qApp->installEventFilter(this);
      return false;
    case QEvent::LeaveWhatsThisMode:
      if (watched == m_window) qApp->removeEventFilter(this);
      return false;
    case QEvent::Shortcut:
      // A shortcut or an access key (Qt sends it to the action, button or menu bar it belongs
      // to) runs its command outside the mode, so that a dialog it opens is not still asking.
      if (QWhatsThis::inWhatsThisMode()) QWhatsThis::leaveWhatsThisMode();
      return false;
    case QEvent::KeyPress:
      if (QWhatsThis::inWhatsThisMode() &&
          EndsModeAndGoesOn(watched, static_cast<const QKeyEvent*>(event))) {
        QWhatsThis::leaveWhatsThisMode();
      }
      if (watched == m_window && IsPlainF1(event)) return FocusKey(event);
      [[fallthrough]];
    case QEvent::ShortcutOverride:
      if (auto* menu = qobject_cast<QMenu*>(watched)) return MenuKey(menu, event);
      return false;
    case QEvent::MouseButtonRelease: {
      auto* menu = qobject_cast<QMenu*>(watched);
      if (!menu || !QWhatsThis::inWhatsThisMode()) return false;
      return MenuClick(menu, static_cast<const QMouseEvent*>(event));
    }
    case QEvent::QueryWhatsThis: {
      // Sets the mode's pointer: the question mark over what has a topic, or a menu item.
      auto* menu = qobject_cast<QMenu*>(watched);
      if (menu ? !ItemAt(menu, static_cast<const QHelpEvent*>(event)->pos())
               : HelpContextOf(watched) == 0) {
        return false;
      }
      event->accept();
      return true;
    }
    case QEvent::WhatsThis: {
      const int number = HelpContextOf(watched);
      if (number == 0) return false;
      event->accept();
      // Qt leaves What's-This mode by itself only for a click nobody took; this one was taken,
      // so leave it here, or the game's next clicks would all ask for help instead of acting.
      QWhatsThis::leaveWhatsThisMode();
      ShowTopic(number);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace kelvor
