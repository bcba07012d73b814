#!/usr/bin/env python3
"""Builds and runs every test of the setup program, then prints one summary line.

  native   unit tests of the Windows-free logic (GoogleTest, with sanitizers)
  fuzz     the fuzz targets, each for a few seconds (libFuzzer, clang)
  server   the publisher tools' own tests: the loopback server, the site generator
           (Python unittest)
  wine     the Windows-side tests and the end-to-end tests, under Wine and Xvfb,
           against the loopback publisher server; the PE checks of Setup.exe and
           Uninstall.exe
  publish  a typical install under Wine from the site tools/publish_site.py makes,
           served by nginx on the same loopback ports
  signing  a signed Setup.exe (throw-away certificate), its partner copies, and
           certificates the build must refuse (Python unittest, osslsigncode, Wine)

Where the host runs 32-bit programs, the Windows stages build and run the shipped i686
programs in a 32-bit prefix; where it does not, the same sources built for x86_64 in a
64-bit prefix, and the i686 programs are still built and their PE headers checked.

Usage: tools/run_tests.py [--only native,fuzz,server,wine,publish,signing] [--fuzz-seconds N]
Environment: MELVORA_BUILD_ROOT (default build/), MELVORA_TEST_PORT (default 47180),
MELVORA_WINE_ARCH (i686 or x86_64: which build runs under Wine; default: what the host runs).
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tools"))
from winenv import WineEnv, toolchain_file, win_build_dir, wine_arch  # noqa: E402


class Tally:
    def __init__(self):
        self.passed = self.failed = self.skipped = 0
        self.problems = []

    def add(self, suite, passed, failed, skipped=0):
        self.passed += passed
        self.failed += failed
        self.skipped += skipped
        print(f"  {suite}: {passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""),
              flush=True)

    def broken(self, suite, why):
        self.failed += 1
        self.problems.append(f"{suite}: {why}")
        print(f"  {suite}: FAILED ({why})", flush=True)


def log(msg):
    print(msg, flush=True)


def run(cmd, log_path=None, **kw):
    if log_path:
        with open(log_path, "wb") as out:
            return subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, **kw).returncode
    return subprocess.run(cmd, **kw).returncode


def cmake_build(src, build, options, log_path, env=None, targets=None):
    build.mkdir(parents=True, exist_ok=True)
    if run(["cmake", "-S", str(src), "-B", str(build)] + options, log_path, env=env) != 0:
        return False
    jobs = str(max(1, os.cpu_count() or 1))
    with open(log_path, "ab") as out:
        rc = subprocess.run(["cmake", "--build", str(build), "-j", jobs] + (["--target"] + targets if targets else []),
                            stdout=out,
                            stderr=subprocess.STDOUT, env=env).returncode
    return rc == 0


def gtest_counts(xml_path):
    root = ET.parse(xml_path).getroot()
    tests = failed = skipped = 0
    for case in root.iter("testcase"):
        tests += 1
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.get("status") == "notrun" or case.get("result") == "skipped" or case.find("skipped") is not None:
            skipped += 1
    return tests - failed - skipped, failed, skipped


def report_gtest(tally, suite, xml_path, rc, log_path):
    if xml_path.exists():
        try:
            passed, failed, skipped = gtest_counts(xml_path)
        except ET.ParseError:
            tally.broken(suite, f"unreadable results, see {log_path}")
            return
        tally.add(suite, passed, failed, skipped)
        if failed:
            print_failures(log_path)
        if rc not in (0, 1):   # crashed after writing its results
            tally.broken(suite, f"exit code {rc}, see {log_path}")
    else:
        tally.broken(suite, f"no results (exit code {rc}), see {log_path}")
        print_tail(log_path)


def print_failures(log_path, limit=60):
    lines = Path(log_path).read_text(errors="replace").splitlines()
    shown = [line for line in lines if "Failure" in line or "FAILED" in line or "error:" in line.lower()]
    for line in shown[:limit]:
        print("    " + line)


def print_tail(log_path, n=30):
    try:
        lines = Path(log_path).read_text(errors="replace").splitlines()[-n:]
    except OSError:
        return
    for line in lines:
        print("    " + line)


# -- the stages -------------------------------------------------------------------

def stage_native(args, tally):
    build = args.root / "native"
    log_path = args.root / "native-build.log"
    log("native: building")
    if not cmake_build(REPO, build, ["-DMELVORA_TESTS=ON"], log_path):
        tally.broken("native build", f"see {log_path}")
        print_tail(log_path)
        return
    xml = args.root / "results" / "native.xml"
    xml.unlink(missing_ok=True)
    out = args.root / "native-tests.log"
    rc = run([str(build / "tests" / "native_tests"), f"--gtest_output=xml:{xml}"], out, timeout=600)
    report_gtest(tally, "native", xml, rc, out)


def stage_fuzz(args, tally):
    if args.fuzz_seconds <= 0:
        return
    clang = shutil.which("clang++")
    if not clang:
        tally.broken("fuzz", "clang++ is missing")
        return
    build = args.root / "fuzz"
    log_path = args.root / "fuzz-build.log"
    log("fuzz: building")
    env = dict(os.environ, CC="clang", CXX="clang++")
    if not cmake_build(REPO, build, ["-DMELVORA_TESTS=ON", "-DMELVORA_FUZZ=ON"], log_path, env=env):
        tally.broken("fuzz build", f"see {log_path}")
        print_tail(log_path)
        return
    targets = sorted(p for p in (build / "tests").glob("fuzz_*") if p.is_file() and os.access(p, os.X_OK))
    passed = failed = 0
    for target in targets:
        corpus = args.root / "fuzz-corpus" / target.name
        corpus.mkdir(parents=True, exist_ok=True)
        seeds = REPO / "tests" / "fuzz" / "seeds" / target.name
        dirs = [str(corpus)] + ([str(seeds)] if seeds.is_dir() else [])
        out = args.root / f"{target.name}.log"
        rc = run([str(target), f"-max_total_time={args.fuzz_seconds}", "-timeout=10", "-rss_limit_mb=2048",
                  f"-artifact_prefix={args.root}/"] + dirs, out, timeout=args.fuzz_seconds + 120)
        if rc == 0:
            passed += 1
        else:
            failed += 1
            print(f"    {target.name} found a problem, see {out}")
            print_tail(out, 20)
    tally.add("fuzz", passed, failed)


def run_unittest_dir(tally, suite_name, folder, log_path, env=None, pattern="test*.py"):
    """Runs the Python tests of a folder in this process and adds them to the tally."""
    saved = {k: os.environ.get(k) for k in (env or {})}
    os.environ.update(env or {})
    try:
        suite = unittest.defaultTestLoader.discover(str(folder), pattern=pattern, top_level_dir=str(folder))
        with open(log_path, "w") as out:
            result = unittest.TextTestRunner(stream=out, verbosity=2).run(suite)
    finally:
        for k, v in saved.items():
            if v is None:
                os.environ.pop(k, None)
            else:
                os.environ[k] = v
    failed = count_failed(result)
    skipped = len(result.skipped)
    tally.add(suite_name, result.testsRun - failed - skipped, failed, skipped)
    if failed:
        print_tail(log_path, 40)


def count_failed(result):
    """Failed tests of a unittest result; a test with several failing subtests counts once."""
    failing = {getattr(test, "test_case", test).id() for test, _ in result.failures + result.errors}
    return len(failing) + len(result.unexpectedSuccesses)


def stage_server(args, tally):
    tests = REPO / "tests" / "server"
    if not tests.is_dir():
        return
    log("server: running the publisher tools' tests")
    run_unittest_dir(tally, "server", tests, args.root / "server-tests.log")


def stage_signing(args, tally):
    tests = REPO / "tests" / "signing"
    if not tests.is_dir():
        return
    log("signing: building a signed Setup.exe and running its tests")
    # The tests build into and run Wine under this build root.
    os.environ["MELVORA_BUILD_ROOT"] = str(args.root)
    os.environ["MELVORA_TEST_PORT"] = str(args.port)
    suite = unittest.defaultTestLoader.discover(str(tests), top_level_dir=str(tests))
    with open(args.root / "signing-tests.log", "w") as out:
        result = unittest.TextTestRunner(stream=out, verbosity=2).run(suite)
    failed = count_failed(result)
    skipped = len(result.skipped)
    tally.add("signing", result.testsRun - failed - skipped, failed, skipped)
    if failed:
        print_tail(args.root / "signing-tests.log", 40)


def start_publisher(args, wine_env_root):
    content = wine_env_root / "publisher-content"
    if content.exists():
        shutil.rmtree(content)
    shutil.copytree(REPO / "tests" / "content", content)
    port_file = wine_env_root / "publisher.ports"
    port_file.unlink(missing_ok=True)
    log_file = open(wine_env_root / "publisher.log", "wb")
    proc = subprocess.Popen([sys.executable, str(REPO / "tools" / "publisher_server.py"), "--content", str(content),
                             "--port", str(args.port), "--port-file", str(port_file), "--max-seconds", "3600",
                             "--quiet"], stdout=log_file, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    log_file.close()
    deadline = time.time() + 15
    while not port_file.exists():
        if proc.poll() is not None or time.time() > deadline:
            proc.kill()
            raise RuntimeError(f"the publisher server did not start, see {wine_env_root / 'publisher.log'}")
        time.sleep(0.05)
    return proc


def start_proxy(port, folder):
    """The loopback proxy that asks for credentials (tools/auth_proxy.py) on port."""
    port_file = folder / "proxy.port"
    port_file.unlink(missing_ok=True)
    proc = subprocess.Popen([sys.executable, str(REPO / "tools" / "auth_proxy.py"), "--port", str(port),
                             "--port-file", str(port_file), "--max-seconds", "3600"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    deadline = time.time() + 15
    while not port_file.exists():
        if proc.poll() is not None or time.time() > deadline:
            proc.kill()
            raise RuntimeError(f"the loopback proxy did not start on port {port}")
        time.sleep(0.05)
    return proc


def stop_process(proc):
    proc.terminate()
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()


def convert_screenshots(folder):
    """The Windows tests save BMP files; keep PNG copies a person can open anywhere."""
    shots = sorted(folder.glob("*.bmp"))
    for bmp in shots:
        if subprocess.run(["/usr/bin/convert", str(bmp), str(bmp.with_suffix(".png"))],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
            bmp.unlink()
    if shots:
        log(f"wine: screenshots in {folder}")


def build_windows(args, tally, stage, arch=None, targets=None):
    """Setup.exe and the Windows tests for the loopback ports, built for arch (default: the
    one that runs here); None when the build failed. targets limits what is built."""
    arch = arch or wine_arch()
    build = win_build_dir(args.root, "test-win", arch)
    log_path = args.root / ("win-build.log" if arch == "i686" else f"win-build-{arch}.log")
    log(f"{stage}: building the Windows program" + (" and tests" if not targets else "") + f" ({arch})")
    p = args.port
    options = ["-DCMAKE_TOOLCHAIN_FILE=" + str(toolchain_file(arch)), "-DMELVORA_TESTS=ON",
               f"-DPRODUCT_HOST=127.0.0.1:{p}", f"-DSTATS_HOST=127.0.0.1:{p + 1}", f"-DLOG_HOST=127.0.0.1:{p + 2}"]
    if not cmake_build(REPO, build, options, log_path, targets=targets):
        tally.broken(f"windows build ({arch})", f"see {log_path}")
        print_tail(log_path)
        return None
    return build


def check_programs(args, tally, build, arch):
    """The PE checks of one build's Setup.exe and Uninstall.exe; with the i686 build, also
    the README's build of the shipped program."""
    run_unittest_dir(tally, f"setup.exe ({arch})", REPO / "tests" / "build",
                     args.root / f"setup-exe-tests-{arch}.log",
                     {"MELVORA_SETUP_EXE_PATH": str(build / "Setup.exe"),
                      "MELVORA_UNINSTALL_EXE_PATH": str(build / "Uninstall.exe"),
                      "MELVORA_EXE_ARCH": arch},
                     pattern="test*.py" if arch == "i686" else "test_setup_exe.py")


