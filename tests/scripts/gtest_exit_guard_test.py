#!/usr/bin/env python3
"""tests/tools/gtest_exit_guard.py around made-up test programs: a program that ends keeps its own
exit code; one that hangs after its summary is killed and judged by the summary, never passed
on a summary that is missing, incomplete or lists a failure; a helper process that inherited the
program's output and outlives it does not hold the run; the output passes through intact."""
import os
import subprocess
import sys
import time
import unittest

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
GUARD = os.path.join(SOURCE_DIR, "tests", "tools", "gtest_exit_guard.py")

RAN = "[==========] 1 test from 1 test suite ran. (5 ms total)"
PASSED = "[  PASSED  ] 1 test."
FAILED = "[  FAILED  ] 1 test, listed below:\n[  FAILED  ] Suite.Name\n\n 1 FAILED TEST"
# Lines a passing test's own output may contain before the summary.
NOISE = "[ RUN      ] Suite.Name\n[  FAILED  ] looks like a failure but comes before the summary"


def program(lines, then):
    """A Python program that prints `lines`, flushes, then runs `then` (hang or exit)."""
    return [sys.executable, "-c",
            "import sys, time\nsys.stdout.write(%r)\nsys.stdout.flush()\n%s" % (lines, then)]


HANG = "time.sleep(600)"
# The program starts a helper that inherits its output and error pipes and outlives it, as Wine's
# desktop process does, then ends.
LEAVE_HELPER = ("import subprocess\n"
                "subprocess.Popen([sys.executable, '-c', 'import time; time.sleep(30)'])\n"
                "sys.stderr.write('to stderr\\n')\nsys.exit(0)")


# 300 KB of output and a passing summary, written at once just before the program ends.
BULK_TEXT = ("x" * 99 + "\n") * 3000 + RAN + "\n" + PASSED + "\n"
BULK = "sys.stdout.write(('x' * 99 + '\\n') * 3000 + %r)\nsys.stdout.flush()\nsys.exit(0)" % (
    RAN + "\n" + PASSED + "\n")
# What each ending adds to the output the table gives.
EXTRA_OUTPUT = {LEAVE_HELPER: "to stderr\n", BULK: BULK_TEXT}


class GuardTest(unittest.TestCase):
    def run_guard(self, lines, then):
        started = time.monotonic()
        result = subprocess.run([sys.executable, GUARD, "--grace", "1", "--"] +
                                program(lines, then), capture_output=True, timeout=60)
        return result, time.monotonic() - started

    def test_cases(self):
        cases = [
            # name, output, then, exit code, killed
            ("passed, then hangs", NOISE + "\n" + RAN + "\n" + PASSED + "\n", HANG, 0, True),
            ("failed, then hangs", RAN + "\n" + PASSED + "\n" + FAILED + "\n", HANG, 1, True),
            ("summary cut short, then hangs", RAN + "\n", HANG, 1, True),
            ("passed, ends with its own code", RAN + "\n" + PASSED + "\n", "sys.exit(3)", 3, False),
            ("no summary, ends", "[ RUN      ] Suite.Name\n", "sys.exit(5)", 5, False),
            ("passed, windows line ends, hangs", RAN + "\r\n" + PASSED + "\r\n", HANG, 0, True),
            ("passed, ends, a helper keeps the pipes", RAN + "\n" + PASSED + "\n", LEAVE_HELPER, 0,
             False),
            # More than a pipe holds, written just before the end: every byte comes through.
            ("much output, then ends at once", "", BULK, 0, False),
        ]
        for name, lines, then, code, killed in cases:
            with self.subTest(name):
                result, seconds = self.run_guard(lines, then)
                self.assertEqual(result.returncode, code, result.stderr)
                expected = lines + EXTRA_OUTPUT.get(then, "")
                self.assertEqual(result.stdout.decode(), expected)
                self.assertEqual(b"killed" in result.stderr, killed, result.stderr)
                self.assertLess(seconds, 30)


if __name__ == "__main__":
    unittest.main()
