#!/usr/bin/env bash
# ./play, scripts/ensure-deps and cmake --install as a player without root meets them. The
# player is a second user that exists only inside private mount namespaces, which see a copy of
# /etc (with that user, without the key store) and an empty /tmp; the player works in a copy of
# the tree of its own. Once the test is over the machine keeps nothing of either.
#
#   second_user.sh prepare STATE SOURCE_DIR   the user and its tree, built as ./play builds it
#   second_user.sh play-without-root STATE    ./play without root or sudo: quiet the second time,
#                                             with a build that fails, and without make
#   second_user.sh without-apt STATE          neither dpkg-query nor apt-get can run
#   second_user.sh user-install STATE         cmake --install to ~/.local, then played from there
#   second_user.sh two-plays STATE            two ./play at once, the help to be generated
#   second_user.sh starts-over STATE          ./play after a set-up that cannot go on, and in a
#                                             read-only clone
#   second_user.sh clean-up STATE
#
# STATE is a file naming the work folder. Needs root and mount namespaces: exits 77 (skipped)
# without them.
set -euo pipefail
player=kelvorplayer

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# --- Inside the namespace, as root: the mounts, then the player ---------------------------------
if [ "$1" = --in-namespace ]; then
  mode=$2 work=$3
  mount --bind "$work/etc" /etc
  mount -t tmpfs -o mode=1777 tmpfs /tmp
  mkdir -m 1777 /tmp/.X11-unix
  case "$mode" in
    without-apt | two-plays)
      # The key store in place, as root's ./play leaves it: then nothing needs root.
      mount -t tmpfs tmpfs /etc/xdg
      install -D -m 0644 "$work/tree/resources/registry/registry.reg" /etc/xdg/Tandrel/registry.reg
      ;;
  esac
  hide=()
  case "$mode" in
    without-apt) hide=(dpkg-query apt-get) ;;
    without-make) hide=(make) ;;
  esac
  case "$mode" in
    read-only-*)
      mount --bind "$work/tree" "$work/tree"
      mount -o remount,bind,ro "$work/tree"
      ;;
  esac
  # An empty folder where the game would be built.
  [ "$mode" != read-only-unbuilt ] || mount -t tmpfs -o ro,mode=755 tmpfs "$work/tree/build/app"
  for program in "${hide[@]}"; do
    # A character device in its place, which cannot be run.
    if path=$(command -v "$program"); then mount --bind /dev/null "$path"; fi
  done
  # The player's own copy of this script: the tree it came from may be closed to others.
  exec setpriv --reuid="$player" --regid="$player" --init-groups \
    env -i HOME="$work/home" USER="$player" LOGNAME="$player" LANG=C.UTF-8 \
    PATH=/usr/local/bin:/usr/bin:/bin:/usr/games \
    "$work/tree/tests/setup/second_user.sh" --as-player "$mode" "$work"
fi

# --- As the player ---------------------------------------------------------------------------

# The lines of a log other than the notes named once for a tree.
besides_notes() {
  grep -v -e '^Recommended, not installed' -e '^  ' -e '^System Info needs the key store ' "$1" || true
}

# What ./play printed, other than the notes: nothing, whether it built or not. The game's own
# messages are turned off (QT_LOGGING_RULES) where this is asked.
only_notes() {
  local extra
  extra=$(besides_notes "$1")
  [ -z "$extra" ] || { sed 's/^/  play: /' "$1" >&2; fail "$2 printed more than the notes named once: $extra"; }
}

