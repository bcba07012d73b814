#!/usr/bin/env python3
"""Loopback stand-in for the MELVORA publisher's three servers.

One process listens on three ports of 127.0.0.1, one per role:

    product  port P    terms of use, agreement page, component lists, files
    stats    port P+1  version query         (HTTP basic authentication)
    log      port P+2  install log receiver  (HTTP basic authentication)

The setup tests and the demo run against it. Python 3 standard library only.

Content layout (--content DIR)
------------------------------
DIR/<role>/<url path>
    Static file for that role, e.g. DIR/product/Lisence/melvora_licence.txt or
    DIR/product/app/ver_file/demo/1.0.3/MELVORA.exe. The query string is ignored
    for this lookup and percent escapes in the path are decoded. Paths that would
    leave DIR/<role> answer 404.
DIR/<role>/<name>.php/<pid>.txt  and  DIR/<role>/<name>.php/default.txt
    When the URL path ends in ".php" and names a folder, the reply is the file
    named after the request's "pid" query parameter, else default.txt. When
    neither exists the reply is status 404 with the body "404 Not Found" (which
    the installer also reads as "no components" / "nothing installed").
    Examples: DIR/product/app/setup/setup.php/demo.txt answers
    /app/setup/setup.php?pid=demo; DIR/stats/app/ver.php/default.txt answers
    /app/ver.php?project=melvora&pid=<any pid without its own file>.
    A plain file named <name>.php answers every query the same way.
<file>.utf8
    When <file> itself is missing, a UTF-8 source beside it is served as CP949
    bytes: line breaks become CRLF and trailing line breaks are dropped (so a
    one-line reply such as a component list never ends in a newline).
Log role
    Every authenticated request that nothing else answers gets 200 "OK".
Placeholders
    In replies whose URL path ends in .txt, .html, .htm or .php (files, .utf8
    sources and overlays alike; never other files, never make-file bodies) the
    texts {PRODUCT}, {STATS} and {LOG} become <host name>:<port of that role>
    (host name 127.0.0.1 unless --host-name says otherwise).

How a request is answered
-------------------------
1. /__control/... on the product port: control API (below), not logged.
2. Every other request is appended to the request log.
3. stats and log: without "Authorization: Basic" for user pebrook, password
   5816ce, the reply is 401 with WWW-Authenticate: Basic realm="MELVORA".
4. A fault switched on for the path shapes the reply (after authentication).
5. The body comes from an overlay (control put/make-file), then the content
   folder, then the log role's "OK"; otherwise 404 "404 Not Found".
Replies carry the request's HTTP version (HTTP/1.0 in, HTTP/1.0 out). HTTP/1.0
connections are closed after each reply (with "Connection: close"); HTTP/1.1
connections are kept alive unless the client asks otherwise or a fault breaks
the framing. Every reply has Content-Length unless a fault removes it.
Ranges: every body served with 200 carries "Accept-Ranges: bytes" and an ETag
(strong; it changes with the body). A GET or HEAD with one range "Range:
bytes=A-" or "bytes=A-B" is answered 206 with Content-Range and that part of the
body, unless it carries an If-Range that is not the body's ETag (then the whole
body, 200). A range that starts at or past the end is answered 416 with
"Content-Range: bytes */<size>". Several ranges, or another unit, get the whole
body. /__control/validators changes what a path's replies say of their version. Faults that send a body (short, long, trickle, reset, silent, split,
delay) shape the part as they would the whole body, so a fault without times=N
cuts every resumed try too.

Control API (product port, plain-text replies: "OK" or data, errors as 4xx
with "ERROR <reason>"; query values percent-encoded)
------------------------------------------------------------------------
/__control/ping                     "OK"
/__control/ports                    "product P\\nstats S\\nlog L\\n"
/__control/tls-refused              TLS mode: connections that ended before a request,
        because the handshake failed or the client hung up right after it (as a
        client that does not trust the certificate does): "product N\\nstats N\\nlog N\\n"
/__control/log[?role=R]             request log, one line per request:
        role<TAB>method<TAB>path?query<TAB>HTTP/x.y<TAB>User-Agent<TAB>
        Authorization<TAB>epoch seconds (6 decimals)<TAB>Range; tabs and line
        breaks inside fields become spaces, missing headers are empty fields
/__control/clear-log                forget the request log
/__control/put?path=T[&role=R][&body=B]
        serve the request body (PUT/POST; or the body parameter) for target T.
        T is compared with the request target as sent. A T with a query matches
        only that exact path and query; a T without one matches that path with
        any query (a T with the query wins when both exist).
/__control/make-file?path=T&size=N[&role=R]
        serve N generated bytes at T without storing them: byte i is i % 251
/__control/delete?path=T[&role=R]   drop an overlay (404 when there is none)
/__control/fault?path=T&kind=K[&role=R][&times=N][&body=B][&<params>]
        switch a fault on for T (same matching as put) until reset, clear-fault
        or, with times=N, after N requests (a passing fault: the first N requests
        of T get it, the next are answered normally). Without role it applies on every
        port. body=B (percent-encoded, %00 allowed) replaces the served body.
        Kinds and parameters:
        status    code=N (default 500); body defaults to "<code> <reason>";
                  retry_after=TEXT adds "Retry-After: TEXT"
        redirect  to=T (required), hops=N (default 1), code=N (default 302):
                  N redirects (through /__hop) ending at T, a path or full URL
        no-length no Content-Length; the connection close ends the body
        chunked   Transfer-Encoding: chunked, chunk=N bytes per chunk (1024)
        short     declares the full length, sends bytes=N (default half), closes
        long      declared=N with the whole body sent, or the full length
                  declared and extra=N more "X" bytes sent (default extra=100);
                  then closes. Up to 256 KiB of body and extra go out in one
                  write with the head, so a client always reads the excess
        trickle   chunk=N bytes (default 1) every interval=ms (default 50)
        zero      inserts a zero byte before each offset in at=a,b,.. (default 0)
        reset     RST (SO_LINGER 0) after bytes=N body bytes, or with no bytes
                  parameter before any reply
        split     headers, then the body in pieces=a,b,.. (rest last), each
                  piece preceded by a pause=ms (default 200)
        delay     waits ms=N (default 1000) before answering normally
        bad-length  the body with "Content-Length: TEXT" for value=TEXT (required,
                  sent as given: "-1", "12abc", ...); then closes
        silent    with no bytes parameter, accepts the request and sends nothing;
                  with bytes=N, the head (full length declared) and N body bytes;
                  then keeps the connection open without a byte more until the
                  client hangs up or the server stops
/__control/validators?path=T[&role=R][&etag=E][&modified=S][&partial_etag=E][&partial_modified=S]
        what the replies for T (same matching as put) say of the body's version, until
        reset or another call for T: etag=E replaces the ETag (E as sent, W/"x" for a
        weak one; "-" for none at all); modified=S adds "Last-Modified", S seconds before
        this call. An If-Range is compared with that ETag, or without one with that date.
        partial_etag and partial_modified (same forms) are what 206 replies carry instead,
        as a file that changed between two requests would, and then If-Range is not
        checked at all (a server or cache in the way that ignores it)
/__control/clear-fault?path=T[&role=R]  without role: every role's fault for T
/__control/reset                    forget overlays, faults and the log
/__control/shutdown                 stop the server
R is product (default for put/make-file/delete), stats or log.

CLI
---
  --content DIR      content folder (optional; overlays work without it)
  --port P           product port; 0 (default) picks free ports for all roles
  --stats-port S     default P+1 (or free when P is 0)
  --log-port L       default P+2 (or free when P is 0)
  --port-file FILE   once listening, written as "product=P\\nstats=S\\nlog=L\\n"
  --log FILE         also append each request-log line to FILE
  --max-seconds N    exit after N seconds (default 3600)
  --quiet            print nothing but errors
  --tls-cert FILE    HTTPS mode: every port (control API included) speaks TLS with this
  --tls-key FILE     certificate chain (PEM) and key; addresses the server writes
                     (placeholders, redirects) then begin with https://
  --host-name NAME   the name those addresses use for 127.0.0.1 (default 127.0.0.1; a
                     certificate for DNS:localhost wants localhost)
SIGTERM and SIGINT stop the server cleanly (exit status 0).
"""

