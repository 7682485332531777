#include <QTest>

#include "errors/runtime_error.h"
#include "flight/format_number.h"

class TestFormatNumber : public QObject {
  Q_OBJECT

 private slots:
  void patterns_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 120.0 << "0"
                           << "120";
    QTest::newRow("half rounds up") << 2.5 << "0"
                                    << "3";
    QTest::newRow("negative half rounds away from zero") << -2.5 << "0"
                                                         << "-3";
    QTest::newRow("altitude bar value") << 447.5 << "0"
                                        << "448";
    QTest::newRow("negative speed") << -25.0 << "0"
                                    << "-25";
    QTest::newRow("no digit grouping") << 1234567.0 << "0"
                                       << "1234567";
    QTest::newRow("small negative is zero without sign") << -0.4 << "0"
                                                         << "0";
    QTest::newRow("one decimal") << 447.5 << "0.0"
                                 << "447.5";
    QTest::newRow("zero with one decimal") << 0.0 << "0.0"
                                           << "0.0";
    QTest::newRow("padded decimals") << 10.0 << "0.00"
                                     << "10.00";
    QTest::newRow("binary half rounds up") << 0.125 << "0.00"
                                           << "0.13";
    QTest::newRow("carry into whole part") << 9.996 << "0.00"
                                           << "10.00";
    QTest::newRow("touchdown velocity") << 86.602540378 << "0.00"
                                        << "86.60";
    QTest::newRow("single precision time") << double(7.0f + 0.32050808f) << "0.00"
                                           << "7.32";
    QTest::newRow("just below a half") << 0.4999999 << "0"
                                       << "0";
  }
  void patterns() {
    QFETCH(double, value);
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(kelvor::flight::FormatNumber(value, pattern.toStdString())),
             text);
  }

  void unknownPatternIsRunTimeError() {
    QVERIFY_THROWS_EXCEPTION(kelvor::errors::RuntimeError,
                             kelvor::flight::FormatNumber(1, "#,##0"));
  }
};

QTEST_GUILESS_MAIN(TestFormatNumber)
#include "test_format_number.moc"
