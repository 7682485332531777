#pragma once

#include <stdexcept>
#include <string>

namespace kelvor::errors {

// A run-time error of the program: a number and a description, shown by the common error
// report of the handler that traps it. Raised through the named functions below, so that every
// number travels with its one description.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, const std::string& description)
      : std::runtime_error(description), m_number(number) {}
  int Number() const { return m_number; }
  std::string Description() const { return what(); }

 private:
  int m_number = 0;
};

// The run-time error numbers the program raises, with the classic BASIC numbering; their
// descriptions are in the table of runtime_error.cpp.
inline constexpr int kInvalidCall = 5;  // "Invalid procedure call or argument"
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kDivisionByZero = 11;
inline constexpr int kInternalError = 51;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDiskFull = 61;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kIndexOutOfBounds = 35600;  // a toolbar button key that does not exist

// The description that goes with an error number; an unknown number gets the generic one.
const char* ErrorDescription(int number);
// The error with its number and its description from the table.
RuntimeError MakeError(int number);

[[noreturn]] void RaiseInvalidCall();
[[noreturn]] void RaiseOverflow();
[[noreturn]] void RaiseDivisionByZero();
[[noreturn]] void RaiseFileNotFound();
[[noreturn]] void RaiseInvalidPropertyValue();
[[noreturn]] void RaiseIndexOutOfBounds();
// A failed file operation, by the C library's errno: permission denied, path not found, disk
// full, or the general path/file access error.
[[noreturn]] void RaiseFileError(int errnoValue);

}  // namespace kelvor::errors
