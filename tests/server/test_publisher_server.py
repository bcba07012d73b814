"""Wire-level tests of tools/publisher_server.py, the loopback publisher the
setup's own tests and the demo run against.

Run with: python3 -m unittest discover -s tests/server -v
"""

import base64
import http.client
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path
from urllib.parse import quote

ROOT = Path(__file__).resolve().parents[2]
SERVER = ROOT / "tools" / "publisher_server.py"
DEMO = ROOT / "tools" / "demo_content"
GOOD_AUTH = "Basic " + base64.b64encode(b"pebrook:5816ce").decode()
BINARY = bytes(range(256)) * 4          # 1024 bytes, every byte value


class Server:
    """A publisher_server.py process on free ports."""

    def __init__(self, content=None, *extra):
        self.dir = tempfile.mkdtemp(prefix="pubsrv-")
        port_file = os.path.join(self.dir, "ports")
        self.stderr = open(os.path.join(self.dir, "stderr"), "w")
        cmd = [sys.executable, str(SERVER), "--port", "0", "--port-file", port_file, "--quiet"]
        if content:
            cmd += ["--content", str(content)]
        cmd += list(extra)
        if "--max-seconds" not in extra:
            cmd += ["--max-seconds", "120"]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=self.stderr)
        deadline = time.monotonic() + 10
        while not os.path.exists(port_file):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("publisher_server did not start")
            time.sleep(0.02)
        with open(port_file) as f:
            self.port_file_text = f.read()
        self.ports = {k: int(v) for k, v in (line.split("=") for line in self.port_file_text.split())}

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
        self.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def exchange(port, request, timeout=5.0):
    """Sends raw request bytes and reads until the server closes the connection."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(request)
        data = b""
        for _ in range(100_000):
            piece = s.recv(65536)
            if not piece:
                return data
            data += piece
    raise AssertionError("reply never ended")


def parse(reply):
    head, _, body = reply.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return lines[0], headers, body


def request(port, target, version="HTTP/1.0", method="GET", headers=(), body=b""):
    lines = ["%s %s %s" % (method, target, version), "Host: 127.0.0.1:%d" % port]
    if version == "HTTP/1.1":
        lines.append("Connection: close")
    lines += ["%s: %s" % h for h in headers]
    if body:
        lines.append("Content-Length: %d" % len(body))
    return parse(exchange(port, ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body))


def make_content(root):
    files = {
        "product/plain.txt": b"product={PRODUCT} stats={STATS} log={LOG}",
        "product/page.html": b"<a href=\"http://{PRODUCT}/x\">x</a>",
        "product/data.bin": b"bin {PRODUCT}",
        "product/f/body.bin": BINARY,
        "product/big/three.bin": bytes((i * 7 + i // 4099) % 256 for i in range(3 * 1024 * 1024 + 17)),
        "product/app/setup/setup.php/p1.txt": b"/A/a.exe|http://{PRODUCT}/a.exe|A|a|http://{PRODUCT}/a.html|1",
        "stats/app/ver.php/known.txt": b"OK|1.0.0|1.0.0",
        "stats/app/ver.php/default.txt": b"OK|9.9.9|9.9.8",
        "secret.txt": b"must not be served",
    }
    for rel, data in files.items():
        path = Path(root) / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    (Path(root) / "product/hello.txt.utf8").write_text("\ufeff안녕\n하세요\r\n\n\n", encoding="utf-8")


class ServerTestCase(unittest.TestCase):
    """One server for the whole class, reset before each test."""

    @classmethod
    def setUpClass(cls):
        cls.content = tempfile.mkdtemp(prefix="pubsrv-content-")
        make_content(cls.content)
        cls.log_file = os.path.join(cls.content, "requests.log")
        cls.server = Server(cls.content, "--log", cls.log_file)
        cls.P, cls.S, cls.L = (cls.server.ports[r] for r in ("product", "stats", "log"))

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.content, ignore_errors=True)

    def setUp(self):
        self.control("reset")

    def control(self, action, data=None, expect=200, **params):
        query = "&".join("%s=%s" % (k, quote(str(v), safe="")) for k, v in params.items())
        status, _, reply = request(self.P, "/__control/%s?%s" % (action, query),
                                   method="PUT" if data is not None else "GET", body=data or b"")
        self.assertIn(" %d " % expect, status + " ", reply)
        return reply.decode("latin-1")

    def get(self, target, role="product", auth=False, version="HTTP/1.0", headers=()):
        port = {"product": self.P, "stats": self.S, "log": self.L}[role]
        headers = list(headers) + ([("Authorization", GOOD_AUTH)] if auth else [])
        return request(port, target, version, headers=headers)

    def log_lines(self, **params):
        return [line.split("\t") for line in self.control("log", **params).splitlines()]


class HttpVersionTests(ServerTestCase):
    def test_http10_request_gets_http10_reply_and_the_connection_closes(self):
        # WinInet's HTTP/1.0 requests ask for keep-alive; the reply must still be 1.0 and end at close.
        status, headers, body = self.get("/plain.txt", headers=[("Connection", "Keep-Alive")])
        self.assertTrue(status.startswith("HTTP/1.0 200"), status)
        self.assertEqual(headers.get("connection"), "close")
        self.assertEqual(int(headers["content-length"]), len(body))

    def test_http11_connection_serves_several_requests(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.P, timeout=5)
        try:
            conn.request("GET", "/plain.txt")
            first = conn.getresponse()
            first.read()
            sock = conn.sock
            conn.request("GET", "/f/body.bin")
            second = conn.getresponse()
            self.assertEqual(second.read(), BINARY)
            self.assertIs(conn.sock, sock, "second request needed a new connection")
            self.assertEqual((first.version, second.version), (11, 11))
        finally:
            conn.close()

    def test_missing_file_is_404_with_the_text_the_installer_looks_for(self):
        status, headers, body = self.get("/nothing/here.txt")
        self.assertTrue(status.startswith("HTTP/1.0 404"), status)
        self.assertIn(b"404 Not Found", body)


class AuthenticationTests(ServerTestCase):
    def test_stats_and_log_refuse_missing_or_wrong_credentials_with_a_basic_challenge(self):
        wrong = [(), [("Authorization", "Basic " + base64.b64encode(b"pebrook:wrong").decode())],
                 [("Authorization", "Basic not*base64")], [("Authorization", "Digest " + GOOD_AUTH[6:])]]
        for role in ("stats", "log"):
            for headers in wrong:
                with self.subTest(role=role, headers=headers):
                    status, reply_headers, _ = self.get("/app/ver.php?pid=known", role, headers=headers)
                    self.assertTrue(status.startswith("HTTP/1.0 401"), status)
                    self.assertRegex(reply_headers.get("www-authenticate", ""), r'^Basic realm=".+"$')

    def test_401_to_an_http11_request_is_http11(self):
        status, _, _ = self.get("/app/ver.php", "stats", version="HTTP/1.1")
        self.assertTrue(status.startswith("HTTP/1.1 401"), status)

    def test_right_credentials_get_the_version_reply_and_log_ok(self):
        self.assertEqual(self.get("/app/ver.php?project=melvora&pid=known", "stats", auth=True)[2],
                         b"OK|1.0.0|1.0.0")
        status, _, body = self.get("/app/receive/log.php?pid=known&sr=ABCDEF123456", "log", auth=True)
        self.assertTrue(status.startswith("HTTP/1.0 200"), status)
        self.assertEqual(body, b"OK")

    def test_product_port_needs_no_credentials(self):
        self.assertTrue(self.get("/plain.txt")[0].startswith("HTTP/1.0 200"))


class RequestLogTests(ServerTestCase):
    def test_entry_records_role_method_target_version_agent_authorization_and_time(self):
        before = time.time()
        self.get("/app/ver.php?project=melvora&pid=known", "stats", auth=True,
                 headers=[("User-Agent", "HTTP")])
        self.get("/plain.txt?a=1", version="HTTP/1.1", headers=[("User-Agent", "Mozilla"), ("Range", "bytes=5-")])
        after = time.time()
        entries = self.log_lines()
        self.assertEqual([e[:6] + e[7:] for e in entries], [
            ["stats", "GET", "/app/ver.php?project=melvora&pid=known", "HTTP/1.0", "HTTP", GOOD_AUTH, ""],
            ["product", "GET", "/plain.txt?a=1", "HTTP/1.1", "Mozilla", "", "bytes=5-"]])
        for e in entries:
            self.assertLessEqual(before - 0.01, float(e[6]))
            self.assertLessEqual(float(e[6]), after + 0.01)

    def test_control_requests_are_not_logged_and_role_filter_works(self):
        self.control("ping")
        self.get("/plain.txt")
        self.get("/app/receive/log.php?pid=x", "log")
        self.assertEqual([e[0] for e in self.log_lines()], ["product", "log"])
        self.assertEqual([e[2] for e in self.log_lines(role="log")], ["/app/receive/log.php?pid=x"])

    def test_a_tab_in_a_header_does_not_shift_columns(self):
        self.get("/plain.txt", headers=[("User-Agent", "a\tb")])
        (entry,) = self.log_lines()
        self.assertEqual(len(entry), 8)
        self.assertEqual(entry[4], "a b")

    def test_clear_log_empties_the_log(self):
        self.get("/plain.txt")
        self.control("clear-log")
        self.assertEqual(self.log_lines(), [])

    def test_log_file_gets_the_same_lines(self):
        self.get("/plain.txt?logfile-marker", headers=[("User-Agent", "Mozilla")])
        line = "\t".join(self.log_lines()[0])
        with open(self.log_file, encoding="latin-1") as f:
            self.assertIn(line + "\n", f.read())


class ContentTests(ServerTestCase):
    def test_query_string_does_not_break_static_lookup(self):
        self.assertEqual(self.get("/f/body.bin?x=1&y=2")[2], BINARY)

    def test_php_folder_answers_per_pid_with_default_fallback(self):
        self.assertTrue(self.get("/app/setup/setup.php?pid=p1")[2].startswith(b"/A/a.exe|"))
        status, _, body = self.get("/app/setup/setup.php?pid=unknown")
        self.assertTrue(status.startswith("HTTP/1.0 404"), status)
        self.assertEqual(body, b"404 Not Found")
        self.assertEqual(self.get("/app/ver.php?project=melvora&pid=nobody", "stats", auth=True)[2],
                         b"OK|9.9.9|9.9.8")

    def test_paths_cannot_leave_the_role_folder(self):
        for target in ("/../secret.txt", "/%2e%2e/secret.txt", "/app/setup/setup.php?pid=../../../secret"):
            with self.subTest(target=target):
                status, _, body = self.get(target)
                self.assertTrue(status.startswith("HTTP/1.0 404"), status)
                self.assertNotIn(b"must not be served", body)

    def test_utf8_source_is_served_as_cp949_with_crlf_and_no_trailing_break(self):
        self.assertEqual(self.get("/hello.txt")[2], "안녕\r\n하세요".encode("cp949"))

    def test_placeholders_are_replaced_in_text_replies_only(self):
        P, S, L = self.P, self.S, self.L
        self.assertEqual(self.get("/plain.txt")[2],
                         b"product=127.0.0.1:%d stats=127.0.0.1:%d log=127.0.0.1:%d" % (P, S, L))
        self.assertEqual(self.get("/page.html")[2], b"<a href=\"http://127.0.0.1:%d/x\">x</a>" % P)
        self.assertIn(b"http://127.0.0.1:%d/a.exe" % P, self.get("/app/setup/setup.php?pid=p1")[2])
        self.assertEqual(self.get("/data.bin")[2], b"bin {PRODUCT}")
        self.control("put", b"x{PRODUCT}", path="/o.php")
        self.control("put", b"x{PRODUCT}", path="/o.exe")
        self.assertEqual(self.get("/o.php?pid=1")[2], b"x127.0.0.1:%d" % P)
        self.assertEqual(self.get("/o.exe")[2], b"x{PRODUCT}")

    def test_multi_chunk_file_is_served_whole(self):
        expected = (Path(self.content) / "product/big/three.bin").read_bytes()
        status, headers, body = self.get("/big/three.bin")
        self.assertEqual(int(headers["content-length"]), len(expected))
        self.assertTrue(body == expected, "served bytes differ from the file")

    def test_a_range_is_served_from_where_it_starts_while_the_body_stays_the_same(self):
        _, headers, _ = self.get("/f/body.bin")
        self.assertEqual(headers["accept-ranges"], "bytes")
        tag = headers["etag"]
        status, headers, body = self.get("/f/body.bin", headers=[("Range", "bytes=1000-"), ("If-Range", tag)])
        self.assertEqual((status.split()[1], headers["content-range"], headers["content-length"], body),
                         ("206", "bytes 1000-1023/1024", "24", BINARY[1000:]))
        self.assertEqual(self.get("/f/body.bin", headers=[("Range", "bytes=10-19")])[2], BINARY[10:20])
        status, _, body = self.get("/f/body.bin", headers=[("Range", "bytes=10-"), ("If-Range", '"changed"')])
        self.assertEqual((status.split()[1], body), ("200", BINARY))
        status, headers, _ = self.get("/f/body.bin", headers=[("Range", "bytes=1024-")])
        self.assertEqual((status.split()[1], headers["content-range"]), ("416", "bytes */1024"))
        self.control("put", b"other", path="/f/body.bin")
        self.assertNotEqual(self.get("/f/body.bin")[1]["etag"], tag)

    def test_validators_change_the_version_a_reply_names_and_what_a_range_is_checked_against(self):
        ranged = lambda *h: self.get("/f/body.bin", headers=[("Range", "bytes=1000-")] + list(h))
        # A weak tag never matches an If-Range: the whole body.
        self.control("validators", path="/f/body.bin", etag='W/"w1"')
        status, headers, _ = ranged(("If-Range", 'W/"w1"'))
        self.assertEqual((status.split()[1], headers["etag"]), ("200", 'W/"w1"'))
        # No tag and a date two minutes old: the date is the validator.
        self.control("validators", path="/f/body.bin", etag="-", modified="120")
        _, headers, _ = self.get("/f/body.bin")
        self.assertNotIn("etag", headers)
        date = headers["last-modified"]
        self.assertEqual(ranged(("If-Range", date))[0].split()[1], "206")
        self.assertEqual(ranged(("If-Range", "Mon, 01 Jan 2001 00:00:00 GMT"))[0].split()[1], "200")
        # A changed file behind a server that ignores If-Range: a 206 naming another version.
        self.control("validators", path="/f/body.bin", etag='"v1"', partial_etag='"v2"')
        status, headers, body = ranged(("If-Range", '"v1"'))
        self.assertEqual((status.split()[1], headers["etag"], body), ("206", '"v2"', BINARY[1000:]))
        self.assertEqual(self.get("/f/body.bin")[1]["etag"], '"v1"')
        self.control("reset")
        self.assertTrue(self.get("/f/body.bin")[1]["etag"].startswith('"f-'))
        self.control("validators", expect=400, path="/f/body.bin", modified="soon")

    def test_make_file_serves_the_documented_pattern(self):
        self.control("make-file", path="/bench/big.bin", size=256 * 1024 * 1024)
        with socket.create_connection(("127.0.0.1", self.P), timeout=5) as s:
            s.sendall(b"GET /bench/big.bin HTTP/1.1\r\nHost: x\r\n\r\n")
            data = b""
            while b"\r\n\r\n" not in data or len(data.partition(b"\r\n\r\n")[2]) < 600_000:
                piece = s.recv(65536)
                self.assertTrue(piece, "connection closed early")
                data += piece
        _, headers, body = parse(data)
        self.assertEqual(headers["content-length"], str(256 * 1024 * 1024))
        self.assertEqual(body[:600_000], bytes(i % 251 for i in range(600_000)))


class OverlayTests(ServerTestCase):
    def test_put_with_query_matches_only_that_query_and_beats_a_plain_put(self):
        self.control("put", b"for p7", path="/app/setup/setup.php?pid=p7")
        self.control("put", b"any pid", path="/app/setup/setup.php")
        self.assertEqual(self.get("/app/setup/setup.php?pid=p7")[2], b"for p7")
        self.assertEqual(self.get("/app/setup/setup.php?pid=p1")[2], b"any pid")
        self.assertEqual(self.get("/app/setup/setup.php")[2], b"any pid")

    def test_put_is_per_role(self):
        self.control("put", b"OK|2.0.0|2.0.0", path="/app/ver.php", role="stats")
        self.assertEqual(self.get("/app/ver.php?pid=known", "stats", auth=True)[2], b"OK|2.0.0|2.0.0")
        self.assertTrue(self.get("/app/ver.php?pid=known")[0].startswith("HTTP/1.0 404"))

    def test_put_keeps_binary_and_empty_bodies(self):
        self.control("put", BINARY, path="/x.bin")
        self.assertEqual(self.get("/x.bin")[2], BINARY)
        self.control("put", b"", path="/app/setup/setup.php?pid=p1")
        status, headers, body = self.get("/app/setup/setup.php?pid=p1")
        self.assertTrue(status.startswith("HTTP/1.0 200"), status)
        self.assertEqual((headers.get("content-length"), body), ("0", b""))

    def test_put_takes_the_body_parameter_when_no_body_is_sent(self):
        status, _, _ = request(self.P, "/__control/put?path=/q.bin&body=a%00b%FF")
        self.assertTrue(status.startswith("HTTP/1.0 200"), status)
        self.assertEqual(self.get("/q.bin")[2], b"a\0b\xff")

    def test_delete_brings_back_the_file_and_fails_when_nothing_to_delete(self):
        self.control("put", b"overlay", path="/f/body.bin")
        self.control("delete", path="/f/body.bin")
        self.assertEqual(self.get("/f/body.bin")[2], BINARY)
        self.control("delete", expect=404, path="/f/body.bin")

    def test_reset_forgets_overlays_faults_and_log(self):
        self.control("put", b"overlay", path="/f/body.bin")
        self.control("fault", path="/plain.txt", kind="status", code=500)
        self.get("/plain.txt")
        self.control("reset")
        self.assertEqual(self.log_lines(), [])
        self.assertEqual(self.get("/f/body.bin")[2], BINARY)
        self.assertTrue(self.get("/plain.txt")[0].startswith("HTTP/1.0 200"))

    def test_bad_control_requests_are_refused(self):
        self.control("fault", expect=400, path="/x", kind="nonsense")
        self.control("fault", expect=400, path="/x", kind="short", bytes="many")
        self.control("put", b"x", expect=400, path="/x", role="nowhere")
        self.control("put", b"x", expect=400, path="no-slash")
        self.control("no-such-thing", expect=404)


class FaultTests(ServerTestCase):
    def fault(self, kind, path="/f/body.bin", **params):
        self.control("fault", path=path, kind=kind, **params)

    def raw_get(self, target="/f/body.bin", version="HTTP/1.1"):
        return exchange(self.P, ("GET %s %s\r\nHost: x\r\nConnection: close\r\n\r\n"
                                 % (target, version)).encode())

    def test_status_with_default_and_given_body(self):
        self.fault("status", code=404)
        status, headers, body = self.get("/f/body.bin")
        self.assertTrue(status.startswith("HTTP/1.0 404"), status)
        self.assertEqual(body, b"404 Not Found")
        self.fault("status", code=503, body="busy", retry_after=7)
        status, headers, body = self.get("/f/body.bin")
        self.assertEqual((status, headers["retry-after"], body), ("HTTP/1.0 503 Service Unavailable", "7", b"busy"))

    def test_redirect_chain_has_the_asked_number_of_hops_and_ends_at_target(self):
        self.fault("redirect", hops=3, to="/missing.txt")
        target, hops = "/f/body.bin", 0
        for _ in range(10):
            status, headers, _ = self.get(target)
            if not status.startswith("HTTP/1.0 302"):
                break
            hops += 1
            self.assertTrue(headers["location"].startswith("http://127.0.0.1:%d/" % self.P))
            target = headers["location"].split(str(self.P), 1)[1]
        self.assertEqual(hops, 3)
        self.assertEqual(target, "/missing.txt")
        self.assertTrue(status.startswith("HTTP/1.0 404"), status)

    def test_no_length_sends_the_body_without_content_length_and_closes(self):
        self.fault("no-length")
        _, headers, body = parse(self.raw_get(version="HTTP/1.1"))
        self.assertNotIn("content-length", headers)
        self.assertNotIn("transfer-encoding", headers)
        self.assertEqual(body, BINARY)

    def test_chunked_sends_valid_chunks_of_the_asked_size(self):
        self.fault("chunked", chunk=300)
        _, headers, body = parse(self.raw_get())
        self.assertEqual(headers.get("transfer-encoding"), "chunked")
        self.assertNotIn("content-length", headers)
        sizes, decoded = [], b""
        while True:
            line, _, body = body.partition(b"\r\n")
            size = int(line, 16)
            sizes.append(size)
            decoded, body = decoded + body[:size], body[size + 2:]
            if size == 0:
                break
        self.assertEqual(sizes, [300, 300, 300, 124, 0])
        self.assertEqual(decoded, BINARY)

    def test_short_declares_full_length_but_sends_fewer_bytes(self):
        self.fault("short", bytes=100)
        _, headers, body = parse(self.raw_get())
        self.assertEqual(headers["content-length"], "1024")
        self.assertEqual(body, BINARY[:100])

    def test_short_cuts_the_first_try_only_with_times_and_a_resumed_part_too_without(self):
        self.fault("short", bytes=100, times=1)
        self.assertEqual(parse(self.raw_get())[2], BINARY[:100])
        self.assertEqual(self.get("/f/body.bin", headers=[("Range", "bytes=100-")])[2], BINARY[100:])
        self.fault("short", bytes=10)
        _, headers, body = self.get("/f/body.bin", headers=[("Range", "bytes=1000-")])
        self.assertEqual((headers["content-length"], body), ("24", BINARY[1000:1010]))

    def test_bad_length_sends_the_given_text_as_content_length(self):
        self.fault("bad-length", value="-1")
        _, headers, body = parse(self.raw_get())
        self.assertEqual((headers["content-length"], body), ("-1", BINARY))

    def test_long_declares_less_than_it_sends(self):
        self.fault("long", declared=10)
        _, headers, body = parse(self.raw_get())
        self.assertEqual((headers["content-length"], body), ("10", BINARY))
        self.fault("long", extra=5)
        _, headers, body = parse(self.raw_get())
        self.assertEqual((headers["content-length"], body), ("1024", BINARY + b"XXXXX"))

    def test_trickle_spreads_the_body_over_time(self):
        self.control("put", b"0123456789" * 5, path="/t.bin")
        self.fault("trickle", path="/t.bin", chunk=10, interval=60)
        start = time.monotonic()
        _, headers, body = parse(self.raw_get("/t.bin"))
        elapsed = time.monotonic() - start
        self.assertEqual(body, b"0123456789" * 5)
        self.assertEqual(headers["content-length"], "50")
        self.assertGreaterEqual(elapsed, 0.23)   # four pauses of 60 ms between five pieces

    def test_zero_inserts_nul_bytes_and_adjusts_length(self):
        self.control("put", b"abcdef", path="/z.txt")
        self.fault("zero", path="/z.txt", at="0,3")
        _, headers, body = parse(self.raw_get("/z.txt"))
        self.assertEqual((headers["content-length"], body), ("8", b"\0abc\0def"))
        self.fault("zero", path="/z.txt", body="OK|1.0\x00|2")
        self.assertEqual(parse(self.raw_get("/z.txt"))[2], b"\0OK|1.0\0|2")

    def _read_until_reset(self, target, wait=0.0):
        with socket.create_connection(("127.0.0.1", self.P), timeout=5) as s:
            s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % target).encode())
            time.sleep(wait)
            data = b""
            for _ in range(10_000):
                try:
                    piece = s.recv(65536)
                except ConnectionResetError:
                    return data, True
                if not piece:
                    return data, False
                data += piece
        raise AssertionError("connection never ended")

    def test_reset_after_some_body_bytes_and_before_any_reply(self):
        self.fault("reset", bytes=10)
        data, was_reset = self._read_until_reset("/f/body.bin")
        self.assertTrue(was_reset, "connection ended with FIN, not RST")
        self.assertEqual(parse(data)[2], BINARY[:10])
        self.fault("reset")
        data, was_reset = self._read_until_reset("/f/body.bin")
        self.assertTrue(was_reset, "connection ended with FIN, not RST")
        self.assertEqual(data, b"")

    def test_reset_delivers_all_asked_bytes_to_a_slow_reader(self):
        # Megabytes still queued in the kernel when the reset is due must not be thrown away.
        self.control("make-file", path="/big.bin", size=16 * 1024 * 1024)
        self.fault("reset", path="/big.bin", bytes=6 * 1024 * 1024)
        data, was_reset = self._read_until_reset("/big.bin", wait=0.3)
        self.assertTrue(was_reset)
        self.assertEqual(len(parse(data)[2]), 6 * 1024 * 1024)

    def test_split_sends_the_body_in_separate_pieces(self):
        self.fault("split", pieces="5,5", pause=120)
        with socket.create_connection(("127.0.0.1", self.P), timeout=5) as s:
            s.sendall(b"GET /f/body.bin HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            data = b""
            while b"\r\n\r\n" not in data:
                piece = s.recv(65536)
                self.assertTrue(piece)
                data += piece
            reads = [len(data.partition(b"\r\n\r\n")[2])]
            for _ in range(100):
                piece = s.recv(65536)
                if not piece:
                    break
                reads.append(len(piece))
        self.assertEqual([n for n in reads if n], [5, 5, 1014])

    def test_delay_holds_the_reply_back(self):
        self.fault("delay", ms=300)
        start = time.monotonic()
        self.assertEqual(self.get("/f/body.bin")[2], BINARY)
        self.assertGreaterEqual(time.monotonic() - start, 0.29)

    def test_silent_sends_nothing_or_a_part_then_holds_the_connection_without_delaying_a_stop(self):
        def receive_until_quiet(port, quiet=1.0):
            s = socket.create_connection(("127.0.0.1", port), timeout=quiet)
            s.sendall(b"GET /f/body.bin HTTP/1.1\r\nHost: x\r\n\r\n")
            data = b""
            try:
                while True:
                    piece = s.recv(65536)
                    if not piece:
                        raise AssertionError("the server closed the connection")
                    data += piece
            except socket.timeout:
                return s, data

        self.fault("silent")
        s, data = receive_until_quiet(self.P)
        s.close()
        self.assertEqual(data, b"")
        self.fault("silent", bytes=10)
        s, data = receive_until_quiet(self.P)
        s.close()
        status, headers, body = parse(data)
        self.assertTrue(status.startswith("HTTP/1.1 200"), status)
        self.assertEqual((headers["content-length"], body), ("1024", BINARY[:10]))

        # A held connection does not keep the server from stopping.
        server = Server(self.content)
        try:
            request(server.ports["product"], "/__control/fault?path=/f/body.bin&kind=silent")
            s, _ = receive_until_quiet(server.ports["product"], 0.3)
            server.proc.send_signal(signal.SIGTERM)
            self.assertEqual(server.proc.wait(5), 0)
            s.close()
        finally:
            server.stop()

    def test_times_limits_the_fault_and_clear_fault_ends_it(self):
        self.fault("status", code=500, times=2)
        codes = [self.get("/f/body.bin")[0].split()[1] for _ in range(3)]
        self.assertEqual(codes, ["500", "500", "200"])
        self.fault("status", code=500)
        self.control("clear-fault", path="/f/body.bin")
        self.assertEqual(self.get("/f/body.bin")[2], BINARY)

    def test_fault_with_query_matches_only_that_query(self):
        self.fault("status", path="/app/setup/setup.php?pid=p1", code=500)
        self.assertTrue(self.get("/app/setup/setup.php?pid=p1")[0].startswith("HTTP/1.0 500"))
        self.assertTrue(self.get("/app/setup/setup.php?pid=p2")[0].startswith("HTTP/1.0 404"))

    def test_fault_on_stats_comes_after_authentication_and_stays_on_its_role(self):
        self.fault("status", path="/app/ver.php", code=500, role="stats", times=1)
        self.assertTrue(self.get("/app/ver.php?pid=known", "stats")[0].startswith("HTTP/1.0 401"))
        self.assertTrue(self.get("/app/ver.php?pid=known", "log", auth=True)[0].startswith("HTTP/1.0 200"))
        self.assertTrue(self.get("/app/ver.php?pid=known", "stats", auth=True)[0].startswith("HTTP/1.0 500"))
        self.assertEqual(self.get("/app/ver.php?pid=known", "stats", auth=True)[2], b"OK|1.0.0|1.0.0")


class ControlAndLifetimeTests(ServerTestCase):
    def test_ports_reply_matches_port_file(self):
        self.assertEqual(self.control("ports"), "product %d\nstats %d\nlog %d\n" % (self.P, self.S, self.L))
        self.assertEqual(self.server.port_file_text, "product=%d\nstats=%d\nlog=%d\n" % (self.P, self.S, self.L))

    def test_control_api_lives_on_the_product_port_only(self):
        status, _, body = self.get("/__control/reset", "stats", auth=True)
        self.assertTrue(status.startswith("HTTP/1.0 404"), status)

    def test_server_exits_by_itself_after_max_seconds(self):
        server = Server(None, "--max-seconds", "0.5")
        try:
            self.assertEqual(server.proc.wait(5), 0)
        finally:
            server.stop()

    def test_sigterm_stops_the_server_cleanly(self):
        server = Server(None)
        try:
            server.proc.send_signal(signal.SIGTERM)
            self.assertEqual(server.proc.wait(5), 0)
        finally:
            server.stop()

    def test_explicit_ports_default_to_consecutive_numbers(self):
        for _ in range(20):     # a free base port with two free neighbours
            probe_port = _free_port()
            if all(_is_free(probe_port + i) for i in (1, 2)):
                break
        server = Server(None, "--port", str(probe_port))
        try:
            self.assertEqual(server.ports, {"product": probe_port, "stats": probe_port + 1, "log": probe_port + 2})
        finally:
            server.stop()


class TlsModeTests(unittest.TestCase):
    """HTTPS mode: every port speaks TLS, the addresses the server writes are https ones
    for the given host name, and a client that refuses the certificate is counted."""

    def test_https_requests_redirects_placeholders_and_refused_handshakes(self):
        folder = Path(tempfile.mkdtemp(prefix="pubsrv-tls-"))
        self.addCleanup(shutil.rmtree, folder, True)
        make_content(folder / "content")
        cert, key = folder / "server.pem", folder / "server.key"
        made = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                               "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost",
                               "-keyout", str(key), "-out", str(cert)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(made.returncode, 0)
        server = Server(folder / "content", "--tls-cert", str(cert), "--tls-key", str(key),
                        "--host-name", "localhost")
        self.addCleanup(server.stop)
        trusting = ssl.create_default_context(cafile=str(cert))

        def get(role, target, headers=None, context=trusting):
            connection = http.client.HTTPSConnection("localhost", server.ports[role], context=context, timeout=5)
            try:
                connection.request("GET", target, headers=headers or {})
                reply = connection.getresponse()
                return reply.status, reply.getheader("Location"), reply.read()
            finally:
                connection.close()

        status, _, body = get("product", "/plain.txt")
        self.assertEqual(status, 200)
        self.assertEqual(body, b"product=localhost:%d stats=localhost:%d log=localhost:%d" % (
            server.ports["product"], server.ports["stats"], server.ports["log"]))
        status, _, body = get("stats", "/app/ver.php?project=melvora&pid=known", {"Authorization": GOOD_AUTH})
        self.assertEqual((status, body), (200, b"OK|1.0.0|1.0.0"))
        self.assertEqual(get("product", "/__control/fault?path=/moved&kind=redirect&to=/plain.txt")[0], 200)
        status, location, _ = get("product", "/moved")
        self.assertEqual((status, location), (302, "https://localhost:%d/plain.txt" % server.ports["product"]))

        # Plain http, a client that does not trust the certificate, and one that hangs up
        # after the handshake (as Wine does when the certificate fails its check) get
        # nothing, reach neither the content nor the request log, and are counted.
        self.assertNotIn(b"HTTP/", exchange(server.ports["log"], b"GET /x HTTP/1.0\r\n\r\n"))
        with self.assertRaises(ssl.SSLCertVerificationError):
            get("product", "/plain.txt", context=ssl.create_default_context())   # the system's trust only
        with socket.create_connection(("127.0.0.1", server.ports["product"]), timeout=5) as raw:
            with trusting.wrap_socket(raw, server_hostname="localhost"):
                pass
        # The server counts a connection as it ends, on the connection's own thread.
        deadline = time.monotonic() + 5
        while get("product", "/__control/tls-refused")[2] != b"product 2\nstats 0\nlog 1\n":
            self.assertLess(time.monotonic(), deadline, get("product", "/__control/tls-refused")[2])
            time.sleep(0.05)
        status, _, log = get("product", "/__control/log")
        self.assertEqual([line.split("\t")[2] for line in log.decode().splitlines()],
                         ["/plain.txt", "/app/ver.php?project=melvora&pid=known", "/moved"])


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _is_free(port):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


class DemoContentTests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server(DEMO)
        cls.P, cls.S = cls.server.ports["product"], cls.server.ports["stats"]

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def test_terms_of_use_are_korean_cp949_text(self):
        status, _, body = request(self.P, "/Lisence/melvora_licence.txt", headers=[("User-Agent", "Mozilla")])
        self.assertTrue(status.startswith("HTTP/1.0 200"), status)
        text = body.decode("cp949")          # raises if the bytes are not CP949
        self.assertGreater(sum("\uac00" <= c <= "\ud7a3" for c in text), 300)
        self.assertIn("\r\n\r\n", text)
        self.assertNotIn("\n", text.replace("\r\n", ""))

    def test_component_list_has_a_mandatory_and_an_optional_row_pointing_at_this_server(self):
        _, _, body = request(self.P, "/app/setup/setup.php?pid=demo", headers=[("User-Agent", "Mozilla")])
        rows = [row.split("|") for row in body.decode("cp949").split("^")]
        self.assertEqual([len(r) for r in rows], [6, 6])
        self.assertEqual([r[5] for r in rows], ["1", "0"])
        for check_path, installer, name, description, page, _ in rows:
            self.assertRegex(check_path, r"^/MELVORA [A-Za-z]+/[^/]+\.exe$")
            self.assertTrue(installer.startswith("http://127.0.0.1:%d/files/" % self.P), installer)
            self.assertTrue(any("\uac00" <= c <= "\ud7a3" for c in name + description))
            page_status = request(self.P, page.split(str(self.P), 1)[1])[0]
            self.assertTrue(page_status.startswith("HTTP/1.0 200"), page)
        self.assertTrue(request(self.P, "/app/setup/setup.php?pid=other")[0].startswith("HTTP/1.0 404"))

    def test_agreement_page_and_version_reply(self):
        status, headers, body = request(self.P, "/Lisence/agree.php?w=400")
        self.assertEqual(headers["content-type"], "text/html")
        self.assertIn(b"charset=euc-kr", body)
        body.decode("cp949")
        _, _, version = request(self.S, "/app/ver.php?project=melvora&pid=demo",
                                headers=[("Authorization", GOOD_AUTH)])
        self.assertEqual(version, b"OK|1.0.3|1.0.1")


if __name__ == "__main__":
    unittest.main()
