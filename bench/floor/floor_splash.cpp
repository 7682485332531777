// The floor for the start-up figures: the least a Qt 6 Widgets program does to put a 300 x 150
// picture in a frameless splash window, take it down after a 2000 ms timer and show a plain main
// window of the game's size. Nothing else is loaded, so what the game takes beyond this is its own.
//
// With --menu the main window gets a menu bar with two menus: the same floor, but one that shows
// text, so it shows what the font machinery alone adds to the memory.
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const bool withMenu = app.arguments().contains(QStringLiteral("--menu"));

  QLabel splash(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
  splash.setPixmap(QPixmap(QStringLiteral(":/splash.png")));
  splash.setFixedSize(300, 150);
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  splash.move(area.center() - splash.rect().center());
  splash.show();

  QMainWindow mainWindow;
  mainWindow.resize(474, 352);  // the game's main window, menu bar included
  if (withMenu) {
    mainWindow.menuBar()->addMenu(QStringLiteral("&Game"));
    mainWindow.menuBar()->addMenu(QStringLiteral("&Help"));
  }
  QTimer::singleShot(2000, Qt::PreciseTimer, &splash, [&] {
    splash.hide();
    mainWindow.show();
  });
  return app.exec();
}
