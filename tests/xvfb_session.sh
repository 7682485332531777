#!/bin/sh
# Runs a command with DISPLAY naming a private Xvfb, and ends the server afterwards.
# The server chooses a free display itself and reports it only once it accepts connections
# (-displayfd). xvfb-run -a instead guesses a number from the lock files in /tmp, which a stale
# lock or another server starting at the same moment can turn into a display that is not ours.
# Usage: xvfb_session.sh COMMAND [ARGS...]
set -eu
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

: >"$work/display"  # there before the server opens it, for the wait below
# -noreset: the server stays as it is when its last client leaves, so a test that starts a
# window manager and then the game never meets a freshly reset server in between.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
  3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!

waited=0
until grep -q '^[0-9][0-9]*$' "$work/display"; do
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    cat "$work/xvfb.log" >&2
    echo "$0: Xvfb did not start" >&2
    exit 1
  fi
  waited=$((waited + 1))
  if [ "$waited" -gt 300 ]; then
    echo "$0: Xvfb gave no display within 30 s" >&2
    exit 1
  fi
  sleep 0.1
done

status=0
DISPLAY=":$(cat "$work/display")" "$@" || status=$?
if [ "$status" -ne 0 ] && [ -s "$work/xvfb.log" ]; then
  echo "--- Xvfb said:" >&2
  cat "$work/xvfb.log" >&2
fi
exit "$status"
