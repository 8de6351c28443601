"""Two handsets on a real X server (Xvfb), clicked with real X pointer events (xdotool):
the Cancel button inside the "Calling" indicator ends the attempt on both sides, and
Escape on the Missed Call dialog closes it without the missed_call survey. Skips when
Xvfb or xdotool is not installed."""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from call_rig import CallRig, box_with  # noqa: E402
from handset_driver import temp_dir, wait_until  # noqa: E402
from xvfb import start_xvfb  # noqa: E402

MISSED_CALL_TRIGGER = 4



@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("xdotool"), "needs Xvfb and xdotool")
class X11ClickTest(unittest.TestCase):
    def setUp(self):
        self.workdir, self.cleanup = temp_dir("kestrelio-x11-")
        # Each person has a screen of their own: on one shared screen B's windows would
        # lie over A's, and a click meant for A would land on B.
        self.xvfb, self.display = start_xvfb()
        self.xvfb_b, self.display_b = start_xvfb()
        self.rig = CallRig(self.workdir, base="127.0.5",
                           env={"DISPLAY": self.display, "QT_QPA_PLATFORM": "xcb"},
                           env_b={"DISPLAY": self.display_b})

    def tearDown(self):
        self.rig.close()
        for xvfb in (self.xvfb, self.xvfb_b):
            xvfb.terminate()
            xvfb.wait()
        self.cleanup()

    def xdotool(self, *args, display=None):
        subprocess.run(["xdotool"] + [str(a) for a in args], check=True,
                       env=dict(os.environ, DISPLAY=display or self.display))

    def click_control(self, remote, control_id):
        x, y, w, h = remote.state()["controls"][str(control_id)]["screen_rect"]
        self.xdotool("mousemove", "--sync", x + w // 2, y + h // 2, "click", 1)

    def test_cancel_clicked_inside_the_calling_indicator_ends_the_attempt_on_both_sides(self):
        rig = self.rig
        rig.dial(rig.ra, rig.number_b)
        rig.rb.wait_for(lambda s: box_with(s, "Connection") is not None, 10)
        state = rig.ra.wait_for(lambda s: s["controls"]["155"]["visible"], 5)
        calling = state["controls"]["154"]["screen_rect"]
        cancel = state["controls"]["155"]["screen_rect"]
        # The button lies inside the indicator's box.
        self.assertGreaterEqual(cancel[0], calling[0])
        self.assertGreaterEqual(cancel[1], calling[1])
        self.assertLessEqual(cancel[0] + cancel[2], calling[0] + calling[2])
        self.assertLessEqual(cancel[1] + cancel[3], calling[1] + calling[3])
        self.click_control(rig.ra, 155)
        rig.ra.wait_for(lambda s: not s["controls"]["154"]["visible"], 5)
        rig.rb.wait_for(lambda s: box_with(s, "Connection") is None, 10)
        for handset in ("a", "b"):
            self.assertTrue(
                wait_until(lambda: b"cancelled" in rig.study_file("calllog.txt", handset)),
                "no cancelled record on " + handset)

    def test_escape_closes_the_missed_call_dialog_without_the_survey(self):
        rig = self.rig
        rig.dial(rig.ra, rig.number_b)
        state = rig.rb.wait_for(lambda s: any(d["id"] == 157 for d in s["dialogs"]), 20)
        self.assertEqual(state["call"]["missed_calls"], 1)
        rig.ra.wait_for(lambda s: box_with(s, "Dial") is not None, 20)
        # The key goes to the focused window: the dialog on B's screen, as a person's
        # Escape would.
        window = subprocess.run(["xdotool", "search", "--sync", "--name", "^Missed Call$"],
                                capture_output=True, text=True, check=True, timeout=20,
                                env=dict(os.environ, DISPLAY=self.display_b)).stdout.split()[0]
        self.xdotool("windowfocus", "--sync", window, display=self.display_b)
        self.xdotool("key", "Escape", display=self.display_b)
        state = rig.rb.wait_for(lambda s: not any(d["id"] == 157 for d in s["dialogs"]), 5)
        self.assertEqual(state["call"]["missed_calls"], 0)
        self.assertFalse(state["survey_triggers"][MISSED_CALL_TRIGGER])
        self.assertFalse(any(d["id"] == 143 for d in state["dialogs"]))


if __name__ == "__main__":
    unittest.main()
