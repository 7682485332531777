#!/bin/sh
# Starts the game on the current X display once for each way a desktop service the game's start
# could wait on can stop answering, and waits for its main window each time: a session bus that
# takes a connection and never answers (in every way a client can meet one), one that answers
# Hello and then nothing, one that answers three connections and stalls on the next, a bus daemon
# that has stopped, a program started as the transport that never answers; a global-menu
# registrar or accessibility service that never answers, a registrar that answers all but
# RegisterWindow, an IBus portal that never answers an input method asking it; a screen reader
# whose accessibility bus has stopped, or whose registry on a live accessibility bus has; an X
# root window naming a silent accessibility bus, on the display the game is given (-display) as
# on $DISPLAY; and a bus found through X autolaunch whose daemon has stopped (no address, and
# "autolaunch:"). The splash stays 2 s and a start that stops moving is made again after about
# 1.5 s: the main window must come within 6 s of the launch. The game must then end on SIGTERM
# at once, with nothing left behind.
# With a bus that answers Hello and then nothing, F1 must also show the help within 6 s: the help
# viewer, a Qt program with the same waits, goes without the services the game set aside.
# Then the healthy desktops, where the game must start once and show the splash at once: a
# working session bus, no bus address with X autolaunch (the bus autolaunched is ended after),
# and no bus at all.
# Usage: start_with_silent_bus.sh KELVOR
set -u
game="$1"
work=$(mktemp -d)
mkdir -m 700 "$work/runtime"
# The buses, all on sockets of their own: "silent" never takes a connection off its queue, nor does
# the abstract socket named after the work folder, "full" has no room left in its queue, TCP port "tcp" on 127.0.0.1 takes connections and never answers,
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
abstract = socket.socket(socket.AF_UNIX)
abstract.bind("\0" + os.path.basename(work) + "-silent")
abstract.listen(64)
held.append(abstract)
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
# Two real bus daemons: "session" for the shapes with a stand-in service on it, and "a11y",
# stopped, as the accessibility bus a screen reader's service names.
dbus-daemon --session --nofork --address="unix:path=$work/session" --print-address=3 \
  3>"$work/session.address" &
session_daemon=$!
dbus-daemon --session --nofork --address="unix:path=$work/a11y" --print-address=3 \
  3>"$work/a11y.address" &
a11y_daemon=$!
# The stand-ins speak D-Bus by hand: "hello-only" is a bus that answers Hello and then nothing;
# on the session daemon, "hung:NAME" owns NAME and never reads again, and "reader" is an
# accessibility service that says a screen reader is on and names the stopped a11y bus.
cat >"$work/standin.py" <<'PY'
import os, socket, struct, sys, time
def pad(b, n): return b + b"\0" * (-len(b) % n)
def string(v): e = v.encode(); return struct.pack("<I", len(e)) + e + b"\0"
def message(kind, serial, fields, signature="", body=b""):
    head = b""
    for code, sig, value in fields + ([(8, "g", signature)] if signature else []):
        head = pad(head, 8) + bytes([code, 1]) + sig.encode() + b"\0"
        if sig == "u": head += struct.pack("<I", value)
        elif sig == "g": head += bytes([len(value)]) + value.encode() + b"\0"
        else: head += string(value)
    return pad(b"l" + bytes([kind, 0, 1]) + struct.pack("<III", len(body), serial, len(head)) + head, 8) + body
def read_message(s):
    fixed = s.recv(16, socket.MSG_WAITALL)
    if len(fixed) < 16: sys.exit(0)
    length, serial, fields = struct.unpack("<III", fixed[4:16])
    rest = s.recv(len(pad(b"x" * (16 + fields), 8)) - 16 + length, socket.MSG_WAITALL)
    data = fixed + rest; at = 16; found = {}
    while at < 16 + fields:
        at += -at % 8; code = data[at]; n = data[at + 1]; sig = chr(data[at + 2]); at += 3 + n
        if sig == "u": at += -at % 4; found[code] = struct.unpack("<I", data[at:at + 4])[0]; at += 4
        elif sig == "g": n = data[at]; at += n + 2
        else: at += -at % 4; n = struct.unpack("<I", data[at:at + 4])[0]; found[code] = data[at + 4:at + 4 + n].decode(); at += n + 5
    return data[1], serial, found
