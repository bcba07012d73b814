#!/usr/bin/env python3
"""The demo: builds the installer for the loopback publisher server, serves demo content
for the partner "demo" and runs Setup_demo.exe under Wine.

With a display (DISPLAY set) the wizard opens on the screen and you click through it.
Without one (or with --headless) it runs on a private Xvfb display, is driven through
all six pages, a PNG of each page is left in build/demo/pages/, and the run ends with the
installed uninstaller, answered Yes, and a look at what it left in the prefix.
With --silent the setup installs unattended (/S /LOG=...), without any window; the demo
then shows its log and its exit code.

Usage: tools/demo.sh [--headless | --silent] [--port P]   (P, P+1, P+2: product, stats, log)
"""

import argparse
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.request
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
# The demo player makes nothing of its own, so its uninstaller has nothing to add.
DEMO_UNINSTALL_INI = b"; What the player makes beside its installed files, for Uninstall.exe to remove too.\r\n[Remove]\r\n"
LINK_NAME = "무료음악감상.lnk"
RUN_KEY = r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\MELVORA"
sys.path.insert(0, str(REPO / "tools"))
from winenv import WineEnv, toolchain_file, win_build_dir, wine_arch  # noqa: E402


def say(msg):
    print(msg, flush=True)


def port_free(port):
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)   # as the server binds
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


def build(root, port):
    build_dir = win_build_dir(root, "build")
    log = root / "build.log"
    arch = wine_arch()
    say(f"demo: building Setup.exe ({arch}) for the loopback publisher at 127.0.0.1:{port} (log: {log})")
    options = [f"-DCMAKE_TOOLCHAIN_FILE={toolchain_file(arch)}", "-DMELVORA_TESTS=ON",
               f"-DPRODUCT_HOST=127.0.0.1:{port}", f"-DSTATS_HOST=127.0.0.1:{port + 1}",
               f"-DLOG_HOST=127.0.0.1:{port + 2}"]
    with open(log, "wb") as out:
        steps = [["cmake", "-S", str(REPO), "-B", str(build_dir)] + options,
                 ["cmake", "--build", str(build_dir), "-j", str(os.cpu_count() or 1), "--target", "Setup",
                  "Uninstall", "stand_in", "demo_player", "demo_walk"]]
        for step in steps:
            if subprocess.run(step, stdout=out, stderr=subprocess.STDOUT).returncode != 0:
                sys.exit(f"demo: the build failed, see {log}")
    return build_dir


def make_content(root, build_dir):
    content = root / "content"
    if content.exists():
        shutil.rmtree(content)
    shutil.copytree(REPO / "tools" / "demo_content", content)
    programs = build_dir / "programs"
    product = content / "product"
    places = {
        "app/ver_file/uninstall/Uninstall.exe": build_dir / "Uninstall.exe",
        "app/ver_file/demo/1.0.3/MELVORA.exe": programs / "demo_player.exe",
        "app/ver_file/demo/1.0.3/ZUZade.dll": programs / "stand_in.exe",
        "app/ver_file/demo/1.0.1/VIVoreder.exe": programs / "stand_in.exe",
        "app/ver_file/demo/1.0.3/RAZezazi.exe": programs / "stand_in.exe",
        "files/tools/ToolSetup.exe": programs / "stand_in.exe",
        "files/extras/ExtrasSetup.exe": programs / "stand_in.exe",
    }
    for target, source in places.items():
        (product / target).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, product / target)
    (product / "app/ver_file/uninstall/Uninstall.ini").write_bytes(DEMO_UNINSTALL_INI)
    return content


