#include <QTest>
#include <cfloat>

#include "flight_doubles.h"

using kelvor::flight::Bar;
using kelvor::flight::Control;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {
const std::string kPerfect = "Houston sends congratulations! A perfect landing!";
const std::string kDamage =
    "You inflicted some craft damage and stranded until a rescue craft arrives.";
const std::string kFatal = "Flight black box recorder activated for fatalistic crash.";

std::string Report(const std::string& time, const std::string& speed, const std::string& fuel,
                   const std::string& grade) {
  return "Touchdown at " + time + " seconds.\r\nLanding velocity is " + speed + " ft/sec.\r\n" +
         fuel + " units of fuel remaining.\r\n\r\n" + grade + "\r\n>";
}
}  // namespace

class TestFlightComputer : public QObject {
  Q_OBJECT

 private slots:
  void oneStepFromStart_data() {
    QTest::addColumn<int>("burn");
    QTest::addColumn<float>("speed");
    QTest::addColumn<float>("altitude");
    QTest::addColumn<float>("fuel");
    QTest::addColumn<QString>("altText");
    QTest::addColumn<float>("altBar");
    QTest::newRow("free fall adds gravity") << 0 << 55.f << 447.5f << 120.f << "447.5" << 448.f;
    QTest::newRow("burn 5 holds the speed") << 5 << 50.f << 450.f << 115.f << "450.0" << 450.f;
    QTest::newRow("burn 30 brakes hard") << 30 << 25.f << 462.5f << 90.f << "462.5" << 463.f;
  }
  void oneStepFromStart() {
    QFETCH(int, burn);
    QFETCH(float, speed);
    QFETCH(float, altitude);
    QFETCH(float, fuel);
    QFETCH(QString, altText);
    QFETCH(float, altBar);
    MissionRig rig;
    rig.Start();
    rig.panel.Drag(static_cast<std::int16_t>(burn));
    rig.panel.calls.clear();
    rig.computer.BurnStep();

    const auto& s = rig.State();
    QCOMPARE(s.sngTime, 1.f);
    QCOMPARE(s.sngSpeed, speed);
    QCOMPARE(s.sngAltitude, altitude);
    QCOMPARE(s.sngFuel, fuel);
    QCOMPARE(rig.panel.captions[Control::lblTime], std::string("1"));
    QCOMPARE(QString::fromStdString(rig.panel.captions[Control::lblAlt]), altText);
    QCOMPARE(rig.panel.bars[Bar::pbAltitude], altBar);
    QCOMPARE(rig.panel.bars[Bar::pbFuel], fuel);
    // The panel is written in a fixed order and nothing is repainted during a normal step.
    const std::vector<std::string> expected = {"SetCaption lblTime",     "SetCaption lblAlt",
                                               "SetBarValue pbAltitude", "SetCaption lblSpeed",
                                               "SetCaption lblFuel",     "SetBarValue pbFuel"};
    QCOMPARE(rig.panel.calls, expected);
    QVERIFY(rig.host.errors.empty());
  }

  void touchdownReport_data() {
    QTest::addColumn<std::vector<int>>("burns");
    QTest::addColumn<int>("presses");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("fuel");
    QTest::addColumn<QString>("grade");
    auto row = [](const char* name, std::vector<int> burns, int presses, const char* time,
                  const char* speed, const char* fuel, const std::string& grade) {
      QTest::newRow(name) << burns << presses << time << speed << fuel
                          << QString::fromStdString(grade);
    };
    row("no burn at all", {0}, 8, "7.32", "86.60", "120", kFatal);
    row("ends exactly at zero with zero speed", {0, 0, 0, 0, 0, 20}, 10, "10.00", "0.00", "20",
        kPerfect);
    row("exactly 2 ft/sec is perfect", {0, 0, 0, 0, 0, 6, 29, 30, 28}, 9, "9.00", "2.00", "27",
        kPerfect);
    row("exactly 10 ft/sec is damaging", {5, 5, 5, 5, 9}, 14, "14.00", "10.00", "10", kDamage);
    row("early contact inside the last second", {1, 1, 1, 1, 13}, 12, "11.22", "8.25", "12",
        kDamage);
    row("constant speed to exactly zero", {5}, 10, "10.00", "50.00", "70", kFatal);
    row("constant speed with a fraction", {0, 0, 0, 0, 0, 0, 0, 5}, 8, "7.32", "85.00", "115",
        kFatal);
    row("free fall after burning all fuel", {30, 30, 30, 30}, 4, "31.32", "86.60", "0", kFatal);
  }
  void touchdownReport() {
    QFETCH(std::vector<int>, burns);
    QFETCH(int, presses);
    QFETCH(QString, time);
    QFETCH(QString, speed);
    QFETCH(QString, fuel);
    QFETCH(QString, grade);
    MissionRig rig;
    rig.Start();
    QCOMPARE(rig.Fly(burns), presses);

    const auto& s = rig.State();
    const auto report =
        Report(time.toStdString(), speed.toStdString(), fuel.toStdString(), grade.toStdString());
    QCOMPARE(s.strMessages, report);
    QCOMPARE(rig.panel.captions[Control::lblMessage], report);
    QCOMPARE(QString::fromStdString(rig.panel.captions[Control::lblTime]), time);
    QCOMPARE(QString::fromStdString(rig.panel.captions[Control::lblSpeed]), speed);
    QCOMPARE(rig.panel.captions[Control::lblAlt], std::string("0.0"));
    QCOMPARE(QString::fromStdString(rig.panel.captions[Control::lblFuel]), fuel);
    QCOMPARE(rig.panel.bars[Bar::pbAltitude], 0.f);
    QCOMPARE(s.vMission, std::optional<bool>(true));
    QCOMPARE(s.intHalted, std::int16_t(-1));
    QCOMPARE(rig.host.stops, 1);
    QVERIFY(!rig.panel.burnControlsEnabled);
    QVERIFY(rig.host.errors.empty());
  }

