"""tools/publish_site.py on the two-partner example table of docs/: what it writes for
each host when the payload is there, and the tables it must refuse. (How nginx serves
the example is in test_publisher_guide.py.)"""

import copy
import http.client
import json
import shutil
import subprocess
import sys
import tempfile
import tomllib
import unittest
from pathlib import Path

from test_publisher_server import Server

REPO = Path(__file__).resolve().parents[2]
GENERATOR = REPO / "tools" / "publish_site.py"
EXAMPLE = REPO / "docs" / "partners.example.toml"
PAYLOAD = ["payload/uninstall/Uninstall.exe", "payload/uninstall/Uninstall.ini",
           "payload/updater-1.0.1/VIVoreder.exe", "payload/components/ToolSetup.exe",
           "payload/components/ExtrasSetup.exe"]
PAYLOAD += [f"payload/player-{v}/{name}" for v in ("1.0.3", "1.0.4")
            for name in ("MELVORA.exe", "ZUZade.dll", "RAZezazi.exe")]
NV01_LIST = ("/MELVORA Tools/MelvoraTool.exe|http://www.example.com/files/tools/ToolSetup.exe|멜보라 도구 모음|"
             "재생 목록 정리와 자막 변환을 돕는 도구입니다.|http://www.example.com/pages/tools.html|1^"
             "/MELVORA Extras/MelvoraExtras.exe|http://www.example.com/files/extras/ExtrasSetup.exe|멜보라 부가 기능|"
             "바탕 화면 알림과 빠른 실행 단추를 추가합니다.|http://www.example.com/pages/extras.html|0")


def generate(table, *args):
    uninstaller = Path(table).parent / "payload/uninstall/Uninstall.exe"   # stands for the built one
    return subprocess.run([sys.executable, str(GENERATOR), str(table), *map(str, args), "--uninstaller",
                           str(uninstaller)], capture_output=True, text=True, timeout=60)


