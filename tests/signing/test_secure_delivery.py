"""A build for https that checks the signer of what it downloads.

One build configured with PUBLISHER_SCHEME=https and DOWNLOAD_SIGNER, for the loopback
publisher in its HTTPS mode at localhost:PORT (Wine matches a certificate's DNS names,
not IP addresses). Wine checks server certificates against the host's trust bundle, so
the test's certificate authority is trusted only inside a private mount namespace in
which Wine and its wineserver run (WineEnv.trust_ca); the machine's bundle is not
touched. The wizard is walked through by demo_walk.exe; the stand-in programs it
installs note their starts in a file.
"""

import hashlib
import http.client
import http.server
import re
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

from test_signing import PORT, REPO, ROOT, code_section_offset, make_certificate, run

sys.path.insert(0, str(REPO / "tools"))
from winenv import WineEnv, toolchain_file, win_build_dir  # noqa: E402

SIGNER = "MELVORA Test Publisher"
PARTNER = "sec"
LINK_NAME = "무료음악감상.lnk"
PRODUCT_KEY = r"HKCU\Software\MELVORA"
RUN_KEY = r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\MELVORA"
# Components offered, by the folder they install into: (installer, what is served).
COMPONENTS = {
    "MELVORA Good": ("GoodSetup.exe", "signed"),
    "MELVORA Other": ("OtherSetup.exe", "other"),
    "MELVORA Unsigned": ("UnsignedSetup.exe", "unsigned"),
    "MELVORA Changed": ("ChangedSetup.exe", "changed"),
    "MELVORA Plain": ("PlainSetup.exe", "signed"),   # offered at an http address
    "MELVORA Renewed": ("RenewedSetup.exe", "renewed"),   # a new certificate for the same key
    "MELVORA Rekeyed": ("RekeyedSetup.exe", "rekeyed"),   # the same name on another key
    "MELVORA Prefix": ("PrefixSetup.exe", "prefix"),      # the name with " Ltd" after it
}
KEPT = {"signed", "renewed"}


def openssl(log_folder, name, *args):
    rc, out = run(["openssl", *args], log_folder / f"{name}.log", 60)
    if rc != 0:
        raise RuntimeError(out)


