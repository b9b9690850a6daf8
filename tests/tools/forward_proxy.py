#!/usr/bin/env python3
"""Loopback HTTP forward proxy, for the installer's tests through a proxy.

Start:  python3 forward_proxy.py [--port 0] [--auth USER:PASSWORD] [--idle-timeout SECONDS]
                                 [--log FILE]
It binds 127.0.0.1 only. The first line on stdout is the port number it listens on.

GET or HEAD in absolute form (http://127.0.0.1:PORT/PATH?QUERY) is sent on to that origin, and
its answer streamed back: status line and headers as the origin sent them, less the hop-by-hop
ones (Connection, Keep-Alive, Proxy-*, TE, Trailer, Upgrade and those Connection names), dropped
both ways. Host becomes the target's authority; other request headers (Range, If-Range, ...) reach
the origin unchanged. A request with a body is refused (400, connection closed): the installer
sends none. CONNECT 127.0.0.1:PORT opens a tunnel (for HTTPS) that lasts until both sides close.

Only 127.0.0.1 is an origin: other targets get 403 and are not forwarded, unparsable ones 400. An
origin that refuses the connection, or closes or answers garbage before its header ends, gives
502; one silent for ORIGIN_TIMEOUT seconds 504.

Framing towards the client: a body with Content-Length is copied for exactly that many bytes and
the connection stays open for the next request (WinINet reuses it). If the origin closes sooner,
the client's connection is closed at the same byte, so the client sees the body cut short as it
would without the proxy. A body without Content-Length (none, or chunked, copied as is) runs until
the origin closes; the answer then says "Connection: close" and the client's connection ends with
it. The origin is always asked for "Connection: close", so its body ends with its connection.

--auth USER:PASSWORD demands Basic proxy credentials: a request (CONNECT too) without
"Proxy-Authorization: Basic base64(USER:PASSWORD)" gets 407 with
'Proxy-Authenticate: Basic realm="Quorvin test proxy"' and is not forwarded; the connection stays
open, so a client can send it again with credentials on the same connection.

--log FILE appends one JSON line per request, before its answer is sent:
  {"time": arrival in seconds since 1970, "method": ..., "target": the request target as received,
   "path": ..., "query": ... of the target's URL (empty for CONNECT),
   "headers": {name: value} as received (Proxy-Authorization included),
   "status": the status answered (the origin's when forwarded), "forwarded": whether it was sent
   to an origin}
A request line that cannot be parsed at all is answered 400 by http.server and not logged.

The proxy ends by itself after --idle-timeout seconds (default 300) without any request and
without an open connection, and at once on SIGTERM or SIGINT.
"""

import argparse
import base64
import binascii
import hmac
import json
import select
import socket
import sys
import threading
import time
from http.client import HTTPException, parse_headers
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

from http_server import serve_until_idle

CHUNK = 64 * 1024
# Longer than the test server's longest hold (120 s), so that a held answer gets through.
ORIGIN_TIMEOUT = 150.0
CLIENT_TIMEOUT = 300.0
REALM = "Quorvin test proxy"
HOP_BY_HOP = {"connection", "keep-alive", "proxy-authenticate", "proxy-authorization",
              "proxy-connection", "te", "trailer", "upgrade"}


