// The web site launcher against desktops set up by the test: private XDG folders with browser
// entries whose program records its arguments. Each launch runs in test_web_launch_probe, a
// fresh process, because GIO reads a desktop's applications once per process.

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kMaker = QStringLiteral("https://www.tandrel.example/");
const QString kNotFound = QStringLiteral("Could not find associated Browser\n0: ");
const QString kNotStarted = QStringLiteral("Web site not located\n0: ");

void writeFile(const QString& path, const QByteArray& content, bool executable = false) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
  file.write(content);
  file.close();
  if (executable) {
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  }
}

// A desktop entry for a program that takes its addresses as `field` (%u: addresses, %f: files).
QByteArray desktopEntry(const QString& name, const QString& program, const char* field,
                        bool terminal = false) {
  return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %3\nTerminal=%4\n")
      .arg(name, program, QLatin1String(field),
           terminal ? QStringLiteral("true") : QStringLiteral("false"))
      .toUtf8();
}

}  // namespace

class WebLauncherTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void launch_data();
  void launch();

 private:
  QString makeDesktop(const QString& folder);
};

void WebLauncherTest::initTestCase() {
  // The page's content type comes from the shared MIME database.
  QVERIFY2(QFileInfo::exists(QStringLiteral("/usr/share/mime/mime.cache")),
           "the shared MIME database is missing (Debian package shared-mime-info)");
  QVERIFY(QFileInfo(QStringLiteral(KELVOR_WEB_PROBE)).isExecutable());
}

// The desktop of one scenario: every browser entry the rows choose from, and the recording
// browser "bin/browser" that writes its arguments, NUL-separated, to "browser.args".
QString WebLauncherTest::makeDesktop(const QString& folder) {
  const QString bin = folder + QStringLiteral("/bin");
  const QByteArray recorder =
      "#!/bin/sh\n"
      "out=\"$(dirname \"$0\")/../browser.args\"\n"
      "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.part\"\n"
      "mv \"$out.part\" \"$out\"\n";
  writeFile(bin + QStringLiteral("/browser"), recorder, true);
  writeFile(bin + QStringLiteral("/broken"), "#!/nonexistent/interpreter\n", true);

  // A browser whose full path is longer than 255 characters.
  QString longFolder = folder;
  while (longFolder.size() <= 255) {
    longFolder += QStringLiteral("/") + QString(60, QLatin1Char('d'));
  }
  writeFile(longFolder + QStringLiteral("/browser"), recorder, true);

  const QString apps = folder + QStringLiteral("/data/applications/");
  writeFile(apps + QStringLiteral("fake.desktop"),
            desktopEntry(QStringLiteral("Fake Browser"), bin + QStringLiteral("/browser"), "%u"));
  writeFile(
      apps + QStringLiteral("term.desktop"),
      desktopEntry(QStringLiteral("Text Browser"), bin + QStringLiteral("/browser"), "%u", true));
  writeFile(apps + QStringLiteral("files.desktop"),
            desktopEntry(QStringLiteral("Page Viewer"), bin + QStringLiteral("/browser"), "%f"));
  writeFile(apps + QStringLiteral("broken.desktop"),
            desktopEntry(QStringLiteral("Broken Browser"), bin + QStringLiteral("/broken"), "%u"));
  writeFile(
      apps + QStringLiteral("long.desktop"),
      desktopEntry(QStringLiteral("Far Browser"), longFolder + QStringLiteral("/browser"), "%u"));

  // The system's MIME database, but none of the system's applications or associations.
  QDir().mkpath(folder + QStringLiteral("/system"));
  QFile::link(QStringLiteral("/usr/share/mime"), folder + QStringLiteral("/system/mime"));
  QDir().mkpath(folder + QStringLiteral("/system-config"));
  return bin;
}

