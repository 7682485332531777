#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Exit and closing the main window end the program at once with status 0, from any state. Each
// row runs the helper in a process of its own, which must end in the middle of its scenario.
class FrmLandExitTest : public QObject {
  Q_OBJECT

 private slots:
  void endsProgramAtOnce_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("reached");
    QTest::newRow("Exit during the free fall") << "exit-free-fall"
                                               << "falling";
    QTest::newRow("Ctrl+Q during the free fall") << "ctrl-q-free-fall"
                                                 << "falling";
    QTest::newRow("closing the window during the free fall") << "close-free-fall"
                                                             << "falling";
    QTest::newRow("Exit with a message box open") << "exit-message-box"
                                                  << "box open";
    QTest::newRow("closing the window with a message box open") << "close-message-box"
                                                                << "box open";
    QTest::newRow("Exit inside a nested event loop") << "exit-nested-loop"
                                                     << "in nested loop";
    QTest::newRow("Exit with a slow help viewer open") << "exit-help-viewer"
                                                       << "viewer running";
    QTest::newRow("closing the window with a slow help viewer open") << "close-help-viewer"
                                                                     << "viewer running";
  }

  void endsProgramAtOnce() {
    QFETCH(QString, scenario);
    QFETCH(QString, reached);
    QTemporaryDir folder;
    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KELVOR_EXIT_FOLDER"), folder.path());
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::SeparateChannels);
    helper.start(QStringLiteral(KELVOR_EXIT_HELPER), {scenario});
    QVERIFY(helper.waitForReadyRead(30000));
    // Once the scenario is under way the end is a matter of moments, not of another program.
    QElapsedTimer ending;
    ending.start();
    QVERIFY(helper.waitForFinished(30000));
    QVERIFY2(ending.elapsed() < 1500, qPrintable(QString::number(ending.elapsed())));
    const QString out = QString::fromLocal8Bit(helper.readAllStandardOutput());
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
    // It got into the state and ended there: nothing after the request ran.
    QCOMPARE(out, reached + QLatin1Char('\n'));
  }
};

QTEST_MAIN(FrmLandExitTest)
#include "test_frm_land_exit.moc"
