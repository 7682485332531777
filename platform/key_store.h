#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/key_store_parser.h"

namespace kelvor::keystore {

// Handles of the predefined root keys, with the registry's numbers.
inline constexpr std::uint32_t kHKeyClassesRoot = 0x80000000u;
inline constexpr std::uint32_t kHKeyCurrentUser = 0x80000001u;
inline constexpr std::uint32_t kHKeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kHKeyUsers = 0x80000003u;
inline constexpr std::uint32_t kHKeyCurrentConfig = 0x80000005u;

// Result codes of the key operations, with the registry's numbers: 0 is success, anything else
// a failure.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorMoreData = 234;

// The machine-wide, read-only key store: a registry export file. Offers the three registry
// operations the program relies on, with their result codes, type codes and byte counts. The
// file is read afresh by every key opening, and the opened key keeps what was read.
class KeyStore {
 public:
  // Chosen when the game is built: KELVOR_KEYSTORE_PATH, by default /etc/xdg/Tandrel/registry.reg.
  static constexpr const char* kDefaultPath = KELVOR_KEYSTORE_PATH;

  explicit KeyStore(std::string storePath);

  // Opens subKey below the open key (or root) `key`. Every access mask is accepted: the store
  // has no write operation to refuse. A missing, unreadable or malformed store, or a missing
  // key, is a failure.
  long OpenKeyEx(std::uint32_t key, std::string_view subKey, std::uint32_t options,
                 std::uint32_t samDesired, std::uint32_t* result);

  // Reads a value into data (capacity *dataSize bytes). On success sets *type and *dataSize to
  // the value's type code and byte count. A value longer than the buffer fails with
  // kErrorMoreData, *dataSize then holding the length needed.
  long QueryValueEx(std::uint32_t key, std::string_view valueName, std::uint32_t* type,
                    unsigned char* data, std::uint32_t* dataSize);

  long CloseKey(std::uint32_t key);

  // Keys opened and not yet closed; a reader must leave this at zero on every way out.
  std::size_t OpenKeyCount() const { return m_open.size(); }

  // Reads the store file: only a regular file, never more than kMaxStoreBytes + 1 bytes, and
  // without blocking on a FIFO or device. nullptr when there is no usable store.
  static std::shared_ptr<const KeyStoreData> Load(const std::string& path);

 private:
  struct OpenKey {
    std::shared_ptr<const KeyStoreData> data;
    std::string path;
  };

  // What a handle stands for: an open key, or a root key read from the store now.
  std::optional<OpenKey> Resolve(std::uint32_t key) const;

  std::string m_storePath;
  std::map<std::uint32_t, OpenKey> m_open;
  std::uint32_t m_nextHandle = 0x100;
};

}  // namespace kelvor::keystore
