#include "about/sys_info_launcher.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <array>

#include "shared/message_box.h"
#include "flight/runtime_error.h"

namespace kelvor {

namespace {

// Read control plus the six key rights: the access the lookups have always asked for.
constexpr std::uint32_t kKeyAllAccess = 0x2003F;
constexpr std::uint32_t kDataBufferSize = 1024;

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");
const QString kProgramName = QStringLiteral("/MSINFO32.EXE");

// Closes the opened key whichever way the reader leaves, errors included.
class KeyCloser {
 public:
  KeyCloser(keystore::KeyStore& store, const std::uint32_t& key) : m_store(store), m_key(key) {}
  ~KeyCloser() {
    if (m_key != 0) m_store.CloseKey(m_key);
  }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  keystore::KeyStore& m_store;
  const std::uint32_t& m_key;
};

}  // namespace

SysInfoLauncher::SysInfoLauncher(const QString& storePath)
    : m_store(QFile::encodeName(storePath).toStdString()) {}

bool SysInfoLauncher::GetKeyValue(std::uint32_t KeyRoot, const QString& KeyName,
                                  const QString& SubKeyRef, QString& KeyVal) {
  std::uint32_t hKey = 0;
  const KeyCloser closer(m_store, hKey);

  const QByteArray keyName = KeyName.toLocal8Bit();
  if (m_store.OpenKeyEx(KeyRoot, keyName.toStdString(), 0, kKeyAllAccess, &hKey) !=
      keystore::kErrorSuccess) {
    KeyVal.clear();
    return false;
  }

  std::array<unsigned char, kDataBufferSize> buffer{};
  std::uint32_t dataSize = kDataBufferSize;
  std::uint32_t type = 0;
  const QByteArray valueName = SubKeyRef.toLocal8Bit();
  if (m_store.QueryValueEx(hKey, valueName.toStdString(), &type, buffer.data(), &dataSize) !=
      keystore::kErrorSuccess) {
    KeyVal.clear();
    return false;
  }

  // Looking at the last byte of nothing is an invalid call, not a missing value.
  if (dataSize == 0) {
    throw flight::RuntimeError(flight::errors::kInvalidCall, "Invalid procedure call or argument");
  }
  QByteArray text(reinterpret_cast<const char*>(buffer.data()), static_cast<int>(dataSize));
  // Drops a string's terminator, and just as well the high zero byte of a number.
  if (text.back() == '\0') text.chop(1);

  switch (type) {
    case keystore::kRegSz:
      KeyVal = QString::fromLocal8Bit(text);
      break;
    case keystore::kRegDword: {
      QString hex = QStringLiteral("&h");
      for (qsizetype i = text.size() - 1; i >= 0; --i) {
        hex += QStringLiteral("%1")
                   .arg(static_cast<uint>(static_cast<unsigned char>(text[i])), 2, 16,
                        QLatin1Char('0'))
                   .toUpper();
      }
      KeyVal = hex;
      break;
    }
    default:
      break;  // other types leave the caller's text as it was
  }
  return true;
}

void SysInfoLauncher::StartProgram(const QString& path) {
  // A NUL would cut the path short and start some other program than the one named.
  if (path.isEmpty() || path.contains(QChar(u'\0')) || !QProcess::startDetached(path, {})) {
    throw flight::RuntimeError(flight::errors::kFileNotFound, "File not found");
  }
}

void SysInfoLauncher::StartSysInfo() {
  // True when the program was started; false for every way of not finding it.
  const auto launch = [this]() -> bool {
    QString path;
    if (!GetKeyValue(keystore::kHKeyLocalMachine,
                     QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                     QStringLiteral("PATH"), path)) {
      if (!GetKeyValue(keystore::kHKeyLocalMachine,
                       QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                       QStringLiteral("MSINFO"), path)) {
        return false;
      }
      // Only the folder is known here, so the program must be seen on the disk first.
      if (!QFileInfo(path + kProgramName).isFile()) return false;
      path += kProgramName;
    }
    StartProgram(path);
    return true;
  };

  bool started = false;
  try {
    started = launch();
  } catch (...) {
    // Whatever went wrong, the user learns only that the tool is unavailable.
  }
  if (!started) ShowMessage(kUnavailable, kMsgOkOnly);
}

}  // namespace kelvor
