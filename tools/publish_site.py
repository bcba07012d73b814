#!/usr/bin/env python3
"""Makes the publisher's site from one partner table: static files for the product,
statistics and log hosts, and an nginx configuration that serves them.

Usage:
  tools/publish_site.py partners.toml --check           check the table and its files, write nothing
  tools/publish_site.py partners.toml -o site/           make the site in site/
  tools/publish_site.py partners.toml -o site/ --root /srv/melvora --log-dir /var/log/nginx
  tools/publish_site.py partners.toml -o trial/site --log-dir $PWD/trial/logs \
      --hosts 127.0.0.1:47080,127.0.0.1:47081,127.0.0.1:47082     the same site at other hosts

The table (TOML, or JSON of the same shape) is described, with an example, in
docs/partners.example.toml. Paths in it are relative to the table's folder.

What lands in the output folder:
  product/   terms of use (CP949), each partner's component list, the download tree
             app/ver_file/uninstall/... and app/ver_file/<id>/<version>/..., the [files]
  stats/     each partner's version reply
  log/       the install log's fixed answer
  nginx/     melvora.conf (three server blocks, for nginx's http block), nginx.conf
             (a whole configuration around it, for trying the site), melvora.htpasswd
The answers to queries are files: /app/setup/setup.php?pid=<id> is product/app/setup/
setup.php/<id>.txt, /app/ver.php?...&pid=<id> is stats/app/ver.php/<id>.txt; an id
without a file gets 404.html, whose text holds "404 Not Found".

--root names where the output folder will be on the web server (default: where it is
made); --log-dir where nginx writes the JSON access logs that tools/install_counts.py
reads (made here when it is missing). --hosts serves the site at other hosts than the
table's (product,stats,log), for trying it on one machine. Both --check and a made site
print the build command of the Setup.exe that asks exactly these hosts. An output folder
made by this program before is replaced; any other is refused. A table without
"uninstall" gets this repository's uninstaller (--uninstaller, default build/win/
Uninstall.exe, as the README's build makes it; a stand-in when it is not built and the
table allows stand-ins) and a generated Uninstall.ini that adds nothing to what the
uninstaller removes anyway.

A source file whose name ends in .utf8 is UTF-8 text and is served in code page 949, as
the loopback publisher server serves such files: CRLF line breaks, no line break at the
end, {PRODUCT}, {STATS} and {LOG} replaced by the hosts. With stand_ins = true in the
table, a payload file that is not there is served as a stand-in (a short text naming it)
instead of being an error, so that the example runs before the real programs are at hand.
Exit status: 0 done, 1 a file could not be read or written, 2 the table was refused.
"""

import argparse
import base64
import hashlib
import json
import os
import re
import shutil
import sys
import tempfile
import tomllib
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from make_partner_copies import Refused, check_ids  # noqa: E402
import site_nginx  # noqa: E402

REPO = Path(__file__).resolve().parent.parent
PRODUCT_CONSTANTS = REPO / "sys" / "ProductConstants.h"   # the credentials Setup.exe is built with
REALM = "MELVORA"

ROLES = ("product", "stats", "log")
PLAYER_FILES = ("MELVORA.exe", "ZUZade.dll", "RAZezazi.exe")   # under the player version
UPDATER_FILES = ("VIVoreder.exe",)                            # under the updater version
UNINSTALL_FILES = ("Uninstall.exe", "Uninstall.ini")
BUILT_UNINSTALLER = REPO / "build" / "win" / "Uninstall.exe"
# What the uninstaller removes beyond the setup's own files: nothing, until a publisher
# lists what the player makes (docs/publisher-guide.md, "The uninstaller").
GENERATED_UNINSTALL_INI = (
    "; Uninstall.ini, made by tools/publish_site.py.\r\n"
    "; [Remove] may list what the player makes in its install folder, to be removed with it:\r\n"
    ";   File=<path inside the install folder>\r\n"
    ";   Folder=<path inside the install folder>\r\n"
    ";   Key=HKCU\\Software\\MELVORA\\<subkey> or Key=HKLM\\Software\\MELVORA[\\<subkey>]\r\n"
    "[Remove]\r\n")
