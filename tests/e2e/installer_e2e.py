#!/usr/bin/env python3
"""End-to-end tests: the real installer exe under Wine against the loopback server.

Each test stamps a copy of the built exe with a download address on a fresh loopback server,
runs it as a user would (through the UI driver for clicks and keys), and checks what a user and a
release engineer care about: exit code, what the setup program received, what was left in the
temp folder, what the server saw, and what the dialog showed.

Run one test:  installer_e2e.py --build-dir build/windows64 InstallerEndToEnd.test_success
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

BUILD_DIR = None
# What the installer shows, by the names of its table of user texts.
TEXT = harness.user_texts()
SETUP_NAME = "QuorvinSetup.exe"
# A process removes its tray icon and ends a few seconds after its loop quits under Wine.
EXIT_GRACE = 20
# After a failure the icon and its balloon stay this long when nobody reacts (kFailureNoticeMs).
NOTICE = 15
# Send/receive bound of the installer's network calls, plus the margin a test allows.
STALL_BOUND = 30 + 15


def serve_setup(wine):
    """The loopback test server, serving the sample setup program as key 'setup' and logging
    every request to the scratch folder."""
    server = harness.TestServer("--file", "setup=" + wine.tool("sample_setup.exe"),
                                "--log", os.path.join(wine.scratch, "server.jsonl"))
    server.requests = lambda: harness.read_json_lines(
        os.path.join(wine.scratch, "server.jsonl"))
    return server


class InstallerEndToEnd(unittest.TestCase):
    def setUp(self):
        # CTest gives each test a Wine slot of its own; run by hand, the test takes slot "solo".
        self.wine = harness.Wine(BUILD_DIR, harness.ctest_wine_slot() or "solo")
        self.wine.lock()
        self.addCleanup(lambda: self.wine.cleanup(os.environ.get("QV_E2E_KEEP") == "1"))
        self.wine.delete_product_key()
        self.clear_temp()
        self.server = serve_setup(self.wine)
        self.setup_log = os.path.join(self.wine.scratch, "setup.log")
        self.install_dir = os.path.join(self.wine.scratch, "Pellix")
        self.env = {
            "QV_SAMPLE_SETUP_LOG": harness.win_path(self.setup_log),
            "QV_SAMPLE_SETUP_DIR": harness.win_path(self.install_dir),
        }
        self.proc = None

    def tearDown(self):
        if self.proc is not None and self.proc.poll() is None:
            harness.kill_group(self.proc)
        self.server.stop()
        self.wine.delete_product_key()
        self.clear_temp()

    # -- helpers --------------------------------------------------------------------------

    def clear_temp(self):
        temp = self.wine.temp_dir()
        for name in os.listdir(temp):
            if name.lower().endswith(".exe"):
                os.remove(os.path.join(temp, name))

    def leftovers(self):
        return [n for n in self.wine.temp_files() if n.lower().endswith(".exe")]

    def launch(self, path, extra_env=None, url=None):
        """Runs a copy of the installer pointed at `path` on the test server, or at `url`."""
        exe = self.wine.stamp(self.server.url(path) if url is None else url)
        env = dict(self.env)
        env.update(extra_env or {})
        self.proc = self.wine.start([exe], env=env, tag="installer")
        return self.proc

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            harness.kill_group(self.proc)
            self.fail("installer still running after %d s" % timeout)

    def driver(self, *args, timeout=20):
        """One UI driver command whose failure is allowed; answers (exit code, values)."""
        return self.wine.driver(*args, "--timeout", str(timeout * 1000), timeout=timeout)

    def drive(self, *args, timeout=20):
        """One UI driver command that must succeed; answers its values."""
        code, values = self.driver(*args, timeout=timeout)
        if code != 0:
            self.fail("UI driver '%s' failed (exit code %d): %s" % (
                " ".join(args), code, values.get("error", values)))
        return values

    def wait_window(self):
        return self.drive("wait-window", timeout=30)

    def texts(self):
        """The dialog's texts, or None while no dialog answers (it may be starting or gone)."""
        code, values = self.driver("texts")
        return values if code == 0 else None

    def visible(self):
        """Whether the dialog is on screen; the test fails when there is no dialog."""
        return self.drive("texts").get("visible") == "1"

    def wait_status(self, expected, timeout=40):
        """Polls the status line until it reads `expected`; answers the last texts seen."""
        seen = []

        def probe():
            values = self.texts()
            if values is not None:
                seen.append(values.get("status"))
                return values.get("status") == expected
            return False

        harness.wait_until(probe, timeout, step=0.05)
        self.assertIn(expected, seen, "status texts seen: %r" % seen)

    def setup_runs(self):
        return harness.read_setup_log(self.setup_log)

    def downloads(self):
        return [r for r in self.server.requests() if r["method"] == "GET"]

    # -- tests ----------------------------------------------------------------------------

    def test_browser_installed_ends_at_once(self):
        os.makedirs(self.install_dir)
        open(os.path.join(self.install_dir, "Pellix.exe"), "wb").close()
        self.wine.run(["reg", "add", harness.PRODUCT_KEY, "/v", "Path", "/t", "REG_SZ", "/d",
                       harness.win_path(self.install_dir), "/f"], tag="reg")
        self.launch("file/setup/" + SETUP_NAME)
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertEqual(self.downloads(), [])
        self.assertEqual(self.setup_runs(), [])

    def test_success_installs_silently_and_cleans_up(self):
        self.launch("file/setup/" + SETUP_NAME)
        self.wait_window()
        self.assertEqual(self.drive("find").get("visible"), "0", "the dialog starts hidden")
        self.assertEqual(self.wait_exit(90), 0)
        ended = time.time()

        runs = self.setup_runs()
        self.assertEqual(len(runs), 1, runs)
        run = runs[0]
        self.assertEqual(run["args"], "/S")
        self.assertTrue(run["hidden"], run)
        self.assertTrue(run["cwd"].rstrip("\\").lower().endswith("\\temp"), run)
        self.assertEqual(self.leftovers(), [])
        self.assertLess(ended - run["ended"], EXIT_GRACE, "exit long after the setup ended")

        gets = self.downloads()
        self.assertEqual(len(gets), 1)
        self.assertRegex(gets[0]["query"], r"^\d{1,5}\.\d{1,5}$")
        for number in gets[0]["query"].split("."):
            self.assertLessEqual(int(number), 32767)
        accepts = [v for k, v in gets[0]["headers"] if k.lower() == "accept"]
        self.assertTrue(accepts and all(v.strip() == "*/*" for v in accepts), accepts)

        # The setup program installed the browser: a second run ends at once, asking nothing.
        self.assertIsNotNone(self.wine.registry_path_value())
        self.launch("file/setup/" + SETUP_NAME)
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertEqual(len(self.downloads()), 1)

    def test_planted_dlls_beside_the_exe_are_never_loaded(self):
        """Run from a Downloads-like folder holding a fake wininet.dll, with Wine told to prefer
        DLLs beside the exe: the installer must still use the system's.

        version.dll cannot be checked this way under Wine: Wine's own user32 imports it, so the
        override would load the fake before the installer's first instruction runs (Windows
        resolves that chain from the system folder). The loader rule itself is tested for both
        DLLs by the planted-DLL unit test."""
        folder = os.path.join(self.wine.scratch, "Downloads")
        os.makedirs(folder)
        for dll in ("wininet",):
            shutil.copy(os.path.join(self.wine.build_dir, "tests", "app", "planted_" + dll,
                                     dll + ".dll"), folder)
        name = "QvPlantedCheck.exe"
        exe = os.path.join(folder, name)
        shutil.copy(self.wine.stamp(self.server.url("file/setup/" + SETUP_NAME)), exe)
        overrides = r"HKCU\Software\Wine\AppDefaults\%s" % name
        for dll in ("wininet",):
            self.wine.run(["reg", "add", overrides + r"\DllOverrides", "/v", dll, "/d",
                           "native,builtin", "/f"], tag="reg")
        try:
            self.proc = self.wine.start([exe], env=self.env, tag="installer")
            self.assertEqual(self.wait_exit(90), 0)
        finally:
            self.wine.run(["reg", "delete", overrides, "/f"], tag="reg")
        self.assertEqual([n for n in os.listdir(folder) if n.endswith(".loaded")], [])
        self.assertEqual(len(self.setup_runs()), 1, "the installer must still work")

    def check_failure(self, path, status):
        self.launch(path)
        self.wait_window()
        self.wait_status(status)
        self.assertEqual(self.wait_exit(60), 0)
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(self.setup_runs(), [])

    def test_not_found(self):
        self.check_failure("status/404/" + SETUP_NAME, TEXT["kMsgDownloadFailed"])

    def test_no_content_length(self):
        self.check_failure("nolength/50000/" + SETUP_NAME, TEXT["kMsgDownloadFailed"])

    def test_truncated_body(self):
        self.check_failure("short/200000/100000/" + SETUP_NAME, TEXT["kMsgDownloadFailed"])

    def test_connection_refused(self):
        self.launch(None, url="http://127.0.0.1:%d/%s" % (harness.free_port(), SETUP_NAME))
        self.wait_window()
        self.wait_status(TEXT["kMsgDownloadFailed"])
        self.assertEqual(self.wait_exit(60), 0)
        self.assertEqual(self.leftovers(), [])

    def test_no_address_in_version_resource(self):
        self.launch(None, url="")
        self.wait_window()
        self.wait_status(TEXT["kGenericError"])
        self.assertEqual(self.wait_exit(60), 0)

    def test_failing_setup_program_is_not_reported_as_installed(self):
        self.launch("file/setup/" + SETUP_NAME, {"QV_SAMPLE_SETUP_EXIT": "3"})
        self.wait_window()
        self.wait_status(TEXT["kInstallFailed"], timeout=60)
        self.assertEqual(self.wait_exit(60), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(self.leftovers(), [])

    def slow_download(self):
        """A download that lasts long enough to act on it (sample setup dripped slowly)."""
        self.launch("filedrip/setup/20000/" + SETUP_NAME)
        self.wait_window()
        self.assertTrue(harness.wait_until(lambda: (self.texts() or {}).get("percent"), 30),
                        "the download never showed progress")

    def test_cancel_with_escape_then_yes(self):
        self.slow_download()
        self.drive("key", "esc")
        box = self.drive("confirm", "yes")
        self.assertEqual(box.get("text"), TEXT["kConfirmCancel"])
        self.assertEqual(box.get("caption"), harness.CAPTION)
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(self.setup_runs(), [])

    def test_cancel_with_escape_then_no_completes(self):
        self.slow_download()
        self.drive("key", "esc")
        self.drive("confirm", "no")
        self.assertEqual(self.drive("find").get("visible"), "1", "the dialog stays visible after No")
        self.assertEqual(self.wait_exit(120), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(self.leftovers(), [])

    def test_tray_exit_asks_like_escape(self):
        self.slow_download()
        self.drive("tray", "rclick")
        self.drive("menu", "exit")
        box = self.drive("confirm", "yes")
        self.assertEqual(box.get("text"), TEXT["kConfirmCancel"])
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertEqual(self.setup_runs(), [])

    def test_close_box_asks_like_escape(self):
        self.slow_download()
        self.drive("tray", "dblclick")
        self.drive("close-box")
        box = self.drive("confirm", "no")
        self.assertEqual(box.get("text"), TEXT["kConfirmCancel"])
        self.assertEqual(self.wait_exit(120), 0)
        self.assertEqual(len(self.setup_runs()), 1)

    def test_show_from_tray_minimize_and_enter(self):
        self.slow_download()
        self.assertFalse(self.visible())
        self.drive("tray", "dblclick")
        self.assertTrue(harness.wait_until(self.visible, 5))
        self.drive("click", "minimize")
        self.assertTrue(harness.wait_until(lambda: not self.visible(), 5))
        self.drive("tray", "rclick")
        self.drive("menu", "show")
        self.assertTrue(harness.wait_until(self.visible, 5))
        # Enter does nothing: no question, the dialog stays.
        self.drive("key", "enter")
        code, box = self.driver("confirm", "no", timeout=2)
        self.assertNotEqual(code, 0, "Enter must not raise the cancel question")
        self.assertTrue(self.visible())
        self.assertEqual(self.wait_exit(120), 0)

    def test_taskbar_restart_keeps_the_icon_working(self):
        self.slow_download()
        self.drive("taskbar-created")
        self.drive("tray", "rclick")
        self.drive("menu", "show")
        self.assertTrue(harness.wait_until(self.visible, 5))
        self.assertEqual(self.wait_exit(120), 0)
        self.assertEqual(len(self.setup_runs()), 1)

    def test_progress_texts_follow_the_download(self):
        size = 10 * 1024 * 1024
        self.launch("drip/%d/300000/%s" % (size, SETUP_NAME))
        self.wait_window()
        samples = []

        def sample():
            values = self.texts() or {}
            if values.get("percent"):
                samples.append(values)
            return len(samples) >= 3

        harness.wait_until(sample, 40, step=0.5)
        self.assertGreaterEqual(len(samples), 3, samples)
        for values in samples:
            self.assertRegex(values["percent"], r"^\d{1,3}\.\d %$")
            match = re.match(r"^(\d+\.\d\d) KB/s \((\d+\.\d\d) MB/10\.00 MB\)$",
                             values["speed"])
            self.assertIsNotNone(match, values["speed"])
            percent = float(values["percent"].split()[0])
            received_mb = float(match.group(2))
            self.assertAlmostEqual(percent, received_mb * 10, delta=0.6)
            self.assertIn(int(values["progress"]), (int(percent), int(percent) - 1, int(percent) + 1))
        speeds = [float(v["speed"].split()[0]) for v in samples[1:]]
        for kbps in speeds:
            self.assertGreater(kbps, 300000 / 1024 * 0.5)
            self.assertLess(kbps, 300000 / 1024 * 1.5)

    def check_stall(self, path):
        self.launch(path)
        self.wait_window()
        self.wait_status(TEXT["kMsgDownloadFailed"], timeout=STALL_BOUND)
        self.assertEqual(self.wait_exit(NOTICE + EXIT_GRACE), 0)
        self.assertEqual(self.leftovers(), [])

    def test_stall_before_headers_ends(self):
        self.check_stall("silent/" + SETUP_NAME)

    def test_stall_after_headers_ends(self):
        self.check_stall("headers/1000000/" + SETUP_NAME)

    def test_stall_mid_body_ends(self):
        self.check_stall("partial/1000000/300000/" + SETUP_NAME)

    def test_cancel_during_stall_ends_quickly(self):
        self.launch("partial/1000000/300000/" + SETUP_NAME)
        self.wait_window()
        self.assertTrue(harness.wait_until(lambda: (self.texts() or {}).get("percent"), 30),
                        "the download never showed progress")
        self.drive("key", "esc")
        self.drive("confirm", "yes")
        answered = time.monotonic()
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertLess(time.monotonic() - answered, 10)
        self.assertEqual(self.leftovers(), [])

    # -- a failure the user can see -------------------------------------------------------

    def fail_with_404(self):
        """A run that fails at once (the server answers 404); answers when the failure was
        seen in the status line."""
        self.launch("status/404/" + SETUP_NAME)
        self.wait_window()
        self.wait_status(TEXT["kMsgDownloadFailed"])
        return time.monotonic()

    def test_failure_notice_stays_until_its_time_is_up(self):
        failed = self.fail_with_404()
        # Wine's tray sends no balloon notifications: only the time ends the notice here.
        balloons = []
        harness.wait_until(lambda: balloons.append(self.drive("balloon")) or
                           balloons[-1].get("text0") == TEXT["kMsgDownloadFailed"], 8, step=0.5)
        self.assertEqual(balloons[-1].get("text0"), TEXT["kMsgDownloadFailed"], balloons)
        self.assertTrue(harness.wait_until(lambda: time.monotonic() - failed > NOTICE - 5, 20))
        self.assertIsNone(self.proc.poll(), "the run ended before the notice time")
        self.assertEqual(self.drive("tray-icon").get("icon"), "1", "the icon stays")
        self.assertFalse(self.visible(), "the dialog stays hidden")
        self.assertEqual(self.wait_exit(NOTICE + EXIT_GRACE), 0)
        ended = time.monotonic() - failed
        self.assertGreaterEqual(ended, NOTICE - 1)
        self.assertLess(ended, NOTICE + EXIT_GRACE)
        self.assertEqual(self.leftovers(), [])

    def test_failure_balloon_click_shows_the_failure_until_closed(self):
        failed = self.fail_with_404()
        self.drive("tray", "balloon-click")
        self.assertTrue(harness.wait_until(self.visible, 5), "the click opens the dialog")
        self.assertEqual(self.drive("texts").get("status"), TEXT["kMsgDownloadFailed"])
        # Open, it waits for the user, beyond the notice time.
        time.sleep(max(0.0, NOTICE + 2 - (time.monotonic() - failed)))
        self.assertIsNone(self.proc.poll(), "the open dialog waits for the user")
        self.drive("close-box")
        code, box = self.driver("confirm", "no", timeout=2)
        self.assertNotEqual(code, 0, "no cancel question after a failure: %r" % box)
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)

    def test_failure_icon_click_shows_the_failure(self):
        self.fail_with_404()
        self.drive("tray", "click")
        self.assertTrue(harness.wait_until(self.visible, 5), "the click opens the dialog")
        self.assertEqual(self.drive("texts").get("status"), TEXT["kMsgDownloadFailed"])
        self.drive("click", "minimize")
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)

    def test_failure_balloon_closed_ends_the_notice(self):
        failed = self.fail_with_404()
        self.drive("tray", "balloon-shown")
        self.drive("tray", "balloon-closed")
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertLess(time.monotonic() - failed, NOTICE - 2,
                        "closing the balloon ends the notice before its time")

    # -- the tray at logon ----------------------------------------------------------------

    def start_before_the_taskbar(self):
        """Starts the installer while no taskbar takes icons, then lets the real one appear;
        answers when it did. Wine's desktop cannot exist without its tray, so a window of the
        taskbar's class stands in front of it and refuses every icon, then goes."""
        taskbar = self.wine.start([self.wine.tool("ui_driver.exe"), "refusing-tray",
                                   "--timeout", "9000"], tag="taskbar")
        self.addCleanup(lambda: taskbar.poll() is None and harness.kill_group(taskbar))

        def taskbar_output():
            with open(taskbar.out_path, encoding="utf-8", errors="replace") as f:
                return f.read()

        self.assertTrue(harness.wait_until(lambda: "ready=1" in taskbar_output(), 30),
                        taskbar_output())
        self.launch("filedrip/setup/40000/" + SETUP_NAME)
        self.wait_window()
        self.assertTrue(harness.wait_until(lambda: (self.texts() or {}).get("percent"), 10),
                        "the download goes on without a tray icon")
        self.assertEqual(taskbar.wait(timeout=30), 0)
        up = time.monotonic()
        refused = re.search(r"refused=(\d+)", taskbar_output())
        self.assertTrue(refused and int(refused.group(1)) >= 1,
                        "the icon was offered to the taskbar that was not up: %s" % taskbar_output())
        return up

    def check_icon_arrives(self, up, within):
        self.assertTrue(harness.wait_until(lambda: self.drive("tray-icon").get("icon") == "1",
                                           within, step=0.2),
                        "no icon %d s after the taskbar came" % within)
        arrived = time.monotonic() - up
        status = self.drive("texts").get("status")
        balloons = []
        harness.wait_until(lambda: balloons.append(self.drive("balloon")) or
                           balloons[-1].get("text0") == status, 10, step=0.5)
        self.assertEqual(balloons[-1].get("text0"), status, "the current status is shown then")
        self.assertEqual(self.wait_exit(120), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(self.leftovers(), [])
        return arrived

    def test_tray_at_logon_icon_comes_on_a_timer_tick(self):
        up = self.start_before_the_taskbar()
        self.check_icon_arrives(up, 8)

    def test_tray_at_logon_icon_comes_when_the_taskbar_announces_itself(self):
        up = self.start_before_the_taskbar()
        # What Windows' shell broadcasts when its taskbar is up (Wine's does not).
        self.drive("taskbar-created")
        self.check_icon_arrives(up, 2)

    # -- high DPI -------------------------------------------------------------------------

    def at_dpi(self, dpi):
        """From now on programs of this Wine start at `dpi`; the setting is restored at the end
        of the test."""
        if not hasattr(self, "_dpi_restore"):
            self._dpi_restore = self.wine.dpi_setting()
            self.addCleanup(lambda: self.wine.set_dpi_setting(self._dpi_restore))
        self.wine.set_dpi_setting(dpi)

    def open_dialog(self):
        """A slow download with the dialog open and its progress texts shown."""
        self.slow_download()
        self.drive("tray", "dblclick")
        self.assertTrue(harness.wait_until(self.visible, 5))

    def cancel(self):
        self.drive("key", "esc")
        self.drive("confirm", "yes")
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)

    def measure(self, dpi=None):
        """The dialog's geometry and its text fit, with its fonts made at `dpi` (default: the
        window's DPI)."""
        extra = [str(dpi)] if dpi else []
        geometry = self.drive("geometry", *extra)
        fit = self.drive("fit", "all-status", *extra)
        return geometry, fit

    @staticmethod
    def size(text):
        width, height = text.split("x")
        return int(width), int(height)

    def assert_all_fit(self, fit):
        clipped = {k: v for k, v in fit.items() if k.endswith("_fits") and v != "1"}
        self.assertEqual(fit.get("fits"), "1", "clipped: %r in %r" % (clipped, fit))
        # Status, percentage, speed and button, and the twelve status texts.
        self.assertGreaterEqual(int(fit.get("measured", 0)), 16, fit)

    def test_high_dpi_dialog_and_font_grow_and_every_text_fits(self):
        seen = {}
        for dpi in (96, 144, 192):
            self.at_dpi(dpi)
            self.open_dialog()
            geometry, fit = self.measure()
            self.cancel()
            self.assertEqual(int(geometry["dpi"]), dpi, (geometry, self.wine.dpi_setting()))
            # The dialog is laid out with its font at this DPI: the size the driver predicts
            # from that font's dialog base units is the size it has.
            self.assertEqual(geometry["client"], geometry["template_client"], geometry)
            self.assert_all_fit(fit)
            seen[dpi] = geometry
        base = seen[96]
        for dpi in (144, 192):
            factor = dpi / 96
            g = seen[dpi]
            self.assertEqual(int(g["font_height"]), round(int(base["font_height"]) * factor), g)
            self.assertAlmostEqual(int(g["status_font_height"]) /
                                   int(base["status_font_height"]), factor, delta=0.1)
            # The dialog grows with its font: as its base units, in both directions.
            width, height = self.size(g["client"])
            width96, height96 = self.size(base["client"])
            self.assertGreater(width / width96, factor * 0.9, (g, base))
            self.assertGreater(height / height96, factor * 0.85, (g, base))

    def test_dpi_change_lays_the_dialog_out_for_the_new_monitor(self):
        self.at_dpi(96)
        self.open_dialog()
        before, _ = self.measure()
        for dpi in (144, 192, 120):
            self.drive("dpi-changed", dpi)
            geometry, fit = self.measure(dpi)
            # As a dialog made at that DPI: the font's base units give its size.
            self.assertEqual(geometry["client"], geometry["template_client"], (dpi, geometry))
            self.assert_all_fit(fit)
        self.drive("dpi-changed", 96)
        after, fit = self.measure()
        self.assert_all_fit(fit)
        rects = lambda g: {k: v for k, v in g.items() if k.startswith("ctl_") or k == "client"}
        self.assertEqual(rects(after), rects(before), "back on the first monitor, as it was")
        self.cancel()


def main():
    global BUILD_DIR
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir")
    parser.add_argument("--list", action="store_true", help="print the test names and end")
    args, rest = parser.parse_known_args()
    if args.list:
        for name in unittest.TestLoader().getTestCaseNames(InstallerEndToEnd):
            print(name)
        return
    if not args.build_dir:
        parser.error("--build-dir is required")
    BUILD_DIR = args.build_dir
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
