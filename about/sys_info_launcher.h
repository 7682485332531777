#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "platform/key_store.h"
#include "shared/message_box.h"

namespace kelvor {

// Starts the system-information program that the machine's key store names, or tells the user
// that there is none. Keeps nothing between two launches.
class SysInfoLauncher {
 public:
  // Messages go to `showMessage`; the values are read from `registry`, in the program the
  // machine's key store (KeyStore::kDefaultPath), which must outlive the launcher.
  SysInfoLauncher(ShowMessageFunction showMessage, KeyStore& registry);

  // Looks the program up in two places, starts it detached, and shows the one "unavailable"
  // message for every failure. Never passes an error on.
  void StartSysInfo();

  // Reads one value of the store as text into KeyVal, one character per byte, so that a path
  // that is not UTF-8 comes back byte for byte through toLatin1: strings without their
  // terminator, 32-bit numbers as "&h" hex, other types leave KeyVal unchanged. False (and
  // KeyVal emptied) when the key or the value cannot be read, or the value is longer than 1024
  // bytes. A value with no data at all raises a run-time error. The key is closed on every way
  // out.
  bool GetKeyValue(std::uint32_t KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                   QString& KeyVal);

 private:
  // Starts the program at path (bytes as the store holds them) without a shell and without
  // waiting for it; a path that cannot be started raises a run-time error.
  static void StartProgram(const QByteArray& path);

  ShowMessageFunction m_showMessage;
  KeyStore& m_registry;
};

}  // namespace kelvor
