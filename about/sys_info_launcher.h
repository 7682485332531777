#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/key_store.h"
#include "shared/message_box.h"

namespace kelvor {

// Starts the system-information program that the machine's key store names, or tells the user
// that there is none. Keeps nothing between two launches but the store it reads.
class SysInfoLauncher {
 public:
  // Whether a normal file is at a path, given as the bytes the store holds.
  using NormalFileTest = std::function<bool(const std::string& path)>;

  // Messages go to `showMessage`; the store is the machine's unless a caller names another, and
  // the file test the file system's.
  explicit SysInfoLauncher(
      ShowMessageFunction showMessage,
      const QString& storePath = QString::fromUtf8(keystore::KeyStore::kDefaultPath),
      NormalFileTest isNormalFile = DiskFileTest());

  // Looks the program up in two places, starts it detached, and shows the one "unavailable"
  // message for every failure. Never passes an error on.
  void StartSysInfo();

  // Reads one value of the store as text into KeyVal: strings as they are, 32-bit numbers as
  // "&h" hex, other types leave KeyVal unchanged. False (and KeyVal emptied) when the key or the
  // value cannot be read, or the value is longer than 1024 bytes. A value with no data at all
  // raises a run-time error. The key is closed on every way out.
  bool GetKeyValue(std::uint32_t KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                   QString& KeyVal);

  // The store itself, for tests that check every opened key was closed.
  const keystore::KeyStore& Store() const { return m_store; }

  // The file system's own test.
  static NormalFileTest DiskFileTest();

 private:
  // What GetKeyValue reads, as the bytes the store holds: a string without its terminator, a
  // number as "&h" hex; nullopt for a value of another type (true still returned). A path
  // need not be UTF-8, and text would not carry such a path through to the program unchanged.
  bool GetKeyBytes(std::uint32_t KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                   std::optional<QByteArray>& KeyVal);

  // Starts the program at path (bytes as the store holds them) without a shell and without
  // waiting for it; a path that cannot be started raises a run-time error.
  static void StartProgram(const QByteArray& path);

  ShowMessageFunction m_showMessage;
  keystore::KeyStore m_store;
  NormalFileTest m_isNormalFile;
};

}  // namespace kelvor
