#!/usr/bin/env python3
"""The download side of the setup on loopback: the redirect service (HTTPS)
and the package mirror (HTTP), serving the files of one folder (--root).

Redirect service: "/?v=2017.10&l=..&p=..[&refer=..]&t=TOPIC64". The topic,
without its "64" and a trailing "_", is MODE or MODE.ARG: a row of MODES, or
the kind of a mirror path, which redirects to the mirror's "/KIND/ARG"
("pkg.msi/props-veltrano.msi", "cut.300000/200000"). The default topic
"download_shield_msi_" serves the --default file (slowly with --paced, so
that a person can watch the download).
Package mirror: "/vsx/NAME64_ALTVER.msi" serves the --default file, or answers
as the topic ALTVER would ("bytes.102401"). Its own paths are the rows of
FILE_ROUTES (the --root folder's files) and those of the HTTP client tests'
server (tests/net/net_server.py, pattern bytes).
Every request is appended to --log as a line "METHOD PATH" (CR LF) before it is answered.
"""
import argparse
import os
import signal
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "net"))
import net_server  # noqa: E402  (the HTTP client tests' server: handler, TLS, pattern)

ARGS = None
LOG_LOCK = threading.Lock()
PACE_PIECE = 1024
PACE_LIMIT = 60.0


def mirror(path):
    return "http://127.0.0.1:%d%s" % (ARGS.http_port, path)


# MODE -> what the redirect service (or the mirror, for an ALTVER) answers:
# ("redirect", URL), ("status", CODE) or ("pattern", N): N pattern bytes itself.
MODES = {
    "download_shield_msi": lambda arg: ("redirect", mirror(("/slow/" if ARGS.paced else "/pkg/") + ARGS.default)),
    "status": lambda arg: ("status", int(arg)),
    "invalidhost": lambda arg: ("redirect", "http://package-mirror.invalid/vsx/x.msi"),
    # Anywhere: another listener, a port where nothing listens ("to.http://127.0.0.1:9/x").
    "to": lambda arg: ("redirect", arg),
    # Over the redirect service's own TLS, without a redirect (benchmark).
    "body": lambda arg: ("pattern", int(arg)),
}

# The mirror's own paths (served by the methods file_KIND): KIND -> what it does.
FILE_ROUTES = {
    "pkg": "/pkg/REL: the file ROOT/REL",
    "bytes": "/bytes/N: N pattern bytes (byte i = i % 251)",
    "slow": "/slow/REL: ROOT/REL, 150000 bytes at once, then 10 KiB/s (at most PACE_LIMIT)",
    "pace": "/pace/FIRST/BPS/REL: ROOT/REL, FIRST bytes at once, then BPS bytes/s (at most PACE_LIMIT)",
    "trunc": "/trunc/M/REL: the first M bytes of ROOT/REL, with a length of M (a package cut short)",
}


def mode_of(text):
    name, _, arg = text.partition(".")
    if name in MODES:
        return MODES[name], arg
    if name in FILE_ROUTES or name in net_server.ROUTES:
        return (lambda a: ("redirect", mirror("/%s/%s" % (name, a)))), arg
    return None, arg


def safe_file(rel):
    """ROOT/REL when REL stays inside ROOT and names a file, else None."""
    root = os.path.realpath(ARGS.root)
    path = os.path.realpath(os.path.join(root, urllib.parse.unquote(rel)))
    if os.path.commonpath([root, path]) != root or not os.path.isfile(path):
        return None
    return path