import argparse
import base64
import fcntl
import hashlib
import os
import re
import select
import signal
import socket
import socketserver
import ssl
import struct
import sys
import termios
import threading
import time
from email.utils import formatdate
from http.server import BaseHTTPRequestHandler
from urllib.parse import parse_qs, unquote, urlencode

ROLES = ("product", "stats", "log")
AUTH_CREDENTIALS = b"pebrook:5816ce"
REALM = "MELVORA"
TEXT_SUFFIXES = (".txt", ".html", ".htm", ".php")
CONTENT_TYPES = {".txt": "text/plain", ".html": "text/html", ".htm": "text/html",
                 ".php": "text/html", ".ini": "text/plain", ".css": "text/css",
                 ".js": "application/javascript", ".png": "image/png",
                 ".jpg": "image/jpeg", ".gif": "image/gif"}
CHUNK = 256 * 1024
PATTERN_PERIOD = 251
PATTERN = bytes(i % PATTERN_PERIOD for i in range(CHUNK + PATTERN_PERIOD))
MAX_REQUEST_BODY = 64 * 1024 * 1024
MAX_LOG_ENTRIES = 100_000
MAX_REQUESTS_PER_CONNECTION = 1000
IDLE_TIMEOUT = 30            # seconds a kept-alive connection may sit idle
HANDSHAKE_TIMEOUT = 10       # seconds a TLS client may take to say hello
MAX_PAUSE_MS = 600_000       # upper bound for any fault's pause
SAFE_PID = re.compile(r"[A-Za-z0-9_~-][A-Za-z0-9_.~-]*")   # every id a partner copy can carry
FAULT_KINDS = ("status", "redirect", "no-length", "chunked", "short", "long",
               "trickle", "zero", "reset", "split", "delay", "silent", "bad-length")
