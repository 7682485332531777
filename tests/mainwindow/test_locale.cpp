// The game played by a German-speaking user: the decimal comma in the readouts and the report,
// and the month's German name in the date panel. Runs with the de_DE.UTF-8 locale, which
// scripts/ensure-deps --test makes on Debian; ctest skips this test where it is missing.
#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <clocale>

#include "mainwindow/frm_land.h"
#include "platform/help_protocol.h"
#include "tests/fake_services.h"
#include "tests/missing_tool.h"

class LocaleTest : public QObject {
  Q_OBJECT

 private:
  FakeServices services;
  QString text(kelvor::frmLand& window, const char* name) {
    return window.findChild<QLabel*>(QLatin1String(name))->text();
  }

 private slots:
  void initTestCase() {
    const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
    QVERIFY2(QByteArray(numeric).startsWith("de_DE"), KELVOR_GERMAN_LOCALE_MISSING);
    services.onMessage = [](const QString& text, int) {
      QFAIL(qPrintable(QStringLiteral("unexpected message: ") + text));
    };
  }

  void readoutsUseTheDecimalComma() {
    kelvor::frmLand window(services);
    window.mnuGameStart_Click();
    window.cmdBurn_Click();
    QCOMPARE(text(window, "lblAlt"), QStringLiteral("447,5"));
    for (int i = 0; i < 7; ++i) window.cmdBurn_Click();
    QCOMPARE(text(window, "lblTime"), QStringLiteral("7,32"));
    QCOMPARE(text(window, "lblSpeed"), QStringLiteral("86,60"));
    QVERIFY(text(window, "lblMessage")
                .startsWith(QStringLiteral("Touchdown at 7,32 seconds.\r\n"
                                           "Landing velocity is 86,60 ft/sec.\r\n")));
  }

  void datePanelNamesTheMonthInGerman() {
    kelvor::frmLand window(services);
    const QDate today = QDate::currentDate();
    const QString expected = QStringLiteral("%1 %2 %3")
                                 .arg(today.day(), 2, 10, QLatin1Char('0'))
                                 .arg(QLocale(QLocale::German).monthName(today.month()))
                                 .arg(today.year());
    QCOMPARE(window.StatusPanel(2)->text(), expected);
  }

  // The help viewer is asked for the German pages: the contents and every context topic.
  void helpIsAskedForInGerman() {
    QCOMPARE(kelvor::help_protocol::Language(QLocale::system().uiLanguages()),
             QStringLiteral("de"));
    QVERIFY(kelvor::help_protocol::ContentsCommand().endsWith(
        QStringLiteral(";setSource qthelp://example.tandrel.kelvor.de/help/index.html")));
    for (int topic : {8, 9, 10, 11, 12, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}) {
      QVERIFY(kelvor::help_protocol::TopicCommand(topic).endsWith(
          QStringLiteral(";activateIdentifier kelvor.de.%1").arg(topic)));
    }
    // From the German collection beside the help file the windows name.
    QCOMPARE(kelvor::help_protocol::CollectionFile(QStringLiteral("/opt/game/Kelvor.hlp")),
             QStringLiteral("/opt/game/Kelvor_de.hlp"));
  }

  // Qt knows every locale, the C library only those generated: without the C library's German
  // (as for Turkish on many machines) date and readouts must still agree, both unlocalised.
  void dateAndReadoutsAgreeWhenTheCLibraryLacksTheLocale() {
    std::setlocale(LC_ALL, "C");
    kelvor::frmLand window(services);
    window.mnuGameStart_Click();
    window.cmdBurn_Click();
    const QString alt = text(window, "lblAlt");
    const QString date = window.StatusPanel(2)->text();
    std::setlocale(LC_ALL, "");
    QCOMPARE(alt, QStringLiteral("447.5"));
    QCOMPARE(date, QLocale::c().toString(QDate::currentDate(), QStringLiteral("dd MMMM yyyy")));
  }
};

int main(int argc, char** argv) {
  for (const char* name : {"LC_ALL", "LANG"}) qputenv(name, "de_DE.UTF-8");
  qputenv("LANGUAGE", "de");
  QApplication app(argc, argv);
  LocaleTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_locale.moc"
