#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/key_store_parser.h"

namespace kelvor {

// Handles of the predefined root keys, with the registry's numbers.
inline constexpr std::uint32_t kHKeyClassesRoot = 0x80000000u;
inline constexpr std::uint32_t kHKeyCurrentUser = 0x80000001u;
inline constexpr std::uint32_t kHKeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kHKeyUsers = 0x80000003u;
inline constexpr std::uint32_t kHKeyCurrentConfig = 0x80000005u;

// Result codes of the key operations, with the registry's numbers.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorMoreData = 234;

// The machine-wide, read-only key store, a registry export file, behind the three registry
// operations the program uses. Every use of a root key reads the file afresh; an opened key
// keeps what was read.
class KeyStore {
 public:
  // Chosen at build time (by default /etc/xdg/Tandrel/registry.reg).
  static constexpr const char* kDefaultPath = KELVOR_KEYSTORE_PATH;

  explicit KeyStore(std::string storePath);

  // Accepts every access mask: the store has no write operation to refuse. A missing,
  // unreadable or malformed store fails like a missing key.
  long OpenKeyEx(std::uint32_t key, std::string_view subKey, std::uint32_t options,
                 std::uint32_t samDesired, std::uint32_t* result);

  // `data` holds *dataSize bytes. A longer value fails with kErrorMoreData and *dataSize set to
  // the length needed.
  long QueryValueEx(std::uint32_t key, std::string_view valueName, std::uint32_t* type,
                    unsigned char* data, std::uint32_t* dataSize);

  long CloseKey(std::uint32_t key);

  // Only a regular file, at most kMaxStoreBytes + 1 bytes read, never blocking on a FIFO or
  // device. Null when there is no usable store.
  static std::shared_ptr<const KeyStoreData> Load(const std::string& path);

 private:
  // Counts the open keys, which no caller can see: platform/key_store_test_seam.h.
  friend class KeyStoreTestSeam;

  struct OpenKey {
    std::shared_ptr<const KeyStoreData> data;
    std::string path;
  };

  // An open key, or a root key read from the store now.
  std::optional<OpenKey> KeyOfHandle(std::uint32_t key) const;

  std::string m_storePath;
  std::map<std::uint32_t, OpenKey> m_open;
  std::uint32_t m_nextHandle = 0x100;
};

}  // namespace kelvor
