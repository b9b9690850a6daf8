#!/usr/bin/env python3
"""The demo behind scripts/demo: a real run of the installer, shown and explained, then a short
run that fails (the server answers 404) and keeps its notice in the tray."""

import argparse
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

DESKTOP_KEY = r"HKCU\Software\Wine\Explorer"


def colours(path):
    """How many distinct colours the image at `path` has (0 when it cannot be read)."""
    result = subprocess.run(["identify", "-format", "%k", path], capture_output=True, text=True,
                            check=False)
    return int(result.stdout) if result.returncode == 0 and result.stdout.isdigit() else 0


def screenshot(wine, path, problems):
    """Saves the whole display to `path`; a missing or one-colour picture is a problem."""
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["import", "-display", wine.display(), "-window", "root", path],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    count = colours(path) if os.path.exists(path) else 0
    if count == 0:
        problems.append("screenshot %s could not be taken" % path)
    elif count == 1:
        problems.append("screenshot %s is blank (one colour)" % path)
    print("  screenshot: %s (%d colours)" % (path, count))


def configured_url(build_dir):
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("QV_DOWNLOAD_URL:"):
                return line.split("=", 1)[1].strip()
    raise SystemExit("demo: QV_DOWNLOAD_URL not found in the build")


def failing_run(wine, server, env, out, problems):
    """A second, short run against an address that answers 404: the failure stays in the tray
    (icon and balloon) until its notice time is up, then the installer exits 0."""
    texts = harness.user_texts()
    failure = texts["kMsgDownloadFailed"]
    print("\ndemo: a run that fails: the server answers 404")
    exe = wine.stamp(server.url("status/404/QuorvinSetup.exe"), name="QuorvinFailing.exe")
    started = time.monotonic()
    proc = wine.start([exe], env=env, tag="failing")
    code, _ = wine.driver("wait-window", "--timeout", "30000")
    if code != 0:
        problems.append("the failing run showed no dialog")
    seen = harness.wait_until(lambda: wine.driver("texts")[1].get("status") == failure, 30)
    failed_at = time.monotonic()
    balloon = harness.wait_until(lambda: wine.driver("balloon")[1].get("text0") == failure, 10,
                                 step=0.5)
    print("  status line: %s; balloon shown: %s" % (failure if seen else "never", bool(balloon)))
    screenshot(wine, os.path.join(out, "failure-balloon.png"), problems)
    icon = wine.driver("tray-icon")[1].get("icon") == "1"
    try:
        code = proc.wait(timeout=120)
    except subprocess.TimeoutExpired:
        harness.kill_group(proc)
        code = None
    print("  installer exit code: %s after %.1f s, %.1f s after the failure (the icon stayed: %s)"
          % (code, time.monotonic() - started, time.monotonic() - failed_at, icon))
    if not seen:
        problems.append("the failing run never showed %s" % failure)
    if not balloon:
        problems.append("the failing run's balloon never showed %s" % failure)
    if not icon:
        problems.append("the failing run's tray icon did not stay")
    if code != 0:
        problems.append("the failing run's exit code was %s, not 0" % code)


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
    try:
        server = harness.TestServer("--file", "setup=" + wine.tool("sample_setup.exe"),
                                    "--route", "%s=/filedrip/setup/%d%s" % (path, args.rate, path),
                                    port=port, idle_timeout=300)
    except harness.ServerError as error:
        raise SystemExit("demo: FAILED: %s (is port %d on 127.0.0.1 busy?)" % (error, port))

    # A virtual desktop with a taskbar, so the tray icon and its balloons are drawn.
    wine.run(["reg", "add", DESKTOP_KEY, "/v", "Desktop", "/d", "Default", "/f"], tag="reg")
    wine.run(["reg", "add", DESKTOP_KEY + r"\Desktops", "/v", "Default", "/d", "1024x768", "/f"],
             tag="reg")
    wine.delete_product_key()
    problems = []
    try:
        print("demo: serving the sample setup program at", url, "(%d bytes/s)" % args.rate)
        print("demo: running", wine.tool("QuorvinOnlineInstaller.exe"))
        started = time.monotonic()
        proc = wine.start([wine.tool("QuorvinOnlineInstaller.exe")], env=env, tag="installer")
        steps = [("wait-window", "--timeout", "30000"), ("tray", "dblclick"), ("texts",),
                 ("click", "minimize")]
        results = {}

        def step(index):
            code, values = wine.driver(*steps[index])
            results[steps[index][0]] = values
            if code != 0:
                problems.append("UI driver '%s' failed: %s" % (
                    " ".join(steps[index]), values.get("error", code)))

        step(0)
        time.sleep(3)
        screenshot(wine, os.path.join(args.out, "tray-balloon.png"), problems)
        step(1)
        time.sleep(3)
        step(2)
        texts = results.get("texts", {})
        print("  dialog: status=%s percent=%s speed=%s" % (
            texts.get("status"), texts.get("percent"), texts.get("speed")))
        screenshot(wine, os.path.join(args.out, "dialog.png"), problems)
        step(3)
        try:
            code = proc.wait(timeout=600)
        except subprocess.TimeoutExpired:
            harness.kill_group(proc)
            code = None
            problems.append("the installer was still running after 600 s")
        elapsed = time.monotonic() - started
        runs = harness.read_setup_log(setup_log)
        print("\ndemo: outcome")
        print("  installer exit code:", code, "after %.1f s" % elapsed)
        for run in runs:
            print("  setup program received: arguments=%r, working directory=%s, hidden=%s, "
                  "exit code=%s" % (run["args"], run["cwd"], run["hidden"], run.get("exit_code")))
        if not runs:
            print("  setup program: not run")
        leftovers = wine.leftovers()
        print("  left in the temp folder:", leftovers or "nothing")
        registered = wine.registry_path_value()
        print("  browser registered at:", registered)

        if code != 0:
            problems.append("installer exit code %s, not 0" % code)
        if len(runs) != 1:
            problems.append("the setup program ran %d times, not once" % len(runs))
        elif runs[0]["args"] != "/S" or not runs[0]["hidden"] or runs[0].get("exit_code") != "0":
            problems.append("the setup program was not run hidden with /S to success: %r" % runs[0])
        if leftovers:
            problems.append("files left in the temp folder: %r" % leftovers)
        if not registered:
            problems.append("the browser was not registered")
        wine.delete_product_key()
        failing_run(wine, server, env, args.out, problems)
    finally:
        wine.delete_product_key()
        wine.run(["reg", "delete", DESKTOP_KEY, "/v", "Desktop", "/f"], tag="reg")
        server.stop()
        wine.cleanup()
    if problems:
        print("\ndemo: FAILED")
        for problem in problems:
            print("  " + problem)
        return 1
    print("\ndemo: OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
