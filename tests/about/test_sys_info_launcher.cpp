// The system-information launcher on key stores the tests write, with a stand-in program that
// records each start.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <csignal>

#include "about/sys_info_launcher.h"
#include "errors/runtime_error.h"
#include "platform/key_store.h"
#include "platform/key_store_test_seam.h"
#include "shared/message_box.h"
#include "tests/child_processes.h"

namespace {

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");
const QByteArray kFirstKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
const QByteArray kSecondKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n";

// "/ab" -> "2f,61,62": a string value stored byte by byte, without a terminator.
QByteArray HexList(const QByteArray& bytes) {
  QByteArrayList items;
  for (char c : bytes) items << QByteArray::number(static_cast<unsigned char>(c), 16);
  return items.join(',');
}

struct Message {
  QString text;
  int style;
};

// The standard signals this process was started with ignored, as the stand-in records them
// (SIGHUP: ctest runs it under nohup); read before main, as Qt Test then gives SIGHUP a handler.
QByteArray IgnoredSignals() {
  QFile file(QStringLiteral("/proc/self/status"));
  const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  const qulonglong mask = status.mid(status.indexOf("SigIgn:\t") + 8, 16).toULongLong(nullptr, 16);
  QByteArrayList ignored;
  for (int signal = 1; signal < 32; ++signal) {
    if (mask & (1ULL << (signal - 1))) ignored << QByteArray::number(signal);
  }
  return ignored.isEmpty() ? QByteArray("-") : ignored.join(',');
}
const QByteArray kIgnoredAtStart = IgnoredSignals();

}  // namespace

