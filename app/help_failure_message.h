#pragma once

#include <QString>

#include "platform/help_failure.h"

namespace kelvor {

// The one-sentence message that tells the player why the help could not be shown.
QString HelpFailureMessage(const HelpFailure& failure);

}  // namespace kelvor
