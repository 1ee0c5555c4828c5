#!/usr/bin/env python3
"""A StatusNotifierWatcher and host for a private D-Bus session bus.

Owns org.kde.StatusNotifierWatcher at /StatusNotifierWatcher, as a desktop's tray does: items
register with RegisterStatusNotifierItem, the watcher reports a registered host, and an item whose
bus name goes away is dropped.  It draws nothing; tests reach the registered items through
sni_client.py.  Ends by itself after --lifetime seconds, or on SIGTERM/SIGINT.
"""

import argparse
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
ITEM_PATH = "/StatusNotifierItem"
HOST = "org.kde.StatusNotifierHost-fake"
PROPERTIES = "org.freedesktop.DBus.Properties"
INTROSPECTABLE = "org.freedesktop.DBus.Introspectable"

# Written out, since dbus-python's own introspection leaves out the properties, and QtDBus reads
# a property only when the introspection declares it.
INTROSPECTION = """<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
    <method name="Set"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="in"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg type="s" direction="out"/></method>
  </interface>
</node>
"""


class Watcher(dbus.service.Object):
    def __init__(self, bus, log):
        self._bus = bus
        self._log = log
        self._items = []  # "service/path", as the KDE watcher reports them
        self._hosts = []
        super().__init__(bus, WATCHER_PATH)
        bus.add_signal_receiver(self._owner_changed, signal_name="NameOwnerChanged",
                                dbus_interface="org.freedesktop.DBus")

    def _say(self, text):
        print(text, file=self._log, flush=True)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # A path means "this object of the caller"; a bus name means its /StatusNotifierItem.
        if service.startswith("/"):
            item = sender + service
        else:
            item = service + ITEM_PATH
        if item not in self._items:
            self._items.append(item)
            self._say("item registered: %s (by %s)" % (item, sender))
            self.StatusNotifierItemRegistered(item)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierHost(self, service, sender=None):
        if service not in self._hosts:
            self._hosts.append(service)
            self.StatusNotifierHostRegistered()

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemUnregistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    def _owner_changed(self, name, old, new):
        if new:
            return
        for item in list(self._items):
            service = item.split("/", 1)[0]
            if service in (name, old):
                self._items.remove(item)
                self._say("item unregistered: %s" % item)
                self.StatusNotifierItemUnregistered(item)

    def _properties(self):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self._items, signature="s"),
            # The fake itself is the host that shows the items.
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        props = self._properties()
        if interface != WATCHER or name not in props:
            raise dbus.exceptions.DBusException("no property %s.%s" % (interface, name),
                                                name="org.freedesktop.DBus.Error.UnknownProperty")
        return props[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self._properties() if interface == WATCHER else {}

    @dbus.service.method(INTROSPECTABLE, in_signature="", out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(PROPERTIES, in_signature="ssv", out_signature="")
    def Set(self, interface, name, value):
        raise dbus.exceptions.DBusException("read-only",
                                            name="org.freedesktop.DBus.Error.PropertyReadOnly")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lifetime", type=float, default=600.0,
                        help="seconds after which the watcher ends by itself")
    args = parser.parse_args()

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus, sys.stdout)
    # The names last: whoever sees them owned finds the objects already there.
    host_name = dbus.service.BusName(HOST, bus, do_not_queue=True)
    watcher_name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    watcher.RegisterStatusNotifierHost(HOST, sender=bus.get_unique_name())

    loop = GLib.MainLoop()
    for signum in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_HIGH, signum, loop.quit)
    GLib.timeout_add(int(args.lifetime * 1000), loop.quit)
    print("watcher ready on %s" % bus.get_unique_name(), flush=True)
    loop.run()
    del watcher_name, host_name


if __name__ == "__main__":
    main()