TERMS_PATH = "/Lisence/melvora_licence.txt"
AGREEMENT_PATH = "/Lisence/agree.php"
GENERATED_PATHS = (TERMS_PATH, "/app/setup/setup.php", "/app/ver_file/", "/404.html")
MAX_COMPONENTS = 10   # the installer reads no more rows than this
NOT_FOUND_PAGE = "<html><head><title>404 Not Found</title></head><body><h1>404 Not Found</h1></body></html>\n"
LOG_ANSWER = "OK"
MARKER = ".melvora-site"
HOST = re.compile(r"(?P<name>[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}"
                  r"[A-Za-z0-9])?)*)(:(?P<port>[0-9]{1,5}))?")
# Versions become folder names on the server and values in the user's registry.
VERSION = re.compile(r"[A-Za-z0-9][A-Za-z0-9._-]{0,31}")
PLACEHOLDER = re.compile(r"\{([A-Z]+)\}")
FILE_NAME_FORBIDDEN = set('\\/:*?"<>|')
TOP_KEYS = {"hosts", "terms", "terms_file", "uninstall", "files", "partners", "stand_ins"}
PARTNER_KEYS = {"player", "player_files", "updater", "updater_files", "components"}
COMPONENT_KEYS = ("check", "installer", "name", "description", "page", "mandatory")
BUILD_COMMAND = ("cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake "
                 "-DPRODUCT_HOST={product} -DSTATS_HOST={stats} -DLOG_HOST={log}")


# A source of a file of the site is a Path (copied as it is) or bytes (made here: texts
# from .utf8 sources, stand-ins).

@dataclass
class Partner:
    pid: str
    player: str
    updater: str
    player_files: dict                           # file name -> source
    updater_files: dict
    rows: list = field(default_factory=list)   # component rows, each six texts


@dataclass
class Site:
    hosts: dict
    terms: str
    uninstall: dict                              # Uninstall.exe, Uninstall.ini -> source
    files: dict                                  # URL path on the product host -> source
    partners: list


class Problems:
    def __init__(self):
        self.errors, self.warnings, self.stand_ins = [], [], []

    def error(self, where, text):
        self.errors.append(f"{where}: {text}")

    def warn(self, where, text):
        self.warnings.append(f"{where}: {text}")


def load_table(path):
    path = Path(path)
    try:
        data = path.read_bytes()
    except OSError as exc:
        raise OSError(f"cannot read the table {path}: {exc.strerror}")
    try:
        if path.suffix.lower() == ".json":
            return json.loads(data.decode("utf-8-sig"))
        return tomllib.loads(data.decode("utf-8-sig"))
    except (ValueError, UnicodeDecodeError) as exc:   # tomllib and json errors are ValueErrors
        raise Refused(f"{path}: not a readable {'JSON' if path.suffix.lower() == '.json' else 'TOML'} table: {exc}")


# -- checking the table ---------------------------------------------------------------

def text_of(value, where, problems, required=True):
    if value is None:
        if required:
            problems.error(where, "is missing")
        return ""
    if not isinstance(value, str):
        problems.error(where, "must be a text")
        return ""
    return value


def cp949_problem(text):
    try:
        text.encode("cp949")
        return None
    except UnicodeEncodeError as exc:
        return f"{text[exc.start:exc.end]!r} cannot be written in code page 949"


def check_unknown(table, known, where, problems):
    for key in table:
        if key not in known:
            problems.error(f"{where}{key}", f"unknown setting (known: {', '.join(sorted(known))})")


