"""Drives real kestrelio processes through their remote-control sockets.

Used by the system tests and scripts/demo; standard library only.
"""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time


class RemoteError(Exception):
    pass


def read_log(log, path):
    """What a child process has written to its log file so far."""
    if not log.closed:
        log.flush()
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def wait_until(condition, timeout=5.0, interval=0.05):
    """Polls condition() until it is true; returns its last value. The time-out is a hang
    guard only: no test asserts on how long anything takes."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


class Remote:
    """One JSON-lines connection to a handset's --ipc-server socket."""

    def __init__(self, path, timeout=10.0):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        self.sock.settimeout(timeout)
        self.reader = self.sock.makefile("r", encoding="utf-8")
        self.events = []
        self.next_id = 1

    def close(self):
        try:
            self.reader.close()
            self.sock.close()
        except OSError:
            pass

    def call(self, *command):
        request_id = self.next_id
        self.next_id += 1
        line = json.dumps({"command": list(command), "request_id": request_id}) + "\n"
        self.sock.sendall(line.encode("utf-8"))
        while True:
            text = self.reader.readline()
            if not text:
                raise RemoteError("connection closed")
            reply = json.loads(text)
            if "event" in reply:
                self.events.append(reply)
                continue
            if reply.get("request_id") != request_id:
                continue
            if reply.get("error") != "success":
                raise RemoteError(reply.get("error"))
            return reply.get("data")

    def state(self):
        return self.call("get-state")

    def wait_for(self, predicate, timeout=10.0, interval=0.05):
        """Polls get-state until predicate(state) is true; returns that state."""
        deadline = time.monotonic() + timeout
        while True:
            state = self.state()
            if predicate(state):
                return state
            if time.monotonic() > deadline:
                raise TimeoutError("condition not met; last state: " + json.dumps(state)[:2000])
            time.sleep(interval)


class Handset:
    """A kestrelio process with its own profile folder and remote-control socket."""

    def __init__(self, binary, workdir, name, extra_args=(), env=None, identity=None):
        self.profile = os.path.join(workdir, name)
        os.makedirs(self.profile, exist_ok=True)
        if identity:
            # (phone number, user name) stored before the first start.
            with open(os.path.join(self.profile, "settings.ini"), "w") as f:
                f.write("[HKEY_CURRENT_USER/SOFTWARE/Kestrelio]\nPhoneNumber=%s\nUserName=%s\n"
                        % identity)
        self.socket_path = os.path.join(workdir, name + ".sock")
        self.log_path = os.path.join(workdir, name + ".log")
        args = [binary, "--profile", self.profile, "--ipc-server", self.socket_path]
        args += list(extra_args)
        full_env = dict(os.environ)
        full_env.setdefault("QT_QPA_PLATFORM", "offscreen")
        if env:
            full_env.update(env)
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT,
                                        env=full_env, stdin=subprocess.DEVNULL)
        self.remote = None

    def connect(self, timeout=15.0):
        self.remote = Remote(self.socket_path, timeout)
        return self.remote

    def wait(self, timeout=20.0):
        try:
            return self.process.wait(timeout)
        finally:
            self.log.close()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.remote:
            self.remote.close()
        if not self.log.closed:
            self.log.close()

    def log_text(self):
        return read_log(self.log, self.log_path)


def build_bin():
    """The folder with kestrelio and its camera drivers (KESTRELIO_BIN or ../../build/bin)."""
    path = os.environ.get("KESTRELIO_BIN")
    if path:
        return path
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.normpath(os.path.join(here, "..", "..", "..", "build", "bin"))


def temp_dir(prefix):
    path = tempfile.mkdtemp(prefix=prefix)
    return path, lambda: shutil.rmtree(path, ignore_errors=True)