  void touchdownLeavesStartOfLastSecond() {
    // Bar at 0: the eighth second starts at 27.5 ft and 85 ft/sec after 7 whole seconds.
    MissionRig rig;
    rig.Start();
    rig.Fly({0});
    const auto& s = rig.State();
    QCOMPARE(s.sngAltitude, 27.5f);
    QCOMPARE(s.sngSpeed, 85.f);
    QCOMPARE(s.sngTime, 7.f);
    QCOMPARE(s.sngFuel, 120.f);
  }

  void contactBeforeClimbingBackToZero() {
    // From 2.5 ft at 15 ft/sec a burn of 30 ends the second at exactly 0 while climbing, but
    // the lander met the ground at t = 0.2 doing 10 ft/sec.
    MissionRig rig;
    rig.Start();
    auto& s = rig.State();
    s.sngAltitude = 2.5f;
    s.sngSpeed = 15;
    s.sngFuel = 40;
    rig.panel.Drag(30);
    rig.computer.BurnStep();
    QCOMPARE(rig.panel.captions[Control::lblSpeed], std::string("10.00"));
    QCOMPARE(rig.panel.captions[Control::lblTime], std::string("0.20"));
  }

  void gradeUsesUnroundedVelocity() {
    // 2.004 ft/sec prints as 2.00 but is above 2: a damaging landing.
    MissionRig rig;
    rig.Start();
    auto& s = rig.State();
    s.sngAltitude = 1.002f;
    s.sngSpeed = 2.004f;
    s.sngFuel = 40;
    rig.panel.Drag(5);
    rig.computer.BurnStep();
    QCOMPARE(rig.panel.captions[Control::lblSpeed], std::string("2.00"));
    QVERIFY(s.strMessages.find(kDamage) != std::string::npos);
  }

  void lowFuelLimitsTheBar_data() {
    QTest::addColumn<float>("fuel");
    QTest::addColumn<int>("bar");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("changes");
    QTest::newRow("bar above fuel left is pulled down") << 35.f << 30 << 5 << 5 << 1;
    QTest::newRow("bar within fuel left keeps its value") << 8.f << 3 << 3 << 5 << 0;
    QTest::newRow("exactly 30 left does not touch the bar") << 60.f << 30 << 30 << 30 << 0;
    QTest::newRow("29 left lowers the maximum") << 59.f << 30 << 29 << 29 << 1;
  }
  void lowFuelLimitsTheBar() {
    QFETCH(float, fuel);
    QFETCH(int, bar);
    QFETCH(int, value);
    QFETCH(int, maximum);
    QFETCH(int, changes);
    MissionRig rig;
    rig.Start();
    rig.State().sngFuel = fuel;
    rig.panel.Drag(static_cast<std::int16_t>(bar));
    rig.panel.calls.clear();
    rig.computer.BurnStep();
    QCOMPARE(int(rig.panel.thrusterValue), value);
    QCOMPARE(int(rig.panel.thrusterMax), maximum);
    QCOMPARE(rig.State().sngBurn, float(value));
    QCOMPARE(rig.panel.captions[Control::lblBurn], std::to_string(value));
    // The burn label follows the bar before the step returns, repainted at once.
    QCOMPARE(rig.panel.Count("Repaint lblBurn"), changes);
    if (fuel - bar >= 30) QCOMPARE(rig.panel.Count("SetThrusterMax 30"), 0);
  }

