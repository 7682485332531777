#pragma once

#include <QString>
#include <functional>
#include <string>
#include <utility>

#include "errors/error_trap.h"
#include "shared/services.h"

namespace kelvor {

// Shows a modal message box titled with the application title and returns when it is dismissed:
// what the program's services show. Windows go through Services::ShowMessage instead.
void ShowMessageBox(const QString& text, int style);

// Where a part that is not a window (a launcher) shows its messages: the services' message box
// in the program, a recorder in its tests.
using ShowMessageFunction = std::function<void(const QString& text, int style)>;

// The common error report: "<number>: <description>" in a critical box.
void ReportError(Services& services, int number, const QString& description);

// Runs a handler body under the error trap, reporting through the common error report.
template <class Body>
void ErrorTrap(Services& services, Body&& body) noexcept {
  errors::ErrorTrap(
      [&services](int number, const std::string& description) {
        ReportError(services, number, QString::fromStdString(description));
      },
      std::forward<Body>(body));
}

}  // namespace kelvor
