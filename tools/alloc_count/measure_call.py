#!/usr/bin/env python3
"""Allocations per thread and second during a real loopback call.

Starts a presence server and two handsets (synthetic camera, offscreen) with the
counting allocator preloaded, sets up a call, lets it settle, then takes two counter
dumps DURATION seconds apart from each handset and prints each thread's allocations per
second (all kinds together) and, where the handset reports its media figures, per
painted picture.

    tools/alloc_count/measure_call.py [--bin DIR] [--preload LIB] [--seconds N]
"""
import argparse
import collections
import glob
import os
import signal
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "system", "lib"))

from call_rig import CallRig  # noqa: E402
from handset_driver import temp_dir  # noqa: E402


def read_dumps(path):
    """[(ms, {(tid, name): total})] of one process's file."""
    dumps, current, stamp = [], None, 0
    with open(path) as f:
        for line in f:
            words = line.split()
            if not words:
                continue
            if words[0] == "dump":
                current, stamp = {}, int(words[1])
            elif words[0] == "end":
                dumps.append((stamp, current))
            elif current is not None:
                current[(words[0], words[1])] = sum(int(w) for w in words[2:])
    return dumps


def rates(first, second):
    """Allocations per second by thread name between two dumps."""
    (t0, a), (t1, b) = first, second
    seconds = (t1 - t0) / 1000.0
    by_name = collections.Counter()
    for key, total in b.items():
        by_name[key[1]] += total - a.get(key, 0)
    return seconds, {name: count / seconds for name, count in by_name.items()}


def media(remote):
    state = remote.state()
    return state.get("media")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "..", "build", "bin"))
    parser.add_argument("--preload", default=None)
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--settle", type=float, default=4.0)
    parser.add_argument("--overlay", action="store_true", help="statistics overlay on on B")
    args = parser.parse_args()
    bin_dir = os.path.abspath(args.bin)
    preload = os.path.abspath(args.preload or os.path.join(HERE, "..", "..", "build", "bin",
                                                           "liballoc-count.so"))
    os.environ["KESTRELIO_BIN"] = bin_dir
    workdir, cleanup = temp_dir("kestrelio-alloc-")
    prefix = os.path.join(workdir, "alloc")
    rig = CallRig(workdir, base="127.0.9", timer_scale=None,
                  env={"LD_PRELOAD": preload, "ALLOC_COUNT_FILE": prefix})
    try:
        rig.connect_call()
        if args.overlay:
            rig.rb.call("command", 32820)
        time.sleep(args.settle)
        handsets = {"A": rig.a, "B": rig.b}
        remotes = {"A": rig.ra, "B": rig.rb}
        before = {k: media(r) for k, r in remotes.items()}
        for h in handsets.values():
            os.kill(h.process.pid, signal.SIGUSR1)
        time.sleep(args.seconds)
        for h in handsets.values():
            os.kill(h.process.pid, signal.SIGUSR1)
        after = {k: media(r) for k, r in remotes.items()}
        time.sleep(0.5)
        for key, handset in handsets.items():
            dumps = read_dumps("%s.%d" % (prefix, handset.process.pid))
            seconds, per_second = rates(dumps[0], dumps[1])
            painted = None
            if before[key] and after[key]:
                painted = (after[key]["frames_painted"] - before[key]["frames_painted"]) / seconds
                print("handset %s: %.1f s, %.1f pictures painted/s, %.1f decoded/s" % (
                    key, seconds, painted,
                    (after[key]["frames_decoded"] - before[key]["frames_decoded"]) / seconds))
            else:
                print("handset %s: %.1f s" % (key, seconds))
            for name, rate in sorted(per_second.items(), key=lambda item: -item[1]):
                if rate < 0.05:
                    continue
                extra = " (%.2f per painted picture)" % (rate / painted) if painted else ""
                print("  %-16s %9.1f allocations/s%s" % (name, rate, extra))
        rig.hang_up()
    finally:
        rig.close()
        cleanup()


if __name__ == "__main__":
    main()
