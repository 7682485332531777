#include "mainwindow/panel_controls.h"

#include <QApplication>
#include <QFrame>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>
#include <tuple>
#include <type_traits>

#include "flight/flight_state.h"
#include "mainwindow/fitting_label.h"
#include "mainwindow/panel_frame.h"
#include "mainwindow/vertical_progress_bar.h"
#include "shared/context_help.h"
#include "shared/readable_colour.h"
#include "shared/sans_serif.h"
#include "shared/twips.h"

namespace kelvor {

namespace {

QColor Rgb(unsigned rrggbb) { return QColor::fromRgb(static_cast<QRgb>(rrggbb)); }

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

// What a panel element is made as. Each kind makes one widget type, and a row's member must
// have that type: a row whose kind does not fit its member does not compile.
struct Area {  // a plain frame without a border
  using Widget = QFrame;
  static QFrame* NewWidget(const QString&, QWidget* parent) {
    auto* area = new QFrame(parent);
    area->setFrameStyle(QFrame::NoFrame);
    return area;
  }
};

template <bool flat>
struct TitledFrame {  // a titled frame; drawn flat inside the instrument panel
  using Widget = PanelFrame;
  static PanelFrame* NewWidget(const QString& caption, QWidget* parent) {
    auto* frame = new PanelFrame(caption, parent);
    frame->setFlat(flat);
    return frame;
  }
};
using Frame = TitledFrame<false>;
using FlatFrame = TitledFrame<true>;

struct Console {  // the console label, wrapping its text from the top left
  using Widget = FittingLabel;
  static FittingLabel* NewWidget(const QString&, QWidget* parent) {
    auto* console = new FittingLabel(parent);
    console->setWordWrap(true);
    console->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return console;
  }
};

struct Readout {  // a readout, made showing its design-time reading
  using Widget = FittingLabel;
  static FittingLabel* NewWidget(const QString& caption, QWidget* parent) {
    auto* readout = new FittingLabel(parent);
    readout->ShowReading(caption);
    readout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return readout;
  }
};

struct Picture {  // a sunken picture
  using Widget = QLabel;
  static QLabel* NewWidget(const QString& caption, QWidget* parent) {
    auto* picture = new QLabel(parent);
    picture->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);  // two pixels each side
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(QIcon(caption).pixmap(QSize(126, 144), qApp->devicePixelRatio()));
    return picture;
  }
};

struct Thruster {  // the vertical thruster bar
  using Widget = QScrollBar;
  static QScrollBar* NewWidget(const QString&, QWidget* parent) {
    auto* thruster = new QScrollBar(Qt::Vertical, parent);
    UseDefaultColours(thruster);
    thruster->setRange(0, flight::kThrusterMax);
    thruster->setSingleStep(1);  // the arrows
    thruster->setPageStep(5);    // a click in the trough
    // While the thumb is dragged the bar reports each move as a scroll and the new value
    // only at the end, as a change.
    thruster->setTracking(false);
    thruster->setContextMenuPolicy(Qt::NoContextMenu);  // no "Scroll here" menu
    return thruster;
  }
};

struct Button {  // a push button
  using Widget = QPushButton;
  static QPushButton* NewWidget(const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    UseDefaultColours(button);
    button->setAutoDefault(false);
    return button;
  }
};

struct Gauge {  // a vertical progress bar
  using Widget = VerticalProgressBar;
  static VerticalProgressBar* NewWidget(const QString&, QWidget* parent) {
    auto* gauge = new VerticalProgressBar(parent);
    UseDefaultColours(gauge);
    return gauge;
  }
};

// An element's colour: the platform's, a fixed one, the system's window colour, or the system
// colour of a role that stays readable against a fixed colour, under any scheme.
struct Colour {
  enum class From { kInherited, kFixed, kSystemWindow, kReadableOn } from = From::kInherited;
  unsigned rgb = 0;
  QPalette::ColorRole role = QPalette::WindowText;
};
constexpr Colour kInherited{};
constexpr Colour kSystemWindow{Colour::From::kSystemWindow};
constexpr Colour Fixed(unsigned rgb) { return {Colour::From::kFixed, rgb}; }
constexpr Colour ReadableOn(unsigned rgb, QPalette::ColorRole role) {
  return {Colour::From::kReadableOn, rgb, role};
}

template <class Kind>
struct Element {
  Kind kind;
  typename Kind::Widget* PanelControls::*member;
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
using P = PanelControls;

// The console row and the instrument panel, in the order they are made: a later sibling lies
// above an earlier one.
// clang-format off
constexpr std::tuple kPanel{
  //      kind         member          name          parent        left  top   width height caption                background        text                                    font   bold   help
  Element{Area{},      &P::fmConsole,  "fmConsole",  nullptr,      120,  465,  6855, 2415, nullptr,                kSystemWindow,    kInherited,                             0,     false, 0},
  Element{Frame{},     &P::fmMessage,  "fmMessage",  "fmConsole",  2110, 10,   2655, 2295, "Lunar module computer", kInherited,      kInherited,                             0,     false, 0},
  Element{Console{},   &P::lblMessage, "lblMessage", "fmMessage",  120,  240,  2415, 1935, nullptr,                Fixed(0x8080FF),  Fixed(kWhite),                          0,     false, 21},
  Element{Picture{},   &P::Image2,     "Image2",     "fmConsole",  4800, 105,  1950, 2220, ":/images/moonscape_right.png", kInherited, kInherited,                         0,     false, 20},
  Element{Picture{},   &P::Image1,     "Image1",     "fmConsole",  120,  105,  1950, 2220, ":/images/moonscape_left.png",  kInherited, kInherited,                         0,     false, 20},
  Element{Frame{},     &P::fraInfo,    "fraInfo",    nullptr,      120,  2880, 6855, 1815, "Lunar module control and instrument panel", Fixed(kGrey), Fixed(0xFFFF00),   9.75,  false, 0},
  Element{FlatFrame{}, &P::fraBurn,    "fraBurn",    "fraInfo",    2280, 240,  1695, 1455, "Jet thruster",         Fixed(kCyan),     ReadableOn(kCyan, kText),               8.25,  false, 0},
  Element{Button{},    &P::cmdBurn,    "cmdBurn",    "fraBurn",    120,  960,  975,  375,  "&Ignite",              kInherited,       kInherited,                             8.25,  true,  18},
  Element{Thruster{},  &P::hsbBurn,    "hsbBurn",    "fraBurn",    1320, 120,  255,  1215, nullptr,                kInherited,       kInherited,                             0,     false, 19},
  Element{Readout{},   &P::lblBurn,    "lblBurn",    "fraBurn",    240,  240,  285,  255,  "0",                    Fixed(kWhite),    ReadableOn(kWhite, kText),              0,     false, 17},
  Element{FlatFrame{}, &P::fmSpeed,    "fmSpeed",    "fraInfo",    120,  960,  1935, 735,  "Speed (feet/sec.)",    Fixed(kGrey),     Fixed(kCyan),                           8.25,  false, 0},
  Element{Readout{},   &P::lblSpeed,   "lblSpeed",   "fmSpeed",    360,  240,  375,  255,  "50",                   Fixed(kGrey),     Fixed(0xFF00FF),                        0,     false, 23},
  Element{FlatFrame{}, &P::fmTime,     "fmTime",     "fraInfo",    120,  240,  1935, 735,  "Time (seconds)",       Fixed(kGrey),     Fixed(kWhite),                          8.25,  false, 0},
  Element{Readout{},   &P::lblTime,    "lblTime",    "fmTime",     360,  240,  375,  255,  "0",                    Fixed(kGrey),     Fixed(0x00FF00),                        0,     false, 22},
  Element{FlatFrame{}, &P::fmFuel,     "fmFuel",     "fraInfo",    5400, 240,  1335, 1455, "Fuel (lb)",            Fixed(kGrey),     ReadableOn(kGrey, QPalette::HighlightedText), 8.25, false, 0},
  Element{Gauge{},     &P::pbFuel,     "pbFuel",     "fmFuel",     720,  240,  255,  975,  nullptr,                kInherited,       kInherited,                             0,     false, 27},
  Element{Readout{},   &P::lblFuel,    "lblFuel",    "fmFuel",     240,  240,  375,  255,  "120",                  Fixed(kGrey),     Fixed(0xFF0000),                        0,     false, 26},
  Element{FlatFrame{}, &P::fmAltitude, "fmAltitude", "fraInfo",    4080, 240,  1335, 1455, "Altitude (feet)",      Fixed(kGrey),     Fixed(kWhite),                          8.25,  false, 0},
  Element{Gauge{},     &P::pbAltitude, "pbAltitude", "fmAltitude", 840,  240,  255,  975,  nullptr,                kInherited,       kInherited,                             0,     false, 25},
  Element{Readout{},   &P::lblAlt,     "lblAlt",     "fmAltitude", 120,  240,  615,  255,  "500",                  Fixed(kGrey),     Fixed(0x00FFFF),                        0,     false, 24},
};
// clang-format on

// Runs `visit` on each row of kPanel, in order.
template <class Visit>
void ForEachElement(Visit&& visit) {
  std::apply([&visit](const auto&... element) { (visit(element), ...); }, kPanel);
}

QColor ActualColour(const Colour& colour, const QPalette& system) {
  switch (colour.from) {
    case Colour::From::kFixed:
      return Rgb(colour.rgb);
    case Colour::From::kSystemWindow:
      return system.color(QPalette::Window);
    case Colour::From::kReadableOn:
      return SystemColourAgainst(Rgb(colour.rgb), colour.role, system);
    case Colour::From::kInherited:
      break;
  }
  return {};
}

}  // namespace

void PanelControls::CreateControls(QMainWindow* window, int clientTop) {
  // Everything in the client area has a fixed place: when the window is resized only the
  // toolbar and the status bar follow its width.
  auto* client = new QWidget(window);
  client->setObjectName(QStringLiteral("client"));
  SetColours(client, Rgb(0xE0E0E0), {});
  window->setCentralWidget(client);

  const QPalette system = QApplication::palette();
  QHash<QString, QWidget*> made;
  ForEachElement([&](const auto& element) {
    using Kind = std::remove_cvref_t<decltype(element.kind)>;
    const QString name = QLatin1String(element.name);
    QWidget* parent = element.parent ? made.value(QLatin1String(element.parent)) : client;
    auto* widget =
        Kind::NewWidget(element.caption ? QLatin1String(element.caption) : QString(), parent);
    this->*element.member = widget;
    widget->setObjectName(name);
    QRect geometry = TwipsRect(element.left, element.top, element.width, element.height);
    widget->setGeometry(element.parent ? geometry : geometry.translated(0, -clientTop));
    if (element.points > 0) widget->setFont(SansSerif(element.points, element.bold));
    const QColor background = ActualColour(element.background, system);
    const QColor text = ActualColour(element.text, system);
    if (background.isValid() || text.isValid()) SetColours(widget, background, text);
    made.insert(name, widget);
  });

  // One style for all six labels, a single-line border; a screen reader names each after its
  // instrument, and the bar after the thruster. The toolbar's buttons are named with the toolbar.
  for (FittingLabel* label : {lblMessage, lblBurn, lblSpeed, lblTime, lblFuel, lblAlt}) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->SetInstrumentName(qobject_cast<PanelFrame*>(label->parentWidget())->title());
  }
  hsbBurn->setAccessibleName(fraBurn->title());
}

void PanelControls::AttachHelp(ContextHelp& help) const {
  ForEachElement([this, &help](const auto& element) {
    if (element.helpContextID != 0) help.Attach(this->*element.member, element.helpContextID);
  });
}

}  // namespace kelvor
