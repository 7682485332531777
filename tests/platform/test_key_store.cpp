// The key store's three registry operations on files the tests write: result codes, byte
// counts, the buffer limit, and stores that are not there or not files at all.
#include <sys/stat.h>

#include <QtTest>
#include <array>
#include <string>

#include "platform/key_store.h"
#include "platform/key_store_test_seam.h"

using namespace kelvor;

namespace {

const char* const kInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

}  // namespace

class TestKeyStore : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;

  std::string Write(const QString& name, const QByteArray& bytes) {
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(bytes);
    return QFile::encodeName(file.fileName()).toStdString();
  }

  std::string InfoStore(const QByteArray& values) {
    return Write(QStringLiteral("info.reg"),
                 "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + QByteArray(kInfoKey) + "]\n" + values);
  }

 private slots:
  void openQueryCloseReadAValue() {
    KeyStore store(InfoStore("\"PATH\"=\"/usr/bin/x\"\n"));
    std::uint32_t key = 0;
    QCOMPARE(store.OpenKeyEx(kHKeyLocalMachine, kInfoKey, 0, 0x2003F, &key), kErrorSuccess);
    QVERIFY(key != 0);
    QCOMPARE(KeyStoreTestSeam::OpenKeyCount(store), std::size_t{1});

    std::array<unsigned char, 1024> buffer{};
    std::uint32_t size = buffer.size();
    std::uint32_t type = 0;
    QCOMPARE(store.QueryValueEx(key, "path", &type, buffer.data(), &size), kErrorSuccess);
    QCOMPARE(type, kRegSz);
    QCOMPARE(size, 11u);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), size),
             QByteArray("/usr/bin/x\0", 11));

    QCOMPARE(store.CloseKey(key), kErrorSuccess);
    QCOMPARE(KeyStoreTestSeam::OpenKeyCount(store), std::size_t{0});
    QCOMPARE(store.CloseKey(key), kErrorInvalidHandle);
  }

  void valueLongerThanTheBufferIsMoreData_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<long>("result");
    QTest::newRow("exactly the buffer") << 1024 << kErrorSuccess;
    QTest::newRow("one byte over") << 1025 << kErrorMoreData;
    QTest::newRow("far over") << 5000 << kErrorMoreData;
  }
  void valueLongerThanTheBufferIsMoreData() {
    QFETCH(int, length);
    QFETCH(long, result);
    QByteArray list;
    for (int i = 0; i < length; ++i) list += (i ? ",41" : "41");
    KeyStore store(InfoStore("\"BIG\"=hex:" + list + "\n"));
    std::uint32_t key = 0;
    QCOMPARE(store.OpenKeyEx(kHKeyLocalMachine, kInfoKey, 0, 0x2003F, &key), kErrorSuccess);
    std::array<unsigned char, 1024> buffer{};
    std::uint32_t size = buffer.size();
    std::uint32_t type = 0;
    QCOMPARE(store.QueryValueEx(key, "BIG", &type, buffer.data(), &size), result);
    QCOMPARE(size, static_cast<std::uint32_t>(length));
    store.CloseKey(key);
  }

  void unusableStoresFindNoKey_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a fifo without writer") << "fifo";
    QTest::newRow("a device") << "device";
    QTest::newRow("no header") << "noheader";
    QTest::newRow("over the size limit") << "huge";
    QTest::newRow("unreadable") << "unreadable";
  }
  void unusableStoresFindNoKey() {
    QFETCH(QString, kind);
    std::string path = QFile::encodeName(m_dir.filePath(kind)).toStdString();
    if (kind == "folder") {
      QVERIFY(QDir(m_dir.path()).mkpath(kind));
    } else if (kind == "fifo") {
      QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
    } else if (kind == "device") {
      path = "/dev/zero";
    } else if (kind == "noheader") {
      path = Write(kind, "[HKEY_LOCAL_MACHINE\\" + QByteArray(kInfoKey) + "]\n");
    } else if (kind == "huge") {
      path = Write(kind, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + QByteArray(kInfoKey) + "]\n;" +
                             QByteArray(static_cast<int>(kMaxStoreBytes), 'x'));
    } else if (kind == "unreadable") {
      // A file of its own: the other cases rewrite info.reg, which must stay readable.
      path = Write(
          kind, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + QByteArray(kInfoKey) + "]\n\"PATH\"=\"/x\"\n");
      QVERIFY(!path.empty());
      QVERIFY(QFile::setPermissions(QString::fromStdString(path), QFileDevice::WriteOwner));
    }
    const auto restoreMode = qScopeGuard([&] {
      if (kind == "unreadable") {
        QFile::setPermissions(QString::fromStdString(path),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
      }
    });
    if (kind == "unreadable" && QFile(QString::fromStdString(path)).open(QIODevice::ReadOnly)) {
      QSKIP("root reads a file whatever its mode, so no file is unreadable here");
    }
    KeyStore store(path);
    std::uint32_t key = 123;
    QVERIFY(store.OpenKeyEx(kHKeyLocalMachine, kInfoKey, 0, 0x2003F, &key) != kErrorSuccess);
    QCOMPARE(key, 0u);
    QCOMPARE(KeyStoreTestSeam::OpenKeyCount(store), std::size_t{0});
  }

  void missingKeyOrValueIsNotFound() {
    KeyStore store(InfoStore("\"PATH\"=\"/x\"\n"));
    std::uint32_t key = 0;
    QCOMPARE(store.OpenKeyEx(kHKeyLocalMachine, "SOFTWARE\\Nothing", 0, 0x2003F, &key),
             kErrorFileNotFound);
    QCOMPARE(store.OpenKeyEx(kHKeyCurrentUser, kInfoKey, 0, 0x2003F, &key), kErrorFileNotFound);
    QCOMPARE(store.OpenKeyEx(kHKeyLocalMachine, kInfoKey, 0, 0x2003F, &key), kErrorSuccess);
    std::array<unsigned char, 16> buffer{};
    std::uint32_t size = buffer.size();
    QCOMPARE(store.QueryValueEx(key, "MSINFO", nullptr, buffer.data(), &size), kErrorFileNotFound);
    QCOMPARE(store.QueryValueEx(0x4711, "PATH", nullptr, buffer.data(), &size),
             kErrorInvalidHandle);
    store.CloseKey(key);
  }

  void subKeysOpenBelowAnOpenKey() {
    KeyStore store(InfoStore("\"PATH\"=\"/x\"\n"));
    std::uint32_t software = 0;
    std::uint32_t info = 0;
    QCOMPARE(store.OpenKeyEx(kHKeyLocalMachine, "SOFTWARE", 0, 0x2003F, &software), kErrorSuccess);
    QCOMPARE(store.OpenKeyEx(software, "Microsoft\\Shared Tools\\MSINFO", 0, 0x2003F, &info),
             kErrorSuccess);
    std::array<unsigned char, 16> buffer{};
    std::uint32_t size = buffer.size();
    QCOMPARE(store.QueryValueEx(info, "PATH", nullptr, buffer.data(), &size), kErrorSuccess);
    QCOMPARE(size, 3u);
    store.CloseKey(info);
    store.CloseKey(software);
    QCOMPARE(KeyStoreTestSeam::OpenKeyCount(store), std::size_t{0});
  }

  // The value sits at the very end, so a store is only found when it was read to its last byte.
  void storeIsReadUpToTheSizeLimit_data() {
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<bool>("found");
    QTest::newRow("small") << qsizetype{4096} << true;
    QTest::newRow("exactly the limit") << static_cast<qsizetype>(kMaxStoreBytes) << true;
    QTest::newRow("one byte over") << static_cast<qsizetype>(kMaxStoreBytes + 1) << false;
  }
  void storeIsReadUpToTheSizeLimit() {
    QFETCH(qsizetype, size);
    QFETCH(bool, found);
    const QByteArray head = "REGEDIT4\n;";
    const QByteArray tail =
        "\n[HKEY_LOCAL_MACHINE\\" + QByteArray(kInfoKey) + "]\n\"PATH\"=\"/x\"\n";
    const QByteArray bytes = head + QByteArray(size - head.size() - tail.size(), 'x') + tail;
    QCOMPARE(bytes.size(), size);
    KeyStore store(Write(QStringLiteral("sized.reg"), bytes));
    std::uint32_t key = 0;
    QCOMPARE(store.OpenKeyEx(kHKeyLocalMachine, kInfoKey, 0, 0x2003F, &key) == kErrorSuccess,
             found);
    store.CloseKey(key);
  }

  void everyOpeningReadsTheFileAnew() {
    const std::string path = InfoStore("\"PATH\"=\"/first\"\n");
    KeyStore store(path);
    std::uint32_t key = 0;
    QCOMPARE(store.OpenKeyEx(kHKeyLocalMachine, kInfoKey, 0, 0x2003F, &key), kErrorSuccess);
    store.CloseKey(key);
    QVERIFY(QFile::remove(QString::fromStdString(path)));
    QCOMPARE(store.OpenKeyEx(kHKeyLocalMachine, kInfoKey, 0, 0x2003F, &key), kErrorFileNotFound);
  }
};

QTEST_GUILESS_MAIN(TestKeyStore)
#include "test_key_store.moc"
