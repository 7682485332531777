// The key store file format: what is read, what is refused, and that a broken line never
// lends its value, or its neighbour's, to a wrong name.
#include <QtTest>
#include <random>
#include <string>

#include "platform/key_store_parser.h"
#include "platform/key_store_test_seam.h"

using kelvor::KeyStoreData;
using kelvor::KeyStoreTestSeam;
using namespace std::string_literals;
using kelvor::ParseKeyStore;

namespace {

const std::string kInfoKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

std::string Regedit4(const std::string& body) { return "REGEDIT4\r\n\r\n" + body; }

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

std::string Utf16Le(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

}  // namespace

Q_DECLARE_METATYPE(std::string)

class TestKeyStoreParser : public QObject {
  Q_OBJECT

 private slots:
  void headerDecidesWhetherTheStoreIsUsable_data() {
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<bool>("usable");
    const std::string body = "[" + kInfoKey + "]\n\"PATH\"=\"/bin/true\"\n";
    QTest::newRow("regedit4") << ("REGEDIT4\n" + body) << true;
    QTest::newRow("version 5") << ("Windows Registry Editor Version 5.00\r\n" + body) << true;
    QTest::newRow("utf-8 byte-order mark") << ("\xEF\xBB\xBFREGEDIT4\n" + body) << true;
    QTest::newRow("utf-16 with byte-order mark")
        << ("\xFF\xFE" + Utf16Le("Windows Registry Editor Version 5.00\r\n" + body)) << true;
    QTest::newRow("header with trailing blanks") << ("REGEDIT4  \n" + body) << true;
    QTest::newRow("no header") << body << false;
    QTest::newRow("blank line before header") << ("\nREGEDIT4\n" + body) << false;
    QTest::newRow("other header") << ("REGEDIT5\n" + body) << false;
    QTest::newRow("empty") << std::string() << false;
    QTest::newRow("utf-16 of odd length") << ("\xFF\xFE" + Utf16Le("REGEDIT4\n") + "x") << false;
    QTest::newRow("utf-16 lone surrogate")
        << ("\xFF\xFE" + Utf16Le("REGEDIT4\n") + Bytes({0x00, 0xDC})) << false;
    QTest::newRow("over the size limit")
        << ("REGEDIT4\n;" + std::string(kelvor::kMaxStoreBytes, 'x')) << false;
  }
  void headerDecidesWhetherTheStoreIsUsable() {
    QFETCH(std::string, bytes);
    QFETCH(bool, usable);
    const std::optional<KeyStoreData> store = ParseKeyStore(bytes);
    QCOMPARE(store.has_value(), usable);
    if (usable) {
      const auto* value = store->Find(kInfoKey, "PATH");
      QVERIFY(value != nullptr);
      QCOMPARE(value->data, std::string("/bin/true", 10));
    }
  }

  void valuesAreStoredWithTheirTypeAndBytes_data() {
    QTest::addColumn<std::string>("header");
    QTest::addColumn<std::string>("line");
    QTest::addColumn<uint>("type");
    QTest::addColumn<std::string>("data");
    const std::string v4 = "REGEDIT4";
    const std::string v5 = "Windows Registry Editor Version 5.00";
    QTest::newRow("string keeps its terminator")
        << v4 << "\"V\"=\"/usr/bin/x\""s << 1u << std::string("/usr/bin/x\0", 11);
    QTest::newRow("string escapes")
        << v4 << "\"V\"=\"a\\\\b\\\"c\""s << 1u << std::string("a\\b\"c\0", 6);
    QTest::newRow("empty string is one zero byte") << v4 << "\"V\"=\"\""s << 1u << Bytes({0});
    QTest::newRow("dword little-endian")
        << v4 << "\"V\"=dword:12345678"s << 4u << Bytes({0x78, 0x56, 0x34, 0x12});
    QTest::newRow("dword with few digits") << v4 << "\"V\"=dword:f"s << 4u << Bytes({15, 0, 0, 0});
    QTest::newRow("binary") << v4 << "\"V\"=hex:de,AD,0"s << 3u << Bytes({0xDE, 0xAD, 0});
    QTest::newRow("string without terminator")
        << v4 << "\"V\"=hex(1):2f,62"s << 1u << std::string("/b");
    QTest::newRow("no data at all") << v4 << "\"V\"=hex(1):"s << 1u << std::string();
    QTest::newRow("type in hex") << v4 << "\"V\"=hex(b):01,00,00,00,00,00,00,00"s << 11u
                                 << Bytes({1, 0, 0, 0, 0, 0, 0, 0});
    QTest::newRow("blanks around the equals sign")
        << v4 << "\"V\" = dword:1"s << 4u << Bytes({1, 0, 0, 0});
    QTest::newRow("continued over lines")
        << v4 << "\"V\"=hex:01,02,\\\r\n  03,04,\\\n  05"s << 3u << Bytes({1, 2, 3, 4, 5});
    QTest::newRow("version 5 string data is utf-16")
        << v5 << "\"V\"=hex(1):2f,00,62,00"s << 1u << std::string("/b");
    QTest::newRow("version 5 binary stays as it is")
        << v5 << "\"V\"=hex:2f,00,62,00"s << 3u << Bytes({0x2F, 0, 0x62, 0});
    QTest::newRow("version 5 non-ascii string")
        << v5 << "\"V\"=hex(1):e9,00,00,00"s << 1u << std::string("\xC3\xA9\0", 3);
  }
  void valuesAreStoredWithTheirTypeAndBytes() {
    QFETCH(std::string, header);
    QFETCH(std::string, line);
    QFETCH(uint, type);
    QFETCH(std::string, data);
    const auto store = ParseKeyStore(header + "\n[" + kInfoKey + "]\n" + line + "\n");
    QVERIFY(store);
    const auto* value = store->Find(kInfoKey, "V");
    QVERIFY(value != nullptr);
    QCOMPARE(value->type, type);
    QCOMPARE(value->data, data);
  }

