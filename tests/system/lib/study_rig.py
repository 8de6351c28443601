"""A real study server on loopback for the study system tests and the demo, with the
researcher pages behind a password; standard library only."""
import base64
import csv
import io
import os
import socket
import subprocess
import time
import urllib.error
import urllib.request

from call_rig import free_tcp_port  # noqa: F401 - the study tests take it from here
from handset_driver import build_bin, read_log

HERE = os.path.dirname(os.path.abspath(__file__))
SURVEY_BANK = os.path.normpath(os.path.join(HERE, "..", "..", "..", "servers", "study", "surveys"))


def port_open(address, port):
    try:
        with socket.create_connection((address, port), timeout=0.5):
            return True
    except OSError:
        return False


class StudyServer:
    """kestrelio-study-server on address:port with a fresh database in `workdir`."""

    def __init__(self, workdir, port=None, address="127.0.0.1", password="field-notes-42",
                 name="study"):
        self.address = address
        self.port = port or free_tcp_port(address)
        self.password = password
        self.db = os.path.join(workdir, name + ".db")
        password_file = os.path.join(workdir, name + "-password.txt")
        with open(password_file, "w") as f:
            f.write(password + "\n")
        self.log_path = os.path.join(workdir, name + "-server.log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(
            [os.path.join(build_bin(), "kestrelio-study-server"), "--bind", address,
             "--port", str(self.port), "--db", self.db, "--surveys", SURVEY_BANK,
             "--researcher-password-file", password_file],
            stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while not port_open(address, self.port):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("study server did not start:\n" + self.log_text())
            time.sleep(0.05)

    @property
    def host_port(self):
        return "%s:%d" % (self.address, self.port)

    @property
    def researcher_url(self):
        return "http://%s/study/" % self.host_port

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        if not self.log.closed:
            self.log.close()

    def log_text(self):
        return read_log(self.log, self.log_path)

    def get(self, path, password=None):
        """(status, body text) of a GET, with basic auth when a password is given."""
        request = urllib.request.Request("http://%s%s" % (self.host_port, path))
        if password is not None:
            token = base64.b64encode(("researcher:" + password).encode()).decode()
            request.add_header("Authorization", "Basic " + token)
        try:
            with urllib.request.urlopen(request, timeout=10) as reply:
                return reply.status, reply.read().decode("utf-8", "replace")
        except urllib.error.HTTPError as error:
            return error.code, error.read().decode("utf-8", "replace")

    def table(self, name):
        """Every row of one table from its CSV export, as dicts."""
        status, text = self.get("/study/%s.csv" % name, self.password)
        if status != 200:
            raise RuntimeError("CSV export of %s: %d %s" % (name, status, text[:200]))
        return list(csv.DictReader(io.StringIO(text)))
