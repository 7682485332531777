#include "flight/runtime_error.h"

#include <cerrno>

namespace flight {

namespace {

struct ErrorText {
  int number;
  const char* description;
};

// Every error the program raises, with the wording players of the classic runtime know.
constexpr ErrorText kErrorTexts[] = {
    {errors::kInvalidCall, "Invalid procedure call or argument"},
    {errors::kOverflow, "Overflow"},
    {errors::kOutOfMemory, "Out of memory"},
    {errors::kDivisionByZero, "Division by zero"},
    {errors::kInternalError, "Internal error"},
    {errors::kFileNotFound, "File not found"},
    {errors::kDiskFull, "Disk full"},
    {errors::kPermissionDenied, "Permission denied"},
    {errors::kPathFileAccess, "Path/File access error"},
    {errors::kPathNotFound, "Path not found"},
    {errors::kInvalidPropertyValue, "Invalid property value"},
    {errors::kIndexOutOfBounds, "Index out of bounds"},
};

[[noreturn]] void Raise(int number) { throw MakeError(number); }

}  // namespace

const char* ErrorDescription(int number) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.number == number) return entry.description;
  }
  return "Application-defined or object-defined error";
}

RuntimeError MakeError(int number) { return RuntimeError(number, ErrorDescription(number)); }

void RaiseInvalidCall() { Raise(errors::kInvalidCall); }
void RaiseOverflow() { Raise(errors::kOverflow); }
void RaiseDivisionByZero() { Raise(errors::kDivisionByZero); }
void RaiseFileNotFound() { Raise(errors::kFileNotFound); }
void RaiseInvalidPropertyValue() { Raise(errors::kInvalidPropertyValue); }
void RaiseIndexOutOfBounds() { Raise(errors::kIndexOutOfBounds); }

void RaiseFileError(int errnoValue) {
  switch (errnoValue) {
    case EACCES:
    case EPERM:
    case EROFS:
      Raise(errors::kPermissionDenied);
    case ENOENT:
    case ENOTDIR:
      Raise(errors::kPathNotFound);
    case ENOSPC:
    case EDQUOT:
      Raise(errors::kDiskFull);
    default:
      Raise(errors::kPathFileAccess);
  }
}

}  // namespace flight
