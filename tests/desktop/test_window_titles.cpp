// The titles the game's windows give the window system, read back from a real X server the way a
// window manager or task bar reads them (_NET_WM_NAME first, WM_NAME for older managers), and the
// class that ties each window to the desktop entry.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "about/frm_kv_about.h"
#include "app/splashkv.h"
#include "mainwindow/frm_land.h"
#include "shared/app_info.h"
#include "shared/message_box.h"
#include "tests/fake_services.h"

namespace {

struct WindowProperties {
  QString netWmName;
  QString wmName;
  QString wmClass;  // the class part, the one a desktop entry's StartupWMClass names
};

// One property from xprop's "NAME = "value"" lines; xprop writes a quote inside the value as \".
QString PropertyValue(const QString& output, const QString& name) {
  const QRegularExpression line(QStringLiteral("^%1 = (.*)$").arg(name),
                                QRegularExpression::MultilineOption);
  const QRegularExpressionMatch match = line.match(output);
  if (!match.hasMatch()) return QStringLiteral("<not set>");
  QString value = match.captured(1);
  // WM_CLASS is two strings, instance then class: keep the class.
  const qsizetype lastString = value.lastIndexOf(QStringLiteral(", \""));
  if (name == QLatin1String("WM_CLASS") && lastString >= 0) value = value.mid(lastString + 2);
  if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')) {
    value = value.mid(1, value.size() - 2);
  }
  return value.replace(QStringLiteral("\\\""), QStringLiteral("\""));
}

WindowProperties ReadProperties(const QWidget& window) {
  QProcess xprop;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));  // UTF-8 unescaped
  xprop.setProcessEnvironment(environment);
  xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                        QStringLiteral("-notype"), QStringLiteral("_NET_WM_NAME"),
                                        QStringLiteral("WM_NAME"), QStringLiteral("WM_CLASS")});
  if (!xprop.waitForFinished(10000)) {
    xprop.kill();
    xprop.waitForFinished(1000);
    return {QStringLiteral("<xprop did not answer>"), {}, {}};
  }
  const QString output = QString::fromUtf8(xprop.readAllStandardOutput());
  return {PropertyValue(output, QStringLiteral("_NET_WM_NAME")),
          PropertyValue(output, QStringLiteral("WM_NAME")),
          PropertyValue(output, QStringLiteral("WM_CLASS"))};
}

// Shows a window as the game does and reads its properties once it is on the screen.
using Reader = std::function<WindowProperties()>;

WindowProperties ReadShown(QWidget& window) {
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return {QStringLiteral("<never exposed>"), {}, {}};
  return ReadProperties(window);
}

}  // namespace

Q_DECLARE_METATYPE(Reader)

class TestWindowTitles : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    kelvor::app_info::NameApplication(*qApp);
  }

  void shownTitleIsTheCaption_data() {
    QTest::addColumn<Reader>("read");
    QTest::addColumn<QString>("title");  // empty: the window must show no title at all

    QTest::newRow("main window") << Reader([] {
      FakeServices services;
      kelvor::frmLand window(services);
      return ReadShown(window);
    }) << QStringLiteral("Tandrel Lunar Landing");
    QTest::newRow("About dialog") << Reader([] {
      FakeServices services;
      kelvor::frmKVAbout dialog(services);
      return ReadShown(dialog);
    }) << QStringLiteral("About Tandrel Lunar landing");
    QTest::newRow("message box") << Reader([] {
      // The box is modal: it is read from inside its own loop, then dismissed.
      WindowProperties read{QStringLiteral("<no box>"), {}, {}};
      QTimer::singleShot(0, qApp, [&read] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          read = ReadShown(*box);
          box->accept();
        }
      });
      // The real box the program's services show, not a window's fake.
      kelvor::ShowMessageBox(QStringLiteral("Test message"), kelvor::kMsgCritical);
      return read;
    }) << QStringLiteral("Tandrel Lunar landing");
    QTest::newRow("splash") << Reader([] {
      FakeServices services;
      kelvor::splashkv splash(services);
      return ReadShown(splash);
    }) << QString();
  }

  void shownTitleIsTheCaption() {
    QFETCH(Reader, read);
    QFETCH(QString, title);
    const WindowProperties shown = read();
    if (title.isEmpty()) {
      // Blank rather than absent: Qt would put the application name in an empty title.
      QVERIFY2(!shown.netWmName.startsWith(u'<') && shown.netWmName.trimmed().isEmpty(),
               qPrintable(shown.netWmName));
      QVERIFY2(shown.wmName.trimmed().isEmpty(), qPrintable(shown.wmName));
    } else {
      QCOMPARE(shown.netWmName, title);
      QCOMPARE(shown.wmName, title);
    }
  }

  // Each window still belongs to the desktop entry, which names the class its windows carry.
  void windowClassIsTheDesktopEntrys() {
    QFile entry(QStringLiteral(KELVOR_DESKTOP_ENTRY));
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    const QRegularExpressionMatch wmClass =
        QRegularExpression(QStringLiteral("^StartupWMClass=(.*)$"),
                           QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(entry.readAll()));
    QVERIFY(wmClass.hasMatch());
    FakeServices services;
    kelvor::frmLand window(services);
    QCOMPARE(ReadShown(window).wmClass, wmClass.captured(1));
  }
};

QTEST_MAIN(TestWindowTitles)
#include "test_window_titles.moc"