def hop_by_hop(headers):
    """Names not to pass on: the fixed ones and those the Connection field lists."""
    names = set(HOP_BY_HOP)
    for value in headers.get_all("Connection", []):
        names.update(token.strip().lower() for token in value.split(","))
    return names


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QvTestProxy"
    sys_version = ""
    timeout = CLIENT_TIMEOUT
    # Assumed until a request line is parsed: above HTTP/0.9, the answer to garbage gets a status
    # line instead of a bare HTML page.
    default_request_version = "HTTP/1.0"
    # Unbuffered: bytes a client sends right after its CONNECT must not sit in a buffer that the
    # tunnel, reading the socket, never sees.
    rbufsize = 0
    # A head and a small body go out in two writes; Nagle would hold the second for an ACK.
    disable_nagle_algorithm = True

    def log_message(self, format, *args):  # noqa: A002 - signature of the base class
        pass

    def handle(self):
        self.server.connections(1)
        try:
            super().handle()
        finally:
            self.server.connections(-1)

    def record(self, status, forwarded):
        self.entry.update(status=status, forwarded=forwarded)
        self.server.record(self.entry)

    def end_head(self):
        if self.close_connection:
            self.send_header("Connection", "close")
            self.send_header("Proxy-Connection", "close")
        self.end_headers()

    def answer(self, code, text, headers=(), forwarded=False):
        body = (text + "\n").encode("utf-8")
        self.record(code, forwarded)
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_head()
        if self.command != "HEAD":
            self.wfile.write(body)

    def authorised(self):
        expected = self.server.credentials
        if expected is None:
            return True
        scheme, _, token = self.headers.get("Proxy-Authorization", "").strip().partition(" ")
        try:
            given = base64.b64decode(token.strip(), validate=True)
        except binascii.Error:
            return False
        return scheme.lower() == "basic" and hmac.compare_digest(given, expected)

    def begin(self):
        """Logs the request's arrival and answers the refusals common to every method; True when
        the request may go on."""
        try:
            parts = urlsplit(self.path) if self.command != "CONNECT" else None
        except ValueError:
            parts = None
        self.entry = {"time": time.time(), "method": self.command, "target": self.path,
                      "path": parts.path if parts else "", "query": parts.query if parts else "",
                      "headers": dict(self.headers.items())}
        if any(value.strip().lower() == "close"
               for value in self.headers.get_all("Proxy-Connection", [])):
            self.close_connection = True
        if "Transfer-Encoding" in self.headers or self.headers.get("Content-Length", "0") != "0":
            # A body left unread would be taken for the next request.
            self.close_connection = True
            self.answer(400, "request bodies are not relayed")
            return False
        if not self.authorised():
            self.answer(407, "proxy credentials required",
                        [("Proxy-Authenticate", 'Basic realm="%s"' % REALM)])
            return False
        return True

    def connect(self, port):
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=ORIGIN_TIMEOUT)
        except OSError as error:
            self.answer(502, "origin unreachable: %s" % error)
            return None

    def do_GET(self):
        if not self.begin():
            return
        try:
            parts = urlsplit(self.path)
            port = parts.port or 80
        except ValueError:
            self.answer(400, "unparsable target")
            return
        if parts.scheme.lower() != "http" or parts.hostname != "127.0.0.1":
            self.answer(403, "only http://127.0.0.1 origins are served")
            return
        upstream = self.connect(port)
        if upstream is not None:
            with upstream, upstream.makefile("rb") as reply:
                self.relay(upstream, reply, parts)

    do_HEAD = do_GET

    def relay(self, upstream, reply, parts):
        target = self.path[len(parts.scheme) + 3 + len(parts.netloc):]
        drop = hop_by_hop(self.headers) | {"host"}
        if not target.startswith("/"):
            target = "/" + target
        host = parts.netloc.rpartition("@")[2]
        lines = ["%s %s HTTP/1.1" % (self.command, target), "Host: " + host]
        lines += ["%s: %s" % item for item in self.headers.items() if item[0].lower() not in drop]
        lines += ["Connection: close", "", ""]
        try:
            upstream.sendall("\r\n".join(lines).encode("latin-1"))
            version, code, reason = (reply.readline(65537).decode("latin-1").split(None, 2)
                                     + ["", "", ""])[:3]
            if not version.startswith("HTTP/") or not (code.isdigit() and len(code) == 3):
                raise ValueError("bad status line from the origin")
            headers = parse_headers(reply)
        except TimeoutError:
            self.answer(504, "origin did not answer", forwarded=True)
            return
        except (OSError, HTTPException, ValueError) as error:
            self.answer(502, "bad answer from the origin: %s" % error, forwarded=True)
            return
        status = int(code)
        drop = hop_by_hop(headers)
        declared = {value.strip() for value in headers.get_all("Content-Length", [])}
        if self.command == "HEAD" or status in (204, 304) or status < 200:
            length = 0
        elif "Transfer-Encoding" in headers or not declared:
            length = None
            drop.add("content-length")
        elif len(declared) > 1 or not next(iter(declared)).isdigit():
            self.answer(502, "bad Content-Length from the origin", forwarded=True)
            return
        else:
            length = int(declared.pop())
        if length is None:
            self.close_connection = True
        self.record(status, True)
        self.send_response_only(status, reason.strip() or None)
        for name, value in headers.items():
            if name.lower() not in drop:
                self.send_header(name, value)
        self.end_head()
        self.copy(reply, length)

    def copy(self, reply, length):
        """Copies `length` bytes of body (all until the origin closes when None)."""
        remaining = length
        while remaining is None or remaining > 0:
            try:
                data = reply.read1(CHUNK if remaining is None else min(CHUNK, remaining))
            except OSError:
                data = b""
            if not data:
                break
            self.wfile.write(data)
            if remaining is not None:
                remaining -= len(data)
        if remaining:
            # Cut short by the origin: closing is the only way to tell the client so.
            self.close_connection = True

    def do_CONNECT(self):
        if not self.begin():
            return
        host, _, port = self.path.rpartition(":")
        try:
            port = int(port)
            if not 0 < port < 65536:
                raise ValueError(port)
        except ValueError:
            self.answer(400, "CONNECT needs HOST:PORT")
            return
        if host != "127.0.0.1":
            self.answer(403, "only 127.0.0.1 is served")
            return
        upstream = self.connect(port)
        if upstream is None:
            return
        with upstream:
            self.record(200, True)
            self.send_response_only(200, "Connection Established")
            self.end_headers()
            self.close_connection = True
            self.tunnel(upstream)

    def tunnel(self, upstream):
        peers = {self.connection: upstream, upstream: self.connection}
        open_sides = list(peers)
        try:
            while open_sides:
                readable, _, _ = select.select(open_sides, [], [], CLIENT_TIMEOUT)
                if not readable:
                    return
                for side in readable:
                    data = side.recv(CHUNK)
                    if data:
                        peers[side].sendall(data)
                    else:
                        # Half-close, so a side that has finished sending still gets its answer.
                        open_sides.remove(side)
                        peers[side].shutdown(socket.SHUT_WR)
        except OSError:
            return


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, log_path, credentials):
        super().__init__(("127.0.0.1", port), Handler)
        self.log_path, self.credentials = log_path, credentials
        self.lock = threading.Lock()
        self.active = 0
        self.last_activity = time.monotonic()

    def record(self, entry):
        with self.lock:
            self.last_activity = time.monotonic()
            if self.log_path:
                with open(self.log_path, "a", encoding="utf-8") as log:
                    log.write(json.dumps(entry) + "\n")

    def connections(self, delta):
        with self.lock:
            self.active += delta
            self.last_activity = time.monotonic()

    def idle_for(self):
        with self.lock:
            return 0.0 if self.active else time.monotonic() - self.last_activity

    def handle_error(self, request, client_address):
        # A client or origin that goes away mid-answer is an expected event here.
        pass


def main():
    parser = argparse.ArgumentParser(description="Loopback HTTP forward proxy")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--auth", metavar="USER:PASSWORD", help="demand Basic proxy credentials")
    parser.add_argument("--idle-timeout", type=float, default=300.0)
    parser.add_argument("--log")
    options = parser.parse_args()

    server = Server(options.port, options.log,
                    options.auth.encode("utf-8") if options.auth else None)

    serve_until_idle(server, server.idle_for, options.idle_timeout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
