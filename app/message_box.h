#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <new>

#include "flight/runtime_error.h"

namespace kelvor {

// Message box styles: OK only without icon, and the critical icon with OK.
inline constexpr int kMsgOkOnly = 0;
inline constexpr int kMsgCritical = 16;

// Shows a modal message box titled with the application title and returns when it is dismissed.
void ShowMessage(const QString& text, int style);

// Tests replace the box with a recorder so no modal loop ever waits for a person.
using MessageBoxHook = std::function<void(const QString& text, int style, const QString& title)>;
void SetMessageBoxHook(MessageBoxHook hook);

// The common error report: "<number>: <description>" in a critical box.
void ReportError(int number, const QString& description);

// Runs a handler body under the common error trap: a run-time error ends the body and is
// reported; what the body did before the error stays done.
template <class Body>
void ErrorTrap(Body&& body) noexcept {
  try {
    body();
  } catch (const flight::RuntimeError& e) {
    ReportError(e.Number(), QString::fromStdString(e.Description()));
  } catch (const std::bad_alloc&) {
    ReportError(7, QStringLiteral("Out of memory"));
  } catch (const std::exception& e) {
    ReportError(51, QString::fromLocal8Bit(e.what()));
  }
}

}  // namespace kelvor
