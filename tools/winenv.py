"""A private Wine environment for running the setup program and its tests.

Everything lives under one build folder: the Wine prefix (Korean locale so the ANSI code
page is 949), a compiled ko_KR.UTF-8 locale for Wine's Unix side, and an Xvfb display when
no display is given. Used by tools/run_tests.py, tools/demo.py, the benchmark and the
Python tests.

Which build runs is decided here, once, for every tool: the shipped 32-bit program in a
32-bit prefix where the host runs 32-bit code, else the same sources built for x86_64 in
a 64-bit prefix (see wine_arch).
"""

import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

PREFIX_VERSION = "4"   # bump when the prefix settings below change
REPO = Path(__file__).resolve().parent.parent
ARCHES = ("i686", "x86_64")
# Debian's loaders: "wine" (on the PATH) starts the 32-bit one whenever it is installed;
# the 64-bit one is only reached by its path.
WINE64_LOADER = "/usr/lib/wine/wine64"

_probed_arch = None


def wine_arch():
    """"i686" where this host starts Wine's 32-bit loader, else "x86_64". MELVORA_WINE_ARCH
    (i686 or x86_64) forces one."""
    global _probed_arch
    forced = os.environ.get("MELVORA_WINE_ARCH", "").strip()
    if forced:
        if forced not in ARCHES:
            raise RuntimeError(f"MELVORA_WINE_ARCH must be one of {', '.join(ARCHES)}, not '{forced}'")
        return forced
    if _probed_arch is None:
        # Hosts that refuse 32-bit programs answer 126 ("Exec format error").
        try:
            rc = subprocess.run(["wine", "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL, timeout=120).returncode
        except (OSError, subprocess.TimeoutExpired):
            rc = None
        _probed_arch = "i686" if rc == 0 else "x86_64"
    return _probed_arch


def toolchain_file(arch=None):
    """The CMake toolchain file that builds the Windows programs for arch."""
    return REPO / "cmake" / f"mingw-{arch or wine_arch()}.cmake"


def win_build_dir(root, name, arch=None):
    """A Windows build folder under root: name itself for the i686 build, name-x86_64 for
    the other, so that both can live side by side."""
    arch = arch or wine_arch()
    return Path(root) / (name if arch == "i686" else f"{name}-{arch}")

# Wine's TLS checks a server's certificate against this bundle of the host, not against
# the prefix's certificate stores.
TRUST_BUNDLE = Path("/etc/ssl/certs/ca-certificates.crt")


class WineEnv:
    def __init__(self, root, display=None, log=print, arch=None):
        self.root = Path(root).resolve()
        self.arch = arch or wine_arch()
        self.prefix = win_build_dir(self.root, "wineprefix", self.arch)
        # "wine" at the head of a command means this arch's loader (see _command).
        self.loader = "wine" if self.arch == "i686" else WINE64_LOADER
        self.locale_dir = self.root / "locale"
        self.display = display
        self.log = log
        self._xvfb = None
        self._namespace = None
        self.command_prefix = []   # put before every Wine command (see trust_ca)
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEARCH": "win32" if self.arch == "i686" else "win64",
            "WINEDEBUG": "-all",
            "LC_ALL": "ko_KR.UTF-8",
            "LOCPATH": str(self.locale_dir),
            "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mshtml=d",
        })
        if self.arch != "i686":
            self.env["WINELOADER"] = WINE64_LOADER

    # -- set-up -----------------------------------------------------------------

    def prepare(self, need_display=True):
        self._make_locale()
        if need_display and not self.display:
            self._start_xvfb()
        if self.display:
            self.env["DISPLAY"] = self.display
        self._make_prefix()

    def _make_locale(self):
        target = self.locale_dir / "ko_KR.UTF-8"
        if (target / "LC_CTYPE").exists():
            return
        self.locale_dir.mkdir(parents=True, exist_ok=True)
        subprocess.run(["localedef", "-i", "ko_KR", "-f", "UTF-8", str(target)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not (target / "LC_CTYPE").exists():
            raise RuntimeError("could not build the ko_KR.UTF-8 locale (package 'locales')")

    def _start_xvfb(self):
        for n in range(91, 200):
            if not Path(f"/tmp/.X{n}-lock").exists() and not Path(f"/tmp/.X11-unix/X{n}").exists():
                break
        else:
            raise RuntimeError("no free X display number")
        self._xvfb = subprocess.Popen(
            ["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.time() + 10
        while not Path(f"/tmp/.X11-unix/X{n}").exists():
            if time.time() > deadline or self._xvfb.poll() is not None:
                raise RuntimeError("Xvfb did not start")
            time.sleep(0.05)
        self.display = f":{n}"

    def _make_prefix(self):
        marker = self.prefix / ".melvora-prefix"
        if marker.exists() and marker.read_text().strip() == PREFIX_VERSION:
            return
        if self.prefix.exists():
            self.kill_wineserver()
            shutil.rmtree(self.prefix)
        self.log("wine: creating the test prefix (first run takes a few seconds)")
        self.run_quiet(["wine", "wineboot", "-i"], timeout=300)
        self.run_quiet(["wineserver", "-w"], timeout=60)
        self._own_user_folders()
        settings = [
            # Hiding and destroying windows takes seconds without a window manager
            # unless Wine draws the frames itself.
            (r"HKCU\Software\Wine\X11 Driver", "Managed", "N"),
            (r"HKCU\Software\Wine\X11 Driver", "Decorated", "Y"),
            # The dialog asks for the classic Korean faces; the host has Nanum fonts.
            (r"HKCU\Software\Wine\Fonts\Replacements", "굴림", "NanumGothic"),
            (r"HKCU\Software\Wine\Fonts\Replacements", "돋움", "NanumGothic"),
            (r"HKCU\Software\Wine\Fonts\Replacements", "Gulim", "NanumGothic"),
            (r"HKCU\Software\Wine\Fonts\Replacements", "Dotum", "NanumGothic"),
        ]
        for key, name, value in settings:
            self.run_quiet(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"], timeout=60)
        self.run_quiet(["wineserver", "-w"], timeout=60)
        marker.write_text(PREFIX_VERSION + "\n")

    def _own_user_folders(self):
        """wineboot links the user's Desktop, Documents and the like to the host's home
        folder, which every prefix shares: a shortcut one test run puts on the desktop
        would be seen, and deleted, by runs in other prefixes. Give this prefix its own."""
        users = self.prefix / "drive_c" / "users"
        for user in users.iterdir():
            if user.is_symlink() or not user.is_dir():
                continue
            for entry in user.iterdir():
                if entry.is_symlink():
                    entry.unlink()
                    entry.mkdir()

    # -- running ----------------------------------------------------------------

    def _command(self, args):
        args = list(args)
        if args and args[0] == "wine":
            args[0] = self.loader
        return self.command_prefix + args

    def run_quiet(self, args, timeout=60, log_path=None):
        # Wine's background processes inherit our pipes, so output goes to files only.
        out = open(log_path, "wb") if log_path else subprocess.DEVNULL
        try:
            return subprocess.run(self._command(args), env=self.env, stdout=out,
                                  stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return None
        finally:
            if log_path:
                out.close()

    def start(self, args, log_path, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        out = open(log_path, "wb")
        try:
            return subprocess.Popen(self._command(args), env=env, stdout=out,
                                    stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        finally:
            out.close()

    def windows_path(self, path):
        return "Z:" + str(Path(path).resolve()).replace("/", "\\")

    def unix_path(self, windows_path):
        """Where a C:\\ path of the prefix lies on this machine."""
        drive, _, rest = windows_path.partition(":")
        if drive.upper() != "C" or not rest.startswith("\\"):
            raise ValueError(f"not a path on the prefix's drive C: {windows_path}")
        return self.prefix / "drive_c" / Path(*rest.strip("\\").split("\\"))

    def folders(self):
        """The prefix's folders as the programs that run here see them (their own registry
        view, so the 64-bit one's Program Files in a 64-bit prefix), as Unix paths:
        program_files, common_programs, desktop, quick_launch."""
        if getattr(self, "_folders", None):
            return self._folders
        values = {}
        for key in (r"HKLM\Software\Microsoft\Windows\CurrentVersion",
                    r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders",
                    r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"):
            out = self.root / "folders-query.txt"
            if self.run_quiet(["wine", "reg", "query", key], timeout=60, log_path=out) != 0:
                raise RuntimeError(f"could not read {key} in the prefix")
            for line in out.read_bytes().decode("cp949", "replace").splitlines():
                name, kind, value = (line.strip().split("    ", 2) + ["", ""])[:3]
                if kind.strip() == "REG_SZ":
                    values[name.strip()] = value.strip()
            out.unlink()
        self._folders = {
            "program_files": self.unix_path(values["ProgramFilesDir"]),
            "common_programs": self.unix_path(values["Common Programs"]),
            "desktop": self.unix_path(values["Desktop"]),
            "quick_launch": self.unix_path(values["AppData"]) / "Microsoft" / "Internet Explorer" / "Quick Launch",
        }
        return self._folders

    def start_wineserver(self):
        # A persistent server makes each program start in well under a second.
        self.run_quiet(["wineserver", "-p"], timeout=30)

    def kill_wineserver(self):
        env = dict(self.env)
        subprocess.run(self.command_prefix + ["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    # -- a certificate authority trusted for a while -------------------------------

    def trust_ca(self, ca_pem, folder):
        """From now on runs every Wine program, wineserver included, in a private mount
        namespace in which the host's trust bundle also holds ca_pem: Wine then trusts
        servers with certificates from that authority. The machine's own bundle is not
        touched. Needs root (unshare -m); forget_ca or close ends it."""
        copy = Path(folder) / "ca-certificates.crt"
        copy.write_bytes(TRUST_BUNDLE.read_bytes().rstrip(b"\n") + b"\n" + Path(ca_pem).read_bytes())
        self._enter_namespace('mount --bind "$1" "$2"', [str(copy), str(TRUST_BUNDLE)],
                              "could not trust a test certificate authority: unshare -m and mount --bind need root")

    def small_disk(self, folder, size="1m"):
        """From now on runs every Wine program, wineserver included, in a private mount
        namespace in which folder is a fresh tmpfs of the given size: a disk that fills up
        for real. Outside the namespace folder stays an empty folder of the host. Needs
        root (unshare -m); close ends it."""
        Path(folder).mkdir(parents=True, exist_ok=True)
        self._enter_namespace('mount -t tmpfs -o size="$2",mode=0777 melvora-small-disk "$1"', [str(folder), size],
                              "could not make a small disk: unshare -m and mount -t tmpfs need root")

    def _enter_namespace(self, mount_script, mount_args, failure):
        """Starts a process that holds a private mount namespace once mount_script has run
        in it, and runs every later Wine command inside that namespace."""
        self.forget_ca()
        # A wineserver outside the namespace would serve the programs started inside it.
        self.kill_wineserver()
        holder = subprocess.Popen(["unshare", "--mount", "--propagation", "private", "sh", "-c",
                                   mount_script + " && exec sleep infinity", "sh"] + mount_args,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Entering it is safe only once the mount is made, that is once "sleep" runs.
        cmdline = Path(f"/proc/{holder.pid}/cmdline")
        deadline = time.time() + 10
        while True:
            if holder.poll() is not None or time.time() > deadline:
                holder.kill()
                holder.wait()
                raise RuntimeError(failure)
            try:
                if cmdline.read_bytes().startswith(b"sleep\0"):
                    break
            except OSError:
                pass
            time.sleep(0.02)
        self._namespace = holder
        self.command_prefix = ["nsenter", f"--target={holder.pid}", "--mount", "--"]

    def forget_ca(self):
        """Ends trust_ca (or small_disk): Wine runs outside the namespace again, with a new
        wineserver."""
        if not self._namespace:
            return
        self.kill_wineserver()
        self.command_prefix = []
        self._namespace.kill()
        self._namespace.wait()
        self._namespace = None

    def screenshot(self, png_path, window_id="root"):
        subprocess.run(["/usr/bin/import", "-display", self.env["DISPLAY"], "-window", window_id, str(png_path)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def close(self):
        try:
            self.kill_wineserver()
            self.forget_ca()
        except Exception:
            pass
        if self._xvfb:
            try:
                os.killpg(self._xvfb.pid, signal.SIGTERM)
                self._xvfb.wait(timeout=10)
            except Exception:
                pass
            self._xvfb = None