def start_server(root, content, port):
    port_file = root / "publisher.ports"
    port_file.unlink(missing_ok=True)
    log = open(root / "publisher.log", "wb")
    server = subprocess.Popen([sys.executable, str(REPO / "tools" / "publisher_server.py"), "--content",
                               str(content), "--port", str(port), "--port-file", str(port_file),
                               "--log", str(root / "requests.log"), "--max-seconds", "7200", "--quiet"],
                              stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    log.close()
    deadline = time.time() + 15
    while not port_file.exists():
        if server.poll() is not None or time.time() > deadline:
            server.kill()
            sys.exit(f"demo: the publisher server did not start, see {root / 'publisher.log'}")
        time.sleep(0.05)
    # Let the player's download take a moment, so the installing page can be seen.
    control = f"http://127.0.0.1:{port}/__control/fault?path=/app/ver_file/demo/1.0.3/MELVORA.exe" \
              "&kind=trickle&chunk=1024&interval=100"
    urllib.request.urlopen(control, timeout=10).read()
    return server


def uninstall(wine, root, pages, build_dir):
    """Runs the Uninstall entry's command, answered Yes, and checks what is left."""
    say("\ndemo: uninstalling with the installed Uninstall.exe, as \"Apps & features\" would")
    log = root / "uninstall.log"
    walk = wine.start(["wine", str(build_dir / "programs" / "demo_walk.exe"), "--uninstall",
                       wine.windows_path(pages)], log)
    rc = walk.wait(timeout=300)
    for line in log.read_bytes().decode("cp949", "replace").replace("\r", "").strip().splitlines():
        say("  " + line)
    folders = wine.folders()
    left = [p for p in (folders["program_files"] / "MELVORA", folders["common_programs"] / "MELVORA") if p.exists()]
    left += [p for p in (wine.prefix / "drive_c" / "users").rglob(LINK_NAME)]
    for key in (r"HKCU\Software\MELVORA", UNINSTALL_KEY):
        if wine.run_quiet(["wine", "reg", "query", key]) == 0:
            left.append(key)
    if wine.run_quiet(["wine", "reg", "query", RUN_KEY, "/v", "MELVORA"]) == 0:
        left.append(RUN_KEY + r"\MELVORA")
    kept = sorted(p.name for p in folders["program_files"].glob("MELVORA *"))
    if left:
        say("demo: the uninstall left behind: " + ", ".join(map(str, left)))
    else:
        say("demo: the prefix is clean: no install folder, shortcut, start-menu folder, Run value, product key "
            "or Uninstall entry is left")
    if kept:
        say("  left alone, as they should be: the optional components' folders " + ", ".join(kept))
    return rc == 0 and not left


def summary(wine, root):
    program_files = wine.folders()["program_files"]
    say("\ndemo: what the installer left behind")
    for folder in ("MELVORA", "MELVORA Tools", "MELVORA Extras"):
        path = program_files / folder
        if path.exists():
            say(f"  C:\\Program Files\\{folder}: " + ", ".join(sorted(p.name for p in path.iterdir())))
    out = root / "reg.txt"
    wine.run_quiet(["wine", "reg", "query", r"HKCU\Software\MELVORA"], log_path=out)
    for line in out.read_text(errors="replace").splitlines():
        if "REG_" in line:
            say("  HKCU\\Software\\MELVORA " + " ".join(line.split()))
    requests = root / "requests.log"
    if requests.exists():
        say("  requests the publisher's servers received:")
        for line in requests.read_text(errors="replace").splitlines():
            fields = line.split("\t")
            if len(fields) >= 4:
                say(f"    {fields[0]:8} {fields[1]} {fields[2]} {fields[3]}")


EXIT_CODES = {0: "everything installed", 1: "the player is installed, something else is missing",
              2: "the player is not installed", 3: "cancelled by the user", 4: "another setup is running",
              5: "a bad command line", 6: "the setup could not run"}


def run_silently(wine, root, setup):
    log = root / "silent-install.log"
    log.unlink(missing_ok=True)
    say("demo: installing unattended: Setup_demo.exe /S /LOG=" + wine.windows_path(log))
    run = wine.start(["wine", str(setup), "/S", "/LOG=" + wine.windows_path(log)], root / "setup.log")
    rc = run.wait(timeout=600)
    say(f"\ndemo: the setup's log ({log}):")
    say(log.read_text(encoding="utf-8", errors="replace").rstrip() if log.exists() else "  (no log was written)")
    say(f"\ndemo: exit code {rc}: {EXIT_CODES.get(rc, 'unknown')}")
    return rc


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--headless", action="store_true", help="drive the wizard and save pictures of its pages")
    ap.add_argument("--silent", action="store_true", help="install unattended and show the log and exit code")
    ap.add_argument("--port", type=int, default=47080)
    args = ap.parse_args()
    headless = args.headless or args.silent or not os.environ.get("DISPLAY")

    root = Path(os.environ.get("MELVORA_DEMO_ROOT", REPO / "build" / "demo")).resolve()
    root.mkdir(parents=True, exist_ok=True)
    for p in (args.port, args.port + 1, args.port + 2):
        if not port_free(p):
            sys.exit(f"demo: port {p} is in use; pick others with --port")

    build_dir = build(root, args.port)
    content = make_content(root, build_dir)
    setup = root / "Setup_demo.exe"
    shutil.copyfile(build_dir / "Setup.exe", setup)

    wine = WineEnv(root, display=None if headless else os.environ["DISPLAY"], log=say)
    server = None
    try:
        say("demo: preparing Wine (the first time takes a few seconds)")
        wine.prepare(need_display=True)
        server = start_server(root, content, args.port)
        if args.silent:
            rc = run_silently(wine, root, setup)
            summary(wine, root)
            if rc != 0:
                sys.exit(1)
        elif headless:
            pages = root / "pages"
            if pages.exists():
                shutil.rmtree(pages)
            pages.mkdir()
            say(f"demo: no display here; driving Setup_demo.exe through its six pages on Xvfb {wine.display}")
            walk = wine.start(["wine", str(build_dir / "programs" / "demo_walk.exe"), wine.windows_path(setup),
                               wine.windows_path(pages)], root / "walk.log", {"MELVORA_DEMO_AUTOCLOSE": "1"})
            rc = walk.wait(timeout=600)
            for bmp in sorted(pages.glob("*.bmp")):
                subprocess.run(["/usr/bin/convert", str(bmp), str(bmp.with_suffix(".png"))])
                bmp.unlink()
            say((root / "walk.log").read_text(errors="replace").strip())
            if rc != 0:
                sys.exit(f"demo: the walk failed (see {root / 'walk.log'})")
            summary(wine, root)
            clean = uninstall(wine, root, pages, build_dir)
            for bmp in sorted(pages.glob("uninstall-*.bmp")):
                subprocess.run(["/usr/bin/convert", str(bmp), str(bmp.with_suffix(".png"))])
                bmp.unlink()
            say(f"\ndemo: pictures of the six pages and the uninstaller's two dialogs are in {pages}/")
            if not clean:
                sys.exit("demo: the uninstall did not leave a clean prefix")
        else:
            say("demo: the setup wizard is open on your screen; click through it")
            run = wine.start(["wine", str(setup)], root / "setup.log")
            run.wait()
            time.sleep(2)
            summary(wine, root)
    finally:
        if server:
            server.terminate()
            server.wait(timeout=10)
        wine.close()


if __name__ == "__main__":
    main()
