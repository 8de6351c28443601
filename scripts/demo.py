"""The demo behind scripts/demo: a presence server and two handsets on loopback that call
each other, driven through their remote-control sockets as a person would."""
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "system", "lib"))
from call_rig import CallRig, box_with  # noqa: E402

CALL_SECONDS = float(os.environ.get("KESTRELIO_DEMO_SECONDS", "20"))


def say(text):
    print(time.strftime("%H:%M:%S"), text, flush=True)


def main():
    headless = os.environ.get("QT_QPA_PLATFORM") == "offscreen"
    workdir = tempfile.mkdtemp(prefix="kestrelio-demo-")
    say("demo folder: " + workdir)
    rig = CallRig(workdir, base="127.0.0", timer_scale=None)
    try:
        ra, rb = rig.ra, rig.rb
        say("A (%s) and B (%s) are online" % (rig.number_a, rig.number_b))

        say("A dials B")
        rig.dial(ra, rig.number_b)
        state = rb.wait_for(lambda s: box_with(s, "Connection") is not None, 15)
        say("B is asked: " + box_with(state, "Connection")["text"].replace("\n", " "))
        time.sleep(1.5)
        rb.call("answer", "Connection", "yes")
        ra.wait_for(lambda s: s["flags"]["in_call"], 10)
        rb.wait_for(lambda s: s["flags"]["in_call"], 10)
        say("connected")

        for remote, text in ((ra, "Hello! Can you see me?"), (rb, "Yes, clearly. Hi!")):
            remote.call("command", 114)
            remote.call("set-text", 122, text)
            remote.call("command", 127)
        rb.wait_for(lambda s: len(s["chat"]) >= 2, 10)
        ra.wait_for(lambda s: len(s["chat"]) >= 2, 10)

        started = time.monotonic()
        shots_taken = False
        while time.monotonic() - started < CALL_SECONDS:
            time.sleep(1)
            if not shots_taken and time.monotonic() - started > CALL_SECONDS / 2:
                for name, remote in (("a", ra), ("b", rb)):
                    shot = os.path.join(workdir, "handset-%s-mid-call.png" % name)
                    remote.call("screenshot", shot)
                    say("screenshot " + shot)
                shots_taken = True
            say("A: %s | B: %s" % (ra.state()["status_text"], rb.state()["status_text"]))

        say("A hangs up")
        ra.call("command", 111)
        ra.wait_for(lambda s: box_with(s, "Connection") is not None, 10)
        ra.call("answer", "Connection", "yes")
        state = rb.wait_for(lambda s: box_with(s, "UDP Connection") is not None, 10)
        say("B sees: " + box_with(state, "UDP Connection")["text"])
        rb.call("answer", "UDP Connection", "ok")
        for name, remote in (("A", ra), ("B", rb)):
            say("%s chat: %s" % (name, " / ".join(remote.state()["chat"])))
        time.sleep(1)
        for handset in ("a", "b"):
            for name in ("calllog.txt", "history_info.txt"):
                say("%s %s: %s" % (handset.upper(), name, rig.study_file(name, handset).decode().strip()))
        if not headless:
            say("close both windows (File > Exit or Ctrl+Q) to end the demo")
            rig.a.process.wait()
            rig.b.process.wait()
        else:
            ra.call("quit")
            rb.call("quit")
            say("exit codes: A %d, B %d" % (rig.a.wait(), rig.b.wait()))
    finally:
        rig.close()


if __name__ == "__main__":
    main()