def make_tls_certificates(folder):
    """A throw-away authority and a server certificate for localhost that it issued."""
    ca, ca_key = folder / "tls-ca.pem", folder / "tls-ca.key"
    openssl(folder, "tls-ca", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
            "-subj", "/CN=MELVORA Test TLS Authority", "-keyout", ca_key, "-out", ca,
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    key, request, cert = folder / "tls-server.key", folder / "tls-server.csr", folder / "tls-server.pem"
    openssl(folder, "tls-request", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
            "-keyout", key, "-out", request)
    extensions = folder / "tls-server.ext"
    extensions.write_text("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
                          "extendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost\n")
    openssl(folder, "tls-server", "x509", "-req", "-in", request, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
            "-days", "2", "-extfile", extensions, "-out", cert)
    return ca, cert, key


class HttpsPublisher:
    """tools/publisher_server.py in its HTTPS mode on PORT, PORT+1 and PORT+2."""

    def __init__(self, folder, content, cert, key, ca):
        self.folder = folder
        port_file = folder / "publisher.ports"
        self.log = open(folder / "publisher.log", "wb")
        self.proc = subprocess.Popen([sys.executable, str(REPO / "tools" / "publisher_server.py"),
                                      "--content", str(content), "--port", str(PORT), "--port-file", str(port_file),
                                      "--tls-cert", str(cert), "--tls-key", str(key), "--host-name", "localhost",
                                      "--max-seconds", "1800", "--quiet"],
                                     stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.context = ssl.create_default_context(cafile=str(ca))
        deadline = time.time() + 15
        while not port_file.exists():
            if self.proc.poll() is not None or time.time() > deadline:
                self.stop()
                raise RuntimeError(f"the publisher server did not start, see {folder / 'publisher.log'}")
            time.sleep(0.05)

    def control(self, action):
        connection = http.client.HTTPSConnection("localhost", PORT, context=self.context, timeout=10)
        try:
            connection.request("GET", "/__control/" + action)
            return connection.getresponse().read().decode("latin-1")
        finally:
            connection.close()

    def requests(self):
        """(role, path) of every request the servers answered."""
        return [tuple(line.split("\t")[:3:2]) for line in self.control("log").splitlines()]

    def refused_connections(self):
        """Per role, the TLS connections that ended before any request."""
        return {role: int(n) for role, n in (line.split() for line in self.control("tls-refused").splitlines())}

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


class PlainHttpServer:
    """A plain http server on a free loopback port that answers every GET with one body and
    remembers the paths it was asked for."""

    def __init__(self, body):
        self.asked = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.asked.append(self.path)
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(10)


class SecureDelivery(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        ROOT.mkdir(parents=True, exist_ok=True)
        cls.tmp = Path(tempfile.mkdtemp(prefix="secure-delivery-", dir=ROOT))
        cls.server = cls.wine = None
        try:
            cls.build = win_build_dir(ROOT, "https-win")
            cls.make_signers()
            cls.build_https_setup()
            cls.ca, cert, key = make_tls_certificates(cls.tmp)
            content = cls.make_content()
            cls.server = HttpsPublisher(cls.tmp, content, cert, key, cls.ca)
            cls.wine = WineEnv(ROOT, display=None)
            cls.wine.prepare(need_display=True)
            cls.setup = cls.tmp / f"Setup_{PARTNER}.exe"
            shutil.copyfile(cls.build / "Setup.exe", cls.setup)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.wine:
            cls.clean_machine()
            cls.wine.close()
        if cls.server:
            cls.server.stop()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    @classmethod
    def make_signers(cls):
        """Code-signing certificates by kind of payload, and the keys the build pins: the
        configured signer's and an unrelated one."""
        cls.signers = {"signed": make_certificate(cls.tmp, "signer", f"/CN={SIGNER}", "codeSigning"),
                       "other": make_certificate(cls.tmp, "other", "/CN=Another Publisher", "codeSigning"),
                       "rekeyed": make_certificate(cls.tmp, "rekeyed", f"/CN={SIGNER}", "codeSigning")}
        # On the signer's own key: a renewed certificate, and one whose name only starts
        # with the signer's, which only the name check can refuse.
        key = cls.signers["signed"][1]
        for kind, subject in (("renewed", f"/CN={SIGNER}"), ("prefix", f"/CN={SIGNER} Ltd")):
            openssl(cls.tmp, kind, "req", "-x509", "-new", "-key", key, "-days", "2", "-subj", subject,
                    "-addext", "basicConstraints=critical,CA:FALSE", "-addext", "keyUsage=critical,digitalSignature",
                    "-addext", "extendedKeyUsage=critical,codeSigning", "-out", cls.tmp / f"{kind}.pem")
            cls.signers[kind] = (cls.tmp / f"{kind}.pem", key)

        def key_sha256(cert):
            openssl(cls.tmp, "pubkey", "x509", "-in", cert, "-noout", "-pubkey", "-out", cls.tmp / "pub.pem")
            openssl(cls.tmp, "pubkey-der", "pkey", "-pubin", "-in", cls.tmp / "pub.pem", "-outform", "der",
                    "-out", cls.tmp / "pub.der")
            return hashlib.sha256((cls.tmp / "pub.der").read_bytes()).hexdigest()
        cls.pins = f"{key_sha256(cls.signers['other'][0]).upper()}, {key_sha256(cls.signers['signed'][0])}"

    @classmethod
    def build_https_setup(cls):
        log_path = ROOT / "https-build.log"
        rc, out = run(["cmake", "-S", REPO, "-B", cls.build,
                       f"-DCMAKE_TOOLCHAIN_FILE={toolchain_file()}", "-DMELVORA_TESTS=ON",
                       "-DPUBLISHER_SCHEME=https", f"-DDOWNLOAD_SIGNER={SIGNER}", f"-DDOWNLOAD_SIGNER_SHA256={cls.pins}",
                       f"-DPRODUCT_HOST=localhost:{PORT}", f"-DSTATS_HOST=localhost:{PORT + 1}",
                       f"-DLOG_HOST=localhost:{PORT + 2}"], log_path, 300)
        if rc == 0:
            rc, out = run(["cmake", "--build", cls.build, "-j", "2", "--target", "Setup", "stand_in", "demo_walk"],
                          log_path, 1800)
        if rc != 0:
            raise RuntimeError(f"the https build failed, see {log_path}:\n{out[-3000:]}")

    @classmethod
    def make_content(cls):
        """The publisher's content for the partner: every program the stand-in, signed
        by the configured signer unless the case says otherwise."""
        stand_in = cls.build / "programs" / "stand_in.exe"
        payloads = {"unsigned": stand_in}
        for kind, (cert, key) in cls.signers.items():
            payloads[kind] = cls.tmp / f"{kind}.exe"
            rc, out = run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", stand_in,
                           "-out", payloads[kind]], cls.tmp / f"sign-{kind}.log", 120)
            if rc != 0:
                raise RuntimeError(out)
        data = bytearray(payloads["signed"].read_bytes())
        data[code_section_offset(data) + 0x100] ^= 0xFF
        payloads["changed"] = cls.tmp / "changed.exe"
        payloads["changed"].write_bytes(data)
        cls.payloads = {kind: path.read_bytes() for kind, path in payloads.items()}

        content = cls.tmp / "content"
        product = content / "product"
        versions = product / "app" / "ver_file" / PARTNER
        files = {
            product / "Lisence" / "melvora_licence.txt": b"terms of use",
            product / "Lisence" / "agree.php": b"<html><body>agree</body></html>",
            product / "pages" / "page.html": b"<html><body>component</body></html>",
            product / "app" / "ver_file" / "uninstall" / "Uninstall.exe": cls.payloads["signed"],
            product / "app" / "ver_file" / "uninstall" / "Uninstall.ini": b"[uninstall]\r\nname=MELVORA\r\n",
            versions / "1.0.3" / "MELVORA.exe": cls.payloads["signed"],
            versions / "1.0.3" / "ZUZade.dll": cls.payloads["signed"],
            versions / "1.0.1" / "VIVoreder.exe": cls.payloads["other"],
            versions / "1.0.3" / "RAZezazi.exe": cls.payloads["unsigned"],
            content / "stats" / "app" / "ver.php" / "default.txt": b"OK|1.0.3|1.0.1",
        }
        rows = []
        for folder, (installer, kind) in COMPONENTS.items():
            scheme = "http" if folder == "MELVORA Plain" else "https"
            files[product / "files" / installer] = cls.payloads[kind]
            rows.append(f"/{folder}/installed.txt|{scheme}://{{PRODUCT}}/files/{installer}|{folder}|{kind}|"
                        f"{scheme}://{{PRODUCT}}/pages/page.html|0")
        files[product / "app" / "setup" / "setup.php" / f"{PARTNER}.txt"] = "^".join(rows).encode()
        for path, data in files.items():
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        return content

    # -- the machine under Wine -------------------------------------------------------

    @classmethod
    def clean_machine(cls):
        folders = cls.wine.folders()
        for folder in ["MELVORA", *COMPONENTS]:
            shutil.rmtree(folders["program_files"] / folder, ignore_errors=True)
        shutil.rmtree(folders["common_programs"] / "MELVORA", ignore_errors=True)
        for link in (folders["desktop"] / LINK_NAME, folders["quick_launch"] / LINK_NAME):
            link.unlink(missing_ok=True)
        for command in (["delete", PRODUCT_KEY, "/f"], ["delete", RUN_KEY, "/v", "MELVORA", "/f"],
                        ["delete", UNINSTALL_KEY, "/f"]):
            cls.wine.run_quiet(["wine", "reg", *command], timeout=60)

    def reg_text(self, key, name):
        out = self.tmp / "reg-query.log"
        if self.wine.run_quiet(["wine", "reg", "query", key, "/v", name], 60, out) != 0:
            return None
        found = re.search(rf"^\s*{re.escape(name)}\s+REG_SZ[ \t]*(.*?)\r?$", out.read_text(errors="replace"), re.M)
        return found.group(1) if found else None

    def install_folder(self, name="MELVORA"):
        return self.wine.folders()["program_files"] / name

    def walk(self, name, *options):
        """Walks the wizard from start to finish (or as demo_walk's options say); returns
        what demo_walk said and the programs started meanwhile, as folder\\file."""
        self.server.control("clear-log")
        started = self.tmp / f"{name}-started.txt"
        pictures = self.tmp / f"{name}-pages"
        pictures.mkdir()
        walker = self.build / "programs" / "demo_walk.exe"
        out = self.tmp / f"{name}-walk.log"
        proc = self.wine.start(["wine", str(walker), self.wine.windows_path(self.setup),
                                self.wine.windows_path(pictures), *options], out,
                               {"MELVORA_STARTED_LOG": self.wine.windows_path(started)})
        try:
            rc = proc.wait(timeout=300)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            rc = "timeout"
        said = out.read_text(errors="replace")
        self.assertEqual(rc, 0, said)
        # The player is started last, as the wizard ends; give it a moment to write.
        time.sleep(2)
        lines = started.read_text(errors="replace").splitlines() if started.exists() else []
        return said, ["\\".join(line.split("\\")[-2:]).lower() for line in lines]

    # -- the tests ----------------------------------------------------------------------

    def test_setup_exe_addresses_only_https(self):
        program = (self.build / "Setup.exe").read_bytes()
        self.assertIn(b"https://localhost:%d/Lisence/melvora_licence.txt\0" % PORT, program)
        self.assertIn(b"https://localhost:%d/Lisence/agree.php?w=400\0" % PORT, program)
        self.assertNotIn(b"http://localhost", program)
        hosts = (self.build / "generated" / "PublisherHosts.h").read_text()
        self.assertIn("#define MELVORA_PUBLISHER_HTTPS 1\n", hosts)
        self.assertIn(f"#define MELVORA_STATS_PORT {PORT + 1}\n", hosts)
        self.assertIn(f'#define MELVORA_DOWNLOAD_SIGNER L"{SIGNER}"\n', hosts)
        # The signer check's DLLs too are bound from the system folder, not at load time.
        sys.path.insert(0, str(REPO / "tests" / "build"))
        from test_setup_exe import KNOWN_DLLS, PeImage
        self.assertLessEqual({name.lower() for name in PeImage(program).imported_dlls()}, KNOWN_DLLS)

    def test_https_install_keeps_and_starts_only_programs_of_the_configured_signer(self):
        self.wine.trust_ca(self.ca, self.tmp)
        self.wine.start_wineserver()
        self.clean_machine()
        # An earlier installation's updater, which a download that fails its check must leave.
        earlier = b"MZ the earlier updater"
        self.install_folder().mkdir(parents=True)
        (self.install_folder() / "VIVoreder.exe").write_bytes(earlier)
        self.wine.run_quiet(["wine", "reg", "add", PRODUCT_KEY, "/v", "updater_ver", "/d", "0.9.9", "/f"], 60)
        # The uninstaller's settings are sent on to a plain http address: not one byte goes
        # there. The helper library is sent round two https redirects, which are followed.
        plain = PlainHttpServer(b"[uninstall]\r\nname=not over TLS\r\n")
        self.addCleanup(plain.close)
        self.server.control("fault?path=/app/ver_file/uninstall/Uninstall.ini&kind=redirect"
                            f"&to=http%3A%2F%2Flocalhost%3A{plain.port}%2FUninstall.ini")
        self.addCleanup(self.server.control, "clear-fault?path=/app/ver_file/uninstall/Uninstall.ini")
        dll = f"/app/ver_file/{PARTNER}/1.0.3/ZUZade.dll"
        self.server.control(f"fault?path={dll}&kind=redirect&hops=2&times=1&to={dll.replace('/', '%2F')}")

        said, started = self.walk("trusted")
        self.assertIn("terms of use: 12 bytes", said)
        self.assertIn("exit code 1", said)   # the player, but not every component
        self.assertIn("options: %d items" % (3 + len(COMPONENTS)), said)

        # The four cases, as component installers: only the configured signer's is started,
        # from the setup's private folder (<its folder>\<n>\<installer>); nothing is
        # written into a component's own folder.
        for folder, (installer, kind) in COMPONENTS.items():
            with self.subTest(component=folder):
                self.assertFalse(self.install_folder(folder).exists())
                expect_kept = kind in KEPT and folder != "MELVORA Plain"
                from_private = [entry for entry in started
                                if entry.split("\\")[0].isdigit() and entry.endswith("\\" + installer.lower())]
                self.assertEqual(len(from_private), 1 if expect_kept else 0, started)
        # The installer offered at an http address was not even asked for.
        self.assertNotIn(("product", "/files/PlainSetup.exe"), self.server.requests())

        # The fixed files: the signed ones arrive (the .dll too), the updater signed by
        # another publisher leaves the earlier one and its version, the unsigned side
        # program is not kept and its version not written, the settings sent to http are
        # not kept either.
        folder = self.install_folder()
        self.assertEqual(sorted(p.name for p in folder.iterdir()),
                         ["MELVORA.exe", "VIVoreder.exe", "ZUZade.dll", "uninstall.exe"])
        self.assertEqual((folder / "MELVORA.exe").read_bytes(), self.payloads["signed"])
        self.assertEqual((folder / "ZUZade.dll").read_bytes(), self.payloads["signed"])
        self.assertEqual((folder / "VIVoreder.exe").read_bytes(), earlier)
        self.assertEqual(self.reg_text(PRODUCT_KEY, "exe_ver"), "1.0.3")
        self.assertEqual(self.reg_text(PRODUCT_KEY, "updater_ver"), "0.9.9")
        self.assertIsNone(self.reg_text(PRODUCT_KEY, "dellog_ver"))
        self.assertIn("melvora\\melvora.exe", started)
        self.assertEqual(len(started), 3, started)
        self.assertEqual(plain.asked, [])
        self.assertEqual([path for _, path in self.server.requests() if "ZUZade" in path or "__hop" in path][-3:],
                         [dll, "/__hop?left=1&to=%2Fapp%2Fver_file%2Fsec%2F1.0.3%2FZUZade.dll&code=302", dll])

        # Every server was reached, over TLS, with the reports' credentials.
        roles = {role for role, _ in self.server.requests()}
        self.assertEqual(roles, {"product", "stats", "log"})
        self.assertEqual(self.server.refused_connections(), {"product": 0, "stats": 0, "log": 0})

    def test_server_whose_certificate_is_not_trusted_fails_as_a_refused_connection(self):
        # Without the test's authority. Only the start: the terms text and the component
        # list are the first requests, and the wizard is cancelled before its browser
        # would load a page (under Wine the browser asks about a bad certificate itself).
        self.wine.forget_ca()
        self.wine.start_wineserver()
        said, _ = self.walk("untrusted", "--start-only")
        # As with no server at all: no terms text and only the fixed options; not one
        # request got through, and both connections were dropped after the handshake.
        self.assertIn("terms of use: 0 bytes", said)
        self.assertIn("options: 3 items", said)
        self.assertEqual(self.server.requests(), [])
        deadline = time.time() + 5   # the server counts a connection once it has ended
        while self.server.refused_connections()["product"] < 2 and time.time() < deadline:
            time.sleep(0.1)
        self.assertGreaterEqual(self.server.refused_connections()["product"], 2)


if __name__ == "__main__":
    unittest.main()
