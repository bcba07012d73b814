"""The publisher's guide works as written. The commands of its "Deploying" section run on
the example table of this checkout, in a folder of the test's own (the only changes:
the guide's folders become that folder's, and its loopback ports the test's), with nginx
on the generated configuration; installer-shaped requests go to the site, and then the
guide's count commands read nginx's logs. And every script under tools/ that the README
or the guide runs can be run."""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from base64 import b64encode
from pathlib import Path

from test_publish_site import NV01_LIST

REPO = Path(__file__).resolve().parents[2]
GUIDE = REPO / "docs" / "publisher-guide.md"
PORT = int(os.environ.get("MELVORA_TEST_PORT", "47180"))
AUTH = "Basic " + b64encode(b"pebrook:5816ce").decode()


def guide_commands():
    """The commands of the Deploying section's sh blocks, continuation lines joined."""
    section = GUIDE.read_text().split("\n## Deploying", 1)[1].split("\n## ", 1)[0]
    blocks = re.findall(r"```sh\n(.*?)```", section, re.S)
    return [line.strip() for block in blocks for line in block.replace("\\\n", " ").splitlines() if line.strip()]


def localised(command, tmp):
    command = command.replace("/srv/melvora", f"{tmp}/srv").replace("/var/log/nginx", f"{tmp}/trial/logs")
    command = re.sub(r"(?<![\w/.])(\$PWD/)?(trial|site)/", rf"{tmp}/\2/", command)
    return re.sub(r"\b4708([0-2])\b", lambda m: str(PORT + int(m[1])), command)


def get(port, target, auth=False):
    """(status, head, body) of an HTTP/1.0 GET as the installer sends it."""
    request = f"GET {target} HTTP/1.0\r\nHost: 127.0.0.1:{port}\r\nUser-Agent: HTTP\r\n"
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall((request + (f"Authorization: {AUTH}\r\n" if auth else "") + "\r\n").encode("ascii"))
        reply = b"".join(iter(lambda: s.recv(65536), b""))
    head, _, body = reply.partition(b"\r\n\r\n")
    return int(head.split()[1]), head.decode("latin-1"), body


def answers(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


class PublisherGuide(unittest.TestCase):
    def start_nginx(self, command, tmp):
        with open(tmp / "nginx.out", "wb") as out:
            nginx = subprocess.Popen(command, shell=True, cwd=REPO, start_new_session=True, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=out)

        def stop():   # the shell, nginx and its worker
            if nginx.poll() is None:
                os.killpg(nginx.pid, signal.SIGTERM)
            nginx.wait(10)
        self.addCleanup(stop)
        deadline = time.time() + 15
        for port in (PORT, PORT + 1, PORT + 2):
            while not answers(port):
                self.assertIsNone(nginx.poll(), (tmp / "nginx.out").read_text(errors="replace"))
                self.assertLess(time.time(), deadline, "nginx did not answer")
                time.sleep(0.05)

    def test_deploying_runs_as_written_from_the_example_to_the_counts(self):
        tmp = Path(tempfile.mkdtemp(prefix="guide-"))
        self.addCleanup(shutil.rmtree, tmp, True)
        tmp.chmod(0o755)   # nginx started as root serves as nobody
        counts = []
        for command in (localised(c, tmp) for c in guide_commands()):
            if command.startswith("nginx "):
                self.start_nginx(command, tmp)
            elif command.startswith("tools/install_counts.py "):
                counts.append(command)   # once there are installs to count
            else:
                done = subprocess.run(command, shell=True, cwd=REPO, capture_output=True, text=True, timeout=120)
                self.assertEqual(done.returncode, 0, f"{command}\n{done.stderr}")
        self.assertEqual(len(counts), 2)

        product, stats, log = PORT, PORT + 1, PORT + 2
        status, head, body = get(product, "/app/setup/setup.php?pid=nv01")
        self.assertEqual(body, NV01_LIST.replace("www.example.com", f"127.0.0.1:{PORT}").encode("cp949"))
        self.assertIn("Content-Type: text/plain; charset=euc-kr", head)
        self.assertIn("멜보라 설치에 앞서".encode("cp949"), get(product, "/Lisence/agree.php?w=400")[2])
        for port, target, answer in ((stats, "/app/ver.php?project=melvora&pid=nv01", b"OK|1.0.3|1.0.1"),
                                     (log, "/app/receive/log.php?pid=nv01", b"OK")):
            self.assertEqual(get(port, target)[0], 401)
            self.assertEqual(get(port, target, auth=True)[::2], (200, answer))
        status, head, body = get(product, "/app/ver_file/nv01/1.0.3/MELVORA.exe")
        self.assertIn(b"payload/player-1.0.3/MELVORA.exe", body)   # a stand-in
        self.assertIn(f"Content-Length: {len(body)}\r\n", head)
        # A copy for a partner the site does not know installs nothing, but reports.
        self.assertEqual(get(log, "/app/receive/log.php?pid=zz01", auth=True)[0], 200)
        for port, target in ((stats, "/app/ver.php?project=melvora&pid=zz01"), (log, "/app/receive/log.php?pid="),
                             (log, "/app/receive/log.php?pid=nv01%0a"), (product, "/app/ver_file/"),
                             (product, "/app/setup/setup.php?pid=../setup.php/nv01")):
            with self.subTest(target):
                status, _, body = get(port, target, auth=True)
                self.assertEqual((status, b"404 Not Found" in body), (404, True))

        with open(tmp / "trial" / "logs" / "melvora-log.jsonl", "a") as f:
            f.write('{"time": "2025-03-04", "status": 1e999}\n' + "[" * 100000 + "\n")
        for command, reason in zip(counts, ("of partners not in partners.example.toml",
                                            "of partners with no version query answered")):
            done = subprocess.run(command, shell=True, cwd=REPO, capture_output=True, text=True, timeout=60)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertRegex(done.stdout, r"(?m)^\d{4}-\d{2}-\d{2}\s+nv01\s+1\s+1\.0\.3 x1$")
            self.assertRegex(done.stdout, rf"(?m)^not counted\s+1  1 {reason}$")
            self.assertIn("2 line(s) were not requests", done.stderr)
        done = subprocess.run([sys.executable, str(REPO / "tools/install_counts.py"), "--since", "2026-13-01",
                               str(tmp / "trial/logs/melvora-log.jsonl")], capture_output=True, text=True)
        self.assertEqual(done.returncode, 2, done.stdout)

    def test_every_script_the_docs_run_is_executable(self):
        named = set()
        for doc in (REPO / "README.md", GUIDE):
            named |= {m.rstrip(".") for m in re.findall(r"(?<![\w/])tools/[\w./-]+", doc.read_text())}
        listed = subprocess.run(["git", "ls-files", "-s", "tools"], cwd=REPO, capture_output=True, text=True)
        committed = {line.split(None, 3)[3]: line.split()[0] for line in listed.stdout.splitlines()}
        scripts = [rel for rel in sorted(named) if (REPO / rel).is_file() and (REPO / rel).read_bytes()[:2] == b"#!"]
        self.assertIn("tools/install_counts.py", scripts)
        for rel in scripts:
            with self.subTest(rel):
                self.assertTrue(os.access(REPO / rel, os.X_OK))
                if listed.returncode == 0:   # a checkout of the repository: as committed
                    self.assertEqual(committed.get(rel), "100755")


if __name__ == "__main__":
    unittest.main()
