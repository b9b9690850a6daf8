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
import random
import re
import shutil
import subprocess
import sys
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_signing  # noqa: E402  (tests/tools, on the path through harness)

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
# Attempts of one download, and the most the waits between them add up to (1, 2, 4 and 8 s, each
# with up to a quarter more).
ATTEMPTS = 5
WAITS_BOUND = 15 * 1.25


def retry_text(retry):
    """The status while waiting for retry number `retry` (1-based) of the four."""
    return TEXT["kRetryingFormat"] % (retry, ATTEMPTS - 1)


def version_trailer(version):
    """The 64 bytes that end version `version` of a /changing body (tests/tools/http_server.py)."""
    return ("qv-version-%d" % version).encode("ascii").ljust(64, b".")


# What a captive portal or a proxy answers with status 200 instead of the file.
PORTAL_PAGE = b"<!DOCTYPE html><html><body>Please log in to use this network.</body></html>\n"
# A private folder of the installer: the prefix and 16 hexadecimal digits.
PRIVATE_FOLDER = re.compile(r"^%s[0-9a-f]{16}$" % harness.PRIVATE_PREFIX)


def percent(texts):
    """The dialog's percentage as a number (0 while it shows none)."""
    match = re.match(r"^(\d+\.\d) %$", (texts or {}).get("percent", ""))
    return float(match.group(1)) if match else 0.0


