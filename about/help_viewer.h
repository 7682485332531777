#pragma once

#include <QString>

namespace kelvor {

// The help viewer: asks Qt Assistant to show the program's help collection, and keeps one
// viewer per running game, reusing it while it runs. Never waits for it.
class HelpViewer {
 public:
  static HelpViewer& Instance();

  // The contents topic of the help file.
  void ShowContents(const QString& helpFile);
  // The topic with this help context number.
  void ShowTopic(const QString& helpFile, int topic);
};

}  // namespace kelvor
