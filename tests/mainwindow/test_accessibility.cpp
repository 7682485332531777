#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <memory>

#include "mainwindow/fitting_label.h"
#include "mainwindow/frm_land.h"
#include "tests/fake_services.h"

using kelvor::FittingLabel;

// What a screen reader finds on the main window: the readouts by their instruments, the console,
// the thruster bar and the toolbar buttons, read through the accessibility interfaces it uses.
class AccessibilityTest : public QObject {
  Q_OBJECT

 private:
  FakeServices services;  // outlives the window
  std::unique_ptr<kelvor::frmLand> w;

  QAccessibleInterface* Accessible(const QString& objectName) const {
    QObject* found = w->findChild<QObject*>(objectName);
    if (!found) qFatal("no control named %s", qPrintable(objectName));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(found);
    if (!iface) qFatal("%s is not accessible", qPrintable(objectName));
    return iface;
  }
  QString Name(const QString& objectName) const {
    return Accessible(objectName)->text(QAccessible::Name);
  }
  QString Description(const QString& objectName) const {
    return Accessible(objectName)->text(QAccessible::Description);
  }
  QAccessibleValueInterface* Bar() const {
    QAccessibleValueInterface* value = Accessible(QStringLiteral("hsbBurn"))->valueInterface();
    if (!value) qFatal("the thruster bar has no value interface");
    return value;
  }
  // Presses "Ignite" through its press action, which clicks the button a moment later (an
  // animated click), and waits for the clock to reach the second.
  void Ignite(int second) const {
    QAccessibleActionInterface* action = Accessible(QStringLiteral("cmdBurn"))->actionInterface();
    QVERIFY(action);
    action->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(Description(QStringLiteral("lblTime")), QString::number(second));
  }

 private slots:
  void init() {
    w = std::make_unique<kelvor::frmLand>(services);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
  }
  void cleanup() { w.reset(); }

