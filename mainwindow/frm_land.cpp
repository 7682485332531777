#include "mainwindow/frm_land.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QWhatsThis>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "about/frm_kv_about.h"
#include "mainwindow/fitting_label.h"
#include "mainwindow/focus_ring.h"
#include "mainwindow/panel_controls.h"
#include "mainwindow/panel_frame.h"
#include "mainwindow/vertical_progress_bar.h"
#include "shared/app_info.h"
#include "shared/context_help.h"
#include "shared/message_box.h"
#include "shared/readable_colour.h"
#include "shared/sans_serif.h"
#include "shared/twips.h"

namespace kelvor {

namespace {

constexpr const char* kKeyProperty = "key";

constexpr int kClientWidth = 474;   // 7110 twips
constexpr int kClientHeight = 334;  // 5010 twips
constexpr int kToolbarHeight = 24;  // 360 twips
constexpr int kStatusHeight = 17;   // 255 twips
constexpr int kStatusPanelGap = 2;
constexpr QSize kToolButtonSize{23, 22};  // 345 by 330 twips

// A reading shown whole, as the readouts show the start state.
QString WholeReading(float value) {
  return QString::fromStdString(flight::FormatNumber(value, "0"));
}

// The application's help file: always the one in the program's folder.
QString ProgramHelpFile() { return app_info::Path() + QStringLiteral("/Kelvor.hlp"); }

QIcon ToolbarIcon(const QString& shape) {
  // Normal images, and the coloured hot ones for the button under the pointer: a tool button
  // draws its icon in Active mode while the pointer rests on it. The disabled look is derived
  // from the normal image. QIcon picks up the @2x files on high-density screens.
  QIcon icon;
  icon.addFile(QStringLiteral(":/images/toolbar/normal/%1.png").arg(shape), QSize(), QIcon::Normal);
  icon.addFile(QStringLiteral(":/images/toolbar/hot/%1.png").arg(shape), QSize(), QIcon::Active);
  return icon;
}

}  // namespace

frmLand::frmLand(Services& services, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                              Qt::WindowContextHelpButtonHint),
      m_services(services) {
  setObjectName(QStringLiteral("frmLand"));
  setWindowTitle(app_info::ProductName());
  setWindowIcon(app_info::WindowIcon());
  setFont(SansSerif(8.25));
  m_help = new ContextHelp(
      m_services, [this] { ErrorTrap(m_services, [this] { mnuHelpTopics_Click(); }); }, this);

  CreateMenus();
  CreateToolbar();
  CreatePanel();
  CreateStatusBar();
  resize(kClientWidth, menuBar()->sizeHint().height() + kClientHeight);

  Form_Load();
}

frmLand::~frmLand() = default;

void frmLand::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("menuBar"));
  auto item = [this](QMenu* menu, const char* name, const QString& caption, int helpContextID,
                     const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    if (helpContextID != 0) m_help->Attach(action, helpContextID);
    return action;
  };

  mnuGame = bar->addMenu(QStringLiteral("&Game"));
  mnuGame->setObjectName(QStringLiteral("mnuGame"));
  mnuGameStart = item(mnuGame, "mnuGameStart", QStringLiteral("&Start new mission"), 8);
  mnuGameStop = item(mnuGame, "mnuGameStop", QStringLiteral("S&top mission"), 9);
  mnuGame->addSeparator()->setObjectName(QStringLiteral("mnuGameSep1"));
  mnuGameExit =
      item(mnuGame, "mnuGameExit", QStringLiteral("E&xit"), 10, QKeySequence(Qt::CTRL | Qt::Key_Q));

  mnuHelp = bar->addMenu(QStringLiteral("&Help"));
  mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
  mnuHelpTopics =
      item(mnuHelp, "mnuHelpTopics", QStringLiteral("Help &topics"), 0, QKeySequence(Qt::Key_F1));
  mnuHelpWeb = item(mnuHelp, "mnuHelpWeb", QStringLiteral("Tandrel on the &web"), 11,
                    QKeySequence(Qt::CTRL | Qt::Key_W));
  mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuHelpSep1"));
  mnuHelpAbout = item(mnuHelp, "mnuHelpAbout", QStringLiteral("&About Tandrel Lunar Landing"), 12,
                      QKeySequence(Qt::Key_F2));
  m_help->WatchMenus(bar);
  // Few X11 window managers draw the What's-This title-bar button; Shift+F1 is the usual way in.
  auto* whatsThis = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), this);
  connect(whatsThis, &QShortcut::activated, this, [] { QWhatsThis::enterWhatsThisMode(); });

  connect(mnuGameStart, &QAction::triggered, this, &frmLand::mnuGameStart_Click);
  connect(mnuGameStop, &QAction::triggered, this, &frmLand::mnuGameStop_Click);
  connect(mnuGameExit, &QAction::triggered, this, &frmLand::mnuGameExit_Click);
  // Help topics reports nothing itself (the toolbar's trap does when it runs from there); from
  // the menu nothing may escape into the event loop either.
  connect(mnuHelpTopics, &QAction::triggered, this,
          [this] { ErrorTrap(m_services, [this] { mnuHelpTopics_Click(); }); });
  connect(mnuHelpWeb, &QAction::triggered, this, &frmLand::mnuHelpWeb_Click);
  connect(mnuHelpAbout, &QAction::triggered, this, &frmLand::mnuHelpAbout_Click);
}

