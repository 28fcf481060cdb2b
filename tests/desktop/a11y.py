#!/usr/bin/python3
"""What a screen reader sees of the running program, through the accessibility bus.

    a11y.py names             role and name of every control of the main window that takes
                              the focus or has an action, one per line
    a11y.py focused           the name of the control that has the focus
    a11y.py do NAME ACTION    runs the named action ("Toggle", "Press") of control NAME
    a11y.py checked NAME      succeeds when control NAME is checked
    a11y.py value NAME        the control's value as a screen reader reads it
    a11y.py extents NAME      its place on the screen: X Y W H

Controls are looked for in the window titled "Tarnwick Echora".
"""
import sys

import pyatspi


def main_window():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "echora":
            continue
        for window in app:
            if window is not None and window.name == "Tarnwick Echora":
                return window
    sys.exit("no main window on the accessibility bus")


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def control(name):
    for node in walk(main_window()):
        if node.name == name and node.getRole() != pyatspi.ROLE_LABEL:
            return node
    sys.exit(f"no control named {name!r}")


def interactive(node):
    states = node.getState()
    try:
        actions = node.queryAction().nActions
    except NotImplementedError:
        actions = 0
    return states.contains(pyatspi.STATE_FOCUSABLE) or actions > 0


def main(argv):
    command = argv[1]
    if command == "names":
        for node in walk(main_window()):
            # Tabs are named by their captions, and scroll bars belong to their memo.
            if node.getRole() not in (pyatspi.ROLE_FRAME, pyatspi.ROLE_PAGE_TAB_LIST,
                                      pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_SCROLL_BAR) \
                    and interactive(node):
                print(f"{node.getRoleName()}\t{node.name}")
    elif command == "focused":
        for node in walk(main_window()):
            if node.getState().contains(pyatspi.STATE_FOCUSED):
                print(node.name)
                return
        sys.exit("nothing focused")
    elif command == "do":
        node, wanted = control(argv[2]), argv[3].lower()
        action = node.queryAction()
        for index in range(action.nActions):
            if action.getName(index).lower() == wanted:
                action.doAction(index)
                return
        sys.exit(f"{argv[2]!r} has no action {argv[3]!r}")
    elif command == "checked":
        sys.exit(0 if control(argv[2]).getState().contains(pyatspi.STATE_CHECKED) else 1)
    elif command == "value":
        node = control(argv[2])
        print(node.description or node.queryValue().currentValue)
    elif command == "extents":
        box = control(argv[2]).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x, box.y, box.width, box.height)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
