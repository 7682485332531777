#!/bin/sh
# Plays the game under weston, Debian's reference Wayland compositor, on its headless backend:
# splash, main window, a mission, the About dialog and Game > Exit, driven through AT-SPI by the
# screen reader test's driver. The compositor gets a private runtime folder and socket name and a
# D-Bus session of its own, and is ended whatever happens.
# Usage: run_wayland_test.sh native|xwayland <path of kelvor>
#   native    a Wayland-only desktop: the game must run as a Wayland client
#   xwayland  weston with XWayland, DISPLAY set as a Wayland session sets it: the game must take
#             the X server
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 2 ] && { [ "$1" = native ] || [ "$1" = xwayland ]; } ||
  { echo "usage: $0 native|xwayland <path of kelvor>" >&2; exit 2; }
mode=$1
kelvor=$2

if [ -z "${KELVOR_WAYLAND_SESSION:-}" ]; then
  # The whole run has a time limit; the session below cleans up when it is told to stop.
  KELVOR_WAYLAND_SESSION=1 exec timeout -k 10 100 sh "$0" "$@"
fi

runtime=$(mktemp -d)  # private (0700), as XDG_RUNTIME_DIR must be
weston_pid=
cleanup() {
  if [ -n "$weston_pid" ] && kill -0 "$weston_pid" 2>/dev/null; then
    kill "$weston_pid" 2>/dev/null || true
    waited=0
    while kill -0 "$weston_pid" 2>/dev/null && [ "$waited" -lt 50 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    kill -9 "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
  fi
  rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

socket="kelvor-test-$$"
set -- --backend=headless-backend.so --use-pixman --width=1024 --height=768 \
  --socket="$socket" --idle-time=0 --no-config
if [ "$mode" = xwayland ]; then
  # XWayland listens in the system's X socket folder, which a machine that never ran an X server
  # (a container) may lack.
  if [ ! -d /tmp/.X11-unix ]; then
    mkdir -m 1777 /tmp/.X11-unix 2>/dev/null ||
      { echo "$0: /tmp/.X11-unix is missing and cannot be made" >&2; exit 1; }
  fi
  set -- "$@" --xwayland
fi
XDG_RUNTIME_DIR="$runtime" weston "$@" >"$runtime/weston.log" 2>&1 </dev/null &
weston_pid=$!

fail() {
  echo "$0: $1" >&2
  echo "--- weston said:" >&2
  cat "$runtime/weston.log" >&2
  exit 1
}
waited=0
until [ -S "$runtime/$socket" ] &&
  { [ "$mode" = native ] || grep -q 'xserver listening on display' "$runtime/weston.log"; }; do
  kill -0 "$weston_pid" 2>/dev/null || fail "weston did not start"
  waited=$((waited + 1))
  [ "$waited" -le 150 ] || fail "weston gave no socket within 15 s"
  sleep 0.1
done

if [ "$mode" = xwayland ]; then
  display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$runtime/weston.log")
  export DISPLAY="$display"
  check=--on-x11
else
  unset DISPLAY
  check=
fi
unset QT_QPA_PLATFORM  # the game's own choice is what is tested
export XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" XDG_SESSION_TYPE=wayland

status=0
dbus-run-session -- sh "$here/../e2e/run_screen_reader_test.sh" --inside \
  --about --exit $check "$kelvor" || status=$?
[ "$status" -eq 0 ] || fail "the mission under weston ($mode) failed"
exit 0
