#pragma once

#include <QList>
#include <QString>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "shared/services.h"

// The services a window is handed, for tests: nothing waits for a person, no help viewer, browser
// or system-information program is started, and no sound is made. Every request is written
// down; a test that wants to act while a message box would be up sets onMessage. The alarm is
// silent, and a beep moves the clock on by the tone's length instead of taking that time, so an
// alarm second of the free fall passes at once: the clock is the system's monotonic one plus the
// tones skipped. A test of the free fall in real time sets realTimeAlarm: each beep then takes
// its tone's time, as on a machine without a sound card. A beep a test replaces with the real
// alarm's takes its time too, and the clock follows it.
class FakeServices : public kelvor::Services {
 public:
  struct Message {
    QString text;
    int style = 0;
  };
  struct HelpRequest {
    QString helpFile;
    int topic = 0;  // 0: the contents
  };

  QList<Message> messages;
  QList<HelpRequest> helpRequests;
  QList<std::string> webLaunches;
  int sysInfoStarts = 0;
  std::function<void(const QString& text, int style)> onMessage;

  QStringList MessageTexts() const {
    QStringList texts;
    for (const Message& message : messages) texts << message.text;
    return texts;
  }
  QList<int> Topics() const {
    QList<int> topics;
    for (const HelpRequest& request : helpRequests) {
      if (request.topic != 0) topics << request.topic;
    }
    return topics;
  }

  void ShowMessage(const QString& text, int style) override {
    messages.append({text, style});
    if (onMessage) onMessage(text, style);
  }
  void ShowHelpContents(const QString& helpFile) override { helpRequests.append({helpFile, 0}); }
  void ShowHelpTopic(const QString& helpFile, int topic) override {
    helpRequests.append({helpFile, topic});
  }
  void WebLaunch(const std::string& url) override { webLaunches.append(url); }
  void StartSysInfo() override { ++sysInfoStarts; }
  void Beep() override {
    if (realTimeAlarm) {
      std::this_thread::sleep_for(kToneLength);
    } else {
      m_skipped += kToneLength;
    }
  }
  double MonotonicSeconds() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch() +
                                         m_skipped)
        .count();
  }

  // As long as the game's alarm tone.
  static constexpr std::chrono::milliseconds kToneLength{255};
  bool realTimeAlarm = false;

 private:
  std::chrono::steady_clock::duration m_skipped{};
};
