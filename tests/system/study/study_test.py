"""The field study end to end: real handsets, a real study server on loopback, and small
stand-ins for a server that never answers or answers wrongly, all driven through the
handsets' remote-control sockets."""
import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from call_rig import CallRig, box_with  # noqa: E402
from handset_driver import RemoteError, temp_dir, wait_until  # noqa: E402
from study_rig import StudyServer, free_tcp_port  # noqa: E402

SURVEY = 140
SUBMIT = 1046
FIRST_ANSWER = 1031
ROTATED_SURVEYS = re.compile(r"^\d{8}_\d{6}\.txt$")
ROTATED_CALL_LOG = re.compile(r"^calllog\d{8}_\d{6}\.txt$")
# Characters a form-encoded body would change; the upload sends them as they are.
TRICKY_NAME = "Al&m=a+b%20"


def survey_dialog(state):
    for dialog in state["dialogs"]:
        if dialog["id"] == SURVEY:
            return dialog
    return None


def answer_survey(remote, answer_index):
    """Picks answer `answer_index` of the survey on screen and submits it; returns the
    dialog as it was shown."""
    dialog = survey_dialog(remote.wait_for(lambda s: survey_dialog(s) is not None, 20))
    control = FIRST_ANSWER + answer_index
    assert dialog["controls"][str(control)]["visible"], dialog
    remote.call("dialog-click", SURVEY, control)
    remote.wait_for(lambda s: survey_dialog(s) is not None
                    and survey_dialog(s)["controls"][str(SUBMIT)]["enabled"], 5)
    remote.call("dialog-click", SURVEY, SUBMIT)
    remote.wait_for(lambda s: survey_dialog(s) is None, 10)
    return dialog


def upload_now(remote, timeout=60):
    """The four uploads at once; the reply comes when they are done (the time-out is a
    hang guard)."""
    remote.sock.settimeout(timeout)
    try:
        return remote.call("upload-now")
    finally:
        remote.sock.settimeout(10)


def lines_of(data):
    return [line for line in data.decode("utf-8", "replace").split("\r\n") if line]


class OneReplyServer:
    """A tiny HTTP server that answers every request with the same body and keeps what it
    was sent; or, silent, takes each connection and never answers."""

    def __init__(self, port, body=None):
        self.body = body
        self.requests = []
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        # The study server that takes the port over binds with SO_REUSEPORT only; the
        # connections this one leaves in TIME_WAIT must carry it too.
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(16)
        self.held = []
        self.stopping = False
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopping:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            if self.body is None:
                self.held.append(connection)  # accepted, never answered
                continue
            with connection:
                connection.settimeout(5)
                data = b""
                try:
                    while b"\r\n\r\n" not in data:
                        data += connection.recv(65536)
                    head, _, rest = data.partition(b"\r\n\r\n")
                    length = int(re.search(rb"Content-Length: (\d+)", head).group(1)) \
                        if b"Content-Length" in head else 0
                    while len(rest) < length:
                        rest += connection.recv(65536)
                    self.requests.append((head, rest))
                    reply = self.body.encode()
                    connection.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n%s"
                                       % (len(reply), reply))
                except OSError:
                    pass

    def close(self):
        self.stopping = True
        # Shutting the listener down wakes the blocked accept(); a bare close() would leave
        # it listening until then.
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        for connection in self.held:
            connection.close()
        self.thread.join(5)


