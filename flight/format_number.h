#pragma once

#include <string>

namespace kelvor::flight {

// Patterns "0", "0.0", "0.00": halves away from zero, the locale's decimal separator.
std::string FormatNumber(double value, const std::string& pattern);

}  // namespace kelvor::flight
