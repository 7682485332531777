#include <QFontMetricsF>
#include <QProgressBar>
#include <QTest>
#include <cmath>
#include <limits>

#include "errors/runtime_error.h"
#include "mainwindow/fitting_label.h"
#include "mainwindow/vertical_progress_bar.h"

using kelvor::FittingLabel;
using kelvor::VerticalProgressBar;

namespace {
enum class Op { kMax, kValue };
struct Step {
  Op op;
  float number;
};
}  // namespace
Q_DECLARE_METATYPE(QList<Step>)

class PanelWidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  // Steps run on a fresh bar (0 to 100, value 0); the last one is the one judged.
  void progressBarKeepsItsRange_data() {
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("shown");  // the bar's whole-number display afterwards
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("value within the range") << QList<Step>{{Op::kValue, 42}} << true << 42;
    QTest::newRow("value at the maximum") << QList<Step>{{Op::kValue, 100}} << true << 100;
    QTest::newRow("value above the designed maximum")
        << QList<Step>{{Op::kValue, 500}} << false << 0;
    QTest::newRow("maximum first, then the value")
        << QList<Step>{{Op::kMax, 750}, {Op::kValue, 500}} << true << 500;
    QTest::newRow("value below the minimum") << QList<Step>{{Op::kValue, -1}} << false << 0;
    QTest::newRow("not a number") << QList<Step>{{Op::kValue, nan}} << false << 0;
    QTest::newRow("half shows rounded up")
        << QList<Step>{{Op::kMax, 750}, {Op::kValue, 447.5f}} << true << 448;
    QTest::newRow("maximum below the value")
        << QList<Step>{{Op::kValue, 80}, {Op::kMax, 50}} << false << 80;
    QTest::newRow("maximum equal to the minimum") << QList<Step>{{Op::kMax, 0}} << false << 0;
    QTest::newRow("value just below the minimum keeps the last one")
        << QList<Step>{{Op::kValue, 10}, {Op::kValue, -0.5f}} << false << 10;
  }

  void progressBarKeepsItsRange() {
    QFETCH(QList<Step>, steps);
    QFETCH(bool, accepted);
    QFETCH(int, shown);
    VerticalProgressBar bar;
    // What is on the screen: the Qt bar that draws the instrument.
    const auto* display = bar.findChild<QProgressBar*>();
    QVERIFY(display != nullptr);
    QCOMPARE(display->orientation(), Qt::Vertical);
    auto run = [&bar](const Step& step) {
      switch (step.op) {
        case Op::kMax:
          bar.SetMax(step.number);
          break;
        case Op::kValue:
          bar.SetValue(step.number);
          break;
      }
    };
    for (qsizetype i = 0; i + 1 < steps.size(); ++i) run(steps[i]);
    const float min = bar.Min(), max = bar.Max(), value = bar.Value();
    int error = 0;
    try {
      run(steps.last());
    } catch (const kelvor::errors::RuntimeError& e) {
      error = e.Number();
      QCOMPARE(e.Description(), std::string("Invalid property value"));
    }
    QCOMPARE(error, accepted ? 0 : 380);
    if (!accepted) {  // a refused setting changes nothing
      QCOMPARE(bar.Min(), min);
      QCOMPARE(bar.Max(), max);
      QCOMPARE(bar.Value(), value);
    }
    QCOMPARE(display->value(), shown);
  }

  void fitScaleMakesTheTextFit_data() {
    QTest::addColumn<QSizeF>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("condensed");
    const int line = Qt::AlignLeft | Qt::AlignVCenter;
    const int wrapped = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    QTest::newRow("short readout") << QSizeF(21, 15) << "50" << line << false;
    QTest::newRow("touchdown time") << QSizeF(21, 15) << "31.32" << line << true;
    QTest::newRow("right-aligned")
        << QSizeF(21, 15) << "86.60" << int(Qt::AlignRight | Qt::AlignVCenter) << true;
    QTest::newRow("wrapped lines that fit")
        << QSizeF(157, 127) << "Roger and out.\r\n>" << wrapped << false;
    QTest::newRow("wrapped lines one too many")
        << QSizeF(157, 127)
        << "Incoming message: Roger four-niner this is Houston control.\r\nFasten your harness "
           "safety belt.\r\n\r\nTake manual control to land on the moon.\r\nRoger and out.\r\n>.."
        << wrapped << true;
  }

  void fitScaleMakesTheTextFit() {
    QFETCH(QSizeF, box);
    QFETCH(QString, text);
    QFETCH(int, flags);
    QFETCH(bool, condensed);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(8.25);
    const double scale = FittingLabel::FitScale(font, box, text, flags);
    QCOMPARE(scale < 1.0, condensed);
    QVERIFY(scale > FittingLabel::kMinScale);
    const QRectF needed = QFontMetricsF(font).boundingRect(QRectF(0, 0, box.width() / scale, 1e6),
                                                           flags, FittingLabel::DisplayText(text));
    QVERIFY(needed.width() * scale <= box.width() + 0.01);
    QVERIFY(needed.height() <= box.height() + 0.01);
  }

  void fitScaleGivesUpOnHopelessText() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(8.25);
    QCOMPARE(
        FittingLabel::FitScale(font, QSizeF(10, 15), QStringLiteral("1234567890"), Qt::AlignLeft),
        FittingLabel::kMinScale);
  }

  void displayTextDrawsLineEndsOnce_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("CR LF") << "a\r\nb"
                           << "a\nb";
    QTest::newRow("blank line") << "a\r\n\r\nb"
                                << "a\n\nb";
    QTest::newRow("lone CR") << "a\rb"
                             << "a\nb";
    QTest::newRow("prompt without line end") << "\r\n>"
                                             << "\n>";
  }

  void displayTextDrawsLineEndsOnce() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(FittingLabel::DisplayText(text), shown);
  }

  void labelKeepsTextAsGiven() {
    FittingLabel label;
    label.ShowReading(QStringLiteral("<b>x</b>\r\n>"));
    QCOMPARE(label.text(), QStringLiteral("<b>x</b>\r\n>"));
    QCOMPARE(label.textFormat(), Qt::PlainText);
  }
};

QTEST_MAIN(PanelWidgetsTest)
#include "test_panel_widgets.moc"
