#!/bin/sh
# Fails when a product file includes a header of a folder above its own. The folders are layers,
# lowest first: flight, shared, about, mainwindow, app. The flight computer takes nothing but the
# standard library. The build cannot catch an upward include by itself, since every library
# compiles with the project's root on its include path.
# Usage: check_layers.sh <source root>
set -eu
root=${1:?usage: check_layers.sh <source root>}
layers="flight shared about mainwindow app"

rank() {
  i=0
  for layer in $layers; do
    [ "$layer" = "$1" ] && { echo "$i"; return; }
    i=$((i + 1))
  done
  echo -1
}

status=0
for folder in $layers; do
  own=$(rank "$folder")
  for file in "$root/$folder"/*.h "$root/$folder"/*.cpp; do
    [ -f "$file" ] || continue
    # Every project include names its folder: #include "folder/file.h".
    for included in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^/"]*\)\/.*/\1/p' "$file"); do
      other=$(rank "$included")
      if [ "$other" -gt "$own" ]; then
        echo "${file#"$root"/}: includes $included/, a layer above $folder/" >&2
        status=1
      fi
    done
    if [ "$folder" = flight ] && grep -Eq '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
      echo "${file#"$root"/}: the flight computer includes Qt" >&2
      status=1
    fi
  done
done
exit "$status"
