// The web site launcher against desktops set up by the test: private XDG folders with browser
// entries whose program records its arguments. Each launch runs in test_web_launch_probe, a
// fresh process, because GIO reads a desktop's applications once per process.

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>

namespace {

const QString kMaker = QStringLiteral("https://www.tandrel.example/");
const QString kNotFound = QStringLiteral("Could not find associated Browser\n0: ");
const QString kNotStarted = QStringLiteral("Web site not located\n0: ");
const QByteArray kPage = QByteArray::fromHex("223C48544D4C3E203C5C48544D4C3E220D0A");

// SIGTERM for "TERM", and so on for every signal that ends the game; 0 for another name.
int signalNumber(const QString& name) {
  static const QHash<QString, int> numbers{
      {QStringLiteral("TERM"), SIGTERM}, {QStringLiteral("INT"), SIGINT},
      {QStringLiteral("HUP"), SIGHUP},   {QStringLiteral("QUIT"), SIGQUIT},
      {QStringLiteral("USR1"), SIGUSR1}, {QStringLiteral("USR2"), SIGUSR2},
      {QStringLiteral("ALRM"), SIGALRM}, {QStringLiteral("VTALRM"), SIGVTALRM},
      {QStringLiteral("PROF"), SIGPROF}, {QStringLiteral("XCPU"), SIGXCPU},
      {QStringLiteral("XFSZ"), SIGXFSZ}, {QStringLiteral("PWR"), SIGPWR},
      {QStringLiteral("SYS"), SIGSYS},   {QStringLiteral("IO"), SIGIO},
      {QStringLiteral("TRAP"), SIGTRAP}, {QStringLiteral("STKFLT"), SIGSTKFLT},
      {QStringLiteral("SEGV"), SIGSEGV}, {QStringLiteral("ABRT"), SIGABRT},
      {QStringLiteral("KILL"), SIGKILL}};
  if (name == QLatin1String("RTMIN+2")) return SIGRTMIN + 2;
  if (name == QLatin1String("RTMAX")) return SIGRTMAX;
  return numbers.value(name);
}

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

// What a folder holds, as far as the game could change it: each entry's name, owner and kind,
// with a file's content and a link's target.
QStringList contents(const QString& folder) {
  QStringList held{QString::number(QFileInfo(folder).ownerId())};
  const QFileInfoList entries = QDir(folder).entryInfoList(
      QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
  for (const QFileInfo& entry : entries) {
    QString kind;
    if (entry.isSymLink()) {
      kind = QStringLiteral("link to ") + entry.symLinkTarget();
    } else if (entry.isDir()) {
      kind = QStringLiteral("folder");
    } else {
      QFile file(entry.filePath());
      kind = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().toHex())
                                            : QStringLiteral("unreadable");
    }
    held << QStringLiteral("%1 (%2): %3").arg(entry.fileName()).arg(entry.ownerId()).arg(kind);
  }
  return held;
}

// A desktop entry for a program that takes its addresses as `field` (%u: addresses, %f: files).
QByteArray desktopEntry(const QString& name, const QString& program, const char* field,
                        bool terminal = false) {
  return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %3\nTerminal=%4\n")
      .arg(name, program, QLatin1String(field),
           terminal ? QStringLiteral("true") : QStringLiteral("false"))
      .toUtf8();
}

// A session bus that takes connections and never says a word, as one whose daemon has stopped:
// the kernel completes each connection into the backlog, nobody accepts or answers it.
class SilentBus {
 public:
  explicit SilentBus(const QString& path) : m_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (m_fd < 0 || name.size() >= static_cast<qsizetype>(sizeof address.sun_path)) return;
    std::copy(name.begin(), name.end(), address.sun_path);
    m_listening = bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  listen(m_fd, 16) == 0;
  }
  ~SilentBus() {
    if (m_fd >= 0) close(m_fd);
  }
  SilentBus(const SilentBus&) = delete;
  SilentBus& operator=(const SilentBus&) = delete;
  bool IsListening() const { return m_listening; }

 private:
  int m_fd;
  bool m_listening = false;
};

}  // namespace

class WebLauncherTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void launch_data();
  void launch();

 private:
  void makeDesktop(const QString& folder);
};

