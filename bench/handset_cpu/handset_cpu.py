#!/usr/bin/env python3
"""CPU share of a real handset, idle and in a call: two handsets and a presence server on
loopback (the system tests' rig, synthetic camera, no timer scaling), their user and
system time read from /proc over a window of wall time.

  bench/handset_cpu/handset_cpu.py [--seconds N] [--runs K]

Prints, per run, each handset's share of one core idle (signed in, no call) and in a call,
then min/median/max over the runs and, in a call, each thread's share. KESTRELIO_BIN names the folder with the programs."""
import argparse
import os
import statistics
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "system", "lib"))
from call_rig import CallRig  # noqa: E402
from handset_driver import temp_dir  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime


def thread_seconds(pid):
    """CPU seconds per thread name (threads of one name summed)."""
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue  # the thread ended meanwhile
        out[name] = out.get(name, 0.0) + (int(fields[11]) + int(fields[12])) / TICKS
    return out


def share(processes, seconds, per_thread=None):
    before = [cpu_seconds(p.pid) for p in processes]
    threads_before = [thread_seconds(p.pid) for p in processes]
    start = time.monotonic()
    time.sleep(seconds)
    wall = time.monotonic() - start
    if per_thread is not None:
        for p, tb in zip(processes, threads_before):
            for name, value in thread_seconds(p.pid).items():
                per_thread.setdefault(name, []).append(100.0 * (value - tb.get(name, 0.0)) / wall)
    return [100.0 * (cpu_seconds(p.pid) - b) / wall for p, b in zip(processes, before)]


def one_run(seconds, per_thread):
    workdir, cleanup = temp_dir("kestrelio-cpu-")
    rig = CallRig(workdir, base="127.0.7", timer_scale=None)
    try:
        processes = [rig.a.process, rig.b.process]
        time.sleep(2)  # start-up work done
        idle = share(processes, seconds)
        rig.connect_call()
        rig.ra.wait_for(lambda s: s["call"]["last_call"]["received_frame_sum"] >= 12, 15)
        in_call = share(processes, seconds, per_thread)
        rig.hang_up()
        return idle, in_call
    finally:
        rig.close()
        cleanup()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    idles, calls = [], []
    per_thread = {}
    for run in range(args.runs):
        idle, in_call = one_run(args.seconds, per_thread)
        print("run %d: idle A %.2f %% B %.2f %%, in a call A %.2f %% B %.2f %%"
              % (run + 1, idle[0], idle[1], in_call[0], in_call[1]), flush=True)
        idles += idle
        calls += in_call
    for name, values in (("idle", idles), ("in a call", calls)):
        print("%-9s min %.2f  median %.2f  max %.2f  (%% of one core, %d handset samples)"
              % (name, min(values), statistics.median(values), max(values), len(values)))
    print("in a call, per thread (median over handsets and runs):")
    for name, values in sorted(per_thread.items(), key=lambda item: -statistics.median(item[1])):
        print("  %-18s %.2f %%" % (name, statistics.median(values)))


if __name__ == "__main__":
    main()
