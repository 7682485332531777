#!/bin/sh
# Runs a test program on the current X display under twm, a reparenting window manager that
# maps new windows later than a bare X server does. Windows are placed where they ask to be, so
# twm never waits for the mouse. Usage: run_with_window_manager.sh TWM PROGRAM ARGS...
twm="$1"
shift
rc=$(mktemp)
printf 'UsePPosition "on"\nRandomPlacement\nNoGrabServer\n' >"$rc"
"$twm" -f "$rc" >/dev/null 2>&1 &
wm_pid=$!
sleep 1
"$@"
status=$?
kill "$wm_pid" 2>/dev/null
rm -f "$rc"
exit "$status"