void frmLand::CreateToolbar() {
  Toolbar1 = new QToolBar(this);
  Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
  Toolbar1->setMovable(false);
  Toolbar1->setFloatable(false);
  Toolbar1->setIconSize(QSize(16, 16));
  Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  Toolbar1->setFixedHeight(kToolbarHeight);
  Toolbar1->toggleViewAction()->setVisible(false);
  // The button pictures are drawn in black ink on the bar's system colour: a dark scheme gets the
  // classic face behind them.
  QPalette barColours = Toolbar1->palette();
  barColours.setColor(QPalette::Window,
                      SystemColourAgainst(QColor(Qt::black), QPalette::Window, barColours));
  Toolbar1->setPalette(barColours);
  Toolbar1->setAutoFillBackground(true);
  addToolBar(Qt::TopToolBarArea, Toolbar1);

  struct Entry {
    const char* key;  // nullptr: a separator
    const char* tooltip;
  };
  static constexpr Entry kEntries[] = {
      {nullptr, nullptr},       {"new", "Start new mission"},
      {"stop", "Stop mission"}, {nullptr, nullptr},
      {"help", "Help"},         {"about", "About Tandrel Lunar Landing"},
      {nullptr, nullptr},       {"web", "Tandrel web site"},
      {nullptr, nullptr},
  };
  for (const Entry& entry : kEntries) {
    if (!entry.key) {
      Toolbar1->addSeparator();
      continue;
    }
    const QString key = QLatin1String(entry.key);
    auto* button = new QAction(ToolbarIcon(key), QLatin1String(entry.tooltip), Toolbar1);
    button->setObjectName(QStringLiteral("Toolbar1_") + key);
    button->setToolTip(QLatin1String(entry.tooltip));
    button->setProperty(kKeyProperty, key);
    Toolbar1->addAction(button);
    Toolbar1->widgetForAction(button)->setFixedSize(kToolButtonSize);
    Toolbar1->widgetForAction(button)->setAccessibleName(button->toolTip());
    connect(button, &QAction::triggered, this,
            [this, button] { Toolbar1_ButtonClick(button->property(kKeyProperty).toString()); });
  }
}

void frmLand::CreateStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(kStatusHeight);
  // The panels are placed by hand rather than added to the bar's own layout, which would
  // reserve spacing around them and make the bar, and so the window, wider than designed.
  int left = kStatusPanelGap;
  for (int twips : {4965, 1845}) {
    auto* panel = new QLabel(StatusBar1);
    panel->setObjectName(QStringLiteral("StatusBar1_panel%1").arg(m_statusPanels.size() + 1));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setIndent(2);
    panel->setGeometry(left, 1, Px(twips), kStatusHeight - 1);
    left += Px(twips) + kStatusPanelGap;
    m_statusPanels.push_back(panel);
  }
  setStatusBar(StatusBar1);
}

