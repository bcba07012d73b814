"""A typical install from the publisher's site as tools/publish_site.py makes it, served by
nginx from the configuration it writes.

The partner table names the test build's stand-in programs as the payload and lets the
site generator ship the build's own uninstaller; nginx runs in
the foreground from a folder of its own on the loopback ports the test build of Setup.exe
asks (MELVORA_TEST_PORT and the next two); Setup_pub01.exe is walked through its six pages
under Wine as a user would, and what it left behind and what the servers logged are
checked, the install count through tools/install_counts.py; then the installed
uninstaller removes the install again.
"""

import ctypes
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
ROOT = Path(os.environ.get("MELVORA_BUILD_ROOT", REPO / "build")).resolve()
PORT = int(os.environ.get("MELVORA_TEST_PORT", "47180"))
sys.path.insert(0, str(REPO / "tools"))
from winenv import WineEnv, win_build_dir  # noqa: E402
BUILD = Path(os.environ.get("MELVORA_WIN_BUILD", win_build_dir(ROOT, "test-win")))
WORK = ROOT / "publish"

LINK = "무료음악감상.lnk"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\MELVORA"
RUN_KEY = r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
PRODUCT_KEY = r"HKCU\Software\MELVORA"


def end_with_parent():
    """nginx gets SIGTERM should this test's process die before it stops nginx itself."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)   # PR_SET_PDEATHSIG


class Nginx:
    """nginx in the foreground on the site's configuration, from a run folder of its own."""

    def __init__(self, config, run_dir, ports):
        nginx = shutil.which("nginx") or "/usr/sbin/nginx"
        if not Path(nginx).exists():
            raise RuntimeError("nginx is missing: tools/install-deps.sh installs nginx-light")
        run_dir.mkdir(parents=True, exist_ok=True)
        self.error_log = run_dir / "error.log"
        with open(run_dir / "nginx.out", "wb") as out:
            self.proc = subprocess.Popen([nginx, "-p", str(run_dir), "-c", str(config), "-e", str(self.error_log),
                                          "-g", "daemon off;"], stdout=out, stderr=subprocess.STDOUT,
                                         stdin=subprocess.DEVNULL, start_new_session=True,
                                         preexec_fn=end_with_parent)
        deadline = time.time() + 15
        while not all(self.answers(p) for p in ports):
            if self.proc.poll() is not None or time.time() > deadline:
                self.stop()
                said = (run_dir / "nginx.out").read_text(errors="replace")
                if self.error_log.exists():
                    said += self.error_log.read_text(errors="replace")
                raise RuntimeError("nginx did not start: " + said)
            time.sleep(0.05)

    @staticmethod
    def answers(port):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            return False

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()   # nginx's fast shutdown: the workers end with it
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                pass
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)   # workers a killed master would leave behind
        except ProcessLookupError:
            pass
        self.proc.wait(10)


def make_table(folder, programs):
    """A two-partner table whose payload is the build's stand-in programs."""
    stand_in = programs / "stand_in.exe"
    payload = {"player-2.1.0/MELVORA.exe": stand_in,
               "player-2.1.0/RAZezazi.exe": stand_in, "updater-2.0.7/VIVoreder.exe": stand_in,
               "components/ToolSetup.exe": stand_in}
    for rel, source in payload.items():
        (folder / rel).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, folder / rel)
    shutil.copyfile(stand_in, folder / "player-2.1.0/ZUZade.dll")   # a program, as a DLL is
    (folder / "agree.html").write_text("<html><body>agree</body></html>")
    player = {"player": "2.1.0", "player_files": "player-2.1.0", "updater": "2.0.7", "updater_files": "updater-2.0.7"}
    table = {
        "hosts": {"product": f"127.0.0.1:{PORT}", "stats": f"127.0.0.1:{PORT + 1}", "log": f"127.0.0.1:{PORT + 2}"},
        "terms": "제1조 (목적)\n이 약관은 게시된 사이트에서 설치하는 조건을 정합니다.\n",
        "files": {"/Lisence/agree.php": "agree.html", "/files/ToolSetup.exe": "components/ToolSetup.exe"},
        "partners": {
            "pub01": dict(player, components=[{
                "check": "/MELVORA Tools/tool.exe", "installer": "http://{PRODUCT}/files/ToolSetup.exe",
                "name": "도구", "description": "도구 설명", "page": "http://{PRODUCT}/pages/tool.html"}]),
            "pub02": dict(player, player="2.1.0", updater="2.1.0", updater_files="updater-2.0.7"),
        },
    }
    path = folder / "partners.json"
    path.write_text(json.dumps(table, ensure_ascii=False, indent=1), encoding="utf-8")
    return path, payload


