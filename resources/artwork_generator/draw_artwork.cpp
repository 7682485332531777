// Draws every bitmap of the game from the SVG drawings kept beside them in resources/images.
//
// The bitmaps are committed, so an ordinary build never runs this program. Rerun it after
// changing a drawing:
//
//   cmake --build <build dir> --target kelvor_redraw_artwork
//
// which builds it and runs it on the source tree (see resources/images/README.md). The splash
// lettering needs the "Dancing Script" font (Debian package fonts-dancingscript) at draw time
// only; the program refuses to draw without it rather than fall back to another face.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QSvgRenderer>
#include <QTextStream>

namespace {

// One SVG drawn into a picture; an empty target means the whole picture.
struct Layer {
  QString svg;
  QRectF target;
  bool mirrored = false;
};

Layer Whole(const QString& svg) { return {svg, QRectF(), false}; }
Layer Placed(const QString& svg, const QRectF& target) { return {svg, target, false}; }
Layer Mirrored(const QString& svg) { return {svg, QRectF(), true}; }

// One picture, drawn at the given scales; scale 2 goes to "name@2x.png".
struct Picture {
  QString name;  // relative to resources/, without ".png"
  QSize size;    // logical pixels at scale 1
  bool opaque;   // 24-bit RGB on black, else RGBA on transparency
  QList<Layer> layers;
  QList<int> scales;
};

const QString kScriptFamily = QStringLiteral("Dancing Script");

QList<Picture> Pictures() {
  QList<Picture> pictures;
  const QStringList toolbar = {"new", "stop", "help", "about", "web"};
  for (const QString& set : {QStringLiteral("normal"), QStringLiteral("hot")}) {
    for (const QString& shape : toolbar) {
      const QString stem = QStringLiteral("images/toolbar/%1/%2").arg(set, shape);
      pictures.append({stem, QSize(16, 16), false, {Whole(stem + ".svg")}, {1, 2}});
    }
  }
  // The icon. Scaled down, the full drawing's outlines and struts blur together, so the two
  // smallest sizes have drawings of their own on the pixel grid.
  const auto iconSource = [](int size) {
    return QStringLiteral("images/%1.svg")
        .arg(size <= 32 ? QStringLiteral("icon%1").arg(size) : QStringLiteral("icon"));
  };
  pictures.append({"images/icon32", QSize(32, 32), false, {Whole(iconSource(32))}, {1}});
  const QString hicolor = QStringLiteral("icons/hicolor/%1x%1/apps/example.tandrel.LunarLanding");
  for (int size : {16, 32, 48, 64, 128, 256}) {
    pictures.append({hicolor.arg(size), QSize(size, size), false, {Whole(iconSource(size))}, {1}});
  }
  // The two moonscapes frame the console from both sides, so the right one is the left one
  // seen in a mirror.
  pictures.append(
      {"images/moonscape_left", QSize(126, 144), true, {Whole("images/moonscape.svg")}, {1, 2}});
  pictures.append({"images/moonscape_right",
                   QSize(126, 144),
                   true,
                   {Mirrored("images/moonscape.svg")},
                   {1, 2}});
  // The globe is drawn once and placed in both scenes; the foreground hides its lower part.
  pictures.append(
      {"images/splash",
       QSize(300, 150),
       true,
       {Placed("images/globe.svg", QRectF(198, 48, 68, 68)), Whole("images/splash.svg")},
       {1, 2}});
  pictures.append({"images/earth",
                   QSize(47, 53),
                   true,
                   {Placed("images/globe.svg", QRectF(4, 4, 39, 39)), Whole("images/earth.svg")},
                   {1, 2}});
  return pictures;
}

bool Draw(const QDir& root, const Picture& picture, int scale, QTextStream& log) {
  QImage image(picture.size * scale,
               picture.opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
  image.fill(picture.opaque ? Qt::black : Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                         QPainter::SmoothPixmapTransform);
  painter.scale(scale, scale);
  for (const Layer& layer : picture.layers) {
    QSvgRenderer renderer(root.filePath(layer.svg));
    if (!renderer.isValid()) {
      log << "cannot read " << layer.svg << Qt::endl;
      return false;
    }
    const QRectF target =
        layer.target.isEmpty() ? QRectF(QPointF(0, 0), picture.size) : layer.target;
    painter.save();
    if (layer.mirrored) {
      painter.translate(target.left() + target.right(), 0);
      painter.scale(-1, 1);
    }
    renderer.render(&painter, target);
    painter.restore();
  }
  painter.end();

  const QString file =
      root.filePath(picture.name + (scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale)) +
                    QStringLiteral(".png"));
  // 24-bit pictures are stored without an alpha channel; the rest keep theirs.
  const QImage stored =
      image.convertToFormat(picture.opaque ? QImage::Format_RGB888 : QImage::Format_ARGB32);
  if (!QDir().mkpath(QFileInfo(file).path()) || !stored.save(file, "PNG", 9)) {
    log << "cannot write " << file << Qt::endl;
    return false;
  }
  log << "drew " << root.relativeFilePath(file) << Qt::endl;
  return true;
}

bool CopyScalableIcon(const QDir& root, QTextStream& log) {
  const QString target =
      root.filePath("icons/hicolor/scalable/apps/example.tandrel.LunarLanding.svg");
  QDir().mkpath(QFileInfo(target).path());
  QFile::remove(target);
  if (!QFile::copy(root.filePath("images/icon.svg"), target)) {
    log << "cannot write " << target << Qt::endl;
    return false;
  }
  log << "copied " << root.relativeFilePath(target) << Qt::endl;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QTextStream log(stderr);
  if (argc != 2) {
    log << "usage: draw_artwork <resources folder>" << Qt::endl;
    return 2;
  }
  if (!QFontDatabase::families().contains(kScriptFamily)) {
    log << "the splash lettering needs the font \"" << kScriptFamily
        << "\" (Debian package fonts-dancingscript)" << Qt::endl;
    return 1;
  }
  const QDir root(QString::fromLocal8Bit(argv[1]));
  bool ok = CopyScalableIcon(root, log);
  for (const Picture& picture : Pictures()) {
    for (int scale : picture.scales) ok = Draw(root, picture, scale, log) && ok;
  }
  return ok ? 0 : 1;
}