void frmLand::CreatePanel() {
  CreateControls(this, kToolbarHeight);

  // Only the thruster bar and "&Ignite" take the focus, the bar first; both start disabled.
  for (QWidget* widget : findChildren<QWidget*>()) widget->setFocusPolicy(Qt::NoFocus);
  hsbBurn->setFocusPolicy(Qt::StrongFocus);
  cmdBurn->setFocusPolicy(Qt::StrongFocus);
  // "&Ignite" is made first, so the bar is put before it, where the window starts looking for a
  // control to focus. Qt leaves a chain of two alone, as Tab takes turns between them either
  // way, so the bar's reading joins the chain for the moment of the move.
  lblBurn->setFocusPolicy(Qt::TabFocus);
  setTabOrder(hsbBurn, cmdBurn);
  lblBurn->setFocusPolicy(Qt::NoFocus);
  hsbBurn->setEnabled(false);
  cmdBurn->setEnabled(false);
  auto* ring = new FocusRing(fraBurn);
  ring->Track(hsbBurn);
  ring->Track(cmdBurn);

  cmdBurn->installEventFilter(this);
  connect(cmdBurn, &QPushButton::clicked, this, &frmLand::cmdBurn_Click);
  connect(hsbBurn, &QScrollBar::valueChanged, this, &frmLand::hsbBurn_Change);
  connect(hsbBurn, &QScrollBar::sliderMoved, this, &frmLand::hsbBurn_Scroll);

  AttachHelp(*m_help);
}

flight::FlightState& frmLand::State() { return m_computer.State(); }

flight::FlightComputer& frmLand::Computer() { return m_computer; }

QAction* frmLand::ToolbarButton(const QString& key) const {
  for (QAction* action : Toolbar1->actions()) {
    if (!action->isSeparator() && action->property(kKeyProperty).toString() == key) return action;
  }
  errors::RaiseIndexOutOfBounds();
}

QLabel* frmLand::StatusPanel(int index) const {
  if (index < 1 || index > static_cast<int>(m_statusPanels.size())) {
    errors::RaiseIndexOutOfBounds();
  }
  return m_statusPanels[static_cast<std::size_t>(index - 1)];
}

FittingLabel* frmLand::Label(flight::Control control) const {
  switch (control) {
    case flight::Control::lblTime:
      return lblTime;
    case flight::Control::lblAlt:
      return lblAlt;
    case flight::Control::lblSpeed:
      return lblSpeed;
    case flight::Control::lblFuel:
      return lblFuel;
    case flight::Control::lblBurn:
      return lblBurn;
    case flight::Control::lblMessage:
      return lblMessage;
  }
  errors::RaiseInvalidCall();
}

// --- the mission ---------------------------------------------------------------------------

void frmLand::Form_Load() {
  ErrorTrap(m_services, [this] {
    m_services.SetHelpFile(ProgramHelpFile());
    flight::FlightState& s = State();
    s.strMessages += std::string("Incoming message: Roger four-niner this is Houston control.") +
                     flight::kCrLf + "Fasten your harness safety belt." + flight::kCrLf +
                     flight::kCrLf + "Take manual control to land on the moon." + flight::kCrLf +
                     "Roger and out." + flight::kCrLf + ">..";
    SetCaption(flight::Control::lblMessage, s.strMessages);
    ShowStartState();
    // The day the program started; never refreshed. The month is named in the C library's
    // time locale, the one the readouts take their decimal point from: where the C library
    // lacks a locale that Qt knows, both fall back together instead of disagreeing.
    const QLocale timeLocale(QString::fromLatin1(std::setlocale(LC_TIME, nullptr)));
    StatusPanel(2)->setText(
        timeLocale.toString(QDate::currentDate(), QStringLiteral("dd MMMM yyyy")));
  });
}

