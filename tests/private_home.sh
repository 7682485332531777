#!/bin/sh
# The home every test runs in, so that no test reads or writes the tester's own desktop.
#   private_home.sh prepare HOME RUNTIME   a fresh, empty HOME with its XDG folders, and the
#                                          runtime folder (0700) where the sockets go
#   private_home.sh clean-up RUNTIME       removes the runtime folder again
# The runtime folder's name was chosen by mktemp when the build was configured; it is short, so
# that a socket path in it stays far below the 108 bytes a socket address holds.
set -eu

fail() { echo "$0: $*" >&2; exit 1; }

case "${1:-}" in
  prepare)
    home=$2 runtime=$3
    rm -rf "$home"
    mkdir -p "$home/.config" "$home/.local/share" "$home/.local/state" "$home/.cache"
    chmod 0700 "$home"
    # Made anew where it is gone (a reboot empties /tmp); taken over only where it is still
    # this user's own private folder from a run that did not get to clean up.
    if ! mkdir -m 0700 "$runtime" 2>/dev/null; then
      [ -d "$runtime" ] && [ ! -L "$runtime" ] && [ -O "$runtime" ] &&
        [ "$(stat -c %a "$runtime")" = 700 ] ||
        fail "$runtime is not this user's private folder; configure the build folder again"
      find "$runtime" -mindepth 1 -delete
    fi
    ;;
  clean-up)
    runtime=$2
    if [ -d "$runtime" ] && [ ! -L "$runtime" ] && [ -O "$runtime" ]; then
      rm -rf "$runtime"
    fi
    ;;
  *) fail "usage: $0 prepare HOME RUNTIME | clean-up RUNTIME" ;;
esac
