#!/bin/sh
# Fails when a product file includes a header of a folder above its own, or when a window folder
# speaks to the system itself. The folders are layers, lowest first: errors, flight, shared,
# platform, about, mainwindow, app. The error runtime and the flight computer take nothing but
# the standard library. about/ and mainwindow/ hold the game's own logic and windows: they take
# the C++ standard library, Qt and the project's headers, and reach Linux (POSIX, GIO, ALSA,
# D-Bus) only through platform/. The build cannot catch any of this by itself, since every
# library compiles with the project's root on its include path and the system's headers on the
# compiler's.
# Usage: check_layers.sh <source root>
set -eu
root=${1:?usage: check_layers.sh <source root>}
layers="errors flight shared platform about mainwindow app"

# The headers of the C++ standard library (C++20), the C ones in their <cxxx> form included.
standard=" algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv
  chrono cinttypes climits clocale cmath codecvt compare complex concepts condition_variable
  coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar
  cwctype deque exception execution filesystem format forward_list fstream functional future
  initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale map
  memory memory_resource mutex new numbers numeric optional ostream queue random ranges ratio
  regex scoped_allocator semaphore set shared_mutex source_location span sstream stack
  stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
  type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector
  version "
standard=" $(echo $standard) "

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
    system=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' "$file")
    for header in $system; do
      case "$folder" in
        errors | flight) allowed=standard ;;
        about | mainwindow) allowed=standard-or-qt ;;
        *) continue ;;
      esac
      case "$standard" in *" $header "*) continue ;; esac
      if [ "$allowed" = standard-or-qt ]; then
        case "$header" in Q* | Qt*/*) continue ;; esac
      fi
      if [ "$allowed" = standard ]; then
        echo "${file#"$root"/}: includes <$header>; $folder/ takes the C++ standard library only" >&2
      else
        echo "${file#"$root"/}: includes <$header>; $folder/ reaches the system through platform/" >&2
      fi
      status=1
    done
  done
done
exit "$status"