void WebLauncherTest::initTestCase() {
  // The page's content type comes from the shared MIME database.
  QVERIFY2(QFileInfo::exists(QStringLiteral("/usr/share/mime/mime.cache")),
           "the shared MIME database is missing (Debian package shared-mime-info)");
  QVERIFY(QFileInfo(QStringLiteral(KELVOR_WEB_PROBE)).isExecutable());

  // The planted library does leave its mark once loaded, so that no mark means it never ran.
  QTemporaryDir markFolder;
  QVERIFY(markFolder.isValid());
  const QString marker = markFolder.filePath(QStringLiteral("planted-ran"));
  qputenv("KELVOR_PLANTED_MARKER", QFile::encodeName(marker));
  QLibrary planted(QStringLiteral(KELVOR_PLANTED_LIBRARY));
  QVERIFY2(planted.load(), qPrintable(planted.errorString()));
  qunsetenv("KELVOR_PLANTED_MARKER");
  QVERIFY(QFileInfo::exists(marker));
}

// The desktop of one scenario: every browser entry the rows choose from, and the recording
// browser "bin/browser" that writes the path it was started by and its arguments,
// NUL-separated, to "browser.args".
void WebLauncherTest::makeDesktop(const QString& folder) {
  const QString bin = folder + QStringLiteral("/bin");
  const QByteArray recorder =
      "#!/bin/sh\n"
      "out=\"$(dirname \"$0\")/../browser.args\"\n"
      "for a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.part\"\n"
      "mv \"$out.part\" \"$out\"\n";
  writeFile(bin + QStringLiteral("/browser"), recorder, true);
  writeFile(bin + QStringLiteral("/broken"), "#!/nonexistent/interpreter\n", true);
  // A browser in a folder whose name has a space; it records beside the other one.
  writeFile(folder + QStringLiteral("/some browser/browser"), recorder, true);

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
  // Browsers whose names mean a program in the working folder, where workdir=evil puts one, or
  // whose entry lies in a folder under it; and a script written with CR LF line ends.
  writeFile(apps + QStringLiteral("evil.desktop"),
            desktopEntry(QStringLiteral("Evil Browser"), QStringLiteral("evilbrowser"), "%u"));
  writeFile(bin + QStringLiteral("/crlf"), "#!/bin/sh\r\nexit 0\r\n", true);
  writeFile(apps + QStringLiteral("crlf.desktop"),
            desktopEntry(QStringLiteral("CR Browser"), bin + QStringLiteral("/crlf"), "%u"));
  // Every field code a browser's command line may hold, around the address.
  writeFile(apps + QStringLiteral("codes.desktop"),
            "[Desktop Entry]\nType=Application\nName=Coded Browser\nIcon=coded\nExec=" +
                QFile::encodeName(bin) + "/browser %i --class=%c %k 100%% %U %f %d\n");
  writeFile(apps + QStringLiteral("spaced.desktop"),
            desktopEntry(QStringLiteral("Spaced Browser"),
                         QStringLiteral("\"%1/some browser/browser\"").arg(folder), "%u"));

  // The system's MIME database, but none of the system's applications or associations.
  QDir().mkpath(folder + QStringLiteral("/system"));
  QFile::link(QStringLiteral("/usr/share/mime"), folder + QStringLiteral("/system/mime"));
  QDir().mkpath(folder + QStringLiteral("/system-config"));
}

