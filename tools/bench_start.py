#!/usr/bin/env python3
"""Start-up benchmark: how long the setup takes from its start to page 1 on the screen,
and how much memory the wizard takes, against another build of it (by default the one
before the pictures became PNG and the runtime was trimmed), side by side in one run.

Builds this tree's Setup.exe (c), its SKIN_FORMAT=bmp twin (b, the test build's
bitmap-skins/Setup.exe: the same code with uncompressed bitmaps, nothing to decode) and
tests/bench/bench_start.cpp in the suite's Windows build folder, and the baseline's
Setup.exe (a) from `git archive <rev>` under <build root>/bench-start/, all for the
loopback publisher; serves the demo content (tools/demo_content) and runs bench_start.exe
in one Wine prefix: the programs in turns (a b c, b c a, ...), each run on a clean machine
through all six pages. Prints the best and median start time of each, the ratios to the
baseline paired run by run, and the peak working set at page 1 and after the six pages.

Usage: tools/bench_start.py [--baseline-rev REV] [--runs 7]
Environment: MELVORA_BUILD_ROOT (default build/), MELVORA_TEST_PORT (default 47180).
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import urllib.request
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tools"))
import demo  # noqa: E402
from winenv import WineEnv, toolchain_file, win_build_dir, wine_arch  # noqa: E402

BUILDS = ("a", "b", "c")
RESULT = re.compile(r"build=(\w) run=(\d+) start_ms=([\d.]+) start_ws=(\d+) wizard_ws=(\d+) ok=(\d)")
DEFAULT_BASELINE = "f8afc99"   # main before the PNG pictures and the trimmed runtime


def cmake(source, build_dir, port, targets, log_path):
    options = [f"-DCMAKE_TOOLCHAIN_FILE={toolchain_file()}", "-DMELVORA_TESTS=ON",
               f"-DPRODUCT_HOST=127.0.0.1:{port}", f"-DSTATS_HOST=127.0.0.1:{port + 1}",
               f"-DLOG_HOST=127.0.0.1:{port + 2}"]
    with open(log_path, "ab") as out:
        for cmd in (["cmake", "-S", str(source), "-B", str(build_dir)] + options,
                    ["cmake", "--build", str(build_dir), "-j", "2", "--target"] + targets):
            if subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT).returncode != 0:
                sys.exit(f"build failed, see {log_path}")


def build_baseline(work, rev, port, log_path):
    source = work / "baseline-src"
    if source.exists():
        shutil.rmtree(source)
    source.mkdir(parents=True)
    archive = subprocess.run(["git", "-C", str(REPO), "archive", rev], stdout=subprocess.PIPE, check=True).stdout
    subprocess.run(["tar", "-x", "-C", str(source)], input=archive, check=True)
    build_dir = work / "baseline-build"
    cmake(source, build_dir, port, ["Setup"], log_path)
    return build_dir / "Setup.exe"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--baseline-rev", default=DEFAULT_BASELINE)
    ap.add_argument("--runs", type=int, default=7)
    args = ap.parse_args()
    root = Path(os.environ.get("MELVORA_BUILD_ROOT", REPO / "build")).resolve()
    port = int(os.environ.get("MELVORA_TEST_PORT", "47180"))
    work = root / "bench-start"
    work.mkdir(parents=True, exist_ok=True)
    log_path = work / "build.log"
    log_path.unlink(missing_ok=True)

    print(f"building this tree's Setup.exe and bench_start.exe ({wine_arch()}), and {args.baseline_rev}'s Setup.exe",
          flush=True)
    build_dir = win_build_dir(root, "test-win")
    cmake(REPO, build_dir, port, ["Setup", "SetupBitmapSkins", "Uninstall", "stand_in", "demo_player", "bench_start"],
          log_path)
    baseline = build_baseline(work, args.baseline_rev, port, log_path)
    programs = {}
    for name, exe in (("a", baseline), ("b", build_dir / "bitmap-skins" / "Setup.exe"), ("c", build_dir / "Setup.exe")):
        folder = work / name
        folder.mkdir(exist_ok=True)
        programs[name] = folder / "Setup_demo.exe"
        shutil.copyfile(exe, programs[name])
    sizes = {name: exe.stat().st_size for name, exe in programs.items()}

    content = demo.make_content(work, build_dir)
    wine = WineEnv(root, display=None)
    server = None
    try:
        wine.prepare(need_display=True)
        wine.start_wineserver()
        server = demo.start_server(work, content, port)
        # The demo slows the player's download down to show the installing page; not here.
        urllib.request.urlopen(f"http://127.0.0.1:{port}/__control/clear-fault?path=/app/ver_file/demo/1.0.3/"
                                    "MELVORA.exe", timeout=10).read()
        out = work / "bench_start.log"
        print(f"timing {args.runs} runs of each ...", flush=True)
        proc = wine.start(["wine", str(build_dir / "bench" / "bench_start.exe"), str(args.runs)] +
                          [wine.windows_path(programs[b]) for b in BUILDS], out)
        proc.wait(timeout=3600)
    finally:
        if server:
            server.terminate()
            server.wait(timeout=10)
        wine.close()

    runs = [m.groups() for m in RESULT.finditer(out.read_text(errors="replace"))]
    results = {b: [] for b in BUILDS}
    for build, _, ms, start_ws, wizard_ws, ok in runs:
        if ok != "1":
            sys.exit(f"a run of build {build} failed, see {out}")
        results[build].append((float(ms), int(start_ws), int(wizard_ws)))
    if not results["a"] or any(len(results[b]) != len(results["a"]) for b in BUILDS):
        sys.exit(f"missing runs, see {out}")
    report(args.baseline_rev, sizes, results)
    return 0


def report(rev, sizes, results):
    mib = 1 << 20
    names = {"a": f"(a) {rev}", "b": "(b) this tree, SKIN_FORMAT=bmp", "c": "(c) this tree"}
    print(f"\n{len(results['a'])} runs each                      start to page 1   peak working set      Setup.exe")
    print("                                     best    median     page 1  six pages")
    for build in BUILDS:
        r = results[build]
        print(f"  {names[build]:32s} {min(x[0] for x in r):5.0f} ms {statistics.median(x[0] for x in r):5.0f} ms"
              f" {max(x[1] for x in r) / mib:6.1f} MiB {max(x[2] for x in r) / mib:6.1f} MiB"
              f" {sizes[build]:>10,} bytes")
    a = results["a"]
    for build in ("b", "c"):
        r = results[build]
        paired = [x[0] / y[0] for x, y in zip(r, a)]
        print(f"  {build}/a start time: best {min(x[0] for x in r) / min(x[0] for x in a):.2f}, median "
              f"{statistics.median(x[0] for x in r) / statistics.median(x[0] for x in a):.2f}; paired run by run: "
              f"median {statistics.median(paired):.2f}, range {min(paired):.2f} to {max(paired):.2f}")
        print(f"  {build}-a peak working set after six pages: largest {(max(x[2] for x in r) - max(x[2] for x in a)) / mib:+.2f}"
              f" MiB, medians {(statistics.median(x[2] for x in r) - statistics.median(x[2] for x in a)) / mib:+.2f} MiB")


if __name__ == "__main__":
    sys.exit(main())
