#include "mainwindow/context_help.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
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
}  // namespace

ContextHelp::ContextHelp(Services& services, std::function<void()> showContents, QObject* parent)
    : QObject(parent), m_services(services), m_showContents(std::move(showContents)) {}

void ContextHelp::Attach(QWidget* widget, int helpContextID) {
  widget->setProperty(kProperty, helpContextID);
  widget->installEventFilter(this);
}

void ContextHelp::Attach(QAction* action, int helpContextID) {
  action->setProperty(kProperty, helpContextID);
}

void ContextHelp::WatchMenu(QMenu* menu) { menu->installEventFilter(this); }

int ContextHelp::HelpContextOf(const QObject* object) {
  return object ? object->property(kProperty).toInt() : 0;
}

void ContextHelp::ShowTopic(int helpContextID) {
  ErrorTrap(m_services, [this, helpContextID] {
    m_services.ShowHelpTopic(m_services.HelpFile(), helpContextID);
  });
}

bool ContextHelp::MenuKey(QMenu* menu, QEvent* event) {
  if (!IsPlainF1(event)) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    // Claims F1 from the window's Help topics shortcut while a menu is open.
    event->accept();
    return true;
  }
  const int number = HelpContextOf(menu->activeAction());
  menu->close();
  if (number != 0) {
    ShowTopic(number);
  } else if (m_showContents) {
    m_showContents();
  }
  return true;
}

bool ContextHelp::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
      if (auto* menu = qobject_cast<QMenu*>(watched)) return MenuKey(menu, event);
      return false;
    case QEvent::QueryWhatsThis:
      if (HelpContextOf(watched) == 0) return false;
      event->accept();
      return true;
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
