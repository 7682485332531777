#pragma once

#include <QString>
#include <functional>
#include <string>
#include <utility>

#include "flight/error_trap.h"

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

// Runs a handler body under the error trap, reporting through the common error report.
template <class Body>
void ErrorTrap(Body&& body) noexcept {
  flight::ErrorTrap(
      [](int number, const std::string& description) {
        ReportError(number, QString::fromStdString(description));
      },
      std::forward<Body>(body));
}

}  // namespace kelvor
