#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <functional>
#include <map>
#include <memory>

#include "about/frm_kv_about.h"
#include "app/splashkv.h"
#include "mainwindow/frm_land.h"
#include "shared/message_box.h"
#include "shared/readable_colour.h"
#include "tests/fake_services.h"

namespace {

// A text and the colour it is drawn on, as the widget's resolved palette has them.
struct Pair {
  QColor text;
  QColor background;
  double Contrast() const { return kelvor::ContrastRatio(text, background); }
};
using Pairs = std::map<QString, Pair>;

// The colour behind a widget's text: its own where it fills its background (buttons fill with
// theirs through the style), else that of the nearest ancestor that paints one.
QColor BackgroundBehind(const QWidget* widget) {
  for (const QWidget* at = widget; at; at = at->parentWidget()) {
    if (at->autoFillBackground() || at->isWindow() || qobject_cast<const QAbstractButton*>(at)) {
      return at->palette().color(QPalette::Active, at->backgroundRole());
    }
  }
  return {};
}

bool CarriesText(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) {
    return label->pixmap().isNull();
  }
  if (const auto* box = qobject_cast<const QGroupBox*>(widget)) return !box->title().isEmpty();
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
    return !button->text().isEmpty();
  }
  return qobject_cast<const QMenuBar*>(widget) != nullptr;
}

Pairs TextPairs(const QWidget* window) {
  Pairs pairs;
  QList<const QWidget*> widgets{window};
  for (const QWidget* child : window->findChildren<QWidget*>()) widgets.append(child);
  int unnamed = 0;
  for (const QWidget* widget : widgets) {
    if (!CarriesText(widget)) continue;
    QString name = widget->objectName();
    if (name.isEmpty()) {
      name = QStringLiteral("%1#%2")
                 .arg(QLatin1String(widget->metaObject()->className()))
                 .arg(++unnamed);
    }
    pairs[window->objectName() + QLatin1Char('/') + name] = {
        widget->palette().color(QPalette::Active, widget->foregroundRole()),
        BackgroundBehind(widget)};
  }
  return pairs;
}

QPalette Light() { return QApplication::style()->standardPalette(); }

// Dark palettes as the desktops hand them to Qt: Breeze Dark's, and the widespread dark Fusion
// one, which keeps black highlighted text.
QPalette Dark(const QColor& window, const QColor& text, const QColor& base, const QColor& highlight,
              const QColor& highlightedText) {
  QPalette palette(text, window, window.lighter(130), window.darker(200), window.darker(150), text,
                   QColor(0xFF, 0xFF, 0xFF), base, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Highlight, highlight);
  palette.setColor(QPalette::HighlightedText, highlightedText);
  palette.setColor(QPalette::ToolTipBase, window);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::Shadow, QColor(0x00, 0x00, 0x00));
  return palette;
}

QPalette BreezeDark() {
  return Dark(QColor(0x31, 0x36, 0x3B), QColor(0xEF, 0xF0, 0xF1), QColor(0x23, 0x26, 0x29),
              QColor(0x3D, 0xAE, 0xE9), QColor(0xFC, 0xFC, 0xFC));
}

QPalette FusionDark() {
  return Dark(QColor(0x35, 0x35, 0x35), QColor(0xFF, 0xFF, 0xFF), QColor(0x2A, 0x2A, 0x2A),
              QColor(0x2A, 0x82, 0xDA), QColor(0x00, 0x00, 0x00));
}

// Saves a window's picture where the person running the test asked for it.
void Keep(QWidget* window, const QString& scheme) {
  const QString folder = qEnvironmentVariable("KELVOR_SHOTS_DIR");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  window->grab().save(folder + QStringLiteral("/%1_%2.png").arg(window->objectName(), scheme));
}

// Every text pair of every window, each shown and drawn under the application palette.
Pairs AllWindows(const QString& scheme) {
  Pairs pairs;
  FakeServices services;
  auto take = [&](QWidget* window) {
    window->show();
    window->grab();
    Keep(window, scheme);
    pairs.merge(TextPairs(window));
  };
  {
    kelvor::frmLand main(services);
    take(&main);
  }
  {
    auto* splash = new kelvor::splashkv(services);  // deletes itself once closed for good
    take(splash);
    delete splash;
  }
  {
    kelvor::frmKVAbout about(services);
    take(&about);
  }
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    box->setObjectName(QStringLiteral("message"));
    take(box);
    box->accept();
  });
  // The real box the program's services show: the windows' fake would show none.
  kelvor::ShowMessageBox(QStringLiteral("A report the player reads."), kelvor::kMsgCritical);
  return pairs;
}

}  // namespace

class ContrastTest : public QObject {
  Q_OBJECT

 private:
  Pairs m_light;