SINGLE_RANGE = re.compile(r"bytes=(\d+)-(\d*)")


class Abort(Exception):
    """The server is stopping; abandon the reply in progress."""


class ControlError(Exception):
    def __init__(self, message, code=400):
        super().__init__(message)
        self.code = code


# --- reply bodies -------------------------------------------------------------

class BytesBody:
    def __init__(self, data):
        self.data = bytes(data)
        self.size = len(self.data)

    @property
    def etag(self):
        return '"b-%s"' % hashlib.sha1(self.data).hexdigest()[:20]

    def pieces(self, start, stop):
        for pos in range(start, stop, CHUNK):
            yield self.data[pos:min(pos + CHUNK, stop)]


class FileBody:
    """A file streamed from disk in CHUNK-sized reads."""

    def __init__(self, path):
        self.path = path
        stat = os.stat(path)
        self.size = stat.st_size
        self.etag = '"f-%x-%x"' % (stat.st_mtime_ns, stat.st_size)

    def pieces(self, start, stop):
        with open(self.path, "rb") as f:
            f.seek(start)
            left = stop - start
            while left > 0:
                data = f.read(min(CHUNK, left))
                if not data:      # the file shrank under us
                    return
                left -= len(data)
                yield data


class PatternBody:
    """N generated bytes, byte i being i % 251; nothing is stored."""

    def __init__(self, size):
        self.size = size
        self.etag = '"p-%x"' % size

    def pieces(self, start, stop):
        view = memoryview(PATTERN)
        pos = start
        while pos < stop:
            n = min(CHUNK, stop - pos)
            offset = pos % PATTERN_PERIOD
            yield view[offset:offset + n]
            pos += n


class SliceBody:
    """Bytes start to stop of another body: the part a range request asked for."""

    def __init__(self, body, start, stop):
        self.body, self.start, self.size = body, start, stop - start

    def pieces(self, start, stop):
        return self.body.pieces(self.start + start, self.start + stop)


class Reader:
    """Takes a body's bytes in pieces of any size."""

    def __init__(self, body):
        self.chunks = body.pieces(0, body.size)
        self.buf, self.pos = b"", 0

    def take(self, n):
        out = bytearray()
        while len(out) < n:
            if self.pos >= len(self.buf):
                self.buf, self.pos = next(self.chunks, b""), 0
                if not self.buf:
                    break
            k = min(n - len(out), len(self.buf) - self.pos)
            out += self.buf[self.pos:self.pos + k]
            self.pos += k
        return bytes(out)


def is_text(path):
    return path.lower().endswith(TEXT_SUFFIXES)


def content_type(path):
    return CONTENT_TYPES.get(os.path.splitext(path)[1].lower(), "application/octet-stream")


def load_file(fs_path, text):
    """Body for a file on disk, or for its .utf8 source; None when neither exists."""
    if os.path.isfile(fs_path):
        if not text:
            return FileBody(fs_path)
        with open(fs_path, "rb") as f:
            return BytesBody(f.read())
    if os.path.isfile(fs_path + ".utf8"):
        with open(fs_path + ".utf8", encoding="utf-8-sig") as f:
            source = f.read()
        source = source.replace("\r\n", "\n").rstrip("\n").replace("\n", "\r\n")
        return BytesBody(source.encode("cp949"))
    return None


def find_content(root, path, query):
    rel = unquote(path).lstrip("/")
    root = os.path.realpath(root)
    full = os.path.realpath(os.path.join(root, rel))
    if full != root and not full.startswith(root + os.sep):
        return None
    if path.lower().endswith(".php") and os.path.isdir(full):
        pid = parse_qs(query, encoding="latin-1").get("pid", [""])[-1]
        names = ([pid + ".txt"] if SAFE_PID.fullmatch(pid) else []) + ["default.txt"]
        for name in names:
            body = load_file(os.path.join(full, name), text=True)
            if body is not None:
                return body
        return None
    return load_file(full, text=is_text(path))


# --- shared state ---------------------------------------------------------------

class Fault:
    def __init__(self, kind, params, times, body):
        self.kind, self.params, self.times, self.body = kind, params, times, body


class Validators:
    """What the replies of one path say of the body's version (control validators)."""

    def __init__(self, etag, modified, partial_etag, partial_modified):
        self.etag, self.modified = etag, modified
        self.partial_etag, self.partial_modified = partial_etag, partial_modified

    @property
    def changes_partials(self):
        return self.partial_etag is not None or self.partial_modified is not None


def parse_validators(params):
    def tag(name):
        value = params.get(name)
        if value is None or value == "":
            return None
        if any(ord(c) < 0x21 or ord(c) > 0x7E for c in value):
            raise ControlError("%s must be printable ASCII" % name)
        return value

    def date(name):
        raw = params.get(name)
        if raw is None or raw == "":
            return None
        try:
            age = int(raw)
        except ValueError:
            raise ControlError("%s must be an integer number of seconds" % name) from None
        if not 0 <= age <= 1 << 32:
            raise ControlError("%s out of range" % name)
        return formatdate(time.time() - age, usegmt=True)

    return Validators(tag("etag"), date("modified"), tag("partial_etag"), date("partial_modified"))


