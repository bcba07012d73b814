"""Signed builds of Setup.exe, Uninstall.exe and Setup's partner copies.

A throw-away self-signed certificate and a loopback timestamp server sign a real build;
osslsigncode judges the result and its partner copies, one copy runs under Wine, and the
build is shown refusing certificates it cannot sign with. The partner-copy script's id
checks need no build.
"""

import http.server
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
ROOT = Path(os.environ.get("MELVORA_BUILD_ROOT", REPO / "build")).resolve()
PORT = int(os.environ.get("MELVORA_TEST_PORT", "47180"))
COPIER = REPO / "tools" / "make_partner_copies.py"
sys.path.insert(0, str(REPO / "tools"))
from winenv import WineEnv, toolchain_file, win_build_dir  # noqa: E402

PASSWORD = "Melvora-p12-Test"
TSA_CONFIG = """\
[tsa]
default_tsa = tsa_config
[tsa_config]
serial = {serial}
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256
"""


def run(cmd, log_path, timeout, **kw):
    """Runs cmd with its output in log_path (never a pipe: Wine keeps pipes open)."""
    with open(log_path, "wb") as out:
        rc = subprocess.run([str(c) for c in cmd], stdout=out, stderr=subprocess.STDOUT,
                            stdin=subprocess.DEVNULL, timeout=timeout, **kw).returncode
    return rc, Path(log_path).read_text(errors="replace")


def make_certificate(folder, name, subject, usage):
    """A self-signed RSA 2048 certificate (name.pem) with its key (name.key)."""
    cert, key = folder / f"{name}.pem", folder / f"{name}.key"
    rc, out = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                   "-subj", subject, "-keyout", key, "-out", cert,
                   "-addext", "basicConstraints=critical,CA:FALSE",
                   "-addext", "keyUsage=critical,digitalSignature",
                   "-addext", f"extendedKeyUsage=critical,{usage}"], folder / f"{name}.log", 60)
    if rc != 0:
        raise RuntimeError(out)
    return cert, key


def make_pkcs12(folder, cert, key, password):
    p12 = folder / "signer.p12"
    rc, out = run(["openssl", "pkcs12", "-export", "-in", cert, "-inkey", key, "-out", p12,
                   "-passout", f"pass:{password}"], folder / "p12.log", 60)
    if rc != 0:
        raise RuntimeError(out)
    return p12


class LoopbackTimestampServer:
    """An RFC 3161 timestamp authority on 127.0.0.1, answering through `openssl ts -reply`."""

    def __init__(self, folder):
        self.folder = folder
        self.cert, self.key = make_certificate(folder, "tsa", "/CN=MELVORA Test Timestamps", "timeStamping")
        (folder / "tsa.serial").write_text("01\n")
        self.config = folder / "tsa.cnf"
        self.config.write_text(TSA_CONFIG.format(serial=folder / "tsa.serial"))
        self.lock = threading.Lock()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                length = int(self.headers.get("Content-Length", "0"))
                body = server.answer(self.rfile.read(length))
                self.send_response(200 if body else 500)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def answer(self, query):
        with self.lock:
            q, r = self.folder / "tsa.query", self.folder / "tsa.reply"
            q.write_bytes(query)
            r.unlink(missing_ok=True)
            run(["openssl", "ts", "-reply", "-config", self.config, "-queryfile", q, "-signer", self.cert,
                 "-inkey", self.key, "-out", r], self.folder / "tsa.log", 60)
            return r.read_bytes() if r.exists() else b""

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(10)


def verify(path, log_path, *trust):
    """osslsigncode verify, trusting the given certificates (-CAfile, -TSA-CAfile)."""
    cmd = ["osslsigncode", "verify", "-in", path, "-ignore-crl"]
    for option, cert in zip(("-CAfile", "-TSA-CAfile"), trust):
        cmd += [option, cert]
    return run(cmd, log_path, 120)


def digests(report):
    """The digest stored in the signature and the one osslsigncode calculated from the file."""
    stored = re.search(r"Current message digest\s*:\s*([0-9A-F]+)", report)
    calculated = re.search(r"Calculated message digest\s*:\s*([0-9A-F]+)", report)
    return (stored.group(1) if stored else None), (calculated.group(1) if calculated else None)


def flat(text):
    """CMake wraps its messages: compare them with the line breaks taken out."""
    return " ".join(text.split())


