// The key store the package installs, read by the game's own reader: the System Info button
// must find Debian's system-information program through the first lookup.
#include <QtTest>

#include "about/sys_info_launcher.h"
#include "platform/key_store.h"
#include "platform/key_store_test_seam.h"

namespace {

QString ShippedStore() { return QStringLiteral(KELVOR_SHIPPED_KEY_STORE); }

}  // namespace

class TestShippedKeyStore : public QObject {
  Q_OBJECT

 private slots:
  void firstLookupNamesHardinfo() {
    QStringList messages;
    kelvor::keystore::KeyStore registry(QFile::encodeName(ShippedStore()).toStdString());
    kelvor::SysInfoLauncher launcher(
        [&messages](const QString& text, int) { messages.append(text); }, registry);
    QString value;
    QVERIFY(launcher.GetKeyValue(kelvor::keystore::kHKeyLocalMachine,
                                 QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                                 QStringLiteral("PATH"), value));
    QCOMPARE(value, QStringLiteral("/usr/bin/hardinfo"));
    QCOMPARE(kelvor::keystore::KeyStoreTestSeam::OpenKeyCount(registry), std::size_t{0});
    QVERIFY(messages.isEmpty());
  }
};

QTEST_GUILESS_MAIN(TestShippedKeyStore)
#include "test_shipped_key_store.moc"
