"""Reads and works a program through the AT-SPI accessibility bus, as an assistive tool does.

    atspi_probe.py tree APP              the program's accessible objects, as JSON
    atspi_probe.py press APP ROLE NAME   the "Press" action of the first object of that role and
                                         name; prints whether it was done, as JSON

Needs Debian's python3-pyatspi (so Debian's own interpreter, /usr/bin/python3) and the session
bus of the program in DBUS_SESSION_BUS_ADDRESS. Exits 1 when the program or the object is not
there."""

import json
import sys

import pyatspi


def application(name):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == name:
            return app
    sys.exit(f"no application named {name!r} on the accessibility bus")


def actions(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def tree(node):
    return {"role": node.getRoleName(), "name": node.name, "description": node.description,
            "actions": actions(node),
            "children": [tree(child) for child in node if child is not None]}


def find(node, role, name):
    if node.getRoleName() == role and node.name == name:
        return node
    for child in node:
        found = find(child, role, name) if child is not None else None
        if found is not None:
            return found
    return None


def main(argv):
    if len(argv) == 3 and argv[1] == "tree":
        print(json.dumps(tree(application(argv[2]))))
    elif len(argv) == 5 and argv[1] == "press":
        node = find(application(argv[2]), argv[3], argv[4])
        if node is None:
            sys.exit(f"no {argv[3]} named {argv[4]!r}")
        names = actions(node)
        if "Press" not in names:
            sys.exit(f"the {argv[3]} {argv[4]!r} has no Press action, only {names}")
        print(json.dumps(node.queryAction().doAction(names.index("Press"))))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