class StudyTest(unittest.TestCase):
    def setUp(self):
        self.workdir, self.cleanup = temp_dir("kestrelio-study-")
        self.closers = []

    def tearDown(self):
        for close in reversed(self.closers):
            close()
        self.cleanup()

    def rig(self, study_server, names=None):
        rig = CallRig(self.workdir, study_server=study_server,
                      **({"names": names} if names else {}))
        self.closers.append(rig.close)
        return rig

    def server(self, port=None):
        server = StudyServer(self.workdir, port=port)
        self.closers.append(server.stop)
        return server

    def test_after_call_survey_is_answered_uploaded_and_stored(self):
        server = self.server()
        rig = self.rig(server.host_port, names=(TRICKY_NAME, "Bruno"))
        rig.connect_call()
        rig.hang_up()

        # A short call asks why it ended: one question with four answers as radio buttons.
        shown = answer_survey(rig.ra, 1)
        self.assertEqual(shown["controls"]["1045"]["text"], "The call was short. Why did it end?")
        self.assertEqual([shown["controls"][str(FIRST_ANSWER + i)]["visible"] for i in range(6)],
                         [True, True, True, True, False, False])
        self.assertFalse(shown["controls"][str(SUBMIT)]["enabled"])
        answer_survey(rig.rb, 3)
        records = wait_until(lambda: rig.study_file("survey_results.txt", "a"))
        self.assertIn(b'<response trigger="after_call_short">\r\n', records)
        self.assertIn(b"\t<qid>7</qid>\r\n\t<aid>31</aid>\r\n", records)

        # A hidden answer cannot be clicked, and a bad trigger index is refused.
        rig.ra.call("survey-trigger", 7)
        answer = survey_dialog(rig.ra.wait_for(lambda s: survey_dialog(s) is not None, 20))
        hidden = [c for c, v in answer["controls"].items() if not v["visible"]
                  and FIRST_ANSWER <= int(c) < SUBMIT]
        with self.assertRaises(RemoteError):
            rig.ra.call("dialog-click", SURVEY, int(hidden[0]))
        for bad in (10, -1, 2.5, "3"):
            with self.assertRaises(RemoteError):
                rig.ra.call("survey-trigger", bad)
        answer_survey(rig.ra, 0)

        for remote, handset in ((rig.ra, "a"), (rig.rb, "b")):
            sent = upload_now(remote)
            self.assertEqual(sent, {"survey_results": True, "call_log": True,
                                    "battery_log": True, "ip_log": True}, handset)
            files = remote.state()["study"]["files"]
            self.assertNotIn("survey_results.txt", files)
            self.assertNotIn("calllog.txt", files)
            self.assertEqual(len([f for f in files if ROTATED_SURVEYS.match(f)]), 1, files)
            self.assertEqual(len([f for f in files if ROTATED_CALL_LOG.match(f)]), 1, files)

        # The server's tables hold the records parsed.
        answers = sorted((r["trigger"], r["question"], r["answer"])
                         for r in server.table("survey_responses"))
        self.assertEqual(len(answers), 3, answers)
        self.assertIn(("after_call_short", "7", "31"), answers)
        self.assertIn(("after_call_short", "7", "33"), answers)
        self.assertEqual([a[0] for a in answers].count("receive_text"), 1, answers)
        calls = server.table("calls")
        self.assertEqual(sorted(r["direction"] for r in calls), ["INCOMING", "OUTGOING"])
        outgoing = [r for r in calls if r["direction"] == "OUTGOING"][0]
        incoming = [r for r in calls if r["direction"] == "INCOMING"][0]
        self.assertEqual(outgoing["user_name"], TRICKY_NAME)
        self.assertEqual(incoming["peer_name"], TRICKY_NAME)
        self.assertEqual(outgoing["peer_phone"], rig.number_b)
        self.assertGreaterEqual(len(server.table("ip")), 2)

        # The researcher page wants the password, and shows the tables with it.
        status, _ = server.get("/study/")
        self.assertEqual(status, 401)
        status, _ = server.get("/study/", "not the password")
        self.assertEqual(status, 401)
        status, page = server.get("/study/", server.password)
        self.assertEqual(status, 200)
        self.assertIn("<table", page)
        self.assertIn("after_call_short", page)
        self.check_page_in_browser(server)

        # Closing the window while a survey is on screen ends the program cleanly, and the
        # unanswered question is not recorded.
        rig.ra.call("textlognotify", 0)
        rig.ra.wait_for(lambda s: survey_dialog(s) is not None, 20)
        rig.ra.call("quit")
        self.assertEqual(rig.a.wait(), 0)
        self.assertNotIn("survey_results.txt", os.listdir(rig.study_folder("a")))

    def check_page_in_browser(self, server):
        chromium = shutil.which("chromium") or ("/usr/bin/chromium"
                                                if os.path.exists("/usr/bin/chromium") else None)
        if chromium is None:
            return  # no browser on this machine: the page was checked over HTTP above
        shot = os.path.join(self.workdir, "researcher.png")
        url = "http://researcher:%s@%s/study/" % (server.password, server.host_port)
        subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu",
                        "--window-size=1200,900", "--screenshot=" + shot, url],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        with open(shot, "rb") as f:
            png = f.read()
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        # A blank white page compresses to almost nothing.
        self.assertGreater(len(png), 20000)

    def test_refused_uploads_keep_the_file_until_one_upload_carries_every_record(self):
        port = free_tcp_port()
        rig = self.rig("127.0.0.1:%d" % port)
        # Nothing listens yet: the call log stays.
        for _ in range(2):
            rig.connect_call()
            rig.hang_up()
        wait_until(lambda: len(lines_of(rig.study_file("calllog.txt", "a"))) == 2)
        records = lines_of(rig.study_file("calllog.txt", "a"))
        self.assertEqual(len(records), 2)
        self.assertFalse(upload_now(rig.ra)["call_log"])
        self.assertEqual(lines_of(rig.study_file("calllog.txt", "a")), records)

        # A server that answers "succes" has not confirmed anything.
        almost = OneReplyServer(port, "succes")
        try:
            self.assertFalse(upload_now(rig.ra)["call_log"])
        finally:
            almost.close()
        self.assertEqual(lines_of(rig.study_file("calllog.txt", "a")), records)
        posted = [body for head, body in almost.requests if b"calllogprocess.php" in head]
        self.assertEqual(len(posted), 1)
        self.assertEqual(posted[0], b"passwd=qorvantex&data=" + rig.study_file("calllog.txt", "a"))

        # The real server: one upload carries both records, and a second finds nothing new.
        server = self.server(port)
        sent = upload_now(rig.ra)
        self.assertTrue(sent["call_log"], sent)
        self.assertEqual(rig.study_file("calllog.txt", "a"), b"")
        self.assertFalse(upload_now(rig.ra)["call_log"])  # no call log to send
        # Each of the two records is stored once: the server's rows are exactly the file's.
        stored = sorted((r["direction"], r["start_time"], r["end_time"], r["duration_s"])
                        for r in server.table("calls"))
        local = sorted((c[1], c[13], c[14], c[12]) for c in (r.split(", ") for r in records))
        self.assertEqual(stored, local)

    def test_silent_server_fails_the_upload_and_a_call_meanwhile_is_still_logged(self):
        port = free_tcp_port()
        silent = OneReplyServer(port, body=None)
        self.closers.append(silent.close)
        # A survey answer waiting from an earlier run: the first upload has something to
        # send, so it meets the silent server.
        folder = os.path.join(self.workdir, "a", "My Documents", "Personal", "Kestrelio")
        os.makedirs(folder)
        waiting = (b'<response trigger="sent_text">\r\n\t<device>00000000000000000000</device>'
                   b"\r\n\t<qid>9</qid>\r\n\t<aid>40</aid>\r\n"
                   b"\t<showtime>2024-03-07 09:05:00</showtime>\r\n"
                   b"\t<submittime>2024-03-07 09:05:09</submittime>\r\n</response>\r\n")
        with open(os.path.join(folder, "survey_results.txt"), "wb") as f:
            f.write(waiting)
        rig = self.rig("127.0.0.1:%d" % port)

        # Asked now, answered when the uploads have given up; the handset answers other
        # requests meanwhile.
        request = {"result": None}

        def ask():
            try:
                request["result"] = upload_now(rig.a.connect(), timeout=45)
            except Exception as error:  # noqa: BLE001 - reported below
                request["result"] = error

        asker = threading.Thread(target=ask)
        asker.start()
        rig.connect_call()
        rig.hang_up()
        # The uploads hold the Logging Mutex: the call record waits in memory.
        pending = rig.ra.wait_for(lambda s: s["study"]["pending_records"] >= 1
                                  or b"OUTGOING" in rig.study_file("calllog.txt", "a"), 10)
        asker.join(50)
        self.assertFalse(asker.is_alive(), "upload-now got no reply")
        self.assertEqual(request["result"], {"survey_results": False, "call_log": False,
                                             "battery_log": False, "ip_log": False})
        self.assertGreaterEqual(pending["study"]["pending_records"], 1)
        self.assertTrue(wait_until(lambda: b"OUTGOING" in rig.study_file("calllog.txt", "a"), 40))
        self.assertEqual(rig.study_file("survey_results.txt", "a"), waiting)


if __name__ == "__main__":
    unittest.main()
