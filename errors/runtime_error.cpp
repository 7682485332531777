#include "errors/runtime_error.h"

#include <cerrno>

namespace kelvor::errors {

namespace {

struct ErrorText {
  int number;
  const char* description;
};

// Every error the program raises, with the wording players of the classic runtime know.
constexpr ErrorText kErrorTexts[] = {
    {kInvalidCall, "Invalid procedure call or argument"},
    {kOverflow, "Overflow"},
    {kOutOfMemory, "Out of memory"},
    {kDivisionByZero, "Division by zero"},
    {kInternalError, "Internal error"},
    {kFileNotFound, "File not found"},
    {kDiskFull, "Disk full"},
    {kPermissionDenied, "Permission denied"},
    {kPathFileAccess, "Path/File access error"},
    {kPathNotFound, "Path not found"},
    {kInvalidPropertyValue, "Invalid property value"},
    {kIndexOutOfBounds, "Index out of bounds"},
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

void RaiseInvalidCall() { Raise(kInvalidCall); }
void RaiseOverflow() { Raise(kOverflow); }
void RaiseDivisionByZero() { Raise(kDivisionByZero); }
void RaiseFileNotFound() { Raise(kFileNotFound); }
void RaiseInvalidPropertyValue() { Raise(kInvalidPropertyValue); }
void RaiseIndexOutOfBounds() { Raise(kIndexOutOfBounds); }

void RaiseFileError(int errnoValue) {
  switch (errnoValue) {
    case EACCES:
    case EPERM:
    case EROFS:
      Raise(kPermissionDenied);
    case ENOENT:
    case ENOTDIR:
      Raise(kPathNotFound);
    case ENOSPC:
    case EDQUOT:
      Raise(kDiskFull);
    default:
      Raise(kPathFileAccess);
  }
}

}  // namespace kelvor::errors
