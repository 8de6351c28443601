"""A presence server and two handsets on loopback, for the call system tests and the demo."""
import os
import socket
import subprocess

from handset_driver import Handset, build_bin


def free_udp_port(address):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind((address, 0))
        return s.getsockname()[1]


# Two handsets started in the same instant could make up the same number (it is drawn
# from the clock), so the rig gives each its own.
NUMBER_A, NAME_A = "12065550101", "Alma"
NUMBER_B, NAME_B = "12065550102", "Bruno"


class CallRig:
    """Presence server on `base`.1, handsets A and B on `base`.2 and `base`.3."""

    def __init__(self, workdir, base="127.0.2", timer_scale="0.2", env=None):
        self.workdir = workdir
        bin_dir = build_bin()
        server_address = base + ".1"
        port = free_udp_port(server_address)
        self.presence_log_path = os.path.join(workdir, "presence.log")
        self.presence_log = open(self.presence_log_path, "w")
        self.presence = subprocess.Popen(
            [os.path.join(bin_dir, "kestrelio-presence"), "--bind", server_address,
             "--port", str(port)],
            stdout=self.presence_log, stderr=subprocess.STDOUT)
        handset_env = {"KESTRELIO_TIMER_SCALE": timer_scale} if timer_scale else {}
        handset_env.update(env or {})
        presence = "%s:%d" % (server_address, port)
        self.a = self.b = None
        try:
            self._start(bin_dir, base, presence, handset_env)
        except BaseException:
            self.close()
            raise

    def _start(self, bin_dir, base, presence, handset_env):
        self.a = Handset(os.path.join(bin_dir, "kestrelio"), self.workdir, "a",
                         ["--camera", "synthetic", "--bind", base + ".2", "--presence", presence],
                         env=handset_env, identity=(NUMBER_A, NAME_A))
        self.b = Handset(os.path.join(bin_dir, "kestrelio"), self.workdir, "b",
                         ["--camera", "synthetic", "--bind", base + ".3", "--presence", presence],
                         env=handset_env, identity=(NUMBER_B, NAME_B))
        self.ra = self.a.connect()
        self.rb = self.b.connect()
        # Both are online in each other's Online DB.
        for remote, handset in ((self.ra, self.a), (self.rb, self.b)):
            try:
                remote.wait_for(lambda s: s["online_db"]["count"] >= 2, 20)
            except TimeoutError:
                for h, r in ((self.a, self.ra), (self.b, self.rb)):
                    print("--- %s state: %s\n--- log:\n%s" % (h.profile, r.state(), h.log_text()[-3000:]))
                raise
        self.number_a = self.ra.state()["own"]["phone_number"]
        self.number_b = self.rb.state()["own"]["phone_number"]

    def close(self):
        for h in (self.a, self.b):
            if h is not None:
                h.kill()
        if self.presence.poll() is None:
            self.presence.terminate()
            self.presence.wait()
        self.presence_log.close()

    def study_file(self, name, handset):
        path = os.path.join(self.workdir, handset, "My Documents", "Personal", "Kestrelio", name)
        if not os.path.exists(path):
            return b""
        with open(path, "rb") as f:
            return f.read()

    def dial(self, remote, number):
        remote.call("command", 110)
        remote.wait_for(lambda s: any(d["id"] == 105 for d in s["dialogs"]))
        remote.call("dialog-set-text", 105, 1001, number)
        remote.call("dialog-click", 105, 1012)


def box_with(state, caption=None, text=None):
    for box in state["message_boxes"]:
        if (caption is None or box["caption"] == caption) and (text is None or box["text"] == text):
            return box
    return None