def call(s, serial, member, signature="", body=b"", dest="org.freedesktop.DBus", path="/org/freedesktop/DBus", iface="org.freedesktop.DBus"):
    s.sendall(message(1, serial, [(1, "o", path), (2, "s", iface), (3, "s", member), (6, "s", dest)], signature, body))
def client(address, name):
    s = socket.socket(socket.AF_UNIX); s.connect(address)
    s.sendall(b"\0AUTH EXTERNAL " + str(os.getuid()).encode().hex().encode() + b"\r\n")
    s.recv(256); s.sendall(b"BEGIN\r\n")
    call(s, 1, "Hello"); call(s, 2, "RequestName", "su", pad(string(name), 4) + struct.pack("<I", 4))
    while True:
        kind, _, fields = read_message(s)
        if kind == 2 and fields.get(5) == 2: return s
shape, address = sys.argv[1], sys.argv[2]
if shape == "hello-only":
    server = socket.socket(socket.AF_UNIX); server.bind(address); server.listen(64)
    open(address + ".ready", "w").close()
    held = []
    while True:
        c, _ = server.accept(); held.append(c); line = b""
        while not line.endswith(b"BEGIN\r\n"):
            more = c.recv(1)
            if not more: break
            line += more
            if line.endswith(b"\r\n") and b"AUTH" in line: c.sendall(b"OK 0123456789abcdef0123456789abcdef\r\n"); line = b""
            elif line.endswith(b"NEGOTIATE_UNIX_FD\r\n"): c.sendall(b"AGREE_UNIX_FD\r\n"); line = b""
        if not line: continue
        _, serial, _ = read_message(c)
        c.sendall(message(2, 1, [(5, "u", serial), (6, "s", ":1.1"), (7, "s", "org.freedesktop.DBus")], "s", string(":1.1")))
elif shape.startswith("hung:"):
    s = client(address, shape[5:]); open(sys.argv[3], "w").close(); time.sleep(3600)
elif shape == "menu":
    s = client(address, "com.canonical.AppMenu.Registrar"); open(sys.argv[3], "w").close()
    while True:
        kind, serial, fields = read_message(s)
        if kind == 1 and fields.get(3) != "RegisterWindow":
            s.sendall(message(2, 100 + serial, [(5, "u", serial), (6, "s", fields.get(7, ""))]))
elif shape == "relay":
    import threading
    server = socket.socket(socket.AF_UNIX); server.bind(address); server.listen(64)
    open(address + ".ready", "w").close()
    def pump(a, b):
        while True:
            data = a.recv(65536)
            if not data: break
            b.sendall(data)
    held = []; count = 0
    while True:
        c, _ = server.accept(); count += 1
        if count > 3: held.append(c); continue
        upstream = socket.socket(socket.AF_UNIX); upstream.connect(sys.argv[3])
        for a, b in ((c, upstream), (upstream, c)):
            threading.Thread(target=pump, args=(a, b), daemon=True).start()
elif shape == "reader":
    s = client(address, "org.a11y.Bus"); open(sys.argv[4], "w").close()
    while True:
        kind, serial, fields = read_message(s)
        if kind != 1: continue
        reply = [(5, "u", serial), (6, "s", fields.get(7, ""))]
        if fields.get(3) == "GetAddress": s.sendall(message(2, 100 + serial, reply, "s", string(sys.argv[3])))
        else: s.sendall(message(2, 100 + serial, reply, "v", b"\x01b\0\0" + struct.pack("<I", 1)))
PY
python3 "$work/standin.py" hello-only "$work/hello-only" &
hello_only=$!
# A live accessibility bus, for a screen reader whose registry on it stops answering.
dbus-daemon --session --nofork --address="unix:path=$work/a11y-live" --print-address=3 \
  3>"$work/a11y-live.address" &
a11y_live_daemon=$!
# A second X server, given to the game by -display only.
: >"$work/other-display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$work/other-display" \
  2>/dev/null &
