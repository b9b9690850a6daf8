#!/usr/bin/env python3
"""Screenshots of the progress dialog at high DPI for the README: the real installer under Wine at
each DPI given, in a Wine slot of its own (the build tree's other prefixes are not touched), in a
virtual desktop so that Wine draws the title bar, during a slow download.

Usage: dpi_screenshots.py --build-dir build/windows64 --out docs/images [--dpi 144 192]
Writes dialog-<DPI>dpi.png into --out and prints each dialog's size and its text fit; exits 1 when
a screenshot is blank or a text does not fit.
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo  # noqa: E402
import harness  # noqa: E402

SLOT = "screenshots"
DESKTOP_KEY = r"HKCU\Software\Wine\Explorer"


def shoot(wine, server, dpi, out, problems):
    wine.set_dpi_setting(dpi)
    exe = wine.stamp(server.url("filedrip/setup/20000/QuorvinSetup.exe"))
    proc = wine.start([exe], tag="installer")
    try:
        wine.driver("wait-window", "--timeout", "30000")
        wine.driver("tray", "dblclick")
        harness.wait_until(lambda: wine.driver("texts")[1].get("percent"), 30)
        time.sleep(1)
        _, geometry = wine.driver("geometry")
        _, fit = wine.driver("fit", "all-status")
        left, top, right, bottom = (int(v) for v in geometry["window_rect"].split(","))
        whole = os.path.join(wine.scratch, "screen.png")
        demo.screenshot(wine, whole, problems)
        path = os.path.join(out, "dialog-%ddpi.png" % dpi)
        subprocess.run(["convert", whole, "-crop", "%dx%d+%d+%d" % (
            right - left, bottom - top, left, top), "+repage", path], check=True)
        count = demo.colours(path)
        if count <= 1:
            problems.append("%s is blank" % path)
        print("  %d DPI: window %s, client %s, texts fit: %s -> %s" % (
            dpi, geometry.get("window"), geometry.get("client"), fit.get("fits"), path))
        if fit.get("fits") != "1":
            problems.append("a text does not fit at %d DPI: %r" % (dpi, fit))
        wine.driver("key", "esc")
        wine.driver("confirm", "yes")
        proc.wait(timeout=60)
    finally:
        if proc.poll() is None:
            harness.kill_group(proc)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--dpi", type=int, nargs="+", default=[144, 192])
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    wine = harness.Wine(args.build_dir, SLOT)
    wine.lock()
    server = harness.TestServer("--file", "setup=" + wine.tool("sample_setup.exe"))
    restore = wine.dpi_setting()
    problems = []
    wine.run(["reg", "add", DESKTOP_KEY, "/v", "Desktop", "/d", "Default", "/f"], tag="reg")
    wine.run(["reg", "add", DESKTOP_KEY + r"\Desktops", "/v", "Default", "/d", "1200x700", "/f"],
             tag="reg")
    try:
        if not wine.wait_desktop_gone():
            raise SystemExit("dpi_screenshots: the slot's desktop did not end; is a program of "
                             "it still running?")
        print("dpi_screenshots: the progress dialog at", ", ".join("%d" % d for d in args.dpi),
              "DPI")
        for dpi in args.dpi:
            shoot(wine, server, dpi, args.out, problems)
    finally:
        wine.set_dpi_setting(restore)
        wine.run(["reg", "delete", DESKTOP_KEY, "/v", "Desktop", "/f"], tag="reg")
        server.stop()
        wine.cleanup()
    for problem in problems:
        print("  " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