def configure(build, log_path, *options):
    return run(["cmake", "-S", REPO, "-B", build, f"-DCMAKE_TOOLCHAIN_FILE={toolchain_file()}",
                f"-DPRODUCT_HOST=127.0.0.1:{PORT}", f"-DSTATS_HOST=127.0.0.1:{PORT + 1}",
                f"-DLOG_HOST=127.0.0.1:{PORT + 2}", *options], log_path, 300)


def build_setup(build, log_path):
    return run(["cmake", "--build", build, "--target", "Setup", "Uninstall", "-j", "2"], log_path, 1200)


def code_section_offset(data):
    """File offset of the first section's raw data (the code)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    first_section = pe + 24 + optional_size
    return struct.unpack_from("<I", data, first_section + 20)[0]


class SignedSetup(unittest.TestCase):
    """One build signed with a PKCS#12 file, a password file and a timestamp server."""

    @classmethod
    def setUpClass(cls):
        ROOT.mkdir(parents=True, exist_ok=True)
        cls.tmp = Path(tempfile.mkdtemp(prefix="signing-", dir=ROOT))
        cls.wine = None
        cls.tsa = None
        try:
            cls.cert, key = make_certificate(cls.tmp, "signer", "/CN=MELVORA Test Publisher", "codeSigning")
            cls.p12 = make_pkcs12(cls.tmp, cls.cert, key, PASSWORD)
            cls.password_file = cls.tmp / "signer.pass"
            cls.password_file.write_text(PASSWORD + "\n")
            cls.tsa = LoopbackTimestampServer(cls.tmp)
            cls.build = win_build_dir(ROOT, "signed-win")
            log_path = ROOT / "signed-build.log"
            rc, out = configure(cls.build, log_path, f"-DSIGN_PKCS12={cls.p12}",
                                f"-DSIGN_PASSWORD_FILE={cls.password_file}", "-DSIGN_PASSWORD=",
                                "-DSIGN_CERT=", "-DSIGN_KEY=", f"-DSIGN_TIMESTAMP_URL={cls.tsa.url}",
                                "-DSIGN_URL=https://melvora.example/")
            if rc == 0:
                rc, out = build_setup(cls.build, log_path)
            if rc != 0:
                raise RuntimeError(f"the signed build failed, see {log_path}:\n{out[-3000:]}")
            cls.signed = cls.tmp / "Setup.exe"
            shutil.copyfile(cls.build / "Setup.exe", cls.signed)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.wine:
            cls.wine.close()
        if cls.tsa:
            cls.tsa.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def verify(self, path, *trust):
        return verify(path, self.tmp / f"verify-{path.name}.log", *trust)

    def test_build_signs_with_sha256_its_description_and_a_timestamp(self):
        for program, description in ((self.signed, "MELVORA Setup"), (self.build / "Uninstall.exe", "MELVORA Uninstall")):
            with self.subTest(program.name):
                rc, report = self.verify(program, self.cert, self.tsa.cert)
                self.assertEqual(rc, 0, report)
                self.assertIn("\nSignature verification: ok", report)
                stored, calculated = digests(report)
                self.assertIsNotNone(stored, report)
                self.assertEqual(stored, calculated)
                self.assertRegex(report, r"Message digest algorithm\s*:\s*SHA256")
                self.assertIn("Subject: /CN=MELVORA Test Publisher", report)
                self.assertIn(f"Text description: {description}", report)
                self.assertIn("URL description: https://melvora.example/", report)
                self.assertIn("Timestamp Server Signature verification: ok", report)

    def test_changed_byte_in_the_code_fails_verification(self):
        data = bytearray(self.signed.read_bytes())
        data[code_section_offset(data) + 0x100] ^= 0xFF
        damaged = self.tmp / "Setup_damaged.exe"
        damaged.write_bytes(data)
        rc, report = self.verify(damaged, self.cert, self.tsa.cert)
        self.assertNotEqual(rc, 0)
        stored, calculated = digests(report)
        self.assertIsNotNone(calculated, report)
        self.assertNotEqual(stored, calculated)
        self.assertIn("MISMATCH", report)

    def make_copies(self, out, *ids):
        rc, said = run([sys.executable, COPIER, self.signed, *ids, "-o", out], self.tmp / "copies.log", 60)
        self.assertEqual(rc, 0, said)
        self.assertNotIn("no signature", said)
        return [out / f"Setup_{pid}.exe" for pid in ids]

    def test_partner_copies_keep_the_signature(self):
        _, original = self.verify(self.signed, self.cert, self.tsa.cert)
        for copy in self.make_copies(self.tmp / "verified", "nv01", "a_b"):
            rc, report = self.verify(copy, self.cert, self.tsa.cert)
            self.assertEqual(rc, 0, report)
            self.assertIn("\nSignature verification: ok", report)
            self.assertEqual(digests(report), digests(original))

    def test_signed_partner_copies_record_their_partner_id_under_wine(self):
        if not self.wine:
            type(self).wine = WineEnv(ROOT, display=None)
            self.wine.prepare(need_display=True)
        ids = ["nv01", "a_b-c~9"]
        for pid, copy in zip(ids, self.make_copies(self.tmp / "wine", *ids)):
            self.assertEqual(self.partner_id_recorded_by(copy), pid)

    def partner_id_recorded_by(self, exe, seconds=20):
        """Runs exe under Wine and returns the "pid" it writes, then ends it (it may wait in its wizard)."""
        key = r"HKCU\Software\MELVORA"
        self.wine.run_quiet(["wine", "reg", "delete", key, "/v", "pid", "/f"], timeout=60)
        proc = self.wine.start(["wine", str(exe)], self.tmp / f"{exe.stem}.wine.log")
        try:
            deadline = time.time() + seconds
            while time.time() < deadline:
                query = self.tmp / "reg-query.log"
                if self.wine.run_quiet(["wine", "reg", "query", key, "/v", "pid"], 30, query) == 0:
                    found = re.search(r"^\s*pid\s+REG_SZ[ \t]*(\S*)", query.read_text(errors="replace"), re.M)
                    if found:
                        return found.group(1)
                time.sleep(0.5)
            return None
        finally:
            self.wine.kill_wineserver()
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def run_signing_step(self, name, settings):
        """The build's signing step, run by hand on a copy of the program in a folder of its own."""
        program = self.tmp / name / "Setup.exe"
        program.parent.mkdir()
        shutil.copyfile(self.signed, program)
        rc, out = run(["cmake", f"-DSIGN_FILE={program}", f"-DSIGN_SETTINGS={settings}",
                       "-P", REPO / "cmake" / "SignFile.cmake"], self.tmp / f"{name}.log", 300)
        return rc, out, list(program.parent.iterdir())

    def test_signing_step_deletes_the_program_it_could_not_sign(self):
        # Make deletes a target whose commands fail, other generators do not: the step
        # itself must not leave the unsigned program.
        try:
            self.password_file.write_text("not the password\n")
            rc, out, left = self.run_signing_step("wrong-password", self.build / "signing" / "settings.cmake")
        finally:
            self.password_file.write_text(PASSWORD + "\n")
        self.assertNotEqual(rc, 0)
        self.assertIn("Signing Setup.exe failed", flat(out))
        self.assertEqual(left, [])

    def test_timestamp_server_that_does_not_answer_fails_the_signing_step(self):
        with socket.socket() as s:   # a port nobody listens on
            s.bind(("127.0.0.1", 0))
            silent = f"http://127.0.0.1:{s.getsockname()[1]}/"
        settings = (self.build / "signing" / "settings.cmake").read_text()
        settings = re.sub(r"set\(SIGN_TIMESTAMP_URLS .*\)", f"set(SIGN_TIMESTAMP_URLS [[{silent}]])", settings)
        (self.tmp / "silent.cmake").write_text(settings)
        rc, out, left = self.run_signing_step("silent-timestamps", self.tmp / "silent.cmake")
        self.assertNotEqual(rc, 0)
        self.assertIn("the timestamp server did not answer", flat(out))
        self.assertEqual(left, [])

    def test_signing_failure_in_the_build_deletes_setup_and_the_next_build_signs_it(self):
        # A changed password file signs again, at build time; the wrong password must not
        # leave the freshly linked, unsigned program behind.
        log_path = self.tmp / "failing-build.log"
        try:
            self.password_file.write_text("not the password\n")
            rc, out = build_setup(self.build, log_path)
            self.assertNotEqual(rc, 0)
            self.assertIn("Signing Setup.exe failed", flat(out))
            self.assertIn("Wrong password", out)
            self.assertEqual(sorted(p.name for p in self.build.glob("Setup*.exe")), [])
        finally:
            self.password_file.write_text(PASSWORD + "\n")
        rc, out = build_setup(self.build, log_path)
        self.assertEqual(rc, 0, out)
        rc, report = self.verify(self.build / "Setup.exe", self.cert, self.tsa.cert)
        self.assertIn("\nSignature verification: ok", report)