  void readoutsAreNamedAfterTheirInstrumentAndDescribedByTheirReading_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reading");
    QTest::newRow("time") << "lblTime"
                          << "Time (seconds)"
                          << "0";
    QTest::newRow("speed") << "lblSpeed"
                           << "Speed (feet/sec.)"
                           << "50";
    QTest::newRow("altitude") << "lblAlt"
                              << "Altitude (feet)"
                              << "500";
    QTest::newRow("fuel") << "lblFuel"
                          << "Fuel (lb)"
                          << "120";
    QTest::newRow("burn") << "lblBurn"
                          << "Jet thruster"
                          << "0";
  }
  void readoutsAreNamedAfterTheirInstrumentAndDescribedByTheirReading() {
    QFETCH(QString, label);
    QFETCH(QString, name);
    QFETCH(QString, reading);
    QCOMPARE(Name(label), name);
    QCOMPARE(Description(label), reading);
    QCOMPARE(Accessible(label)->role(), QAccessible::StaticText);
  }

  void framesAreNamedAfterTheirCaption_data() {
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("name");
    QTest::newRow("time") << "fmTime"
                          << "Time (seconds)";
    QTest::newRow("thruster") << "fraBurn"
                              << "Jet thruster";
    QTest::newRow("panel") << "fraInfo"
                           << "Lunar module control and instrument panel";
  }
  void framesAreNamedAfterTheirCaption() {
    QFETCH(QString, frame);
    QFETCH(QString, name);
    QCOMPARE(Name(frame), name);
  }

  void ignitionUpdatesTheReadingsKeepingTheNames_data() {
    QTest::addColumn<int>("burn");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reading");
    QTest::newRow("no burn: time") << 0 << "lblTime"
                                   << "Time (seconds)"
                                   << "1";
    QTest::newRow("no burn: speed") << 0 << "lblSpeed"
                                    << "Speed (feet/sec.)"
                                    << "55";
    QTest::newRow("no burn: altitude") << 0 << "lblAlt"
                                       << "Altitude (feet)"
                                       << "447.5";
    QTest::newRow("no burn: fuel") << 0 << "lblFuel"
                                   << "Fuel (lb)"
                                   << "120";
    QTest::newRow("burn 12: speed") << 12 << "lblSpeed"
                                    << "Speed (feet/sec.)"
                                    << "43";
    QTest::newRow("burn 12: altitude") << 12 << "lblAlt"
                                       << "Altitude (feet)"
                                       << "453.5";
    QTest::newRow("burn 12: fuel") << 12 << "lblFuel"
                                   << "Fuel (lb)"
                                   << "108";
    QTest::newRow("burn 12: thruster") << 12 << "lblBurn"
                                       << "Jet thruster"
                                       << "12";
  }
  void ignitionUpdatesTheReadingsKeepingTheNames() {
    QFETCH(int, burn);
    QFETCH(QString, label);
    QFETCH(QString, name);
    QFETCH(QString, reading);
    // Played as a screen reader plays: the menu item, the bar's value, the button's press.
    w->findChild<QAction*>(QStringLiteral("mnuGameStart"))->trigger();
    Bar()->setCurrentValue(burn);
    Ignite(1);
    QCOMPARE(Description(label), reading);
    QCOMPARE(Name(label), name);
  }

  void consoleReadsAsLinesWithoutCarriageReturns() {
    QCOMPARE(Name(QStringLiteral("lblMessage")), QStringLiteral("Lunar module computer"));
    QCOMPARE(Description(QStringLiteral("lblMessage")),
             QStringLiteral("Incoming message: Roger four-niner this is Houston control.\n"
                            "Fasten your harness safety belt.\n\n"
                            "Take manual control to land on the moon.\nRoger and out.\n>.."));
    w->findChild<QAction*>(QStringLiteral("mnuGameStart"))->trigger();
    QCOMPARE(Description(QStringLiteral("lblMessage")), QString());
    w->findChild<QAction*>(QStringLiteral("mnuGameStop"))->trigger();
    QCOMPARE(Description(QStringLiteral("lblMessage")), QStringLiteral("\nMission aborted\n>"));
  }

  void thrusterBarExposesItsValueAndRange() {
    QCOMPARE(Name(QStringLiteral("hsbBurn")), QStringLiteral("Jet thruster"));
    QCOMPARE(Bar()->minimumValue().toInt(), 0);
    QCOMPARE(Bar()->maximumValue().toInt(), 30);
    QCOMPARE(Bar()->currentValue().toInt(), 0);
    w->findChild<QAction*>(QStringLiteral("mnuGameStart"))->trigger();
    Bar()->setCurrentValue(7);
    QCOMPARE(Bar()->currentValue().toInt(), 7);
    QCOMPARE(w->State().sngBurn, 7.0f);
    QCOMPARE(Description(QStringLiteral("lblBurn")), QStringLiteral("7"));
  }

  void thrusterRangeShrinksWithTheFuelLeft() {
    w->findChild<QAction*>(QStringLiteral("mnuGameStart"))->trigger();
    Bar()->setCurrentValue(30);
    for (int second = 1; second <= 3; ++second) Ignite(second);
    QCOMPARE(Bar()->maximumValue().toInt(), 30);
    Bar()->setCurrentValue(10);
    Ignite(4);
    QCOMPARE(Description(QStringLiteral("lblFuel")), QStringLiteral("20"));
    QCOMPARE(Bar()->maximumValue().toInt(), 20);
    QCOMPARE(Bar()->currentValue().toInt(), 10);
  }

  void toolbarButtonsAreNamedAfterTheirTooltips_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::newRow("new") << "new"
                         << "Start new mission";
    QTest::newRow("stop") << "stop"
                          << "Stop mission";
    QTest::newRow("help") << "help"
                          << "Help";
    QTest::newRow("about") << "about"
                           << "About Tandrel Lunar Landing";
    QTest::newRow("web") << "web"
                         << "Tandrel web site";
  }
  void toolbarButtonsAreNamedAfterTheirTooltips() {
    QFETCH(QString, key);
    QFETCH(QString, name);
    QAction* action = w->ToolbarButton(key);
    QWidget* button = w->findChild<QToolBar*>(QStringLiteral("Toolbar1"))->widgetForAction(action);
    QVERIFY(button);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QCOMPARE(iface->text(QAccessible::Name), action->toolTip());
    QCOMPARE(iface->role(), QAccessible::Button);
  }

  void unnamedLabelReadsAsAPlainLabel() {
    // Outside the panel a label's text is its name, as for any label, and nothing is described.
    FittingLabel label;
    label.ShowReading(QStringLiteral("Roger\r\n>"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&label);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Roger\r\n>"));
    QCOMPARE(iface->text(QAccessible::Description), QString());
    label.SetInstrumentName(QStringLiteral("Console"));
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Console"));
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("Roger\n>"));
  }
};

QTEST_MAIN(AccessibilityTest)
#include "test_accessibility.moc"
