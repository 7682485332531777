#include "platform/key_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace kelvor {

namespace {

const char* RootName(std::uint32_t key) {
  switch (key) {
    case kHKeyClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case kHKeyCurrentUser:
      return "HKEY_CURRENT_USER";
    case kHKeyLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case kHKeyUsers:
      return "HKEY_USERS";
    case kHKeyCurrentConfig:
      return "HKEY_CURRENT_CONFIG";
    default:
      return nullptr;
  }
}

}  // namespace

KeyStore::KeyStore(std::string storePath) : m_storePath(std::move(storePath)) {}

std::shared_ptr<const KeyStoreData> KeyStore::Load(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  std::string bytes;
  bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (usable) {
    // Sized by what the file says it holds, but read to its real end: a store that grows
    // while it is read is still cut off one byte past the limit, which tells an oversized store
    // from one of exactly the limit.
    const std::size_t limit = kMaxStoreBytes + 1;
    bytes.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)),
                                       kMaxStoreBytes) +
                 1);
    std::size_t filled = 0;
    while (filled < limit) {
      if (filled == bytes.size()) bytes.resize(std::min(limit, 2 * bytes.size()));
      const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        usable = false;
        break;
      }
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
  }
  ::close(fd);
  if (!usable) return nullptr;
  std::optional<KeyStoreData> parsed = ParseKeyStore(bytes);
  if (!parsed) return nullptr;
  return std::make_shared<const KeyStoreData>(std::move(*parsed));
}

std::optional<KeyStore::OpenKey> KeyStore::KeyOfHandle(std::uint32_t key) const {
  if (const char* root = RootName(key)) {
    std::shared_ptr<const KeyStoreData> data = Load(m_storePath);
    if (!data) return std::nullopt;
    return OpenKey{std::move(data), root};
  }
  const auto it = m_open.find(key);
  if (it == m_open.end()) return std::nullopt;
  return it->second;
}

long KeyStore::OpenKeyEx(std::uint32_t key, std::string_view subKey, std::uint32_t /*options*/,
                         std::uint32_t /*samDesired*/, std::uint32_t* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = 0;
  if (RootName(key) == nullptr && m_open.count(key) == 0) return kErrorInvalidHandle;
  std::optional<OpenKey> parent = KeyOfHandle(key);
  if (!parent) return kErrorFileNotFound;

  std::string path = parent->path;
  if (!subKey.empty()) {
    path += '\\';
    path += subKey;
  }
  const std::optional<std::string> normalised = NormaliseKeyPath(path);
  if (!normalised || !parent->data->HasKey(*normalised)) return kErrorFileNotFound;

  const std::uint32_t handle = m_nextHandle++;
  m_open[handle] = OpenKey{std::move(parent->data), *normalised};
  *result = handle;
  return kErrorSuccess;
}

long KeyStore::QueryValueEx(std::uint32_t key, std::string_view valueName, std::uint32_t* type,
                            unsigned char* data, std::uint32_t* dataSize) {
  if (dataSize == nullptr || (data == nullptr && *dataSize != 0)) return kErrorInvalidParameter;
  if (RootName(key) == nullptr && m_open.count(key) == 0) return kErrorInvalidHandle;
  const std::optional<OpenKey> open = KeyOfHandle(key);
  if (!open) return kErrorFileNotFound;
  const StoredValue* value = open->data->Find(open->path, valueName);
  if (value == nullptr) return kErrorFileNotFound;

  const std::size_t needed = value->data.size();
  if (needed > *dataSize) {
    *dataSize = static_cast<std::uint32_t>(needed);
    return kErrorMoreData;
  }
  if (needed != 0) std::memcpy(data, value->data.data(), needed);
  *dataSize = static_cast<std::uint32_t>(needed);
  if (type != nullptr) *type = value->type;
  return kErrorSuccess;
}

long KeyStore::CloseKey(std::uint32_t key) {
  if (RootName(key) != nullptr) return kErrorSuccess;
  return m_open.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace kelvor
