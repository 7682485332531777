#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "flight/flight_computer.h"
#include "flight/instrument_panel.h"
#include "flight/mission_host.h"
#include "mainwindow/panel_controls.h"
#include "shared/services.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;

namespace kelvor {

class ContextHelp;
class FittingLabel;

// The main window: the lunar module's control and instrument panel. It hosts the flight
// computer, implements its panel on the controls (made by PanelControls) and runs the mission
// commands. Creating it loads it: the controls are built and Form_Load has run, but the window
// is not shown.
class frmLand : public QMainWindow,
                public flight::InstrumentPanel,
                public flight::MissionHost,
                private PanelControls {
  Q_OBJECT

 public:
  // Message boxes, help, the browser, the system-information program, the alarm and the clock
  // all come from `services`, which must outlive the window.
  explicit frmLand(Services& services, QWidget* parent = nullptr);
  ~frmLand() override;

  flight::FlightState& State();
  flight::FlightComputer& Computer();

  // Event handlers, named after their control and event.
  void Form_Load();
  void cmdBurn_Click();
  void hsbBurn_Change();
  void hsbBurn_Scroll();
  void mnuGameStart_Click();
  void mnuGameStop_Click();
  void mnuGameExit_Click();
  void mnuHelpTopics_Click();
  void mnuHelpWeb_Click();
  void mnuHelpAbout_Click();
  void Toolbar1_ButtonClick(const QString& key);

  void WebLaunch(const std::string& sURL);

  // flight::MissionHost
  void StopMission() override;
  void Beep() override;
  double MonotonicSeconds() override;
  void ReportError(int number, const std::string& description) override;

  // flight::InstrumentPanel
  void SetCaption(flight::Control control, const std::string& text) override;
  void SetBarValue(flight::Bar bar, float value) override;
  void Repaint(flight::Control control) override;
  std::int16_t GetThrusterValue() override;
  void SetThrusterValue(std::int16_t value) override;
  void SetThrusterMax(std::int16_t value) override;
  void SetBurnControlsEnabled(bool enabled) override;
  void YieldToEvents() override;

  // The toolbar button with this key; run-time error 35600 when there is none.
  QAction* ToolbarButton(const QString& key) const;
  // The status bar panel at this position, counted from 1; run-time error 35600 when none.
  QLabel* StatusPanel(int index) const;

  // Ends the program at once with exit status 0, whatever runs at the moment: no window is
  // closed one by one, no close handling and no destructor runs.
  [[noreturn]] void EndProgram();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  QMenu* createPopupMenu() override;

 private:
  void CreateMenus();
  void CreateToolbar();
  void CreateStatusBar();
  void CreatePanel();
  FittingLabel* Label(flight::Control control) const;
  void ShowStartState();
  ContextHelp* m_help = nullptr;
  Services& m_services;
  flight::FlightComputer m_computer{*this, *this};
  bool m_centred = false;
  std::vector<QLabel*> m_statusPanels;

  QToolBar* Toolbar1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QMenu* mnuGame = nullptr;
  QAction* mnuGameStart = nullptr;
  QAction* mnuGameStop = nullptr;
  QAction* mnuGameExit = nullptr;
  QMenu* mnuHelp = nullptr;
  QAction* mnuHelpTopics = nullptr;
  QAction* mnuHelpWeb = nullptr;
  QAction* mnuHelpAbout = nullptr;
};

}  // namespace kelvor
