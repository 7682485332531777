#include "mainwindow/frm_land.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QFont>
#include <QFrame>
#include <QHash>
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
#include <type_traits>

#include "about/frm_kv_about.h"
#include "mainwindow/context_help.h"
#include "mainwindow/fitting_label.h"
#include "mainwindow/focus_ring.h"
#include "mainwindow/panel_frame.h"
#include "mainwindow/vertical_progress_bar.h"
#include "shared/app_info.h"
#include "shared/message_box.h"
#include "shared/readable_colour.h"
#include "shared/twips.h"

namespace kelvor {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kKeyProperty = "key";

constexpr int kClientWidth = 474;   // 7110 twips
constexpr int kClientHeight = 334;  // 5010 twips
constexpr int kToolbarHeight = 24;  // 360 twips
constexpr int kStatusHeight = 17;   // 255 twips
constexpr int kStatusPanelGap = 2;
constexpr QSize kToolButtonSize{23, 22};  // 345 by 330 twips

// "MS Sans Serif" of the design: DejaVu Sans comes with the program's dependencies and keeps the
// plain, open look.
QFont SansSerif(double points, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

void SetColours(QWidget* widget, const QColor& background, const QColor& text) {
  QPalette palette = widget->palette();
  if (background.isValid()) {
    palette.setColor(QPalette::Window, background);
    widget->setAutoFillBackground(true);
  }
  if (text.isValid()) {
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
  }
  widget->setPalette(palette);
}

// Controls whose colours the design leaves at the platform's default, inside frames that have
// colours of their own.
void UseDefaultColours(QWidget* widget) { widget->setPalette(QApplication::palette(widget)); }

// A reading shown whole, as the readouts show the start state.
QString Whole(float value) { return QString::fromStdString(flight::FormatNumber(value, "0")); }

// The application's help file: always the one in the program's folder.
QString ProgramHelpFile() { return app_info::Path() + QStringLiteral("/Kelvor.hlp"); }

QColor Rgb(unsigned rrggbb) { return QColor::fromRgb(static_cast<QRgb>(rrggbb)); }

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
      m_services, [this] { Trap([this] { mnuHelpTopics_Click(); }); }, this);

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
          [this] { Trap([this] { mnuHelpTopics_Click(); }); });
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
                      SystemColourAgainst(Rgb(0x000000), QPalette::Window, barColours));
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

