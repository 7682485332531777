#!/bin/sh
# Runs every test function of a Qt Test program but the ones named, which run as tests of their
# own where they need more than the rest (Qt Assistant, say). The list comes from the program
# itself, so a function added later runs here without a word in the build.
# Usage: qt_test_except.sh PROGRAM FUNCTION...
set -eu
[ $# -ge 2 ] || { echo "usage: $0 PROGRAM FUNCTION..." >&2; exit 2; }
program=$1
shift
listed=$("$program" -functions) || { echo "$0: $program -functions failed" >&2; exit 1; }
functions=
for function in $(printf '%s\n' "$listed" | sed -n 's/^\([A-Za-z_][A-Za-z0-9_]*\)()$/\1/p'); do
  for left_out; do
    [ "$function" != "$left_out" ] || continue 2
  done
  functions="$functions $function"
done
# A name that is no function (renamed since) would leave it running nowhere.
for left_out; do
  printf '%s\n' "$listed" | grep -qx "$left_out()" ||
    { echo "$0: $program has no test function $left_out" >&2; exit 1; }
done
[ -n "$functions" ] || { echo "$0: $program has no other test functions" >&2; exit 1; }
# The names are identifiers: split on spaces as they are.
# shellcheck disable=SC2086
exec "$program" $functions
