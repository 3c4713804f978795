#!/usr/bin/env python3
"""Loopback HTTP and HTTPS test server for the HTTP client's tests and benchmark.

Every listener serves the paths of the table ROUTES below.
Listeners: plain HTTP, HTTPS (TLS up to 1.2 or 1.3), HTTPS that only speaks
TLS 1.3 (a client limited to 1.2 fails its handshake), HTTPS that only speaks
TLS 1.0, and one that closes every connection at once (CLOSE). Their ports go
to --ports as NAME=PORT lines once all listen.
"""
import argparse
import os
import select
import signal
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import warnings
from http.server import BaseHTTPRequestHandler

PATTERN_MOD = 251
BLOCK = bytes(i % PATTERN_MOD for i in range(PATTERN_MOD * 4177))  # about 1 MiB, whole periods
# Longer than the setup's own read time-out (60 s), so that a stall ends on its side.
MAX_STALL = 100.0


def pattern(offset, n):
    """n pattern bytes starting at stream offset `offset`."""
    out = bytearray()
    while n > 0:
        start = offset % len(BLOCK)
        take = min(n, len(BLOCK) - start)
        out += BLOCK[start:start + take]
        offset += take
        n -= take
    return bytes(out)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "NetTestServer/1"

    def log_message(self, fmt, *args):
        pass

    def do_HEAD(self):
        self.route(head=True)

    def do_GET(self):
        self.route(head=False)

    # -- helpers
    def send_body(self, code, body, ctype="application/octet-stream", head=False, extra=()):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def send_pattern(self, n, head, piece=65536):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(n))
        self.end_headers()
        if head:
            return
        off = 0
        while off < n:
            k = min(piece, n - off)
            start = off % len(BLOCK)
            if start + k <= len(BLOCK):
                self.wfile.write(memoryview(BLOCK)[start:start + k])
            else:
                self.wfile.write(pattern(off, k))
            off += k

    def wait_for_close(self):
        """Silence until the client closes the connection or MAX_STALL passes."""
        self.wfile.flush()
        end = time.monotonic() + MAX_STALL
        conn = self.connection
        while time.monotonic() < end:
            r, _, _ = select.select([conn], [], [], 0.5)
            if r:
                try:
                    if not conn.recv(4096):
                        break
                except (OSError, ssl.SSLError):
                    break
        self.close_connection = True

    def send_head(self, code, length=None, ctype="application/octet-stream", extra=()):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()

    def reset_connection(self):
        """Ends the connection with a TCP reset instead of an orderly close."""
        self.wfile.flush()
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()  # now: the server's own shutdown would send a FIN first
        self.close_connection = True

    # -- the paths: one method per row of ROUTES
    def path_file(self, head, n):
        self.send_pattern(n, head)

    def path_gen(self, head, n):
        self.send_pattern(n, head, 1048576)

    def path_chunked(self, head, n):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        if head:
            return
        off = 0
        while off < n:
            k = min(65536, n - off)
            self.wfile.write(b"%x\r\n" % k + pattern(off, k) + b"\r\n")
            off += k
        self.wfile.write(b"0\r\n\r\n")

    def path_redirect(self, head, k, n):
        if k == 0:
            self.send_pattern(n, head)
        else:
            code = (301, 302, 303, 307)[k % 4]
            self.send_body(code, b"moved", "text/plain", head, [("Location", "/redirect/%d/%d" % (k - 1, n))])

    def path_loop(self, head):
        self.send_body(302, b"moved", "text/plain", head, [("Location", "/loop")])

    def path_status(self, head, code):
        self.send_body(code, b"status body", "text/plain", head)

    def path_nohead(self, head, n):
        if head:
            self.send_body(405, b"", "text/plain", True, [("Allow", "GET")])
        else:
            self.send_pattern(n, False)

    def path_headdelay(self, head, seconds, n):
        if head:
            self.wfile.flush()
            time.sleep(min(seconds, MAX_STALL))
        self.send_pattern(n, head)

    def path_cut(self, head, n, m):
        self.send_head(200, n)
        if not head:
            self.wfile.write(pattern(0, m))
        self.close_connection = True

    def path_reset(self, head, n, m):
        self.send_head(200, n)
        if not head:
            self.wfile.write(pattern(0, m))
            self.reset_connection()

    def path_short(self, head, n, m):
        self.send_head(200, n)
        if not head:
            self.wfile.write(pattern(0, m))
        self.close_connection = True

    def path_cutchunked(self, head, m):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        if not head:
            self.wfile.write(b"%x\r\n" % m + pattern(0, m) + b"\r\n")
        self.close_connection = True

    def path_stall(self, head, n, m):
        self.send_head(200, n)
        if not head:
            self.wfile.write(pattern(0, m))
            self.wait_for_close()

    def path_stallheaders(self, head):
        self.wait_for_close()

    def path_html(self, head, n):
        top = b"<!DOCTYPE html><html><head><title>Sign in</title></head><body><p>Please sign in.</p>"
        end = b"</body></html>"
        self.send_body(200, top + b" " * max(0, n - len(top) - len(end)) + end, "text/html; charset=utf-8", head)

    def path_bigheaders(self, head, mb):
        self.send_response(200)
        line = "X-Filler: " + "f" * 8000
        for _ in range(mb * 1048576 // (len(line) + 2)):
            self.send_header("X-Filler", line[10:])
        body = pattern(0, 1000)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def path_fakestatus(self, head, code, lines):
        self.send_response(code)
        for _ in range(lines):
            self.send_header("HTTP/1.1 200 OK", "x" * 40)
        body = b"error page"
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def path_stallredirect(self, head):
        self.send_response(302)
        self.send_header("Location", "/file/1000")
        self.send_header("Content-Length", "100000")
        self.end_headers()
        if not head:
            self.wfile.write(b"m" * 10)
            self.wait_for_close()

    def path_headers(self, head):
        text = self.requestline + "\r\n" + str(self.headers)
        self.send_body(200, text.encode("latin-1", "replace"), "text/plain", head)

    def route(self, head):
        parts = [p for p in self.path.split("?")[0].split("/") if p]
        kind = parts[0] if parts else ""
        try:
            nums = [int(a) for a in parts[1:]]
        except ValueError:
            nums = None
        row = ROUTES.get(kind)
        if row is None or nums is None or len(nums) != row[0]:
            return self.send_body(404, b"no such path", "text/plain", head)
        getattr(self, "path_" + kind)(head, *nums)


# The paths every listener serves: KIND -> (number of integer arguments, what
# it does). Pattern bytes: byte i of a body is i % 251.
ROUTES = {
    "file": (1, "/file/N: N pattern bytes with a length"),
    "gen": (1, "/gen/N: the same, sent in large pieces (benchmark)"),
    "chunked": (1, "/chunked/N: N pattern bytes, chunked, no length"),
    "redirect": (2, "/redirect/K/N: K redirects in a row, then /file/N"),
    "loop": (0, "/loop: a redirect to itself, for ever"),
    "status": (1, "/status/C: status C with a short body"),
    "nohead": (1, "/nohead/N: HEAD answers 405, GET serves /file/N"),
    "headdelay": (2, "/headdelay/S/N: HEAD answered after S seconds, GET at once; /file/N"),
    "cut": (2, "/cut/N/M: a length of N, M (< N) bytes, then the connection closes"),
    "reset": (2, "/reset/N/M: a length of N, M bytes, then a TCP reset"),
    "short": (2, "/short/N/M: a length of N, then M (> N) bytes"),
    "cutchunked": (1, "/cutchunked/M: chunked, M bytes, then the connection closes"),
    "stall": (2, "/stall/N/M: a length of N, M bytes, then silence (at most MAX_STALL)"),
    "stallheaders": (0, "/stallheaders: no answer at all (at most MAX_STALL)"),
    "html": (1, "/html/N: status 200 with an HTML page of N bytes (a sign-in page, not a package)"),
    "bigheaders": (1, "/bigheaders/MB: a header section of MB megabytes, then /file/1000"),
    "fakestatus": (2, "/fakestatus/C/K: status C, then K header lines that look like status lines"),
    "stallredirect": (0, "/stallredirect: a redirect whose body stops (the client drops it unseen)"),
    "headers": (0, "/headers: echoes the request line and headers as the body"),
}


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, ctx):
        self.ctx = ctx
        super().__init__(("127.0.0.1", 0), Handler)

    def get_request(self):
        sock, addr = super().get_request()
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if self.ctx is not None:
            # The handshake runs on the request's own thread, at its first read.
            sock = self.ctx.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, addr

    def handle_error(self, request, client_address):
        pass  # clients that fail or abort on purpose are the point of many tests


