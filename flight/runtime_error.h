#pragma once

#include <stdexcept>
#include <string>

namespace flight {

// A run-time error of the program: a number and a description, shown by the common error
// report of the handler that traps it. Thrown by the flight arithmetic and by panel operations.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, const std::string& description)
      : std::runtime_error(description), m_number(number) {}
  int Number() const { return m_number; }
  std::string Description() const { return what(); }

 private:
  int m_number = 0;
};

// The run-time error numbers the program raises, with the classic BASIC numbering.
namespace errors {
inline constexpr int kInvalidCall = 5;  // "Invalid procedure call or argument"
inline constexpr int kOverflow = 6;     // "Overflow"
inline constexpr int kDivisionByZero = 11;
inline constexpr int kFileNotFound = 53;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kIndexOutOfBounds = 35600;  // a toolbar button key that does not exist
}  // namespace errors

}  // namespace flight