void WebLauncherTest::launch_data() {
  QTest::addColumn<QString>("associations");     // the [Added Associations] for text/html
  QTest::addColumn<QString>("root");             // tmp, missing, file or read-only
  QTest::addColumn<QStringList>("environment");  // "modules=empty|broken": the program folder
  QTest::addColumn<QString>("url");
  QTest::addColumn<QString>("message");  // empty: no message
  QTest::addColumn<bool>("started");

  const QStringList none;
  QTest::newRow("default browser gets the maker's address")
      << "fake.desktop;"
      << "tmp" << none << kMaker << QString() << true;
  QTest::newRow("address passes unchanged as one argument")
      << "fake.desktop;"
      << "tmp" << none << QStringLiteral("https://www.tandrel.example/a b?q='x\"y'&z=%41;$(id)#top")
      << QString() << true;
  QTest::newRow("no browser associated") << ""
                                         << "tmp" << none << kMaker << kNotFound << false;
  QTest::newRow("only a browser that needs a terminal")
      << "term.desktop;"
      << "tmp" << none << kMaker << kNotFound << false;
  QTest::newRow("terminal default passes over to a windowed browser")
      << "term.desktop;fake.desktop;"
      << "tmp" << none << kMaker << QString() << true;
  QTest::newRow("only a viewer that takes no addresses")
      << "files.desktop;"
      << "tmp" << none << kMaker << kNotFound << false;
  QTest::newRow("program path longer than 255 characters")
      << "long.desktop;"
      << "tmp" << none << kMaker << kNotFound << false;
  QTest::newRow("browser whose program cannot run")
      << "broken.desktop;"
      << "tmp" << none << kMaker << kNotStarted << false;
  QTest::newRow("desktop cannot start programs")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("GIO_LAUNCH_DESKTOP=/nonexistent")} << kMaker
      << kNotStarted << false;
  QTest::newRow("browser module missing from the program's folder")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("modules=empty")} << kMaker << kNotFound << false;
  QTest::newRow("browser module not loadable")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("modules=broken")} << kMaker << kNotFound << false;
  QTest::newRow("temporary folder missing")
      << "fake.desktop;"
      << "missing" << none << kMaker << QStringLiteral("76: Path not found") << false;
  QTest::newRow("temporary folder is a file")
      << "fake.desktop;"
      << "file" << none << kMaker << QStringLiteral("76: Path not found") << false;
  QTest::newRow("temporary folder not writable")
      << "fake.desktop;"
      << "read-only" << none << kMaker << QStringLiteral("70: Permission denied") << false;
}