namespace {

// What a panel element is made as.
enum class Kind {
  Area,       // a plain frame without a border
  Frame,      // a titled frame
  FlatFrame,  // a titled frame drawn flat, inside the instrument panel
  Console,    // the console label, wrapping its text from the top left
  Readout,    // a readout, made showing its design-time reading
  Picture,    // a sunken picture
  Thruster,   // the vertical thruster bar
  Button,     // a push button
  Gauge,      // a vertical progress bar
};

// An element's colour: the platform's, a fixed one, the system's window colour, or the system
// colour of a role that stays readable against a fixed colour, under any scheme.
struct Colour {
  enum class From { Inherited, Fixed, SystemWindow, ReadableOn } from = From::Inherited;
  unsigned rgb = 0;
  QPalette::ColorRole role = QPalette::WindowText;
};
constexpr Colour kInherited{};
constexpr Colour kSystemWindow{Colour::From::SystemWindow};
constexpr Colour Fixed(unsigned rgb) { return {Colour::From::Fixed, rgb}; }
constexpr Colour ReadableOn(unsigned rgb, QPalette::ColorRole role) {
  return {Colour::From::ReadableOn, rgb, role};
}

struct Element {
  Kind kind;
  const char* name;
  const char* parent;            // nullptr: the client area, whose top is the toolbar's bottom
  int left, top, width, height;  // twips, in the parent
  const char* caption;           // title, reading, button text or picture; nullptr: none
  Colour background;
  Colour text;
  double points;  // 0: the parent's font
  bool bold;
  int helpContextID;  // 0: none
};

constexpr unsigned kGrey = 0x808080;
constexpr unsigned kCyan = 0x00C0C0;
constexpr unsigned kWhite = 0xFFFFFF;
constexpr QPalette::ColorRole kText = QPalette::WindowText;

// The instrument panel, in the order it is made: that is also the stacking order, and the
// focus chain follows it, so the thruster bar comes before "&Ignite".
// clang-format off
constexpr Element kPanel[] = {
  // kind            name          parent        left  top   width height caption                background        text                                    font   bold   help
  {Kind::Area,      "fmConsole",  nullptr,      120,  465,  6855, 2415, nullptr,                kSystemWindow,    kInherited,                             0,     false, 0},
  {Kind::Frame,     "fmMessage",  "fmConsole",  2110, 10,   2655, 2295, "Lunar module computer", kInherited,      kInherited,                             0,     false, 0},
  {Kind::Console,   "lblMessage", "fmMessage",  120,  240,  2415, 1935, nullptr,                Fixed(0x8080FF),  Fixed(kWhite),                          0,     false, 21},
  {Kind::Picture,   "Image2",     "fmConsole",  4800, 105,  1950, 2220, ":/images/moonscape_right.png", kInherited, kInherited,                         0,     false, 20},
  {Kind::Picture,   "Image1",     "fmConsole",  120,  105,  1950, 2220, ":/images/moonscape_left.png",  kInherited, kInherited,                         0,     false, 20},
  {Kind::Frame,     "fraInfo",    nullptr,      120,  2880, 6855, 1815, "Lunar module control and instrument panel", Fixed(kGrey), Fixed(0xFFFF00),   9.75,  false, 0},
  {Kind::FlatFrame, "fraBurn",    "fraInfo",    2280, 240,  1695, 1455, "Jet thruster",         Fixed(kCyan),     ReadableOn(kCyan, kText),               8.25,  false, 0},
  {Kind::Thruster,  "hsbBurn",    "fraBurn",    1320, 120,  255,  1215, nullptr,                kInherited,       kInherited,                             0,     false, 19},
  {Kind::Button,    "cmdBurn",    "fraBurn",    120,  960,  975,  375,  "&Ignite",              kInherited,       kInherited,                             8.25,  true,  18},
  {Kind::Readout,   "lblBurn",    "fraBurn",    240,  240,  285,  255,  "0",                    Fixed(kWhite),    ReadableOn(kWhite, kText),              0,     false, 17},
  {Kind::FlatFrame, "fmSpeed",    "fraInfo",    120,  960,  1935, 735,  "Speed (feet/sec.)",    Fixed(kGrey),     Fixed(kCyan),                           8.25,  false, 0},
  {Kind::Readout,   "lblSpeed",   "fmSpeed",    360,  240,  375,  255,  "50",                   Fixed(kGrey),     Fixed(0xFF00FF),                        0,     false, 23},
  {Kind::FlatFrame, "fmTime",     "fraInfo",    120,  240,  1935, 735,  "Time (seconds)",       Fixed(kGrey),     Fixed(kWhite),                          8.25,  false, 0},
  {Kind::Readout,   "lblTime",    "fmTime",     360,  240,  375,  255,  "0",                    Fixed(kGrey),     Fixed(0x00FF00),                        0,     false, 22},
  {Kind::FlatFrame, "fmFuel",     "fraInfo",    5400, 240,  1335, 1455, "Fuel (lb)",            Fixed(kGrey),     ReadableOn(kGrey, QPalette::HighlightedText), 8.25, false, 0},
  {Kind::Gauge,     "pbFuel",     "fmFuel",     720,  240,  255,  975,  nullptr,                kInherited,       kInherited,                             0,     false, 27},
  {Kind::Readout,   "lblFuel",    "fmFuel",     240,  240,  375,  255,  "120",                  Fixed(kGrey),     Fixed(0xFF0000),                        0,     false, 26},
  {Kind::FlatFrame, "fmAltitude", "fraInfo",    4080, 240,  1335, 1455, "Altitude (feet)",      Fixed(kGrey),     Fixed(kWhite),                          8.25,  false, 0},
  {Kind::Gauge,     "pbAltitude", "fmAltitude", 840,  240,  255,  975,  nullptr,                kInherited,       kInherited,                             0,     false, 25},
  {Kind::Readout,   "lblAlt",     "fmAltitude", 120,  240,  615,  255,  "500",                  Fixed(kGrey),     Fixed(0x00FFFF),                        0,     false, 24},
};
// clang-format on

QColor Resolve(const Colour& colour, const QPalette& system) {
  switch (colour.from) {
    case Colour::From::Fixed:
      return Rgb(colour.rgb);
    case Colour::From::SystemWindow:
      return system.color(QPalette::Window);
    case Colour::From::ReadableOn:
      return SystemColourAgainst(Rgb(colour.rgb), colour.role, system);
    case Colour::From::Inherited:
      break;
  }
  return {};
}

QWidget* Make(const Element& element, QWidget* parent) {
  const QString caption = element.caption ? QLatin1String(element.caption) : QString();
  switch (element.kind) {
    case Kind::Area: {
      auto* area = new QFrame(parent);
      area->setFrameStyle(QFrame::NoFrame);
      return area;
    }
    case Kind::Frame:
    case Kind::FlatFrame: {
      auto* frame = new PanelFrame(caption, parent);
      frame->setFlat(element.kind == Kind::FlatFrame);
      return frame;
    }
    case Kind::Console: {
      auto* console = new FittingLabel(parent);
      console->setWordWrap(true);
      console->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return console;
    }
    case Kind::Readout: {
      auto* readout = new FittingLabel(parent);
      readout->ShowReading(caption);
      readout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      return readout;
    }
    case Kind::Picture: {
      auto* picture = new QLabel(parent);
      picture->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);  // two pixels each side
      picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      picture->setPixmap(QIcon(caption).pixmap(QSize(126, 144), qApp->devicePixelRatio()));
      return picture;
    }
    case Kind::Thruster: {
      auto* thruster = new QScrollBar(Qt::Vertical, parent);
      UseDefaultColours(thruster);
      thruster->setRange(0, 30);
      thruster->setSingleStep(1);  // the arrows
      thruster->setPageStep(5);    // a click in the trough
      // While the thumb is dragged the bar reports each move as a scroll and the new value
      // only at the end, as a change.
      thruster->setTracking(false);
      thruster->setContextMenuPolicy(Qt::NoContextMenu);  // no "Scroll here" menu
      return thruster;
    }
    case Kind::Button: {
      auto* button = new QPushButton(caption, parent);
      UseDefaultColours(button);
      button->setAutoDefault(false);
      return button;
    }
    case Kind::Gauge: {
      auto* gauge = new VerticalProgressBar(parent);
      UseDefaultColours(gauge);
      return gauge;
    }
  }
  return nullptr;
}

}  // namespace