class PublishedSite(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if WORK.exists():
            shutil.rmtree(WORK)
        (WORK / "logs").mkdir(parents=True)
        cls.table, cls.payload = make_table(WORK / "table", BUILD / "programs")
        cls.site = WORK / "site"
        made = subprocess.run([sys.executable, str(REPO / "tools" / "publish_site.py"), str(cls.table),
                               "-o", str(cls.site), "--log-dir", str(WORK / "logs"),
                               "--uninstaller", str(BUILD / "Uninstall.exe")],
                              capture_output=True, text=True, timeout=120)
        if made.returncode != 0:
            raise RuntimeError("publish_site.py failed:\n" + made.stderr)
        cls.nginx = Nginx(cls.site / "nginx" / "nginx.conf", WORK / "nginx-run", (PORT, PORT + 1, PORT + 2))
        cls.addClassCleanup(cls.nginx.stop)

    def test_typical_install_from_the_site(self):
        wine = WineEnv(ROOT, display=None)
        self.addCleanup(wine.close)
        wine.prepare(need_display=True)
        wine.start_wineserver()
        folders = wine.folders()
        program_files = folders["program_files"]
        links = [folders["desktop"] / LINK, folders["quick_launch"] / LINK,
                 folders["common_programs"] / "MELVORA" / LINK]
        self.clean_machine(wine, program_files, links)
        self.addCleanup(self.clean_machine, wine, program_files, links)   # the prefix is shared with other tests
        links[1].parent.mkdir(parents=True, exist_ok=True)   # an installed browser would have made it

        setup = WORK / "Setup_pub01.exe"
        shutil.copyfile(BUILD / "Setup.exe", setup)
        started = WORK / "started.txt"
        (WORK / "pages").mkdir()
        walk = wine.start(["wine", str(BUILD / "programs" / "demo_walk.exe"), wine.windows_path(setup),
                           wine.windows_path(WORK / "pages")], WORK / "walk.log",
                          {"MELVORA_STARTED_LOG": wine.windows_path(started)})
        try:
            rc = walk.wait(timeout=600)
        except subprocess.TimeoutExpired:
            walk.kill()
            rc = "timeout"
        self.assertEqual(rc, 0, (WORK / "walk.log").read_text(errors="replace"))
        self.assertIn("exit code 0", (WORK / "walk.log").read_text(errors="replace"))   # everything installed

        installed = program_files / "MELVORA"
        table = self.table.parent
        for name, source in (("MELVORA.exe", table / "player-2.1.0/MELVORA.exe"),
                             ("ZUZade.dll", table / "player-2.1.0/ZUZade.dll"),
                             ("RAZezazi.exe", table / "player-2.1.0/RAZezazi.exe"),
                             ("VIVoreder.exe", table / "updater-2.0.7/VIVoreder.exe"),
                             ("uninstall.exe", BUILD / "Uninstall.exe"),
                             ("uninstall.ini", self.site / "product/app/ver_file/uninstall/Uninstall.ini")):
            with self.subTest(name):
                self.assertEqual((installed / name).read_bytes(), source.read_bytes())
        # The component's installer runs from the setup's private folder, not its own.
        self.assertFalse((program_files / "MELVORA Tools").exists())
        deadline = time.time() + 30   # the player is started, not waited for
        while not re.search(r"MELVORA\\MELVORA\.exe", started.read_text(errors="replace") if started.exists() else ""):
            self.assertLess(time.time(), deadline, "the player was not started")
            time.sleep(0.2)
        self.assertRegex(started.read_text(errors="replace"), r"(?i)\\windows\\temp\\MELVORA-setup-[^\\]+\\\d+\\ToolSetup\.exe")

        values = self.reg_values(wine, PRODUCT_KEY)
        self.assertEqual({k: values.get(k) for k in ("pid", "exe_ver", "updater_ver", "dellog_ver")},
                         {"pid": "pub01", "exe_ver": "2.1.0", "updater_ver": "2.0.7", "dellog_ver": "2.1.0"})
        target = r"C:\Program Files\MELVORA\MELVORA.exe"
        self.assertEqual(self.reg_values(wine, RUN_KEY).get("MELVORA"), f'"{target}"')
        self.assertEqual(self.reg_values(wine, UNINSTALL_KEY).get("DisplayName"), "MELVORA")
        for link in links:
            with self.subTest(link.name):
                data = link.read_bytes()
                self.assertTrue(target.encode("ascii") in data or target.encode("utf-16-le") in data)

        counts = subprocess.run([sys.executable, str(REPO / "tools" / "install_counts.py"),
                                 *map(str, sorted((WORK / "logs").glob("*.jsonl")))],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(counts.returncode, 0, counts.stderr)
        self.assertRegex(counts.stdout, r"(?m)^\d{4}-\d{2}-\d{2}\s+pub01\s+1\s+2\.1\.0 x1$")
        self.assertRegex(counts.stdout, r"(?m)^total\s+pub01\s+1$")
        # The reports' first try, without credentials, was refused; the retry was accepted.
        log = [json.loads(line) for line in (WORK / "logs" / "melvora-log.jsonl").read_text().splitlines()]
        self.assertEqual([(r["status"], r["user"]) for r in log], [(401, ""), (200, "pebrook")])
        self.assertEqual({r["request"] for r in log}, {"/app/receive/log.php?pid=pub01"})

        # The shipped uninstaller, as the Uninstall entry names it, takes it all away again.
        command = self.reg_values(wine, UNINSTALL_KEY)["UninstallString"]
        self.assertEqual(command, r'"C:\Program Files\MELVORA\Uninstall.exe"')
        self.assertEqual(wine.run_quiet(["wine", command.strip('"'), "/S"], timeout=120), 0)
        self.assertFalse(installed.exists())
        self.assertEqual([link for link in links if link.exists()], [])
        self.assertEqual(self.reg_values(wine, UNINSTALL_KEY), {})
        # The component's installer runs from the setup's private folder, not its own.
        self.assertFalse((program_files / "MELVORA Tools").exists())

    @staticmethod
    def reg_values(wine, key):
        out = WORK / "reg.txt"
        wine.run_quiet(["wine", "reg", "query", key], log_path=out)
        values = {}
        for line in out.read_text(errors="replace").splitlines():
            parts = re.split(r"\s{2,}|\t", line.strip(), maxsplit=2)
            if len(parts) == 3 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2]
        return values

    @staticmethod
    def clean_machine(wine, program_files, links):
        for folder in ("MELVORA", "MELVORA Tools"):
            shutil.rmtree(program_files / folder, ignore_errors=True)
        shutil.rmtree(links[2].parent, ignore_errors=True)
        for link in links:
            link.unlink(missing_ok=True)
        wine.run_quiet(["wine", "reg", "delete", PRODUCT_KEY, "/f"])
        wine.run_quiet(["wine", "reg", "delete", UNINSTALL_KEY, "/f"])
        wine.run_quiet(["wine", "reg", "delete", RUN_KEY, "/v", "MELVORA", "/f"])


if __name__ == "__main__":
    unittest.main()
