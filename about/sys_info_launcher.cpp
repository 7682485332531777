#include "about/sys_info_launcher.h"

#include <QByteArray>
#include <array>
#include <utility>

#include "errors/runtime_error.h"
#include "platform/child_process.h"
#include "platform/file_system.h"
#include "shared/message_box.h"

namespace kelvor {

namespace {

// Read control plus the six key rights: the access the lookups have always asked for.
constexpr std::uint32_t kKeyAllAccess = 0x2003F;
constexpr std::uint32_t kDataBufferSize = 1024;

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");
constexpr char kProgramName[] = "/MSINFO32.EXE";

// Closes the opened key whichever way the reader leaves, errors included.
class KeyCloser {
 public:
  KeyCloser(KeyStore& store, const std::uint32_t& key) : m_store(store), m_key(key) {}
  ~KeyCloser() {
    if (m_key != 0) m_store.CloseKey(m_key);
  }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  KeyStore& m_store;
  const std::uint32_t& m_key;
};

// A full path is taken as it is, and a bare program name is looked for in the absolute folders
// of PATH; a path relative to the working folder ("si/sysinfo", "./sysinfo") names no program, as
// the working folder is wherever the game happened to be started. Empty when there is none.
QByteArray ResolveProgram(const QByteArray& path) {
  if (path.startsWith('/')) return path;
  if (path.contains('/')) return {};
  return QByteArray::fromStdString(child_process::FindInAbsolutePath(path.toStdString()));
}

}  // namespace

SysInfoLauncher::SysInfoLauncher(ShowMessageFunction showMessage, KeyStore& registry)
    : m_showMessage(std::move(showMessage)), m_registry(registry) {}

bool SysInfoLauncher::GetKeyValue(std::uint32_t KeyRoot, const QString& KeyName,
                                  const QString& SubKeyRef, QString& KeyVal) {
  std::uint32_t hKey = 0;
  const KeyCloser closer(m_registry, hKey);

  const QByteArray keyName = KeyName.toLocal8Bit();
  if (m_registry.OpenKeyEx(KeyRoot, keyName.toStdString(), 0, kKeyAllAccess, &hKey) !=
      kErrorSuccess) {
    KeyVal.clear();
    return false;
  }

  std::array<unsigned char, kDataBufferSize> buffer{};
  std::uint32_t dataSize = kDataBufferSize;
  std::uint32_t type = 0;
  const QByteArray valueName = SubKeyRef.toLocal8Bit();
  if (m_registry.QueryValueEx(hKey, valueName.toStdString(), &type, buffer.data(), &dataSize) !=
      kErrorSuccess) {
    KeyVal.clear();
    return false;
  }

  // Looking at the last byte of nothing is an invalid call, not a missing value.
  if (dataSize == 0) {
    errors::RaiseInvalidCall();
  }
  QByteArray text(reinterpret_cast<const char*>(buffer.data()), static_cast<int>(dataSize));
  // Drops a string's terminator, and just as well the high zero byte of a number.
  if (text.back() == '\0') text.chop(1);

  switch (type) {
    case kRegSz:
      KeyVal = QString::fromLatin1(text);
      break;
    case kRegDword: {
      QString hex = QStringLiteral("&h");
      for (qsizetype i = text.size() - 1; i >= 0; --i) {
        hex += QString::number(static_cast<unsigned char>(text[i]), 16)
                   .rightJustified(2, QLatin1Char('0'))
                   .toUpper();
      }
      KeyVal = hex;
      break;
    }
    default:
      break;  // another type has no text
  }
  return true;
}

void SysInfoLauncher::StartProgram(const QByteArray& path) {
  // A NUL would cut the path short and start some other program than the one named.
  if (path.isEmpty() || path.contains('\0')) {
    errors::RaiseFileNotFound();
  }
  const QByteArray program = ResolveProgram(path);
  if (program.isEmpty() || !child_process::StartDetached({program.toStdString()})) {
    errors::RaiseFileNotFound();
  }
}

void SysInfoLauncher::StartSysInfo() {
  // True when the program was started; false for every way of not finding it.
  const auto launch = [this]() -> bool {
    // Empty at the start of each launch: a value of another type leaves it so.
    QString path;
    if (!GetKeyValue(kHKeyLocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                     QStringLiteral("PATH"), path)) {
      if (!GetKeyValue(kHKeyLocalMachine,
                       QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                       QStringLiteral("MSINFO"), path)) {
        return false;
      }
      // Only the folder is known here, so the program must be seen on the disk first. A folder
      // relative to the working folder names none; an empty one leaves the program's name
      // alone, which is a path in the root folder.
      const QByteArray folder = path.toLatin1();
      if (!folder.isEmpty() && !folder.startsWith('/')) return false;
      const QByteArray program = folder + kProgramName;
      if (!IsNormalFile(program.toStdString())) return false;
      path = QString::fromLatin1(program);
    }
    StartProgram(path.toLatin1());
    return true;
  };

  bool started = false;
  try {
    started = launch();
  } catch (...) {
    // Whatever went wrong, the user learns only that the tool is unavailable.
  }
  if (!started) m_showMessage(kUnavailable, kMsgOkOnly);
}

}  // namespace kelvor
