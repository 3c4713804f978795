#!/usr/bin/env python3
"""Loopback HTTP and HTTPS test server for the HTTP client's tests and benchmark.

Every listener serves the paths of the table ROUTES below.
Listeners: plain HTTP, HTTPS (TLS up to 1.2 or 1.3), HTTPS that only speaks
TLS 1.3 (a client limited to 1.2 fails its handshake), HTTPS that only speaks
TLS 1.0, and one that closes every connection at once (CLOSE). Their ports go
to --ports as NAME=PORT lines once all listen.
With --hello FILE one more listener, HELLO, answers no TLS at all: it writes
what the client's first message (ClientHello) offers into FILE (versions,
cipher suites, extensions, groups, signature algorithms; nothing that changes
from one connection to the next) and closes the connection.
"""
import argparse
import os
import re
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

FILES = None  # the folder /files/NAME serves from (--files)
HELLO = None  # where the HELLO listener writes the last offer (--hello)
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

    def path_files(self, head, name):
        if not (FILES and re.fullmatch(r"[A-Za-z0-9._-]+", name) and os.path.isfile(os.path.join(FILES, name))):
            return self.send_body(404, b"no such path", "text/plain", head)
        with open(os.path.join(FILES, name), "rb") as f:
            self.send_body(200, f.read(), "application/octet-stream", head)

    def path_headers(self, head):
        text = self.requestline + "\r\n" + str(self.headers)
        self.send_body(200, text.encode("latin-1", "replace"), "text/plain", head)

    def route(self, head):
        parts = [p for p in self.path.split("?")[0].split("/") if p]
        row = ROUTES.get(parts[0] if parts else "")
        args = parts[1:]
        if row is None or len(args) != len(row[0]) or \
                any(t == "i" and not a.lstrip("-").isdigit() for t, a in zip(row[0], args)):
            return self.send_body(404, b"no such path", "text/plain", head)
        getattr(self, "path_" + parts[0])(head, *[int(a) if t == "i" else a for t, a in zip(row[0], args)])


# The paths every listener serves: KIND -> (its arguments, one letter each: "i"
# an integer, "s" a name; what it does). Pattern bytes: byte i of a body is i % 251.
ROUTES = {
    "file": ("i", "/file/N: N pattern bytes with a length"),
    "gen": ("i", "/gen/N: the same, sent in large pieces (benchmark)"),
    "chunked": ("i", "/chunked/N: N pattern bytes, chunked, no length"),
    "redirect": ("ii", "/redirect/K/N: K redirects in a row, then /file/N"),
    "loop": ("", "/loop: a redirect to itself, for ever"),
    "status": ("i", "/status/C: status C with a short body"),
    "nohead": ("i", "/nohead/N: HEAD answers 405, GET serves /file/N"),
    "headdelay": ("ii", "/headdelay/S/N: HEAD answered after S seconds, GET at once; /file/N"),
    "cut": ("ii", "/cut/N/M: a length of N, M (< N) bytes, then the connection closes"),
    "reset": ("ii", "/reset/N/M: a length of N, M bytes, then a TCP reset"),
    "short": ("ii", "/short/N/M: a length of N, then M (> N) bytes"),
    "cutchunked": ("i", "/cutchunked/M: chunked, M bytes, then the connection closes"),
    "stall": ("ii", "/stall/N/M: a length of N, M bytes, then silence (at most MAX_STALL)"),
    "stallheaders": ("", "/stallheaders: no answer at all (at most MAX_STALL)"),
    "html": ("i", "/html/N: status 200 with an HTML page of N bytes (a sign-in page, not a package)"),
    "bigheaders": ("i", "/bigheaders/MB: a header section of MB megabytes, then /file/1000"),
    "fakestatus": ("ii", "/fakestatus/C/K: status C, then K header lines that look like status lines"),
    "stallredirect": ("", "/stallredirect: a redirect whose body stops (the client drops it unseen)"),
    "files": ("s", "/files/NAME: the file NAME of the --files folder (letters, digits, '.', '_', '-')"),
    "headers": ("", "/headers: echoes the request line and headers as the body"),
}


def describe_client_hello(data):
    """The offer of a TLS ClientHello record as text lines, or None."""
    if len(data) < 5 or data[0] != 22:
        return None
    body = data[5:5 + int.from_bytes(data[3:5], "big")]
    if len(body) < 4 or body[0] != 1:
        return None
    h = body[4:4 + int.from_bytes(body[1:4], "big")]
    pos = 2 + 32
    version = h[0:2].hex()
    pos += 1 + h[pos]  # session id
    n = int.from_bytes(h[pos:pos + 2], "big")
    ciphers = [h[i:i + 2].hex() for i in range(pos + 2, pos + 2 + n, 2)]
    pos += 2 + n
    pos += 1 + h[pos]  # compression methods
    end = pos + 2 + int.from_bytes(h[pos:pos + 2], "big")
    pos += 2
    exts, fields = [], {}
    while pos + 4 <= end:
        t = int.from_bytes(h[pos:pos + 2], "big")
        ln = int.from_bytes(h[pos + 2:pos + 4], "big")
        v = h[pos + 4:pos + 4 + ln]
        pos += 4 + ln
        if t == 21:  # padding: its length follows the others
            continue
        exts.append(str(t))
        if t == 10:
            fields["groups"] = [v[i:i + 2].hex() for i in range(2, len(v), 2)]
        elif t == 13:
            fields["sigalgs"] = [v[i:i + 2].hex() for i in range(2, len(v), 2)]
        elif t == 11:
            fields["point_formats"] = [v[i:i + 1].hex() for i in range(1, len(v))]
        elif t == 43:
            fields["supported_versions"] = [v[i:i + 2].hex() for i in range(1, len(v), 2)]
        elif t == 16:
            names, i = [], 2
            while i < len(v):
                names.append(v[i + 1:i + 1 + v[i]].decode("latin-1"))
                i += 1 + v[i]
            fields["alpn"] = names
    lines = ["version " + version, "ciphers " + " ".join(ciphers), "extensions " + " ".join(exts)]
    for k in sorted(fields):
        lines.append(k + " " + " ".join(fields[k]))
    return "\n".join(lines) + "\n"


class HelloHandler(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.settimeout(10)
        data = b""
        try:
            while len(data) < 5 or len(data) < 5 + int.from_bytes(data[3:5], "big"):
                piece = self.request.recv(65536)
                if not piece:
                    break
                data += piece
        except OSError:
            pass
        text = describe_client_hello(data)
        if text and HELLO:
            with open(HELLO + ".tmp", "w") as f:
                f.write(text)
            os.replace(HELLO + ".tmp", HELLO)


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, ctx, handler=Handler):
        self.ctx = ctx
        super().__init__(("127.0.0.1", 0), handler)

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
    ap.add_argument("--files")
    ap.add_argument("--hello")
    a = ap.parse_args()
    global FILES, HELLO
    FILES, HELLO = a.files, a.hello
    V = ssl.TLSVersion
    servers = {
        "HTTP": Server(None),
        "HTTPS": Server(tls_context(a.cert, a.key)),
        "TLS13": Server(tls_context(a.cert, a.key, V.TLSv1_3, V.TLSv1_3)),
        "TLS10": Server(tls_context(a.cert, a.key, V.TLSv1, V.TLSv1, seclevel0=True)),
        "CLOSE": ClosingServer(None),
    }
    if HELLO:
        servers["HELLO"] = Server(None, HelloHandler)
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
