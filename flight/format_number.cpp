#include "flight/format_number.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <string>

#include "errors/runtime_error.h"

namespace kelvor::flight {

namespace {

// Number of decimals a pattern asks for: "0" -> 0, "0.0" -> 1, "0.00" -> 2.
int DecimalsOf(const std::string& pattern) {
  if (pattern == "0") return 0;
  if (pattern.size() >= 3 && pattern.compare(0, 2, "0.") == 0 &&
      pattern.find_first_not_of('0', 2) == std::string::npos) {
    return static_cast<int>(pattern.size() - 2);
  }
  errors::RaiseInvalidCall();
}

std::string LocaleDecimalPoint() {
  const std::lconv* conv = std::localeconv();
  if (conv != nullptr && conv->decimal_point != nullptr && conv->decimal_point[0] != '\0') {
    return conv->decimal_point;
  }
  return ".";
}

}  // namespace

std::string FormatNumber(double value, const std::string& pattern) {
  const int decimals = DecimalsOf(pattern);
  if (!std::isfinite(value)) errors::RaiseOverflow();

  // Round on the exact decimal expansion rather than on value * 10^n, which would itself
  // round in binary and turn some halves the wrong way. Forty extra digits hold every
  // single-precision value of the flight exactly.
  char buffer[512];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::fixed, decimals + 40);
  if (result.ec != std::errc()) errors::RaiseOverflow();
  std::string digits(buffer, result.ptr);

  const auto point = digits.find('.');
  std::string whole = digits.substr(0, point);
  std::string fraction = digits.substr(point + 1);
  const bool roundUp = fraction[decimals] >= '5';
  fraction.resize(decimals);

  std::string kept = whole + fraction;
  if (roundUp) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i >= 0) {
      ++kept[i];
    } else {
      kept.insert(kept.begin(), '1');
    }
  }
  const std::size_t wholeLength = kept.size() - decimals;
  std::string text = kept.substr(0, wholeLength);
  if (decimals > 0) text += LocaleDecimalPoint() + kept.substr(wholeLength);

  // A value that rounds to zero prints without a sign.
  const bool isZero = kept.find_first_not_of('0') == std::string::npos;
  if (value < 0 && !isZero) text.insert(text.begin(), '-');
  return text;
}

}  // namespace kelvor::flight
