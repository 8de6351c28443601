"""The call's media figures during a real loopback call: get-state "media" and the
statistics overlay the File menu turns on."""
import os
import struct
import sys
import time
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from call_rig import CallRig  # noqa: E402
from handset_driver import temp_dir  # noqa: E402

CALL_STATISTICS = 32820
SCREENSHOT = os.environ.get("KESTRELIO_STATS_SCREENSHOT", "/tmp/stats-overlay.png")
COUNTS = ("frames_sent", "frames_received", "frames_decoded", "frames_painted")


def png_pixels(path):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG, as Qt writes them."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


class MediaStatisticsTest(unittest.TestCase):
    def setUp(self):
        self.workdir, self.cleanup = temp_dir("kestrelio-media-")
        self.rig = CallRig(self.workdir, base="127.0.37")

    def tearDown(self):
        self.rig.close()
        self.cleanup()

    def test_figures_rise_during_a_call_and_the_overlay_shows_them(self):
        rig = self.rig
        idle = rig.rb.state()["media"]
        self.assertEqual([idle[k] for k in COUNTS], [0, 0, 0, 0])
        self.assertFalse(idle["overlay"])
        rig.connect_call()

        for remote in (rig.ra, rig.rb):
            first = remote.wait_for(lambda s: all(s["media"][k] > 0 for k in COUNTS), 15)["media"]
            later = remote.wait_for(
                lambda s: all(s["media"][k] > first[k] for k in COUNTS)
                and s["media"]["sent_kbps"] > 0 and s["media"]["received_kbps"] > 0, 15)["media"]
            self.assertLessEqual(later["frames_decoded"], later["frames_received"])
            self.assertLessEqual(later["frames_painted"], later["frames_decoded"])
            self.assertIsNotNone(later["receive_to_paint_ms"])
            self.assertGreaterEqual(later["receive_to_paint_ms"], 0)

        # The status tick's round-trip probe is answered (every 5 ticks, scaled down).
        rtt = rig.ra.wait_for(lambda s: s["media"]["last_rtt_ms"] is not None, 20)
        self.assertGreaterEqual(rtt["media"]["last_rtt_ms"], 0)

        # The File menu entry turns the overlay on; the box is dark over the peer picture.
        rig.rb.call("command", CALL_STATISTICS)
        self.assertTrue(rig.rb.wait_for(lambda s: s["media"]["overlay"], 5)["media"]["overlay"])
        # Two refreshes, so the box shows figures of the running call.
        time.sleep(1.2)
        rig.rb.call("screenshot", SCREENSHOT)
        width, height, rows = png_pixels(SCREENSHOT)
        # The box's corner (a few pixels in from the peer picture's top left, the client
        # area's top left in the default view) is dark, with white text pixels below it.
        corner = rows[2][2]
        self.assertLess(max(corner), 110, corner)
        white = sum(1 for y in range(0, min(height, 120)) for x in range(0, min(width, 200))
                    if min(rows[y][x]) > 200)
        self.assertGreater(white, 100)

        # And off again.
        rig.rb.call("command", CALL_STATISTICS)
        self.assertFalse(rig.rb.wait_for(lambda s: not s["media"]["overlay"], 5)["media"]["overlay"])

        # A new call starts its figures from zero.
        rig.hang_up()
        rig.connect_call()
        fresh = rig.rb.state()["media"]
        self.assertLess(fresh["frames_painted"], later["frames_painted"])


if __name__ == "__main__":
    unittest.main()
