"""The demo behind scripts/demo: a presence server, a study server and two handsets on
loopback that call each other, answer the questions the study asks after the call and
upload their study files, driven through their remote-control sockets as a person would."""
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "system", "lib"))
from call_rig import CallRig, box_with  # noqa: E402
from handset_driver import wait_until  # noqa: E402
from study_rig import StudyServer  # noqa: E402

CALL_SECONDS = float(os.environ.get("KESTRELIO_DEMO_SECONDS", "20"))


def say(text):
    print(time.strftime("%H:%M:%S"), text, flush=True)


def survey_dialog(state):
    return next((d for d in state["dialogs"] if d["id"] == 140), None)


def answer_surveys(name, remote, workdir, choice):
    """Answers every question the handset shows after the call, with answer `choice` (or
    the last one when there are fewer); saves a screenshot of the first."""
    asked = 0
    while True:
        state = wait_until(lambda: survey_dialog(remote.state()), 20 if asked == 0 else 3)
        if not state:
            break
        question = state["controls"]["1045"]["text"]
        answers = [state["controls"][str(1031 + i)]["text"] for i in range(10)
                   if state["controls"][str(1031 + i)]["visible"]]
        say("%s is asked: %s  [%s]" % (name, question, " | ".join(answers)))
        if asked == 0:
            shot = os.path.join(workdir, "handset-%s-survey.png" % name.lower())
            remote.call("screenshot", shot)
            say("screenshot " + shot)
        picked = min(choice, len(answers) - 1)
        remote.call("dialog-click", 140, 1031 + picked)
        wait_until(lambda: (survey_dialog(remote.state()) or {}).get(
            "controls", {}).get("1046", {}).get("enabled"), 5)
        remote.call("dialog-click", 140, 1046)
        say("%s answers: %s" % (name, answers[picked]))
        wait_until(lambda: not survey_dialog(remote.state())
                   or survey_dialog(remote.state())["controls"]["1045"]["text"] != question, 10)
        asked += 1
    return asked


def show_stored(server):
    for table in ("calls", "unanswered_calls", "survey_responses", "battery", "ip",
                  "program_runs"):
        rows = server.table(table)
        say("study server table %s: %d rows" % (table, len(rows)))
        for row in rows:
            if table == "calls":
                text = "%s %s -> %s, %s s, %s fps sent" % (
                    row["direction"], row["user_name"], row["peer_name"], row["duration_s"],
                    row["sent_fps"])
            elif table == "survey_responses":
                text = "%s question %s answer %s at %s" % (
                    row["trigger"], row["question"], row["answer"], row["submit_time"])
            else:
                text = ", ".join("%s=%s" % (k, v) for k, v in row.items()
                                 if k not in ("device", "upload_id"))
            say("    " + text)


def main():
    headless = os.environ.get("QT_QPA_PLATFORM") == "offscreen"
    workdir = tempfile.mkdtemp(prefix="kestrelio-demo-")
    say("demo folder: " + workdir)
    server = StudyServer(workdir)
    say("study server on %s (database %s)" % (server.host_port, server.db))
    try:
        rig = CallRig(workdir, base="127.0.0", timer_scale=None, study_server=server.host_port)
    except BaseException:
        server.stop()
        raise
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

        # The study asks each of them about the call; they answer.
        for name, remote, choice in (("A", ra, 0), ("B", rb, 1)):
            if answer_surveys(name, remote, workdir, choice) == 0:
                say("%s was asked nothing" % name)
        for name, handset in (("A", "a"), ("B", "b")):
            say("%s survey_results.txt:\n%s" % (
                name, rig.study_file("survey_results.txt", handset).decode().strip()))

        # Instead of waiting for the hourly upload, both upload now.
        for name, remote in (("A", ra), ("B", rb)):
            remote.sock.settimeout(60)
            sent = remote.call("upload-now")
            remote.sock.settimeout(10)
            say("%s uploads: %s" % (name, ", ".join("%s %s" % (k, "sent" if v else "not sent")
                                                   for k, v in sorted(sent.items()))))
            say("%s study folder: %s" % (name, " ".join(remote.state()["study"]["files"])))
        show_stored(server)
        say("researcher page: %s (any user name, password %s)" % (server.researcher_url,
                                                               server.password))
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
        server.stop()


if __name__ == "__main__":
    main()
