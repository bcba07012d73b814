"""The README's build for real publisher hosts works as written.

Runs the commands of the README's "Building for real publisher hosts" block (hosts given
without a port) into a folder of the test's own instead of build/win, so a publisher's
build there is left alone, and checks that Setup.exe is made and that its requests go to
the hosts' default port.
"""

import os
import re
import shutil
import subprocess
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]


def readme_build_commands():
    """The shell commands of the README's block, continuation lines joined, comments cut."""
    text = (REPO / "README.md").read_text()
    section = text.split("## Building for real publisher hosts", 1)[1]
    block = section.split("```", 2)[1]
    commands, current = [], ""
    for line in block.splitlines():
        line = line.split("#", 1)[0].rstrip()
        if line.endswith("\\"):
            current += line[:-1] + " "
            continue
        current += line
        if current.strip():
            commands.append(current.strip())
        current = ""
    return commands


class ReadmeBuildTest(unittest.TestCase):
    def test_hosts_without_a_port_build_a_setup_program_for_port_80(self):
        if not shutil.which("i686-w64-mingw32-g++-posix") and not shutil.which("i686-w64-mingw32-g++"):
            self.skipTest("the MinGW toolchain is missing")
        commands = readme_build_commands()
        self.assertEqual(len(commands), 2, commands)
        self.assertIn("-DPRODUCT_HOST=www.example.com", commands[0])
        root = Path(os.environ.get("MELVORA_BUILD_ROOT", REPO / "build")).resolve()
        folder = root / "readme-build"
        shutil.rmtree(folder, ignore_errors=True)
        log = root / "readme-build.log"
        with open(log, "wb") as out:
            for command in commands:
                command = re.sub(r"(?<![\w/])build/win(?![\w])", str(folder), command)
                rc = subprocess.run(command, shell=True, cwd=REPO, stdout=out, stderr=subprocess.STDOUT).returncode
                self.assertEqual(rc, 0, f"'{command}' failed, see {log}")

        program = (folder / "Setup.exe").read_bytes()
        # URLs without a port: http's own, 80.
        self.assertIn(b"http://www.example.com/Lisence/melvora_licence.txt\0", program)
        self.assertIn(b"http://www.example.com/Lisence/agree.php?w=400\0", program)
        # The reports connect by host name and port: http's own, stated.
        hosts = (folder / "generated" / "PublisherHosts.h").read_text()
        self.assertIn('#define MELVORA_STATS_HOST "stats.example.com"', hosts)
        self.assertIn("#define MELVORA_STATS_PORT 80\n", hosts)
        self.assertIn('#define MELVORA_LOG_HOST "log.example.com"', hosts)
        self.assertIn("#define MELVORA_LOG_PORT 80\n", hosts)
        self.assertIn(b"stats.example.com\0", program)
        self.assertIn(b"log.example.com\0", program)


if __name__ == "__main__":
    unittest.main()
