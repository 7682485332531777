// A test row that needs a tool, a locale or a program the machine may lack (a distribution's
// build chroot lacks the German locale and more): where it is missing the row is skipped and
// says why, and the rest of the test runs. A build that requires every test tool
// (KELVOR_REQUIRE_TEST_TOOLS, as ./test configures it) fails the row instead.
#pragma once

#include <QtTest>

// How the German locale some rows play the game under is usually made.
#define KELVOR_GERMAN_LOCALE_MISSING                                                   \
  "the locale de_DE.UTF-8 is missing. On Debian, uncomment it in /etc/locale.gen and " \
  "run locale-gen; on Fedora, install glibc-langpack-de; elsewhere, run "              \
  "localedef -i de_DE -f UTF-8 de_DE.UTF-8"

#define KELVOR_SKIP_MISSING(reason)                                             \
  do {                                                                          \
    if (qEnvironmentVariableIntValue("KELVOR_REQUIRE_TEST_TOOLS") != 0) {       \
      QFAIL(qPrintable(QStringLiteral("required by this build: ") + (reason))); \
    }                                                                           \
    QSKIP(qPrintable(QString(reason)));                                         \
  } while (false)
