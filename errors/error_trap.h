#pragma once

#include <exception>
#include <new>
#include <string>

#include "errors/runtime_error.h"

namespace kelvor::errors {

// The one error trap: runs a procedure body and hands any exception that escapes it to
// `report` as a number and a description. The body ends at the error; what it did before stays
// done, and nothing crosses into the caller (an event loop, above all).
// `report` is called as report(int number, const std::string& description).
template <class Report, class Body>
void ErrorTrap(Report&& report, Body&& body) noexcept {
  try {
    body();
  } catch (const RuntimeError& e) {
    report(e.Number(), e.Description());
  } catch (const std::bad_alloc&) {
    report(kOutOfMemory, ErrorDescription(kOutOfMemory));
  } catch (const std::exception& e) {
    report(kInternalError, std::string(e.what()));
  } catch (...) {
    report(kInternalError, ErrorDescription(kInternalError));
  }
}

}  // namespace kelvor::errors
