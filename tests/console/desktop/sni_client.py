#!/usr/bin/env python3
"""Plays a StatusNotifier tray host's part towards the items the fake watcher holds.

  sni_client.py items                    registered items, one a line ("service/path")
  sni_client.py wait-item [--timeout S]  waits for an item and prints it
  sni_client.py activate ITEM [X Y]      a click on the icon (Activate)
  sni_client.py context-menu ITEM [X Y]  a right click on an icon without a menu (ContextMenu)
  sni_client.py menu-path ITEM           the item's Menu object path
  sni_client.py menu-labels ITEM         the labels of the item's menu entries, one a line
  sni_client.py menu-click ITEM LABEL    triggers the menu entry of that label (com.canonical.dbusmenu)

Exit codes: 0 done, 2 no such item or no answer in time, 3 no menu entry of that label,
4 the item has no menu.  Every call waits at most a few seconds.
"""

import argparse
import sys
import time

import dbus

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
PROPERTIES = "org.freedesktop.DBus.Properties"
NO_MENU_PATHS = ("", "/", "/NO_DBUSMENU")
CALL_TIMEOUT = 5.0


class Failure(Exception):
    def __init__(self, code, text):
        super().__init__(text)
        self.code = code


def registered_items(bus):
    watcher = bus.get_object(WATCHER, "/StatusNotifierWatcher")
    items = watcher.Get(WATCHER, "RegisteredStatusNotifierItems", dbus_interface=PROPERTIES,
                        timeout=CALL_TIMEOUT)
    return [str(item) for item in items]


def split_item(item):
    service, _, path = item.partition("/")
    return service, "/" + path if path else "/StatusNotifierItem"


def item_object(bus, item):
    service, path = split_item(item)
    return bus.get_object(service, path, introspect=False)


def menu_object(bus, item):
    service, _ = split_item(item)
    path = str(item_object(bus, item).Get(ITEM, "Menu", dbus_interface=PROPERTIES,
                                          timeout=CALL_TIMEOUT))
    if path in NO_MENU_PATHS:
        raise Failure(4, "the item has no menu (Menu is %r)" % path)
    return bus.get_object(service, path, introspect=False)


def plain_label(label):
    # dbusmenu marks a mnemonic with "_" ("__" is a literal underscore).
    return label.replace("__", "\0").replace("_", "").replace("\0", "_")


def menu_entries(menu):
    menu.AboutToShow(dbus.Int32(0), dbus_interface=MENU, timeout=CALL_TIMEOUT)
    _, layout = menu.GetLayout(dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s"),
                               dbus_interface=MENU, timeout=CALL_TIMEOUT)
    entries = []

    def walk(node):
        node_id, props, children = node
        if "label" in props and props.get("type", "standard") != "separator":
            entries.append((int(node_id), plain_label(str(props["label"])),
                            bool(props.get("enabled", True)), bool(props.get("visible", True))))
        for child in children:
            walk(child)

    walk(layout)
    return entries


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    sub.add_parser("items")
    wait = sub.add_parser("wait-item")
    wait.add_argument("--timeout", type=float, default=20.0)
    for name in ("activate", "context-menu"):
        p = sub.add_parser(name)
        p.add_argument("item")
        p.add_argument("x", nargs="?", type=int, default=10)
        p.add_argument("y", nargs="?", type=int, default=10)
    sub.add_parser("menu-path").add_argument("item")
    sub.add_parser("menu-labels").add_argument("item")
    click = sub.add_parser("menu-click")
    click.add_argument("item")
    click.add_argument("label")
    args = parser.parse_args()

    bus = dbus.SessionBus()
    try:
        if args.command == "items":
            print("\n".join(registered_items(bus)))
        elif args.command == "wait-item":
            deadline = time.monotonic() + args.timeout
            while True:
                items = registered_items(bus)
                if items:
                    print(items[0])
                    break
                if time.monotonic() > deadline:
                    raise Failure(2, "no item registered within %g s" % args.timeout)
                time.sleep(0.1)
        elif args.command == "activate":
            item_object(bus, args.item).Activate(dbus.Int32(args.x), dbus.Int32(args.y),
                                                 dbus_interface=ITEM, timeout=CALL_TIMEOUT)
        elif args.command == "context-menu":
            item_object(bus, args.item).ContextMenu(dbus.Int32(args.x), dbus.Int32(args.y),
                                                    dbus_interface=ITEM, timeout=CALL_TIMEOUT)
        elif args.command == "menu-path":
            print(item_object(bus, args.item).Get(ITEM, "Menu", dbus_interface=PROPERTIES,
                                                  timeout=CALL_TIMEOUT))
        elif args.command == "menu-labels":
            for _, label, enabled, visible in menu_entries(menu_object(bus, args.item)):
                print(label + ("" if enabled else " (disabled)") + ("" if visible else " (hidden)"))
        elif args.command == "menu-click":
            menu = menu_object(bus, args.item)
            entries = menu_entries(menu)
            ids = [entry_id for entry_id, label, _, _ in entries if label == args.label]
            if not ids:
                raise Failure(3, "no menu entry %r; the menu has %r"
                              % (args.label, [label for _, label, _, _ in entries]))
            menu.Event(dbus.Int32(ids[0]), "clicked", dbus.Int32(0, variant_level=1),
                       dbus.UInt32(int(time.time()) & 0xFFFFFFFF), dbus_interface=MENU,
                       timeout=CALL_TIMEOUT)
    except Failure as failure:
        print("sni_client: %s" % failure, file=sys.stderr)
        return failure.code
    except dbus.exceptions.DBusException as error:
        print("sni_client: %s: %s" % (error.get_dbus_name(), error.get_dbus_message()),
              file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