def parse_fault(params):
    kind = params.get("kind", "")
    if kind not in FAULT_KINDS:
        raise ControlError("unknown fault kind %r" % kind)

    def number(name, default=None, low=0, high=1 << 40):
        raw = params.get(name)
        if raw is None or raw == "":
            return default
        try:
            value = int(raw)
        except ValueError:
            raise ControlError("%s must be an integer" % name) from None
        if not low <= value <= high:
            raise ControlError("%s out of range" % name)
        return value

    def numbers(name, default, low):
        raw = params.get(name)
        if not raw:
            return default
        try:
            values = [int(v) for v in raw.split(",")]
        except ValueError:
            raise ControlError("%s must be integers separated by commas" % name) from None
        if any(v < low for v in values) or len(values) > 10_000:
            raise ControlError("%s out of range" % name)
        return values

    p = {}
    if kind == "status":
        p["code"] = number("code", 500, 100, 999)
        p["retry_after"] = params.get("retry_after")
    elif kind == "redirect":
        p["hops"] = number("hops", 1, 1, 50)
        p["code"] = number("code", 302, 300, 399)
        p["to"] = params.get("to") or ""
        if not p["to"]:
            raise ControlError("redirect needs to=")
    elif kind == "chunked":
        p["chunk"] = number("chunk", 1024, 1)
    elif kind in ("short", "reset", "silent"):
        p["bytes"] = number("bytes")
    elif kind == "long":
        p["declared"] = number("declared")
        p["extra"] = number("extra", 100)
    elif kind == "trickle":
        p["chunk"] = number("chunk", 1, 1)
        p["interval"] = number("interval", 50, 0, MAX_PAUSE_MS)
    elif kind == "zero":
        p["at"] = numbers("at", [0], 0)
    elif kind == "split":
        p["pieces"] = numbers("pieces", None, 1)
        if p["pieces"] is None:
            raise ControlError("split needs pieces=")
        p["pause"] = number("pause", 200, 0, MAX_PAUSE_MS)
    elif kind == "delay":
        p["ms"] = number("ms", 1000, 0, MAX_PAUSE_MS)
    elif kind == "bad-length":
        p["value"] = params.get("value") or ""
        if not p["value"]:
            raise ControlError("bad-length needs value=")
    body = params["body"].encode("latin-1") if "body" in params else None
    return Fault(kind, p, number("times", None, 1), body)


class State:
    """Overlays, faults and the request log, shared by the three role servers."""

    def __init__(self, log_file):
        self.lock = threading.Lock()
        self.log_file = log_file
        self.overlays = {}   # (role, target) -> body
        self.faults = {}     # (role or "*", target) -> Fault
        self.validators = {}  # (role, target) -> Validators
        self.entries = []    # (role, method, target, version, agent, authorization, time, range)

    def record(self, *fields):
        entry = tuple(" ".join(str(f).splitlines()).replace("\t", " ") for f in fields)
        entry = entry[:6] + (time.time(),) + entry[6:]
        with self.lock:
            self.entries.append(entry)
            del self.entries[:-MAX_LOG_ENTRIES]
            if self.log_file:
                with open(self.log_file, "a", encoding="latin-1", errors="replace") as f:
                    f.write(format_entry(entry))

    def log_text(self, role=None):
        with self.lock:
            return "".join(format_entry(e) for e in self.entries if role in (None, e[0]))

    def overlay(self, role, path, query):
        with self.lock:
            if query and (role, path + "?" + query) in self.overlays:
                return self.overlays[(role, path + "?" + query)]
            return self.overlays.get((role, path))

    def validators_for(self, role, path, query):
        with self.lock:
            if query and (role, path + "?" + query) in self.validators:
                return self.validators[(role, path + "?" + query)]
            return self.validators.get((role, path))

    def take_fault(self, role, path, query):
        keys = [(r, t) for r in (role, "*")
                for t in ([path + "?" + query] if query else []) + [path]]
        with self.lock:
            for key in keys:
                fault = self.faults.get(key)
                if fault is None:
                    continue
                if fault.times is not None:
                    fault.times -= 1
                    if fault.times <= 0:
                        del self.faults[key]
                return fault
        return None

    def reset(self):
        with self.lock:
            self.overlays.clear()
            self.faults.clear()
            self.validators.clear()
            self.entries.clear()


def format_entry(entry):
    return "\t".join(entry[:6]) + "\t%.6f\t%s\n" % (entry[6], entry[7])


# --- request handling -------------------------------------------------------------

