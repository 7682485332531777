#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvor::keystore {

// Registry value type codes, as the export format and the readers number them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// A store bigger than this is not a key store but a mistake; it is refused whole, which also
// bounds everything the parser allocates.
inline constexpr std::size_t kMaxStoreBytes = 1024 * 1024;

// One value as the 8-bit reader hands it out: its type code and its bytes.
struct StoredValue {
  std::uint32_t type = kRegNone;
  std::string data;
};

// The keys and values of a parsed store. Key paths start with their root key's name
// ("HKEY_LOCAL_MACHINE\SOFTWARE\..."); key and value names compare without regard to ASCII case,
// as the registry's do.
class KeyStoreData {
 public:
  // True when the key was declared, or when a declared key lies below it (importing a key
  // creates every key on its path).
  bool HasKey(std::string_view keyPath) const;
  // The value, or nullptr. The empty name is the key's default value ("@").
  const StoredValue* Find(std::string_view keyPath, std::string_view valueName) const;

  // The values of one key: upper-cased value name -> value.
  using KeyValues = std::map<std::string, StoredValue>;

  // Declares the key and hands out its values, valid until the key is deleted. A key header
  // is followed by any number of value lines, and its path may be half the store long: the
  // values are filed through this handle so that the path is looked up once per header, not
  // once per line.
  KeyValues& DeclareKey(std::string_view keyPath);
  static void SetValue(KeyValues& values, std::string_view valueName, StoredValue value);
  static void DeleteValue(KeyValues& values, std::string_view valueName);
  // Removes the key with everything below it.
  void DeleteKey(std::string_view keyPath);

  std::size_t KeyCount() const { return m_keys.size(); }

 private:
  // Upper-cased key path -> its values.
  std::map<std::string, KeyValues> m_keys;
};

// Normalises a key path for lookups: upper-cases ASCII letters and checks its shape (non-empty
// components separated by single backslashes, a known root first). Returns nullopt for a path
// that cannot name a key.
std::optional<std::string> NormaliseKeyPath(std::string_view keyPath);

// Parses the text of a registry export file: "REGEDIT4" or "Windows Registry Editor Version 5.00"
// as first line, in UTF-8 (with or without byte-order mark) or UTF-16LE with its byte-order mark.
// A missing header, a broken encoding or an oversized buffer make the whole store unusable
// (nullopt). A malformed line is skipped on its own; a malformed key header hides the values
// that follow it up to the next good header, so no value is ever filed under a wrong key.
// Works on any bytes: never reads outside the buffer, never loops without consuming input,
// and allocates no more than a fixed multiple of the buffer's size (one map entry per line).
// Time grows with the buffer's size alone: a line costs a few passes over its own bytes and one
// map lookup, whatever the length of the key path it is filed under.
std::optional<KeyStoreData> ParseKeyStore(std::string_view bytes);

}  // namespace kelvor::keystore