def read_hosts(hosts, where, problems):
    if not isinstance(hosts, dict):
        problems.error(where, "missing: a table of product, stats and log, each host or host:port")
        return {}
    check_unknown(hosts, set(ROLES), f"{where}.", problems)
    found = {}
    for role in ROLES:
        host = text_of(hosts.get(role), f"{where}.{role}", problems)
        m = HOST.fullmatch(host)
        if host and (not m or (m["port"] and not 0 < int(m["port"]) < 65536)):
            problems.error(f"{where}.{role}", f"{host!r} is not host or host:port")
        elif host:
            found[role] = host.lower() if m["port"] else host.lower() + ":80"
    if len(set(found.values())) < len(found):
        problems.error(where, "the three hosts must differ: each has its own server block, told apart by "
                              "name and port (three names for one machine are fine)")
    return {role: hosts[role] for role in found}


class Payload:
    """Finds the files the table names, relative to its folder. Each missing file is one
    problem, told where the table names it; with stand_ins it is served as a stand-in."""

    def __init__(self, base, stand_ins, hosts, problems):
        self.base, self.stand_ins, self.hosts, self.problems = base, stand_ins, hosts, problems

    def file(self, text, where):
        """The source of one file, or None when it cannot be had (the problem is told)."""
        path = self.base / text
        if not path.is_file():
            why = f"{path} is not {'a file' if path.exists() else 'there'}"
            return self.stand_in(text) if self.missing(where, why, [text]) else None
        if path.suffix.lower() != ".utf8":
            return path
        try:
            source = path.read_text(encoding="utf-8-sig")
        except (OSError, UnicodeDecodeError) as exc:
            self.problems.error(where, f"cannot read {path} as UTF-8: {exc}")
            return None
        source = expand(source.replace("\r\n", "\n").rstrip("\n").replace("\n", "\r\n"), self.hosts)
        why = cp949_problem(source)
        if why:
            self.problems.error(where, f"{path}: {why}")
            return None
        return source.encode("cp949")

    def folder(self, value, where, names):
        """name -> source for each of the given files of a payload folder, or None."""
        text = text_of(value, where, self.problems)
        if not text:
            return None
        folder = self.base / text
        missing = [name for name in names if not (folder / name).is_file()]
        why = f"{folder} is not there" if not folder.is_dir() else f"{folder} lacks {', '.join(missing)}"
        if missing and not self.missing(where, why, [f"{text}/{name}" for name in missing]):
            return None
        return {name: folder / name if name not in missing else self.stand_in(f"{text}/{name}")
                for name in names}

    def missing(self, where, why, texts):
        """Tells of missing files once; True when stand-ins take their place."""
        if self.stand_ins:
            self.problems.stand_ins.append(f"{where}: {', '.join(texts)}")
        else:
            self.problems.error(where, why)
        return self.stand_ins

    @staticmethod
    def stand_in(text):
        return (f"A stand-in for {text}, which the partner table names and which is not there yet. "
                "Put the real file there and make the site again.\r\n").encode("utf-8")


def read_terms(table, base, problems):
    if ("terms" in table) == ("terms_file" in table):
        problems.error("terms", "give either terms (the text) or terms_file (a UTF-8 file)")
        return ""
    if "terms" in table:
        text = text_of(table["terms"], "terms", problems)
    else:
        path = base / text_of(table["terms_file"], "terms_file", problems)
        try:
            text = path.read_text(encoding="utf-8-sig")
        except (OSError, UnicodeDecodeError) as exc:
            problems.error("terms_file", f"cannot read {path} as UTF-8: {exc}")
            return ""
    if not text.strip():
        problems.error("terms", "is empty")
    why = cp949_problem(text)
    if why:
        problems.error("terms", why)
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def read_files(table, payload, problems):
    """URL path -> source; a path whose file is missing is kept (as None), so that it is
    reported once, here, and not again by everything that points at it."""
    files = table.get("files", {})
    if not isinstance(files, dict):
        problems.error("files", "must be a table of URL path = file")
        return {}
    found = {}
    for url_path, source in files.items():
        where = f"files.{url_path!r}"
        parts = url_path.split("/")
        if not url_path.startswith("/") or url_path.endswith("/") or "?" in url_path or "%" in url_path \
                or "\\" in url_path or any(p in (".", "..") for p in parts) or "" in parts[1:]:
            problems.error(where, "must be a plain URL path such as /files/tools/ToolSetup.exe")
            continue
        if any(url_path == g or url_path.startswith(g.rstrip("/") + "/") for g in GENERATED_PATHS):
            problems.error(where, "is made from the rest of the table")
            continue
        text = text_of(source, where, problems)
        found[url_path] = payload.file(text, where) if text else None
    if AGREEMENT_PATH not in found:
        problems.warn("files", f"no {AGREEMENT_PATH!r}: the components page's browser will show the 404 page")
    return found


