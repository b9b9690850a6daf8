#!/usr/bin/env python3
"""How long the installer takes to end, timed as a user sees it, in a Wine slot of its own:
after a success (from the setup program's end to the installer's exit), after a confirmed cancel
(from the answer to the exit) and after a failure (from the failure in the status line to the
exit, which includes the failure's notice time in the tray). Prints the runs and their medians;
with --other-exe also those of another build of the installer, for before/after comparisons.

Usage: ending_bench.py --build-dir build/windows64 [--runs 3] [--other-exe PATH]
"""

import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SLOT = "bench"
SETUP = "QuorvinSetup.exe"


def driver_until(wine, predicate, timeout, *args):
    return harness.wait_until(lambda: predicate(wine.driver(*args)[1]), timeout, step=0.05)


def run_installer(wine, server, exe, path, env, tag):
    copy = wine.stamp(server.url(path), name="QvEnding.exe", source=exe)
    return wine.start([copy], env=env, tag=tag)


def time_success(wine, server, exe, env, log):
    if os.path.exists(log):
        os.remove(log)
    proc = run_installer(wine, server, exe, "file/setup/" + SETUP, env, "success")
    proc.wait(timeout=120)
    exited = time.time()
    runs = harness.read_setup_log(log)
    wine.delete_product_key()
    return exited - runs[-1]["ended"]


def time_cancel(wine, server, exe, env):
    proc = run_installer(wine, server, exe, "filedrip/setup/20000/" + SETUP, env, "cancel")
    wine.driver("wait-window", "--timeout", "30000")
    driver_until(wine, lambda v: v.get("percent"), 30, "texts")
    wine.driver("key", "esc")
    wine.driver("confirm", "yes")
    answered = time.monotonic()
    proc.wait(timeout=120)
    return time.monotonic() - answered


def time_failure(wine, server, exe, env):
    failure = harness.user_texts()["kMsgDownloadFailed"]
    proc = run_installer(wine, server, exe, "status/404/" + SETUP, env, "failure")
    wine.driver("wait-window", "--timeout", "30000")
    driver_until(wine, lambda v: v.get("status") == failure, 30, "texts")
    seen = time.monotonic()
    proc.wait(timeout=120)
    return time.monotonic() - seen


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--other-exe", help="another build of the installer to time alike")
    args = parser.parse_args()
    wine = harness.Wine(args.build_dir, SLOT)
    wine.lock()
    server = harness.TestServer("--file", "setup=" + wine.tool("sample_setup.exe"))
    log = os.path.join(wine.scratch, "setup.log")
    env = {"QV_SAMPLE_SETUP_LOG": harness.win_path(log),
           "QV_SAMPLE_SETUP_DIR": harness.win_path(os.path.join(wine.scratch, "Pellix"))}
    exes = [("this build", wine.tool("QuorvinOnlineInstaller.exe"))]
    if args.other_exe:
        exes.append(("other exe", os.path.abspath(args.other_exe)))
    results = {}
    wine.delete_product_key()
    try:
        # Builds take turns within each round, so a change of the machine's load hits them alike.
        for _ in range(args.runs):
            for label, exe in exes:
                for what, measure in (("success", lambda: time_success(wine, server, exe, env,
                                                                        log)),
                                      ("cancel", lambda: time_cancel(wine, server, exe, env)),
                                      ("failure", lambda: time_failure(wine, server, exe, env))):
                    results.setdefault((label, what), []).append(measure())
    finally:
        wine.delete_product_key()
        server.stop()
        wine.cleanup()
    print("ending_bench: seconds from the event to the installer's exit, %d runs" % args.runs)
    for (label, what), values in results.items():
        print("  %-10s %-8s median %6.2f s   runs: %s" % (
            label, what, statistics.median(values), " ".join("%.2f" % v for v in values)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
