#pragma once

#include <exception>
#include <new>
#include <string>

#include "flight/runtime_error.h"

namespace flight {

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
    report(errors::kOutOfMemory, ErrorDescription(errors::kOutOfMemory));
  } catch (const std::exception& e) {
    report(errors::kInternalError, std::string(e.what()));
  } catch (...) {
    report(errors::kInternalError, ErrorDescription(errors::kInternalError));
  }
}

}  // namespace flight