def expand(text, hosts):
    return PLACEHOLDER.sub(lambda m: hosts.get(m[1].lower(), m[0]), text)


def product_path(url, hosts):
    """The path of a URL on the product host, by http or https, or None when it points elsewhere."""
    for scheme in ("http", "https"):
        prefix = f"{scheme}://{hosts.get('product', '')}".lower()
        if url.lower().startswith(prefix + "/"):
            return url[len(prefix):].split("?", 1)[0]
    return None


def component_path_problems(check, installer):
    """(key, reason) for each field of a row that the installer would drop the row for.
    Its rule: the check path starts with / (or \\) and every name in it is a plain file
    name, the first one neither MELVORA (the player's own folder) nor holding ~ (which
    could be that folder's short name); the installer's file name (the URL's last
    segment) is a plain file name too."""
    def plain(name):
        stem = name.split(".", 1)[0].rstrip(" ").lower()
        return (name and ".." not in name and name[-1] not in ". " and not FILE_NAME_FORBIDDEN & set(name)
                and all(ord(ch) >= 32 and ord(ch) != 127 for ch in name)
                and stem not in ("con", "prn", "aux", "nul", "conin$", "conout$")
                and not re.fullmatch("(com|lpt)[0-9\u00b9\u00b2\u00b3]", stem))   # Windows: COM¹ is COM1
    names = re.split(r"[/\\]", check)
    if check and (names[0] or len(names) < 2 or not all(map(plain, names[1:]))):
        yield "check", ("must be a path below Program Files such as /MELVORA Tools/tool.exe: a leading /, then "
                        "plain names (none empty, none ending in '.' or ' ', no '..', no device name such as CON "
                        "or NUL, none of \\ : * ? \" < > |)")
    elif check and (names[1].lower() == "melvora" or "~" in names[1]):
        yield "check", "must lie outside the player's folder MELVORA (and its short names, such as MELVOR~1)"
    if installer and not plain(installer.rsplit("/", 1)[-1]):
        yield "installer", ("must end in a plain file name, under which the installer is stored (not empty, no "
                            "'..', no device name, none of \\ : * ? \" < > |, no '.' or ' ' at its end)")


def read_component(raw, where, hosts, files, problems):
    if not isinstance(raw, dict):
        problems.error(where, "must be a table")
        return None
    check_unknown(raw, set(COMPONENT_KEYS), where + ".", problems)
    row = []
    for key in COMPONENT_KEYS[:5]:
        text = text_of(raw.get(key), f"{where}.{key}", problems, required=key in ("check", "installer", "name"))
        for m in PLACEHOLDER.finditer(text):
            if m[1].lower() not in ROLES:
                problems.error(f"{where}.{key}", f"unknown placeholder {m[0]} (known: {{PRODUCT}}, {{STATS}}, {{LOG}})")
        text = expand(text, hosts)
        bad = sorted({ch for ch in text if ch in "|^" or ord(ch) < 32 or ord(ch) == 127})
        if bad:
            problems.error(f"{where}.{key}",
                           f"contains {', '.join(map(repr, bad))}, which the component list cannot carry")
        why = cp949_problem(text)
        if why:
            problems.error(f"{where}.{key}", why)
        row.append(text)
    check, installer, _, _, page = row
    for key, reason in component_path_problems(check, installer):
        problems.error(f"{where}.{key}", reason)
    # An installer built for https (PUBLISHER_SCHEME=https) takes https addresses only.
    if installer and (not installer.lower().startswith(("http://", "https://")) or installer.count("/") < 3):
        problems.error(f"{where}.installer", "must be an http:// or https:// URL ending in the installer's file "
                                             "name (it is stored under that name)")
    elif installer and product_path(installer, hosts) not in (None, *files):
        problems.error(f"{where}.installer",
                       f"{product_path(installer, hosts)} is on the product host but not among [files]")
    if page and product_path(page, hosts) not in (None, *files):
        problems.warn(f"{where}.page", f"{product_path(page, hosts)} is on the product host but not among [files]")
    mandatory = raw.get("mandatory", False)
    if not isinstance(mandatory, bool):
        problems.error(f"{where}.mandatory", "must be true or false")
    return row + ["1" if mandatory is True else "0"]


