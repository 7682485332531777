#!/bin/sh
# Plants each kind of wrong include in a copy of the sources, one at a time, and fails unless
# check_layers.sh catches every one.
# Usage: check_layers_catches.sh <source root> <check_layers.sh>
set -u
root=${1:?usage: check_layers_catches.sh <source root> <check_layers.sh>}
check=${2:?usage: check_layers_catches.sh <source root> <check_layers.sh>}
for plant in \
  'about/frm_kv_about.cpp:#include "app/mod_kelvor.h"' \
  'platform/start_watch.cpp:#include "about/web_launcher.h"' \
  'mainwindow/frm_land.cpp:#include <unistd.h>' \
  'about/web_launcher.cpp:#include <gio/gio.h>' \
  'flight/flight_computer.cpp:#include <QString>' \
  'errors/runtime_error.cpp:#include "flight/flight_state.h"'; do
  copy=$(mktemp -d)
  cp -r "$root"/errors "$root"/flight "$root"/shared "$root"/platform "$root"/about "$root"/mainwindow \
    "$root"/app "$copy"
  echo "${plant#*:}" >>"$copy/${plant%%:*}"
  sh "$check" "$copy" 2>/dev/null
  caught=$?
  rm -rf "$copy"
  if [ "$caught" -eq 0 ]; then
    echo "not caught: $plant" >&2
    exit 1
  fi
done
