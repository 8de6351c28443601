"""The user dialogs of two real handsets and a real presence server, driven only through
the remote-control sockets: contacts, call history, the user name and the settings."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from call_rig import CallRig, box_with  # noqa: E402
from handset_driver import Handset, build_bin, temp_dir, wait_until  # noqa: E402

ONLINE, BUSY, OFFLINE = 148, 149, 1000
MISSED_CALL_TRIGGER = 4
INCOMING, OUTGOING, MISSED = 150, 151, 152
# The keep-alive period under the rig's timer scale of 0.2: 10 s x 0.2.
KEEP_ALIVE_S = 2.0


def dialog(state, dialog_id):
    for d in state["dialogs"]:
        if d["id"] == dialog_id:
            return d
    return None


def open_dialog(remote, dialog_id):
    return remote.wait_for(lambda s: dialog(s, dialog_id) is not None, 5)


def closed_dialog(remote, dialog_id):
    return remote.wait_for(lambda s: dialog(s, dialog_id) is None, 5)


class DialogsTest(unittest.TestCase):
    def setUp(self):
        self.workdir, self.cleanup = temp_dir("kestrelio-dialogs-")
        # The auto-start entry goes into the test's own folder, never the user's.
        self.config_home = os.path.join(self.workdir, "config")
        self.rig = CallRig(self.workdir, base="127.0.3",
                           env={"XDG_CONFIG_HOME": self.config_home})

    def tearDown(self):
        self.rig.close()
        self.cleanup()

    def contacts(self, remote):
        remote.call("command", 110)
        open_dialog(remote, 105)
        remote.call("dialog-click", 105, 1015)
        return dialog(open_dialog(remote, 141), 141)["controls"]["1048"]

    def decline_on(self, callee, caller):
        """The callee is prompted and says no; the caller's attempt ends."""
        state = callee.wait_for(lambda s: box_with(s, "Connection") is not None, 10)
        callee.call("answer", "Connection", "no")
        callee.wait_for(lambda s: box_with(s, "Connection") is None, 5)
        caller.wait_for(lambda s: box_with(s, "UDP Connection") is not None, 10)
        caller.call("answer", "UDP Connection", "ok")
        caller.wait_for(lambda s: not s["controls"]["154"]["visible"] and not s["message_boxes"], 10)
        return box_with(state, "Connection")["text"]

    def history_lines(self, handset, count):
        deadline = time.monotonic() + 5
        while True:
            lines = [l for l in self.rig.study_file("history_info.txt", handset).split(b"\r\n") if l]
            if len(lines) >= count or time.monotonic() > deadline:
                return lines
            time.sleep(0.05)

    def test_contacts_list_icons_and_sign_places_the_call(self):
        rig = self.rig
        contact_list = self.contacts(rig.ra)
        items = contact_list["items"]
        self.assertEqual(sorted(items), sorted(["Alma (me), " + rig.number_a,
                                                "Bruno, " + rig.number_b]))
        self.assertEqual(contact_list["icons"], [ONLINE, ONLINE])
        bruno = items.index("Bruno, " + rig.number_b)

        rig.ra.call("dialog-select", 141, 1048, bruno)
        rig.ra.wait_for(lambda s: dialog(s, 141)["controls"]["1048"]["selection"] == bruno, 5)
        rig.ra.call("dialog-click", 141, 1041)
        closed_dialog(rig.ra, 141)
        closed_dialog(rig.ra, 105)  # the dial dialog closes and places the call
        text = self.decline_on(rig.rb, rig.ra)
        self.assertEqual(text, "Incoming call from %s (Alma).\n\n Accept?" % rig.number_a)
        state = rig.ra.state()
        self.assertEqual(state["call"]["last_dialled_number"], rig.number_b)
        self.assertEqual(state["call"]["last_dialled_name"], "Bruno")

    def test_contacts_view_and_bad_selection(self):
        rig = self.rig
        items = self.contacts(rig.ra)["items"]
        with self.assertRaises(Exception):
            rig.ra.call("dialog-select", 141, 1048, len(items))  # no such item
        rig.ra.call("dialog-click", 141, 1068)
        rig.ra.wait_for(lambda s: box_with(s, "Contacts - View", "No item is selected!"), 5)
        rig.ra.call("answer", "Contacts - View", "ok")
        me = [i for i, t in enumerate(items) if "(me)" in t][0]
        rig.ra.call("dialog-select", 141, 1048, me)
        rig.ra.call("dialog-click", 141, 1068)
        state = rig.ra.wait_for(lambda s: box_with(s, "Contacts - View") is not None, 5)
        self.assertEqual(box_with(state, "Contacts - View")["text"],
                         "Name\n Alma (me)\nPhone Number\n " + rig.number_a)
        rig.ra.call("answer", "Contacts - View", "ok")
        rig.ra.call("dialog-click", 141, 1044)  # Cancel: nothing is dialled
        closed_dialog(rig.ra, 141)
        self.assertIsNotNone(dialog(rig.ra.state(), 105))

    def test_history_lists_calls_newest_first_and_redials(self):
        rig = self.rig
        rig.dial(rig.ra, rig.number_b)
        self.decline_on(rig.rb, rig.ra)
        self.assertEqual(len(self.history_lines("a", 1)), 1)
        rig.dial(rig.rb, rig.number_a)
        self.decline_on(rig.ra, rig.rb)
        self.assertEqual(len(self.history_lines("a", 2)), 2)

        rig.ra.call("command", 145)
        history = dialog(open_dialog(rig.ra, 143), 143)["controls"]["1061"]
        self.assertEqual(len(history["items"]), 2)
        self.assertEqual(history["icons"], [INCOMING, OUTGOING])  # newest first
        for item in history["items"]:
            self.assertRegex(item, r"^\[\d\d/\d\d \d\d:\d\d\] Bruno, %s$" % rig.number_b)

        rig.ra.call("dialog-select", 143, 1061, 0)
        rig.ra.call("dialog-click", 143, 1059)
        closed_dialog(rig.ra, 143)
        text = self.decline_on(rig.rb, rig.ra)
        self.assertEqual(text, "Incoming call from %s (Alma).\n\n Accept?" % rig.number_a)

    def test_user_name_with_a_comma_is_refused_and_a_good_one_reaches_the_peer(self):
        rig = self.rig
        rig.ra.call("command", 32782)
        state = open_dialog(rig.ra, 144)
        self.assertEqual(dialog(state, 144)["controls"]["1064"]["text"], "Alma")
        rig.ra.call("dialog-set-text", 144, 1064, "Al,ma")
        rig.ra.call("dialog-click", 144, 1062)
        state = rig.ra.wait_for(lambda s: box_with(s, "Username") is not None, 5)
        self.assertEqual(box_with(state, "Username")["text"],
                         "Your username cannot have a ',' in it. Please enter a different username.")
        rig.ra.call("answer", "Username", "ok")
        self.assertIsNotNone(dialog(rig.ra.state(), 144))  # still open, old name kept

        rig.ra.call("dialog-set-text", 144, 1064, "Alda")
        rig.ra.call("dialog-click", 144, 1062)
        state = rig.ra.wait_for(lambda s: box_with(s, "Username") is not None, 5)
        self.assertEqual(box_with(state, "Username")["text"],
                         "Your username was successfully updated.")
        rig.ra.call("answer", "Username", "ok")
        closed_dialog(rig.ra, 144)
        self.assertEqual(rig.ra.state()["own"]["user_name"], "Alda")

        def renamed(s):
            return any(e["number"] == rig.number_a and e["name"] == "Alda"
                       for e in s["online_db"]["entries"])
        # Sent at once; B hears of it with its own next keep-alive at the latest (the
        # bound leaves room for a busy machine).
        rig.rb.wait_for(renamed, 3 * KEEP_ALIVE_S)
        with open(os.path.join(rig.a.profile, "settings.ini")) as f:
            self.assertIn("UserName=Alda", f.read())

    def test_settings_pages_and_auto_start(self):
        rig = self.rig
        rig.ra.call("command", 32803)
        state = open_dialog(rig.ra, 158)
        self.assertEqual(dialog(state, 158)["controls"]["1082"]["items"], ["General", "Advanced"])
        self.assertTrue(dialog(state, 159)["visible"])
        self.assertFalse(dialog(state, 136)["visible"])
        self.assertEqual(dialog(state, 136)["controls"]["1017"]["items"], ["0", "6", "12"])

        rig.ra.call("dialog-select", 158, 1082, 1)
        state = rig.ra.wait_for(lambda s: dialog(s, 136)["visible"], 5)
        self.assertFalse(dialog(state, 159)["visible"])
        rig.ra.call("dialog-select", 158, 1082, 0)
        rig.ra.wait_for(lambda s: dialog(s, 159)["visible"], 5)

        entry = os.path.join(self.config_home, "autostart", "kestrelio.desktop")
        self.assertFalse(os.path.exists(entry))
        rig.ra.call("dialog-click", 159, 1069)
        rig.ra.wait_for(lambda s: dialog(s, 159)["controls"]["1069"]["checked"], 5)
        rig.ra.call("dialog-click", 159, 1024)
        rig.ra.wait_for(lambda s: not dialog(s, 159)["visible"], 5)
        with open(entry) as f:
            self.assertIn("Exec=\"%s\"" % os.path.realpath(rig.a.process.args[0]), f.read())

    def connect_a_to_b(self):
        rig = self.rig
        rig.dial(rig.ra, rig.number_b)
        rig.rb.wait_for(lambda s: box_with(s, "Connection") is not None, 10)
        rig.rb.call("answer", "Connection", "yes")
        rig.ra.wait_for(lambda s: s["flags"]["in_call"], 10)
        rig.rb.wait_for(lambda s: s["flags"]["in_call"], 10)

    def hang_up_on_a(self):
        rig = self.rig
        rig.ra.call("command", 111)
        rig.ra.wait_for(lambda s: box_with(s, "Connection") is not None, 5)
        rig.ra.call("answer", "Connection", "yes")
        rig.ra.wait_for(lambda s: not s["flags"]["in_call"], 10)
        rig.rb.wait_for(lambda s: box_with(s, "UDP Connection") is not None, 10)
        rig.rb.call("answer", "UDP Connection", "ok")

    def call_rate(self, seconds):
        """Bytes a second A's encoder made over a call of `seconds` status ticks."""
        self.connect_a_to_b()
        self.rig.ra.wait_for(lambda s: s["call"]["status_ticks"] >= seconds, seconds + 20)
        self.hang_up_on_a()
        last = self.rig.ra.state()["call"]["last_call"]
        return last["encoded_byte_total"] / max(1, last["ticks"])

    def test_contacts_sign_on_a_busy_user_says_so(self):
        rig = self.rig
        third = Handset(os.path.join(build_bin(), "kestrelio"), self.workdir, "c",
                        ["--camera", "synthetic", "--bind", "127.0.3.4",
                         "--presence", rig.a.process.args[rig.a.process.args.index("--presence") + 1]],
                        env={"KESTRELIO_TIMER_SCALE": "0.2", "XDG_CONFIG_HOME": self.config_home},
                        identity=("12065550103", "Cleo"))
        try:
            rc = third.connect()
            self.connect_a_to_b()

            def bruno_busy(s):
                return any(e["name"] == "Bruno" and e["status"] == 2 for e in s["online_db"]["entries"])
            rc.wait_for(bruno_busy, 6 * KEEP_ALIVE_S)
            contact_list = self.contacts(rc)
            bruno = contact_list["items"].index("Bruno, " + rig.number_b)
            self.assertEqual(contact_list["icons"][bruno], BUSY)
            rc.call("dialog-select", 141, 1048, bruno)
            rc.call("dialog-click", 141, 1041)
            state = rc.wait_for(lambda s: box_with(s, "Contacts - Dial") is not None, 5)
            self.assertEqual(box_with(state, "Contacts - Dial")["text"],
                             "The user you are trying to call is busy.")
            rc.call("answer", "Contacts - Dial", "ok")
            self.assertIsNotNone(dialog(rc.state(), 141))  # nothing dialled, still open
        finally:
            third.kill()

    def test_advanced_page_roi_and_bit_rate_reach_the_encoder(self):
        rig = self.rig
        encoder = rig.ra.state()["encoder"]
        self.assertEqual((encoder["roi_level"], encoder["bitrate_kbps"]), (6, 30))
        rate_30 = self.call_rate(6)

        rig.ra.call("command", 32803)
        open_dialog(rig.ra, 158)
        rig.ra.call("dialog-select", 158, 1082, 1)
        rig.ra.wait_for(lambda s: dialog(s, 136)["visible"], 5)
        rig.ra.call("dialog-select", 136, 1017, 2)  # "12"
        rig.ra.call("dialog-set-text", 136, 1018, "60")
        rig.ra.call("dialog-click", 136, 1024)
        rig.ra.wait_for(lambda s: not dialog(s, 136)["visible"], 5)
        encoder = rig.ra.state()["encoder"]
        self.assertEqual((encoder["roi_level"], encoder["live_roi_level"], encoder["bitrate_kbps"]),
                         (12, 12, 60))
        rig.ra.call("dialog-close", 158)
        closed_dialog(rig.ra, 158)

        self.connect_a_to_b()
        # The open encoder codes the region twelve steps finer.
        encoder = rig.ra.wait_for(lambda s: s["encoder"]["open"], 10)["encoder"]
        self.assertTrue(encoder["roi_armed"])
        self.assertEqual(min(encoder["quant_offsets"]), -12)
        self.assertEqual(encoder["quant_offsets"].count(-12), 8)
        self.hang_up_on_a()
        rate_60 = self.call_rate(6)
        # Twice the bit rate asked for: about twice the bytes (rate control is not exact).
        self.assertGreater(rate_60 / rate_30, 1.5, (rate_30, rate_60))
        self.assertLess(rate_60 / rate_30, 2.6, (rate_30, rate_60))

    def test_see_history_clears_the_count_sets_the_survey_trigger_and_opens_the_history(self):
        rig = self.rig
        rig.dial(rig.ra, rig.number_b)
        # The prompt goes unanswered (30 s under the timer scale): a missed call.
        state = rig.rb.wait_for(lambda s: dialog(s, 157) is not None, 20)
        self.assertEqual(state["call"]["missed_calls"], 1)
        self.assertFalse(state["survey_triggers"][MISSED_CALL_TRIGGER])
        rig.ra.wait_for(lambda s: box_with(s, "Dial") is not None, 20)
        rig.ra.call("answer", "Dial", "ok")
        rig.rb.call("dialog-click", 157, 1081)
        state = open_dialog(rig.rb, 143)
        self.assertIsNone(dialog(state, 157))
        self.assertEqual(state["call"]["missed_calls"], 0)
        # The survey thread takes the trigger at once; with no study server it says so.
        self.assertTrue(
            wait_until(lambda: "survey for missed_call not fetched" in rig.b.log_text(), 10),
            rig.b.log_text()[-2000:])
        self.assertIn(MISSED, dialog(state, 143)["controls"]["1061"]["icons"])
        rig.rb.call("dialog-click", 143, 1060)
        closed_dialog(rig.rb, 143)


if __name__ == "__main__":
    unittest.main()
