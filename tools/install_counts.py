#!/usr/bin/env python3
"""Counts installs per partner and per day from the site's JSON access logs.

Usage:
  tools/install_counts.py /var/log/nginx/melvora-log.jsonl [more logs ...]
  tools/install_counts.py /var/log/nginx/melvora-*.jsonl* --partner nv01 --since 2025-03-01

The logs are those of the nginx configuration made by tools/publish_site.py, one JSON
object per line (rotated .gz files are read too). An install is an install log the log
host accepted: GET /app/receive/log.php?pid=<id> answered 200. (The installer's first try
goes without credentials and is answered 401; it is not counted.) When the product host's
log is given too, each day's player downloads, /app/ver_file/<id>/<version>/MELVORA.exe
answered 200, show which versions that partner's users got. Days are the server's dates.
"""

import argparse
import gzip
import json
import re
import sys
from collections import Counter, defaultdict
from urllib.parse import parse_qs, urlsplit

INSTALL_LOG = "/app/receive/log.php"
PLAYER_DOWNLOAD = re.compile(r"/app/ver_file/([^/]+)/([^/]+)/MELVORA\.exe")
DAY = re.compile(r"\d{4}-\d{2}-\d{2}")


def records(path):
    """Each line of a log as an object, or None where it is not JSON."""
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt", encoding="utf-8", errors="replace") as f:
        for line in f:
            try:
                yield json.loads(line)
            except ValueError:
                yield None


def tally(paths):
    """installs[(day, pid)] and versions[(day, pid)] -> Counter of player versions; and the
    number of lines that were not requests of this log format."""
    installs = Counter()
    versions = defaultdict(Counter)
    unreadable = 0
    for path in paths:
        for rec in records(path):
            try:
                day, status, method = rec["time"][:10], int(rec["status"]), rec["method"]
                url = urlsplit(rec["request"])
            except (TypeError, KeyError, ValueError):
                unreadable += 1
                continue
            if status != 200 or method != "GET" or not DAY.fullmatch(day):
                continue
            if url.path == INSTALL_LOG:
                pid = parse_qs(url.query, keep_blank_values=True).get("pid", [""])[0]
                installs[(day, pid)] += 1
            else:
                m = PLAYER_DOWNLOAD.fullmatch(url.path)
                if m:
                    versions[(day, m[1])][m[2]] += 1
    return installs, versions, unreadable


def report(installs, versions, partner=None, since=None, until=None):
    keys = sorted(set(installs) | set(versions))
    keys = [(day, pid) for day, pid in keys
            if (partner is None or pid == partner) and (since is None or day >= since)
            and (until is None or day <= until)]
    width = max([len("partner")] + [len(pid) for _, pid in keys])
    lines = [f"{'day':10}  {'partner':{width}}  {'installs':>8}  player versions downloaded"]
    totals = Counter()
    for day, pid in keys:
        got = ", ".join(f"{v} x{n}" for v, n in sorted(versions[(day, pid)].items()))
        lines.append(f"{day:10}  {pid:{width}}  {installs[(day, pid)]:8}  {got}".rstrip())
        totals[pid] += installs[(day, pid)]
    for pid in sorted(totals):
        lines.append(f"{'total':10}  {pid:{width}}  {totals[pid]:8}")
    return "\n".join(lines)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("logs", nargs="+", help="JSON access logs (.jsonl, or .gz)")
    ap.add_argument("--partner", help="only this partner id")
    ap.add_argument("--since", help="first day, YYYY-MM-DD")
    ap.add_argument("--until", help="last day, YYYY-MM-DD")
    args = ap.parse_args(argv)
    for name in ("since", "until"):
        if getattr(args, name) and not DAY.fullmatch(getattr(args, name)):
            ap.error(f"--{name} takes a day as YYYY-MM-DD")
    try:
        installs, versions, unreadable = tally(args.logs)
    except (OSError, EOFError) as exc:
        print(f"install_counts.py: {exc}", file=sys.stderr)
        return 1
    print(report(installs, versions, args.partner, args.since, args.until))
    if unreadable:
        print(f"install_counts.py: {unreadable} line(s) were not requests in the site's JSON log format, "
              "and were passed over", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
