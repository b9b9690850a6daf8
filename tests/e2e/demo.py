#!/usr/bin/env python3
"""The demo behind scripts/demo: one real run of the installer, shown and explained."""

import argparse
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

DESKTOP_KEY = r"HKCU\Software\Wine\Explorer"


def screenshot(wine, path):
    display = os.environ.get("DISPLAY") if os.environ.get("QV_USE_DISPLAY") == "1" else None
    if display is None:
        with open(os.path.join(wine.build_dir, "xvfb.state")) as f:
            display = ":" + f.read().split()[1]
    subprocess.run(["import", "-display", display, "-window", "root", path],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    print("  screenshot:", path if os.path.exists(path) else "(could not be taken)")


def configured_url(build_dir):
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("QV_DOWNLOAD_URL:"):
                return line.split("=", 1)[1].strip()
    raise SystemExit("demo: QV_DOWNLOAD_URL not found in the build")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--rate", type=int, default=25000,
                        help="bytes per second the server sends, so there is time to look")
    args = parser.parse_args()
    if os.environ.get("DISPLAY"):
        os.environ["QV_USE_DISPLAY"] = "1"
    os.makedirs(args.out, exist_ok=True)
    wine = harness.Wine(args.build_dir)
    url = configured_url(args.build_dir)
    match = re.match(r"^http://127\.0\.0\.1:(\d+)/([^?#]+)$", url)
    if not match:
        raise SystemExit("demo: the build's address %s is not a loopback http address; "
                         "configure with the default QV_DOWNLOAD_URL" % url)
    port, path = int(match.group(1)), "/" + match.group(2)

    setup_log = os.path.join(wine.scratch, "setup.log")
    install_dir = os.path.join(wine.scratch, "PellixExplorer")
    env = {"QV_SAMPLE_SETUP_LOG": harness.win_path(setup_log),
           "QV_SAMPLE_SETUP_DIR": harness.win_path(install_dir)}
    server = subprocess.Popen(
        [sys.executable, os.path.join(harness.SOURCE_DIR, "tests", "tools", "http_server.py"),
         "--port", str(port), "--file", "setup=" + wine.tool("sample_setup.exe"),
         "--route", "%s=/filedrip/setup/%d%s" % (path, args.rate, path),
         "--idle-timeout", "300"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if not server.stdout.readline().strip():
        raise SystemExit("demo: port %d on 127.0.0.1 is busy" % port)

    # A virtual desktop with a taskbar, so the tray icon and its balloons are drawn.
    wine.run(["reg", "add", DESKTOP_KEY, "/v", "Desktop", "/d", "Default", "/f"], tag="reg")
    wine.run(["reg", "add", DESKTOP_KEY + r"\Desktops", "/v", "Default", "/d", "1024x768", "/f"],
             tag="reg")
    wine.delete_product_key()
    try:
        print("demo: serving the sample setup program at", url, "(%d bytes/s)" % args.rate)
        print("demo: running", wine.tool("QuorvinOnlineInstaller.exe"))
        started = time.monotonic()
        proc = wine.start([wine.tool("QuorvinOnlineInstaller.exe")], env=env, tag="installer")
        wine.driver("wait-window", "--timeout", "30000")
        time.sleep(3)
        screenshot(wine, os.path.join(args.out, "tray-balloon.png"))
        wine.driver("tray", "dblclick")
        time.sleep(3)
        code, texts = wine.driver("texts")
        print("  dialog: status=%s percent=%s speed=%s" % (
            texts.get("status"), texts.get("percent"), texts.get("speed")))
        screenshot(wine, os.path.join(args.out, "dialog.png"))
        wine.driver("click", "minimize")
        code = proc.wait(timeout=600)
        elapsed = time.monotonic() - started
        runs = harness.read_setup_log(setup_log)
        print("\ndemo: outcome")
        print("  installer exit code:", code, "after %.1f s" % elapsed)
        for run in runs:
            print("  setup program received: arguments=%r, working directory=%s, hidden=%s, "
                  "exit code=%s" % (run["args"], run["cwd"], run["hidden"], run.get("exit_code")))
        if not runs:
            print("  setup program: not run")
        leftovers = [n for n in wine.temp_files() if n.lower().endswith(".exe")]
        print("  left in the temp folder:", leftovers or "nothing")
        print("  browser registered at:", wine.registry_path_value())
    finally:
        wine.delete_product_key()
        wine.run(["reg", "delete", DESKTOP_KEY, "/v", "Desktop", "/f"], tag="reg")
        server.terminate()
        wine.cleanup()


if __name__ == "__main__":
    main()