# The full-disk tests' disk: room for the setup's small files, not for a large player.
SMALL_DISK_SIZE = "1m"


def stage_wine(args, tally):
    arch = wine_arch()
    if arch != "i686":
        # Only the x86_64 build runs here; the shipped 32-bit programs must still build.
        shipped = build_windows(args, tally, "wine", "i686", targets=["Setup", "Uninstall"])
        if shipped:
            check_programs(args, tally, shipped, "i686")
    build = build_windows(args, tally, "wine")
    if not build:
        return
    p = args.port
    check_programs(args, tally, build, arch)
    suites = [(name, build / "tests" / f"{name}.exe") for name in ("win_tests", "e2e_tests")]
    suites = [(name, exe) for name, exe in suites if exe.exists()]
    if not suites:
        return

    wine = WineEnv(args.root, display=None)
    server = proxy = None
    try:
        log(f"wine: preparing the {'32' if arch == 'i686' else '64'}-bit prefix and the display")
        wine.prepare(need_display=True)
        extra = {
            "MELVORA_TEST_PORT": str(p),
            "MELVORA_PROXY_PORT": str(p + 3),
            "MELVORA_SETUP_EXE": wine.windows_path(build / "Setup.exe"),
            "MELVORA_ARTIFACTS": wine.windows_path(args.root / "artifacts"),
        }
        # A disk that fills up for real, for the tests of a full disk (root only: a tmpfs
        # in a private mount namespace; without it those tests say they were skipped).
        if os.geteuid() == 0 and shutil.which("unshare") and shutil.which("nsenter"):
            small = args.root / "small-disk"
            try:
                wine.small_disk(small, SMALL_DISK_SIZE)
                extra["MELVORA_SMALL_DISK"] = wine.windows_path(small)
            except RuntimeError as exc:
                log(f"wine: {exc}; the full-disk test is skipped")
        wine.start_wineserver()
        server = start_publisher(args, args.root)
        proxy = start_proxy(p + 3, args.root)
        artifacts = args.root / "artifacts"
        if artifacts.exists():
            shutil.rmtree(artifacts)
        artifacts.mkdir()
        for name, exe in suites:
            log(f"wine: running {name}")
            xml = args.root / "results" / f"{name}.xml"
            xml.unlink(missing_ok=True)
            out = args.root / f"{name}.log"
            cmd = ["wine", str(exe), "--gtest_output=xml:" + wine.windows_path(xml)]
            if args.gtest_filter:
                cmd.append("--gtest_filter=" + args.gtest_filter)
            proc = wine.start(cmd, out, extra)
            try:
                rc = proc.wait(timeout=args.wine_timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                rc = "timeout"
            report_gtest(tally, name, xml, rc, out)
        convert_screenshots(artifacts)
    except Exception as exc:  # the environment itself failed
        tally.broken("wine", str(exc))
    finally:
        for proc in (server, proxy):
            if proc:
                stop_process(proc)
        wine.close()


def stage_publish(args, tally):
    tests = REPO / "tests" / "publish"
    if not tests.is_dir():
        return
    started = time.time()
    build = build_windows(args, tally, "publish")
    if not build:
        return
    log("publish: a typical install from the generated site, served by nginx")
    run_unittest_dir(tally, "publish", tests, args.root / "publish-tests.log",
                     {"MELVORA_BUILD_ROOT": str(args.root), "MELVORA_TEST_PORT": str(args.port),
                      "MELVORA_WIN_BUILD": str(build)})
    log(f"publish: took {time.time() - started:.0f} s (log: {args.root / 'publish-tests.log'})")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--only", default="native,fuzz,server,wine,publish,signing")
    ap.add_argument("--fuzz-seconds", type=int, default=int(os.environ.get("MELVORA_FUZZ_SECONDS", "5")))
    ap.add_argument("--gtest-filter", default="")
    ap.add_argument("--wine-timeout", type=int, default=1800)
    args = ap.parse_args()
    args.root = Path(os.environ.get("MELVORA_BUILD_ROOT", REPO / "build")).resolve()
    args.port = int(os.environ.get("MELVORA_TEST_PORT", "47180"))
    (args.root / "results").mkdir(parents=True, exist_ok=True)

    stages = {"native": stage_native, "fuzz": stage_fuzz, "server": stage_server, "wine": stage_wine,
              "publish": stage_publish, "signing": stage_signing}
    tally = Tally()
    started = time.time()
    for name in args.only.split(","):
        stages[name.strip()](args, tally)
    arch = wine_arch()
    print(f"\n(build folder {args.root}; {time.time() - started:.0f} s; Windows programs run under Wine: {arch}"
          + (", in a 32-bit prefix)" if arch == "i686" else ", in a 64-bit prefix; the i686 build was only built and checked)"))
    for problem in tally.problems:
        print("problem: " + problem)
    summary = f"{tally.passed} passed, {tally.failed} failed"
    if tally.skipped:
        summary += f", {tally.skipped} skipped"
    print(summary)
    return 0 if tally.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
