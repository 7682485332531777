#pragma once

#include <QString>
#include <functional>

namespace kelvor {

// Why the help could not be shown, as the help viewer reports it: what went wrong and with which
// file or program. The words for the player are the program's (app/help_failure_message.h).
struct HelpFailure {
  enum class Kind {
    kMissingFile,     // the help file is missing or unreadable; `path` is the file
    kNotStarted,      // the viewer could not be started; `path` is its program
    kEndedWithError,  // the viewer ended with an error soon after its start; `path` is its program
  };
  Kind kind = Kind::kMissingFile;
  QString path;
  bool crashed = false;  // kEndedWithError: it crashed, rather than exiting with `exitCode`
  int exitCode = 0;
};

using ReportHelpFailure = std::function<void(const HelpFailure& failure)>;

}  // namespace kelvor
