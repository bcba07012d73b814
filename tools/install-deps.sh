#!/usr/bin/env bash
# Installs what building and testing the installer needs on a Debian 12 machine.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

# libgnutls30:i386 is Wine's TLS for https; it is only recommended by libwine:i386, so an
# install without recommended packages must name it.
need=(g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386 wine64 libgnutls30:i386 xvfb xauth
      fonts-nanum imagemagick xdotool locales clang libclang-rt-14-dev cmake g++ googletest
      osslsigncode openssl curl python3 util-linux)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "dependencies: ok"