def read_uninstall(table, payload, uninstaller):
    """Where the uninstaller and its settings come from: name -> source. A table that names
    no folder gets the built uninstaller and a generated Uninstall.ini."""
    if "uninstall" in table:
        return payload.folder(table.get("uninstall"), "uninstall", UNINSTALL_FILES)
    program = uninstaller
    if not uninstaller.is_file():
        why = (f"not given, and {uninstaller} is missing: build Uninstall.exe first (see the README), "
               "name it with --uninstaller, or name a folder here")
        program = payload.stand_in(str(uninstaller)) if payload.missing("uninstall", why, [str(uninstaller)]) else None
    return {"Uninstall.exe": program, "Uninstall.ini": GENERATED_UNINSTALL_INI.encode("ascii")}


def read_partner(pid, raw, payload, hosts, files, problems):
    where = f"partners.{pid}"
    if not isinstance(raw, dict):
        problems.error(where, "must be a table")
        return None
    check_unknown(raw, PARTNER_KEYS, where + ".", problems)
    versions = {}
    for key in ("player", "updater"):
        version = text_of(raw.get(key), f"{where}.{key}", problems)
        if version and (not VERSION.fullmatch(version) or version in (".", "..")):
            problems.error(f"{where}.{key}", f"{version!r}: a version is letters, digits, '.', '_' and '-', "
                                             "starting with a letter or digit, up to 32 characters")
        versions[key] = version
    player_files = payload.folder(raw.get("player_files"), f"{where}.player_files", PLAYER_FILES)
    updater_files = payload.folder(raw.get("updater_files"), f"{where}.updater_files", UPDATER_FILES)
    components = raw.get("components", [])
    if not isinstance(components, list):
        problems.error(f"{where}.components", "must be a list of tables")
        components = []
    if len(components) > MAX_COMPONENTS:
        problems.error(f"{where}.components",
                       f"{len(components)} given: the installer reads only the first {MAX_COMPONENTS}")
    rows = [read_component(c, f"{where}.components[{i}]", hosts, files, problems)
            for i, c in enumerate(components, 1)]
    return Partner(pid, versions["player"], versions["updater"], player_files, updater_files,
                   [r for r in rows if r])


def read_site(table, base, hosts=None, uninstaller=BUILT_UNINSTALLER):
    """The site the table describes, and the problems found in it. hosts, when given,
    replaces the table's [hosts]; uninstaller is the Uninstall.exe for a table that names
    no uninstall folder."""
    problems = Problems()
    if not isinstance(table, dict):
        problems.error("table", "must be a table")
        return None, problems
    check_unknown(table, TOP_KEYS, "", problems)
    hosts = read_hosts(table.get("hosts") if hosts is None else hosts, "hosts" if hosts is None else "--hosts",
                       problems)
    stand_ins = table.get("stand_ins", False)
    if not isinstance(stand_ins, bool):
        problems.error("stand_ins", "must be true or false")
    payload = Payload(base, stand_ins is True, hosts, problems)
    terms = read_terms(table, base, problems)
    uninstall = read_uninstall(table, payload, uninstaller)
    files = read_files(table, payload, problems)
    partners_raw = table.get("partners")
    if not isinstance(partners_raw, dict) or not partners_raw:
        problems.error("partners", "missing: one table per partner id")
        partners_raw = {}
    try:
        check_ids([(pid, "partners: ") for pid in partners_raw])
    except Refused as exc:
        problems.errors += str(exc).splitlines()
    partners = [read_partner(pid, raw, payload, hosts, files, problems) for pid, raw in partners_raw.items()]
    return Site(hosts, terms, uninstall, files, [p for p in partners if p]), problems


