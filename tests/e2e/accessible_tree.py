#!/usr/bin/python3
"""Prints what a screen reader finds of one application on the accessibility
bus: a line per object, its role and its name, depth first, indented by depth.
The roles a test expects are named here: AT-SPI's own names for them changed
between releases ("push button", "button") while the role stayed the same.
Usage: accessible_tree.py APPLICATION (its name on the bus). Waits up to 10 s
for the application to show its window."""
import sys
import time

import pyatspi

ROLES = {
    pyatspi.ROLE_APPLICATION: "application",
    pyatspi.ROLE_FRAME: "frame",
    pyatspi.ROLE_PUSH_BUTTON: "push button",
    pyatspi.ROLE_TEXT: "text",
}


def application(name):
    for _ in range(100):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name and app.childCount > 0:
                return app
        time.sleep(0.1)
    sys.exit(f"{name} is not on the accessibility bus")


def show(accessible, depth=0):
    role = ROLES.get(accessible.getRole(), accessible.getRoleName())
    print(f"{'  ' * depth}{role} '{accessible.name}'")
    for child in accessible:
        show(child, depth + 1)


show(application(sys.argv[1]))
