"""Two people call each other: real presence server, two real handsets, driven only
through their remote-control sockets."""
import os
import socket
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from call_rig import CallRig, box_with  # noqa: E402
from handset_driver import temp_dir, wait_until  # noqa: E402


def call_records(rig, handset):
    lines = rig.study_file("calllog.txt", handset).split(b"\r\n")
    return [line.decode() for line in lines if line]


class CallsTest(unittest.TestCase):
    def setUp(self):
        self.workdir, self.cleanup = temp_dir("kestrelio-calls-")
        self.rig = CallRig(self.workdir)

    def tearDown(self):
        self.rig.close()
        self.cleanup()

    def ring_b(self):
        rig = self.rig
        rig.dial(rig.ra, rig.number_b)
        return rig.rb.wait_for(lambda s: box_with(s, "Connection") is not None, 10)

    def test_call_chat_and_hang_up(self):
        rig = self.rig
        state = self.ring_b()
        self.assertEqual(box_with(state, "Connection")["text"],
                         "Incoming call from %s (Alma).\n\n Accept?" % rig.number_a)
        rig.ra.wait_for(lambda s: s["controls"]["154"]["visible"], 5)  # "Calling"
        # The answer puts both in the call (how fast is for a benchmark; the wait is a
        # hang guard).
        rig.rb.call("answer", "Connection", "yes")
        rig.ra.wait_for(lambda s: s["flags"]["in_call"], 5)
        rig.rb.wait_for(lambda s: s["flags"]["in_call"], 5)
        rig.ra.wait_for(lambda s: not s["controls"]["154"]["visible"], 5)

        # Video flows both ways.
        for remote in (rig.ra, rig.rb):
            remote.wait_for(lambda s: s["call"]["last_call"]["received_frame_sum"] >= 12, 10)
        state = rig.ra.state()
        self.assertTrue(state["status_text"].startswith("to %s, 0:" % rig.number_b))

        # A chat line from A appears on B as "name> text".
        rig.ra.call("command", 114)  # open the chat panel
        rig.ra.call("set-text", 122, "hello from A")
        rig.ra.call("command", 127)
        state = rig.rb.wait_for(lambda s: any(l.endswith("> hello from A") for l in s["chat"]), 5)
        self.assertIn("Alma> hello from A", state["chat"])
        self.assertIn("Alma> hello from A", rig.ra.state()["chat"])
        # B answers; A shows the line under the name the Online DB gave B's number.
        rig.rb.call("command", 114)
        rig.rb.call("set-text", 122, "hi A")
        rig.rb.call("command", 127)
        rig.ra.wait_for(lambda s: "Bruno> hi A" in s["chat"], 5)

        rig.ra.call("command", 111)
        rig.ra.wait_for(lambda s: box_with(s, "Connection") is not None, 5)
        rig.ra.call("answer", "Connection", "yes")
        state = rig.rb.wait_for(
            lambda s: box_with(s, "UDP Connection", "Call is disconnected by remote.") is not None, 5)
        rig.ra.wait_for(lambda s: not s["flags"]["in_call"], 5)
        self.assertTrue(rig.ra.state()["status_text"].startswith("Disconnected, 0:"))

        for handset, direction, mark in (("a", "OUTGOING", "OUT"), ("b", "INCOMING", "IN ")):
            records = wait_until(lambda: call_records(rig, handset))
            self.assertEqual(len(records), 1, records)
            columns = records[0].split(", ")
            self.assertEqual(len(columns), 30, records[0])
            self.assertEqual(columns[1], direction)
            self.assertGreater(float(columns[15]), 0)  # frames sent a second
            self.assertGreater(float(columns[16]), 0)  # frames received a second
            self.assertGreater(int(columns[18]), 0)    # bytes sent
            self.assertGreater(int(columns[19]), 0)    # bytes received
            history = rig.study_file("history_info.txt", handset).decode()
            self.assertTrue(history.startswith(mark + ", ["), history)
            self.assertTrue(history.endswith("\r\n"))

    def test_declined_call_is_logged_as_rejected_on_both_sides(self):
        rig = self.rig
        self.ring_b()
        rig.rb.call("answer", "Connection", "no")
        rig.ra.wait_for(lambda s: box_with(
            s, text="User is not available. Please try again later.") is not None, 5)
        for handset in ("a", "b"):
            self.assertTrue(
                wait_until(lambda: b"rejected" in rig.study_file("calllog.txt", handset)),
                "no rejected record on " + handset)
        self.assertFalse(rig.ra.state()["flags"]["in_call"])

    def test_unanswered_prompt_becomes_a_missed_call(self):
        rig = self.rig
        self.ring_b()
        # 30 s prompt, shortened by the timer scale.
        state = rig.rb.wait_for(lambda s: box_with(s, "Connection") is None and any(
            d["id"] == 157 for d in s["dialogs"]), 20)
        dialog = [d for d in state["dialogs"] if d["id"] == 157][0]
        self.assertEqual(dialog["controls"]["2006"]["text"], "You have 1 missed call")
        self.assertEqual(state["call"]["missed_calls"], 1)
        self.assertTrue(wait_until(lambda: b"missed" in rig.study_file("calllog.txt", "b")))
        self.assertIn(b"IN*", rig.study_file("history_info.txt", "b"))

    def test_caller_cancels_while_ringing(self):
        rig = self.rig
        self.ring_b()
        rig.ra.call("command", 155)
        rig.rb.wait_for(lambda s: box_with(s, "Connection") is None, 10)
        for handset in ("a", "b"):
            self.assertTrue(
                wait_until(lambda: b"cancelled" in rig.study_file("calllog.txt", handset)),
                "no cancelled record on " + handset)
        rig.ra.wait_for(lambda s: not s["controls"]["154"]["visible"], 5)

    def test_closing_the_window_at_the_hang_up_question_releases_and_logs_the_call(self):
        rig = self.rig
        rig.connect_call()
        rig.ra.call("command", 111)
        rig.ra.wait_for(lambda s: box_with(s, "Connection") is not None, 10)
        rig.ra.call("quit")
        self.assertEqual(rig.a.wait(), 0)
        self.assertEqual(len(call_records(rig, "a")), 1)
        rig.rb.wait_for(lambda s: not s["flags"]["in_call"], 10)

    def test_closing_the_window_just_after_hanging_up_ends_cleanly(self):
        rig = self.rig
        rig.connect_call()
        rig.ra.call("command", 111)
        rig.ra.wait_for(lambda s: box_with(s, "Connection") is not None, 10)
        # The answer and the quit in one write: the quit is read while the hang-up still
        # waits for the release to go out.
        rig.ra.sock.sendall(b'{"command": ["answer", "Connection", "yes"]}\n'
                            b'{"command": ["quit"]}\n')
        self.assertEqual(rig.a.wait(), 0)
        self.assertEqual(len(call_records(rig, "a")), 1)
        rig.rb.wait_for(lambda s: not s["flags"]["in_call"], 10)

    def test_closing_the_window_during_a_call_releases_and_logs_it(self):
        rig = self.rig
        self.ring_b()
        rig.rb.call("answer", "Connection", "yes")
        rig.ra.wait_for(lambda s: s["call"]["last_call"]["received_frame_sum"] >= 6, 10)
        rig.ra.call("quit")
        self.assertEqual(rig.a.wait(), 0)
        rig.rb.wait_for(lambda s: box_with(
            s, "UDP Connection", "Call is disconnected by remote.") is not None, 5)
        records = call_records(rig, "a")
        self.assertEqual(len(records), 1, records)
        self.assertEqual(len(records[0].split(", ")), 30)

    def test_a_stranger_cannot_end_or_feed_a_call(self):
        rig = self.rig
        rig.connect_call()
        own = rig.ra.state()["own"]
        target = (own["local_address"], own["local_port"])
        # A third loopback address sends what only the peer may: a release, a chat line
        # and a video packet.
        release = struct.pack("<BBHH", 0x11, 17, 106, 1) + bytes(100)
        video = struct.pack("<BBHH", 0x11, 49, 16, 1) + struct.pack(">I", 6) + bytes(6)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as stranger:
            stranger.bind(("127.0.2.9", 0))
            for _ in range(20):
                stranger.sendto(release, target)
                stranger.sendto(video, target)
        state = rig.ra.wait_for(
            lambda s: s["drops"]["signalling"]["not_peer"] >= 20
            and s["drops"]["media"]["not_peer"] >= 20, 10)
        self.assertTrue(state["flags"]["in_call"])
        self.assertEqual(state["message_boxes"], [])
        # The peer's own video still arrives after the flood.
        frames = state["call"]["last_call"]["received_frame_sum"]
        rig.ra.wait_for(lambda s: s["call"]["last_call"]["received_frame_sum"] > frames + 6, 10)
        time.sleep(0.3)
        self.assertTrue(rig.rb.state()["flags"]["in_call"])

    def test_network_cut_ends_the_call_after_the_loss_timer(self):
        rig = self.rig
        self.ring_b()
        rig.rb.call("answer", "Connection", "yes")
        rig.ra.wait_for(lambda s: s["call"]["last_call"]["received_frame_sum"] >= 12, 10)
        rig.b.kill()
        # Only the loss timer (5 s after the last video, shortened by the timer scale)
        # shows this box; how long it takes is for a benchmark.
        rig.ra.wait_for(lambda s: box_with(
            s, "Disconnect", "Call was disconnected from network") is not None, 10)
        self.assertFalse(rig.ra.state()["flags"]["in_call"])


if __name__ == "__main__":
    unittest.main()