void frmLand::ShowStartState() {
  const flight::StartState& start = flight::kStartState;
  Computer().RestoreStartState();
  lblTime->ShowReading(WholeReading(start.sngTime));
  lblAlt->ShowReading(WholeReading(start.sngAltitude));
  lblSpeed->ShowReading(WholeReading(start.sngSpeed));
  lblFuel->ShowReading(WholeReading(start.sngFuel));
  lblBurn->ShowReading(WholeReading(0));
  SetThrusterValue(0);  // runs the change handler when the bar was elsewhere
  SetThrusterMax(start.thrusterMax);
  // Each maximum before its value: the bars are designed with a maximum of 100.
  pbAltitude->SetMax(start.altitudeBarMax);
  pbAltitude->SetValue(start.sngAltitude);
  pbFuel->SetMax(start.fuelBarMax);
  pbFuel->SetValue(start.sngFuel);
}

void frmLand::mnuGameStart_Click() {
  ErrorTrap(m_services, [this] {
    Computer().StartMission();
    lblMessage->ShowReading(QString());  // strMessages stays; the next writer replaces it whole
    hsbBurn->setEnabled(true);
    cmdBurn->setEnabled(true);
    ToolbarButton(QStringLiteral("new"))->setEnabled(false);
    mnuGameStart->setEnabled(false);
    ShowStartState();
    // The keyboard goes to the thruster at once: arrows set the burn, Tab reaches "Ignite".
    hsbBurn->setFocus(Qt::OtherFocusReason);
  });
}

void frmLand::mnuGameStop_Click() {
  ErrorTrap(m_services, [this] {
    // First, so that a free fall waiting in a yield ends at its next check.
    Computer().HaltMission();
    flight::FlightState& s = State();
    hsbBurn->setEnabled(false);
    cmdBurn->setEnabled(false);
    ToolbarButton(QStringLiteral("new"))->setEnabled(true);
    mnuGameStart->setEnabled(true);
    if (!s.vMission.value_or(false)) {
      s.strMessages = std::string(flight::kCrLf) + "Mission aborted" + flight::kCrLf;
      s.strMessages += ">";
      SetCaption(flight::Control::lblMessage, s.strMessages);
    }
  });
}

void frmLand::StopMission() {
  // The touchdown's last act: Stop runs inside the flight computer's step (and its free fall),
  // which then returns without touching the state again.
  ErrorTrap(m_services, [this] { mnuGameStop_Click(); });
}

void frmLand::cmdBurn_Click() {
  ErrorTrap(m_services, [this] { Computer().BurnStep(); });
}

void frmLand::hsbBurn_Change() {
  ErrorTrap(m_services, [this] { Computer().ThrusterChanged(); });
}

void frmLand::hsbBurn_Scroll() {
  ErrorTrap(m_services, [this] { hsbBurn_Change(); });
}

// --- commands ------------------------------------------------------------------------------

void frmLand::Toolbar1_ButtonClick(const QString& key) {
  ErrorTrap(m_services, [this, key] {
    const QString clicked = key;
    if (clicked == QLatin1String("new")) {
      mnuGameStart_Click();
    } else if (clicked == QLatin1String("stop")) {
      mnuGameStop_Click();
    } else if (clicked == QLatin1String("help")) {
      mnuHelpTopics_Click();
    } else if (clicked == QLatin1String("about")) {
      mnuHelpAbout_Click();
    } else if (clicked == QLatin1String("web")) {
      mnuHelpWeb_Click();
    }
  });
}

void frmLand::mnuGameExit_Click() { EndProgram(); }

void frmLand::EndProgram() {
  // Nothing is kept between runs, so there is nothing to save; whatever runs at the moment (a
  // free fall, a modal box, a nested loop) is simply abandoned. The help viewer was told at its
  // start to end with the game, so the game need not wait for it either.
  std::fflush(nullptr);
  std::_Exit(0);
}

