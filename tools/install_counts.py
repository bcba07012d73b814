#!/usr/bin/env python3
"""Counts installs per partner and per day from the site's JSON access logs.

Usage:
  tools/install_counts.py /var/log/nginx/melvora-*.jsonl* [--table partners.toml]
  tools/install_counts.py /var/log/nginx/melvora-*.jsonl* --partner nv01 --since 2025-03-01

The logs are those of the nginx configuration made by tools/publish_site.py, one JSON
object per line (rotated .gz files are read too). An install is an install log the log
host accepted: GET /app/receive/log.php?pid=<id> answered 200. (The installer's first try
goes without credentials and is answered 401; it is not counted.) It counts only for a
partner that can have installed anything: with --table, a partner of that table; without
it, a partner whose version query (/app/ver.php?...&pid=<id>, answered 200) is in the
same logs, so give the statistics host's log too: a copy whose version query fails
installs nothing, yet still sends its install log. Install logs of other ids, and of ids
no partner can have, go on one "not counted" line with the reason. When the product
host's log is given too, each day's player downloads, /app/ver_file/<id>/<version>/
MELVORA.exe answered 200, show which versions that partner's users got. Days are the
server's dates. Lines that are not requests of this log format are counted and passed
over. Exit status: 0 done, 1 a log or the table could not be read, 2 a bad argument.
"""

import argparse
import datetime
import gzip
import json
import re
import sys
import zlib
from collections import Counter, defaultdict
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from make_partner_copies import Refused, id_problem  # noqa: E402

INSTALL_LOG = "/app/receive/log.php"
VERSION_QUERY = "/app/ver.php"
PLAYER_DOWNLOAD = re.compile(r"/app/ver_file/([^/]+)/([^/]+)/MELVORA\.exe")
DAY = re.compile(r"\d{4}-\d{2}-\d{2}")
ME = "install_counts.py"


def lines_of(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt", encoding="utf-8", errors="replace") as f:
        yield from f


def answered(line):
    """(day, path, query) of a GET answered 200, None for any other request; ValueError
    for a line that is not a request in the site's log format."""
    try:
        rec = json.loads(line)
        day, status, method, target = rec["time"][:10], rec["status"], rec["method"], rec["request"]
    except (ValueError, RecursionError, TypeError, KeyError) as exc:
        raise ValueError("not a request") from exc
    if not (isinstance(day, str) and DAY.fullmatch(day) and type(status) is int
            and isinstance(method, str) and isinstance(target, str)):
        raise ValueError("not a request")
    if status != 200 or method != "GET":
        return None
    path, _, query = target.partition("?")
    return day, path, query


def pid_of(query):
    """The partner id as nginx's $arg_pid reads it: the first pid value, as sent."""
    for part in query.split("&"):
        key, eq, value = part.partition("=")
        if eq and key.lower() == "pid":
            return value
    return ""


def tally(paths):
    """installs[(day, pid)], versions[(day, pid)] -> Counter of player versions, the ids
    whose version query was answered, the number of lines passed over, and the logs that
    could not be read to their end."""
    installs, versions, asked = Counter(), defaultdict(Counter), set()
    unreadable, broken = 0, []
    for path in paths:
        try:
            for line in lines_of(path):
                try:
                    request = answered(line)
                except ValueError:
                    unreadable += 1
                    continue
                if request is None:
                    continue
                day, url_path, query = request
                if url_path == INSTALL_LOG:
                    installs[(day, pid_of(query))] += 1
                elif url_path == VERSION_QUERY:
                    asked.add(pid_of(query))
                elif m := PLAYER_DOWNLOAD.fullmatch(url_path):
                    versions[(day, m[1])][m[2]] += 1
        except (OSError, EOFError, zlib.error) as exc:
            broken.append(f"{path}: {exc}")
    return installs, versions, asked, unreadable, broken


def why_not_counted(pid, partners, asked, table_name):
    if id_problem(pid):
        return "with an ill-formed id"
    if partners is not None:
        return None if pid in partners else f"of partners not in {table_name}"
    return None if pid in asked else "of partners with no version query answered"


def shown(text):
    """A text from a log as it may go to a terminal: control characters escaped."""
    return "".join(ch if ch.isprintable() else ascii(ch)[1:-1] for ch in text)


def report(installs, versions, why, partner=None, since=None, until=None):
    """The table of counted installs, and one line for the rest. why(pid) tells why an
    install of pid is not counted, or None when it is."""
    def wanted(key):
        day, pid = key
        return (partner is None or pid == partner) and (since is None or day >= since) \
            and (until is None or day <= until)
    keys = sorted(k for k in set(installs) | set(versions) if wanted(k) and why(k[1]) is None)
    width = max([len("partner")] + [len(shown(pid)) for _, pid in keys])
    lines = [f"{'day':11}  {'partner':{width}}  {'installs':>8}  player versions downloaded"]
    totals = Counter()
    for day, pid in keys:
        got = ", ".join(f"{shown(v)} x{n}" for v, n in sorted(versions[(day, pid)].items()))
        lines.append(f"{day:11}  {shown(pid):{width}}  {installs[(day, pid)]:8}  {got}".rstrip())
        totals[pid] += installs[(day, pid)]
    for pid in sorted(totals):
        lines.append(f"{'total':11}  {shown(pid):{width}}  {totals[pid]:8}")
    rest = Counter()
    for key, n in installs.items():
        if wanted(key) and why(key[1]) is not None:
            rest[why(key[1])] += n
    if rest:
        reasons = ", ".join(f"{n} {reason}" for reason, n in sorted(rest.items()))
        lines.append(f"{'not counted':11}  {'':{width}}  {sum(rest.values()):8}  {reasons}")
    return "\n".join(lines)


def table_partners(path):
    """The partner ids of a partner table (as tools/publish_site.py reads it)."""
    from publish_site import load_table
    table = load_table(path)
    partners = table.get("partners") if isinstance(table, dict) else None
    if not isinstance(partners, dict):
        raise Refused(f"{path}: no [partners] table")
    return set(partners)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("logs", nargs="+", help="JSON access logs (.jsonl, or .gz)")
    ap.add_argument("--table", help="the partner table: count its partners' installs only")
    ap.add_argument("--partner", help="only this partner id")
    ap.add_argument("--since", help="first day, YYYY-MM-DD")
    ap.add_argument("--until", help="last day, YYYY-MM-DD")
    args = ap.parse_args(argv)
    for name in ("since", "until"):
        value = getattr(args, name)
        try:
            if value is not None and not (DAY.fullmatch(value) and datetime.date.fromisoformat(value)):
                raise ValueError
        except ValueError:
            ap.error(f"--{name} takes a day as YYYY-MM-DD, not {value!r}")
    if args.since and args.until and args.since > args.until:
        ap.error(f"--since {args.since} is after --until {args.until}")
    try:
        partners = table_partners(args.table) if args.table else None
    except (OSError, Refused) as exc:
        print(f"{ME}: {exc}", file=sys.stderr)
        return 1
    installs, versions, asked, unreadable, broken = tally(args.logs)

    def why(pid):
        return why_not_counted(pid, partners, asked, args.table and Path(args.table).name)
    print(report(installs, versions, why, args.partner, args.since, args.until))
    if unreadable:
        print(f"{ME}: {unreadable} line(s) were not requests in the site's JSON log format, "
              "and were passed over", file=sys.stderr)
    for text in broken:
        print(f"{ME}: could not read to the end: {shown(text)}", file=sys.stderr)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
