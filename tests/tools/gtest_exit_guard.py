#!/usr/bin/env python3
"""Runs one GoogleTest program (a Windows test program under Wine) and passes its output on.

Two ways a finished Wine test would otherwise keep CTest waiting until its time-out:
- Wine starts helper processes on demand (the desktop process, services) that inherit the test's
  standard output and error and outlive it; CTest waits for the end of those pipes, not for the
  process. So the program's output and errors both come through a pipe of this script, which ends
  when the program has ended, whoever still holds the pipe.
- Under load Wine now and then leaves a test process that has printed its results, flushed its
  output and called TerminateProcess waiting on its wineserver for ever. Its results are known by
  then, so once the program has printed GoogleTest's closing summary it gets GRACE seconds to end;
  after that it is killed and the exit code comes from the summary: 0 only when the summary says
  the tests passed and lists no failure, 1 otherwise.
A program that ends by itself keeps its own exit code, whatever it printed.

usage: gtest_exit_guard.py [--grace SECONDS] -- PROGRAM ARGS...
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import threading

RAN = re.compile(rb"^\[==========\] \d+ tests? from \d+ test (suites?|cases?) ran\.")
PASSED = re.compile(rb"^\[  PASSED  \] \d+ tests?\.")
FAILED = re.compile(rb"^\[  FAILED  \] ")
# How long the output a program wrote before it ended may take to come through the pipe, which a
# helper that inherited it may keep open for ever.
DRAIN_SECONDS = 1.0


class Summary:
    """What the lines after GoogleTest's "ran." line say about the run."""

    def __init__(self):
        self.ran = threading.Event()
        self.passed = False
        self.failed = False

    def feed(self, line):
        text = line.rstrip(b"\r\n")
        if not self.ran.is_set():
            if RAN.match(text):
                self.ran.set()
            return
        if PASSED.match(text):
            self.passed = True
        elif FAILED.match(text):
            self.failed = True

    def verdict(self):
        return 0 if self.passed and not self.failed else 1


def pump(stream, out, summary):
    for line in iter(stream.readline, b""):
        summary.feed(line)
        out.write(line)
        out.flush()


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--grace", type=float, default=15.0)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no program to run")

    summary = Summary()
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def forward(signum, _frame):
        child.kill()
        sys.exit(128 + signum)

    signal.signal(signal.SIGTERM, forward)
    signal.signal(signal.SIGINT, forward)
    reader = threading.Thread(target=pump, args=(child.stdout, sys.stdout.buffer, summary),
                              daemon=True)
    reader.start()

    # Until the summary is printed the program's own end (or CTest's time-out) decides.
    while not summary.ran.wait(timeout=0.2):
        if child.poll() is not None:
            reader.join(timeout=DRAIN_SECONDS)
            return child.returncode
    try:
        code = child.wait(timeout=args.grace)
    except subprocess.TimeoutExpired:
        child.kill()
        child.wait()
        reader.join(timeout=DRAIN_SECONDS)
        verdict = summary.verdict()
        sys.stderr.write(
            "gtest_exit_guard: the test program printed its results but had not ended %g s "
            "later; killed, exit code %d from its summary\n" % (args.grace, verdict))
        return verdict
    reader.join(timeout=DRAIN_SECONDS)
    return code

if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
