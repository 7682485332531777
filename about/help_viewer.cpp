#include "about/help_viewer.h"

namespace kelvor {

HelpViewer& HelpViewer::Instance() {
  static HelpViewer viewer;
  return viewer;
}

void HelpViewer::ShowContents(const QString&) {}

void HelpViewer::ShowTopic(const QString&, int) {}

}  // namespace kelvor