void WebLauncherTest::launch_data() {
  QTest::addColumn<QString>("associations");  // the [Added Associations] for text/html
  // The folder given to the launcher: tmp, missing, file or read-only; or, with "TMPDIR ",
  // none, and $TMPDIR set to such a folder (or to a dangling symlink, or a relative path).
  QTest::addColumn<QString>("root");
  // Environment settings, and: gio=broken (no usable GIO), bus=silent (a session bus that never
  // answers), desktop=hung (an association list that never opens, as on a file system that has
  // stopped answering), workdir=planted (started from a folder holding look-alikes of GIO's
  // libraries).
  QTest::addColumn<QStringList>("environment");
  QTest::addColumn<QString>("url");
  QTest::addColumn<QString>("message");  // empty: no message
  QTest::addColumn<QString>("program");  // the browser that gets the address; empty: none

  const QStringList none;
  const QString browser = QStringLiteral("bin/browser");
  QTest::newRow("default browser gets the maker's address")
      << "fake.desktop;"
      << "tmp" << none << kMaker << QString() << browser;
  QTest::newRow("address passes unchanged as one argument")
      << "fake.desktop;"
      << "tmp" << none << QStringLiteral("https://www.tandrel.example/a b?q='x\"y'&z=%41;$(id)#top")
      << QString() << browser;
  QTest::newRow("no browser associated") << ""
                                         << "tmp" << none << kMaker << kNotFound << QString();
  QTest::newRow("only a browser that needs a terminal")
      << "term.desktop;"
      << "tmp" << none << kMaker << kNotFound << QString();
  QTest::newRow("terminal default passes over to a windowed browser")
      << "term.desktop;fake.desktop;"
      << "tmp" << none << kMaker << QString() << browser;
  QTest::newRow("only a viewer that takes no addresses")
      << "files.desktop;"
      << "tmp" << none << kMaker << kNotFound << QString();
  QTest::newRow("program path longer than 255 characters")
      << "long.desktop;"
      << "tmp" << none << kMaker << kNotFound << QString();
  QTest::newRow("program path with a space in a quoted command line")
      << "spaced.desktop;"
      << "tmp" << none << kMaker << QString() << QStringLiteral("some browser/browser");
  QTest::newRow("field codes of the browser's command line")
      << "codes.desktop;"
      << "tmp" << none << kMaker << QString() << browser;
  QTest::newRow("browser whose program cannot run")
      << "broken.desktop;"
      << "tmp" << none << kMaker << kNotStarted << QString();
  // The game starts the browser itself: neither the desktop's launch helper nor its bus has a
  // say in it.
  QTest::newRow("desktop's launch helper missing")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("GIO_LAUNCH_DESKTOP=/nonexistent")} << kMaker
      << QString() << browser;
  QTest::newRow("session bus that never answers")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("bus=silent")} << kMaker << QString() << browser;
  QTest::newRow("desktop that never answers")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("desktop=hung")} << kMaker << kNotStarted << QString();
  QTest::newRow("GIO not loadable")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("gio=broken")} << kMaker << kNotFound << QString();
  QTest::newRow("look-alikes of GIO in the working folder stay unloaded")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("workdir=planted")} << kMaker << QString() << browser;
  const QStringList evil{QStringLiteral("workdir=evil")};
  for (const char* path : {":/usr/bin:/bin", ".:/usr/bin:/bin", "/usr/bin:/bin:"}) {
    QTest::addRow("PATH %s finds no browser in the working folder", path)
        << "evil.desktop;"
        << "tmp" << evil + QStringList{QStringLiteral("PATH=") + QLatin1String(path)} << kMaker
        << kNotFound << QString();
  }
  QTest::newRow("relative XDG_DATA_HOME finds no entry in the working folder")
      << "shared.desktop;"
      << "tmp" << evil + QStringList{QStringLiteral("XDG_DATA_HOME=share")} << kMaker << kNotFound
      << QString();
  QTest::newRow("relative XDG_DATA_DIRS entry finds no entry in the working folder")
      << "shared.desktop;"
      << "tmp" << evil + QStringList{QStringLiteral("XDG_DATA_DIRS=share:%F/system")} << kMaker
      << kNotFound << QString();
  QTest::newRow("browser script with CR LF line ends cannot run")
      << "crlf.desktop;"
      << "tmp" << none << kMaker << kNotStarted << QString();
  // The game ends by a signal while the launch waits on the desktop, or the launch runs into an
  // error that is none of the game's: the page goes all the same.
  for (const char* signal :
       {"TERM", "INT", "HUP", "QUIT", "USR1", "USR2",   "ALRM", "VTALRM",  "PROF",  "XCPU",
        "XFSZ", "PWR", "SYS", "IO",   "TRAP", "STKFLT", "ABRT", "RTMIN+2", "RTMAX", "KILL"}) {
    QTest::addRow("SIG%s while the launch waits", signal)
        << "fake.desktop;"
        << "tmp" << QStringList{QStringLiteral("signal=") + QLatin1String(signal)} << kMaker
        << QString() << QString();
  }
  QTest::newRow("out of memory after the page is written")
      << "fake.desktop;"
      << "tmp" << QStringList{QStringLiteral("throw=bad_alloc")} << kMaker << QString()
      << QString();
  // A folder that a game killed outright left behind goes when it holds nothing but the page,
  // its player's own, or nothing at all; anything else in it is the player's, and all of it
  // stays, page included.
  for (const char* left :
       {"the page alone", "nothing", "the page and notes", "the page and a hidden file",
        "the page and a link", "the page and a folder", "a link in place of the page",
        "a page of other content", "a page of another user",
        "the page, in a folder of another user", "the page, in a folder others may write in"}) {
    QTest::addRow("folder left by an ended game holding %s", left)
        << "fake.desktop;"
        << "tmp" << QStringList{QStringLiteral("left=") + QLatin1String(left)} << kMaker
        << QString() << browser;
  }
  QTest::newRow("temporary folder missing")
      << "fake.desktop;"
      << "missing" << none << kMaker << QStringLiteral("76: Path not found") << QString();
  QTest::newRow("temporary folder is a file")
      << "fake.desktop;"
      << "file" << none << kMaker << QStringLiteral("76: Path not found") << QString();
  QTest::newRow("temporary folder not writable")
      << "fake.desktop;"
      << "read-only" << none << kMaker << QStringLiteral("70: Permission denied") << QString();
  // The user's temporary folder, when usable; /tmp otherwise, as the C library's tempnam does.
  for (const char* tmpdir :
       {"tmp", "missing", "dangling", "file", "read-only", "relative", "too long"}) {
    QTest::addRow("TMPDIR %s", tmpdir)
        << "fake.desktop;" << QStringLiteral("TMPDIR %1").arg(QLatin1String(tmpdir)) << none
        << kMaker << QString() << browser;
  }
}

