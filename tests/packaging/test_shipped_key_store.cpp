// The key store the build installs and packages, read by the game's own reader: the System Info
// button must find the system-information program the build names (KELVOR_SYSINFO_PROGRAM)
// through the first lookup. Other programs a packager may name are written by the same script
// (resources/registry/key_store.cmake) and read back here, the format's escapes included.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "about/sys_info_launcher.h"
#include "platform/key_store.h"
#include "platform/key_store_test_seam.h"
#include "sysinfo_program.h"

namespace {

// What the first lookup of the store at path gives, or a null string if it finds nothing.
QString FirstLookup(const QString& path) {
  QStringList messages;
  kelvor::KeyStore registry(QFile::encodeName(path).toStdString());
  kelvor::SysInfoLauncher launcher([&messages](const QString& text, int) { messages.append(text); },
                                   registry);
  QString value;
  if (!launcher.GetKeyValue(kelvor::kHKeyLocalMachine,
                            QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                            QStringLiteral("PATH"), value)) {
    return {};
  }
  if (kelvor::KeyStoreTestSeam::OpenKeyCount(registry) != 0 || !messages.isEmpty()) {
    return {};
  }
  return value;
}

}  // namespace

class TestShippedKeyStore : public QObject {
  Q_OBJECT

 private slots:
  void firstLookupNamesTheBuildsProgram() {
    QCOMPARE(FirstLookup(QStringLiteral(KELVOR_SHIPPED_KEY_STORE)),
             QString::fromUtf8(KELVOR_SYSINFO_PROGRAM));
  }

  void storeWrittenForProgram_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Debian's hardinfo") << QStringLiteral("/usr/bin/hardinfo") << true;
    QTest::newRow("Arch's hardinfo2") << QStringLiteral("/usr/bin/hardinfo2") << true;
    QTest::newRow("a bare name, found on the PATH") << QStringLiteral("hardinfo2") << true;
    QTest::newRow("a folder with a space")
        << QStringLiteral("/opt/System Info/bin/sysinfo") << true;
    QTest::newRow("a quote and a backslash") << QStringLiteral("/opt/a\"b\\c/sysinfo") << true;
    QTest::newRow("CMake's @ and ${} taken as they are")
        << QStringLiteral("/opt/@KELVOR_SYSINFO_PROGRAM@/${x}/sysinfo") << true;
    QTest::newRow("relative to a folder") << QStringLiteral("bin/hardinfo") << false;
    QTest::newRow("two lines") << QStringLiteral("/usr/bin/hardinfo\n/tmp/x") << false;
    QTest::newRow("empty") << QString() << false;
  }

  // A program the store cannot name so that the game starts it stops the configure.
  void storeWrittenForProgram() {
    QFETCH(QString, program);
    QFETCH(bool, accepted);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString store = folder.filePath(QStringLiteral("registry.reg"));
    QProcess cmake;
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(KELVOR_CMAKE_COMMAND),
                {QStringLiteral("-Dprogram=") + program, QStringLiteral("-Doutput=") + store,
                 QStringLiteral("-P"), QStringLiteral(KELVOR_KEY_STORE_SCRIPT)});
    QVERIFY2(cmake.waitForFinished(30000), "cmake did not end within 30 s");
    const QByteArray output = cmake.readAll();
    QCOMPARE(cmake.exitStatus(), QProcess::NormalExit);
    if (!accepted) {
      QVERIFY2(cmake.exitCode() != 0, output.constData());
      QVERIFY(output.contains("KELVOR_SYSINFO_PROGRAM"));
      QVERIFY(!QFile::exists(store));
      return;
    }
    QVERIFY2(cmake.exitCode() == 0, output.constData());
    QCOMPARE(FirstLookup(store), program);
  }
};

QTEST_GUILESS_MAIN(TestShippedKeyStore)
#include "test_shipped_key_store.moc"
