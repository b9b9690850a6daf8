#!/usr/bin/env python3
"""Starts the loopback test server (http_server.py) and hands its port to whoever needs it.

Every caller starts the server this one way: the end-to-end tests, the demo and the bench import
`TestServer`; the engine's Wine tests and shell scripts wrap a command:

  server_launcher.py [--tls-profiles DIR] [http_server options...] -- command [arguments...]

runs the command with QV_TEST_SERVER_PORT set to the port, stops the server afterwards and
answers the command's exit code (1 when the server did not start).

--tls-profiles DIR also makes a throw-away certificate set (test_pki.py) in a new folder under
DIR and starts one HTTPS server per profile with the same options; the command then also gets
QV_TEST_PKI_DIR (the set's folder) and QV_TEST_TLS_PORT_<PROFILE> (GOOD, EXPIRED, ...). The folder,
private keys included, is removed afterwards.
"""

import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

from test_pki import PROFILES, PkiError, TestPki

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "http_server.py")
PROXY = os.path.join(HERE, "forward_proxy.py")
START_TIMEOUT = 10.0


class ServerError(RuntimeError):
    pass


class TestServer:
    """One running http_server.py on 127.0.0.1; `port` is the port it listens on.

    Raises ServerError (with the server's own error output) when it did not start in time, for
    example when a fixed --port is busy."""

    SCRIPT = SERVER

    def __init__(self, *server_args, port=0, idle_timeout=600):
        self._err = tempfile.TemporaryFile()
        args = [sys.executable, self.SCRIPT, "--port", str(port), "--idle-timeout",
                str(idle_timeout)]
        self.proc = subprocess.Popen(args + [str(a) for a in server_args], stdout=subprocess.PIPE,
                                     stderr=self._err, stdin=subprocess.DEVNULL, text=True)
        self.scheme = "https" if "--tls" in server_args else "http"
        self.port = self._read_port()

    def _read_port(self):
        deadline = time.monotonic() + START_TIMEOUT
        line = ""
        while time.monotonic() < deadline:
            line = self.proc.stdout.readline().strip()
            if line or self.proc.poll() is not None:
                break
        if not line.isdigit():
            self.stop()
            self._err.seek(0)
            detail = self._err.read().decode("utf-8", "replace").strip().splitlines()
            raise ServerError("the test server did not start: " +
                              (detail[-1] if detail else "no port announced"))
        return int(line)

    def url(self, path):
        """The address of `path` (no leading slash) on this server."""
        return "%s://127.0.0.1:%d/%s" % (self.scheme, self.port, path)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc.stdout:
            self.proc.stdout.close()
        self._err.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class TestProxy(TestServer):
    """One running forward_proxy.py on 127.0.0.1 (options as that script takes them), started and
    stopped as TestServer is; `address` is what a system's proxy setting names."""

    SCRIPT = PROXY

    @property
    def address(self):
        return "127.0.0.1:%d" % self.port


def main(argv):
    if "--" not in argv:
        print("usage: server_launcher.py [server options...] -- command...", file=sys.stderr)
        return 2
    split = argv.index("--")
    server_args, command = argv[:split], argv[split + 1:]
    if not command:
        print("usage: server_launcher.py [server options...] -- command...", file=sys.stderr)
        return 2
    pki_base = None
    if "--tls-profiles" in server_args:
        at = server_args.index("--tls-profiles")
        pki_base = server_args[at + 1] if at + 1 < len(server_args) else None
        del server_args[at:at + 2]
        if not pki_base:
            print("usage: --tls-profiles DIR", file=sys.stderr)
            return 2
    env = dict(os.environ)
    with contextlib.ExitStack() as stack:
        try:
            server = stack.enter_context(TestServer(*server_args, idle_timeout=900))
            env["QV_TEST_SERVER_PORT"] = str(server.port)
            if pki_base is not None:
                os.makedirs(pki_base, exist_ok=True)
                folder = tempfile.mkdtemp(prefix="pki-", dir=pki_base)
                stack.callback(shutil.rmtree, folder, True)
                pki = TestPki(os.path.join(folder, "set")).make()
                env["QV_TEST_PKI_DIR"] = pki.directory
                for profile in PROFILES:
                    tls = stack.enter_context(TestServer(
                        "--tls", pki.cert(profile), pki.key(profile), *server_args,
                        idle_timeout=900))
                    env["QV_TEST_TLS_PORT_" + profile.upper()] = str(tls.port)
        except (ServerError, PkiError, OSError) as error:
            print("server_launcher: %s" % error, file=sys.stderr)
            return 1
        return subprocess.call(command, env=env)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
