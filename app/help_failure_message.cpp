#include "app/help_failure_message.h"

namespace kelvor {

QString HelpFailureMessage(const HelpFailure& failure) {
  switch (failure.kind) {
    case HelpFailure::Kind::kMissingFile:
      return QStringLiteral(
                 "The help could not be shown: the help file %1 is missing or unreadable.")
          .arg(failure.path);
    case HelpFailure::Kind::kNotStarted:
      return QStringLiteral("The help could not be shown: the help viewer %1 could not be started.")
          .arg(failure.path);
    case HelpFailure::Kind::kEndedWithError:
      break;
  }
  const QString why = failure.crashed ? QStringLiteral("it crashed")
                                      : QStringLiteral("exit status %1").arg(failure.exitCode);
  return QStringLiteral("The help could not be shown: the help viewer %1 ended with an error (%2).")
      .arg(failure.path, why);
}

}  // namespace kelvor
