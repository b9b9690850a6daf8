#!/usr/bin/env python3
"""Starts the loopback test server (http_server.py) and hands its port to whoever needs it.

Every caller starts the server this one way: the end-to-end tests, the demo and the bench import
`TestServer`; the engine's Wine tests and shell scripts wrap a command:

  server_launcher.py [http_server options...] -- command [arguments...]

runs the command with QV_TEST_SERVER_PORT set to the port, stops the server afterwards and
answers the command's exit code (1 when the server did not start).
"""

import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "http_server.py")
START_TIMEOUT = 10.0


class ServerError(RuntimeError):
    pass


class TestServer:
    """One running http_server.py on 127.0.0.1; `port` is the port it listens on.

    Raises ServerError (with the server's own error output) when it did not start in time, for
    example when a fixed --port is busy."""

    def __init__(self, *server_args, port=0, idle_timeout=600):
        self._err = tempfile.TemporaryFile()
        args = [sys.executable, SERVER, "--port", str(port), "--idle-timeout", str(idle_timeout)]
        self.proc = subprocess.Popen(args + [str(a) for a in server_args], stdout=subprocess.PIPE,
                                     stderr=self._err, stdin=subprocess.DEVNULL, text=True)
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
        return "http://127.0.0.1:%d/%s" % (self.port, path)

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


def main(argv):
    if "--" not in argv:
        print("usage: server_launcher.py [server options...] -- command...", file=sys.stderr)
        return 2
    split = argv.index("--")
    server_args, command = argv[:split], argv[split + 1:]
    if not command:
        print("usage: server_launcher.py [server options...] -- command...", file=sys.stderr)
        return 2
    try:
        server = TestServer(*server_args, idle_timeout=900)
    except ServerError as error:
        print("server_launcher: %s" % error, file=sys.stderr)
        return 1
    with server:
        env = dict(os.environ, QV_TEST_SERVER_PORT=str(server.port))
        return subprocess.call(command, env=env)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
