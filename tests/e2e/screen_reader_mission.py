#!/usr/bin/python3
"""Plays one mission of the real game the way a screen reader does, through AT-SPI.

Started by run_screen_reader_test.sh inside its own X server and D-Bus session, and by
tests/desktop/run_wayland_test.sh under a Wayland compositor. Every wait polls with a deadline;
the game is ended whatever happens.

Usage: screen_reader_mission.py [--about] [--without-system-info] [--help-viewer] [--exit]
                               [--on-x11] <path of kelvor>
  --about                after the mission, open the About dialog from the Help menu and close
                         it with OK
  --without-system-info  the same, pressing System Info first: with no key store, it says so
  --help-viewer          after the mission, open Help topics: the help viewer starts on the
                         help collection in the program's folder and keeps running
  --exit                 end with Game > Exit and expect the game to end by itself with status 0
  --on-x11               expect the main window on the X server named by DISPLAY (the game chose X)
"""

import argparse
import os
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import Atspi, GLib

MAIN_TITLE = "Tandrel Lunar Landing"
UNAVAILABLE = "System Information Is Unavailable At This Time"
ABOUT_TITLE = "About Tandrel Lunar landing"
TIMEOUT = 20.0  # seconds for any one thing to show up
POLL = 0.05


class Failure(Exception):
    pass


def pump():
    """Delivers AT-SPI events that arrived to the listeners."""
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_for(what, probe, timeout=TIMEOUT):
    """Polls probe() until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    last_error = None
    while time.monotonic() < deadline:
        pump()
        try:
            found = probe()
            if found:
                return found
        except Exception as error:  # objects come and go while windows open and close
            last_error = error
        time.sleep(POLL)
    raise Failure("timed out waiting for %s%s" % (what, " (%s)" % last_error if last_error else ""))


def game_application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def top_level_windows(app):
    return [app.getChildAtIndex(i) for i in range(app.childCount)]


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def find(root, role, name):
    found = pyatspi.findDescendant(root, lambda a: a is not None and a.getRole() == role
                                   and a.name == name)
    if found is None:
        raise Failure("no %s named %r" % (role, name))
    return found


def do_action(accessible, wanted=("press", "click", "activate", "toggle")):
    action = accessible.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for i, name in enumerate(names):
        if name.lower() in wanted:
            if not action.doAction(i):
                raise Failure("%r refused the action %r" % (accessible.name, name))
            return
    raise Failure("%r offers no press action, only %r" % (accessible.name, names))


def description(accessible):
    accessible.clear_cache()
    return accessible.description


def on_x11_display(title):
    """Whether the X server named by DISPLAY holds a window with this title."""
    listing = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True,
                             timeout=10, check=False).stdout
    return ('"%s"' % title) in listing


def do_unanswered_action(accessible):
    """Presses a menu item whose answer never comes in time: Qt answers a press that opens a
    modal dialog only once the dialog is closed again, and one that ends the program not at all.
    Whether the press worked shows in what happens next."""
    Atspi.set_timeout(1000, 1000)
    try:
        do_action(accessible)
    except GLib.GError as error:
        if not any(cause in str(error).lower()
                   for cause in ("did not receive a reply", "disconnected")):
            raise
    finally:
        Atspi.set_timeout(800, 15000)  # libatspi's own limits


def open_and_close_about(app, window, system_info=False):
    do_unanswered_action(find(window, pyatspi.ROLE_MENU_ITEM, "About Tandrel Lunar Landing"))
    dialog = wait_for("the About dialog", lambda: next(
        (w for w in top_level_windows(app)
         if w.getRole() == pyatspi.ROLE_DIALOG and w.name == ABOUT_TITLE and showing(w)), None))
    print("About dialog %r showing" % dialog.name)
    if system_info:
        do_unanswered_action(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "System Info"))
        box = wait_for("the message that System Info is unavailable", lambda: next(
            (w for w in top_level_windows(app) if w.name != ABOUT_TITLE and showing(w)
             and pyatspi.findDescendant(w, lambda a: a is not None and a.name == UNAVAILABLE)),
            None))
        do_action(find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"))
        wait_for("the message to close", lambda: not showing(box))
        print("System Info says %r" % UNAVAILABLE)
    do_action(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "OK"))
    wait_for("the About dialog to close", lambda: not any(
        w.name == ABOUT_TITLE and showing(w) for w in top_level_windows(app)))
    print("About dialog closed with OK")


def children(pid):
    """The command lines of the processes whose parent is pid."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as stat:
                if int(stat.read().rsplit(")", 1)[1].split()[1]) != pid:
                    continue
            with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                found.append([os.fsdecode(arg) for arg in cmdline.read().split(b"\0")[:-1]])
        except (OSError, ValueError, IndexError):
            pass  # not a process, or one that has ended
    return found


