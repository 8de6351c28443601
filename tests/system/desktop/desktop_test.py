"""The handset on a desktop: the incoming-call notification over a private session bus
answers the call when its Accept button is pressed, it goes when the prompt closes, a
handset without a bus says so once and rings in the window alone, and the window opens
at twice the phone size on a 1920x1080 screen and keeps the place it is moved to
(screenshots in /tmp/desktop-*.png)."""
import json
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from call_rig import CallRig, NAME_A, NUMBER_A, box_with  # noqa: E402
from handset_driver import Handset, build_bin, temp_dir, wait_until  # noqa: E402
from xvfb import start_xvfb  # noqa: E402

LIB = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib")


def dbus_python():
    """An interpreter that has python3-dbus and python3-gi, or None."""
    for candidate in (sys.executable, "/usr/bin/python3"):
        if candidate and os.path.exists(candidate) and subprocess.run(
                [candidate, "-c", "import dbus, gi"], capture_output=True).returncode == 0:
            return candidate
    return None


class PrivateBus:
    """dbus-daemon --session on an address of its own, with the fake notification
    service on it."""

    def __init__(self, workdir, answer):
        out = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                              "--print-pid=1"], check=True, capture_output=True, text=True)
        lines = out.stdout.split()
        self.address, self.pid = lines[0], int(lines[1])
        self.record_path = os.path.join(workdir, "notifications.jsonl")
        self.service_log = open(os.path.join(workdir, "notifications.log"), "w")
        self.service = subprocess.Popen(
            [dbus_python(), os.path.join(LIB, "fake_notifications.py"), self.record_path,
             "--answer", answer],
            env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address),
            stdout=self.service_log, stderr=subprocess.STDOUT)
        if not wait_until(lambda: self.calls("ready"), 15):
            self.close()
            raise RuntimeError("the fake notification service did not start")

    def records(self):
        if not os.path.exists(self.record_path):
            return []
        with open(self.record_path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    def calls(self, name):
        return [r for r in self.records() if r["call"] == name]

    def close(self):
        if self.service.poll() is None:
            self.service.terminate()
            self.service.wait()
        self.service_log.close()
        try:
            os.kill(self.pid, 15)
        except OSError:
            pass


@unittest.skipUnless(shutil.which("dbus-daemon") and dbus_python(),
                     "needs dbus-daemon, python3-dbus and python3-gi")
class NotificationTest(unittest.TestCase):
    def setUp(self):
        self.workdir, self.cleanup = temp_dir("kestrelio-desktop-")
        self.bus = None
        self.rig = None

    def tearDown(self):
        if self.rig:
            self.rig.close()
        if self.bus:
            self.bus.close()
        self.cleanup()

    def test_accept_on_the_notification_answers_the_call_and_the_notification_goes(self):
        self.bus = PrivateBus(self.workdir, answer="accept")
        self.rig = rig = CallRig(self.workdir, base="127.0.7",
                                 env={"DBUS_SESSION_BUS_ADDRESS": self.bus.address})
        rig.dial(rig.ra, rig.number_b)
        rig.rb.wait_for(lambda s: box_with(s, "Connection") is not None, 15)
        # Nobody touches the prompt: the fake service presses Accept.
        rig.rb.wait_for(lambda s: s["flags"]["in_call"], 15)
        rig.ra.wait_for(lambda s: s["flags"]["in_call"], 10)
        notify = self.bus.calls("Notify")
        self.assertEqual(len(notify), 1, notify)
        self.assertEqual(notify[0]["summary"], "Incoming call from %s (%s)" % (NAME_A, NUMBER_A))
        self.assertEqual(notify[0]["actions"], ["accept", "Accept", "decline", "Decline"])
        self.assertTrue(self.bus.calls("ActionInvoked"))
        # The prompt has closed: the notification is taken down, the flashing stops.
        closed = wait_until(lambda: self.bus.calls("CloseNotification"), 10)
        self.assertEqual([c["id"] for c in closed], [notify[0]["id"]])
        state = rig.rb.wait_for(lambda s: not s["window"]["ringing"], 10)
        self.assertIsNone(box_with(state, "Connection"))

    def test_a_prompt_answered_in_the_window_closes_its_notification(self):
        self.bus = PrivateBus(self.workdir, answer="")
        self.rig = rig = CallRig(self.workdir, base="127.0.8",
                                 env={"DBUS_SESSION_BUS_ADDRESS": self.bus.address})
        rig.dial(rig.ra, rig.number_b)
        rig.rb.wait_for(lambda s: s["window"]["ringing"], 15)
        notify = wait_until(lambda: self.bus.calls("Notify"), 10)
        self.assertEqual(len(notify), 1)
        rig.rb.call("answer", "Connection", "no")
        closed = wait_until(lambda: self.bus.calls("CloseNotification"), 10)
        self.assertEqual([c["id"] for c in closed], [notify[0]["id"]])
        rig.rb.wait_for(lambda s: not s["window"]["ringing"], 10)
        self.assertFalse(rig.rb.state()["flags"]["in_call"])

    def test_without_a_session_bus_the_notification_is_skipped_with_one_line(self):
        missing = "unix:path=" + os.path.join(self.workdir, "no-bus")
        self.rig = rig = CallRig(self.workdir, base="127.0.9",
                                 env={"DBUS_SESSION_BUS_ADDRESS": missing})
        rig.dial(rig.ra, rig.number_b)
        rig.rb.wait_for(lambda s: s["window"]["ringing"], 15)
        line = "incoming-call notification skipped: no session bus"
        self.assertTrue(wait_until(lambda: line in rig.b.log_text(), 10))
        rig.rb.call("answer", "Connection", "yes")
        rig.rb.wait_for(lambda s: s["flags"]["in_call"], 10)
        self.assertEqual(rig.b.log_text().count(line), 1)



@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("xdotool"), "needs Xvfb and xdotool")
class OpeningSizeTest(unittest.TestCase):
    def setUp(self):
        self.workdir, self.cleanup = temp_dir("kestrelio-desktop-x-")
        self.xvfb, self.display = start_xvfb("1920x1080")
        self.env = {"DISPLAY": self.display, "QT_QPA_PLATFORM": "xcb",
                    "DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent"}
        self.rig = CallRig(self.workdir, base="127.0.10", env=self.env)

    def tearDown(self):
        self.rig.close()
        self.xvfb.terminate()
        self.xvfb.wait()
        self.cleanup()

    def test_window_opens_at_twice_the_phone_and_comes_back_where_it_was(self):
        rig = self.rig
        state = rig.ra.state()
        # 2/3 of 1080 holds two phone windows, not three.
        self.assertEqual(state["window"]["scale"], 2)
        self.assertEqual((state["window"]["width"], state["window"]["height"]), (480, 640))
        rig.connect_call()
        rig.ra.wait_for(lambda s: s["flags"]["video_active"], 15)
        wait_until(lambda: "bytes" in rig.ra.state()["status_text"], 10)
        shot = os.environ.get("KESTRELIO_SHOT_DIR", "/tmp")
        wait_until(lambda: " 0 fps" not in rig.ra.state()["status_text"], 10)
        rig.ra.call("screenshot", os.path.join(shot, "desktop-2x.png"))
        placement = rig.ra.state()["window"]["placement"]
        rig.hang_up()
        rig.ra.call("quit")
        self.assertEqual(rig.a.wait(), 0)
        settings_path = os.path.join(rig.a.profile, "settings.ini")
        with open(settings_path, encoding="utf-8") as f:
            settings = f.read()
        self.assertIn("WindowPlacement=%d,%d,%d,%d" % tuple(placement), settings)

        # A place on the screen comes back; one on a screen that is not there does not.
        phone_height = placement[3] // 2
        for stored, expected in (("100,120,240,%d" % phone_height, [100, 120, 240, phone_height]),
                                 ("5000,5000,480,%d" % placement[3], None)):
            with open(settings_path, "w", encoding="utf-8") as f:
                f.write(re.sub(r"WindowPlacement=.*", "WindowPlacement=" + stored, settings))
            again = Handset(os.path.join(build_bin(), "kestrelio"), self.workdir, "a",
                            ["--camera", "synthetic", "--bind", "127.0.10.2"], env=self.env)
            try:
                remote = again.connect()
                window = remote.wait_for(lambda s: s["window"]["width"] > 0)["window"]
                if expected:
                    self.assertEqual(window["placement"], expected)
                    self.assertEqual(window["scale"], 1)
                    # Where the person moved it is kept even when the run ends in a kill.
                    found = subprocess.run(
                        ["xdotool", "search", "--sync", "--pid", str(again.process.pid)],
                        env=dict(os.environ, **self.env), capture_output=True, text=True,
                        timeout=10, check=True)
                    for window_id in found.stdout.split():
                        subprocess.run(["xdotool", "windowmove", window_id, "300", "200"],
                                       env=dict(os.environ, **self.env), check=False)
                    self.assertTrue(wait_until(
                        lambda: remote.state()["window"]["placement"][:2] == [300, 200], 5))
                    kept = "WindowPlacement=300,200,240,%d" % phone_height
                    wait_until(lambda: kept in open(settings_path, encoding="utf-8").read(), 5)
                    again.process.kill()
                    again.process.wait()
                    with open(settings_path, encoding="utf-8") as f:
                        self.assertIn(kept, f.read())
                else:
                    self.assertEqual(window["scale"], 2)
                    self.assertLess(window["placement"][0], 1920)
            finally:
                again.kill()


if __name__ == "__main__":
    unittest.main()