class TestSysInfoLauncher : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;
  QString m_recordPath;
  QString m_programDir;
  // A folder whose name is Latin-1, not UTF-8, holding the program twice: as "hardinfo" and
  // under its expected name. Qt cannot name it, so it is made and removed byte by byte.
  QByteArray m_latinDir;
  QList<Message> m_messages;
  int m_leaked = -1;

  QString StorePath() const { return m_dir.filePath(QStringLiteral("registry.reg")); }
  // The store the launchers under test read, at StorePath().
  kelvor::KeyStore Registry() const {
    return kelvor::KeyStore(QFile::encodeName(StorePath()).toStdString());
  }
  static std::size_t OpenKeys(const kelvor::KeyStore& registry) {
    return kelvor::KeyStoreTestSeam::OpenKeyCount(registry);
  }

  // Where the launchers under test show their messages: written down instead of shown.
  kelvor::ShowMessageFunction Recorder() {
    return [this](const QString& text, int style) { m_messages.append({text, style}); };
  }

  void WriteStore(const QByteArray& body) {
    QFile file(StorePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("REGEDIT4\n\n" + body);
  }

  // The paths the program was started by, as the bytes it was given.
  QByteArrayList Recorded() const {
    QFile file(m_recordPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArrayList lines = file.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
  }

  QByteArray Expand(QByteArray text) const {
    text.replace("%REC%", QFile::encodeName(QStringLiteral(KELVOR_TEST_RECORDER)));
    text.replace("%DIR%", QFile::encodeName(m_programDir));
    text.replace("%LATIN%", m_latinDir);
    return text;
  }

  static bool CopyProgram(const QByteArray& target) {
    QFile source(QStringLiteral(KELVOR_TEST_RECORDER));
    if (!source.open(QIODevice::ReadOnly)) return false;
    const QByteArray program = source.readAll();
    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
    if (fd < 0) return false;
    const bool written = ::write(fd, program.constData(), program.size()) == program.size();
    return ::close(fd) == 0 && written;
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    m_recordPath = m_dir.filePath(QStringLiteral("record.txt"));
    qputenv("KELVOR_TEST_RECORD", QFile::encodeName(m_recordPath));
    // The folder the second lookup names, holding the program under its expected name.
    m_programDir = m_dir.filePath(QStringLiteral("tools"));
    QVERIFY(QDir().mkpath(m_programDir));
    const QString copy = m_programDir + QStringLiteral("/MSINFO32.EXE");
    QVERIFY(QFile::copy(QStringLiteral(KELVOR_TEST_RECORDER), copy));
    QVERIFY(QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("empty"))));
    m_latinDir = QFile::encodeName(m_dir.path()) + "/caf\xe9";
    QCOMPARE(::mkdir(m_latinDir.constData(), 0700), 0);
    QVERIFY(CopyProgram(m_latinDir + "/hardinfo"));
    QVERIFY(CopyProgram(m_latinDir + "/MSINFO32.EXE"));
    // The game holds descriptors others opened without close-on-exec (alsa-lib's sound
    // device); none of them may reach the program.
    m_leaked = ::open("/dev/null", O_RDONLY);
    QVERIFY(m_leaked > 2);
    // As the game runs, which the program must not notice: SIGPIPE ignored, a hang-up as the
    // game was started with it (here, without Qt Test's handler).
    std::signal(SIGPIPE, SIG_IGN);
    if (kIgnoredAtStart.split(',').contains(QByteArray::number(SIGHUP))) {
      std::signal(SIGHUP, SIG_IGN);
    }
    // A bare program name in the store is looked for in PATH.
    qputenv("PATH", m_latinDir + ':' + qgetenv("PATH"));
    // Relative paths in the store would resolve against this folder.
    QVERIFY(QDir::setCurrent(m_dir.path()));
  }

  void init() {
    m_messages.clear();
    QFile::remove(m_recordPath);
    QFile::remove(StorePath());
  }

  void cleanupTestCase() {
    ::close(m_leaked);
    ::unlink((m_latinDir + "/hardinfo").constData());
    ::unlink((m_latinDir + "/MSINFO32.EXE").constData());
    ::rmdir(m_latinDir.constData());
  }

  void readsOneValueAsText_data() {
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text");
    const QString preset = QStringLiteral("left as passed");
    QTest::newRow("string loses only its terminator")
        << QByteArray("\"V\"=\"/opt/a b\"\n") << "V" << true << "/opt/a b";
    QTest::newRow("string without terminator keeps every character")
        << QByteArray("\"V\"=hex(1):2f,6f,70,74\n") << "V" << true << "/opt";
    QTest::newRow("string with two zero bytes keeps one")
        << QByteArray("\"V\"=hex(1):41,00,00\n") << "V" << true << QString::fromLatin1("A\0", 2);
    // One character per byte, as the 8-bit reader hands them out: what was not ASCII comes
    // back unchanged through toLatin1, UTF-8 or not.
    QTest::newRow("byte above 127 is one character")
        << QByteArray("\"V\"=hex(1):63,61,66,e9,00\n") << "V" << true
        << QString::fromLatin1("caf\xe9");
    QTest::newRow("UTF-8 sequence is one character a byte")
        << QByteArray("\"V\"=hex(1):c3,a9,00\n") << "V" << true << QString::fromLatin1("\xc3\xa9");
    QTest::newRow("number in hex, last byte first")
        << QByteArray("\"V\"=dword:12345678\n") << "V" << true << "&h12345678";
    QTest::newRow("number loses a zero high byte")
        << QByteArray("\"V\"=dword:00000001\n") << "V" << true << "&h000001";
    QTest::newRow("number with a high byte set keeps it")
        << QByteArray("\"V\"=dword:0100000a\n") << "V" << true << "&h0100000A";
    QTest::newRow("zero number") << QByteArray("\"V\"=dword:0\n") << "V" << true << "&h000000";
    QTest::newRow("other type leaves the text alone")
        << QByteArray("\"V\"=hex:2f,62,69,6e\n") << "V" << true << preset;
    QTest::newRow("expandable string is another type")
        << QByteArray("\"V\"=hex(2):2f,00\n") << "V" << true << preset;
    QTest::newRow("exactly 1024 bytes") << ("\"V\"=hex(1):" + HexList(QByteArray(1024, 'a')) + "\n")
                                        << "V" << true << QString(1024, 'a');
    QTest::newRow("over 1024 bytes is not found")
        << ("\"V\"=hex(1):" + HexList(QByteArray(1025, 'a')) + "\n") << "V" << false << QString();
    QTest::newRow("missing value") << QByteArray("\"V\"=\"x\"\n") << "W" << false << QString();
  }
  void readsOneValueAsText() {
    QFETCH(QByteArray, values);
    QFETCH(QString, name);
    QFETCH(bool, found);
    QFETCH(QString, text);
    WriteStore(kFirstKey + values);
    kelvor::KeyStore registry = Registry();
    kelvor::SysInfoLauncher launcher(Recorder(), registry);
    QString value = QStringLiteral("left as passed");
    QCOMPARE(launcher.GetKeyValue(kelvor::kHKeyLocalMachine,
                                  QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), name,
                                  value),
             found);
    QCOMPARE(value, text);
    QCOMPARE(OpenKeys(registry), std::size_t{0});
  }

  void missingKeyOrStoreEmptiesTheText_data() {
    QTest::addColumn<QByteArray>("store");
    QTest::newRow("missing key") << QByteArray("REGEDIT4\n" + kSecondKey);
    QTest::newRow("malformed store") << QByteArray("not a key store\n" + kFirstKey);
    QTest::newRow("missing store") << QByteArray();
  }
  void missingKeyOrStoreEmptiesTheText() {
    QFETCH(QByteArray, store);
    if (!store.isEmpty()) {
      QFile file(StorePath());
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(store + "\"PATH\"=\"/x\"\n");
    }
    kelvor::KeyStore registry = Registry();
    kelvor::SysInfoLauncher launcher(Recorder(), registry);
    QString value = QStringLiteral("stale");
    QVERIFY(!launcher.GetKeyValue(kelvor::kHKeyLocalMachine,
                                  QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                                  QStringLiteral("PATH"), value));
    QVERIFY(value.isEmpty());
    QCOMPARE(OpenKeys(registry), std::size_t{0});
  }

  void valueWithoutDataIsARunTimeErrorAndTheKeyIsClosed() {
    WriteStore(kFirstKey + "\"PATH\"=hex(1):\n");
    kelvor::KeyStore registry = Registry();
    kelvor::SysInfoLauncher launcher(Recorder(), registry);
    QString value;
    try {
      launcher.GetKeyValue(kelvor::kHKeyLocalMachine,
                           QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                           QStringLiteral("PATH"), value);
      QFAIL("no run-time error");
    } catch (const kelvor::errors::RuntimeError& e) {
      QCOMPARE(e.Number(), kelvor::errors::kInvalidCall);
    }
    QCOMPARE(OpenKeys(registry), std::size_t{0});
  }

  // %REC% is the stand-in program, %DIR% a folder holding it as MSINFO32.EXE, %LATIN% the
  // Latin-1 folder (first in PATH, holding it as hardinfo), %EMPTY% a folder without it.
  // "started" is the path the program was started by, byte for byte, or empty when the message
  // must come instead. Only the second lookup is tested on the disk: a first one that the disk
  // test would refuse (a bare name) still starts its program, and a second one starts only what
  // is there.
  void launchFollowsTheLookups_data() {
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<QByteArray>("started");
    const QByteArray second = kSecondKey + "\"MSINFO\"=\"%DIR%\"\n";
    QTest::newRow("both present: the first wins")
        << QByteArray(kFirstKey + "\"PATH\"=\"%REC%\"\n" + second) << QByteArray("%REC%");
    QTest::newRow("first only") << QByteArray(kFirstKey + "\"PATH\"=\"%REC%\"\n")
                                << QByteArray("%REC%");
    QTest::newRow("first without terminator")
        << QByteArray(kFirstKey + "\"PATH\"=hex(1):%HEX%\n") << QByteArray("%REC%");
    QTest::newRow("first names a missing file: the second is not tried")
        << QByteArray(kFirstKey + "\"PATH\"=\"%DIR%/nothing\"\n" + second) << QByteArray("");
    QTest::newRow("first names a folder")
        << QByteArray(kFirstKey + "\"PATH\"=\"%DIR%\"\n") << QByteArray("");
    QTest::newRow("first of another type starts nothing")
        << QByteArray(kFirstKey + "\"PATH\"=hex:2f\n" + second) << QByteArray("");
    QTest::newRow("first as a number starts nothing")
        << QByteArray(kFirstKey + "\"PATH\"=dword:1\n" + second) << QByteArray("");
    QTest::newRow("first without data: the second is not tried")
        << QByteArray(kFirstKey + "\"PATH\"=hex(1):\n" + second) << QByteArray("");
    QTest::newRow("first over 1024 bytes counts as missing")
        << QByteArray(kFirstKey + "\"PATH\"=hex(1):" + HexList(QByteArray(1025, '/')) + "\n" +
                      second)
        << QByteArray("%DIR%/MSINFO32.EXE");
    QTest::newRow("first names a path that is not UTF-8")
        << QByteArray(kFirstKey + "\"PATH\"=\"%LATIN%/hardinfo\"\n" + second)
        << QByteArray("%LATIN%/hardinfo");
    QTest::newRow("first a bare name, found in PATH without a disk test")
        << QByteArray(kFirstKey + "\"PATH\"=\"hardinfo\"\n" + second)
        << QByteArray("%LATIN%/hardinfo");
    QTest::newRow("second names a folder that is not UTF-8")
        << QByteArray(kSecondKey + "\"MSINFO\"=\"%LATIN%\"\n")
        << QByteArray("%LATIN%/MSINFO32.EXE");
    QTest::newRow("second only, program there") << second << QByteArray("%DIR%/MSINFO32.EXE");
    QTest::newRow("second with trailing slash keeps the double slash")
        << QByteArray(kSecondKey + "\"MSINFO\"=\"%DIR%/\"\n") << QByteArray("%DIR%//MSINFO32.EXE");
    QTest::newRow("second only, program missing")
        << QByteArray(kSecondKey + "\"MSINFO\"=\"%EMPTY%\"\n") << QByteArray("");
    QTest::newRow("second of another type")
        << QByteArray(kSecondKey + "\"MSINFO\"=hex:2f\n") << QByteArray("");
    QTest::newRow("first relative to the working folder")
        << QByteArray(kFirstKey + "\"PATH\"=\"tools/MSINFO32.EXE\"\n") << QByteArray("");
    QTest::newRow("first in the working folder")
        << QByteArray(kFirstKey + "\"PATH\"=\"./tools/MSINFO32.EXE\"\n") << QByteArray("");
    QTest::newRow("second relative to the working folder")
        << QByteArray(kSecondKey + "\"MSINFO\"=\"tools\"\n") << QByteArray("");
    QTest::newRow("second empty: the program in the root folder")
        << QByteArray(kSecondKey + "\"MSINFO\"=\"\"\n") << QByteArray("");
    QTest::newRow("neither") << QByteArray("[HKEY_LOCAL_MACHINE\\SOFTWARE]\n") << QByteArray("");
    QTest::newRow("missing store") << QByteArray("%NOSTORE%") << QByteArray("");
  }
  void launchFollowsTheLookups() {
    QFETCH(QByteArray, store);
    QFETCH(QByteArray, started);
    if (store != "%NOSTORE%") {
      store.replace("%HEX%", HexList(QFile::encodeName(QStringLiteral(KELVOR_TEST_RECORDER))));
      store.replace("%EMPTY%", QFile::encodeName(m_dir.filePath(QStringLiteral("empty"))));
      WriteStore(Expand(store));
    }
    started = Expand(started);

    kelvor::KeyStore registry = Registry();
    kelvor::SysInfoLauncher launcher(Recorder(), registry);
    launcher.StartSysInfo();
    QCOMPARE(OpenKeys(registry), std::size_t{0});

    if (started.isEmpty()) {
      QCOMPARE(m_messages.size(), 1);
      QCOMPARE(m_messages[0].text, kUnavailable);
      QCOMPARE(m_messages[0].style, kelvor::kMsgOkOnly);
      // A detached start would have recorded within this time; nothing may have run.
      QTest::qWait(300);
      QCOMPARE(Recorded(), QByteArrayList());
    } else {
      QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.value(0).text));
      QTRY_COMPARE_WITH_TIMEOUT(Recorded().size(), 1, 5000);
      // Started by its path alone, with no arguments and no shell in between, with standard
      // input, output and error as its only descriptors, and ignoring the signals the game was
      // started ignoring (a hang-up under nohup), SIGPIPE not among them.
      QCOMPARE(Recorded().first(), started + " 1 0,1,2 " + kIgnoredAtStart);
      // Its end is collected: no zombie of it stays behind.
      QTRY_VERIFY_WITH_TIMEOUT(ChildProcesses(QCoreApplication::applicationPid()).isEmpty(), 5000);
    }
  }

  void eachClickStartsTheProgramAgain() {
    WriteStore(Expand(kFirstKey + "\"PATH\"=\"%REC%\"\n"));
    kelvor::KeyStore registry = Registry();
    kelvor::SysInfoLauncher launcher(Recorder(), registry);
    launcher.StartSysInfo();
    launcher.StartSysInfo();
    QTRY_COMPARE_WITH_TIMEOUT(Recorded().size(), 2, 5000);
    QVERIFY(m_messages.isEmpty());
  }
};

QTEST_GUILESS_MAIN(TestSysInfoLauncher)
#include "test_sys_info_launcher.moc"
