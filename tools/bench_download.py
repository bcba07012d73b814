#!/usr/bin/env python3
"""Download benchmark: how fast the installer's file downloader runs under Wine.

Builds tests/bench/bench_download.cpp (in the suite's Windows build folder), starts the
loopback publisher server with generated files, and times in one Wine prefix:

  (a) CHttpDownloader::Download, its messages received by a window on another thread
  (b) a bare loop of the same shape without messages (ask what is available, read exactly
      that into a fresh buffer, write it)
  (c) a plain WinInet loop reading into one fixed 64 KiB buffer
  (d) curl on the host

For each file size it prints the best and the median throughput of each, the ratios a/b,
a/c and a/d, the peak working set of the Wine process for (a) to (c), and what putting
the written file on disk costs (FlushFileBuffers, timed after (b)): the downloader pays it
only when its file replaces an earlier one. (a) to (c) are timed inside
the program (from opening the connection to closing the file), curl around its process.

Usage: tools/bench_download.py [--sizes 16,256] [--runs 5]
Environment: MELVORA_BUILD_ROOT (default build/), MELVORA_TEST_PORT (default 47180).
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
import urllib.request
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tools"))
from winenv import WineEnv, toolchain_file, win_build_dir, wine_arch  # noqa: E402

MODES = {
    "a": "downloader with messages",
    "b": "read-what-is-ready loop",
    "c": "fixed 64 KiB WinInet loop",
    "d": "curl",
}
RESULT = re.compile(r"mode=(\w) ok=(\d) bytes=(\d+) ms=([\d.]+) messages=(\d+) reads=(\d+) peak_working_set=(\d+)"
                    r" flush_ms=(-?[\d.]+)")


def build(root, port):
    build_dir = win_build_dir(root, "test-win")
    build_dir.mkdir(parents=True, exist_ok=True)
    log_path = root / "bench-build.log"
    options = ["-DCMAKE_TOOLCHAIN_FILE=" + str(toolchain_file()), "-DMELVORA_TESTS=ON",
               f"-DPRODUCT_HOST=127.0.0.1:{port}", f"-DSTATS_HOST=127.0.0.1:{port + 1}",
               f"-DLOG_HOST=127.0.0.1:{port + 2}"]
    with open(log_path, "wb") as out:
        for cmd in (["cmake", "-S", str(REPO), "-B", str(build_dir)] + options,
                    ["cmake", "--build", str(build_dir), "--target", "bench_download", "-j", "2"]):
            if subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT).returncode != 0:
                sys.exit(f"build failed, see {log_path}")
    return build_dir / "bench" / "bench_download.exe"


def start_server(root, port):
    port_file = root / "bench-publisher.ports"
    port_file.unlink(missing_ok=True)
    log = open(root / "bench-publisher.log", "wb")
    proc = subprocess.Popen([sys.executable, str(REPO / "tools" / "publisher_server.py"), "--port", str(port),
                             "--port-file", str(port_file), "--max-seconds", "3600", "--quiet"],
                            stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    log.close()
    deadline = time.time() + 15
    while not port_file.exists():
        if proc.poll() is not None or time.time() > deadline:
            proc.kill()
            sys.exit(f"the publisher server did not start, see {root / 'bench-publisher.log'}")
        time.sleep(0.05)
    return proc


def control(port, query):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/__control/{query}", timeout=30) as reply:
        return reply.read()


def run_wine(wine, exe, mode, url, out_path, log_path):
    out_path.unlink(missing_ok=True)
    proc = wine.start(["wine", str(exe), mode, url, wine.windows_path(out_path)], log_path)
    try:
        proc.wait(timeout=600)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    match = RESULT.search(Path(log_path).read_text(errors="replace"))
    size = out_path.stat().st_size if out_path.exists() else 0
    out_path.unlink(missing_ok=True)
    if not match:
        return None
    return {"bytes": size, "seconds": float(match.group(4)) / 1000.0, "messages": int(match.group(5)),
            "reads": int(match.group(6)), "peak": int(match.group(7)), "flush": float(match.group(8)) / 1000.0}


def run_curl(url, out_path):
    out_path.unlink(missing_ok=True)
    started = time.perf_counter()
    subprocess.run(["curl", "-s", "-o", str(out_path), url], stdin=subprocess.DEVNULL, timeout=600)
    seconds = time.perf_counter() - started
    size = out_path.stat().st_size if out_path.exists() else 0
    out_path.unlink(missing_ok=True)
    return {"bytes": size, "seconds": seconds, "messages": 0, "reads": 0, "peak": 0}


def bench_size(wine, exe, port, mib, runs, work):
    size = mib << 20
    path = f"/bench/{mib}mib.bin"
    control(port, f"make-file?path={path}&size={size}")
    url = f"http://127.0.0.1:{port}{path}"
    results = {mode: [] for mode in MODES}
    for run in range(runs):
        for mode in MODES:   # interleaved, so a slow moment of the machine hits every mode
            out = work / f"out-{mode}.bin"
            if mode == "d":
                r = run_curl(url, out)
            else:
                r = run_wine(wine, exe, mode, url, out, work / f"run-{mode}.log")
            if not r or r["bytes"] != size:
                sys.exit(f"{MODES[mode]}: run {run + 1} of {mib} MiB failed ({r}), see {work}")
            results[mode].append(r)
    return size, results


def report(mib, size, results):
    # The machine is shared: the best run shows what the code can do, the median what a
    # busy machine gives. Ratios are given for both.
    best = {m: size / 1e6 / min(r["seconds"] for r in rs) for m, rs in results.items()}
    median = {m: size / 1e6 / statistics.median(r["seconds"] for r in rs) for m, rs in results.items()}
    print(f"\n{mib} MiB file, {len(results['a'])} runs each            best      median")
    for mode, name in MODES.items():
        line = f"  ({mode}) {name:28s} {best[mode]:7.1f} MB/s {median[mode]:7.1f} MB/s"
        if mode != "d":
            peak = max(r["peak"] for r in results[mode]) / (1 << 20)
            line += f"   peak working set {peak:5.1f} MiB"
        if mode == "a":
            line += f", {results[mode][0]['messages']} messages"
        if mode == "b":
            line += f", {results[mode][0]['reads']} reads"
        print(line)
    for label, rate in (("best", best), ("median", median)):
        print(f"  {label:6s} a/b {rate['a'] / rate['b']:.2f}   a/c {rate['a'] / rate['c']:.2f}   "
              f"a/d {rate['a'] / rate['d']:.2f}")
    # Each run times (a) and (b) back to back: their ratio within a run is spared the
    # machine's slower and faster minutes.
    paired = [b["seconds"] / a["seconds"] for a, b in zip(results["a"], results["b"])]
    print(f"  paired a/b, run by run: best {max(paired):.2f}, median {statistics.median(paired):.2f}")
    # The downloader flushes only a file that replaces an earlier one (a new file has
    # nothing to protect); the benchmark's files are new, so (a) never pays it.
    flushes = [r["flush"] for r in results["b"]]
    best_a = min(r["seconds"] for r in results["a"])
    print(f"  flush of the written file (FlushFileBuffers, after (b)): best {min(flushes) * 1000:.0f} ms, "
          f"median {statistics.median(flushes) * 1000:.0f} ms; as a share of (a)'s best time: "
          f"{min(flushes) / best_a:.2f} to {statistics.median(flushes) / best_a:.2f}")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sizes", default="16,256", help="file sizes in MiB, comma-separated")
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    root = Path(os.environ.get("MELVORA_BUILD_ROOT", REPO / "build")).resolve()
    port = int(os.environ.get("MELVORA_TEST_PORT", "47180"))
    if not shutil.which("curl"):
        sys.exit("curl is missing")

    print(f"building bench_download.exe ({wine_arch()})", flush=True)
    exe = build(root, port)
    work = root / "bench-work"
    work.mkdir(parents=True, exist_ok=True)
    wine = WineEnv(root, display=None)
    server = None
    try:
        wine.prepare(need_display=True)
        wine.start_wineserver()
        server = start_server(root, port)
        for mib in (int(s) for s in args.sizes.split(",")):
            print(f"timing {mib} MiB ...", flush=True)
            size, results = bench_size(wine, exe, port, mib, args.runs, work)
            report(mib, size, results)
    finally:
        if server:
            server.terminate()
            server.wait(timeout=10)
        wine.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
