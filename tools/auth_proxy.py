#!/usr/bin/env python3
"""A loopback HTTP proxy that asks for Basic credentials, for the MELVORA setup tests.

It stands for the proxy of a company or school network: every request must carry
"Proxy-Authorization: Basic <user:password>". Without it, or with other credentials, the
reply is 407 with "Proxy-Authenticate: Basic realm=..." (in the HTTP version the request
came in, so a client's resend keeps its version). With them, the request goes on to its
server and the reply comes back unchanged. Python 3 standard library only.

Only http:// addresses on 127.0.0.1 or localhost are forwarded (anything else is
answered 403 without a connection being made), in origin form, without the
Proxy-Authorization and Proxy-Connection headers, with "Connection: close"; each client
connection carries one request and is closed after its reply.

Requests in origin form ("/__proxy/...") are its control API, not logged:
/__proxy/ping                         "OK"
/__proxy/log                          one line per request asked of the proxy:
        method<TAB>URL as asked<TAB>credentials<TAB>forwarded
        credentials: "none", "good" or "wrong" (never the values); forwarded: "yes" or "no"
/__proxy/clear-log                    forget the log
/__proxy/credentials?user=U&password=P   the credentials asked for from now on

CLI
---
  --port P           listen on 127.0.0.1:P (0, the default, picks a free port)
  --port-file FILE   once listening, written as "proxy=P\\n"
  --user U, --password P   the credentials (default melvora / proxy-secret)
  --realm TEXT       the realm of the 407 (default "MELVORA test proxy")
  --max-seconds N    exit after N seconds (default 3600)
SIGTERM and SIGINT stop it cleanly (exit status 0).
"""

import argparse
import base64
import os
import select
import signal
import socket
import socketserver
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler
from urllib.parse import parse_qs, urlsplit

LOOPBACK_HOSTS = ("127.0.0.1", "localhost")
HOP_HEADERS = ("proxy-authorization", "proxy-connection", "connection", "keep-alive")
RELAY_IDLE_SECONDS = 60      # a reply that stops for this long ends the relay
MAX_LOG_ENTRIES = 100_000


class State:
    def __init__(self, user, password, realm):
        self.lock = threading.Lock()
        self.user, self.password, self.realm = user, password, realm
        self.entries = []

    def credentials_state(self, header):
        scheme, _, value = (header or "").strip().partition(" ")
        if scheme.lower() != "basic":
            return "none"
        try:
            given = base64.b64decode(value.strip(), validate=True)
        except ValueError:
            return "wrong"
        with self.lock:
            wanted = ("%s:%s" % (self.user, self.password)).encode("utf-8")
        return "good" if given == wanted else "wrong"

    def record(self, *fields):
        line = "\t".join(" ".join(str(f).split()) for f in fields) + "\n"
        with self.lock:
            self.entries.append(line)
            del self.entries[:-MAX_LOG_ENTRIES]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "MelvoraTestProxy/1.0"
    timeout = 30

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        self.close_connection = True
        state = self.server.state
        if self.path.startswith("/__proxy/"):
            self.control(self.path)
            return
        credentials = state.credentials_state(self.headers.get("Proxy-Authorization"))
        target = urlsplit(self.path)
        if credentials != "good":
            state.record(self.command, self.path, credentials, "no")
            with state.lock:
                realm = state.realm
            self.answer(407, b"407 Proxy Authentication Required",
                        [("Proxy-Authenticate", 'Basic realm="%s"' % realm)])
            return
        if target.scheme != "http" or target.hostname not in LOOPBACK_HOSTS or not target.port:
            state.record(self.command, self.path, credentials, "no")
            self.answer(403, b"403 Forbidden")
            return
        state.record(self.command, self.path, credentials, "yes")
        self.forward(target)

    do_HEAD = do_POST = do_GET

    def answer(self, code, body, headers=()):
        reason = self.responses.get(code, ("",))[0]
        version = "HTTP/1.0" if self.request_version == "HTTP/1.0" else "HTTP/1.1"
        lines = ["%s %d %s" % (version, code, reason), "Content-Type: text/html",
                 "Content-Length: %d" % len(body), "Connection: close"]
        lines += ["%s: %s" % h for h in headers]
        self.wfile.write(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body)

    def forward(self, target):
        path = target.path or "/"
        if target.query:
            path += "?" + target.query
        head = ["%s %s %s" % (self.command, path, self.request_version)]
        head += ["%s: %s" % (k, v) for k, v in self.headers.items() if k.lower() not in HOP_HEADERS]
        head.append("Connection: close")
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if 0 < length <= 1 << 20 else b""
        try:
            upstream = socket.create_connection((target.hostname, target.port), timeout=10)
        except OSError:
            self.answer(502, b"502 Bad Gateway")
            return
        with upstream:
            upstream.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1") + body)
            self.relay(upstream)

    def relay(self, upstream):
        """Copies the reply until the server closes, the client hangs up or the server stops."""
        client = self.connection
        watched = [upstream, client]
        stop = self.server.app_stop
        idle_since = time.monotonic()
        while not stop.is_set() and time.monotonic() - idle_since < RELAY_IDLE_SECONDS:
            readable, _, _ = select.select(watched, [], [], 0.2)
            if client in readable:
                # A hang-up ends the relay; bytes the client sends early are left unread.
                try:
                    if not client.recv(1, socket.MSG_PEEK):
                        return
                except OSError:
                    return
                watched = [upstream]
            if upstream in readable:
                try:
                    data = upstream.recv(256 * 1024)
                except OSError:
                    return
                if not data:
                    return
                client.sendall(data)
                idle_since = time.monotonic()

    def control(self, path):
        parts = urlsplit(path)
        name = parts.path[len("/__proxy/"):]
        state = self.server.state
        params = {k: v[-1] for k, v in parse_qs(parts.query, keep_blank_values=True).items()}
        if name == "ping":
            text = "OK\n"
        elif name == "log":
            with state.lock:
                text = "".join(state.entries)
        elif name == "clear-log":
            with state.lock:
                state.entries.clear()
            text = "OK\n"
        elif name == "credentials" and "user" in params and "password" in params:
            with state.lock:
                state.user, state.password = params["user"], params["password"]
            text = "OK\n"
        else:
            self.answer(404, b"ERROR unknown control\n")
            return
        self.answer(200, text.encode("utf-8"))


class ProxyServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, state, stop):
        self.state, self.app_stop = state, stop
        super().__init__(("127.0.0.1", port), Handler)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Loopback proxy that asks for Basic credentials.")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--user", default="melvora")
    parser.add_argument("--password", default="proxy-secret")
    parser.add_argument("--realm", default="MELVORA test proxy")
    parser.add_argument("--max-seconds", type=float, default=3600)
    args = parser.parse_args(argv)
    if args.max_seconds <= 0:
        parser.error("--max-seconds must be positive")

    stop = threading.Event()
    try:
        server = ProxyServer(args.port, State(args.user, args.password, args.realm), stop)
    except OSError as e:
        sys.stderr.write("auth_proxy: cannot listen on 127.0.0.1:%d: %s\n" % (args.port, e))
        return 2
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("proxy=%d\n" % server.server_address[1])
        os.replace(tmp, args.port_file)
    stop.wait(args.max_seconds)
    stop.set()
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
