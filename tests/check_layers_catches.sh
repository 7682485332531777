#!/bin/sh
# Plants each kind of wrong include and link, one at a time, and fails unless check_layers.sh
# catches every one: includes in a copy of the sources, links in a copy of the layer links file,
# and one link in a copy of the build files, configured, which proves that the links are read
# from what CMake made of them.
# Usage: check_layers_catches.sh <source root> <check_layers.sh> <layer links file> <cmake>
set -u
usage="usage: check_layers_catches.sh <source root> <check_layers.sh> <layer links file> <cmake>"
root=${1:?$usage}
check=${2:?$usage}
links=${3:?$usage}
cmake=${4:?$usage}
layers="errors flight shared platform about mainwindow app"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy_sources() {
  rm -rf "$work/tree"
  mkdir "$work/tree"
  for folder in $layers; do cp -r "$root/$folder" "$work/tree/"; done
  cp "$links" "$work/links"
}

# Unplanted, the copy passes: a check that fails on everything would catch every plant below.
copy_sources
if ! sh "$check" "$work/tree" "$work/links"; then
  echo "the unplanted copy fails the check" >&2
  exit 1
fi

# <file>:<line appended to it>; a file in links is a line of the layer links file.
for plant in \
  'about/frm_kv_about.cpp:#include "app/mod_kelvor.h"' \
  'platform/start_watch.cpp:#include "about/web_launcher.h"' \
  'mainwindow/frm_land.cpp:#include <unistd.h>' \
  'about/web_launcher.cpp:#include <gio/gio.h>' \
  'flight/flight_computer.cpp:#include <QString>' \
  'errors/runtime_error.cpp:#include "flight/flight_state.h"' \
  'flight/flight_computer.cpp:#include "../app/mod_kelvor.h"' \
  'mainwindow/frm_land.cpp:#include "tests/fake_services.h"' \
  'shared/message_box.cpp:#include <dbus/dbus.h>' \
  'platform/help_viewer.cpp:#include <app/mod_kelvor.h>' \
  'mainwindow/panel/panel_table.cpp:#include "app/mod_kelvor.h"' \
  'links:shared kelvor_shared STATIC_LIBRARY platform kelvor_platform' \
  'links:mainwindow kelvor_mainwindow STATIC_LIBRARY mainwindow kelvor_panel' \
  'links:shared kelvor_shared STATIC_LIBRARY tests kelvor_test_support' \
  'links:mainwindow kelvor_mainwindow STATIC_LIBRARY imported Qt6::Test' \
  'links:flight kelvor_flight STATIC_LIBRARY imported Qt6::Core' \
  'links:about kelvor_about STATIC_LIBRARY imported PkgConfig::ALSA' \
  'links:mainwindow kelvor_mainwindow STATIC_LIBRARY name asound' \
  'links:app kelvor_app STATIC_LIBRARY expression $<$<CONFIG:Debug>:kelvor_test_support>'; do
  copy_sources
  file=${plant%%:*}
  if [ "$file" = links ]; then
    echo "${plant#*:}" >>"$work/links"
  else
    mkdir -p "$(dirname "$work/tree/$file")"
    echo "${plant#*:}" >>"$work/tree/$file"
  fi
  if sh "$check" "$work/tree" "$work/links" 2>/dev/null; then
    echo "not caught: $plant" >&2
    exit 1
  fi
done

# A links file that names no library: the build was never configured.
copy_sources
: >"$work/links"
if sh "$check" "$work/tree" "$work/links" 2>/dev/null; then
  echo "not caught: an empty layer links file" >&2
  exit 1
fi

# A link upward, made in the build files and configured: the check must see it in the links
# file CMake writes. The configure must succeed, so that the failure is the link's.
rm -rf "$work/tree"
mkdir "$work/tree"
for part in CMakeLists.txt LICENSE LICENSES resources packaging $layers; do
  cp -r "$root/$part" "$work/tree/"
done
echo "target_link_libraries(kelvor_shared PRIVATE kelvor_platform)" \
  >>"$work/tree/shared/CMakeLists.txt"
if ! "$cmake" -S "$work/tree" -B "$work/build" -DBUILD_TESTING=OFF >"$work/configure.log" 2>&1; then
  cat "$work/configure.log" >&2
  echo "the planted copy does not configure" >&2
  exit 1
fi
if sh "$check" "$work/tree" "$work/build/layer_links.txt" 2>"$work/check.log" ||
  ! grep -q "kelvor_shared links kelvor_platform" "$work/check.log"; then
  echo "not caught: target_link_libraries(kelvor_shared PRIVATE kelvor_platform)" >&2
  exit 1
fi
