"""A stand-in desktop notification service (org.freedesktop.Notifications) on the bus
named by DBUS_SESSION_BUS_ADDRESS, for the system tests.

Every call is written as one JSON line to the record file given as the first argument.
With --answer KEY it presses the notification's button KEY (emits ActionInvoked) a
moment after each Notify has been answered, as a user would.
Needs python3-dbus and python3-gi."""
import argparse
import json

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, record, answer):
        super().__init__(bus, PATH)
        self.record_path = record
        self.answer = answer
        self.next_id = 1

    def record(self, entry):
        with open(self.record_path, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ["fake", "kestrelio-tests", "1", "1.2"]

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        notification_id = int(replaces_id) or self.next_id
        self.next_id += 1
        self.record({"call": "Notify", "id": notification_id, "app_name": str(app_name),
                     "summary": str(summary), "body": str(body),
                     "actions": [str(a) for a in actions]})
        if self.answer:
            # After the reply has gone: a signal sent from inside the method would reach
            # the client before it knows the id.
            GLib.timeout_add(300, self.press, notification_id)
        return dbus.UInt32(notification_id)

    def press(self, notification_id):
        self.record({"call": "ActionInvoked", "id": notification_id, "action": self.answer})
        self.ActionInvoked(dbus.UInt32(notification_id), self.answer)
        return False

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, notification_id):
        self.record({"call": "CloseNotification", "id": int(notification_id)})
        self.NotificationClosed(notification_id, dbus.UInt32(3))

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, notification_id, action_key):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, notification_id, reason):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("record")
    parser.add_argument("--answer", default="")
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    service = Notifications(bus, args.record, args.answer)
    service.record({"call": "ready"})
    loop = GLib.MainLoop()
    _ = (name, service)
    loop.run()


if __name__ == "__main__":
    main()