  void climbAfterBurningAllFuel() {
    MissionRig rig;
    rig.Start();
    std::vector<float> speeds, altitudes;
    rig.panel.Drag(30);
    for (int i = 0; i < 3; ++i) {
      rig.computer.BurnStep();
      speeds.push_back(rig.State().sngSpeed);
      altitudes.push_back(rig.State().sngAltitude);
    }
    QCOMPARE(speeds, (std::vector<float>{25, 0, -25}));
    QCOMPARE(altitudes, (std::vector<float>{462.5f, 450, 462.5f}));
    QCOMPARE(rig.panel.captions[Control::lblSpeed], std::string("-25"));

    // The fourth step empties the tank climbing at 50 ft/sec from 500 ft; the free fall rises
    // to exactly 750 ft at 14 seconds before it comes down.
    float highest = 0, timeAtHighest = 0;
    std::string reportWhenFalling;
    rig.panel.onYield = [&] {
      const auto& s = rig.State();
      if (s.sngAltitude > highest) {
        highest = s.sngAltitude;
        timeAtHighest = s.sngTime;
      }
      if (reportWhenFalling.empty()) reportWhenFalling = s.strMessages;
    };
    rig.computer.BurnStep();
    QCOMPARE(highest, 750.f);
    QCOMPARE(timeAtHighest, 14.f);
    QCOMPARE(reportWhenFalling,
             std::string("\r\nWARNING: Red code alert\r\n\r\nOut of fuel !!!\r\n\r\n"
                         "Auto transmission to Houston:\r\nMayday... Mayday...\r\n>"));
    QCOMPARE(rig.panel.Count("YieldToEvents"), 28);
    QCOMPARE(rig.State().sngBurn, 0.f);
    QCOMPARE(rig.panel.captions[Control::lblBurn], std::string("0"));
    QVERIFY(rig.host.beeps >= 28);
  }

  void outOfFuelSequenceOrder() {
    MissionRig rig;
    rig.Start();
    rig.State().sngFuel = 10;
    rig.State().sngAltitude = 5000;
    rig.panel.Drag(10);
    rig.panel.calls.clear();
    rig.panel.onYield = [&] { rig.State().intHalted = -1; };
    rig.computer.BurnStep();
    const std::vector<std::string> tail(rig.panel.calls.begin() + 6, rig.panel.calls.end());
    const std::vector<std::string> expected = {"SetCaption lblBurn",  "SetBarValue pbFuel",
                                               "DisableBurnControls", "SetCaption lblMessage",
                                               "Repaint lblMessage",  "YieldToEvents"};
    QCOMPARE(tail, expected);
  }

  void freeFallPassRepaintsWhatItChanges() {
    MissionRig rig;
    rig.Start();
    auto& s = rig.State();
    s.sngFuel = 0;
    s.sngAltitude = 1000;
    int yields = 0;
    rig.panel.onYield = [&] {
      if (++yields == 1) rig.panel.calls.clear();
      if (yields == 2) s.intHalted = -1;
    };
    rig.computer.BurnStep();  // the step itself, then one free-fall pass
    const std::vector<std::string> pass = {
        "SetBarValue pbAltitude", "SetCaption lblTime",  "Repaint lblTime",  "SetCaption lblAlt",
        "Repaint lblAlt",         "SetCaption lblSpeed", "Repaint lblSpeed", "YieldToEvents"};
    QCOMPARE(rig.panel.calls, pass);
  }

  void emptyTankAndSurfaceInOneSecondGoesStraightToTouchdown() {
    MissionRig rig;
    rig.Start();
    auto& s = rig.State();
    s.sngAltitude = 10;
    s.sngFuel = 5;
    rig.panel.Drag(5);
    rig.computer.BurnStep();
    QCOMPARE(rig.panel.Count("YieldToEvents"), 0);
    QCOMPARE(s.strMessages.rfind("Touchdown at ", 0), std::size_t(0));
    QCOMPARE(s.sngFuel, 0.f);
  }

  void stopDuringFreeFallWritesAbortReport() {
    MissionRig rig;
    rig.Start();
    rig.panel.Drag(30);
    int yields = 0;
    std::string timeShown;
    rig.panel.onYield = [&] {
      if (++yields == 3) {
        timeShown = rig.panel.captions[Control::lblTime];
        rig.host.StopMission();
      }
    };
    for (int i = 0; i < 4; ++i) rig.computer.BurnStep();
    const auto& s = rig.State();
    QCOMPARE(s.strMessages, std::string("\r\nMission aborted\r\n>"));
    QCOMPARE(s.vMission, std::optional<bool>(false));
    QCOMPARE(rig.host.beeps > 0, true);
    QCOMPARE(rig.panel.captions[Control::lblTime], timeShown);  // panel keeps its last values
    QCOMPARE(s.sngTime, 6.f);
    QCOMPARE(rig.host.stops, 1);
  }