class Handler(net_server.Handler):
    server_version = "VeltranoTestDownload/1"

    def route(self, head):
        # Logged before the answer, so the log's order is the order of requests.
        with LOG_LOCK, open(ARGS.log, "a", newline="") as f:
            f.write("%s %s\r\n" % (self.command, self.path))
        self.dispatch(head)

    def dispatch(self, head):
        url = urllib.parse.urlsplit(self.path)
        if self.server.role == "redirect":
            query = urllib.parse.parse_qs(url.query)
            topic = query.get("t", [""])[0]
            if url.path != "/" or not topic.endswith("64"):
                return self.send_body(404, b"no such page", "text/plain", head)
            fn, arg = mode_of(topic[:-2].rstrip("_"))
            if fn is None:
                return self.send_body(404, b"no such topic", "text/plain", head)
            return self.answer(fn(arg), head)
        parts = url.path.split("/", 2)[1:]
        kind, rest = (parts + [""])[:2]
        if kind == "vsx" and rest.endswith(".msi") and "64_" in rest:
            fn, arg = mode_of(rest[:-4].split("64_", 1)[1])
            if fn is None:
                return self.send_file(ARGS.default, head)
            return self.answer(fn(arg), head)
        if kind in FILE_ROUTES and getattr(self, "file_" + kind)(head, rest) is not False:
            return
        if kind in net_server.ROUTES:
            return net_server.Handler.route(self, head)
        return self.send_body(404, b"no such file", "text/plain", head)

    # -- the rows of FILE_ROUTES; False: the arguments do not fit
    def file_pkg(self, head, rest):
        self.send_file(rest, head)

    def file_bytes(self, head, rest):
        if not rest.isdigit():
            return False
        self.send_pattern(int(rest), head)

    def file_slow(self, head, rest):
        self.send_file(rest, head, first=150000, rate=10240)

    def file_pace(self, head, rest):
        first, rate, rel = (rest.split("/", 2) + ["", ""])[:3]
        if not (first.isdigit() and rate.isdigit() and int(rate) > 0):
            return False
        self.send_file(rel, head, first=int(first), rate=int(rate))

    def file_trunc(self, head, rest):
        size, _, rel = rest.partition("/")
        if not size.isdigit():
            return False
        self.send_file(rel, head, limit=int(size))

    def answer(self, result, head):
        kind, value = result
        if kind == "redirect":
            self.send_body(302, b"see the mirror", "text/plain", head, [("Location", value)])
        elif kind == "pattern":
            self.send_pattern(value, head, 1048576)
        else:
            self.send_body(value, b"status", "text/plain", head)

    def send_file(self, rel, head, first=None, rate=None, limit=None):
        """ROOT/REL (its first `limit` bytes); paced: `first` bytes at once, then `rate` bytes/s."""
        path = safe_file(rel)
        if path is None:
            return self.send_body(404, b"no such file", "text/plain", head)
        size = os.path.getsize(path)
        if limit is not None:
            size = min(size, limit)
        self.send_response(200)
        self.send_header("Content-Type", "application/x-msi")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        if head:
            return
        with open(path, "rb") as f:
            if rate is None:
                # In pieces: a benchmark's package is 256 MiB.
                left = size
                while left > 0:
                    piece = f.read(min(left, 1 << 20))
                    if not piece:
                        break
                    self.wfile.write(piece)
                    left -= len(piece)
                return
            data = f.read(size)
        self.wfile.write(data[:first])
        self.wfile.flush()
        end = time.monotonic() + PACE_LIMIT
        off = first
        while off < len(data) and time.monotonic() < end:
            time.sleep(PACE_PIECE / rate)
            self.wfile.write(data[off:off + PACE_PIECE])
            self.wfile.flush()
            off += PACE_PIECE
        self.close_connection = True


class Server(net_server.Server):
    def __init__(self, ctx, port, role):
        self.role = role
        self.ctx = ctx
        net_server.socketserver.TCPServer.__init__(self, ("127.0.0.1", port), Handler)


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--root", required=True, help="folder whose files are served")
    ap.add_argument("--default", required=True, help="file (relative to --root) of the default topic")
    ap.add_argument("--log", required=True)
    ap.add_argument("--paced", action="store_true", help="the default topic's file arrives slowly (demonstration)")
    ap.add_argument("--https-port", type=int, default=47443)
    ap.add_argument("--http-port", type=int, default=47080)
    ARGS = ap.parse_args()
    servers = [
        Server(net_server.tls_context(ARGS.cert, ARGS.key), ARGS.https_port, "redirect"),
        Server(None, ARGS.http_port, "mirror"),
    ]
    for s in servers:
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    # Bounded: a forgotten server ends by itself.
    stop.wait(3600)
    sys.exit(0)


if __name__ == "__main__":
    main()
