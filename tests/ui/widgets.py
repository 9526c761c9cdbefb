#!/usr/bin/python3
# Prints the widgets of a running Qt program's windows, read through the accessibility bus:
# one line per widget, "role|name|flags|x,y,w,h|text", where flags holds e (enabled), v (showing)
# and c (checked), and x,y are on the screen. Usage: widgets.py <pid> [window title]
import sys
import dbus

ACC = "org.a11y.atspi.Accessible"
ENABLED, CHECKED, SHOWING = 8, 4, 25


def a11yBus():
    session = dbus.SessionBus()
    address = session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(dbus_interface="org.a11y.Bus")
    return dbus.bus.BusConnection(str(address))


def flat(text):
    return text.replace("\r", "\\r").replace("\n", "\\n").replace("|", "/")


def walk(bus, name, path, out, depth=0):
    obj = bus.get_object(name, path, introspect=False)
    acc = dbus.Interface(obj, ACC)
    props = dbus.Interface(obj, "org.freedesktop.DBus.Properties")
    role = str(acc.GetRoleName())
    label = str(props.Get(ACC, "Name"))
    states = acc.GetState()
    bits = int(states[0]) | (int(states[1]) << 32)
    flags = ("e" if bits >> ENABLED & 1 else "") + ("v" if bits >> SHOWING & 1 else "") + \
            ("c" if bits >> CHECKED & 1 else "")
    ifaces = [str(i) for i in acc.GetInterfaces()]
    box = ""
    if "org.a11y.atspi.Component" in ifaces:
        x, y, w, h = obj.GetExtents(dbus.UInt32(0), dbus_interface="org.a11y.atspi.Component")
        box = "%d,%d,%d,%d" % (x, y, w, h)
    text = ""
    if "org.a11y.atspi.Text" in ifaces and role in ("text", "entry", "password text", "label", "combo box"):
        text = str(obj.GetText(0, -1, dbus_interface="org.a11y.atspi.Text"))
    out.append("|".join([role, flat(label), flags, box, flat(text)]))
    if depth > 40:
        return
    for child in acc.GetChildren():
        walk(bus, str(child[0]), child[1], out, depth + 1)


def main():
    pid = int(sys.argv[1])
    title = sys.argv[2] if len(sys.argv) > 2 else None
    bus = a11yBus()
    dbusProxy = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    root = dbus.Interface(bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"), ACC)
    out = []
    for app in root.GetChildren():
        name = str(app[0])
        if int(dbusProxy.GetConnectionUnixProcessID(name, dbus_interface="org.freedesktop.DBus")) != pid:
            continue
        appAcc = dbus.Interface(bus.get_object(name, app[1], introspect=False), ACC)
        for win in appAcc.GetChildren():
            wobj = bus.get_object(name, win[1], introspect=False)
            wname = str(dbus.Interface(wobj, "org.freedesktop.DBus.Properties").Get(ACC, "Name"))
            if title is None or wname == title:
                walk(bus, name, win[1], out)
    print("\n".join(out))
    return 0 if out else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except dbus.DBusException as e:
        print("widgets.py: %s" % e, file=sys.stderr)
        sys.exit(2)
