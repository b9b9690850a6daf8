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
import select
import signal
import subprocess
import sys
import time

RAN = re.compile(rb"^\[==========\] \d+ tests? from \d+ test (suites?|cases?) ran\.")
PASSED = re.compile(rb"^\[  PASSED  \] \d+ tests?\.")
FAILED = re.compile(rb"^\[  FAILED  \] ")


class Summary:
    """What the lines after GoogleTest's "ran." line say about the run."""

    def __init__(self):
        self.ran = False
        self.passed = False
        self.failed = False
        self._partial = b""

    def feed(self, data):
        lines = (self._partial + data).split(b"\n")
        self._partial = lines.pop()
        for line in lines:
            text = line.rstrip(b"\r")
            if not self.ran:
                self.ran = bool(RAN.match(text))
            elif PASSED.match(text):
                self.passed = True
            elif FAILED.match(text):
                self.failed = True

    def verdict(self):
        return 0 if self.passed and not self.failed else 1


class Output:
    """The program's pipe, passed on to this script's standard output as it comes."""

    def __init__(self, pipe, summary):
        self.fd = pipe.fileno()
        self.summary = summary
        self.open = True

    def pass_on(self, timeout):
        """Waits up to `timeout` seconds for output and passes on what came."""
        if not self.open:
            time.sleep(timeout)
            return
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if ready:
            self._read()

    def drain(self):
        """Passes on everything already in the pipe. Once the program has ended, that is all it
        wrote; a helper that inherited the pipe may keep it open, so this never waits for its
        end."""
        if not self.open:
            return
        os.set_blocking(self.fd, False)
        try:
            while self.open and self._read():
                pass
        except BlockingIOError:
            pass

    def _read(self):
        data = os.read(self.fd, 65536)
        if not data:
            self.open = False
            return False
        self.summary.feed(data)
        sys.stdout.buffer.write(data)
        sys.stdout.buffer.flush()
        return True


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
    output = Output(child.stdout, summary)

    # Until the summary is printed the program's own end (or CTest's time-out) decides; after it,
    # the program has GRACE seconds to end.
    deadline = None
    while child.poll() is None:
        if summary.ran and deadline is None:
            deadline = time.monotonic() + args.grace
        if deadline is not None and time.monotonic() >= deadline:
            child.kill()
            child.wait()
            output.drain()
            verdict = summary.verdict()
            sys.stderr.write(
                "gtest_exit_guard: the test program printed its results but had not ended %g s "
                "later; killed, exit code %d from its summary\n" % (args.grace, verdict))
            return verdict
        output.pass_on(0.1)
    output.drain()
    return child.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
