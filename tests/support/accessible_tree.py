#!/usr/bin/python3
"""Reads the main window of the program through the AT-SPI accessibility tree,
as a screen reader does, and checks that

  * every focusable control that shows has a name, on each page of the window
    (the pages are chosen through the side bar's buttons' actions);
  * the recordings list has one row per recording, each named
    "NAME, SIZE, DURATION".

Usage: accessible_tree.py WINDOW_TITLE RECORDING_COUNT
Exit status 0 when every check holds, 1 otherwise, 2 when the window never
appeared in the tree."""

import re
import sys
import time

import pyatspi

TITLE = sys.argv[1]
RECORDINGS = int(sys.argv[2])
# The pages after the record page, as the side bar names them.
PAGES = ["视频剪切", "格式转换", "视频压缩"]
ROW_NAME = re.compile(r"^.+\.(mp4|flv|wmv|avi|mov|mkv), \d+(\.\d+)?(B|KB|M|G), \d\d:\d\d:\d\d$")


# The side bar's page buttons are exclusive, so they read as radio buttons.
BUTTON_ROLES = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_RADIO_BUTTON)


def find_window():
    """The main window's frame, waiting up to 30 s for the program."""
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is None:
                continue
            for window in app:
                if window is not None and window.name == TITLE:
                    return window
        time.sleep(0.2)
    return None


def walk(node, path=""):
    """Every accessible below `node` with its path of roles and names."""
    for child in node:
        if child is None:
            continue
        here = "%s/%s[%s]" % (path, child.getRoleName(), child.name)
        yield child, here
        yield from walk(child, here)


def showing_focusable(window):
    found = []
    for node, path in walk(window):
        states = node.getState()
        if states.contains(pyatspi.STATE_FOCUSABLE) and states.contains(pyatspi.STATE_SHOWING):
            found.append((node, path))
    return found


def list_rows(window):
    for node, _ in walk(window):
        if node.getRole() == pyatspi.ROLE_LIST and node.name == "录制列表":
            return [row.name for row in node if row is not None and row.getRole() == pyatspi.ROLE_LIST_ITEM]
    return None


def wait_for(check, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(0.2)
    return check()


def press(window, name):
    """Presses a button through its action, as a screen reader does; true once
    the button shows as checked. Prints what the button offers otherwise."""
    for node, _ in walk(window):
        if node.getRole() not in BUTTON_ROLES or node.name != name:
            continue
        action = node.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        for wanted in ("Press", "Toggle", "click", "press"):
            if wanted in names:
                action.doAction(names.index(wanted))
                break
        if wait_for(lambda: node.getState().contains(pyatspi.STATE_CHECKED), 5):
            return True
        print("  %s offers the actions %s and has the states %s" % (
            name, names, [pyatspi.stateToString(s) for s in node.getState().getStates()]))
        return False
    print("  no button named %s" % name)
    return False


def main():
    window = find_window()
    if window is None:
        print("FAILED: no window named %s in the accessibility tree" % TITLE)
        return 2
    failures = 0

    # The rows come while the event loop runs, their durations a little later.
    measured = lambda: (rows := list_rows(window)) is not None and len(rows) == RECORDINGS and all(
        ROW_NAME.match(name) for name in rows)
    if wait_for(measured, 30):
        print("ok: %d list rows named %s" % (RECORDINGS, list_rows(window)))
    else:
        print("FAILED: list rows %s, wanted %d named NAME, SIZE, DURATION" % (list_rows(window), RECORDINGS))
        failures += 1

    for page in [None] + PAGES:
        if page is not None and not press(window, page):
            print("FAILED: the side bar's button %s cannot be pressed through its action" % page)
            failures += 1
            continue
        shown = page or "录制视频"
        focusable = showing_focusable(window)
        unnamed = [path for node, path in focusable if not node.name.strip()]
        if len(focusable) < 5:
            print("FAILED: only %d focusable controls show on the page %s" % (len(focusable), shown))
            failures += 1
        for path in unnamed:
            print("FAILED: a focusable control without a name on the page %s: %s" % (shown, path))
        failures += len(unnamed)
        print("ok: page %s: %d focusable controls show, %d without a name" % (shown, len(focusable), len(unnamed)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