  // Each row holds a store and one lookup; a malformed neighbour must neither leak its data
  // into the looked-up name nor hide a good line of its own.
  void malformedLinesStayOnTheirOwn_data() {
    QTest::addColumn<std::string>("body");
    QTest::addColumn<std::string>("key");
    QTest::addColumn<std::string>("name");
    QTest::addColumn<std::string>("expected");  // "-" for not found
    const std::string k = "[" + kInfoKey + "]\n";
    QTest::newRow("unterminated quote does not swallow the next line")
        << k + "\"PATH=\"/evil\n\"PATH\"=\"/good\"\n"
        << kInfoKey << "PATH"s << std::string("/good\0", 6);
    QTest::newRow("broken value is not found") << k + "\"PATH\"=\"/evil\n"
                                               << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("unknown escape") << k + "\"PATH\"=\"a\\nb\"" + "\n"
                                    << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("text after the string") << k + "\"PATH\"=\"/a\" x\n"
                                           << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("bad key header hides the values under it")
        << k + "[HKEY_LOCAL_MACHINE\\\\Other]\n\"PATH\"=\"/evil\"\n"
        << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("unclosed key header hides the values under it")
        << k + "[HKEY_LOCAL_MACHINE\\Other\n\"PATH\"=\"/evil\"\n"
        << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("unknown root hides the values under it")
        << k + "[HKEY_NOWHERE\\X]\n\"PATH\"=\"/evil\"\n"
        << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("value before any key header")
        << "\"PATH\"=\"/evil\"\n" + k << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("continuation never takes a value line")
        << k + "\"X\"=hex:01,\\\n\"PATH\"=\"/good\"\n"
        << kInfoKey << "PATH"s << std::string("/good\0", 6);
    QTest::newRow("value whose continuation was refused is dropped")
        << k + "\"X\"=hex:01,\\\n\"PATH\"=\"/good\"\n"
        << kInfoKey << "X"s << std::string("-");
    QTest::newRow("continuation at the end of the file")
        << k + "\"X\"=hex:01,\\" << kInfoKey << "X"s << std::string("-");
    QTest::newRow("nine-digit dword") << k + "\"X\"=dword:123456789\n"
                                      << kInfoKey << "X"s << std::string("-");
    QTest::newRow("three-digit byte") << k + "\"X\"=hex:123\n"
                                      << kInfoKey << "X"s << std::string("-");
    QTest::newRow("empty byte between commas") << k + "\"X\"=hex:01,,02\n"
                                               << kInfoKey << "X"s << std::string("-");
    QTest::newRow("garbage line between values")
        << k + "\"A\"=\"1\"\nthis is not a value\n\"PATH\"=\"/good\"\n"
        << kInfoKey << "PATH"s << std::string("/good\0", 6);
    QTest::newRow("comment line") << k + ";\"PATH\"=\"/evil\"\n"
                                  << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("later line wins") << k + "\"PATH\"=\"/a\"\n\"PATH\"=\"/b\"\n"
                                     << kInfoKey << "PATH"s << std::string("/b\0", 3);
    QTest::newRow("deleted value") << k + "\"PATH\"=\"/a\"\n\"PATH\"=-\n"
                                   << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("deleted key") << k + "\"PATH\"=\"/a\"\n[-" + kInfoKey + "]\n"
                                 << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("deleted parent key")
        << k + "\"PATH\"=\"/a\"\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft]\n"
        << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("values after a deletion header are ignored")
        << "[-" + kInfoKey + "]\n\"PATH\"=\"/a\"\n"
        << kInfoKey << "PATH"s << std::string("-");
    QTest::newRow("names ignore case")
        << "[hkey_local_machine\\software\\microsoft\\shared tools\\msinfo]\n\"path\"=\"/a\"\n"s
        << kInfoKey << "PATH"s << std::string("/a\0", 3);
    QTest::newRow("default value") << k + "@=\"/d\"\n" << kInfoKey << ""s << std::string("/d\0", 3);

    // A third of the store is one key path, and every value line under it must still be filed
    // under that key and its own name.
    std::string longKey = "HKEY_LOCAL_MACHINE\\Software";
    while (longKey.size() < kelvor::kMaxStoreBytes / 3) longKey += "\\Deep";
    std::string manyValues = "[" + longKey + "]\n";
    for (int i = 0; i < 15000; ++i) {
      manyValues += "\"V" + std::to_string(i) + "\"=\"" + std::to_string(i * 7) + "\"\n";
    }
    QTest::newRow("thousands of values under a long key path")
        << manyValues << longKey << "v12345"s << std::string("86415\0", 6);
    QTest::newRow("value deleted under a long key path") << manyValues + "\"V777\"=-\n"
                                                         << longKey << "V777"s << std::string("-");
    QTest::newRow("long key path declared again keeps its values")
        << manyValues + k + "\"V5\"=\"other\"\n[" + longKey + "]\n\"W\"=\"1\"\n"
        << longKey << "V5"s << std::string("35\0", 3);
    QTest::newRow("values after a long key path go to the next key")
        << manyValues + k + "\"V5\"=\"info\"\n"
        << kInfoKey << "V5"s << std::string("info\0", 5);
    QTest::newRow("long key path deleted with its values")
        << manyValues + "[-HKEY_LOCAL_MACHINE\\Software\\Deep]\n"
        << longKey << "V5"s << std::string("-");
  }
  void malformedLinesStayOnTheirOwn() {
    QFETCH(std::string, body);
    QFETCH(std::string, key);
    QFETCH(std::string, name);
    QFETCH(std::string, expected);
    const auto store = ParseKeyStore(Regedit4(body));
    QVERIFY(store);
    const auto* value = store->Find(key, name);
    if (expected == "-") {
      QVERIFY2(value == nullptr, value ? value->data.c_str() : "");
    } else {
      QVERIFY(value != nullptr);
      QCOMPARE(value->data, expected);
    }
  }

