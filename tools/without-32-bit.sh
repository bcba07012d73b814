#!/usr/bin/env bash
# Runs a command as on a host whose kernel refuses 32-bit programs, to try the project's
# x86_64 path on a machine that runs both:
#   tools/without-32-bit.sh tools/test.sh
# Inside a private mount namespace (needs root) the system's 32-bit dynamic loader is
# replaced by a file the kernel cannot use as one, so every 32-bit program, Wine's 32-bit
# loader and server among them, fails with "Exec format error" (exit code 126), as there.
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: tools/without-32-bit.sh command [arguments...]" >&2
  exit 2
fi
loader=/lib/ld-linux.so.2
if [ ! -e "$loader" ]; then
  exec "$@"   # no 32-bit loader at all: this host already runs no 32-bit program
fi
not_a_loader=$(mktemp)
trap 'rm -f "$not_a_loader"' EXIT
printf '#!/bin/sh\nexit 126\n' >"$not_a_loader"
chmod 755 "$not_a_loader"
unshare --mount --propagation private -- sh -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"' sh \
  "$not_a_loader" "$loader" "$@"