  // Stop and Start handled within one yield leave intHalted at 0 again; the old loop must
  // still let go instead of flying the new mission. The loop has flown one second (time 5,
  // 547.5 ft, climbing at 45) when the Start comes; one that fails before it restores the start
  // state leaves those values, and the loop must let go all the same.
  void newMissionDuringFreeFallEndsTheOldLoop_data() {
    QTest::addColumn<bool>("restoring");
    QTest::addColumn<float>("time");
    QTest::addColumn<float>("altitude");
    QTest::addColumn<float>("speed");
    QTest::addColumn<float>("fuel");
    QTest::newRow("Start") << true << 0.f << 500.f << 50.f << 120.f;
    QTest::newRow("Start failing before the start state") << false << 5.f << 547.5f << -45.f << 0.f;
  }
  void newMissionDuringFreeFallEndsTheOldLoop() {
    QFETCH(bool, restoring);
    QFETCH(float, time);
    QFETCH(float, altitude);
    QFETCH(float, speed);
    QFETCH(float, fuel);
    MissionRig rig;
    rig.Start();
    rig.panel.Drag(30);
    int yields = 0;
    rig.panel.onYield = [&] {
      if (++yields == 2) {
        rig.host.StopMission();
        rig.Start(restoring);
      }
    };
    for (int i = 0; i < 4; ++i) rig.computer.BurnStep();
    const auto& s = rig.State();
    QCOMPARE(yields, 2);
    QCOMPARE(s.intHalted, std::int16_t(0));
    QCOMPARE(s.sngAltitude, altitude);
    QCOMPARE(s.sngSpeed, speed);
    QCOMPARE(s.sngFuel, fuel);
    QCOMPARE(s.sngTime, time);
    QVERIFY(rig.panel.burnControlsEnabled);
  }

  void alarmPauseLength_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("beeps");
    QTest::newRow("one second") << 1.0 << 4;
    QTest::newRow("zero still beeps once") << 0.0 << 1;
    QTest::newRow("negative still beeps once") << -1.0 << 1;
  }
  void alarmPauseLength() {
    QFETCH(double, seconds);
    QFETCH(int, beeps);
    MissionRig rig;
    const double start = rig.host.now;
    rig.computer.AlarmPause(seconds);
    QCOMPARE(rig.host.beeps, beeps);
    QVERIFY(rig.host.now - start >= seconds);
    QVERIFY(rig.host.now - start < std::max(seconds, 0.0) + rig.host.beepLength + 1e-9);
  }

  void thrusterFollowsDrag() {
    MissionRig rig;
    rig.Start();
    std::vector<std::string> shown;
    for (std::int16_t v = 0; v <= 30; ++v) {
      rig.panel.Drag(v);
      shown.push_back(rig.panel.captions[Control::lblBurn]);
    }
    QCOMPARE(shown.front(), std::string("0"));
    QCOMPARE(shown[17], std::string("17"));
    QCOMPARE(rig.State().sngBurn, 30.f);
    // Setting the value the bar already has raises no notification.
    rig.panel.calls.clear();
    rig.panel.SetThrusterValue(30);
    QCOMPARE(rig.panel.Count("Repaint lblBurn"), 0);
  }

  void runTimeErrorEndsStepAndIsReported_data() {
    QTest::addColumn<QString>("failOn");
    QTest::addColumn<float>("fuel");
    QTest::addColumn<float>("time");
    QTest::newRow("altitude bar refuses") << "SetBarValue pbAltitude" << 115.f << 1.f;
    QTest::newRow("time label fails") << "SetCaption lblTime" << 115.f << 1.f;
  }
  void runTimeErrorEndsStepAndIsReported() {
    QFETCH(QString, failOn);
    QFETCH(float, fuel);
    QFETCH(float, time);
    MissionRig rig;
    rig.Start();
    rig.panel.Drag(5);
    rig.panel.failOn = failOn.toStdString();
    rig.computer.BurnStep();
    QCOMPARE(rig.host.errors.size(), std::size_t(1));
    QCOMPARE(rig.host.errors[0].first, 380);
    QCOMPARE(rig.State().sngFuel, fuel);  // what was stored before the error stays stored
    QCOMPARE(rig.State().sngTime, time);
    QVERIFY(rig.panel.captions.count(Control::lblFuel) == 0);
  }

  void overflowIsReported() {
    MissionRig rig;
    rig.Start();
    rig.State().sngSpeed = -FLT_MAX;
    rig.State().sngAltitude = FLT_MAX;
    rig.computer.BurnStep();
    QCOMPARE(rig.host.errors.size(), std::size_t(1));
    QCOMPARE(rig.host.errors[0], std::make_pair(6, std::string("Overflow")));
  }
};

QTEST_GUILESS_MAIN(TestFlightComputer)
#include "test_flight_computer.moc"
