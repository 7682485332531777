// Fuzzes the machine's key store reader: the export-file parser, and the three registry
// operations on top of it used the way the system-information lookups use them. Besides the
// sanitizers' own findings, every input checks that the file reader and the parser agree, that a
// read never reports more bytes than it may, and that every opened key can be closed again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/key_store.h"
#include "platform/key_store_parser.h"
#include "platform/key_store_test_seam.h"

namespace {

// The access the lookups ask for; the store accepts any.
constexpr std::uint32_t kKeyAllAccess = 0x2003F;
// The launcher's data buffer.
constexpr std::uint32_t kLauncherBuffer = 1024;

// libFuzzer keeps the input that reaches an abort as a crash, with this line beside it.
[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "keystore_fuzzer: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

void Expect(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// The store file, kept in memory and opened by the reader through its path like any other
// file. One file serves every input; each input replaces its content.
class StoreFile {
 public:
  StoreFile() : m_fd(memfd_create("keystore", MFD_CLOEXEC)) {
    Expect(m_fd >= 0, "cannot create the in-memory store file");
    m_path = "/proc/self/fd/" + std::to_string(m_fd);
  }

  void Write(std::string_view bytes) {
    Expect(ftruncate(m_fd, 0) == 0, "cannot empty the store file");
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t wrote =
          pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      Expect(wrote > 0, "cannot write the store file");
      done += static_cast<std::size_t>(wrote);
    }
  }

  const std::string& Path() const { return m_path; }

 private:
  int m_fd;
  std::string m_path;
};

struct Root {
  std::uint32_t handle;
  const char* name;
};

constexpr Root kRoots[] = {
    {kelvor::kHKeyLocalMachine, "HKEY_LOCAL_MACHINE"},
    {kelvor::kHKeyCurrentUser, "HKEY_CURRENT_USER"},
    {kelvor::kHKeyClassesRoot, "HKEY_CLASSES_ROOT"},
    {kelvor::kHKeyUsers, "HKEY_USERS"},
    {kelvor::kHKeyCurrentConfig, "HKEY_CURRENT_CONFIG"},
};

// The first key header's path below its root ("[HKEY_...\A\B]" gives "A\B"), so that lookups
// reach keys the input itself declares, whatever their names.
std::string_view DeclaredSubKey(std::string_view text) {
  const std::size_t open = text.find('[');
  if (open == std::string_view::npos) return {};
  const std::size_t end = text.find_first_of("]\r\n", open);
  const std::string_view header = text.substr(
      open + 1, end == std::string_view::npos ? std::string_view::npos : end - open - 1);
  const std::size_t separator = header.find('\\');
  return separator == std::string_view::npos ? std::string_view() : header.substr(separator + 1);
}

// The first quoted name of the input, as a value name to look up.
std::string_view QuotedName(std::string_view text) {
  const std::size_t open = text.find('"');
  if (open == std::string_view::npos) return {};
  const std::size_t close = text.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return text.substr(open + 1, close - open - 1);
}

class Reader {
 public:
  Reader(kelvor::KeyStore& store, const kelvor::KeyStoreData* parsed)
      : m_store(store), m_parsed(parsed) {}

  // Opens subKey below root, reads valueName into a buffer of exactly bufferSize bytes and closes
  // the key, comparing every answer with what the parser made of the same bytes. With stepwise,
  // the key is also opened one component at a time.
  void Lookup(const Root& root, std::string_view subKey, std::string_view valueName,
              std::uint32_t bufferSize, bool stepwise) {
    std::string path = root.name;
    if (!subKey.empty()) {
      path += '\\';
      path += subKey;
    }
    const std::optional<std::string> normalised = kelvor::NormaliseKeyPath(path);
    const bool exists = m_parsed != nullptr && normalised && m_parsed->HasKey(*normalised);

    std::uint32_t key = 0xDEADBEEF;
    const long opened = m_store.OpenKeyEx(root.handle, subKey, 0, kKeyAllAccess, &key);
    Expect((opened == kelvor::kErrorSuccess) == exists, "opening disagrees with the parsed store");
    if (opened != kelvor::kErrorSuccess) {
      Expect(key == 0, "a failed opening handed out a handle");
      return;
    }
    if (stepwise) OpenStepwise(root, subKey);

    // Exactly the capacity announced, on the heap: a write past it is an address error.
    std::vector<unsigned char> buffer(bufferSize);
    std::uint32_t size = bufferSize;
    std::uint32_t type = 0xFFFFFFFF;
    const long read = m_store.QueryValueEx(key, valueName, &type, buffer.data(), &size);
    const kelvor::StoredValue* value = m_parsed->Find(*normalised, valueName);
    if (value == nullptr) {
      Expect(read == kelvor::kErrorFileNotFound, "a missing value was read");
    } else if (value->data.size() > bufferSize) {
      Expect(read == kelvor::kErrorMoreData, "an oversized value was not refused");
      Expect(size == value->data.size(), "an oversized value reported a wrong length");
    } else {
      Expect(read == kelvor::kErrorSuccess, "a value that fits was not read");
      Expect(size == value->data.size(), "a read reported a wrong length");
      Expect(type == value->type, "a read reported a wrong type");
      Expect(size == 0 || std::memcmp(buffer.data(), value->data.data(), size) == 0,
             "a read returned other bytes than were parsed");
    }

    Expect(m_store.CloseKey(key) == kelvor::kErrorSuccess, "an open key could not be closed");
    Expect(m_store.CloseKey(key) == kelvor::kErrorInvalidHandle, "a key was closed twice");
    std::uint32_t unused = 0;
    Expect(m_store.QueryValueEx(key, valueName, nullptr, nullptr, &unused) ==
               kelvor::kErrorInvalidHandle,
           "a closed key could still be read");
  }

 private:
  // Opening the first component and then the rest below it reaches the same key as opening
  // the whole path at once.
  void OpenStepwise(const Root& root, std::string_view subKey) {
    const std::size_t separator = subKey.find('\\');
    if (separator == std::string_view::npos) return;
    std::uint32_t parent = 0;
    if (m_store.OpenKeyEx(root.handle, subKey.substr(0, separator), 0, kKeyAllAccess, &parent) !=
        kelvor::kErrorSuccess) {
      Fail("a key opened whole, but not its first component");
    }
    std::uint32_t child = 0;
    const long opened =
        m_store.OpenKeyEx(parent, subKey.substr(separator + 1), 0, kKeyAllAccess, &child);
    Expect(opened == kelvor::kErrorSuccess, "a key opened whole, but not step by step");
    Expect(m_store.CloseKey(child) == kelvor::kErrorSuccess, "a child key could not be closed");
    Expect(m_store.CloseKey(parent) == kelvor::kErrorSuccess, "a parent key could not be closed");
  }

  kelvor::KeyStore& m_store;
  const kelvor::KeyStoreData* m_parsed;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static StoreFile file;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::optional<kelvor::KeyStoreData> parsed = kelvor::ParseKeyStore(bytes);
  const std::optional<kelvor::KeyStoreData> again = kelvor::ParseKeyStore(bytes);
  Expect(parsed.has_value() == again.has_value(), "parsing the same bytes twice disagreed");
  if (parsed) {
    Expect(
        kelvor::KeyStoreTestSeam::KeyCount(*parsed) == kelvor::KeyStoreTestSeam::KeyCount(*again),
        "parsing the same bytes twice disagreed");
    // Every key costs at least a header line of its own.
    Expect(kelvor::KeyStoreTestSeam::KeyCount(*parsed) <= size,
           "more keys than the input could declare");
  }

  file.Write(bytes);
  kelvor::KeyStore store(file.Path());
  Reader reader(store, parsed ? &*parsed : nullptr);

  // The system-information lookups, with the launcher's buffer or with one the input chooses,
  // small enough to meet values that do not fit. Every root-key opening reads and parses the
  // whole file again, so each input gets few of them.
  const std::uint32_t capacity =
      (size % 2 == 0) ? kLauncherBuffer : static_cast<std::uint32_t>(size % 97);
  const Root& machine = kRoots[0];
  reader.Lookup(machine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", capacity, false);
  reader.Lookup(machine, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", capacity, false);

  // A key and a value named by the input itself, below a root it chooses, also reached one
  // component at a time.
  const Root& root = kRoots[size == 0 ? 0 : data[0] % std::size(kRoots)];
  reader.Lookup(root, DeclaredSubKey(bytes), QuotedName(bytes), capacity, true);

  Expect(kelvor::KeyStoreTestSeam::OpenKeyCount(store) == 0, "a key was left open");

  // Any bytes as a key path: either refused, or the same path in upper case.
  const std::string_view candidate = bytes.substr(0, 300);
  if (const std::optional<std::string> normalised = kelvor::NormaliseKeyPath(candidate)) {
    Expect(normalised->size() == candidate.size(), "normalising changed a path's length");
  }
  return 0;
}