# -- writing the site -----------------------------------------------------------------

def write_bytes(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


def place(source, path):
    if isinstance(source, bytes):
        write_bytes(path, source)
    else:
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, path)


def write_tree(site, out):
    product, stats, log = (out / role for role in ROLES)
    write_bytes(product / TERMS_PATH.lstrip("/"), site.terms.encode("cp949"))
    for url_path, source in site.files.items():
        place(source, product / url_path.lstrip("/"))
    ver_file = product / "app" / "ver_file"
    for name, source in site.uninstall.items():
        place(source, ver_file / "uninstall" / name)
    for p in site.partners:
        # A partner without components still gets its (empty) list: an empty body also
        # means "no components", and the 404 page stays for ids the table does not know.
        rows = "^".join("|".join(row) for row in p.rows)
        write_bytes(product / "app" / "setup" / "setup.php" / f"{p.pid}.txt", rows.encode("cp949"))
        write_bytes(stats / "app" / "ver.php" / f"{p.pid}.txt", f"OK|{p.player}|{p.updater}".encode("ascii"))
        for version, files in ((p.player, p.player_files), (p.updater, p.updater_files)):
            for name, source in files.items():
                place(source, ver_file / p.pid / version / name)
    write_bytes(log / "app" / "receive" / "log.php", LOG_ANSWER.encode("ascii"))
    for role in ROLES:
        write_bytes(out / role / "404.html", NOT_FOUND_PAGE.encode("ascii"))


def report_credentials():
    """The user and password the installer's two reports log in with, as it is built."""
    try:
        text = PRODUCT_CONSTANTS.read_text(encoding="utf-8")
    except OSError as exc:
        raise OSError(f"cannot read the installer's credentials from {PRODUCT_CONSTANTS}: {exc.strerror}")
    found = [re.search(rf'\b{name}\[\]\s*=\s*"([!-~]+)"', text) for name in ("kReportUser", "kReportPassword")]
    if not all(found) or ":" in found[0][1]:
        raise OSError(f"{PRODUCT_CONSTANTS} does not name kReportUser and kReportPassword as expected")
    return found[0][1], found[1][1]


def htpasswd_line():
    """The installer's fixed credentials as a salted SHA-1 entry, which nginx reads. The
    password ships inside every copy of the installer, so it is no secret; the fixed salt
    keeps the generated site the same from one run to the next."""
    user, password = report_credentials()
    salt = hashlib.sha1(b"melvora-site:" + user.encode("ascii")).digest()[:8]
    digest = hashlib.sha1(password.encode("ascii") + salt).digest()
    return f"{user}:{{SSHA}}{base64.b64encode(digest + salt).decode('ascii')}\n"


def write_site(site, out, root, log_dir, table_name):
    """Makes the site in a fresh folder beside out, then puts it in out's place."""
    out = out.resolve()
    if out.exists() and not (out / MARKER).is_file():
        if not out.is_dir() or any(out.iterdir()):
            raise Refused(f"{out} exists and was not made by this program; name an empty or new folder")
    out.parent.mkdir(parents=True, exist_ok=True)
    fresh = Path(tempfile.mkdtemp(prefix=f".{out.name}-", dir=out.parent))
    umask = os.umask(0)
    os.umask(umask)
    os.chmod(fresh, 0o777 & ~umask)   # the web server's own user reads it
    old = fresh.with_name(fresh.name + "-old")
    try:
        write_tree(site, fresh)
        nginx = fresh / "nginx"
        config = site_nginx.Config(site.hosts, Path(root or out), Path(log_dir), REALM)
        write_bytes(nginx / "melvora.conf", config.servers(table_name).encode("utf-8"))
        write_bytes(nginx / "nginx.conf", config.standalone().encode("utf-8"))
        write_bytes(nginx / "melvora.htpasswd", htpasswd_line().encode("ascii"))
        write_bytes(fresh / MARKER, f"made by tools/publish_site.py from {table_name}\n".encode("utf-8"))
        if out.exists():
            out.rename(old)
        fresh.rename(out)
    finally:
        if fresh.exists():
            shutil.rmtree(fresh)
            if old.exists():
                old.rename(out)   # the new site could not take its place: keep the old one
        if old.exists():
            shutil.rmtree(old)


