#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvor {

// Registry value type codes, numbered as the export format numbers them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// A bigger store is a mistake and refused whole, which also bounds what the parser allocates.
inline constexpr std::size_t kMaxStoreBytes = 1024 * 1024;

// As the 8-bit reader hands it out.
struct StoredValue {
  std::uint32_t type = kRegNone;
  std::string data;
};

// Key paths start with their root key's name ("HKEY_LOCAL_MACHINE\SOFTWARE\..."); names compare
// without regard to ASCII case, as the registry's do.
class KeyStoreData {
 public:
  // Also true above a declared key: importing a key creates every key on its path.
  bool HasKey(std::string_view keyPath) const;
  // Null when missing. The empty name is the key's default value ("@").
  const StoredValue* Find(std::string_view keyPath, std::string_view valueName) const;

  // Upper-cased value name -> value.
  using KeyValues = std::map<std::string, StoredValue>;

  // Valid until the key is deleted. A path may be half the store long, so value lines are filed
  // through this handle: one lookup per header, not per line.
  KeyValues& DeclareKey(std::string_view keyPath);
  static void SetValue(KeyValues& values, std::string_view valueName, StoredValue value);
  static void DeleteValue(KeyValues& values, std::string_view valueName);
  // Removes the key with everything below it.
  void DeleteKey(std::string_view keyPath);

 private:
  // Counts the keys, which no caller can see: platform/key_store_test_seam.h.
  friend class KeyStoreTestSeam;

  // Upper-cased key path -> its values.
  std::map<std::string, KeyValues> m_keys;
};

// The lookup form: ASCII upper-cased. Nullopt unless a known root comes first and non-empty
// components are separated by single backslashes.
std::optional<std::string> NormaliseKeyPath(std::string_view keyPath);

// A registry export file ("REGEDIT4" or "Windows Registry Editor Version 5.00") in UTF-8 (BOM
// optional) or UTF-16LE with its BOM; nullopt without header, broken or oversized. A bad
// line is skipped; a bad key header hides the values up to the next good one, so none is filed
// under a wrong key. Safe on any bytes; memory and time grow linearly with the buffer.
std::optional<KeyStoreData> ParseKeyStore(std::string_view bytes);

}  // namespace kelvor
