"""Drives the real installer exe under Wine for the end-to-end tests, the demo and the bench.

Everything here talks to real parts: the build tree's Wine prefix (through its wine-run wrapper),
the loopback test server, the sample setup program, the UI driver and the prefix's registry and
temp folder. Wine's output always goes to files: its helper processes inherit pipes.
"""

import fcntl
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))
from server_launcher import ServerError, TestProxy, TestServer  # noqa: E402,F401
from test_pki import TestPki  # noqa: E402,F401
PRODUCT_KEY = r"HKLM\Software\PellixExplorer"
# Start of the names of the installer's private folders (and their locks) in the temp folder.
PRIVATE_PREFIX = "qvsetup-"
# Where a user's display scaling lives (LogPixels, REG_DWORD): Windows and Wine read it at the
# start of each process.
DPI_KEY = r"HKCU\Control Panel\Desktop"
# The user's proxy settings (ProxyEnable, ProxyServer, ProxyOverride), which WinINet reads when a
# program opens its session with the system's configuration.
PROXY_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


def user_texts():
    """The installer's user texts by name (kCaption ...), read from src/common/user_texts.h."""
    path = os.path.join(SOURCE_DIR, "src", "common", "user_texts.h")
    texts = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("inline constexpr wchar_t "):
                match = re.fullmatch(r'inline constexpr wchar_t (k\w+)\[\] = L"([^"\\]*)";\n?', line)
                if not match:
                    raise ValueError("%s: a text this reader cannot read: %s" % (path, line))
                texts[match.group(1)] = match.group(2)
    return texts


CAPTION = user_texts()["kCaption"]