class PublishSite(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="pubsite-"))
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.table = self.dir / "partners.toml"   # its pages still those of this checkout
        self.table.write_text(EXAMPLE.read_text().replace('"../tools/', f'"{REPO}/tools/'))
        for rel in PAYLOAD:   # each file says where it came from
            (self.dir / rel).parent.mkdir(parents=True, exist_ok=True)
            (self.dir / rel).write_bytes(rel.encode() + b"\x00\xff")
        self.out = self.dir / "site"

    def test_example_table_with_its_payload_makes_each_partners_answers_and_files(self):
        logs = self.dir / "logs"
        logs.mkdir()
        done = generate(self.table, "-o", self.out, "--log-dir", logs)
        self.assertEqual(done.returncode, 0, done.stderr)
        product, stats = self.out / "product", self.out / "stats"
        self.assertEqual((product / "app/setup/setup.php/nv01.txt").read_bytes(), NV01_LIST.encode("cp949"))
        self.assertEqual((product / "app/setup/setup.php/nv02.txt").read_bytes(), b"")
        self.assertEqual((stats / "app/ver.php/nv01.txt").read_bytes(), b"OK|1.0.3|1.0.1")
        self.assertEqual((stats / "app/ver.php/nv02.txt").read_bytes(), b"OK|1.0.4|1.0.1")
        served = {"app/ver_file/nv02/1.0.4/MELVORA.exe": "payload/player-1.0.4/MELVORA.exe",
                  "app/ver_file/nv01/1.0.3/ZUZade.dll": "payload/player-1.0.3/ZUZade.dll",
                  "app/ver_file/nv02/1.0.1/VIVoreder.exe": "payload/updater-1.0.1/VIVoreder.exe",
                  "app/ver_file/uninstall/Uninstall.exe": "payload/uninstall/Uninstall.exe"}
        for url_path, source in served.items():   # the files that are there, not stand-ins
            self.assertEqual((product / url_path).read_bytes(), (self.dir / source).read_bytes(), url_path)
        ini = (product / "app/ver_file/uninstall/Uninstall.ini").read_bytes()
        self.assertTrue(ini.endswith(b"\r\n[Remove]\r\n") and ini.count(b"\n") == ini.count(b"\r\n"), ini)

        # The loopback server reads the same layout: the answers are plain files.
        server = Server(self.out)
        self.addCleanup(server.stop)
        for pid, expected in (("nv01", NV01_LIST.encode("cp949")), ("zz01", b"404 Not Found")):
            conn = http.client.HTTPConnection("127.0.0.1", server.ports["product"], timeout=10)
            conn.request("GET", f"/app/setup/setup.php?pid={pid}")
            self.assertIn(expected, conn.getresponse().read())
            conn.close()

        # Made again without nv02: nothing of it is left to serve.
        self.table.write_text(self.table.read_text().split("# A partner trying")[0])
        done = generate(self.table, "-o", self.out, "--log-dir", logs)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertFalse((product / "app/ver_file/nv02").exists())
        self.assertFalse((stats / "app/ver.php/nv02.txt").exists())

    def test_faulty_tables_are_refused_with_the_reason_and_nothing_is_made(self):
        good = tomllib.loads(self.table.read_text())
        del good["stand_ins"]   # every missing file is an error
        nv01 = ("partners", "nv01")

        def change(path, key, value):
            def apply(table):
                node = table
                for step in path:
                    node = node[step]
                if value is None:
                    del node[key]
                else:
                    node[key] = value
            return apply

        component = copy.deepcopy(good["partners"]["nv01"]["components"][1])
        cases = {
            "contains a space": lambda t: t["partners"].__setitem__("nv 01", t["partners"].pop("nv01")),
            "which the component list cannot carry": change(nv01 + ("components", 0), "name", "도구|모음"),
            "lacks ZUZade.dll": lambda t: (self.dir / "payload/player-1.0.3/ZUZade.dll").unlink(),
            "build Uninstall.exe first": lambda t: (self.dir / "payload/uninstall/Uninstall.exe").unlink(),
            "payload/elsewhere is not there":
                change((), "uninstall", "payload/elsewhere"),
            "reads only the first 10": change(nv01, "components", [component] * 11),
            "unknown setting": change(nv01, "updater_file", "payload/updater-1.0.1"),
            "a version is": change(nv01, "player", "1.0/3"),
            "not among [files]": change(("files",), "/files/tools/ToolSetup.exe", None),
            "/files/tools/Other.exe is on the product host but not among [files]":
                change(nv01 + ("components", 0), "installer", "https://{PRODUCT}/files/tools/Other.exe"),
            "code page 949": change((), "terms", "약관 \u266b\U0001F3B5"),
            "must differ": change(("hosts",), "log", "WWW.example.com:80"),
            "unknown placeholder": change(nv01 + ("components", 0), "page", "http://{PRODUCTS}/pages/tools.html"),
            "must be a path below Program Files": change(nv01 + ("components", 0), "check", "/../Windows/x.exe"),
            "outside the player's folder": change(nv01 + ("components", 0), "check", "\\melvora\\tool.exe"),
            "must end in a plain file name": change(nv01 + ("components", 0), "installer", "http://x.example/CON.exe"),
            "no device name such as CON": change(nv01 + ("components", 0), "check", "/Tools/LPT\u00b2/x.exe"),
        }
        for reason, mutate in cases.items():
            with self.subTest(reason):
                table = copy.deepcopy(good)
                self.setUp()
                mutate(table)
                path = self.dir / "partners.json"   # the JSON form of the same table
                path.write_text(json.dumps(table, ensure_ascii=False))
                for args in (["--check"], ["-o", self.out]):
                    done = generate(path, *args)
                    self.assertEqual(done.returncode, 2, done.stdout)
                    self.assertIn(reason, done.stderr)
                    self.assertFalse(self.out.exists())

        # A missing file is told once, where the table names it; nothing that points at it repeats it.
        self.setUp()
        table = copy.deepcopy(good)
        table["files"]["/Lisence/agree.php"] = "pages/agree.html"
        (self.dir / "payload/components/ToolSetup.exe").unlink()
        (self.dir / "partners.json").write_text(json.dumps(table, ensure_ascii=False))
        done = generate(self.dir / "partners.json", "--check")
        self.assertEqual(done.returncode, 2)
        for name in ("ToolSetup.exe", "agree.php"):
            self.assertEqual(len([line for line in done.stderr.splitlines() if name in line]), 1, done.stderr)

        self.setUp()
        self.out.mkdir()
        (self.out / "index.html").write_text("someone else's site")
        done = generate(self.table, "-o", self.out)
        self.assertEqual(done.returncode, 2)
        self.assertIn("not made by this program", done.stderr)
        self.assertEqual([p.name for p in self.out.iterdir()], ["index.html"])


if __name__ == "__main__":
    unittest.main()
