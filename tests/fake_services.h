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
// down; a test that wants to act while a message box would be up sets onMessage. The alarm
// takes its tone's time in silence, as on a machine without a sound card, and the clock is the
// system's, so a free fall runs as it does in the game.
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
  void Beep() override { std::this_thread::sleep_for(kToneLength); }
  double MonotonicSeconds() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // As long as the game's alarm tone.
  static constexpr std::chrono::milliseconds kToneLength{255};
};
