#!/usr/bin/env python3
"""Times a command against a reference command, run in turn (A B A B ...), as whole processes:
wall, user and system time and peak memory, each as minimum, median and maximum, and the medians of
the pair-by-pair ratios A/B. What both commands print is thrown away; their exit statuses are
counted. Needs GNU time (Debian: time).
Usage: pairs.py [-n RUNS] [--warmup K] [--timeout S] --vs 'COMMAND B' -- COMMAND A [ARG...]
COMMAND B is one string split as a shell splits; COMMAND A is the arguments after --."""
import argparse
import os
import shlex
import statistics
import subprocess
import sys
import tempfile
import threading
import time


def run_once(argv, deadline):
    """One run: (exit status, wall s, user s, sys s, peak MiB) of the process and its waited-for children.
    GNU time reports the peak: a child forked from this interpreter would count its memory too."""
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak.name] + argv,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   stdin=subprocess.DEVNULL)
        killer = threading.Timer(max(0.0, deadline - time.monotonic()), process.kill)
        killer.start()
        _, status, usage = os.wait4(process.pid, 0)
        killer.cancel()
        wall = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)  # reaped here: Popen must not wait again
        kib = [int(line) for line in peak.read().split() if line.isdigit()]
    return process.returncode, wall, usage.ru_utime, usage.ru_stime, (kib[-1] if kib else 0) / 1024


def summary(name, values):
    ordered = sorted(values)
    return "%-10s %10.4f %11.4f %11.4f" % (name, ordered[0], statistics.median(ordered), ordered[-1])


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("-n", type=int, default=5)
    parser.add_argument("--warmup", type=int, default=1)
    parser.add_argument("--timeout", type=float, default=3600)
    parser.add_argument("--vs", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    a = options.command[1:] if options.command[:1] == ["--"] else options.command
    b = shlex.split(options.vs)
    if not a:
        parser.error("no command A after --")
    deadline = time.monotonic() + options.timeout
    for _ in range(options.warmup):
        run_once(a, deadline)
        run_once(b, deadline)
    runs = {"A": [], "B": []}
    for _ in range(options.n):
        runs["A"].append(run_once(a, deadline))
        runs["B"].append(run_once(b, deadline))
    print("A = %s\nB = %s" % (shlex.join(a), options.vs))
    for side in "AB":
        codes = [r[0] for r in runs[side]]
        print("%s exit 0 in %d of %d runs" % (side, codes.count(0), len(codes)))
    print("%-10s %10s %11s %11s" % ("", "min", "median", "max"))
    fields = {"user s": 2, "sys s": 3, "wall s": 1, "peak MiB": 4}
    for side in "AB":
        for name, i in fields.items():
            print(summary(side + " " + name, [r[i] for r in runs[side]]))
        print(summary(side + " cpu s", [r[2] + r[3] for r in runs[side]]))
    pairs = list(zip(runs["A"], runs["B"]))
    ratio = lambda f: [f(x) / f(y) for x, y in pairs if f(y) > 0]
    print(summary("A/B user", ratio(lambda r: r[2])))
    print(summary("A/B cpu", ratio(lambda r: r[2] + r[3])))
    print(summary("A/B wall", ratio(lambda r: r[1])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