void frmLand::CreatePanel() {
  // The client area below the toolbar. Everything in it has a fixed place: when the window is
  // resized only the toolbar and the status bar follow its width.
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  SetColours(client, Rgb(0xE0E0E0), {});
  setCentralWidget(client);

  const QPalette system = QApplication::palette();
  QHash<QString, QWidget*> made;
  for (const Element& element : kPanel) {
    const QString name = QLatin1String(element.name);
    QWidget* parent = element.parent ? made.value(QLatin1String(element.parent)) : client;
    QWidget* widget = Make(element, parent);
    widget->setObjectName(name);
    QRect geometry = TwipsRect(element.left, element.top, element.width, element.height);
    widget->setGeometry(element.parent ? geometry : geometry.translated(0, -kToolbarHeight));
    if (element.points > 0) widget->setFont(SansSerif(element.points, element.bold));
    const QColor background = Resolve(element.background, system);
    const QColor text = Resolve(element.text, system);
    if (background.isValid() || text.isValid()) SetColours(widget, background, text);
    made.insert(name, widget);
  }
  const auto find = [&made](auto& member, const char* name) {
    member =
        static_cast<std::remove_reference_t<decltype(member)>>(made.value(QLatin1String(name)));
  };
  find(fmConsole, "fmConsole");
  find(fmMessage, "fmMessage");
  find(lblMessage, "lblMessage");
  find(Image2, "Image2");
  find(Image1, "Image1");
  find(fraInfo, "fraInfo");
  find(fraBurn, "fraBurn");
  find(hsbBurn, "hsbBurn");
  find(cmdBurn, "cmdBurn");
  find(lblBurn, "lblBurn");
  find(fmSpeed, "fmSpeed");
  find(lblSpeed, "lblSpeed");
  find(fmTime, "fmTime");
  find(lblTime, "lblTime");
  find(fmFuel, "fmFuel");
  find(pbFuel, "pbFuel");
  find(lblFuel, "lblFuel");
  find(fmAltitude, "fmAltitude");
  find(pbAltitude, "pbAltitude");
  find(lblAlt, "lblAlt");

  // One style for all six labels, a single-line border; a screen reader names each after its
  // instrument, and the bar after the thruster. The toolbar's buttons are named in CreateToolbar.
  for (FittingLabel* label : {lblMessage, lblBurn, lblSpeed, lblTime, lblFuel, lblAlt}) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->SetInstrumentName(qobject_cast<PanelFrame*>(label->parentWidget())->title());
  }
  hsbBurn->setAccessibleName(fraBurn->title());

  // Only the thruster bar and "&Ignite" take the focus, the bar first; both start disabled.
  for (QWidget* widget : findChildren<QWidget*>()) widget->setFocusPolicy(Qt::NoFocus);
  hsbBurn->setFocusPolicy(Qt::StrongFocus);
  cmdBurn->setFocusPolicy(Qt::StrongFocus);
  hsbBurn->setEnabled(false);
  cmdBurn->setEnabled(false);
  auto* ring = new FocusRing(fraBurn);
  ring->Track(hsbBurn);
  ring->Track(cmdBurn);

  cmdBurn->installEventFilter(this);
  connect(cmdBurn, &QPushButton::clicked, this, &frmLand::cmdBurn_Click);
  connect(hsbBurn, &QScrollBar::valueChanged, this, &frmLand::hsbBurn_Change);
  connect(hsbBurn, &QScrollBar::sliderMoved, this, &frmLand::hsbBurn_Scroll);

  // Last, so that context help sees a click before the window's own handling of it does.
  for (const Element& element : kPanel) {
    if (element.helpContextID != 0) {
      m_help->Attach(made.value(QLatin1String(element.name)), element.helpContextID);
    }
  }
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
  Trap([this] {
    m_services.SetHelpFile(ProgramHelpFile());
    flight::FlightState& s = State();
    s.strMessages += std::string("Incoming message: Roger four-niner this is Houston control.") +
                     kCrLf + "Fasten your harness safety belt." + kCrLf + kCrLf +
                     "Take manual control to land on the moon." + kCrLf + "Roger and out." + kCrLf +
                     ">..";
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
  lblTime->ShowReading(Whole(start.sngTime));
  lblAlt->ShowReading(Whole(start.sngAltitude));
  lblSpeed->ShowReading(Whole(start.sngSpeed));
  lblFuel->ShowReading(Whole(start.sngFuel));
  lblBurn->ShowReading(Whole(0));
  SetThrusterValue(0);  // runs the change handler when the bar was elsewhere
  SetThrusterMax(start.thrusterMax);
  // Each maximum before its value: the bars are designed with a maximum of 100.
  pbAltitude->SetMax(start.altitudeBarMax);
  pbAltitude->SetValue(start.sngAltitude);
  pbFuel->SetMax(start.fuelBarMax);
  pbFuel->SetValue(start.sngFuel);
}

void frmLand::mnuGameStart_Click() {
  Trap([this] {
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
  Trap([this] {
    // First, so that a free fall waiting in a yield ends at its next check.
    Computer().HaltMission();
    flight::FlightState& s = State();
    hsbBurn->setEnabled(false);
    cmdBurn->setEnabled(false);
    ToolbarButton(QStringLiteral("new"))->setEnabled(true);
    mnuGameStart->setEnabled(true);
    if (!s.vMission.value_or(false)) {
      s.strMessages = std::string(kCrLf) + "Mission aborted" + kCrLf;
      s.strMessages += ">";
      SetCaption(flight::Control::lblMessage, s.strMessages);
    }
  });
}

void frmLand::StopMission() {
  Trap([this] { mnuGameStop_Click(); });
}

void frmLand::cmdBurn_Click() {
  Trap([this] { Computer().BurnStep(); });
}

void frmLand::hsbBurn_Change() {
  Trap([this] { Computer().ThrusterChanged(); });
}

void frmLand::hsbBurn_Scroll() {
  Trap([this] { hsbBurn_Change(); });
}

// --- commands ------------------------------------------------------------------------------

void frmLand::Toolbar1_ButtonClick(const QString& key) {
  Trap([this, key] {
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
  Trap([this] {
    State().webURL = app_info::WebAddress().toStdString();
    WebLaunch(State().webURL);
  });
}

void frmLand::mnuHelpAbout_Click() {
  Trap([this] {
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
  hsbBurn->setValue(value);  // emits valueChanged, and so runs hsbBurn_Change, only on a change
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
