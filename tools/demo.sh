#!/usr/bin/env bash
# The demo: installs what is missing, builds the installer for the loopback publisher
# server, serves demo content and runs Setup_demo.exe under Wine (on the screen when there
# is a display; otherwise driven through its six pages, leaving a PNG of each page).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
exec python3 tools/demo.py "$@"