void WebLauncherTest::launch() {
  QFETCH(QString, associations);
  QFETCH(QString, root);
  QFETCH(QStringList, environment);
  QFETCH(QString, url);
  QFETCH(QString, message);
  QFETCH(QString, program);

  const bool viaTmpdir = root.startsWith(QLatin1String("TMPDIR "));
  const QString place = viaTmpdir ? root.mid(7) : root;
  if (place == QLatin1String("read-only") && geteuid() == 0) {
    QSKIP("permissions do not bind the superuser");
  }

  QTemporaryDir scenario;
  QVERIFY(scenario.isValid());
  const QString folder = scenario.path();
  makeDesktop(folder);
  if (QTest::currentTestFailed()) {
    return;
  }

  QByteArray mimeapps = "[Default Applications]\n";
  if (!associations.isEmpty()) {
    mimeapps += "text/html=" + associations.section(QLatin1Char(';'), 0, 0).toUtf8() + "\n";
  }
  mimeapps += "[Added Associations]\ntext/html=" + associations.toUtf8() + "\n";
  const QString associationList = folder + QStringLiteral("/config/mimeapps.list");
  writeFile(associationList, mimeapps);

  QString tempRoot = folder + QStringLiteral("/tmp");
  if (place == QLatin1String("tmp")) {
    QDir().mkpath(tempRoot);
  } else if (place == QLatin1String("missing")) {
    tempRoot = folder + QStringLiteral("/missing/tmp");
  } else if (place == QLatin1String("dangling")) {
    QVERIFY(QFile::link(folder + QStringLiteral("/nowhere"), tempRoot));
  } else if (place == QLatin1String("file")) {
    writeFile(tempRoot, "not a folder");
  } else if (place == QLatin1String("too long")) {
    // A folder that exists and may be written, with no room left under it for the page.
    while (tempRoot.size() < 4073 - 200)
      tempRoot += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    tempRoot += QLatin1Char('/') + QString(4073 - 1 - tempRoot.size(), QLatin1Char('d'));
    QVERIFY(QDir().mkpath(tempRoot));
    QCOMPARE(tempRoot.size(), 4073);
  } else if (place == QLatin1String("relative")) {
    // A folder that exists from where the launch starts (the scenario folder).
    QDir().mkpath(tempRoot);
    tempRoot = QStringLiteral("tmp");
  } else {
    QDir().mkpath(tempRoot);
    QVERIFY(QFile::setPermissions(tempRoot, QFile::ReadOwner | QFile::ExeOwner));
  }
  // Where the page must go: the folder given, or $TMPDIR only when it is a usable folder.
  const QString pageRoot =
      !viaTmpdir || place == QLatin1String("tmp") ? tempRoot : QStringLiteral("/tmp");
  writeFile(folder + QStringLiteral("/url"), url.toUtf8());

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (viaTmpdir) {
    env.insert(QStringLiteral("TMPDIR"), tempRoot);
  } else {
    writeFile(folder + QStringLiteral("/root"), tempRoot.toLocal8Bit());
  }
  // GIO falls back on the home's folders where a setting is unusable (a relative path): the
  // scenario's own home, so that no browser of the tester's own desktop is ever found.
  env.insert(QStringLiteral("HOME"), folder + QStringLiteral("/home"));
  env.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
  env.insert(QStringLiteral("XDG_DATA_DIRS"), folder + QStringLiteral("/system"));
  env.insert(QStringLiteral("XDG_CONFIG_DIRS"), folder + QStringLiteral("/system-config"));
  env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
  env.remove(QStringLiteral("GIO_LAUNCH_DESKTOP"));
  QProcess probe;
  probe.setWorkingDirectory(folder);
  std::unique_ptr<SilentBus> bus;
  bool gioUsable = true;
  int patience = 30000;
  QString signalName;  // sent to the launch once its page is written
  const QString marker = folder + QStringLiteral("/planted-ran");
  QString leftOver;  // the folder an ended game left, and what it held
  QStringList leftHeld;
  bool leftGoes = false;  // the game removes it
  for (const QString& setting : environment) {
    const QString name = setting.section(QLatin1Char('='), 0, 0);
    const QString value = setting.section(QLatin1Char('='), 1);
    if (name == QLatin1String("gio")) {
      // A file that is no library where the user's library path sends the loader first.
      writeFile(folder + QStringLiteral("/lib/libgio-2.0.so.0"), "not a shared object");
      env.insert(QStringLiteral("LD_LIBRARY_PATH"), folder + QStringLiteral("/lib"));
      gioUsable = false;
    } else if (name == QLatin1String("bus")) {
      bus = std::make_unique<SilentBus>(folder + QStringLiteral("/bus"));
      QVERIFY(bus->IsListening());
      env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                 QStringLiteral("unix:path=") + folder + QStringLiteral("/bus"));
      // Generous: the launch gives up after a few seconds instead of waiting for ever.
      patience = 15000;
    } else if (name == QLatin1String("desktop")) {
      // Opening a pipe that nobody writes to waits for ever.
      QVERIFY(QFile::remove(associationList));
      QCOMPARE(::mkfifo(QFile::encodeName(associationList).constData(), 0600), 0);
      patience = 15000;
    } else if (name == QLatin1String("workdir") && value == QLatin1String("evil")) {
      const QString work = folder + QStringLiteral("/work");
      QDir().mkpath(work);
      QVERIFY(QFile::copy(folder + QStringLiteral("/bin/browser"),
                          work + QStringLiteral("/evilbrowser")));
      writeFile(work + QStringLiteral("/share/applications/shared.desktop"),
                desktopEntry(QStringLiteral("Shared Browser"),
                             folder + QStringLiteral("/bin/browser"), "%u"));
      probe.setWorkingDirectory(work);
    } else if (name == QLatin1String("signal")) {
      signalName = value;
      writeFile(folder + QStringLiteral("/hold"), "");
      patience = 15000;
    } else if (name == QLatin1String("left")) {
      if (value.contains(QLatin1String("another user")) && geteuid() != 0) {
        QSKIP("only the superuser can give a file to another user");
      }
      // The number of a process that has ended.
      QProcess ended;
      ended.start(QStringLiteral("true"));
      QVERIFY(ended.waitForStarted());
      const qint64 pid = ended.processId();
      QVERIFY(ended.waitForFinished());
      leftOver = QStringLiteral("%1/kelvor-web-%2-Ab3dEf").arg(tempRoot).arg(pid);
      QVERIFY(QDir().mkdir(leftOver));
      QCOMPARE(::chmod(QFile::encodeName(leftOver).constData(), 0700), 0);
      const QString page = leftOver + QStringLiteral("/temp.HTM");
      if (value == QLatin1String("a link in place of the page")) {
        writeFile(folder + QStringLiteral("/elsewhere.HTM"), kPage);
        QVERIFY(QFile::link(folder + QStringLiteral("/elsewhere.HTM"), page));
      } else if (value != QLatin1String("nothing")) {
        writeFile(page, value == QLatin1String("a page of other content") ? "notes\n" : kPage);
      }
      const QByteArray pagePath = QFile::encodeName(page);
      const QByteArray folderPath = QFile::encodeName(leftOver);
      if (value == QLatin1String("the page and notes")) {
        writeFile(leftOver + QStringLiteral("/notes.txt"), "notes\n");
      } else if (value == QLatin1String("the page and a hidden file")) {
        writeFile(leftOver + QStringLiteral("/.notes"), "notes\n");
      } else if (value == QLatin1String("the page and a link")) {
        QVERIFY(QFile::link(folder + QStringLiteral("/url"), leftOver + QStringLiteral("/notes")));
      } else if (value == QLatin1String("the page and a folder")) {
        QVERIFY(QDir().mkdir(leftOver + QStringLiteral("/notes")));
      } else if (value == QLatin1String("a page of another user")) {
        QCOMPARE(::chown(pagePath.constData(), 65534, 65534), 0);
      } else if (value == QLatin1String("the page, in a folder of another user")) {
        QCOMPARE(::chown(folderPath.constData(), 65534, 65534), 0);
      } else if (value == QLatin1String("the page, in a folder others may write in")) {
        QCOMPARE(::chmod(folderPath.constData(), 0770), 0);
      }
      leftHeld = contents(leftOver);
      leftGoes = value == QLatin1String("the page alone") || value == QLatin1String("nothing");
    } else if (name == QLatin1String("throw")) {
      writeFile(folder + QStringLiteral("/throw"), value.toUtf8());
    } else if (name == QLatin1String("workdir")) {
      const QString work = folder + QStringLiteral("/work");
      QDir().mkpath(work);
      for (const char* library : {"libgio-2.0.so.0", "libgobject-2.0.so.0", "libglib-2.0.so.0"}) {
        QVERIFY(QFile::copy(QStringLiteral(KELVOR_PLANTED_LIBRARY),
                            work + QLatin1Char('/') + QLatin1String(library)));
      }
      env.insert(QStringLiteral("KELVOR_PLANTED_MARKER"), marker);
      probe.setWorkingDirectory(work);
    } else {
      env.insert(name, QString(value).replace(QLatin1String("%F"), folder));
    }
  }
  probe.setProcessEnvironment(env);
  probe.setProcessChannelMode(QProcess::ForwardedChannels);
  probe.start(QStringLiteral(KELVOR_WEB_PROBE), {folder});
  if (!signalName.isEmpty()) {
    const QString told = folder + QStringLiteral("/page-folder");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(told).size() > 0, 10000);
    QFile pageFolder(told);
    QVERIFY(pageFolder.open(QIODevice::ReadOnly));
    const QString written = QFile::decodeName(pageFolder.readAll());
    const int number = signalNumber(signalName);
    QVERIFY(number > 0);
    QCOMPARE(::kill(static_cast<pid_t>(probe.processId()), number), 0);
    QVERIFY2(probe.waitForFinished(patience), "the signal did not end the launch");
    // Ended by the signal itself, as the shell reports it, and without a page left behind.
    QCOMPARE(probe.exitStatus(), QProcess::CrashExit);
    QCOMPARE(probe.exitCode(), number);
    if (number == SIGKILL) {
      // No handler sees SIGKILL: the page and its folder stay until the next launch finds
      // their game gone.
      QVERIFY2(QFileInfo::exists(written), qPrintable(written));
      QVERIFY(QFile::remove(folder + QStringLiteral("/hold")));
      probe.start(QStringLiteral(KELVOR_WEB_PROBE), {folder});
      QVERIFY2(probe.waitForFinished(patience), "the next launch did not return");
      QVERIFY2(!QFileInfo::exists(written), qPrintable(written));
      return;
    }
    QVERIFY2(!QFileInfo::exists(written), qPrintable(written));
    return;
  }
  QVERIFY2(probe.waitForFinished(patience), "the launch did not return");
  QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
  QCOMPARE(probe.exitCode(), 0);
  QVERIFY2(!QFileInfo::exists(marker), "a library from the working folder was loaded");

  QFile resultFile(folder + QStringLiteral("/result.json"));
  QVERIFY(resultFile.open(QIODevice::ReadOnly));
  const QJsonObject result = QJsonDocument::fromJson(resultFile.readAll()).object();
  if (QFileInfo::exists(folder + QStringLiteral("/throw"))) {
    QCOMPARE(result.value(QStringLiteral("thrown")).toString(), QStringLiteral("bad_alloc"));
    const QString pageFolder = result.value(QStringLiteral("pageFolder")).toString();
    QVERIFY(!pageFolder.isEmpty());
    QVERIFY2(!QFileInfo::exists(pageFolder), qPrintable(pageFolder));
    return;
  }
  QVERIFY(!result.contains(QStringLiteral("thrown")));
  QCOMPARE(result.value(QStringLiteral("zombies")).toInt(), 0);

  // The message box, or none.
  const QJsonArray messages = result.value(QStringLiteral("messages")).toArray();
  if (message.isEmpty()) {
    QCOMPARE(messages.size(), 0);
  } else {
    QCOMPARE(messages.size(), 1);
    const QJsonObject box = messages.first().toObject();
    QCOMPARE(box.value(QStringLiteral("text")).toString(), message);
    QCOMPARE(box.value(QStringLiteral("style")).toInt(), 16);
  }

  // The caller's address is left as it was.
  QCOMPARE(QByteArray::fromBase64(result.value(QStringLiteral("urlAfter")).toString().toLatin1()),
           url.toUtf8());

  // The page is written when a launch can be attempted, and then it is the exact page, in a
  // private folder of the temporary folder.
  const bool pageRootUsable = viaTmpdir || place == QLatin1String("tmp");
  QCOMPARE(result.contains(QStringLiteral("pageName")), gioUsable && pageRootUsable);
  if (result.contains(QStringLiteral("pageName"))) {
    QCOMPARE(result.value(QStringLiteral("pageName")).toString(), QStringLiteral("temp.HTM"));
    QCOMPARE(
        QByteArray::fromBase64(result.value(QStringLiteral("pageContent")).toString().toLatin1()),
        kPage);
    QCOMPARE(result.value(QStringLiteral("pageFolderMode")).toInt(), 0700);
    const QString pageFolder = result.value(QStringLiteral("pageFolder")).toString();
    QCOMPARE(QFileInfo(pageFolder).absolutePath(), QFileInfo(folder, pageRoot).absoluteFilePath());
    // No page and no private folder outlive the launch.
    QVERIFY2(!QFileInfo::exists(pageFolder), qPrintable(pageFolder));
  }
  // Nothing is left in the folder but what the game should not touch.
  QStringList kept;
  if (!leftOver.isEmpty() && !leftGoes) kept << QFileInfo(leftOver).fileName();
  if (pageRoot != QLatin1String("/tmp") && QFileInfo(folder, pageRoot).isDir()) {
    QCOMPARE(QDir(QFileInfo(folder, pageRoot).absoluteFilePath())
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             kept);
  }
  if (!kept.isEmpty()) QCOMPARE(contents(leftOver), leftHeld);

  const QString argsFile = folder + QStringLiteral("/browser.args");
  if (!program.isEmpty()) {
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(argsFile), 10000);
    QFile args(argsFile);
    QVERIFY(args.open(QIODevice::ReadOnly));
    QList<QByteArray> received = args.readAll().split('\0');
    QCOMPARE(received.takeLast(), QByteArray());
    // The program started is the one the browser's entry names, by its full path.
    QVERIFY(!received.isEmpty());
    QCOMPARE(QFile::decodeName(received.takeFirst()), folder + QLatin1Char('/') + program);
    QList<QByteArray> expected{url.toUtf8()};
    if (associations == QLatin1String("codes.desktop;")) {
      // %i: the icon's option; %c: the name; %k: the entry's file; %%: a percent sign; %U: the
      // address; %f: nothing more (the address is given once); %d: deprecated, nothing.
      expected = {"--icon",
                  "coded",
                  "--class=Coded Browser",
                  QFile::encodeName(folder) + "/data/applications/codes.desktop",
                  "100%",
                  url.toUtf8()};
    }
    QCOMPARE(received, expected);
  } else {
    QVERIFY(!QFileInfo::exists(argsFile));
  }
}

QTEST_GUILESS_MAIN(WebLauncherTest)
#include "test_web_launcher.moc"