class RefusedCertificates(unittest.TestCase):
    """Configurations that cannot sign stop at configure time, and take a stale Setup.exe with them."""

    @classmethod
    def setUpClass(cls):
        ROOT.mkdir(parents=True, exist_ok=True)
        cls.tmp = Path(tempfile.mkdtemp(prefix="signing-refused-", dir=ROOT))
        try:
            cls.cert, cls.key = make_certificate(cls.tmp, "signer", "/CN=MELVORA Test Publisher", "codeSigning")
            cls.p12 = make_pkcs12(cls.tmp, cls.cert, cls.key, PASSWORD)
            cls.tls_cert, cls.tls_key = make_certificate(cls.tmp, "tls", "/CN=melvora.example", "serverAuth")
        except BaseException:
            shutil.rmtree(cls.tmp, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def configure_over_stale_setup(self, name, *options):
        build = self.tmp / name
        build.mkdir()
        for program in ("Setup.exe", "Uninstall.exe"):
            (build / program).write_bytes(b"MZ left over from an unsigned build")
        rc, out = configure(build, self.tmp / f"{name}.log", *options)
        return rc, out, (build / "Setup.exe").exists() or (build / "Uninstall.exe").exists()

    def test_missing_pkcs12_file_stops_configure(self):
        missing = self.tmp / "nowhere.p12"
        rc, out, stale = self.configure_over_stale_setup("missing", f"-DSIGN_PKCS12={missing}")
        self.assertNotEqual(rc, 0)
        self.assertIn(f"SIGN_PKCS12 names no file: '{missing}'", flat(out))
        self.assertFalse(stale)

    def test_wrong_password_stops_configure(self):
        password_file = self.tmp / "wrong.pass"
        password_file.write_text("not the password\n")
        rc, out, stale = self.configure_over_stale_setup("wrong", f"-DSIGN_PKCS12={self.p12}",
                                                         f"-DSIGN_PASSWORD_FILE={password_file}")
        self.assertNotEqual(rc, 0)
        self.assertIn("the certificate cannot sign", flat(out))
        self.assertIn("Wrong password", out)
        self.assertFalse(stale)

    def test_certificate_not_made_for_code_signing_stops_configure(self):
        rc, out, stale = self.configure_over_stale_setup("tls", f"-DSIGN_CERT={self.tls_cert}",
                                                         f"-DSIGN_KEY={self.tls_key}")
        self.assertNotEqual(rc, 0)
        self.assertIn("not made for code signing", flat(out))
        self.assertFalse(stale)

    def test_certificate_and_key_files_pass_the_trial_signature(self):
        rc, out, stale = self.configure_over_stale_setup("pem", f"-DSIGN_CERT={self.cert}",
                                                         f"-DSIGN_KEY={self.key}")
        self.assertEqual(rc, 0, out)
        self.assertIn("Signing: Setup.exe and Uninstall.exe will be signed (SHA-256, signer /CN=MELVORA Test Publisher",
                      flat(out))
        self.assertFalse(stale)   # built unsigned, so not kept for the signed build


def fake_program(path, signature_size=0):
    """The headers of a 32-bit Windows program, with a certificate table of the given size."""
    data = bytearray(1024)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, 0x80)
    data[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HH", data, 0x84, 0x14C, 0)          # i386, no sections
    struct.pack_into("<H", data, 0x94, 224)                 # size of the optional header
    struct.pack_into("<H", data, 0x98, 0x10B)               # PE32
    struct.pack_into("<II", data, 0x98 + 96 + 4 * 8, 0x400 if signature_size else 0, signature_size)
    path.write_bytes(bytes(data))
    return path


class PartnerCopyScript(unittest.TestCase):
    def setUp(self):
        self.tmp = Path(tempfile.mkdtemp(prefix="partner-copies-", dir=ROOT if ROOT.is_dir() else None))
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.setup = fake_program(self.tmp / "Setup.exe", signature_size=0x600)
        self.out = self.tmp / "out"

    def copies(self, *args):
        return run([sys.executable, COPIER, self.setup, "-o", self.out, *args], self.tmp / "run.log", 60)

    def made(self):
        return sorted(p.name for p in self.out.iterdir()) if self.out.exists() else []

    def test_good_ids_from_arguments_and_a_list_become_identical_copies(self):
        listing = self.tmp / "partners.txt"
        listing.write_bytes("\ufeff# partners of the spring campaign\r\nX-9~y\r\n\r\n  \r\nlast_one\r\n".encode())
        long_id = "p" * 64
        rc, said = self.copies("nv01", "a_b", long_id, "--list", str(listing))
        self.assertEqual(rc, 0, said)
        ids = ["nv01", "a_b", long_id, "X-9~y", "last_one"]
        self.assertEqual(self.made(), sorted(f"Setup_{pid}.exe" for pid in ids))
        for pid in ids:
            self.assertIn(f"Setup_{pid}.exe (partner {pid})", said)
            self.assertEqual((self.out / f"Setup_{pid}.exe").read_bytes(), self.setup.read_bytes())
        self.assertNotIn("no signature", said)

    def test_each_bad_id_is_refused_with_its_reason_and_nothing_is_made(self):
        bad = {
            "": "is empty",
            "p" * 65: "longer than 64",
            "nv.01": "ends the partner id",
            "nv01[1]": "ends the partner id",
            "nv01(1)": "ends the partner id",
            "nv\x01": "control character",
            "nv\x7f": "control character",
            "nv/01": "does not allow", "nv\\01": "does not allow", "nv:01": "does not allow",
            "nv*": "does not allow", "nv?": "does not allow", 'nv"': "does not allow",
            "nv<": "does not allow", "nv>": "does not allow", "nv|": "does not allow",
            "nv01 ": "contains a space", " nv01": "contains a space",
            "파트너": "non-ASCII",
            "nv&x=1": "not safe", "nv#1": "not safe", "nv%20": "not safe", "nv+1": "not safe",
        }
        for pid, reason in bad.items():
            with self.subTest(pid=pid):
                rc, said = self.copies("good", pid)
                self.assertEqual(rc, 2, said)
                self.assertIn(f"partner id {pid!r} ", said)
                self.assertIn(reason, said)
                self.assertEqual(self.made(), [])

    def test_ids_differing_only_in_case_are_refused(self):
        rc, said = self.copies("Nv01", "nv01")
        self.assertEqual(rc, 2, said)
        self.assertIn("only in case", said)
        self.assertEqual(self.made(), [])

    def test_bad_line_of_a_list_is_named_by_its_line_number(self):
        listing = self.tmp / "partners.txt"
        listing.write_text("nv01\nnv02 \n")
        rc, said = self.copies("--list", str(listing))
        self.assertEqual(rc, 2, said)
        self.assertIn(f"{listing}:2: partner id 'nv02 ' contains a space", said)

    def test_existing_copy_is_replaced_only_when_forced(self):
        self.assertEqual(self.copies("nv01")[0], 0)
        copy = self.out / "Setup_nv01.exe"
        copy.write_bytes(b"an older copy")
        rc, said = self.copies("nv01", "nv02")
        self.assertEqual(rc, 2, said)
        self.assertIn("--force", said)
        self.assertEqual(copy.read_bytes(), b"an older copy")
        self.assertEqual(self.made(), ["Setup_nv01.exe"])
        rc, said = self.copies("nv01", "nv02", "--force")
        self.assertEqual(rc, 0, said)
        self.assertIn("replaced", said)
        self.assertEqual(copy.read_bytes(), self.setup.read_bytes())

    def test_unsigned_program_is_copied_with_a_warning(self):
        self.setup = fake_program(self.tmp / "Setup.exe", signature_size=0)
        rc, said = self.copies("nv01")
        self.assertEqual(rc, 0, said)
        self.assertIn("carries no signature", said)

    def test_program_whose_name_holds_an_underscore_is_refused(self):
        # Setup_old.exe would make Setup_old_nv01.exe, which installs for "old_nv01".
        self.setup = self.setup.rename(self.tmp / "Setup_old.exe")
        rc, said = self.copies("nv01")
        self.assertEqual(rc, 2, said)
        self.assertEqual(self.made(), [])


if __name__ == "__main__":
    unittest.main()