void frmLand::mnuHelpTopics_Click() {
  m_services.SetHelpFile(ProgramHelpFile());
  m_services.ShowHelpContents(m_services.HelpFile());
}

void frmLand::mnuHelpWeb_Click() {
  ErrorTrap(m_services, [this] {
    State().webURL = app_info::WebAddress().toStdString();
    WebLaunch(State().webURL);
  });
}

void frmLand::mnuHelpAbout_Click() {
  ErrorTrap(m_services, [this] {
    // Created afresh for every opening, so its texts are filled in anew each time.
    frmKVAbout dialog(m_services, this);
    dialog.exec();
  });
}

void frmLand::WebLaunch(const std::string& sURL) { m_services.WebLaunch(sURL); }

// --- the host ------------------------------------------------------------------------------

void frmLand::Beep() { m_services.Beep(); }

double frmLand::MonotonicSeconds() { return m_services.MonotonicSeconds(); }

void frmLand::ReportError(int number, const std::string& description) {
  kelvor::ReportError(m_services, number, QString::fromStdString(description));
}

// --- the panel -----------------------------------------------------------------------------

void frmLand::SetCaption(flight::Control control, const std::string& text) {
  Label(control)->ShowReading(QString::fromStdString(text));
}

void frmLand::SetBarValue(flight::Bar bar, float value) {
  (bar == flight::Bar::pbAltitude ? pbAltitude : pbFuel)->SetValue(value);
}

void frmLand::Repaint(flight::Control control) { Label(control)->repaint(); }

std::int16_t frmLand::GetThrusterValue() {
  // While the thumb is being dragged this is where the thumb is, which the scroll event reports.
  return static_cast<std::int16_t>(hsbBurn->sliderPosition());
}

void frmLand::SetThrusterValue(std::int16_t value) {
  if (value < hsbBurn->minimum() || value > hsbBurn->maximum()) {
    errors::RaiseInvalidPropertyValue();
  }
  // Emits valueChanged, and so runs hsbBurn_Change, only on a change: when the burn step lowers
  // the bar to the fuel left, ThrusterChanged runs inside the step, before this returns.
  hsbBurn->setValue(value);
}

void frmLand::SetThrusterMax(std::int16_t value) {
  if (value < hsbBurn->minimum()) {
    errors::RaiseInvalidPropertyValue();
  }
  hsbBurn->setMaximum(value);
}

void frmLand::SetBurnControlsEnabled(bool enabled) {
  hsbBurn->setEnabled(enabled);
  cmdBurn->setEnabled(enabled);
}

void frmLand::YieldToEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

// --- the window ----------------------------------------------------------------------------

bool frmLand::event(QEvent* event) {
  // The status bar's panels are the program's; hovering menus and buttons must not replace them
  // with (empty) status tips.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

bool frmLand::eventFilter(QObject* watched, QEvent* event) {
  // Alt+I takes the keyboard to "Ignite" before it presses it, as a click with the mouse does,
  // so that Space flies the next second. Done before the click, never after it: by then a Stop
  // and a Start may have run in the free fall and put the keyboard on the thruster bar.
  if (watched == cmdBurn && event->type() == QEvent::Shortcut && cmdBurn->isEnabled()) {
    cmdBurn->setFocus(Qt::ShortcutFocusReason);
  }
  return QMainWindow::eventFilter(watched, event);
}

void frmLand::closeEvent(QCloseEvent*) {
  // The main window alone keeps the program alive, so closing it ends the program, also when
  // the close arrives inside the free fall's yield, where a plain close would leave the fall
  // beeping behind a hidden window.
  EndProgram();
}

void frmLand::showEvent(QShowEvent* event) {
  if (!m_centred) {
    m_centred = true;
    if (const QScreen* screen = this->screen()) {
      setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                      screen->availableGeometry()));
    }
  }
  QMainWindow::showEvent(event);
}

QMenu* frmLand::createPopupMenu() { return nullptr; }

}  // namespace kelvor
