// What the player is told when the help cannot be shown: one sentence for each failure the help
// viewer reports, naming its file or program.
#include <QtTest>

#include "app/help_failure_message.h"

using Kind = kelvor::HelpFailure::Kind;
Q_DECLARE_METATYPE(Kind)

class TestHelpFailureMessage : public QObject {
  Q_OBJECT

 private slots:
  void namesTheFailureAndItsPath_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("help file missing")
        << Kind::kMissingFile << "/opt/game/Kelvor.hlp" << false << 0
        << "The help could not be shown: the help file /opt/game/Kelvor.hlp is missing or "
           "unreadable.";
    QTest::newRow("viewer not started")
        << Kind::kNotStarted << "/usr/bin/assistant" << false << 0
        << "The help could not be shown: the help viewer /usr/bin/assistant could not be "
           "started.";
    QTest::newRow("viewer ended with a status")
        << Kind::kEndedWithError << "/usr/bin/assistant" << false << 3
        << "The help could not be shown: the help viewer /usr/bin/assistant ended with an error "
           "(exit status 3).";
    QTest::newRow("viewer crashed")
        << Kind::kEndedWithError << "/usr/bin/assistant" << true << 0
        << "The help could not be shown: the help viewer /usr/bin/assistant ended with an error "
           "(it crashed).";
    // A path is the player's folder: a "%1" in it is text, not a place for the next word.
    QTest::newRow("path holding a percent sign")
        << Kind::kEndedWithError << "/home/p/100%1 games/assistant" << false << 1
        << "The help could not be shown: the help viewer /home/p/100%1 games/assistant ended "
           "with an error (exit status 1).";
  }
  void namesTheFailureAndItsPath() {
    QFETCH(Kind, kind);
    QFETCH(QString, path);
    QFETCH(bool, crashed);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QCOMPARE(kelvor::HelpFailureMessage({kind, path, crashed, exitCode}), message);
  }
};

QTEST_APPLESS_MAIN(TestHelpFailureMessage)
#include "test_help_failure_message.moc"