 private slots:
  void initTestCase() {
    QApplication::setPalette(Light());
    m_light = AllWindows(QStringLiteral("light"));
    QVERIFY(m_light.count(QStringLiteral("frmLand/lblBurn")) == 1);
    QVERIFY(m_light.count(QStringLiteral("message/qt_msgbox_label")) == 1);
  }

  void cleanup() { QApplication::setPalette(Light()); }

  // No text reads worse under a dark scheme than the windows' own light design has it, unless
  // it reaches 4.5:1. The design's fixed pairs come out the same under every scheme.
  void everyPairReadable_data() {
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("breeze dark") << BreezeDark();
    QTest::newRow("fusion dark") << FusionDark();
    QTest::newRow("light") << Light();
  }
  void everyPairReadable() {
    QFETCH(QPalette, palette);
    QApplication::setPalette(palette);
    const Pairs pairs = AllWindows(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'));
    QCOMPARE(pairs.size(), m_light.size());
    for (const auto& [name, pair] : pairs) {
      const double light = m_light.at(name).Contrast();
      qInfo("%-40s %5.2f  light %5.2f  (%s on %s)", qPrintable(name), pair.Contrast(), light,
            qPrintable(pair.text.name()), qPrintable(pair.background.name()));
      if (pair.Contrast() + 0.005 < std::min(4.5, light)) {
        QFAIL(qPrintable(QStringLiteral("%1 reads %2:1, the light design %3:1")
                             .arg(name)
                             .arg(pair.Contrast(), 0, 'f', 2)
                             .arg(light, 0, 'f', 2)));
      }
    }
  }

  // Where a system colour meets a fixed one, the fixed one stays and the system one is followed
  // while it reads; the classic light colour stands in only where it would not.
  void mixedPairs_data() {
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QColor>("fixedBackground");
    QTest::addColumn<QColor>("text");
    const QColor cyan(0x00, 0xC0, 0xC0), white(0xFF, 0xFF, 0xFF), grey(0x80, 0x80, 0x80);
    const QColor black(0x00, 0x00, 0x00);
    QTest::newRow("thruster title, breeze dark") << BreezeDark() << "fraBurn" << cyan << black;
    QTest::newRow("burn readout, breeze dark") << BreezeDark() << "lblBurn" << white << black;
    // White is the classic colour here and reads at 3.95:1; Breeze's near-white reads less.
    QTest::newRow("fuel title, breeze dark") << BreezeDark() << "fmFuel" << grey << white;
    // Black highlighted text reads well on the grey: the desktop's colour is kept.
    QTest::newRow("fuel title, fusion dark") << FusionDark() << "fmFuel" << grey << black;
    QTest::newRow("burn readout, light") << Light() << "lblBurn" << white << black;
  }
  void mixedPairs() {
    QFETCH(QPalette, palette);
    QFETCH(QString, control);
    QFETCH(QColor, fixedBackground);
    QFETCH(QColor, text);
    QApplication::setPalette(palette);
    FakeServices services;
    kelvor::frmLand main(services);
    main.show();
    const auto* widget = main.findChild<QWidget*>(control);
    QVERIFY(widget);
    QCOMPARE(BackgroundBehind(widget), fixedBackground);
    QCOMPARE(widget->palette().color(QPalette::Active, widget->foregroundRole()), text);
  }

  // The toolbar's pictures are black ink, fixed, on the bar's system colour; the ink is the
  // darkest pixel each enabled button draws.
  void toolbarPictures_data() {
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("breeze dark") << BreezeDark();
    QTest::newRow("fusion dark") << FusionDark();
    QTest::newRow("light") << Light();
  }
  void toolbarPictures() {
    QFETCH(QPalette, palette);
    QApplication::setPalette(palette);
    FakeServices services;
    kelvor::frmLand main(services);
    main.show();
    auto* bar = main.findChild<QToolBar*>(QStringLiteral("Toolbar1"));
    QVERIFY(bar);
    const QImage shot = bar->grab().toImage();
    const QColor face = bar->palette().color(QPalette::Active, QPalette::Window);
    int measured = 0;
    for (QAction* action : bar->actions()) {
      if (action->isSeparator() || !action->isEnabled()) continue;
      const QRect area = bar->widgetForAction(action)->geometry();
      QColor ink = face;
      for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
          const QColor pixel = shot.pixelColor(x, y);
          if (pixel.lightnessF() < ink.lightnessF()) ink = pixel;
        }
      }
      const double contrast = kelvor::ContrastRatio(ink, face);
      qInfo("%-20s %5.2f  (%s on %s)", qPrintable(action->objectName()), contrast,
            qPrintable(ink.name()), qPrintable(face.name()));
      QVERIFY2(contrast >= 4.5, qPrintable(action->objectName()));
      ++measured;
    }
    QVERIFY(measured > 0);
  }
};

QTEST_MAIN(ContrastTest)
#include "test_contrast.moc"