def win_path(unix_path):
    """The Windows name of a host path (Wine maps drive Z: to the host's root)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def ctest_wine_slot():
    """The Wine slot CTest allotted to this test (resource type wine_slot), or None."""
    value = os.environ.get("CTEST_RESOURCE_GROUP_0_WINE_SLOT", "")
    for part in value.split(","):
        key, _, slot = part.partition(":")
        if key == "id" and slot:
            return slot
    return None


class Wine:
    """One build tree's Wine: runs its programs and reads its prefix.

    `slot` names a Wine of its own under the build tree (see scripts/wine-lib.sh): its own
    prefix, wineserver and display. None is the build tree's main Wine."""

    def __init__(self, build_dir, slot=None):
        self.build_dir = os.path.abspath(build_dir)
        self.bin_dir = os.path.join(self.build_dir, "bin")
        self.wine_run = os.path.join(self.build_dir, "wine-run")
        self.slot = slot
        self.home = self.build_dir if slot is None else os.path.join(self.build_dir,
                                                                      "wine-slot-" + slot)
        self.prefix = os.path.join(self.home, "wineprefix")
        os.makedirs(self.home, exist_ok=True)
        self.scratch = tempfile.mkdtemp(prefix="qv-e2e-", dir=self.home)
        self._lock = None

    def lock(self):
        """Holds this Wine for one user until cleanup(): whatever its slot, two tests never
        share a prefix's product key, temp folder and tray at once."""
        self._lock = open(os.path.join(self.home, "e2e.lock"), "w")
        fcntl.flock(self._lock, fcntl.LOCK_EX)

    def display(self):
        """The X display this Wine's windows are on."""
        if os.environ.get("QV_USE_DISPLAY") == "1" and os.environ.get("DISPLAY"):
            return os.environ["DISPLAY"]
        with open(os.path.join(self.home, "xvfb.state")) as f:
            return ":" + f.read().split()[1]

    def tool(self, name):
        return os.path.join(self.bin_dir, name)

    def start(self, args, env=None, tag="proc"):
        """Starts a Windows program; its output goes to files under the scratch folder."""
        out = open(os.path.join(self.scratch, tag + ".out"), "wb")
        full_env = dict(os.environ)
        full_env.pop("QV_WINE_SLOT", None)
        if self.slot is not None:
            full_env["QV_WINE_SLOT"] = self.slot
        full_env.update(env or {})
        proc = subprocess.Popen([self.wine_run] + list(args), stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, env=full_env, start_new_session=True)
        proc.out_path = out.name
        out.close()
        return proc

    def run(self, args, env=None, timeout=60, tag="run"):
        """Runs a Windows program to its end; answers (exit code, output text)."""
        proc = self.start(args, env=env, tag=tag)
        try:
            code = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            kill_group(proc)
            raise
        with open(proc.out_path, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        return code, text

    def driver(self, *args, timeout=30):
        """Runs one UI driver command; answers (exit code, dict of its key=value lines; a
        failing command says why under "error")."""
        code, text = self.run([self.tool("ui_driver.exe")] + [str(a) for a in args],
                              timeout=timeout + 30, tag="driver")
        values = {}
        for line in text.splitlines():
            if "=" in line:
                key, _, value = line.partition("=")
                values[key.strip()] = value.strip()
        return code, values

    def temp_dir(self):
        """Host path of the prefix's temp folder (GetTempPathW of its user)."""
        for cand in glob.glob(os.path.join(self.prefix, "drive_c", "users", "*", "Temp")):
            if os.path.basename(os.path.dirname(cand)).lower() != "public":
                return cand
        raise RuntimeError("no temp folder in " + self.prefix)

    def temp_files(self):
        return sorted(os.listdir(self.temp_dir()))

    def private_folders(self):
        """The installer's private folders and their locks in the temp folder (qvsetup-...)."""
        return [n for n in self.temp_files() if n.startswith(PRIVATE_PREFIX)]

    def leftovers(self):
        """What a run may leave in the temp folder: programs, private folders and their locks."""
        return [n for n in self.temp_files()
                if n.lower().endswith(".exe") or n.startswith(PRIVATE_PREFIX)]

    def inetcache_files(self):
        """Names of every file in the prefix's WinINet caches (all users)."""
        names = []
        pattern = os.path.join(self.prefix, "drive_c", "users", "*", "AppData", "Local",
                               "Microsoft", "Windows", "INetCache")
        for root in glob.glob(pattern):
            for _, _, files in os.walk(root):
                names.extend(files)
        return names

    def registry_path_value(self):
        """The product key's Path value, or None when the key or value is missing."""
        code, text = self.run(["reg", "query", PRODUCT_KEY, "/v", "Path"], tag="reg")
        if code != 0:
            return None
        for line in text.splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0] == "Path":
                return parts[2].strip()
        return None

    def delete_product_key(self):
        self.run(["reg", "delete", PRODUCT_KEY, "/f"], tag="reg")

    def desktop_pids(self):
        """Host pids of this Wine's desktop processes (explorer.exe /desktop, which also holds
        the tray)."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    cmdline = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environ = f.read().split(b"\0")
            except OSError:
                continue
            if ("explorer.exe" in cmdline and "/desktop" in cmdline and
                    ("WINEPREFIX=" + self.prefix).encode() in environ):
                pids.append(int(entry))
        return pids

    def wait_desktop_gone(self, timeout=30):
        """Waits until this Wine's desktop process has ended (it ends a moment after its last
        window), so that the next program starts a new one with the current desktop settings;
        answers whether it did."""
        return wait_until(lambda: not self.desktop_pids(), timeout, step=0.2)

    def dpi_setting(self):
        """The prefix's display scaling as a DPI (LogPixels), or None when it is not set."""
        code, text = self.run(["reg", "query", DPI_KEY, "/v", "LogPixels"], tag="reg")
        if code != 0:
            return None
        for line in text.splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[0] == "LogPixels":
                return int(parts[2], 0)
        return None

    def set_dpi_setting(self, dpi):
        """Sets the display scaling of programs started from now on; None removes the setting
        (Wine then uses its default, 96)."""
        if dpi is None:
            self.run(["reg", "delete", DPI_KEY, "/v", "LogPixels", "/f"], tag="reg")
        else:
            self.run(["reg", "add", DPI_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                      str(dpi), "/f"], tag="reg")

    def set_proxy(self, server=None, override=None):
        """Points the user's proxy settings at `server` ("host:port"), bypassed for the hosts of
        `override` (ProxyOverride's own syntax, "<local>" among it); None turns the proxy off and
        removes both values."""
        def reg(*args):
            code, text = self.run(["reg"] + list(args) + ["/f"], tag="reg")
            return code, text
        if server is None:
            reg("add", PROXY_KEY, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "0")
            reg("delete", PROXY_KEY, "/v", "ProxyServer")
            reg("delete", PROXY_KEY, "/v", "ProxyOverride")
            return
        for args in (("ProxyServer", "REG_SZ", server), ("ProxyEnable", "REG_DWORD", "1")):
            code, text = reg("add", PROXY_KEY, "/v", args[0], "/t", args[1], "/d", args[2])
            if code != 0:
                raise RuntimeError("reg add %s failed: %s" % (args[0], text))
        if override is None:
            reg("delete", PROXY_KEY, "/v", "ProxyOverride")
        else:
            code, text = reg("add", PROXY_KEY, "/v", "ProxyOverride", "/t", "REG_SZ", "/d",
                             override)
            if code != 0:
                raise RuntimeError("reg add ProxyOverride failed: " + text)

    def stamp(self, url, name="QuorvinOnlineInstaller.exe", signer=None, sha256=None,
              source=None):
        """A copy of the real installer (or of the installer exe `source`) whose version resource
        names `url` as its download address and, when given, the signer and SHA-256 the setup
        program must have (the release tool stamp_installer, as scripts/stamp runs it)."""
        target = os.path.join(self.scratch, name)
        source = source or self.tool("QuorvinOnlineInstaller.exe")
        args = [self.tool("stamp_installer.exe"), win_path(source), win_path(target), "--url", url]
        if signer is not None:
            args += ["--signer", signer]
        if sha256 is not None:
            args += ["--sha256", sha256]
        code, text = self.run(args, tag="stamp")
        if code != 0:
            raise RuntimeError("stamp_installer failed: " + text)
        return target

    def trust_root(self, der_path, trust=True):
        """Adds the test root CA at `der_path` to this prefix's LocalMachine Root store (or removes
        it): WinINet in this Wine then trusts chains that end in it. The host's trust store is
        never touched."""
        code, text = self.run([self.tool("trust_test_root.exe"), "add" if trust else "remove",
                               win_path(der_path)], tag="trust")
        if code != 0:
            raise RuntimeError("trust_test_root failed (%d): %s" % (code, text))

    def cleanup(self, keep_scratch=False):
        if not keep_scratch:
            shutil.rmtree(self.scratch, ignore_errors=True)
        if self._lock is not None:
            self._lock.close()
            self._lock = None


def kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    proc.wait()


def wait_until(predicate, timeout, step=0.1):
    """Polls `predicate` until it answers true or `timeout` seconds pass; answers its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def read_json_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def free_port():
    """A loopback port that nothing listens on (bound and released at once)."""
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read_setup_log(path):
    """The runs the sample setup program recorded, oldest first.

    Each run is a dict of its key=value lines plus: args (the arguments), cwd, hidden (started
    with SW_HIDE) and ended (host time of the log's last write, when the last run ended)."""
    if not os.path.exists(path):
        return []
    runs = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, sep, value = line.rstrip("\r\n").partition("=")
            if not sep:
                continue
            if key == "command_line":
                runs.append({})
            if runs:
                runs[-1][key] = value
    for run in runs:
        run["args"] = run.get("arguments", "")
        run["cwd"] = run.get("working_directory", "")
        run["hidden"] = run.get("show_window_flag") == "1" and run.get("show_window") == "0"
    if runs:
        runs[-1]["ended"] = os.path.getmtime(path)
    return runs
