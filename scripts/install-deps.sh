#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, and the
# 32-bit Wine that runs the 32-bit build (scripts/install-wine32.sh).
# Idempotent: does nothing when everything is already there.
set -euo pipefail
packages=(cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest wine wine64 xvfb xauth python3 qemu-user)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
bash "$(dirname "$0")/install-wine32.sh"
