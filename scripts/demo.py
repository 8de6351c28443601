"""The demo behind scripts/demo: starts a presence server and a handset and shows them."""
import json
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "system", "lib"))
from handset_driver import Handset, build_bin  # noqa: E402


def main():
    bin_dir = build_bin()
    headless = os.environ.get("QT_QPA_PLATFORM") == "offscreen"
    workdir = tempfile.mkdtemp(prefix="kestrelio-demo-")
    print("demo folder:", workdir)

    presence_log = open(os.path.join(workdir, "presence.log"), "w")
    presence = subprocess.Popen([os.path.join(bin_dir, "kestrelio-presence"), "--bind", "127.0.0.1"],
                                stdout=presence_log, stderr=subprocess.STDOUT)
    handset = Handset(os.path.join(bin_dir, "kestrelio"), workdir, "handset-a",
                      ["--camera", "synthetic", "--bind", "127.0.0.2", "--presence", "127.0.0.1:8238"])
    try:
        remote = handset.connect()
        state = remote.wait_for(lambda s: s["own"]["phone_number"] != "")
        print("handset A: number %s, name %s" % (state["own"]["phone_number"], state["own"]["user_name"]))
        print("status line:", state["status_text"])
        for _ in range(4):
            remote.call("command", 120)
            print("view mode", remote.state()["view_mode"])
        shot = os.path.join(workdir, "handset-a.png")
        remote.call("screenshot", shot)
        print("screenshot:", shot)
        if not headless:
            print("close the window (File > Exit or Ctrl+Q) to end the demo")
            handset.process.wait()
        else:
            remote.call("quit")
            print("handset exit code", handset.wait())
    finally:
        handset.kill()
        presence.terminate()
        presence.wait()
        presence_log.close()


if __name__ == "__main__":
    main()
