// The event storm: thousands of seeded random commands fired at the real main window through the
// real event loop (mouse clicks and keys on the real controls, posted menu triggers, all driven
// by a chain of zero-time timers), free falls included. After every event the window must stand
// in exactly one row of the mission state table, the flight values must keep their invariants,
// and every change must be one that the event explains; nothing may raise a message box.
// Further storms, each in a process of its own, end by closing the game at some event (in a free
// fall, after a touchdown, ...): the program must end right there, with status 0.
//
// Each storm prints its seed; KELVOR_STORM_SEED replays a storm with another seed and
// KELVOR_STORM_EVENTS changes its length.
#include <QApplication>
#include <QDebug>
#include <QProcess>
#include <QTest>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "mainwindow/frm_land.h"
#include "mission_model.h"
#include "storm_driver.h"
#include "storm_services.h"

namespace {

using namespace kelvor::test;

// Clicks and keys on disabled controls are part of the storm; QTest's note that such an event was
// not taken would only bury the output.
QtMessageHandler g_previousHandler = nullptr;

void QuietAboutRefusedInput(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
  if (type == QtWarningMsg && message.endsWith(QLatin1String("not accepted by receiving widget")))
    return;
  g_previousHandler(type, context, message);
}

std::optional<std::uint32_t> SeedFromEnvironment() {
  bool ok = false;
  const uint seed = qEnvironmentVariable("KELVOR_STORM_SEED").toUInt(&ok);
  if (!ok) return std::nullopt;
  return seed;
}

// A storm that ends in a close, in a process of its own: KELVOR_STORM_CLOSE is
// "<seed>:<first event>:<row or any>:<dive weight>". Returns only when the close did not end
// the program.
int RunClosingStorm(const QString& setting) {
  const QStringList field = setting.split(QLatin1Char(':'));
  if (field.size() != 4) return 2;
  std::optional<Row> row;
  for (Row candidate : {Row::kReady, Row::kFlying, Row::kFreeFall, Row::kAborted, Row::kLanded}) {
    if (field[2] == QLatin1String(MissionModel::RowName(candidate))) row = candidate;
  }
  g_previousHandler = qInstallMessageHandler(QuietAboutRefusedInput);
  StormServices services;
  kelvor::frmLand window(services);
  window.show();
  if (!QTest::qWaitForWindowActive(&window)) return 3;
  // Long enough that the storm can only end by the close or by breaking a rule.
  StormDriver storm(window, services, field[0].toUInt(), 1000000, field[3].toInt());
  storm.CloseAt(field[1].toInt(), row);
  storm.Blow();
  std::printf("still running: %s\n", qPrintable(storm.Failure()));
  return 1;
}

}  // namespace

class EventStormTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { g_previousHandler = qInstallMessageHandler(QuietAboutRefusedInput); }

  void cleanupTestCase() { qInstallMessageHandler(g_previousHandler); }

  void stormKeepsTheWindowInTheStateTable_data() {
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("diveWeight");
    QTest::newRow("mixed commands") << 20261206u << 5000 << 1;
    QTest::newRow("mostly free falls") << 7110500u << 3000 << 12;
  }

  void stormKeepsTheWindowInTheStateTable() {
    QFETCH(uint, seed);
    QFETCH(int, events);
    QFETCH(int, diveWeight);
    seed = SeedFromEnvironment().value_or(seed);
    bool ok = false;
    const int wanted = qEnvironmentVariableIntValue("KELVOR_STORM_EVENTS", &ok);
    if (ok && wanted > 0) events = wanted;
    qInfo("storm seed %u, %d events (KELVOR_STORM_SEED=%u replays it)", seed, events, seed);

    StormServices services;
    kelvor::frmLand window(services);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    StormDriver storm(window, services, seed, events, diveWeight);
    storm.Blow();
    // The report is long (both states and the events before): printed whole, not cut short.
    if (!storm.Failure().isEmpty()) qWarning().noquote() << storm.Failure();
    QVERIFY2(storm.Failure().isEmpty(), "the storm broke the window's rules, see above");

    qInfo(
        "%d events; rows seen: Ready %d, Flying %d, Free fall %d, Aborted %d, Landed %d; "
        "in free falls %d events, %d landings, %d aborts, %d restarts; "
        "Help %d, About %d (%d dialogs closed)",
        storm.Events(), storm.RowsSeen(Row::kReady), storm.RowsSeen(Row::kFlying),
        storm.RowsSeen(Row::kFreeFall), storm.RowsSeen(Row::kAborted), storm.RowsSeen(Row::kLanded),
        storm.FallEvents(), storm.FallLandings(), storm.FallAborts(), storm.FallRestarts(),
        storm.HelpCommands(), storm.AboutCommands(), storm.DialogsClosed());

    // The storm reached what it is meant to shake: every row, and falls ended every way.
    for (Row row : {Row::kReady, Row::kFlying, Row::kFreeFall, Row::kAborted, Row::kLanded}) {
      QVERIFY2(storm.RowsSeen(row) > 0, MissionModel::RowName(row));
    }
    QVERIFY(storm.FallEvents() >= 50);
    QVERIFY(storm.FallLandings() > 0);
    QVERIFY(storm.FallAborts() > 0);
    QVERIFY(storm.FallRestarts() > 0);

    // Every Help command asked for the contents once, whichever way it was given.
    QCOMPARE(int(services.helpRequests.size() - services.Topics().size()), storm.HelpCommands());
    // The About command either opens its dialog every time or, until it is wired to one, never.
    if (storm.DialogsClosed() == 0) {
      qWarning("no About command opened a dialog");
    } else {
      QCOMPARE(storm.DialogsClosed(), storm.AboutCommands());
    }
    // A closed About dialog is gone, not hidden.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget* top : QApplication::topLevelWidgets()) {
      QVERIFY2(!top->inherits("kelvor::frmKVAbout"), "an About dialog outlived its closing");
    }
  }

  // Closing the game in the middle of a storm: each storm in a process of its own, closed at the
  // first event from the given one on that finds the window in the given row, by the window's
  // close, Ctrl+Q or Game > Exit as the seed picks.
  void stormEndsWithAClose_data() {
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("diveWeight");
    QTest::newRow("before any other event") << 11u << 0 << "any" << 1;
    QTest::newRow("in the middle of a storm") << 12u << 400 << "any" << 1;
    QTest::newRow("flying") << 13u << 150 << "Flying" << 1;
    QTest::newRow("in a free fall") << 14u << 150 << "Free fall" << 12;
    QTest::newRow("in another free fall") << 15u << 300 << "Free fall" << 12;
    QTest::newRow("in a third free fall") << 20u << 450 << "Free fall" << 12;
    QTest::newRow("after touchdown") << 17u << 200 << "Landed" << 4;
    QTest::newRow("after an abort") << 18u << 200 << "Aborted" << 1;
  }

  void stormEndsWithAClose() {
    QFETCH(uint, seed);
    QFETCH(int, at);
    QFETCH(QString, row);
    QFETCH(int, diveWeight);
    QProcess storm;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KELVOR_STORM_CLOSE"),
               QStringLiteral("%1:%2:%3:%4").arg(seed).arg(at).arg(row).arg(diveWeight));
    storm.setProcessEnvironment(env);
    storm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    storm.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY2(storm.waitForFinished(120000), "the storm did not end");
    const QStringList lines = QString::fromLocal8Bit(storm.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    qInfo("%s", qPrintable(lines.last()));
    // It ended at the close, with nothing after it, and cleanly.
    QVERIFY2(lines.last().startsWith(QLatin1String("closing at event ")), qPrintable(lines.last()));
    if (row != QLatin1String("any")) {
      QVERIFY(lines.last().contains(QStringLiteral(", %1, by ").arg(row)));
    }
    QCOMPARE(storm.exitStatus(), QProcess::NormalExit);
    QCOMPARE(storm.exitCode(), 0);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  const QString closing = qEnvironmentVariable("KELVOR_STORM_CLOSE");
  if (!closing.isEmpty()) return RunClosingStorm(closing);
  EventStormTest test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}
#include "test_event_storm.moc"
