#!/usr/bin/env python3
"""The download side of the setup on loopback: the redirect service (HTTPS)
and the package mirror (HTTP), serving the files of one folder (--root).

Redirect service: "/?v=2017.10&l=..&p=..[&refer=..]&t=TOPIC64". The topic,
without its "64" and a trailing "_", is MODE or MODE.ARG from the table MODES;
the default topic "download_shield_msi_" serves the --default file (slowly
with --paced, so that a person can watch the download).
Package mirror: "/vsx/NAME64_ALTVER.msi" serves the --default file, or the mode
ALTVER names when it is one of MODES ("bytes.102401"). The mirror's own paths,
where the redirects lead:
  /pkg/REL        the file ROOT/REL
  /bytes/N        N pattern bytes (byte i = i % 251)
  /slow/REL       ROOT/REL: 150000 bytes at once, then 1 KiB per 100 ms (at most 30 s)
Every request is appended to --log as a line "METHOD PATH" (CR LF) before it is answered.
"""
import argparse
import os
import shutil
import signal
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "net"))
import net_server  # noqa: E402  (the HTTP client tests' server: handler, TLS, pattern)

ARGS = None
LOG_LOCK = threading.Lock()
SLOW_FIRST = 150000
SLOW_PIECE = 1024
SLOW_LIMIT = 30.0


def mirror(path):
    return "http://127.0.0.1:%d%s" % (ARGS.http_port, path)


# MODE -> what the redirect service (or the mirror, for an ALTVER) answers:
# ("redirect", URL), ("status", CODE) or ("pattern", N): N pattern bytes itself.
MODES = {
    "download_shield_msi": lambda arg: ("redirect", mirror(("/slow/" if ARGS.paced else "/pkg/") + ARGS.default)),
    "pkg": lambda arg: ("redirect", mirror("/pkg/" + arg)),
    "bytes": lambda arg: ("redirect", mirror("/bytes/" + arg)),
    "slow": lambda arg: ("redirect", mirror("/slow/" + arg)),
    "status": lambda arg: ("status", int(arg)),
    "invalidhost": lambda arg: ("redirect", "http://package-mirror.invalid/vsx/x.msi"),
    # Over the redirect service's own TLS, without a redirect (benchmark).
    "body": lambda arg: ("pattern", int(arg)),
}


def mode_of(text):
    name, _, arg = text.partition(".")
    return MODES.get(name), arg


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
                return self.send_file(ARGS.default, head, slow=False)
            return self.answer(fn(arg), head)
        if kind == "pkg":
            return self.send_file(rest, head, slow=False)
        if kind == "slow":
            return self.send_file(rest, head, slow=True)
        if kind == "bytes" and rest.isdigit():
            return self.send_pattern(int(rest), head)
        if kind == "status" and rest.isdigit():
            return self.send_body(int(rest), b"status", "text/plain", head)
        return self.send_body(404, b"no such file", "text/plain", head)

    def answer(self, result, head):
        kind, value = result
        if kind == "redirect":
            self.send_body(302, b"see the mirror", "text/plain", head, [("Location", value)])
        elif kind == "pattern":
            self.send_pattern(value, head, 1048576)
        else:
            self.send_body(value, b"status", "text/plain", head)

    def send_file(self, rel, head, slow):
        path = safe_file(rel)
        if path is None:
            return self.send_body(404, b"no such file", "text/plain", head)
        self.send_response(200)
        self.send_header("Content-Type", "application/x-msi")
        self.send_header("Content-Length", str(os.path.getsize(path)))
        self.end_headers()
        if head:
            return
        with open(path, "rb") as f:
            if not slow:
                # In pieces: a benchmark's package is 256 MiB.
                shutil.copyfileobj(f, self.wfile, 1 << 20)
                return
            data = f.read()
        self.wfile.write(data[:SLOW_FIRST])
        self.wfile.flush()
        end = time.monotonic() + SLOW_LIMIT
        off = SLOW_FIRST
        while off < len(data) and time.monotonic() < end:
            time.sleep(0.1)
            self.wfile.write(data[off:off + SLOW_PIECE])
            self.wfile.flush()
            off += SLOW_PIECE
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