def make_log_dir(log_dir):
    """nginx does not start without its log folder; None when it is there now, else why not."""
    try:
        Path(log_dir).mkdir(parents=True, exist_ok=True)
        return None
    except OSError as exc:
        return f"cannot make the log folder {log_dir} ({exc.strerror}): make it where nginx serves the site"


def summary(site):
    lines = []
    for p in site.partners:
        lines.append(f"  {p.pid:12} player {p.player:8} updater {p.updater:8} {len(p.rows)} component(s)")
    # The installer asks the hosts it was built for; nginx answers at the table's.
    lines += ["The Setup.exe for this site is built for exactly these hosts (see the README):",
              "  " + BUILD_COMMAND.format(**site.hosts), "  cmake --build build/win"]
    return "\n".join(lines)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("table", help="the partner table, .toml or .json")
    ap.add_argument("-o", "--out", help="the folder to make the site in")
    ap.add_argument("--check", action="store_true", help="check the table and its files; write nothing")
    ap.add_argument("--root", help="where the output folder will be on the web server (default: where it is made)")
    ap.add_argument("--log-dir", default="/var/log/nginx", help="where nginx writes the access logs (%(default)s)")
    ap.add_argument("--hosts", metavar="PRODUCT,STATS,LOG", help="serve the site at these hosts instead of the table's")
    ap.add_argument("--uninstaller", default=str(BUILT_UNINSTALLER),
                    help="the Uninstall.exe for a table that names no uninstall folder (%(default)s)")
    args = ap.parse_args(argv)
    hosts = None
    if args.hosts is not None:
        if args.hosts.count(",") != 2:
            ap.error("--hosts takes three hosts, product,stats,log, each host or host:port")
        hosts = dict(zip(ROLES, args.hosts.split(",")))
    if not args.check and not args.out:
        ap.error("give -o FOLDER to make the site, or --check")
    for name, value in (("--root", args.root), ("--log-dir", args.log_dir)):
        if value and not os.path.isabs(value):
            ap.error(f"{name} must be an absolute path")
    me = Path(sys.argv[0]).name
    table_path = Path(args.table)
    try:
        site, problems = read_site(load_table(table_path), table_path.resolve().parent, hosts,
                                   Path(args.uninstaller))
        for text in problems.warnings:
            print(f"{me}: warning: {text}", file=sys.stderr)
        if problems.errors:
            raise Refused("\n".join(problems.errors))
        if problems.stand_ins:
            print(f"{me}: note: stand-ins are served for the files that are not there (stand_ins = true):\n  "
                  + "\n  ".join(problems.stand_ins), file=sys.stderr)
        if not args.check:
            write_site(site, Path(args.out), args.root, args.log_dir, table_path.name)
            why = make_log_dir(args.log_dir)
            if why:
                print(f"{me}: warning: {why}", file=sys.stderr)
    except Refused as exc:
        print(f"{me}: {table_path}: refused{'' if args.check else ', nothing made'}:\n{exc}", file=sys.stderr)
        return 2
    except OSError as exc:
        print(f"{me}: {exc}", file=sys.stderr)
        return 1
    print(f"{table_path}: {len(site.partners)} partner(s), "
          + ("fine" if args.check else f"site made in {Path(args.out).resolve()}"))
    print(summary(site))
    return 0


if __name__ == "__main__":
    sys.exit(main())
