#!/usr/bin/env python3
"""Makes the partner copies of a (signed) setup program: Setup.exe -> Setup_<id>.exe.

The installer takes its partner id from its own file name: the text after the first "_"
up to the first ".", cut at a "[". The signature does not cover the file name, so one
signed program serves every partner: the copies are byte for byte the same file.

Usage:
  tools/make_partner_copies.py build/win/Setup.exe nv01 nv02 -o dist/
  tools/make_partner_copies.py build/win/Setup.exe --list partners.txt -o dist/ [--force]

A list file has one partner id a line; blank lines and lines starting with "#" are
skipped. Ids that would not survive as a Windows file name, would not read back as the
same partner id, or would not be safe in the server addresses the installer builds from
them are refused, and then nothing is made. Existing copies are replaced only with
--force. Exit status: 0 done, 1 could not read or write a file, 2 refused.
"""

import argparse
import os
import re
import shutil
import struct
import sys
import tempfile
from pathlib import Path

# Partner ids are short channel codes. The installer percent-encodes them in its server
# URLs (query and path); only characters that need no encoding there are allowed, so an id
# reads the same in the file name, the registry, every request and the server's files.
MAX_ID_LENGTH = 64
ID_CHARACTERS = re.compile(r"[A-Za-z0-9_~-]")
WINDOWS_FORBIDDEN = '\\/:*?"<>|'


class Refused(Exception):
    pass


def id_problem(pid):
    """Why `pid` cannot be a partner id, or None when it can."""
    if pid == "":
        return "is empty: a copy named Setup_.exe installs for an empty partner id"
    if len(pid) > MAX_ID_LENGTH:
        return f"is longer than {MAX_ID_LENGTH} characters"
    for ch in pid:
        if ch in ".[(":
            return f"contains {ch!r}, which ends the partner id in the file name"
        if ord(ch) < 32 or ord(ch) == 127:
            return f"contains the control character {ch!r}"
        if ch in WINDOWS_FORBIDDEN:
            return f"contains {ch!r}, which Windows does not allow in file names"
        if ch == " ":
            return "contains a space, which the installer drops at the end of an id and encodes in its server requests"
        if ord(ch) > 127:
            return (f"contains the non-ASCII character {ch!r}: the installer reads its name in the "
                    "system's ANSI code page, which differs between machines, and encodes it in its requests")
        if not ID_CHARACTERS.fullmatch(ch):
            return f"contains {ch!r}, which is not safe in an id: the installer's server requests would carry it encoded"
    return None


def partner_id_of(file_name):
    """The partner id the installer reads from its own file name."""
    if "_" not in file_name:
        return "melvora"
    pid = file_name.split("_", 1)[1]
    pid = pid[:pid.find(".")]   # nothing when there is no "."
    return pid.split("[", 1)[0]


def read_id_list(path):
    """(id, "file:line: ") pairs from a list file, one id a line."""
    try:
        text = Path(path).read_text(encoding="utf-8-sig")
    except (OSError, UnicodeDecodeError) as exc:
        raise Refused(f"cannot read the list {path}: {exc}")
    ids = []
    for number, line in enumerate(text.split("\n"), 1):
        line = line[:-1] if line.endswith("\r") else line
        if line.strip() == "" or line.lstrip().startswith("#"):
            continue
        ids.append((line, f"{path}:{number}: "))
    return ids


def check_ids(ids):
    """The ids to make, in order, without repeats; raises Refused listing every bad one."""
    problems = []
    seen = {}
    wanted = []
    for pid, where in ids:
        why = id_problem(pid)
        if why:
            problems.append(f"{where}partner id {pid!r} {why}")
            continue
        earlier = seen.get(pid.lower())
        if earlier is None:
            seen[pid.lower()] = pid
            wanted.append(pid)
        elif earlier != pid:
            # Windows file names ignore case: the two copies would be one file.
            problems.append(f"{where}partner id {pid!r} differs from {earlier!r} only in case")
    if problems:
        raise Refused("\n".join(problems))
    if not wanted:
        raise Refused("no partner ids given")
    return wanted


def copy_stem(setup):
    """The name the copies start with: Setup.exe -> "Setup"."""
    stem = setup.name.split(".", 1)[0]
    if stem == "" or "_" in stem or "[" in stem:
        raise Refused(f"{setup.name}: the copies' names must start with a name without '_' and '[' "
                      "(such as Setup.exe), or they would not read back as their partner ids")
    return stem


def signature_size(setup):
    """Size of the Authenticode signature in a Windows program (0: unsigned)."""
    with open(setup, "rb") as f:
        head = f.read(4096)
    if len(head) < 64 or head[:2] != b"MZ":
        raise Refused(f"{setup} is not a Windows program")
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if pe + 24 + 2 > len(head) or head[pe:pe + 4] != b"PE\0\0":
        raise Refused(f"{setup} is not a Windows program")
    optional = pe + 24
    magic = struct.unpack_from("<H", head, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    security = directories + 4 * 8   # the certificate table is data directory 4
    if security + 8 > len(head):
        return 0
    return struct.unpack_from("<I", head, security + 4)[0]


def make_copies(setup, ids, out_dir, force, say=print):
    setup = Path(setup)
    if not setup.is_file():
        raise Refused(f"{setup}: no such file")
    stem = copy_stem(setup)
    if signature_size(setup) == 0:
        say(f"warning: {setup} carries no signature, so its copies carry none either")
    targets = []
    for pid in ids:
        name = f"{stem}_{pid}.exe"
        if partner_id_of(name) != pid:   # the checks above should make this impossible
            raise Refused(f"{name} would read back as partner {partner_id_of(name)!r}, not {pid!r}")
        targets.append((pid, Path(out_dir) / name))
    existing = [str(t) for _, t in targets if t.exists()]
    if existing and not force:
        raise Refused("already there (use --force to replace): " + ", ".join(existing))
    Path(out_dir).mkdir(parents=True, exist_ok=True)
    for pid, target in targets:
        replaced = target.exists()
        # Copy beside the target and rename, so a copy is never seen half-written.
        fd, tmp = tempfile.mkstemp(prefix=".partner-", dir=str(target.parent))
        os.close(fd)
        try:
            shutil.copyfile(setup, tmp)
            shutil.copymode(setup, tmp)
            os.replace(tmp, target)
        except BaseException:
            os.unlink(tmp)
            raise
        say(f"{'replaced' if replaced else 'made'} {target} (partner {pid})")


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("setup", help="the signed setup program, such as build/win/Setup.exe")
    ap.add_argument("ids", nargs="*", help="partner ids")
    ap.add_argument("-l", "--list", action="append", default=[], help="file with one partner id a line")
    ap.add_argument("-o", "--out", help="folder for the copies (default: the setup program's folder)")
    ap.add_argument("-f", "--force", action="store_true", help="replace copies that exist")
    args = ap.parse_intermixed_args(argv)   # ids may come after the options too
    try:
        ids = [(pid, "") for pid in args.ids]
        for path in args.list:
            ids += read_id_list(path)
        wanted = check_ids(ids)
        make_copies(args.setup, wanted, args.out or Path(args.setup).parent, args.force)
    except Refused as exc:
        print(f"{Path(sys.argv[0]).name}: refused, nothing made:\n{exc}", file=sys.stderr)
        return 2
    except OSError as exc:
        print(f"{Path(sys.argv[0]).name}: {exc}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
