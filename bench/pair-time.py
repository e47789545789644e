#!/usr/bin/env python3
"""Times two commands as whole processes, in turn (A B A B ...), and prints min, median and max of
wall seconds, CPU seconds (user + system of the command and the children it waited for) and peak
memory (never below this script's own, about 15 MiB), and the A/B ratios taken pair by pair, so
that a drift in the machine's speed cancels out. --prepare runs a command before every timed run
of either side, outside the timing (`sync`: no run then waits behind the write-back of the one
before). Needs only Python 3.

    pair-time.py [-n RUNS] [--prepare 'COMMAND'] --vs 'COMMAND B' -- COMMAND A [ARG ...]
"""
import argparse
import os
import shlex
import statistics
import subprocess
import sys
import time


def run_once(command):
    start = time.monotonic()
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        print(f"exit {code}: {shlex.join(command)}", file=sys.stderr)
    return {"wall s": wall, "cpu s": usage.ru_utime + usage.ru_stime, "peak MiB": usage.ru_maxrss / 1024}


def row(name, values):
    print(f"{name:<14}{min(values):>10.3f}{statistics.median(values):>10.3f}{max(values):>10.3f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-n", "--runs", type=int, default=5)
    parser.add_argument("--vs", required=True, help="command B, split as a shell splits words")
    parser.add_argument("--prepare", help="run untimed before every timed run, split likewise")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    a = args.command[1:] if args.command[:1] == ["--"] else args.command
    b = shlex.split(args.vs)
    prepare = shlex.split(args.prepare) if args.prepare else None
    print(f"A = {shlex.join(a)}\nB = {shlex.join(b)}")
    if prepare:
        print(f"before each run, untimed: {shlex.join(prepare)}")
    runs = {"A": [], "B": []}
    for _ in range(args.runs):
        for side, command in (("A", a), ("B", b)):
            if prepare:
                subprocess.run(prepare, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
            runs[side].append(run_once(command))
    print(f"{'':<14}{'min':>10}{'median':>10}{'max':>10}   (n {args.runs} each, whole processes)")
    for side in ("A", "B"):
        for key in ("wall s", "cpu s", "peak MiB"):
            row(f"{side} {key}", [r[key] for r in runs[side]])
    for key in ("wall s", "cpu s"):
        row(f"A/B {key.split()[0]}", [x[key] / y[key] for x, y in zip(runs["A"], runs["B"])])


if __name__ == "__main__":
    main()
