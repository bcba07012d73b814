#!/usr/bin/env bash
# Runs every test of the setup program: installs what is missing, builds, runs the native,
# fuzz, server and Wine tests, and ends with a line "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
exec python3 tools/run_tests.py "$@"
