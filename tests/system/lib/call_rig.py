"""A presence server and two handsets on loopback, for the call system tests and the demo."""
import os
import socket
import subprocess

from handset_driver import Handset, build_bin


def free_tcp_port(address="127.0.0.1"):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((address, 0))
        return s.getsockname()[1]


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

    def __init__(self, workdir, base="127.0.2", timer_scale="0.2", env=None, study_server=None,
                 names=(NAME_A, NAME_B), env_b=None):
        """study_server: "host:port" both handsets use (default: a port where nothing
        listens, so no survey is shown); names: their user names; env_b: what B's
        environment has apart from `env` (its own X display, say)."""
        self.workdir = workdir
        self.names = names
        if study_server is None:
            study_server = "127.0.0.1:%d" % free_tcp_port("127.0.0.1")
        self.study_args = ["--study-server", study_server]
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
        handset_env_b = dict(handset_env, **(env_b or {}))
        presence = "%s:%d" % (server_address, port)
        self.a = self.b = None
        try:
            self._start(bin_dir, base, presence, handset_env, handset_env_b)
        except BaseException:
            self.close()
            raise

    def _start(self, bin_dir, base, presence, handset_env, handset_env_b):
        self.a = Handset(os.path.join(bin_dir, "kestrelio"), self.workdir, "a",
                         ["--camera", "synthetic", "--bind", base + ".2", "--presence", presence]
                         + self.study_args, env=handset_env, identity=(NUMBER_A, self.names[0]))
        self.b = Handset(os.path.join(bin_dir, "kestrelio"), self.workdir, "b",
                         ["--camera", "synthetic", "--bind", base + ".3", "--presence", presence]
                         + self.study_args, env=handset_env_b, identity=(NUMBER_B, self.names[1]))
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

    def study_folder(self, handset):
        return os.path.join(self.workdir, handset, "My Documents", "Personal", "Kestrelio")

    def study_file(self, name, handset):
        path = os.path.join(self.study_folder(handset), name)
        if not os.path.exists(path):
            return b""
        with open(path, "rb") as f:
            return f.read()

    def connect_call(self):
        """A dials B and B accepts; returns when both are in the call."""
        self.dial(self.ra, self.number_b)
        self.rb.wait_for(lambda s: box_with(s, "Connection") is not None, 15)
        self.rb.call("answer", "Connection", "yes")
        self.ra.wait_for(lambda s: s["flags"]["in_call"], 10)
        self.rb.wait_for(lambda s: s["flags"]["in_call"], 10)

    def hang_up(self):
        """A hangs up and confirms, B acknowledges the release; returns when neither is in
        the call."""
        self.ra.call("command", 111)
        self.ra.wait_for(lambda s: box_with(s, "Connection") is not None, 10)
        self.ra.call("answer", "Connection", "yes")
        self.rb.wait_for(lambda s: box_with(s, "UDP Connection") is not None, 10)
        self.rb.call("answer", "UDP Connection", "ok")
        for remote in (self.ra, self.rb):
            remote.wait_for(lambda s: not s["flags"]["in_call"], 10)

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
