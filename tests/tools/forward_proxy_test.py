#!/usr/bin/env python3
"""Checks forward_proxy.py, started by its command line, against an origin run in this process:
forwarding and framing, credentials, refusals, tunnels, robustness and its idle time-out.

Run:  python3 forward_proxy_test.py
"""

import base64
import http.client
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PROXY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "forward_proxy.py")
# Larger than the proxy's copy chunk, so a body crosses several of them.
BODY = bytes(i % 251 for i in range(300_000))
ETAG = '"qv-fixed"'
LAST_MODIFIED = "Wed, 21 Oct 2015 07:28:00 GMT"
CREDENTIALS = "tester:s3cret"
SHORT_SENT = 1000
TIMEOUT = 5.0


def basic(credentials):
    return "Basic " + base64.b64encode(credentials.encode()).decode()


class Origin(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    received = []  # (method, target, headers) of every request, in arrival order

    def log_message(self, format, *args):  # noqa: A002 - signature of the base class
        pass

    def do_GET(self):
        Origin.received.append((self.command, self.path, dict(self.headers.items())))
        name = self.path.partition("?")[0]
        if name == "/busy":
            self.send_response(503)
            self.send_header("Retry-After", "7")
            self.send_header("Content-Length", "5")
            self.end_headers()
            self.wfile.write(b"busy\n")
            return
        if name in ("/short", "/nolength"):
            # Cut short, or framed by the end of the connection alone.
            self.send_response(200)
            if name == "/short":
                self.send_header("Content-Length", str(len(BODY)))
            self.end_headers()
            self.wfile.write(BODY[:SHORT_SENT])
            self.close_connection = True
            return
        start, status = 0, 200
        wanted = self.headers.get("Range", "")
        if wanted.startswith("bytes=") and wanted.endswith("-"):
            start, status = int(wanted[6:-1]), 206
        self.send_response(status)
        self.send_header("ETag", ETAG)
        self.send_header("Last-Modified", LAST_MODIFIED)
        self.send_header("Content-Length", str(len(BODY) - start))
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(BODY) - 1, len(BODY)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(BODY[start:])

    do_HEAD = do_GET


class Proxy:
    """forward_proxy.py as a child process, with its log."""

    def __init__(self, *options):
        handle, self.log_path = tempfile.mkstemp(suffix=".jsonl")
        os.close(handle)
        self.process = subprocess.Popen(
            [sys.executable, PROXY, "--port", "0", "--log", self.log_path, *options],
            stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline())

    def log(self):
        with open(self.log_path, encoding="utf-8") as log:
            return [json.loads(line) for line in log]

    def connection(self):
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=TIMEOUT)

    def stop(self):
        """Ends the proxy by SIGTERM (unless it has ended already), which it must obey at once."""
        self.process.terminate()
        code = self.process.wait(timeout=TIMEOUT)
        self.process.stdout.close()
        os.unlink(self.log_path)
        if code != 0:
            raise AssertionError("the proxy ended with status %d" % code)


class ForwardProxyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.origin = ThreadingHTTPServer(("127.0.0.1", 0), Origin)
        cls.origin.daemon_threads = True
        threading.Thread(target=cls.origin.serve_forever, daemon=True).start()
        cls.base = "http://127.0.0.1:%d" % cls.origin.server_address[1]
        # Bound but not listening: a connection to it is refused at once, and no one can take it.
        cls.closed = socket.socket()
        cls.closed.bind(("127.0.0.1", 0))
        cls.plain = Proxy()
        cls.auth = Proxy("--auth", CREDENTIALS)

    @classmethod
    def tearDownClass(cls):
        cls.origin.shutdown()
        cls.origin.server_close()
        cls.closed.close()
        cls.plain.stop()
        cls.auth.stop()

    def check_log(self, entry, method, target, status, forwarded):
        self.assertEqual((entry["method"], entry["target"], entry["status"], entry["forwarded"]),
                         (method, target, status, forwarded))
        self.assertLessEqual(abs(entry["time"] - time.time()), 30)

    def test_forwards_keeping_status_headers_body_and_framing(self):
        # name, method, path, extra request headers, status, body, response headers
        cases = [
            ("whole", "GET", "/fixed?a=1&b=two", {}, 200, BODY,
             {"ETag": ETAG, "Last-Modified": LAST_MODIFIED, "Content-Length": str(len(BODY))}),
            ("head", "HEAD", "/fixed?h=1", {}, 200, b"",
             {"ETag": ETAG, "Content-Length": str(len(BODY))}),
            ("range", "GET", "/fixed?r=1", {"Range": "bytes=1000-", "If-Range": ETAG}, 206,
             BODY[1000:], {"Content-Range": "bytes 1000-%d/%d" % (len(BODY) - 1, len(BODY)),
                           "Content-Length": str(len(BODY) - 1000), "ETag": ETAG}),
            ("range by date", "GET", "/fixed", {"Range": "bytes=7-", "If-Range": LAST_MODIFIED},
             206, BODY[7:], {"Content-Range": "bytes 7-%d/%d" % (len(BODY) - 1, len(BODY))}),
            ("error status", "GET", "/busy?b=1", {}, 503, b"busy\n", {"Retry-After": "7"}),
            # Last: an answer framed by the end of the connection ends this one too.
            ("no length", "GET", "/nolength", {}, 200, BODY[:SHORT_SENT], {"Connection": "close"}),
        ]
        connection = self.plain.connection()
        for name, method, path, extra, status, body, expected in cases:
            with self.subTest(name):
                sent = {"Proxy-Connection": "keep-alive", "Connection": "X-Hop", "X-Hop": "1",
                        "X-Trace": name, **extra}
                target = self.base + path
                logged, received = len(self.plain.log()), len(Origin.received)
                connection.request(method, target, headers=sent)
                response = connection.getresponse()
                self.assertEqual(response.status, status)
                self.assertEqual(response.read(), body)
                for header, value in expected.items():
                    self.assertEqual(response.getheader(header), value, header)
                self.assertEqual(response.will_close, name == "no length")

                self.assertEqual(len(Origin.received), received + 1)
                origin_method, origin_target, origin_headers = Origin.received[-1]
                self.assertEqual((origin_method, origin_target), (method, path))
                self.assertEqual(origin_headers["Host"], self.base[len("http://"):])
                self.assertEqual(origin_headers["X-Trace"], name)
                self.assertEqual(origin_headers["Connection"], "close")
                for header, value in extra.items():
                    self.assertEqual(origin_headers.get(header), value, header)
                for hop in ("Proxy-Connection", "X-Hop", "Proxy-Authorization"):
                    self.assertNotIn(hop, origin_headers)

                entries = self.plain.log()[logged:]
                self.assertEqual(len(entries), 1)
                self.check_log(entries[0], method, target, status, True)
                self.assertEqual((entries[0]["path"], entries[0]["query"]),
                                 tuple(path.partition("?")[::2]))
                self.assertEqual(entries[0]["headers"]["X-Trace"], name)
        connection.close()

    def test_body_cut_short_by_the_origin_reaches_the_client_cut_short(self):
        connection = self.plain.connection()
        connection.request("GET", self.base + "/short")
        response = connection.getresponse()
        self.assertEqual(response.getheader("Content-Length"), str(len(BODY)))
        with self.assertRaises(http.client.IncompleteRead) as cut:
            response.read()
        self.assertEqual(cut.exception.partial, BODY[:SHORT_SENT])
        self.check_log(self.plain.log()[-1], "GET", self.base + "/short", 200, True)
        connection.close()

    def test_credentials_are_demanded_before_forwarding(self):
        # As WinINet does: tries on one connection, the first without credentials.
        cases = [
            ("none", None, 407),
            ("wrong password", basic("tester:wrong"), 407),
            ("other user", basic("other:s3cret"), 407),
            ("other scheme", "Bearer " + base64.b64encode(CREDENTIALS.encode()).decode(), 407),
            ("not base64", "Basic %%%", 407),
            ("right", basic(CREDENTIALS), 200),
        ]
        connection = self.auth.connection()
        for name, credentials, status in cases:
            with self.subTest(name):
                target = self.base + "/fixed?try=" + name.replace(" ", "-")
                logged, received = len(self.auth.log()), len(Origin.received)
                connection.request("GET", target, headers={} if credentials is None
                                   else {"Proxy-Authorization": credentials})
                response = connection.getresponse()
                body = response.read()
                self.assertEqual(response.status, status)
                self.assertEqual(len(body), int(response.getheader("Content-Length")))
                forwarded = status == 200
                if forwarded:
                    self.assertEqual(body, BODY)
                    self.assertNotIn("Proxy-Authorization", Origin.received[-1][2])
                else:
                    self.assertEqual(response.getheader("Proxy-Authenticate"),
                                     'Basic realm="Quorvin test proxy"')
                self.assertEqual(len(Origin.received), received + forwarded)
                entries = self.auth.log()[logged:]
                self.assertEqual(len(entries), 1)
                self.check_log(entries[0], "GET", target, status, forwarded)
                self.assertEqual(entries[0]["headers"].get("Proxy-Authorization"), credentials)
        connection.close()

    def test_refused_targets_are_not_forwarded(self):
        closed = self.closed.getsockname()[1]
        cases = [
            ("other host", "http://example.invalid/x?r=1", 403),
            ("look-alike host", "http://127.0.0.1.example.invalid/x", 403),
            ("loopback as user info", "http://127.0.0.1@example.invalid/x", 403),
            ("other loopback name", "http://localhost:%d/fixed" % closed, 403),
            ("origin form", "/fixed", 403),
            ("https", "https://127.0.0.1:%d/fixed" % closed, 403),
            ("port out of range", "http://127.0.0.1:99999/x", 400),
            ("origin refuses", "http://127.0.0.1:%d/fixed?q=1" % closed, 502),
        ]
        connection = self.plain.connection()
        for name, target, status in cases:
            with self.subTest(name):
                logged, received = len(self.plain.log()), len(Origin.received)
                connection.request("GET", target)
                response = connection.getresponse()
                body = response.read()
                self.assertEqual(response.status, status)
                self.assertEqual(len(body), int(response.getheader("Content-Length")))
                self.assertEqual(len(Origin.received), received)
                entries = self.plain.log()[logged:]
                self.assertEqual(len(entries), 1)
                self.check_log(entries[0], "GET", target, status, False)
        connection.close()

    def test_connect_tunnels(self):
        origin = self.origin.server_address[1]
        closed = self.closed.getsockname()[1]
        # name, proxy, host, port, CONNECT headers, status of the CONNECT
        cases = [
            ("open proxy", "plain", "127.0.0.1", origin, {}, 200),
            ("credentials", "auth", "127.0.0.1", origin,
             {"Proxy-Authorization": basic(CREDENTIALS)}, 200),
            ("no credentials", "auth", "127.0.0.1", origin, {}, 407),
            ("other host", "plain", "example.invalid", 443, {}, 403),
            ("origin refuses", "plain", "127.0.0.1", closed, {}, 502),
        ]
        for name, which, host, port, headers, status in cases:
            with self.subTest(name):
                proxy = getattr(self, which)
                logged, received = len(proxy.log()), len(Origin.received)
                connection = proxy.connection()
                connection.set_tunnel(host, port, headers=headers)
                if status == 200:
                    connection.request("GET", "/fixed?via=" + which)
                    response = connection.getresponse()
                    self.assertEqual((response.status, response.read()), (200, BODY))
                    self.assertEqual(Origin.received[-1][:2], ("GET", "/fixed?via=" + which))
                else:
                    with self.assertRaisesRegex(OSError, "Tunnel connection failed: %d" % status):
                        connection.request("GET", "/fixed")
                self.assertEqual(len(Origin.received), received + (status == 200))
                connection.close()
                entries = proxy.log()[logged:]
                self.assertEqual(len(entries), 1)
                self.check_log(entries[0], "CONNECT", "%s:%d" % (host, port), status,
                               status == 200)

    def test_tunnel_takes_bytes_sent_early_and_answers_after_a_half_close(self):
        # The request follows the CONNECT without waiting for its answer, and the client then
        # shuts its sending side: neither may cost the answer.
        authority = self.base[len("http://"):].encode()
        with socket.create_connection(("127.0.0.1", self.plain.port), TIMEOUT) as raw:
            raw.sendall(b"CONNECT %s HTTP/1.1\r\n\r\nGET /fixed?early HTTP/1.1\r\nHost: %s\r\n"
                        b"Connection: close\r\n\r\n" % (authority, authority))
            raw.shutdown(socket.SHUT_WR)
            reply = b""
            while chunk := raw.recv(65536):
                reply += chunk
        tunnel, head, body = reply.split(b"\r\n\r\n", 2)
        self.assertTrue(tunnel.startswith(b"HTTP/1.1 200 "), tunnel)
        self.assertTrue(head.startswith(b"HTTP/1.1 200 "), head)
        self.assertEqual(body, BODY)
        self.assertEqual(Origin.received[-1][:2], ("GET", "/fixed?early"))

    def test_malformed_requests_are_answered_and_the_proxy_goes_on(self):
        # Each ends where the proxy stops reading: bytes left unread when it closes would turn
        # its close into a reset.
        cases = [
            ("not http", b"THIS IS NOT HTTP\r\n"),
            ("binary", b"\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03\r\n"),
            ("connect without port", b"CONNECT 127.0.0.1 HTTP/1.1\r\n\r\n"),
            ("bad ipv6 target", b"GET http://[::1/x HTTP/1.1\r\n\r\n"),
            ("request body", b"GET %s/fixed HTTP/1.1\r\nContent-Length: 3\r\n\r\n"
             % self.base.encode()),
        ]
        for name, request in cases:
            with self.subTest(name):
                with socket.create_connection(("127.0.0.1", self.plain.port), TIMEOUT) as raw:
                    raw.sendall(request)
                    reply = b""
                    while b"\r\n\r\n" not in reply and (chunk := raw.recv(65536)):
                        reply += chunk
                self.assertTrue(reply.startswith(b"HTTP/1.1 400 "), reply[:80])
        self.assertIsNone(self.plain.process.poll())
        connection = self.plain.connection()
        connection.request("GET", self.base + "/fixed")
        self.assertEqual(connection.getresponse().read(), BODY)
        connection.close()

    def test_idle_timeout_ends_the_proxy(self):
        proxy = Proxy("--idle-timeout", "0.5")
        started = time.monotonic()
        self.assertEqual(proxy.process.wait(timeout=TIMEOUT), 0)
        self.assertGreaterEqual(time.monotonic() - started, 0.4)
        proxy.stop()


if __name__ == "__main__":
    unittest.main()
