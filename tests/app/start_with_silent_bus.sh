#!/bin/sh
# Starts the game on the current X display once for each way a session bus can take a
# connection and never answer, as one whose daemon has stopped does, and waits for its main
# window each time. The splash stays 2 s and the bus check takes at most 2 s: the main window
# must come within 10 s of the start, well before a screen reader's bus connection would give
# up. The game must then end on SIGTERM at once, with nothing of the check left behind.
# Usage: start_with_silent_bus.sh KELVOR
set -u
game="$1"
work=$(mktemp -d)
mkdir -m 700 "$work/runtime"
# The buses, all on sockets of their own: "silent" never takes a connection off its queue, "full"
# has no room left in its queue, TCP port "tcp" on 127.0.0.1 takes connections and never answers,
# port "closed" refuses them, "first-line" answers the client's first line and then nothing, and
# runtime/bus stands silent where libdbus looks when no address is set.
python3 -c '
import os, selectors, socket, sys
work = sys.argv[1]
held = []
def unix(name, backlog):
    s = socket.socket(socket.AF_UNIX)
    s.bind(os.path.join(work, name))
    s.listen(backlog)
    held.append(s)
    return s
unix("silent", 64)
unix("runtime/bus", 64)
unix("full", 0)
while True:
    waiting = socket.socket(socket.AF_UNIX)
    waiting.setblocking(False)
    held.append(waiting)
    try:
        waiting.connect(os.path.join(work, "full"))
    except BlockingIOError:
        break
for name, listening in (("tcp", True), ("closed", False)):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    if listening:
        s.listen(64)
    held.append(s)
    with open(os.path.join(work, name + ".port"), "w") as f:
        f.write(str(s.getsockname()[1]))
first_line = unix("first-line", 64)
selector = selectors.DefaultSelector()
selector.register(first_line, selectors.EVENT_READ)
answered = set()
open(os.path.join(work, "listening"), "w").close()
while True:
    for key, _ in selector.select():
        if key.fileobj is first_line:
            client, _ = first_line.accept()
            selector.register(client, selectors.EVENT_READ)
            continue
        try:
            data = key.fileobj.recv(256)
        except OSError:  # a client killed with its data unread
            data = b""
        if not data:
            selector.unregister(key.fileobj)
            key.fileobj.close()
        elif b"\n" in data and key.fileobj not in answered:
            answered.add(key.fileobj)
            key.fileobj.sendall(b"OK 0123456789abcdef0123456789abcdef\r\n")
' "$work" &
buses=$!
game_pid=
cleanup() {
  [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null
  kill "$buses" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

waited=0
until [ -e "$work/listening" ]; do
  waited=$((waited + 1))
  [ "$waited" -le 100 ] || { echo "the test's buses did not start within 10 s" >&2; exit 1; }
  sleep 0.1
done
tcp="tcp:host=127.0.0.1,port=$(cat "$work/tcp.port")"
closed="tcp:host=127.0.0.1,port=$(cat "$work/closed.port")"

status=0
for shape in silent full tcp list first-line runtime; do
  case "$shape" in
    silent) bus="unix:path=$work/silent" ;;
    full) bus="unix:path=$work/full" ;;
    tcp) bus="$tcp" ;;
    list) bus="$closed;unix:path=$work/silent" ;;
    first-line) bus="unix:path=$work/first-line" ;;
    runtime) bus= ;;
  esac
  start=$(date +%s%N)
  if [ -n "$bus" ]; then
    DBUS_SESSION_BUS_ADDRESS="$bus" QT_QPA_PLATFORM=xcb "$game" &
  else
    env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb "$game" &
  fi
  game_pid=$!
  # The main window is the one titled with the product name; the splash's title is blank.
  while :; do
    elapsed=$((($(date +%s%N) - start) / 1000000))
    if xwininfo -root -tree 2>/dev/null | grep -q '"Tandrel Lunar Landing"'; then
      echo "$shape: main window after $elapsed ms"
      # The game ignores SIGPIPE from its start: a write to a closed pipe fails, it ends nothing.
      ignored=$(sed -n 's/^SigIgn:\t//p' "/proc/$game_pid/status")
      if [ $((0x$ignored & (1 << 12))) -eq 0 ]; then
        echo "$shape: SIGPIPE is not ignored" >&2
        status=1
      fi
      if [ -n "$(ps -o pid= --ppid "$game_pid")" ]; then
        echo "$shape: the bus check's child is still there" >&2
        status=1
      fi
      break
    fi
    if [ "$elapsed" -ge 10000 ]; then
      echo "$shape: no main window within 10 s" >&2
      status=1
      break
    fi
    sleep 0.1
  done
  kill -TERM "$game_pid" 2>/dev/null
  waited=0
  while kill -0 "$game_pid" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$game_pid/status"; do
    waited=$((waited + 1))
    if [ "$waited" -gt 50 ]; then
      echo "$shape: the game did not end within 5 s of SIGTERM" >&2
      status=1
      kill -KILL "$game_pid" 2>/dev/null
      break
    fi
    sleep 0.1
  done
  wait "$game_pid" 2>/dev/null
  game_pid=
done
exit "$status"
