#pragma once

class QFrame;
class QLabel;
class QMainWindow;
class QPushButton;
class QScrollBar;

namespace kelvor {

class ContextHelp;
class FittingLabel;
class PanelFrame;
class VerticalProgressBar;

// The main window's controls below the toolbar, the console row and the instrument panel, made
// from one table of their designed places, captions, colours, fonts and help context numbers.
// The window inherits them privately, as it would a form made in Qt Designer, so that each
// control keeps the name the design gives it.
struct PanelControls {
  // Makes the client area of `window`, whose top lies `clientTop` pixels below the designed
  // one (under the toolbar), and every control on it, in the designed order of creation.
  void CreateControls(QMainWindow* window, int clientTop);
  // Gives each control its help context number. Done last, so that context help sees a click
  // before the window's own handling of it does.
  void AttachHelp(ContextHelp& help) const;

  QFrame* fmConsole = nullptr;
  PanelFrame* fmMessage = nullptr;
  FittingLabel* lblMessage = nullptr;
  QLabel* Image2 = nullptr;
  QLabel* Image1 = nullptr;
  PanelFrame* fraInfo = nullptr;
  PanelFrame* fraBurn = nullptr;
  QPushButton* cmdBurn = nullptr;
  QScrollBar* hsbBurn = nullptr;
  FittingLabel* lblBurn = nullptr;
  PanelFrame* fmSpeed = nullptr;
  FittingLabel* lblSpeed = nullptr;
  PanelFrame* fmTime = nullptr;
  FittingLabel* lblTime = nullptr;
  PanelFrame* fmFuel = nullptr;
  VerticalProgressBar* pbFuel = nullptr;
  FittingLabel* lblFuel = nullptr;
  PanelFrame* fmAltitude = nullptr;
  VerticalProgressBar* pbAltitude = nullptr;
  FittingLabel* lblAlt = nullptr;
};

}  // namespace kelvor
