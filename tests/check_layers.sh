#!/bin/sh
# Fails when a product file or library reaches above its own layer, or past the layers. The
# folders are layers, lowest first: errors, flight, shared, platform, about, mainwindow, app.
#
# Includes, in every source file of a product folder and its subfolders:
# - a project header is named by its folder, "folder/file.h", and that folder is a layer at or
#   below the file's own: no "..", no folder that is no layer (tests/, resources/), no project
#   folder in <>. A file of the folder's own moc ("name.moc", "moc_name.cpp") is allowed bare.
# - errors/ and flight/ take the C++ standard library only; shared/, about/ and mainwindow/ the
#   standard library and Qt, and reach Linux (POSIX, GIO, ALSA, D-Bus) only through platform/.
#
# Links, as CMake holds them after configuring (the layer links file the top CMakeLists.txt
# writes), each library and executable of a product folder linking:
# - a library of a lower layer only (a program, also its own folder's library);
# - the project's compiler settings (an interface target of the top folder that links nothing);
# - Qt's and the resources' targets, except in errors/ and flight/; Qt's test library nowhere;
# - pkg-config targets and libraries named to the linker in platform/ alone;
# - nothing it cannot read: a generator expression, or a target of a folder that is no layer.
#
# The build cannot catch any of this by itself, since every library compiles with the project's
# root on its include path and the system's headers on the compiler's, and a static library may
# link any other.
# Usage: check_layers.sh <source root> <layer links file>
set -eu
usage="usage: check_layers.sh <source root> <layer links file>"
root=${1:?$usage}
links=${2:?$usage}
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

# Sets r to a layer's rank, lowest 0; -1 for a folder that is no layer.
rank() {
  r=0
  for layer in $layers; do
    [ "$layer" = "$1" ] && return
    r=$((r + 1))
  done
  r=-1
}

status=0
fail() {
  echo "$1" >&2
  status=1
}

# --- includes -------------------------------------------------------------------------------

for folder in $layers; do
  rank "$folder"
  own=$r
  files=$(find "$root/$folder" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' \
    -o -name '*.cc' -o -name '*.cpp' \) | sort)
  for file in $files; do
    name=${file#"$root"/}
    quoted=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
    for included in $quoted; do
      case "/$included/" in
        */../*)
          fail "$name: includes \"$included\"; project headers are named from the root"
          continue ;;
      esac
      case "$included" in
        */*) ;;
        *.moc | moc_*.cpp) continue ;;
        *)
          fail "$name: includes \"$included\"; a project header is named with its folder"
          continue ;;
      esac
      top=${included%%/*}
      rank "$top"
      other=$r
      if [ "$other" -lt 0 ]; then
        fail "$name: includes $top/, which is no product layer"
      elif [ "$other" -gt "$own" ]; then
        fail "$name: includes $top/, a layer above $folder/"
      fi
    done
    system=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' "$file")
    for header in $system; do
      case "/$header/" in
        */../*)
          fail "$name: includes <$header>, which climbs out of the include path"
          continue ;;
      esac
      case "$header" in
        */*)
          if [ -d "$root/${header%%/*}" ]; then
            fail "$name: includes <$header>, a project folder: its headers are named in quotes"
            continue
          fi ;;
      esac
      case "$folder" in
        errors | flight) allowed=standard ;;
        shared | about | mainwindow) allowed=standard-or-qt ;;
        *) continue ;;
      esac
      case "$standard" in *" $header "*) continue ;; esac
      if [ "$allowed" = standard-or-qt ]; then
        case "$header" in Q* | Qt*/*) continue ;; esac
        fail "$name: includes <$header>; $folder/ reaches the system through platform/"
      else
        fail "$name: includes <$header>; $folder/ takes the C++ standard library only"
      fi
    done
  done
done

# --- links ----------------------------------------------------------------------------------

if [ ! -f "$links" ]; then
  fail "$links: no layer links file; configure the build first"
  exit "$status"
fi
# One link a line: the folder, the target and its type, where the linked item is defined (a
# folder of the tree, "settings", "imported", "name" or "expression") and the item itself.
for folder in $layers; do
  if ! grep -q "^$folder " "$links"; then
    fail "$links: names no library of $folder/; configure the build again"
  fi
done
while read -r folder target type where linked; do
  rank "$folder"
  own=$r
  [ "$own" -ge 0 ] || continue
  what="$folder/: $target links $linked"
  case "$where" in
    settings) continue ;;
    expression)
      fail "$what, an expression the layer check cannot read"
      continue ;;
    imported)
      case "$linked" in
        Qt6::Test | Qt::Test) fail "$what, the tests' library" ;;
        Qt6::* | Qt::*)
          case "$folder" in
            errors | flight) fail "$what; $folder/ takes the C++ standard library only" ;;
          esac ;;
        PkgConfig::*)
          [ "$folder" = platform ] || fail "$what; $folder/ reaches the system through platform/" ;;
        *) fail "$what, an imported target that is neither Qt's nor pkg-config's" ;;
      esac
      continue ;;
    name)
      [ "$folder" = platform ] || fail "$what; $folder/ reaches the system through platform/"
      continue ;;
  esac
  top=${where%%/*}
  if [ "$top" = resources ]; then
    case "$folder" in
      errors | flight) fail "$what of resources/; $folder/ takes the C++ standard library only" ;;
    esac
    continue
  fi
  rank "$top"
  other=$r
  if [ "$other" -lt 0 ]; then
    fail "$what of $where/, which is no product layer"
  elif [ "$other" -gt "$own" ] || { [ "$other" -eq "$own" ] && [ "$type" != EXECUTABLE ]; }; then
    fail "$what of $top/, a layer at or above $folder/"
  fi
done <"$links"
exit "$status"