def open_help(app, window, game, kelvor):
    collection = os.path.join(os.path.dirname(os.path.realpath(kelvor)), "Kelvor.hlp")
    do_action(find(window, pyatspi.ROLE_MENU_ITEM, "Help topics"))

    def viewer():
        return next((args for args in children(game.pid) if collection in args), None)
    args = wait_for("the help viewer on %s" % collection, viewer)
    print("help viewer started: %s" % " ".join(args))
    time.sleep(2)
    if not viewer():
        raise Failure("the help viewer ended at once")
    if any(w.name != MAIN_TITLE and showing(w) for w in top_level_windows(app)):
        raise Failure("the game shows a message after Help topics")
    print("help viewer still running, no message from the game")


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--about", action="store_true")
    parser.add_argument("--without-system-info", action="store_true")
    parser.add_argument("--help-viewer", action="store_true")
    parser.add_argument("--exit", action="store_true")
    parser.add_argument("--on-x11", action="store_true")
    parser.add_argument("kelvor")
    options = parser.parse_args()
    game = subprocess.Popen([options.kelvor], start_new_session=True)
    announced = []

    def on_description(event):
        announced.append((event.source.name, event.source.description))

    try:
        app = wait_for("the game on the accessibility bus", lambda: game_application(game.pid))
        print("game registered as %r" % app.name)

        # The splash is an untitled window shown before the main window.
        wait_for("the splash window", lambda: any(
            w.name != MAIN_TITLE and showing(w) for w in top_level_windows(app)))
        print("splash window showing")
        window = wait_for("the main window", lambda: next(
            (w for w in top_level_windows(app)
             if w.getRole() == pyatspi.ROLE_FRAME and w.name == MAIN_TITLE and showing(w)), None))
        print("main window %r showing" % window.name)
        if options.on_x11:
            wait_for("the main window on the X server", lambda: on_x11_display(MAIN_TITLE))
            print("main window is a window of the X server %s" % os.environ.get("DISPLAY"))

        labels = {name: find(window, pyatspi.ROLE_LABEL, name) for name in (
            "Time (seconds)", "Speed (feet/sec.)", "Altitude (feet)", "Fuel (lb)", "Jet thruster",
            "Lunar module computer")}
        for name, label in labels.items():
            if label.parent.name != name:
                raise Failure("the frame of %r reads as %r" % (name, label.parent.name))
        bar = find(window, pyatspi.ROLE_SCROLL_BAR, "Jet thruster")
        ignite = find(window, pyatspi.ROLE_PUSH_BUTTON, "Ignite")
        for button in ("Start new mission", "Stop mission", "Help", "About Tandrel Lunar Landing",
                       "Tandrel web site"):
            find(find(window, pyatspi.ROLE_TOOL_BAR, ""), pyatspi.ROLE_PUSH_BUTTON, button)
        print("readouts, thruster bar, Ignite and toolbar buttons found by their names")

        do_action(find(window, pyatspi.ROLE_MENU_ITEM, "Start new mission"))
        wait_for("the burn controls to be enabled", lambda: ignite.getState().contains(
            pyatspi.STATE_ENABLED) and bar.getState().contains(pyatspi.STATE_ENABLED))
        print("mission started from the Game menu")

        value = bar.queryValue()
        if (value.minimumValue, value.maximumValue) != (0, 30):
            raise Failure("thruster range %r..%r, expected 0..30"
                          % (value.minimumValue, value.maximumValue))
        # Away and back, so that the burn readout shows the bar's value really is followed.
        value.currentValue = 7
        wait_for("the burn readout to read 7", lambda: description(labels["Jet thruster"]) == "7")
        value.currentValue = 0
        wait_for("the burn readout to read 0", lambda: description(labels["Jet thruster"]) == "0")
        print("burn set to 0 through the bar's value")

        pyatspi.Registry.registerEventListener(on_description,
                                               "object:property-change:accessible-description")
        do_action(ignite)
        expected = {"Time (seconds)": "1", "Speed (feet/sec.)": "55", "Altitude (feet)": "447.5",
                    "Fuel (lb)": "120"}
        for name, reading in expected.items():
            wait_for("%s to read %s" % (name, reading),
                     lambda: description(labels[name]) == reading)
            print("%s reads %s" % (name, reading))
        for name in ("Time (seconds)", "Speed (feet/sec.)", "Altitude (feet)"):
            wait_for("the new %s to be announced" % name,
                     lambda: (name, expected[name]) in announced, timeout=5)
        if any(name == "Fuel (lb)" for name, _ in announced):
            raise Failure("the unchanged fuel reading was announced again: %r" % announced)
        print("new readings announced, the unchanged fuel not: %r" % announced)

        do_action(find(window, pyatspi.ROLE_MENU_ITEM, "Stop mission"))
        report = wait_for("the abort report", lambda: "Mission aborted" in description(
            labels["Lunar module computer"]) and description(labels["Lunar module computer"]))
        print("console reads %r" % report)
        if ignite.getState().contains(pyatspi.STATE_ENABLED):
            raise Failure("Ignite still enabled after Stop mission")

        if options.about or options.without_system_info:
            open_and_close_about(app, window, options.without_system_info)
        if options.help_viewer:
            open_help(app, window, game, options.kelvor)
        if options.exit:
            do_unanswered_action(find(window, pyatspi.ROLE_MENU_ITEM, "Exit"))
            try:
                status = game.wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                raise Failure("the game still runs %g s after Game > Exit" % TIMEOUT)
            if status != 0:
                raise Failure("the game ended with status %d after Game > Exit" % status)
            print("Game > Exit ended the game with status 0")
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        try:
            pyatspi.Registry.deregisterEventListener(
                on_description, "object:property-change:accessible-description")
        except Exception:
            pass
        end(game)
    print("PASS: a mission played through AT-SPI")
    return 0


def end(game):
    if game.poll() is None:
        os.killpg(game.pid, signal.SIGTERM)
        try:
            game.wait(timeout=5)
        except subprocess.TimeoutExpired:
            os.killpg(game.pid, signal.SIGKILL)
            game.wait()


if __name__ == "__main__":
    sys.exit(main())
