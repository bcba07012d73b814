#!/usr/bin/env bash
# Installs what building and testing the installer needs on a Debian 12 machine.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

# libgnutls30:i386 is Wine's TLS for https; it is only recommended by libwine:i386, so an
# install without recommended packages must name it; libgnutls30 is the 64-bit Wine's.
# The x86_64 toolchain builds the programs that run the tests on hosts without 32-bit code.
need=(g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
      wine wine32:i386 wine64 libgnutls30:i386 libgnutls30 xvfb xauth
      fonts-nanum imagemagick xdotool locales clang libclang-rt-14-dev cmake g++ googletest
      osslsigncode openssl curl python3 nginx-light util-linux)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync makes one index fail to download now and then: try
  # again, and if one list stays unreadable install from the rest. The install itself
  # still has to succeed.
  for attempt in 1 2 3; do
    if $SUDO apt-get update -qq; then break; fi
    if [ "$attempt" -eq 3 ]; then
      echo "install-deps: some package lists could not be updated; installing from the rest" >&2
    else
      sleep 5
    fi
  done
  # Only nginx's program is needed: the tests run their own nginx, in the foreground on
  # loopback ports. The package would also start the system's nginx service on port 80
  # (and fail to install where port 80 is taken), so no service may start during the
  # install unless a policy already decides that, and the service stays disabled.
  policy=/usr/sbin/policy-rc.d
  made_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\n# made by tools/install-deps.sh for the length of one install\nexit 101\n' |
      $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    made_policy=1
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  if [ -n "$made_policy" ]; then
    $SUDO rm -f "$policy"
    trap - EXIT
  fi
  if [[ " ${missing[*]} " == *" nginx-light "* ]] && [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now --quiet nginx.service 2>/dev/null || true
  fi
fi
echo "dependencies: ok"
