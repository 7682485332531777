#!/bin/sh
# Runs screen_reader_mission.py against the given kelvor in a private X server and D-Bus session
# with the accessibility bus up, as a desktop with a screen reader running would have it.
# Usage: run_screen_reader_test.sh [driver options] <path of kelvor>
# (--inside [driver options] <path of kelvor>: the part inside the sessions, which other display
# servers' tests use too)
set -eu
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = "--inside" ]; then
  shift
  # The accessibility bus; its registry daemon is started on demand by that bus.
  launcher=$("$here/../../scripts/find-test-tool" at-spi-bus-launcher)
  "$launcher" --launch-immediately &
  launcher=$!
  trap 'kill "$launcher" 2>/dev/null || true' EXIT
  status=0
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 \
    /usr/bin/python3 "$here/screen_reader_mission.py" "$@" || status=$?
  exit "$status"
fi

[ $# -ge 1 ] || { echo "usage: $0 [driver options] <path of kelvor>" >&2; exit 2; }
exec timeout -k 5 90 sh "$here/../xvfb_session.sh" \
  dbus-run-session -- sh "$here/run_screen_reader_test.sh" --inside "$@"