class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"    # lets 1.1 connections stay open; replies use the request's version
    server_version = "MelvoraTestPublisher/1.0"
    timeout = IDLE_TIMEOUT
    reply_version = "HTTP/1.1"

    def setup(self):
        # TLS: the handshake happens here, on the connection's own thread, so a client
        # that is slow to say hello holds up no other.
        self.tls_failed = False
        self.requests_served = 0
        if isinstance(self.request, ssl.SSLSocket):
            self.request.settimeout(HANDSHAKE_TIMEOUT)
            try:
                self.request.do_handshake()
            except (ssl.SSLError, OSError):
                self.tls_failed = True
        super().setup()
        if not self.tls_failed:
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def handle(self):
        try:
            for _ in range(0 if self.tls_failed else MAX_REQUESTS_PER_CONNECTION):
                self.handle_one_request()
                if self.close_connection:
                    break
        except (ConnectionError, TimeoutError, OSError):
            pass
        if isinstance(self.request, ssl.SSLSocket) and self.requests_served == 0:
            self.server.app.count_tls_refusal(self.server.role)

    def log_message(self, fmt, *args):
        if not self.server.app.quiet:
            sys.stderr.write("publisher_server: %s %s\n" % (self.server.role, fmt % args))

    def do_GET(self):
        self.serve()

    do_HEAD = do_POST = do_PUT = do_DELETE = do_GET

    # -- wire helpers --

    def send_head(self, code, headers, length=None, close=False, body=b""):
        """Sends the head, and in the same write the bytes of body (none for HEAD)."""
        if close:
            self.close_connection = True
        reason = self.responses.get(code, ("Unknown",))[0]
        lines = ["%s %d %s" % (self.reply_version, code, reason),
                 "Date: " + formatdate(usegmt=True),
                 "Server: " + self.server_version,
                 "Cache-Control: no-cache"]
        lines += ["%s: %s" % h for h in headers]
        if length is not None:
            lines.append("Content-Length: %d" % length)
        if self.close_connection:
            lines.append("Connection: close")
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1", "replace")
        self.connection.sendall(head + (body if self.command != "HEAD" else b""))

    def send_data(self, data):
        if self.command != "HEAD" and data:
            self.connection.sendall(data)

    def send_range(self, body, start, stop):
        for piece in body.pieces(start, stop):
            self.send_data(piece)

    def reply(self, code, body, ctype="text/html", headers=()):
        if isinstance(body, (bytes, bytearray)):
            body = BytesBody(body)
        no_body = code in (204, 304) or 100 <= code < 200
        self.send_head(code, [("Content-Type", ctype)] + list(headers),
                       None if no_body else body.size)
        if not no_body:
            self.send_range(body, 0, body.size)

    def pause(self, ms):
        if self.server.app.stop.wait(ms / 1000.0):
            raise Abort()

    def reset_socket(self):
        """Ends the connection with RST once the bytes already sent have left."""
        sock = self.connection
        for _ in range(200):   # at most about 2 s
            try:
                unsent = struct.unpack("i", fcntl.ioctl(sock.fileno(), termios.TIOCOUTQ, b"\0" * 4))[0]
            except OSError:
                break
            if unsent == 0:
                break
            time.sleep(0.01)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.rfile.close()     # drops the last reference so close() really closes
        sock.close()
        self.close_connection = True

    def stay_silent(self):
        """Holds the connection open without sending until the client hangs up or the
        server stops; whatever the client sends meanwhile is read and dropped."""
        sock = self.connection
        self.close_connection = True
        while not self.server.app.stop.is_set():
            readable, _, _ = select.select([sock], [], [], 0.2)
            if readable and not sock.recv(65536):
                return

    def read_request_body(self):
        try:
            length = int(self.headers.get("Content-Length") or 0)
        except ValueError:
            length = -1
        if not 0 <= length <= MAX_REQUEST_BODY:
            self.close_connection = True
            return b""
        return self.rfile.read(length) if length else b""

    # -- answering --

    def serve(self):
        self.requests_served += 1
        server, state = self.server, self.server.app.state
        self.reply_version = "HTTP/1.0" if self.request_version == "HTTP/1.0" else "HTTP/1.1"
        if self.reply_version == "HTTP/1.0":
            self.close_connection = True
        try:
            payload = self.read_request_body()
            target = self.path
            if target.startswith(("http://", "https://")):     # absolute form
                target = "/" + target.split("/", 3)[3] if target.count("/") >= 3 else "/"
            path, _, query = target.partition("?")
            if server.role == "product" and path.startswith("/__control/"):
                self.control(path[len("/__control/"):], query, payload)
                return
            state.record(server.role, self.command, self.path, self.request_version,
                         self.headers.get("User-Agent", ""), self.headers.get("Authorization", ""),
                         self.headers.get("Range", ""))
            if server.role != "product" and not self.authorized():
                self.reply(401, b"401 Unauthorized", "text/html",
                           [("WWW-Authenticate", 'Basic realm="%s"' % REALM)])
                return
            if path == "/__hop":
                self.hop(query)
                return
            fault = state.take_fault(server.role, path, query)
            body = self.resolve(path, query)
            if fault is not None and fault.body is not None:
                body = BytesBody(fault.body)
            if body is None and fault is None:
                self.reply(404, b"404 Not Found")
            elif body is None or fault is not None and fault.kind in ("status", "redirect"):
                self.apply_fault(fault, body, content_type(path), 200, [])
            else:
                code, body, headers = self.ranged(body, state.validators_for(server.role, path, query))
                if fault is None or code == 416:
                    self.reply(code, body, content_type(path), headers)
                else:
                    self.apply_fault(fault, body, content_type(path), code, headers)
        except (Abort, ConnectionError, TimeoutError):
            self.close_connection = True
        except Exception as e:   # a bug or unreadable content: say so instead of hanging up
            self.log_message("error answering %s: %r", self.path, e)
            try:
                self.reply(500, ("500 Internal Server Error\n%r\n" % e).encode("latin-1", "replace"),
                           "text/plain")
            except OSError:
                pass
            self.close_connection = True

    def ranged(self, body, validators=None):
        """(status, body, headers) of a body's reply: all of it, or the one range asked for."""
        etag, modified = body.etag, None
        if validators is not None:
            etag = validators.etag or etag
            modified = validators.modified
        etag = None if etag == "-" else etag
        headers = [("Accept-Ranges", "bytes")] + ([("ETag", etag)] if etag else []) + \
                  ([("Last-Modified", modified)] if modified else [])
        match = SINGLE_RANGE.fullmatch(self.headers.get("Range", "").replace(" ", ""))
        if_range = self.headers.get("If-Range")
        ignores_if_range = validators is not None and validators.changes_partials
        if if_range is not None and not ignores_if_range:
            # A weak tag never matches; without a tag the date must be the same.
            current = etag if etag else modified
            if current is None or current.startswith("W/") or if_range != current:
                match = None
        if self.command not in ("GET", "HEAD") or not match:
            return 200, body, headers
        start = int(match.group(1))
        stop = min(int(match.group(2)) + 1, body.size) if match.group(2) else body.size
        if start >= body.size or stop <= start:
            return 416, BytesBody(b"416 Range Not Satisfiable"), [("Content-Range", "bytes */%d" % body.size)]
        if ignores_if_range:
            partial_etag = validators.partial_etag or etag
            partial_etag = None if partial_etag == "-" else partial_etag
            partial_modified = validators.partial_modified or modified
            headers = [("Accept-Ranges", "bytes")] + ([("ETag", partial_etag)] if partial_etag else []) + \
                      ([("Last-Modified", partial_modified)] if partial_modified else [])
        return 206, SliceBody(body, start, stop), headers + [
            ("Content-Range", "bytes %d-%d/%d" % (start, stop - 1, body.size))]

    def authorized(self):
        scheme, _, credentials = self.headers.get("Authorization", "").strip().partition(" ")
        if scheme.lower() != "basic":
            return False
        try:
            return base64.b64decode(credentials.strip(), validate=True) == AUTH_CREDENTIALS
        except ValueError:
            return False

    def resolve(self, path, query):
        server = self.server
        body = server.app.state.overlay(server.role, path, query)
        if body is None and server.app.content:
            body = find_content(os.path.join(server.app.content, server.role), path, query)
        if body is None and server.role == "log":
            body = BytesBody(b"OK")
        if isinstance(body, BytesBody) and is_text(path):
            body = BytesBody(server.app.substitute(body.data))
        return body

    def redirect(self, hops, to, code):
        location = to
        if hops > 1:
            location = "/__hop?" + urlencode({"left": hops - 1, "to": to, "code": code},
                                             encoding="latin-1")
        if not location.startswith(("http://", "https://")):
            location = "%s:%d%s" % (self.server.app.origin_prefix, self.server.port, location)
        self.reply(code, b"Moved", "text/html", [("Location", location)])

    def hop(self, query):
        params = {k: v[-1] for k, v in parse_qs(query, encoding="latin-1").items()}
        try:
            left, code = int(params.get("left", "")), int(params.get("code", "302"))
        except ValueError:
            left, code = 0, 0
        if not (1 <= left <= 50 and 300 <= code <= 399 and params.get("to")):
            self.reply(400, b"400 Bad Request")
            return
        self.redirect(left, params["to"], code)

    def apply_fault(self, fault, body, ctype, code, ranges):
        """A faulty reply; code and ranges are the status and headers of the body as asked
        for (200, or 206 with the part a range request named)."""
        kind, p = fault.kind, fault.params
        if kind == "status":
            status = p["code"]
            if fault.body is None:
                body = ("%d %s" % (status, self.responses.get(status, ("Unknown",))[0])).encode()
            wait = [("Retry-After", p["retry_after"])] if p["retry_after"] else []
            self.reply(status, body, ctype, wait)
            return
        if kind == "redirect":
            self.redirect(p["hops"], p["to"], p["code"])
            return
        if kind == "reset" and p["bytes"] is None:
            self.reset_socket()
            return
        if kind == "silent" and p["bytes"] is None:
            self.stay_silent()
            return
        if kind == "delay":
            self.pause(p["ms"])
        if body is None:
            self.reply(404, b"404 Not Found")
            return
        head, size = [("Content-Type", ctype)] + ranges, body.size
        if kind == "delay":
            self.reply(code, body, ctype, ranges)
        elif kind == "zero":
            data = b"".join(body.pieces(0, size))
            for offset in sorted(set(min(a, size) for a in p["at"]), reverse=True):
                data = data[:offset] + b"\0" + data[offset:]
            self.reply(code, data, ctype, ranges)
        elif kind == "no-length":
            self.send_head(code, head, None, close=True)
            self.send_range(body, 0, size)
        elif kind == "chunked":
            self.send_head(code, head + [("Transfer-Encoding", "chunked")])
            reader = Reader(body)
            for _ in range(size // p["chunk"] + 1):
                piece = reader.take(p["chunk"])
                if piece:
                    self.send_data(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.send_data(b"0\r\n\r\n")
        elif kind == "short":
            sent = size // 2 if p["bytes"] is None else min(p["bytes"], size)
            self.send_head(code, head, size, close=True)
            self.send_range(body, 0, sent)
        elif kind == "long":
            declared = p["declared"]
            extra = b"X" * p["extra"] if declared is None else b""
            if size + len(extra) <= CHUNK:
                # In one write with the head: the client reads the excess along with the
                # head, so it always sees it (sent apart, it may stop at the declared length).
                self.send_head(code, head, size if declared is None else declared, close=True,
                               body=b"".join(body.pieces(0, size)) + extra)
            else:
                self.send_head(code, head, size if declared is None else declared, close=True)
                self.send_range(body, 0, size)
                self.send_data(extra)
        elif kind == "trickle":
            self.send_head(code, head, size)
            reader = Reader(body)
            for i in range(size // p["chunk"] + 1):
                piece = reader.take(p["chunk"])
                if not piece:
                    break
                if i:
                    self.pause(p["interval"])
                self.send_data(piece)
        elif kind == "reset":
            self.send_head(code, head, size)
            self.send_range(body, 0, min(p["bytes"], size))
            self.reset_socket()
        elif kind == "silent":
            self.send_head(code, head, size)
            self.send_range(body, 0, min(p["bytes"], size))
            self.stay_silent()
        elif kind == "bad-length":
            self.send_head(code, head + [("Content-Length", p["value"])], None, close=True)
            self.send_range(body, 0, size)
        elif kind == "split":
            self.send_head(code, head, size)
            reader = Reader(body)
            for n in p["pieces"] + [size]:
                piece = reader.take(n)
                if not piece:
                    break
                self.pause(p["pause"])
                self.send_data(piece)

    # -- control API --

    def control(self, name, query, payload):
        params = {k: v[-1] for k, v in
                  parse_qs(query, keep_blank_values=True, encoding="latin-1").items()}
        try:
            text = self.control_action(name, params, payload)
            code = 200
        except ControlError as e:
            text, code = "ERROR %s\n" % e, e.code
        self.reply(code, text.encode("latin-1", "replace"), "text/plain")

    def control_action(self, name, params, payload):
        app, state = self.server.app, self.server.app.state

        def role(default="product"):
            value = params.get("role") or default
            if value not in ROLES + ((default,) if default == "*" else ()):
                raise ControlError("unknown role %r" % value)
            return value

        def target():
            value = params.get("path", "")
            if not value.startswith("/"):
                raise ControlError("path must start with /")
            return value

        if name == "ping":
            return "OK\n"
        if name == "ports":
            return "".join("%s %d\n" % (r, app.ports[r]) for r in ROLES)
        if name == "tls-refused":
            with state.lock:
                return "".join("%s %d\n" % (r, app.tls_refusals[r]) for r in ROLES)
        if name == "log":
            return state.log_text(role() if params.get("role") else None)
        if name == "clear-log":
            with state.lock:
                state.entries.clear()
            return "OK\n"
        if name == "put":
            body = payload if payload or "body" not in params else params["body"].encode("latin-1")
            key = (role(), target())
            with state.lock:
                state.overlays[key] = BytesBody(body)
            return "OK\n"
        if name == "make-file":
            try:
                size = int(params.get("size", ""))
            except ValueError:
                raise ControlError("size must be an integer") from None
            if not 0 <= size <= 1 << 40:
                raise ControlError("size out of range")
            key = (role(), target())
            with state.lock:
                state.overlays[key] = PatternBody(size)
            return "OK\n"
        if name == "delete":
            key = (role(), target())
            with state.lock:
                if state.overlays.pop(key, None) is None:
                    raise ControlError("no overlay for %s" % key[1], 404)
            return "OK\n"
        if name == "fault":
            key = (role("*"), target())
            fault = parse_fault(params)
            with state.lock:
                state.faults[key] = fault
            return "OK\n"
        if name == "validators":
            key = (role(), target())
            validators = parse_validators(params)
            with state.lock:
                state.validators[key] = validators
            return "OK\n"
        if name == "clear-fault":
            path, which = target(), role("*")
            with state.lock:
                for key in [k for k in state.faults if k[1] == path and which in ("*", k[0])]:
                    del state.faults[key]
            return "OK\n"
        if name == "reset":
            state.reset()
            return "OK\n"
        if name == "shutdown":
            app.stop.set()
            return "OK\n"
        raise ControlError("unknown control %r" % name, 404)


# --- servers and main ---------------------------------------------------------------

class RoleServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, app, role, port):
        self.app, self.role = app, role
        super().__init__(("127.0.0.1", port), Handler)
        self.port = self.server_address[1]

    def get_request(self):
        sock, address = super().get_request()
        if self.app.tls:
            # The handshake waits for the handler's thread (Handler.setup).
            sock = self.app.tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address


class App:
    def __init__(self, content, log_file, quiet, tls=None, host_name="127.0.0.1"):
        self.content = content
        self.quiet = quiet
        self.state = State(log_file)
        self.stop = threading.Event()
        self.ports = {}
        self.tls = tls
        self.host_name = host_name
        self.origin_prefix = "%s://%s" % ("https" if tls else "http", host_name)
        self.tls_refusals = {role: 0 for role in ROLES}

    def substitute(self, data):
        for role in ROLES:
            data = data.replace(b"{%s}" % role.upper().encode(),
                                b"%s:%d" % (self.host_name.encode(), self.ports[role]))
        return data

    def count_tls_refusal(self, role):
        with self.state.lock:
            self.tls_refusals[role] += 1


def parse_args(argv):
    parser = argparse.ArgumentParser(description="Loopback publisher server for the MELVORA setup tests.")
    parser.add_argument("--content", help="content folder (see the module docstring)")
    parser.add_argument("--port", type=int, default=0, help="product port; 0 picks free ports")
    parser.add_argument("--stats-port", type=int, help="stats port (default P+1)")
    parser.add_argument("--log-port", type=int, help="log port (default P+2)")
    parser.add_argument("--port-file", help="write product=/stats=/log= lines here once listening")
    parser.add_argument("--log", help="also append the request log to this file")
    parser.add_argument("--max-seconds", type=float, default=3600, help="lifetime in seconds (default 3600)")
    parser.add_argument("--quiet", action="store_true", help="print nothing but errors")
    parser.add_argument("--tls-cert", help="HTTPS mode: certificate chain (PEM)")
    parser.add_argument("--tls-key", help="HTTPS mode: the certificate's key (PEM)")
    parser.add_argument("--host-name", default="127.0.0.1", help="name for 127.0.0.1 in the addresses written")
    args = parser.parse_args(argv)
    if bool(args.tls_cert) != bool(args.tls_key):
        parser.error("--tls-cert and --tls-key go together")
    if args.content and not os.path.isdir(args.content):
        parser.error("--content %s is not a folder" % args.content)
    if args.max_seconds <= 0:
        parser.error("--max-seconds must be positive")
    return args


def main(argv=None):
    args = parse_args(argv)
    tls = None
    if args.tls_cert:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        try:
            tls.load_cert_chain(args.tls_cert, args.tls_key)
        except (OSError, ssl.SSLError) as e:
            sys.stderr.write("publisher_server: cannot use %s: %s\n" % (args.tls_cert, e))
            return 2
    app = App(os.path.abspath(args.content) if args.content else None, args.log, args.quiet, tls, args.host_name)
    wanted = {"product": args.port,
              "stats": args.stats_port if args.stats_port is not None else (args.port + 1 if args.port else 0),
              "log": args.log_port if args.log_port is not None else (args.port + 2 if args.port else 0)}
    servers = []
    try:
        for role in ROLES:
            servers.append(RoleServer(app, role, wanted[role]))
            app.ports[role] = servers[-1].port
    except OSError as e:
        sys.stderr.write("publisher_server: cannot listen on 127.0.0.1:%d: %s\n" % (wanted[role], e))
        for server in servers:
            server.server_close()
        return 2

    signal.signal(signal.SIGTERM, lambda *_: app.stop.set())
    signal.signal(signal.SIGINT, lambda *_: app.stop.set())
    for server in servers:
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2},
                         daemon=True).start()
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("".join("%s=%d\n" % (r, app.ports[r]) for r in ROLES))
        os.replace(tmp, args.port_file)
    if not args.quiet:
        sys.stderr.write("publisher_server: %s; exits after %g s\n" % (
            ", ".join("%s 127.0.0.1:%d" % (r, app.ports[r]) for r in ROLES), args.max_seconds))

    deadline = time.monotonic() + args.max_seconds
    while not app.stop.is_set():
        left = deadline - time.monotonic()
        if left <= 0:
            if not args.quiet:
                sys.stderr.write("publisher_server: lifetime over, exiting\n")
            break
        app.stop.wait(min(left, 0.5))
    app.stop.set()
    for server in servers:
        server.shutdown()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
