#!/bin/sh
# Runs a test once what it needs is on this machine. Where something is missing the test is
# skipped: one line names it and how it is usually installed, and the status is 77, which CTest
# reports as "Skipped" (the test's SKIP_RETURN_CODE). A distribution's build chroot lacks X
# servers, validators and locales that have nothing to do with whether its build works.
# With --require (a build configured with KELVOR_REQUIRE_TEST_TOOLS, as ./test configures it)
# a missing part is a failure instead: there every test must run.
#
# Usage: run_if_present.sh [--require] NEED... -- COMMAND [ARGS...]
#        run_if_present.sh --check NEED...     prints what is missing, one per line, and ends
#   NEED  program:NAME         a program on the PATH
#         file:PATH            a file that is there (a Qt plugin)
#         executable:PATH      a program that is there (Qt Assistant in Qt's bin folder)
#         locale:NAME          an installed locale, such as de_DE.UTF-8
#         python:MODULE        a module of the system's Python 3, /usr/bin/python3
#         at-spi-bus-launcher  the AT-SPI accessibility bus launcher (scripts/find-test-tool)
set -u
here=$(cd "$(dirname "$0")" && pwd)

# present NEED: whether it is there.
present() {
  case $1 in
    program:*) command -v "${1#program:}" >/dev/null 2>&1 ;;
    file:*) [ -e "${1#file:}" ] ;;
    executable:*) [ -f "${1#executable:}" ] && [ -x "${1#executable:}" ] ;;
    # Asked of the C library as a program sets it (LOCPATH included): locale complains of
    # each category it cannot set.
    locale:*)
      command -v locale >/dev/null 2>&1 &&
        [ -z "$(LC_ALL="${1#locale:}" locale 2>&1 >/dev/null)" ]
      ;;
    python:*) [ -x /usr/bin/python3 ] && /usr/bin/python3 -c "import ${1#python:}" 2>/dev/null ;;
    at-spi-bus-launcher) "$here/../scripts/find-test-tool" at-spi-bus-launcher >/dev/null 2>&1 ;;
    *) echo "$0: unknown need '$1'" >&2; exit 2 ;;
  esac
}

# What a missing NEED is called in a message, and where to get it.
described() {
  case $1 in
    program:*) echo "the program ${1#program:}" ;;
    file:*) echo "the file ${1#file:}" ;;
    executable:*) echo "the program ${1#executable:}" ;;
    locale:*)
      name=${1#locale:}
      language=${name%%.*}
      charset=${name#*.}
      echo "the locale $name (Debian: uncomment it in /etc/locale.gen and run locale-gen;" \
        "Fedora: install glibc-langpack-${language%%_*}; elsewhere:" \
        "localedef -i $language -f $charset $name)"
      ;;
    python:*) echo "the Python 3 module ${1#python:} for /usr/bin/python3" ;;
    at-spi-bus-launcher) echo "the AT-SPI bus launcher at-spi-bus-launcher (at-spi2-core)" ;;
  esac
}

require=0
check=0
case ${1:-} in
  --require) require=1; shift ;;
  --check) check=1; shift ;;
esac

missing=0
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  if ! present "$1"; then
    if [ "$check" -eq 1 ]; then
      echo "$1"
    else
      echo "missing: $(described "$1")"
    fi
    missing=1
  fi
  shift
done
[ "$check" -eq 0 ] || exit 0
[ "${1:-}" = -- ] && [ $# -ge 2 ] ||
  { echo "usage: $0 [--require] NEED... -- COMMAND [ARGS...]" >&2; exit 2; }
shift

if [ "$missing" -eq 1 ]; then
  if [ "$require" -eq 1 ]; then
    echo "FAILED: this build requires every test tool (KELVOR_REQUIRE_TEST_TOOLS)"
    exit 1
  fi
  echo "SKIPPED: this test needs what is missing above"
  exit 77
fi
# The test's own 77 would read as a skip: a test that ends so has failed.
status=0
"$@" || status=$?
if [ "$status" -eq 77 ]; then
  echo "$0: the test ended with status 77, which only a missing tool may: failed" >&2
  exit 1
fi
exit "$status"