  void keysOnTheWayToADeclaredKeyExist() {
    const auto store = ParseKeyStore(Regedit4("[" + kInfoKey + "]\n"));
    QVERIFY(store);
    QVERIFY(store->HasKey(kInfoKey));
    QVERIFY(store->HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft"));
    QVERIFY(store->HasKey("HKEY_LOCAL_MACHINE"));
    QVERIFY(!store->HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Micro"));
    QVERIFY(!store->HasKey(kInfoKey + "\\Deeper"));
  }

  // A cheap stand-in for the fuzzer: thousands of seeded mutations of a realistic store must
  // parse (or be refused) without any fault the sanitizers would see.
  void mutatedStoresNeverFault() {
    const std::string seed = Regedit4("[" + kInfoKey +
                                      "]\n\"PATH\"=\"/usr/bin/hardinfo\"\n\"N\"=dword:00000001\n"
                                      "\"B\"=hex(2):41,00,42,00,\\\n  43,00,00,00\n@=\"x\"\n"
                                      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n");
    const std::string alphabet = "[]\\\"=@:,;-()\r\n hexdword0123456789abcdefABCDEF\xFF\xFE";
    std::mt19937 random(20260);
    int usable = 0;
    for (int round = 0; round < 5000; ++round) {
      std::string text = seed;
      const int edits = 1 + static_cast<int>(random() % 8);
      for (int e = 0; e < edits; ++e) {
        const std::size_t at = random() % (text.size() + 1);
        switch (random() % 3) {
          case 0:
            text.insert(at, 1, alphabet[random() % alphabet.size()]);
            break;
          case 1:
            if (at < text.size()) text.erase(at, 1 + random() % 4);
            break;
          default:
            if (at < text.size()) text[at] = static_cast<char>(random() % 256);
            break;
        }
      }
      const auto store = ParseKeyStore(text);
      if (store) {
        ++usable;
        QVERIFY(KeyStoreTestSeam::KeyCount(*store) <= text.size());
      }
    }
    // Most mutations leave the header alone, so most stores stay usable.
    QVERIFY(usable > 2500);
  }
};

QTEST_GUILESS_MAIN(TestKeyStoreParser)
#include "test_key_store_parser.moc"
