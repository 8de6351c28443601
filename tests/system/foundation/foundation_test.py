"""The handset program as a person starts, drives and ends it, through its remote control."""
import json
import os
import pwd
import resource
import shutil
import stat
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from call_rig import free_tcp_port  # noqa: E402
from handset_driver import (Handset, Remote, RemoteError, build_bin, temp_dir,  # noqa: E402
                            wait_until)

BIN = build_bin()
KESTRELIO = os.path.join(BIN, "kestrelio")


def marker_text(path):
    """What a file holds so far; "" while it does not exist."""
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ""


class FoundationTest(unittest.TestCase):
    next_host = 1

    def setUp(self):
        self.workdir, self.cleanup = temp_dir("kestrelio-system-")
        self.handsets = []

    def tearDown(self):
        for h in self.handsets:
            h.kill()
        self.cleanup()

    def start(self, name="a", args=(), binary=KESTRELIO, env=None):
        # Each handset gets its own loopback address so its sockets never meet another's.
        FoundationTest.next_host += 1
        bind = "127.0.1.%d" % FoundationTest.next_host
        # A study server port where nothing listens: surveys and uploads fail at once.
        study = "127.0.0.1:%d" % free_tcp_port("127.0.0.1")
        h = Handset(binary, self.workdir, name,
                    ["--camera", "synthetic", "--bind", bind, "--study-server", study, *args],
                    env=env)
        self.handsets.append(h)
        return h

    def test_starts_idle_cycles_views_takes_screenshot_and_exits_cleanly(self):
        h = self.start()
        remote = h.connect()
        state = remote.wait_for(lambda s: s["own"]["phone_number"] != "")
        self.assertEqual(state["view_mode"], 1)
        self.assertEqual(state["chat_mode"], 0)
        battery = state["battery"]
        self.assertEqual(state["controls"]["124"]["text"], "Disconnected, 0:00, %d%%" % battery)
        for calling_control in ("154", "155"):
            self.assertFalse(state["controls"][calling_control]["visible"])
        for chat_control in ("122", "123", "127"):
            self.assertFalse(state["controls"][chat_control]["visible"])
        self.assertEqual(state["flags"]["in_call"], False)
        window = state["window"]
        self.assertEqual((window["width"], window["height"], window["scale"]), (240, 320, 1))
        phone = state["own"]["phone_number"]
        self.assertRegex(phone, r"^1206333\d{4}$")
        self.assertRegex(state["own"]["device_id"], r"^[0-9A-F]{20}$")

        images = []
        for _ in range(4):
            remote.call("command", 120)
            images.append(remote.state()["controls"]["120"]["image"])
        self.assertEqual(images, [6, 7, 5, 6])

        shot = os.path.join(self.workdir, "shot.png")
        remote.call("screenshot", shot)
        with open(shot, "rb") as f:
            header = f.read(24)
        self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
        width, height = struct.unpack(">II", header[16:24])
        self.assertGreaterEqual(width, 240)
        self.assertGreaterEqual(height, 320)

        # Another program reports a received (1) and a sent (0) text; other values do nothing.
        # Each raises its survey trigger, which the survey thread takes at once and asks
        # the study server about (none runs here).
        remote.call("textlognotify", 5)
        remote.call("textlognotify", 1)
        self.assertTrue(wait_until(lambda: "survey for receive_text not fetched" in h.log_text()))
        remote.call("textlognotify", 0)
        self.assertTrue(wait_until(lambda: "survey for sent_text not fetched" in h.log_text()))
        self.assertEqual(remote.state()["survey_triggers"], [False] * 10)
        self.assertEqual(h.log_text().count("not fetched"), 2, h.log_text())

        remote.call("command", 40000)
        self.assertEqual(h.wait(), 0)

        # The generated number is kept for the next start.
        again = self.start("a")
        remote = again.connect()
        state = remote.wait_for(lambda s: s["own"]["phone_number"] != "")
        self.assertEqual(state["own"]["phone_number"], phone)
        remote.call("quit")
        self.assertEqual(again.wait(), 0)

    def test_second_start_with_the_same_profile_exits_zero(self):
        first = self.start("same")
        first.connect().wait_for(lambda s: s["own"]["phone_number"] != "")
        second = Handset(KESTRELIO, self.workdir, "same",
                         ["--camera", "synthetic", "--ipc-server",
                          os.path.join(self.workdir, "second.sock")])
        self.handsets.append(second)
        self.assertEqual(second.wait(), 0)
        self.assertEqual(first.remote.state()["view_mode"], 1)  # the first runs on
        first.remote.call("quit")
        self.assertEqual(first.wait(), 0)

    def test_updater_is_launched_unless_the_command_line_is_restart(self):
        bin_copy = os.path.join(self.workdir, "bin")
        os.makedirs(bin_copy)
        for name in ("kestrelio", "libkcam-synthetic.so"):
            shutil.copy2(os.path.join(BIN, name), bin_copy)
        marker = os.path.join(self.workdir, "updater-ran")
        updater = os.path.join(bin_copy, "kestrelio-updater")
        with open(updater, "w") as f:
            f.write('#!/bin/sh\necho "$@" >> "%s"\n' % marker)
        os.chmod(updater, os.stat(updater).st_mode | stat.S_IEXEC)
        binary = os.path.join(bin_copy, "kestrelio")

        h = self.start("restart", ["restart"], binary=binary)
        h.connect().wait_for(lambda s: s["own"]["phone_number"] != "")
        h.remote.call("quit")
        self.assertEqual(h.wait(), 0)
        self.assertFalse(os.path.exists(marker))

        # The plain start launches it; an updater the restart had launched late would have
        # written its own line by then, so the marker holds exactly one.
        h = self.start("plain", binary=binary)
        h.connect().wait_for(lambda s: s["own"]["phone_number"] != "")
        self.assertTrue(wait_until(lambda: marker_text(marker).endswith("\n")))
        self.assertEqual(marker_text(marker).strip(), "1005")
        h.remote.call("quit")
        self.assertEqual(h.wait(), 0)

    def test_missing_camera_library_ends_start_up_quietly(self):
        h = Handset(KESTRELIO, self.workdir, "nocam",
                    ["--camera", os.path.join(self.workdir, "libkcam-missing.so")])
        self.handsets.append(h)
        self.assertEqual(h.wait(), 0)
        self.assertIn("libkcam-missing.so", h.log_text())

    def test_driver_without_an_entry_point_is_refused_by_name(self):
        # A shared library that is not a camera driver: the C runtime's math library.
        libm = "/lib/x86_64-linux-gnu/libm.so.6"
        if not os.path.exists(libm):
            self.skipTest("no libm at the expected path")
        h = Handset(KESTRELIO, self.workdir, "badcam", ["--camera", libm])
        self.handsets.append(h)
        self.assertEqual(h.wait(), 0)
        self.assertIn("Camera_Init", h.log_text())

    @unittest.skipUnless(os.geteuid() == 0, "needs root to run the handset as another user")
    def test_each_start_up_thread_that_cannot_be_made_is_named_in_a_box(self):
        # Run as "nobody" under a per-user thread limit that grows by one each start, so
        # that each start-up step in turn is the first whose thread cannot be made.
        nobody = pwd.getpwnam("nobody")
        os.chmod(self.workdir, 0o777)
        wanted = {"Cannot create Encoder Data thread", "Cannot create Vibration thread",
                  "Cannot create UDP thread", "Cannot create video display thread"}
        seen = set()
        for limit in range(2, 26):
            profile = os.path.join(self.workdir, "limit%d" % limit)
            socket_path = profile + ".sock"

            def drop_to_nobody(limit=limit):
                os.setgid(nobody.pw_gid)
                os.setgroups([])
                resource.setrlimit(resource.RLIMIT_NPROC, (limit, limit))
                os.setuid(nobody.pw_uid)

            process = subprocess.Popen(
                [KESTRELIO, "--profile", profile, "--ipc-server", socket_path, "--camera",
                 "synthetic", "--bind", "127.0.1.250", "--presence", "127.0.0.1:9"],
                env=dict(os.environ, HOME=self.workdir, QT_QPA_PLATFORM="offscreen"),
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                preexec_fn=drop_to_nobody)
            try:
                remote = Remote(socket_path, 5)
                deadline = time.monotonic() + 1.5
                while time.monotonic() < deadline:
                    boxes = remote.state()["message_boxes"]
                    if boxes:
                        seen.update(box["text"] for box in boxes)
                        break
                    time.sleep(0.1)
                remote.close()
            except (OSError, TimeoutError, RemoteError):
                pass  # too few threads for the remote control itself
            finally:
                process.kill()
                process.wait()
            if wanted <= seen:
                break
        self.assertEqual(wanted - seen, set(), "seen: %s" % sorted(seen))

    def test_corrupt_settings_file_means_defaults_and_a_diagnostic(self):
        profile = os.path.join(self.workdir, "corrupt")
        os.makedirs(profile)
        with open(os.path.join(profile, "settings.ini"), "wb") as f:
            f.write(b"\x00\xff[[[not=an ini\nfile\x01")
        h = self.start("corrupt")
        state = h.connect().wait_for(lambda s: s["own"]["phone_number"] != "")
        self.assertRegex(state["own"]["phone_number"], r"^1206333\d{4}$")
        self.assertTrue(os.path.exists(os.path.join(profile, "settings.ini.corrupt")))
        h.remote.call("quit")
        self.assertEqual(h.wait(), 0)
        self.assertIn("corrupt", h.log_text())

    def test_a_corrupt_settings_file_keeps_the_name_and_number_that_still_parse(self):
        profile = os.path.join(self.workdir, "salvage")
        os.makedirs(profile)
        with open(os.path.join(profile, "settings.ini"), "wb") as f:
            f.write(b"\x00\xff garbage\n[HKEY_CURRENT_USER/SOFTWARE/Kestrelio\n"
                    b"UserName=Ana\nPhoneNumber=12063331234\n\x01 more garbage")
        h = self.start("salvage")
        state = h.connect().wait_for(lambda s: s["own"]["phone_number"] != "")
        self.assertEqual(state["own"]["phone_number"], "12063331234")
        self.assertEqual(state["own"]["user_name"], "Ana")
        self.assertTrue(os.path.exists(os.path.join(profile, "settings.ini.corrupt")))
        # Nothing waits to be written to the study folder.
        self.assertEqual((state["study"]["pending_records"], state["study"]["failed_writes"]),
                         (0, 0))
        h.remote.call("quit")
        self.assertEqual(h.wait(), 0)

    def test_bad_command_lines_and_remote_lines_are_refused(self):
        h = Handset(KESTRELIO, self.workdir, "badopt", ["--frobnicate"])
        self.handsets.append(h)
        self.assertEqual(h.wait(), 2)
        self.assertIn("--frobnicate", h.log_text())

        h = self.start("remote")
        remote = h.connect()
        remote.wait_for(lambda s: s["own"]["phone_number"] != "")
        with self.assertRaises(RemoteError):
            remote.call("no-such-command")
        with self.assertRaises(RemoteError):
            remote.call("command", "not a number")
        remote.sock.sendall(b"this is not json\n")
        self.assertEqual(remote.state()["view_mode"], 1)  # still answering
        # A too-long line and a good command in one write: both are answered, in order.
        request = json.dumps({"command": ["get-state"], "request_id": 4242}).encode()
        remote.sock.sendall(b"x" * 70000 + b"\n" + request + b"\n")
        replies = [json.loads(remote.reader.readline()) for _ in range(2)]
        replies = [r for r in replies if "event" not in r]
        self.assertEqual(replies[0]["error"], "line too long")
        self.assertEqual(replies[1]["request_id"], 4242)
        self.assertEqual(replies[1]["error"], "success")
        remote.call("quit")
        self.assertEqual(h.wait(), 0)


if __name__ == "__main__":
    unittest.main()