class ClosingServer(Server):
    """Accepts each connection and closes it at once, before reading or sending a byte."""

    def finish_request(self, request, client_address):
        pass


def tls_context(cert, key, lo=None, hi=None, seclevel0=False):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        if seclevel0:
            ctx.set_ciphers("DEFAULT:@SECLEVEL=0")
        if lo is not None:
            ctx.minimum_version = lo
        if hi is not None:
            ctx.maximum_version = hi
    return ctx


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--ports", required=True)
    a = ap.parse_args()
    V = ssl.TLSVersion
    servers = {
        "HTTP": Server(None),
        "HTTPS": Server(tls_context(a.cert, a.key)),
        "TLS13": Server(tls_context(a.cert, a.key, V.TLSv1_3, V.TLSv1_3)),
        "TLS10": Server(tls_context(a.cert, a.key, V.TLSv1, V.TLSv1, seclevel0=True)),
        "CLOSE": ClosingServer(None),
    }
    for s in servers.values():
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    tmp = a.ports + ".tmp"
    with open(tmp, "w") as f:
        for name, s in servers.items():
            f.write("%s=%d\n" % (name, s.server_address[1]))
    os.rename(tmp, a.ports)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    # Bounded: a forgotten server ends by itself.
    stop.wait(3600)
    sys.exit(0)


if __name__ == "__main__":
    main()
