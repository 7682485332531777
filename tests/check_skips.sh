#!/bin/sh
# The tests that need a tool are skipped where it is missing, and say which: a distribution's
# build chroot must see "Skipped" with the reason, never "Not Run" or a failure. Where every
# test tool is required (./test) the same tests fail instead. Each row hides its tools (from a
# PATH of its own, or the locale through LOCPATH) and runs the tests as ctest runs them, from a
# copy of the build's test lists, so that this run's own logs and private home stay untouched.
# Usage: check_skips.sh CTEST BUILD_DIR REQUIRED(0|1)
set -eu
[ $# -eq 3 ] || { echo "usage: $0 CTEST BUILD_DIR REQUIRED" >&2; exit 2; }
ctest=$1
build=$2
required=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && find . -name CTestTestfile.cmake) | while IFS= read -r file; do
  mkdir -p "$work/lists/$(dirname "$file")"
  cp "$build/$file" "$work/lists/$file"
done

# A PATH that holds every program of this one but the named ones.
path_without() {
  folder=$(mktemp -d "$work/path.XXXXXX")
  old_ifs=$IFS
  IFS=:
  # A name in two folders keeps the first folder's link, as the PATH finds it.
  for dir in $PATH; do
    [ -d "$dir" ] && ln -s "$dir"/* "$folder" 2>/dev/null || true
  done
  IFS=$old_ifs
  for hidden; do rm -f "$folder/$hidden"; done
  echo "$folder"
}

expected=Skipped
[ "$required" -eq 0 ] || expected=Failed
faults=0
# row NAME TESTS REASON ENV...: runs the TESTS (a regular expression) in the environment ENV
# and expects each of them to end as $expected and to say REASON.
row() {
  name=$1 tests=$2 reason=$3
  shift 3
  log="$work/row.log"
  env "$@" "$ctest" --test-dir "$work/lists" -V -R "$tests" -FA '.*' >"$log" 2>&1 || true
  ran=$(grep -c ' Test *#[0-9]*: ' "$log" || true)
  if [ "$ran" -eq 0 ]; then
    echo "FAULT ($name): no test matches $tests"
    faults=$((faults + 1))
  fi
  if grep ' Test *#[0-9]*: ' "$log" | grep -v "\*\*\*$expected "; then
    echo "FAULT ($name): the tests above did not end as $expected"
    faults=$((faults + 1))
  fi
  if ! grep -qF "$reason" "$log"; then
    echo "FAULT ($name): nothing says \"$reason\""
    faults=$((faults + 1))
  fi
  [ "$faults" -eq 0 ] || cat "$log"
  echo "$name: $ran tests $expected"
}

row "no validators" '^(desktop_entry_is_valid|metainfo_is_valid|install_tree_is_complete|every_file_names_its_licence)$' \
  "missing: the program desktop-file-validate" \
  PATH="$(path_without desktop-file-validate appstreamcli reuse man)"
row "no X server" '^(test_frm_land_on_x11|test_mod_kelvor_on_x11|test_mod_kelvor_under_window_manager|test_start_with_silent_session_bus|test_window_titles|e2e_screen_reader)$' \
  "missing: the program Xvfb" PATH="$(path_without Xvfb)"
row "no window manager" '^test_mod_kelvor_under_window_manager$' \
  "missing: the program twm" PATH="$(path_without twm)"
row "no weston" '^e2e_wayland_(native|xwayland)$' "missing: the program weston" \
  PATH="$(path_without weston)"
row "no German locale" '^test_locale$' "localedef -i de_DE -f UTF-8 de_DE.UTF-8" \
  LOCPATH="$work/no-locales"
[ "$faults" -eq 0 ]
