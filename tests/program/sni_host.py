#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A StatusNotifierWatcher with a host of its own, as KDE Plasma's panel or GNOME's AppIndicator
extension provide them, on the session bus it is started on.

Prints "ready" once the watcher's name is owned and the host registered, then for each item that
registers "item SERVICE PATH Id=... Status=..." (read back from the item, as a host does before
showing it), and "gone SERVICE" when an item's owner leaves the bus."""

import os
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
INTERFACE = Gio.DBusNodeInfo.new_for_xml("""
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
</node>""").interfaces[0]

items = {}  # owner's unique name -> "service/path", as the watcher lists them
hosts = set()
connection = None


def say(line):
    print(line, flush=True)


def item_gone(_connection, name):
    entry = items.pop(name, None)
    if entry is not None:
        connection.emit_signal(None, "/StatusNotifierWatcher", WATCHER, "StatusNotifierItemUnregistered",
                               GLib.Variant("(s)", (entry,)))
        say(f"gone {name}")


def show_item(service, path):
    """The host's side: reads the item's properties before it would draw the icon."""
    def got(proxy, result):
        props = proxy.call_finish(result).unpack()[0]
        say(f"item {service} {path} Id={props.get('Id')} Status={props.get('Status')}")
    connection.call(service, path, "org.freedesktop.DBus.Properties", "GetAll", GLib.Variant("(s)", (ITEM,)),
                    GLib.VariantType("(a{sv})"), Gio.DBusCallFlags.NONE, 2000, None, got)


def method_call(_connection, sender, _path, _interface, method, parameters, invocation):
    argument = parameters.unpack()[0]
    if method == "RegisterStatusNotifierItem":
        # An item names its bus name (its object then at /StatusNotifierItem) or its path alone.
        service, path = (sender, argument) if argument.startswith("/") else (argument, "/StatusNotifierItem")
        owner = sender
        entry = service + path
        if owner not in items:
            items[owner] = entry
            Gio.bus_watch_name_on_connection(connection, owner, Gio.BusNameWatcherFlags.NONE, None, item_gone)
            connection.emit_signal(None, "/StatusNotifierWatcher", WATCHER, "StatusNotifierItemRegistered",
                                   GLib.Variant("(s)", (entry,)))
            show_item(service, path)
    else:
        hosts.add(argument)
        connection.emit_signal(None, "/StatusNotifierWatcher", WATCHER, "StatusNotifierHostRegistered", None)
    invocation.return_value(None)


def get_property(_connection, _sender, _path, _interface, name):
    if name == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", sorted(items.values()))
    if name == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", bool(hosts))
    return GLib.Variant("i", 0)


def register_host():
    # The host is a client of the watcher like any panel: it owns its name, then registers it.
    host = f"org.kde.StatusNotifierHost-{os.getpid()}"
    connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                         GLib.Variant("(su)", (host, 4)), None, Gio.DBusCallFlags.NONE, 2000, None)

    def registered(conn, result):
        conn.call_finish(result)
        say("ready")
    connection.call(WATCHER, "/StatusNotifierWatcher", WATCHER, "RegisterStatusNotifierHost",
                    GLib.Variant("(s)", (host,)), None, Gio.DBusCallFlags.NONE, 2000, None, registered)


def name_acquired(_connection, _name):
    register_host()


def name_lost(_connection, _name):
    say("the watcher's name is taken")
    sys.exit(1)


def main():
    global connection
    connection = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    connection.register_object("/StatusNotifierWatcher", INTERFACE, method_call, get_property, None)
    Gio.bus_own_name_on_connection(connection, WATCHER, Gio.BusNameOwnerFlags.DO_NOT_QUEUE, name_acquired, name_lost)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
