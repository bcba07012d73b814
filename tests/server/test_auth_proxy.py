"""Wire-level tests of tools/auth_proxy.py, the loopback proxy that asks for Basic
credentials, in front of the loopback publisher server.

Run with: python3 -m unittest discover -s tests/server -v
"""

import base64
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from test_publisher_server import Server, exchange, parse

ROOT = Path(__file__).resolve().parents[2]
PROXY = ROOT / "tools" / "auth_proxy.py"


def basic(user, password):
    return "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode()).decode()


class Proxy:
    """An auth_proxy.py process on a free port."""

    def __init__(self, *extra):
        self.dir = tempfile.mkdtemp(prefix="proxy-")
        port_file = os.path.join(self.dir, "port")
        self.proc = subprocess.Popen([sys.executable, str(PROXY), "--port-file", port_file, "--max-seconds", "120",
                                      *extra], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(port_file):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("auth_proxy did not start")
            time.sleep(0.02)
        with open(port_file) as f:
            self.port = int(f.read().split("=")[1])

    def ask(self, target, version="HTTP/1.1", headers=()):
        lines = ["GET %s %s" % (target, version), "Host: 127.0.0.1"] + ["%s: %s" % h for h in headers]
        return parse(exchange(self.port, ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")))

    def log(self):
        return [line.split("\t") for line in self.ask("/__proxy/log")[2].decode().splitlines()]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
        shutil.rmtree(self.dir, ignore_errors=True)


class AuthProxyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server()
        cls.proxy = Proxy("--user", "kim", "--password", "s3cret", "--realm", "Office")
        cls.product = cls.server.ports["product"]

    @classmethod
    def tearDownClass(cls):
        cls.proxy.stop()
        cls.server.stop()

    def setUp(self):
        self.proxy.ask("/__proxy/clear-log")
        self.proxy.ask("/__proxy/credentials?user=kim&password=s3cret")
        exchange(self.product, b"GET /__control/reset HTTP/1.0\r\n\r\n")

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.product, path)

    def publisher_log(self):
        return parse(exchange(self.product, b"GET /__control/log HTTP/1.0\r\n\r\n"))[2].decode().splitlines()

    def test_without_or_with_wrong_credentials_the_reply_is_407_in_the_requests_version(self):
        for version in ("HTTP/1.0", "HTTP/1.1"):
            for headers in ((), (("Proxy-Authorization", basic("kim", "wrong")),),
                            (("Proxy-Authorization", "Digest x"),)):
                status, fields, body = self.proxy.ask(self.url("/a.txt"), version, headers)
                self.assertEqual(status, "%s 407 Proxy Authentication Required" % version)
                self.assertEqual(fields["proxy-authenticate"], 'Basic realm="Office"')
                self.assertEqual(body, b"407 Proxy Authentication Required")
        self.assertEqual(self.publisher_log(), [], "nothing reached the server")
        self.assertEqual([entry[2] for entry in self.proxy.log()], ["none", "wrong", "none"] * 2)

    def test_good_credentials_reach_the_server_in_origin_form_without_the_proxy_header(self):
        exchange(self.product, b"PUT /__control/put?path=/a.txt HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello")
        status, _, body = self.proxy.ask(self.url("/a.txt?x=1"), "HTTP/1.0",
                                         (("Proxy-Authorization", basic("kim", "s3cret")),
                                          ("Authorization", "Basic abc")))
        self.assertEqual((status.split(" ", 2)[1], body), ("200", b"hello"))
        fields = self.publisher_log()[0].split("\t")
        self.assertEqual(fields[2:4], ["/a.txt?x=1", "HTTP/1.0"])
        self.assertEqual(fields[5], "Basic abc", "the server's own credentials pass")
        self.assertEqual(self.proxy.log(), [["GET", self.url("/a.txt?x=1"), "good", "yes"]])

    def test_only_loopback_http_is_forwarded(self):
        good = (("Proxy-Authorization", basic("kim", "s3cret")),)
        for target in ("http://192.0.2.1:80/x", "http://example.com/x", "ftp://127.0.0.1:21/x"):
            self.assertEqual(self.proxy.ask(target, headers=good)[0].split()[1], "403", target)
        self.assertEqual([entry[3] for entry in self.proxy.log()], ["no"] * 3)


if __name__ == "__main__":
    unittest.main()
