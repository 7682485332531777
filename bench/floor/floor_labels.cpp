// The floor for the input-latency figure: the least a Qt 6 Widgets program does to change five
// labels when a push button is pressed. The button is the only control that takes the focus, as
// "Ignite" is the one the game's presses go to; the places are fixed so that the benchmark knows
// where the labels are (press_latency --watch, in bench/run).
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.setFixedSize(240, 200);
  auto* button = new QPushButton(QStringLiteral("&Press"), &window);
  button->setGeometry(10, 10, 80, 25);
  QLabel* labels[5] = {};
  for (int i = 0; i < 5; ++i) {
    labels[i] = new QLabel(QStringLiteral("0"), &window);
    labels[i]->setGeometry(10, 50 + 28 * i, 60, 20);
  }
  int presses = 0;
  QObject::connect(button, &QPushButton::clicked, &window, [&] {
    ++presses;
    for (int i = 0; i < 5; ++i) labels[i]->setText(QString::number(presses * (i + 1)));
  });
  window.show();
  return app.exec();
}