# Waits until the ./play with this pid has become the game, and the game still runs a moment
# later (the splash is over by then), then ends it.
game_starts() {
  local pid=$1 log=$2 deadline=$((SECONDS + 600))
  until [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$PWD/build/app/kelvor" ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
      sed 's/^/  play: /' "$log" >&2
      fail "./play ended without starting the game"
    fi
    ((SECONDS < deadline)) || fail "./play started no game within 600 s"
    sleep 0.2
  done
  sleep 3
  kill -0 "$pid" 2>/dev/null || { sed 's/^/  game: /' "$log" >&2; fail "the game ended at once"; }
  kill "$pid"
  wait "$pid" || true
}

# Runs ./play until its build has begun, the set-up through, then ends it: building the whole
# game again in another folder would take longer than all the rest.
play_until_building() {
  local log=$1 pid deadline=$((SECONDS + 300))
  rm -f build/play-build.log
  setsid ./play </dev/null >"$log" 2>&1 &
  pid=$!
  until [ -s build/play-build.log ]; do
    kill -0 "$pid" 2>/dev/null || { sed 's/^/  play: /' "$log" >&2; fail "./play ended before it built"; }
    ((SECONDS < deadline)) || fail "./play did not set up the build within 300 s"
    sleep 0.2
  done
  kill -- -"$pid" 2>/dev/null || true
  wait "$pid" || true
}

# ./play said, besides the notes, the one line that it sets the build folder up again.
said_starting_over() {
  local lines
  lines=$(besides_notes "$1")
  [ "$(wc -l <<<"$lines")" = 1 ] && grep -q '^play: setting up the build folder again from the start, as ' <<<"$lines" ||
    { sed 's/^/  play: /' "$1" >&2; fail "$2: ./play did not say in one line that it starts over"; }
  echo "$2: $lines"
}

# A compiler first on the PATH that cannot build: one that fails whatever it is asked, or one
# that gives its version and fails the rest.
compilers_first() {
  local folder="$HOME/$1" name
  mkdir -p "$folder"
  for name in cc c++ gcc g++; do
    if [ "$1" = answering ]; then
      printf '#!/bin/sh\n[ "$1" != --version ] || { echo "%s 1.0"; exit 0; }\nexit 1\n' "$name" >"$folder/$name"
    else
      printf '#!/bin/sh\nexit 1\n' >"$folder/$name"
    fi
    chmod +x "$folder/$name"
  done
  echo "$folder"
}

if [ "$1" = --as-player ]; then
  mode=$2 work=$3
  cd "$work/tree"
  export QT_QPA_PLATFORM=offscreen
  case "$mode" in
    prepare)
      cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
      cmake --build build --target kelvor -j"$(nproc)" >/dev/null
      ;;
    play-without-root)
      # No key store and no root: the game starts all the same, after one line that says how
      # System Info gets its key store.
      ./play </dev/null >"$HOME/play.log" 2>&1 &
      game_starts $! "$HOME/play.log"
      expected="System Info needs the key store /etc/xdg/Tandrel/registry.reg; as root, install it with: install -D -m 0644 $PWD/resources/registry/registry.reg /etc/xdg/Tandrel/registry.reg"
      cat "$HOME/play.log"
      [ "$(grep -c 'key store' "$HOME/play.log")" = 1 ] && grep -qxF "$expected" "$HOME/play.log" ||
        fail "./play did not say once how to install the key store"
      # The second start, with nothing to build and the key store named already: not a line
      # before the game's window.
      QT_LOGGING_RULES='*=false' ./play </dev/null >"$HOME/play.log" 2>&1 &
      game_starts $! "$HOME/play.log"
      [ ! -s "$HOME/play.log" ] || { cat "$HOME/play.log" >&2; fail "./play said more than nothing the second time"; }
      # A build that fails shows the compiler's message, and ends ./play.
      cp -p app/main.cpp "$HOME/main.cpp"
      echo '#error the build fails here' >>app/main.cpp
      status=0
      ./play </dev/null >"$HOME/play.log" 2>&1 || status=$?
      cp -p "$HOME/main.cpp" app/main.cpp
      ((status == 1)) && grep -q 'error: #error the build fails here' "$HOME/play.log" ||
        { cat "$HOME/play.log" >&2; fail "./play with a failing build ended with status $status, or hid the compiler's message"; }
      ;;
    without-make)
      status=0
      output=$(./play </dev/null 2>&1) || status=$?
      printf '%s\n' "$output"
      ((status == 1)) || fail "./play without make ended with status $status, not 1"
      grep -q 'program make' <<<"$output" || fail "./play did not name the missing make"
      if command -v apt-get >/dev/null; then
        grep -q '^  apt-get install make$' <<<"$output" || fail "./play did not say how to install make"
      fi
      ;;
    without-apt)
      status=0
      output=$(scripts/ensure-deps --test 2>&1) || status=$?
      [ -z "$output" ] || printf '%s\n' "$output"
      ((status == 0)) || fail "scripts/ensure-deps --test ended with status $status"
      # Nothing to say, but the recommended parts not installed, if any, named the first time.
      ! grep -v -e '^Recommended, not installed' -e '^  ' <<<"$output" | grep -q . ||
        fail "scripts/ensure-deps --test printed more than a recommendation"
      ./play </dev/null >"$HOME/play.log" 2>&1 &
      game_starts $! "$HOME/play.log"
      ;;
    user-install)
      # The README's steps for yourself alone, in the Release folder ./play made rather than in
      # a folder of their own: the whole build (./play built the game alone), then the install.
      cmake --build build -j"$(nproc)" >/dev/null
      # ~/.local/bin is there before: the uninstall afterwards leaves it.
      mkdir -p "$HOME/.local/bin"
      cmake --install build --prefix "$HOME/.local" >"$HOME/install.log" 2>&1 ||
        { cat "$HOME/install.log" >&2; fail "cmake --install --prefix ~/.local failed"; }
      outside=$(grep -v "^$HOME/.local/" build/install_manifest.txt || true)
      [ -z "$outside" ] || fail "installed outside ~/.local: $outside"
      entry="$HOME/.local/share/applications/example.tandrel.LunarLanding.desktop"
      command=$(sed -n 's/^Exec=//p' "$entry")
      [ "$command" = "$HOME/.local/bin/tandrel-lunar-landing" ] ||
        fail "the desktop entry runs '$command', not the installed command"
      unset QT_QPA_PLATFORM
      # Started as the desktop entry says: a mission, the help, and System Info without its
      # key store.
      sh tests/e2e/run_screen_reader_test.sh --help-viewer --without-system-info "$command"
      cmake --build build --target uninstall >"$HOME/uninstall.log" 2>&1 ||
        { cat "$HOME/uninstall.log" >&2; fail "the uninstall target failed"; }
      # The game's files and the folders the install made are gone; ~/.local/bin stays.
      left=$(while read -r file; do [ ! -e "$file" ] || echo "$file"; done <build/install_manifest.txt)
      [ -z "$left" ] && [ ! -e "$HOME/.local/lib" ] && [ -d "$HOME/.local/bin" ] ||
        fail "the uninstall target left $left $(ls -d "$HOME/.local/lib" 2>/dev/null), or took ~/.local/bin"
      ;;
    two-plays)
      # Both have the help to generate again.
      rm -f build/resources/help/*.qch build/resources/help/Kelvor*.hlp build/app/*.qch build/app/Kelvor*.hlp
      # Output that is no terminal shows nothing of the build.
      export QT_LOGGING_RULES='*=false'
      ./play </dev/null >"$HOME/play1.log" 2>&1 &
      first=$!
      ./play </dev/null >"$HOME/play2.log" 2>&1 &
      second=$!
      game_starts "$first" "$HOME/play1.log"
      game_starts "$second" "$HOME/play2.log"
      only_notes "$HOME/play1.log" "the first ./play"
      only_notes "$HOME/play2.log" "the second ./play"
      ;;
    starts-over)
      export QT_LOGGING_RULES='*=false'
      # A first set-up with a broken compiler first on the PATH fails, then the PATH is put
      # right: the set-up must not keep the compiler it found.
      for kind in failing answering; do
        row="a compiler that is $kind, first on the PATH, then put right"
        rm -rf build/CMakeCache.txt build/CMakeFiles
        status=0
        PATH="$(compilers_first "$kind"):$PATH" ./play </dev/null >"$HOME/play.log" 2>&1 || status=$?
        ((status == 1)) || { cat "$HOME/play.log" >&2; fail "$row: the set-up did not fail"; }
        ./play </dev/null >"$HOME/play.log" 2>&1 &
        game_starts $! "$HOME/play.log"
        said_starting_over "$HOME/play.log" "$row"
      done
      # The clone copied to another folder, with a file of the player's in the build folder.
      row="a moved clone"
      rm -rf "$HOME/moved" "$HOME/renamed"
      cp -a . "$HOME/moved"
      cd "$HOME/moved"
      echo "the player's" >build/install_manifest.txt
      play_until_building "$HOME/play.log"
      said_starting_over "$HOME/play.log" "$row"
      [ "$(sed -n 's/^CMAKE_CACHEFILE_DIR:INTERNAL=//p' build/CMakeCache.txt)" = "$HOME/moved/build" ] ||
        fail "$row: the build folder was not set up for its new place"
      [ "$(cat build/install_manifest.txt)" = "the player's" ] || fail "$row: the install record went"
      [ -d "$work/tree/build/app" ] || fail "$row: the clone it came from lost its build"
      # The compiler the player chose stays after a move, with nothing asked.
      row="a clone set up with CXX=clang++, renamed"
      if command -v clang++ >/dev/null; then
        rm -rf build/CMakeCache.txt build/CMakeFiles
        CXX=clang++ cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
        chosen=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/CMakeCache.txt)
        cd "$HOME"
        mv moved renamed
        cd renamed
        play_until_building "$HOME/play.log"
        said_starting_over "$HOME/play.log" "$row"
        now=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/CMakeCache.txt)
        [ "$now" = "$chosen" ] || fail "$row: the build is set up with $now, not $chosen"
      else
        echo "SKIP: $row: clang++ is not installed"
      fi
      cd "$work/tree"
      rm -rf "$HOME/moved" "$HOME/renamed"
      ;;
    read-only-built)
      # Nothing to write and nothing to build: the game starts.
      export QT_LOGGING_RULES='*=false'
      ./play </dev/null >"$HOME/play.log" 2>&1 &
      game_starts $! "$HOME/play.log"
      only_notes "$HOME/play.log" "./play in a read-only clone"
      ;;
    read-only-unbuilt)
      status=0
      ./play </dev/null >"$HOME/play.log" 2>&1 || status=$?
      lines=$(besides_notes "$HOME/play.log")
      echo "$lines"
      ((status == 1)) && [ "$(wc -l <<<"$lines")" = 1 ] && grep -q 'read-only' <<<"$lines" ||
        { cat "$HOME/play.log" >&2; fail "./play in a read-only clone without the game ended with status $status, or did not say why in one line"; }
      ;;
  esac
  exit 0
fi

# --- As root, outside -----------------------------------------------------------------------
mode=$1 state=$2
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root, to make a user and namespaces"; exit 77; }
unshare -m true 2>/dev/null || { echo "SKIP: no mount namespaces here"; exit 77; }

in_namespace() { unshare -m --propagation private "$0" --in-namespace "$1" "$work"; }

case "$mode" in
  prepare)
    source_dir=$3
    [ ! -f "$state" ] || rm -rf "$(cat "$state")"
    work=$(mktemp -d /var/tmp/kelvor-second-user.XXXXXX)
    chmod 755 "$work"
    echo "$work" >"$state"
    cp -a /etc "$work/etc"
    rm -rf "$work/etc/xdg/Tandrel"
    # Made in the copy of /etc only; -l leaves the machine's login records alone.
    unshare -m --propagation private sh -c \
      'mount --bind "$1/etc" /etc && useradd -l -M -d "$1/home" -s /bin/sh "$2" && echo "$(id -u "$2"):$(id -g "$2")"' \
      sh "$work" "$player" >"$work/ids"
    mkdir "$work/home" "$work/tree"
    tar -C "$source_dir" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work/tree" -xf -
    chown -R "$(cat "$work/ids")" "$work/home" "$work/tree"
    in_namespace prepare
    ;;
  clean-up)
    if [ -f "$state" ]; then
      rm -rf "$(cat "$state")"
      rm -f "$state"
    fi
    ;;
  *)
    [ -f "$state" ] || fail "no second user: second_user.sh prepare did not run"
    work=$(cat "$state")
    in_namespace "$mode"
    [ "$mode" != play-without-root ] || in_namespace without-make
    if [ "$mode" = starts-over ]; then
      in_namespace read-only-built
      in_namespace read-only-unbuilt
    fi
    ;;
esac