def serve_setup(wine, signed=False):
    """The loopback test server, serving the sample setup program as key 'setup' and a captive
    portal's page as key 'page'; with `signed`, also the sample setup program signed at test time
    with a throw-away CA (test_signing.py) as keys 'signed', 'other', 'tampered' and 'unsigned',
    the server's `samples` then holding those files' paths and the SHA-256 of 'signed'. It logs
    every request to the scratch folder."""
    page = os.path.join(wine.scratch, "page.html")
    with open(page, "wb") as f:
        f.write(PORTAL_PAGE)
    files = ["setup=" + wine.tool("sample_setup.exe"), "page=" + page]
    samples = {}
    if signed:
        samples = test_signing.make_samples(wine.tool("sample_setup.exe"),
                                            os.path.join(wine.scratch, "signed"))
        for key in ("signed", "other", "tampered", "unsigned"):
            files.append("%s=%s" % (key, samples[key]))
    args = []
    for item in files:
        args += ["--file", item]
    server = harness.TestServer(*args, "--log", os.path.join(wine.scratch, "server.jsonl"))
    server.samples = samples
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
        self.pki = None

    def tearDown(self):
        if self.proc is not None and self.proc.poll() is None:
            harness.kill_group(self.proc)
        self.server.stop()
        self.wine.delete_product_key()
        self.clear_temp()

    # -- helpers --------------------------------------------------------------------------

    def clear_temp(self):
        temp = self.wine.temp_dir()
        for name in self.wine.leftovers():
            path = os.path.join(temp, name)
            if os.path.isdir(path):
                shutil.rmtree(path, ignore_errors=True)
            else:
                os.remove(path)

    def leftovers(self):
        return self.wine.leftovers()

    def launch(self, path, extra_env=None, url=None, signer=None, sha256=None):
        """Runs a copy of the installer pointed at `path` on the test server, or at `url`,
        requiring of the setup program `signer` and `sha256` when given."""
        exe = self.wine.stamp(self.server.url(path) if url is None else url, signer=signer,
                              sha256=sha256)
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

    def wait_status(self, expected, timeout=40, step=0.05):
        """Polls the status line until it reads `expected`; answers the last texts seen."""
        seen = []

        def probe():
            values = self.texts()
            if values is not None:
                seen.append(values.get("status"))
                return values.get("status") == expected
            return False

        harness.wait_until(probe, timeout, step=step)
        self.assertIn(expected, seen, "status texts seen: %r" % seen)

    def watch(self, timeout):
        """Samples the dialog's texts until the installer ends; answers the samples in order."""
        samples = []
        deadline = time.monotonic() + timeout
        while self.proc.poll() is None and time.monotonic() < deadline:
            values = self.texts()
            if values is not None:
                samples.append(values)
        return samples

    def served_setup(self):
        with open(self.wine.tool("sample_setup.exe"), "rb") as f:
            return f.read()

    def installed_copy(self):
        """The bytes of the program that ran as the setup program (it installs a copy of itself)."""
        with open(os.path.join(self.install_dir, "Pellix.exe"), "rb") as f:
            return f.read()

    @staticmethod
    def header(request, name):
        values = [v for k, v in request["headers"] if k.lower() == name.lower()]
        return values[0] if values else None

    def setup_runs(self):
        return harness.read_setup_log(self.setup_log)

    def downloads(self):
        return [r for r in self.server.requests() if r["method"] == "GET"]

    def probe(self, operation, host_path):
        """Runs file_probe (another Windows program) with `operation` on the file; answers
        whether the system let it do that."""
        code, _ = self.wine.run([self.wine.tool("file_probe.exe"), operation,
                                 harness.win_path(host_path)], tag="probe")
        self.assertIn(code, (0, 1), "file_probe %s failed to run" % operation)
        return code == 0

    def private_download(self, name):
        """Host path of `name` in the one private folder of the temp folder (a run's download)."""
        folders = [n for n in self.wine.private_folders() if PRIVATE_FOLDER.match(n)]
        self.assertEqual(len(folders), 1, self.wine.temp_files())
        return os.path.join(self.wine.temp_dir(), folders[0], name)

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
        # A name of its own, to find any copy of this download in the WinINet cache.
        name = "QuorvinSetup%06d.exe" % random.randrange(10 ** 6)
        self.launch("file/setup/" + name)
        self.wait_window()
        self.assertEqual(self.drive("find").get("visible"), "0", "the dialog starts hidden")
        self.assertEqual(self.wait_exit(90), 0)
        ended = time.time()

        runs = self.setup_runs()
        self.assertEqual(len(runs), 1, runs)
        run = runs[0]
        self.assertEqual(run["args"], "/S")
        self.assertTrue(run["hidden"], run)
        # Run from a private folder of this run under the temp folder, which is its working
        # folder; then the file, the folder and its lock are gone.
        folder, _, exe = run["exe"].rpartition("\\")
        temp, _, private = folder.rpartition("\\")
        self.assertTrue(temp.lower().endswith("\\temp"), run)
        self.assertRegex(private, PRIVATE_FOLDER)
        self.assertEqual(exe, name)
        self.assertEqual(run["cwd"].rstrip("\\").lower(), folder.lower(), run)
        self.assertEqual(self.leftovers(), [])
        self.assertEqual([n for n in self.wine.inetcache_files()
                          if n.lower().startswith(name[:-4].lower())], [],
                         "a copy of the download in the WinINet cache")
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

    def check_failure(self, path, status, requests):
        self.launch(path)
        self.wait_window()
        self.wait_status(status)
        self.assertEqual(self.wait_exit(60), 0)
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(self.setup_runs(), [])
        self.assertEqual(len(self.downloads()), requests)

    def test_not_found(self):
        """A 404 is not retried: one request."""
        self.check_failure("status/404/" + SETUP_NAME, TEXT["kMsgDownloadFailed"], 1)

    def test_no_content_length(self):
        self.check_failure("nolength/50000/" + SETUP_NAME, TEXT["kMsgDownloadFailed"], 1)

    def test_truncated_body(self):
        """A body cut short is retried until the attempts are used up."""
        self.check_failure("short/200000/100000/" + SETUP_NAME, TEXT["kMsgDownloadFailed"],
                           ATTEMPTS)

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
        """Each attempt's stall ends within the stall bound and the next attempt follows its wait
        (the server sees every request in time); after the last the run ends with the failure."""
        self.launch(path)
        self.wait_window()
        self.assertTrue(harness.wait_until(lambda: len(self.downloads()) >= 2, STALL_BOUND),
                        "the first stall did not end in time")
        self.assertTrue(harness.wait_until(lambda: len(self.downloads()) >= ATTEMPTS,
                                           (ATTEMPTS - 2) * STALL_BOUND + WAITS_BOUND, step=0.5),
                        "the later attempts did not come in time")
        self.wait_status(TEXT["kMsgDownloadFailed"], timeout=STALL_BOUND)
        self.assertEqual(self.wait_exit(NOTICE + EXIT_GRACE), 0)
        self.assertEqual(self.leftovers(), [])
        gets = self.downloads()
        self.assertEqual(len(gets), ATTEMPTS)
        for earlier, later in zip(gets, gets[1:]):
            self.assertLess(later["time"] - earlier["time"], STALL_BOUND)

    def test_stall_before_headers_ends(self):
        self.check_stall("silent/" + SETUP_NAME)

    def test_stall_after_headers_ends(self):
        self.check_stall("headers/1000000/" + SETUP_NAME)

    def test_stall_mid_body_ends(self):
        self.check_stall("partial/1000000/300000/" + SETUP_NAME)

    # -- HTTPS ----------------------------------------------------------------------------

    def trusted_pki(self):
        """The certificate set of this test (tests/tools/test_pki.py, made on first use in the
        scratch folder); its root is trusted in this test's prefix until the test ends."""
        if self.pki is None:
            self.pki = harness.TestPki(os.path.join(self.wine.scratch, "pki")).make()
            self.wine.trust_root(self.pki.root_der())
            self.addCleanup(self.wine.trust_root, self.pki.root_der(), False)
        return self.pki

    def https_server(self, profile):
        """An HTTPS server with the `profile` certificate of this test's set, serving the sample
        setup program as key 'setup' and logging to the scratch folder."""
        pki = self.trusted_pki()
        log = os.path.join(self.wine.scratch, "https-%s.jsonl" % profile)
        server = harness.TestServer("--tls", pki.cert(profile), pki.key(profile),
                                    "--file", "setup=" + self.wine.tool("sample_setup.exe"),
                                    "--log", log)
        self.addCleanup(server.stop)
        server.requests = lambda: harness.read_json_lines(log)
        return server

    def test_https_trusted_chain_installs(self):
        server = self.https_server("good")
        self.launch(None, url=server.url("file/setup/" + SETUP_NAME))
        self.assertEqual(self.wait_exit(90), 0)
        runs = self.setup_runs()
        self.assertEqual(len(runs), 1, runs)
        self.assertEqual(runs[0]["args"], "/S")
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(len(server.requests()), 1)
        self.assertEqual(self.downloads(), [], "nothing went over plain http")

    def check_https_refused(self, profile):
        """The certificate of `profile` fails closed although the test root is trusted: the
        failure text, nothing run, nothing left, exit 0, and no request ever reached the server
        (the installer ended the connection at the handshake)."""
        server = self.https_server(profile)
        self.launch(None, url=server.url("file/setup/" + SETUP_NAME))
        self.wait_window()
        self.wait_status(TEXT["kMsgDownloadFailed"])
        self.assertEqual(self.wait_exit(60), 0)
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(self.setup_runs(), [])
        self.assertEqual(server.requests(), [])

    def test_https_self_signed_certificate_fails_closed(self):
        self.check_https_refused("selfsigned")

    def test_https_expired_certificate_fails_closed(self):
        self.check_https_refused("expired")

    def test_https_wrong_host_name_fails_closed(self):
        self.check_https_refused("wronghost")

    def test_https_redirect_to_plain_http_fails_closed(self):
        """Wine's WinINet follows the redirect and the plain server answers with the real setup
        program; the installer still refuses the download."""
        server = self.https_server("good")
        self.launch(None, url=server.url("redirect/http/%d/file/setup/%s" % (self.server.port,
                                                                             SETUP_NAME)))
        self.wait_window()
        self.wait_status(TEXT["kMsgDownloadFailed"])
        self.assertEqual(self.wait_exit(60), 0)
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(self.setup_runs(), [])
        self.assertEqual(len(server.requests()), 1)
        self.assertEqual([r["path"] for r in self.downloads()], ["/file/setup/" + SETUP_NAME])

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

    # -- what runs -------------------------------------------------------------------------

    def serve_signed_samples(self):
        """Replaces the test server with one that also serves the signed samples."""
        self.server.stop()
        self.server = serve_setup(self.wine, signed=True)

    def check_refused(self, path, status, **required):
        """The installer downloads `path`, refuses to run it with `status`, deletes it and ends."""
        self.launch(path, **required)
        self.wait_window()
        self.wait_status(status, timeout=60)
        self.assertEqual(self.wait_exit(60), 0)
        self.assertEqual(self.setup_runs(), [], "the refused program ran")
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(len(self.downloads()), 1)

    def check_runs(self, path, **required):
        self.launch(path, **required)
        self.assertEqual(self.wait_exit(90), 0)
        runs = self.setup_runs()
        self.assertEqual(len(runs), 1, runs)
        self.assertEqual(runs[0].get("exit_code"), "0")
        self.assertEqual(self.leftovers(), [])

    def test_a_portal_page_instead_of_the_program_is_never_started(self):
        self.check_refused("file/page/" + SETUP_NAME, TEXT["kMsgDownloadFailed"])

    def test_setup_program_of_the_required_signer_runs(self):
        self.serve_signed_samples()
        self.check_runs("file/signed/" + SETUP_NAME, signer=test_signing.SIGNER)

    def test_unsigned_setup_program_is_refused(self):
        self.serve_signed_samples()
        self.check_refused("file/unsigned/" + SETUP_NAME, TEXT["kMsgSetupCheckFailed"],
                           signer=test_signing.SIGNER)

    def test_tampered_setup_program_is_refused(self):
        self.serve_signed_samples()
        self.check_refused("file/tampered/" + SETUP_NAME, TEXT["kMsgSetupCheckFailed"],
                           signer=test_signing.SIGNER)

    def test_setup_program_of_another_signer_is_refused(self):
        self.serve_signed_samples()
        self.check_refused("file/other/" + SETUP_NAME, TEXT["kMsgSetupCheckFailed"],
                           signer=test_signing.SIGNER)

    def test_setup_program_with_the_required_hash_runs(self):
        self.serve_signed_samples()
        self.check_runs("file/signed/" + SETUP_NAME, sha256=self.server.samples["sha256"])

    def test_setup_program_with_another_hash_is_refused(self):
        self.serve_signed_samples()
        self.check_refused("file/other/" + SETUP_NAME, TEXT["kMsgSetupCheckFailed"],
                           sha256=self.server.samples["sha256"])

    def hold_before_the_launch(self):
        """Downloads the sample setup program with its last byte held back by the server, raises
        the cancel question while the installer waits for it, then lets the byte come: the
        download completes, and the installer waits for the answer before it launches anything.
        Answers the host path of the downloaded file."""
        self.launch("held/setup/" + SETUP_NAME)
        self.wait_window()
        # Every block but the one with the held byte shown (WinINet fills whole blocks): the
        # transfer now waits in its read, past its last poll.
        self.assertTrue(harness.wait_until(lambda: percent(self.texts()) >= 99.0, 30),
                        "the download never got to its last block")
        self.drive("key", "esc")
        self.assertEqual(self.drive("question").get("text"), TEXT["kConfirmCancel"])
        with urllib.request.urlopen(self.server.url("__release"), timeout=10) as answer:
            answer.read()
        self.wait_status(TEXT["kDownloadComplete"])
        return self.private_download(SETUP_NAME)

    def test_setup_program_is_locked_from_the_download_until_it_runs(self):
        setup = self.hold_before_the_launch()
        self.assertTrue(os.path.exists(setup))
        self.assertFalse(self.probe("write", setup), "another program opened it for writing")
        self.assertFalse(self.probe("delete", setup), "another program deleted it")
        self.assertFalse(self.probe("rename", setup), "another program renamed it")
        self.assertTrue(self.probe("read", setup), "reading must stay possible")
        self.assertEqual(self.setup_runs(), [])
        self.drive("confirm", "no")
        self.assertEqual(self.wait_exit(90), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(self.leftovers(), [])

    def test_cancel_confirmed_after_the_last_block_still_cancels(self):
        self.hold_before_the_launch()
        self.drive("confirm", "yes")
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertEqual(self.setup_runs(), [], "the setup program ran after a confirmed cancel")
        self.assertEqual(self.leftovers(), [])

    def test_a_second_start_shows_the_running_installer_and_ends(self):
        self.slow_download()
        first = self.proc
        self.assertFalse(self.visible())
        second_exe = self.wine.stamp(self.server.url("file/setup/" + SETUP_NAME),
                                     name="SecondInstaller.exe")
        started = time.monotonic()
        second = self.wine.start([second_exe], env=self.env, tag="second")
        try:
            code = second.wait(timeout=EXIT_GRACE)
        except subprocess.TimeoutExpired:
            harness.kill_group(second)
            self.fail("the second start was still running after %d s" % EXIT_GRACE)
        self.assertEqual(code, 0)
        self.assertLess(time.monotonic() - started, 15)
        self.assertTrue(harness.wait_until(self.visible, 5), "the running dialog was not shown")
        self.assertEqual(len(self.downloads()), 1, "the second start downloaded")
        self.proc = first
        self.assertEqual(self.wait_exit(120), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(self.leftovers(), [])

    def test_a_killed_run_leaves_its_folder_to_the_next_start(self):
        self.slow_download()
        folders = self.wine.private_folders()
        self.assertEqual(len(folders), 2, folders)
        harness.kill_group(self.proc)
        self.assertEqual(self.wine.private_folders(), folders, "a killed run cannot clean up")
        foreign = os.path.join(self.wine.temp_dir(), harness.PRIVATE_PREFIX + "notours")
        os.makedirs(foreign)
        self.addCleanup(shutil.rmtree, foreign, True)
        # The next start, with the browser installed by now: it ends at once, after the sweep.
        os.makedirs(self.install_dir)
        open(os.path.join(self.install_dir, "Pellix.exe"), "wb").close()
        self.wine.run(["reg", "add", harness.PRODUCT_KEY, "/v", "Path", "/t", "REG_SZ", "/d",
                       harness.win_path(self.install_dir), "/f"], tag="reg")
        self.launch("file/setup/" + SETUP_NAME)
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertEqual(self.wine.private_folders(), [harness.PRIVATE_PREFIX + "notours"])

    # -- a flaky network ------------------------------------------------------------------

    def test_cut_twice_resumes_and_runs_the_served_bytes(self):
        """Cut at a third and at two thirds: the download continues twice with ranged requests
        validated by the entity tag, says so while it waits, never moves the bar back, and the
        program that runs is byte for byte the one served."""
        served = self.served_setup()
        third = len(served) // 3
        self.launch("drop/%d/2/setup@100000/%s" % (third, SETUP_NAME))
        self.wait_window()
        samples = self.watch(90)
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)

        runs = self.setup_runs()
        self.assertEqual(len(runs), 1, runs)
        self.assertTrue(self.installed_copy() == served, "the program that ran is not the served one")
        self.assertEqual(self.leftovers(), [])

        gets = self.downloads()
        self.assertEqual(len(gets), 3, gets)
        self.assertEqual(len({g["query"] for g in gets}), 1, "one query for every attempt")
        self.assertEqual([self.header(g, "Range") for g in gets],
                         [None, "bytes=%d-" % third, "bytes=%d-" % (2 * third)])
        tag = '"qv-%d"' % len(served)
        self.assertEqual([self.header(g, "If-Range") for g in gets], [None, tag, tag])

        statuses = []
        for values in samples:
            if not statuses or statuses[-1] != values.get("status"):
                statuses.append(values.get("status"))
        for text in (retry_text(1), retry_text(2)):
            self.assertIn(text, statuses)
        after_second = statuses[statuses.index(retry_text(2)) + 1:]
        self.assertIn(TEXT["kDownloading"], after_second, statuses)
        percents = [float(v["percent"].split()[0]) for v in samples if v.get("percent")]
        self.assertGreater(len(percents), 3, samples)
        self.assertEqual(percents, sorted(percents), "the percentage went back")
        bars = [int(v["progress"]) for v in samples if v.get("progress")]
        self.assertEqual(bars, sorted(bars), "the bar went back")

    def test_server_ignoring_range_still_completes(self):
        served = self.served_setup()
        self.launch("norange/%d/1/setup/%s" % (len(served) // 2, SETUP_NAME))
        self.assertEqual(self.wait_exit(90), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertTrue(self.installed_copy() == served, "the program that ran is not the served one")
        gets = self.downloads()
        self.assertEqual([self.header(g, "Range") for g in gets],
                         [None, "bytes=%d-" % (len(served) // 2)])
        self.assertEqual(self.leftovers(), [])

    def test_changed_content_is_never_joined(self):
        """The second answer continues the range with bytes of a new version (another entity
        tag): they are refused, and the whole newest version is fetched and run."""
        served = self.served_setup()
        self.launch("changing/%d/1/setup/%s" % (len(served) // 2, SETUP_NAME))
        self.assertEqual(self.wait_exit(90), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertTrue(self.installed_copy() == served + version_trailer(3),
                        "the program that ran is not exactly the third version served")
        gets = self.downloads()
        self.assertEqual([self.header(g, "Range") for g in gets],
                         [None, "bytes=%d-" % (len(served) // 2), None])
        self.assertEqual(self.header(gets[1], "If-Range"), '"qv-v1"')
        self.assertEqual(self.leftovers(), [])

    def test_busy_server_is_asked_again_after_retry_after(self):
        """503 with "Retry-After: 2": the next request comes about 2 s later, without jitter."""
        self.launch("busy/1/2/setup/" + SETUP_NAME)
        self.assertEqual(self.wait_exit(90), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        gets = self.downloads()
        self.assertEqual(len(gets), 2, gets)
        gap = gets[1]["time"] - gets[0]["time"]
        self.assertGreaterEqual(gap, 1.9)
        self.assertLess(gap, 3.5)

    def test_cancel_during_a_retry_wait_ends_quickly(self):
        self.launch("busy/5/30/setup/" + SETUP_NAME)
        self.wait_window()
        self.wait_status(retry_text(1), timeout=30)
        self.drive("key", "esc")
        self.drive("confirm", "yes")
        answered = time.monotonic()
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)
        self.assertLess(time.monotonic() - answered, 10)
        self.assertEqual(len(self.downloads()), 1)
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(self.setup_runs(), [])

    def test_open_cancel_question_holds_a_retry_wait(self):
        """While the cancel question is open the wait does not run on: the question stays open
        longer than the whole 6 s wait and no request comes; after No, the next request still
        waits out the rest."""
        self.launch("busy/1/6/setup/" + SETUP_NAME)
        self.wait_window()
        self.wait_status(retry_text(1), timeout=30)
        self.drive("key", "esc")
        time.sleep(8)
        self.assertEqual(len(self.downloads()), 1, "the retry came while the question was open")
        self.drive("confirm", "no")
        answered = time.time()
        self.assertEqual(self.wait_exit(90), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        gets = self.downloads()
        self.assertEqual(len(gets), 2, gets)
        self.assertGreater(gets[1]["time"], answered - 0.2,
                           "the retry came while the question was open")

    # -- behind a proxy --------------------------------------------------------------------

    def use_proxy(self, *proxy_args, override=None):
        """A loopback forward proxy (forward_proxy.py with `proxy_args`) as this Wine's system
        proxy until the test ends; its `requests` reads what it logged."""
        log = os.path.join(self.wine.scratch, "proxy.jsonl")
        proxy = harness.TestProxy(*proxy_args, "--log", log)
        self.addCleanup(proxy.stop)
        proxy.requests = lambda: harness.read_json_lines(log)
        self.use_proxy_setting(proxy.address, override)
        return proxy

    def use_proxy_setting(self, address, override=None):
        self.wine.set_proxy(address, override)
        self.addCleanup(self.wine.set_proxy, None)

    @staticmethod
    def proxied_gets(proxy):
        return [r for r in proxy.requests() if r["method"] == "GET"]

    @staticmethod
    def signed_in(request):
        return any(k.lower() == "proxy-authorization" for k in request["headers"])

    def test_download_goes_through_the_system_proxy(self):
        """The system's proxy setting carries the download, cache-bypassing query and all."""
        proxy = self.use_proxy()
        self.launch("file/setup/" + SETUP_NAME)
        self.assertEqual(self.wait_exit(90), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(self.leftovers(), [])
        served = self.downloads()
        self.assertEqual(len(served), 1, served)
        self.assertRegex(served[0]["query"], r"^\d+\.\d+$")
        gets = self.proxied_gets(proxy)
        self.assertEqual(len(gets), 1, gets)
        self.assertEqual(gets[0]["target"], "%s?%s" % (
            self.server.url("file/setup/" + SETUP_NAME), served[0]["query"]))
        self.assertTrue(gets[0]["forwarded"])
        self.assertEqual(gets[0]["status"], 200)

    def test_refused_proxy_fails_cleanly(self):
        """Nothing listens where the proxy should be: every attempt fails, nothing is left and
        the server never hears of the download."""
        self.use_proxy_setting("127.0.0.1:%d" % harness.free_port())
        self.check_failure("file/setup/" + SETUP_NAME, TEXT["kMsgDownloadFailed"], 0)

    def test_local_override_bypasses_the_proxy(self):
        """"<local>" in the bypass list sends a host name without dots past the (refusing)
        proxy, straight to the server."""
        self.use_proxy_setting("127.0.0.1:%d" % harness.free_port(), "<local>")
        self.launch(None, url="http://localhost:%d/file/setup/%s" % (self.server.port,
                                                                      SETUP_NAME))
        self.assertEqual(self.wait_exit(90), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(len(self.downloads()), 1)

    def sign_in(self, *answer):
        """Waits for the proxy's credential prompt and answers it (user and password, or
        "cancel", or "wait" to leave it open); the progress dialog must be on screen for it."""
        values = self.drive("sign-in", *answer, timeout=60)
        self.assertEqual(values.get("dialog_visible"), "1", values)
        return values

    def assert_no_prompt(self, seconds=3):
        code, values = self.driver("sign-in", "cancel", timeout=seconds)
        self.assertEqual(values.get("prompt"), "0", "a credential prompt appeared: %r" % values)

    def close_shown_failure(self):
        """The dialog, on screen since the prompt, shows the failure until the user closes it;
        the run then ends with 0."""
        self.wait_status(TEXT["kMsgDownloadFailed"])
        self.assertTrue(self.visible())
        self.drive("close-box")
        self.assertEqual(self.wait_exit(EXIT_GRACE), 0)

    def test_proxy_sign_in_completes_the_install(self):
        """A proxy that wants a password: the system's prompt, once, then the download with the
        typed credentials, which the proxy sees only after the prompt."""
        proxy = self.use_proxy("--auth", "qv-user:pa55-word")
        self.launch("file/setup/" + SETUP_NAME)
        self.wait_window()
        self.sign_in("wait")
        signed = [r for r in proxy.requests() if self.signed_in(r)]
        self.sign_in("qv-user", "pa55-word")
        self.assertEqual(self.wait_exit(90), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(self.leftovers(), [])
        gets = self.proxied_gets(proxy)
        self.assertEqual(signed, [], "credentials went out before the prompt was open")
        self.assertFalse(self.signed_in(gets[0]))
        self.assertEqual(gets[0]["status"], 407)
        self.assertTrue(self.signed_in(gets[-1]))
        self.assertEqual((gets[-1]["status"], gets[-1]["forwarded"]), (200, True))
        self.assertEqual(len(self.downloads()), 1)

    def test_proxy_sign_in_cancelled_fails_cleanly(self):
        proxy = self.use_proxy("--auth", "qv-user:pa55-word")
        self.launch("file/setup/" + SETUP_NAME)
        self.wait_window()
        self.sign_in("cancel")
        self.close_shown_failure()
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(self.setup_runs(), [])
        gets = self.proxied_gets(proxy)
        self.assertEqual(len(gets), 1, "a 407 is not retried: %r" % gets)
        self.assertFalse(any(self.signed_in(r) for r in proxy.requests()))
        self.assertEqual(self.downloads(), [])

    def test_proxy_sign_in_wrong_twice_fails_cleanly(self):
        """Wrong credentials: the proxy refuses them again, and the run fails without asking a
        second time."""
        proxy = self.use_proxy("--auth", "qv-user:pa55-word")
        self.launch("file/setup/" + SETUP_NAME)
        self.wait_window()
        self.sign_in("qv-user", "wrong")
        self.wait_status(TEXT["kMsgDownloadFailed"])
        self.assert_no_prompt()
        self.close_shown_failure()
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(self.setup_runs(), [])
        gets = self.proxied_gets(proxy)
        self.assertTrue(any(self.signed_in(r) for r in gets), gets)
        self.assertTrue(all(r["status"] == 407 for r in gets), gets)
        self.assertEqual(self.downloads(), [])

    def test_proxy_sign_in_is_asked_once_for_every_attempt(self):
        """A download cut short behind a signing-in proxy: the resumed attempt goes out with the
        same credentials, without a second prompt."""
        proxy = self.use_proxy("--auth", "qv-user:pa55-word")
        half = len(self.served_setup()) // 2
        self.launch("drop/%d/1/setup@100000/%s" % (half, SETUP_NAME))
        self.wait_window()
        self.sign_in("qv-user", "pa55-word")
        self.assertEqual(self.wait_exit(90), 0)
        runs = self.setup_runs()
        self.assertEqual(len(runs), 1, runs)
        self.assertTrue(self.installed_copy() == self.served_setup())
        served = self.downloads()
        self.assertEqual([self.header(g, "Range") for g in served], [None, "bytes=%d-" % half])
        forwarded = [r for r in self.proxied_gets(proxy) if r["forwarded"]]
        self.assertEqual(len(forwarded), 2, forwarded)
        self.assertTrue(all(self.signed_in(r) for r in forwarded))

    def test_server_401_is_not_prompted(self):
        """Only a proxy's 407 asks for credentials; a server's 401 fails as any 4xx does."""
        self.launch("status/401/" + SETUP_NAME)
        self.wait_window()
        self.wait_status(TEXT["kMsgDownloadFailed"])
        self.assert_no_prompt()
        self.assertEqual(self.wait_exit(60), 0)
        self.assertEqual(len(self.downloads()), 1)

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