other_xvfb=$!
game_pid=
relay=
cleanup() {
  [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null
  kill "$buses" "$hello_only" "$session_daemon" "$a11y_daemon" "$a11y_live_daemon" \
    "$other_xvfb" ${standin:-} ${relay:-} 2>/dev/null
  kill -CONT "$a11y_daemon" ${autolaunched:-} 2>/dev/null
  [ -z "${autolaunched:-}" ] || kill "$autolaunched" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

waited=0
until [ -e "$work/listening" ] && [ -e "$work/hello-only.ready" ] && [ -s "$work/session.address" ] &&
  [ -s "$work/a11y.address" ] && [ -s "$work/a11y-live.address" ] &&
  grep -q '^[0-9][0-9]*$' "$work/other-display"; do
  waited=$((waited + 1))
  [ "$waited" -le 100 ] || { echo "the test's buses did not start within 10 s" >&2; exit 1; }
  sleep 0.1
done
tcp="tcp:host=127.0.0.1,port=$(cat "$work/tcp.port")"
closed="tcp:host=127.0.0.1,port=$(cat "$work/closed.port")"
kill -STOP "$a11y_daemon"
mkdir -m 700 "$work/no-bus"
other=":$(cat "$work/other-display")"
machine=$(dbus-uuidgen --get)

# Ends the bus that was autolaunched for this display: dbus-launch keeps a window that names the
# bus; ending that window's client ends the keeper, and the bus is ended too.
end_autolaunched_bus() {
  for window in $(xwininfo -root -children | awk '/^ +0x/ {print $1}'); do
    bus_pid=$(xprop -id "$window" _DBUS_SESSION_BUS_PID 2>/dev/null |
      sed -n 's/.*= *\([0-9][0-9]*\).*/\1/p')
    [ -n "$bus_pid" ] || continue
    xkill -id "$window" >/dev/null
    kill "$bus_pid" 2>/dev/null
  done
}

# The address of the bus autolaunched for this display.
autolaunched_address() {
  for window in $(xwininfo -root -children | awk '/^ +0x/ {print $1}'); do
    xprop -id "$window" _DBUS_SESSION_BUS_ADDRESS 2>/dev/null | sed -n 's/.*= *"\(.*\)"$/\1/p'
  done | head -n 1
}

status=0
# The healthy desktops come first, while no bus is registered with this display for X
# autolaunch; the stopped one that the autolaunch rows need is registered after them.
for shape in healthy-bus healthy-autolaunch healthy-no-bus silent abstract full tcp list first-line \
  runtime stopped-daemon unixexec hello-only hello-only-help fourth-connection registrar registrar-register ibus-portal a11y-service \
  reader-stopped-a11y registry-stopped root-property root-property-display autolaunch \
  autolaunch-address; do
  if [ "$shape" = autolaunch ]; then
    # The bus X autolaunch finds for this display (dbus-launch registers it with the X server),
    # with its daemon stopped.
    eval "$(dbus-launch --autolaunch="$machine" --sh-syntax --close-stderr)"
    autolaunched=$DBUS_SESSION_BUS_PID
    unset DBUS_SESSION_BUS_ADDRESS DBUS_SESSION_BUS_PID DBUS_SESSION_BUS_WINDOWID
    kill -STOP "$autolaunched"
  fi
  standin=
  case "$shape" in
    hello-only | hello-only-help) bus="unix:path=$work/hello-only" ;;
    fourth-connection) bus="unix:path=$work/relay" ;;
    healthy-bus | registrar | registrar-register | ibus-portal | a11y-service | \
      reader-stopped-a11y | registry-stopped | root-property | root-property-display)
      bus="unix:path=$work/session" ;;
  esac
  case "$shape" in
    registrar) standin=com.canonical.AppMenu.Registrar ;;
    ibus-portal) standin=org.freedesktop.portal.IBus ;;
    a11y-service) standin=org.a11y.Bus ;;
  esac
  rm -f "$work/owned"
  if [ -n "$standin" ]; then
    python3 "$work/standin.py" "hung:$standin" "$work/session" "$work/owned" &
    standin=$!
  elif [ "$shape" = registrar-register ]; then
    python3 "$work/standin.py" menu "$work/session" "$work/owned" &
    standin=$!
  elif [ "$shape" = reader-stopped-a11y ]; then
    python3 "$work/standin.py" reader "$work/session" "unix:path=$work/a11y" "$work/owned" &
    standin=$!
  elif [ "$shape" = registry-stopped ]; then
    # The registry owns its name on the live accessibility bus and never reads again.
    python3 "$work/standin.py" hung:org.a11y.atspi.Registry "$work/a11y-live" \
      "$work/registry" &
    relay=$!
    until [ -e "$work/registry" ]; do sleep 0.1; done
    python3 "$work/standin.py" reader "$work/session" "unix:path=$work/a11y-live" \
      "$work/owned" &
    standin=$!
  elif [ "$shape" = fourth-connection ]; then
    # Three connections go through to the working bus; the fourth is taken and never answered.
    python3 "$work/standin.py" relay "$work/relay" "$work/session" &
    standin=$!
    until [ -e "$work/relay.ready" ]; do sleep 0.1; done
    : >"$work/owned"
  else
    : >"$work/owned"
  fi
  # The X root window names a socket that listens and never answers as the accessibility bus:
  # the root window of $DISPLAY, or that of the display the game is given by -display alone.
  case "$shape" in
    root-property) xprop -root -f AT_SPI_BUS 8s -set AT_SPI_BUS "unix:path=$work/silent" ;;
    root-property-display)
      xprop -display "$other" -root -f AT_SPI_BUS 8s -set AT_SPI_BUS "unix:path=$work/silent" ;;
  esac
  waited=0
  until [ -e "$work/owned" ]; do
    waited=$((waited + 1))
    [ "$waited" -le 100 ] || { echo "$shape: the stand-in did not start" >&2; exit 1; }
    sleep 0.1
  done
  case "$shape" in
    silent) bus="unix:path=$work/silent" ;;
    abstract) bus="unix:abstract=$(basename "$work")-silent" ;;
    full) bus="unix:path=$work/full" ;;
    stopped-daemon) bus="unix:path=$work/a11y" ;;
    # A program libdbus starts and talks to through a socket pair, and that never answers: it
    # must not outlive the first start.
    unixexec) bus="unixexec:path=/bin/sleep,argv0=sleep,argv1=3600" ;;
    tcp) bus="$tcp" ;;
    list) bus="$closed;unix:path=$work/silent" ;;
    first-line) bus="unix:path=$work/first-line" ;;
    runtime) bus= runtime="$work/runtime" ;;
    autolaunch | healthy-autolaunch | healthy-no-bus) bus= runtime="$work/no-bus" ;;
    autolaunch-address) bus=autolaunch: ;;
    *) ;;
  esac
  display=$DISPLAY
  [ "$shape" = root-property-display ] && display=$other
  start=$(date +%s%N)
  if [ "$shape" = healthy-no-bus ]; then
    # No address, nothing at $XDG_RUNTIME_DIR/bus, and no X autolaunch: libdbus autolaunches only
    # with $DISPLAY set, and the game is given its display by -display alone.
    env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb \
      "$game" -display "$DISPLAY" &
  elif [ "$shape" = root-property-display ]; then
    DBUS_SESSION_BUS_ADDRESS="$bus" QT_QPA_PLATFORM=xcb "$game" -display "$other" &
  elif [ "$shape" = ibus-portal ]; then
    # Qt's way to IBus inside Flatpak.
    DBUS_SESSION_BUS_ADDRESS="$bus" QT_IM_MODULE=ibus IBUS_USE_PORTAL=1 QT_QPA_PLATFORM=xcb \
      "$game" &
  elif [ -n "$bus" ]; then
    DBUS_SESSION_BUS_ADDRESS="$bus" QT_QPA_PLATFORM=xcb "$game" &
  else
    env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb "$game" &
  fi
  game_pid=$!
  splash=
  # The main window is the one titled with the product name, once it is mapped (the window
  # may exist hidden long before); the splash's title is blank.
  while :; do
    elapsed=$((($(date +%s%N) - start) / 1000000))
    windows=$(xwininfo -display "$display" -root -tree 2>/dev/null)
    if [ -z "$splash" ] && printf '%s\n' "$windows" | grep -q '" ": ('; then
      splash=$elapsed
    fi
    shown=
    for window in $(printf '%s\n' "$windows" | awk '/"Tandrel Lunar Landing"/ {print $1}'); do
      xwininfo -display "$display" -id "$window" 2>/dev/null | grep -q IsViewable && shown=$window
    done
    if [ -n "$shown" ]; then
      echo "$shape: main window after $elapsed ms, splash after ${splash:-?} ms"
      # The game ignores SIGPIPE from its start: a write to a closed pipe fails, it ends nothing.
      ignored=$(sed -n 's/^SigIgn:\t//p' "/proc/$game_pid/status")
      if [ $((0x$ignored & (1 << 12))) -eq 0 ]; then
        echo "$shape: SIGPIPE is not ignored" >&2
        status=1
      fi
      # The start made again has this in the environment it was made with.
      started_again=
      if tr '\0' '\n' <"/proc/$game_pid/environ" | grep -q '^KELVOR_STARTED_AGAIN='; then
        started_again=yes
      fi
      case "$shape" in
        healthy-* | registrar | registrar-register | ibus-portal | fourth-connection)
          # The game asks none of these services, or they answer: it starts once, shows the
          # splash at once rather than after a check of the desktop, and keeps the session bus.
          if [ -n "$started_again" ]; then
            echo "$shape: the game started a second time" >&2
            status=1
          fi
          if [ -z "$splash" ] || [ "$splash" -ge 1500 ]; then
            echo "$shape: the splash came after ${splash:-?} ms" >&2
            status=1
          fi
          ;;
      esac
      kept="unix:path=$work/session"
      [ "$shape" = healthy-autolaunch ] && kept=$(autolaunched_address)
      case "$shape" in
        healthy-bus | healthy-autolaunch | registrar | registrar-register | ibus-portal)
          if ! busctl --address="$kept" list --no-legend 2>/dev/null |
            awk '{print $2}' | grep -qx "$game_pid"; then
            echo "$shape: the game gave up the session bus" >&2
            status=1
          fi
          ;;
      esac
      if [ -n "$(ps -o pid= --ppid "$game_pid")" ]; then
        echo "$shape: a child of the game's start is still there" >&2
        status=1
      fi
      # Once the main window shows, the watch over the start ends with its thread.
      sleep 0.5
      if cat "/proc/$game_pid"/task/*/comm 2>/dev/null | grep -qx 'start watch'; then
        echo "$shape: the start's watcher is still there after the main window" >&2
        status=1
      fi
      if [ "$shape" = hello-only-help ]; then
        xdotool windowfocus --sync "$shown" 2>/dev/null
        xdotool key --window "$shown" F1
        asked=$(date +%s%N)
        help=
        until [ -n "$help" ]; do
          waited=$((($(date +%s%N) - asked) / 1000000))
          for window in $(xwininfo -root -tree | awk '/\("assistant" "assistant"\)/ {print $1}'); do
            xwininfo -id "$window" | grep -q IsViewable && help=$waited
          done
          [ "$waited" -lt 6000 ] || break
          sleep 0.1
        done
        if [ -z "$help" ]; then
          echo "$shape: no help window within 6 s of F1" >&2
          status=1
        else
          echo "$shape: help window after $help ms"
        fi
      fi
      break
    fi
    if [ "$elapsed" -ge 6000 ]; then
      echo "$shape: no main window within 6 s" >&2
      status=1
      break
    fi
    sleep 0.1
  done
  kill -TERM "$game_pid" 2>/dev/null
  waited=0
  while kill -0 "$game_pid" 2>/dev/null && ! grep -qs '^State:.*Z' "/proc/$game_pid/status"; do
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
  [ -n "$standin" ] && kill "$standin" 2>/dev/null
  [ -n "$relay" ] && kill "$relay" 2>/dev/null
  relay=
  [ "$shape" = root-property ] && xprop -root -remove AT_SPI_BUS
  [ "$shape" = root-property-display ] && xprop -display "$other" -root -remove AT_SPI_BUS
  [ "$shape" = healthy-autolaunch ] && end_autolaunched_bus
done
exit "$status"