void WebLauncherTest::launch() {
  QFETCH(QString, associations);
  QFETCH(QString, root);
  QFETCH(QStringList, environment);
  QFETCH(QString, url);
  QFETCH(QString, message);
  QFETCH(bool, started);

  if (root == QLatin1String("read-only") && geteuid() == 0) {
    QSKIP("permissions do not bind the superuser");
  }

  QTemporaryDir scenario;
  QVERIFY(scenario.isValid());
  const QString folder = scenario.path();
  const QString bin = makeDesktop(folder);
  if (QTest::currentTestFailed()) {
    return;
  }

  QByteArray mimeapps = "[Default Applications]\n";
  if (!associations.isEmpty()) {
    mimeapps += "text/html=" + associations.section(QLatin1Char(';'), 0, 0).toUtf8() + "\n";
  }
  mimeapps += "[Added Associations]\ntext/html=" + associations.toUtf8() + "\n";
  writeFile(folder + QStringLiteral("/config/mimeapps.list"), mimeapps);

  QString tempRoot = folder + QStringLiteral("/tmp");
  if (root == QLatin1String("tmp")) {
    QDir().mkpath(tempRoot);
  } else if (root == QLatin1String("missing")) {
    tempRoot = folder + QStringLiteral("/missing/tmp");
  } else if (root == QLatin1String("file")) {
    writeFile(tempRoot, "not a folder");
  } else {
    QDir().mkpath(tempRoot);
    QVERIFY(QFile::setPermissions(tempRoot, QFile::ReadOwner | QFile::ExeOwner));
  }
  writeFile(folder + QStringLiteral("/url"), url.toUtf8());
  writeFile(folder + QStringLiteral("/root"), tempRoot.toLocal8Bit());

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
  env.insert(QStringLiteral("XDG_DATA_DIRS"), folder + QStringLiteral("/system"));
  env.insert(QStringLiteral("XDG_CONFIG_DIRS"), folder + QStringLiteral("/system-config"));
  env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
  env.remove(QStringLiteral("GIO_LAUNCH_DESKTOP"));
  for (const QString& setting : environment) {
    const QString name = setting.section(QLatin1Char('='), 0, 0);
    const QString value = setting.section(QLatin1Char('='), 1);
    if (name == QLatin1String("modules")) {
      // Not an environment setting: the program's folder the probe loads the module from.
      const QString program = folder + QStringLiteral("/program");
      QDir().mkpath(program);
      if (value == QLatin1String("broken")) {
        writeFile(program + QStringLiteral("/kelvor-browser.so"), "not a shared object");
      }
      writeFile(folder + QStringLiteral("/modules"), program.toLocal8Bit());
    } else {
      env.insert(name, value);
    }
  }
  QProcess probe;
  probe.setProcessEnvironment(env);
  probe.setProcessChannelMode(QProcess::ForwardedChannels);
  probe.start(QStringLiteral(KELVOR_WEB_PROBE), {folder});
  QVERIFY(probe.waitForFinished(30000));
  QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
  QCOMPARE(probe.exitCode(), 0);

  QFile resultFile(folder + QStringLiteral("/result.json"));
  QVERIFY(resultFile.open(QIODevice::ReadOnly));
  const QJsonObject result = QJsonDocument::fromJson(resultFile.readAll()).object();
  QVERIFY(!result.contains(QStringLiteral("thrown")));

  // The message box, or none.
  const QJsonArray messages = result.value(QStringLiteral("messages")).toArray();
  if (message.isEmpty()) {
    QCOMPARE(messages.size(), 0);
  } else {
    QCOMPARE(messages.size(), 1);
    const QJsonObject box = messages.first().toObject();
    QCOMPARE(box.value(QStringLiteral("text")).toString(), message);
    QCOMPARE(box.value(QStringLiteral("style")).toInt(), 16);
    QCOMPARE(box.value(QStringLiteral("title")).toString(),
             QStringLiteral("Tandrel Lunar landing"));
  }

  // The caller's address is left as it was.
  QCOMPARE(QByteArray::fromBase64(result.value(QStringLiteral("urlAfter")).toString().toLatin1()),
           url.toUtf8());

  // Whenever the page was written: the exact page, in a private folder of the temporary folder.
  if (result.contains(QStringLiteral("pageName"))) {
    QCOMPARE(result.value(QStringLiteral("pageName")).toString(), QStringLiteral("temp.HTM"));
    QCOMPARE(
        QByteArray::fromBase64(result.value(QStringLiteral("pageContent")).toString().toLatin1()),
        QByteArray::fromHex("223C48544D4C3E203C5C48544D4C3E220D0A"));
    QCOMPARE(result.value(QStringLiteral("pageFolderMode")).toInt(), 0700);
    QCOMPARE(QFileInfo(result.value(QStringLiteral("pageFolder")).toString()).absolutePath(),
             QFileInfo(tempRoot).absoluteFilePath());
  } else {
    QVERIFY2(root != QLatin1String("tmp"), "the page was never written");
  }
  // No page and no private folder outlive the launch.
  if (QFileInfo(tempRoot).isDir()) {
    QCOMPARE(QDir(tempRoot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
  }

  const QString argsFile = folder + QStringLiteral("/browser.args");
  if (started) {
    QCOMPARE(result.value(QStringLiteral("programPath")).toString(),
             bin + QStringLiteral("/browser"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(argsFile), 10000);
    QFile args(argsFile);
    QVERIFY(args.open(QIODevice::ReadOnly));
    QList<QByteArray> received = args.readAll().split('\0');
    QCOMPARE(received.takeLast(), QByteArray());
    QCOMPARE(received, QList<QByteArray>{url.toUtf8()});
  } else {
    QVERIFY(!QFileInfo::exists(argsFile));
  }
}

QTEST_GUILESS_MAIN(WebLauncherTest)
#include "test_web_launcher.moc"
