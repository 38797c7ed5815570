#!/usr/bin/env bash
# Prepares the 32-bit Wine that runs the 32-bit build: Debian's i386 Wine of
# exactly the installed wine64's version, downloaded and unpacked (never
# installed) into a folder of its own with the few i386 libraries it loads,
# and a loader script that runs it under QEMU's user-mode i386 emulator.
#
# Why an emulator: the machines that build this refuse 32-bit code outright
# (their kernel offers no 32-bit user code segment: a far jump into one and
# "int 0x80" both fault), so neither a 32-bit Linux program nor Wine's own
# "new WoW64" mode can run 32-bit x86 code natively here. QEMU runs the i386
# Wine loader and everything it loads, the 32-bit Windows programs included;
# the wineserver and the prefix's 64-bit services run natively.
#
# Idempotent: does nothing when that version is already prepared.
# --print-dir prints the folder: its usr/lib/wine/wine runs 32-bit programs,
# its usr/lib/wine/wine64 64-bit ones (that may start 32-bit ones).
set -euo pipefail
version=$(dpkg-query -W -f='${Version}' wine64)
root=${TV_WINE32_ROOT:-/opt/tv-wine32}
dir="$root/${version//[^A-Za-z0-9.+-]/_}"
if [ "${1:-}" = "--print-dir" ]; then
  echo "$dir"
  exit 0
fi
[ -f "$dir/.complete" ] && exit 0

SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "Preparing the 32-bit Wine (i386 Wine $version under qemu-i386) in $dir..."
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
fi
packages=("libwine:i386=$version" "wine32:i386=$version" "wine32-preloader:i386=$version"
          libc6:i386 libgcc-s1:i386)
work=$(mktemp -d)
chmod 755 "$work"  # apt downloads as its own user
trap 'rm -rf "$work"' EXIT
fetch() { (cd "$work" && apt-get download -qq "${packages[@]}" >/dev/null 2>&1); }
if ! fetch; then
  # The package lists may predate the i386 architecture or this version.
  $SUDO apt-get update -qq
  fetch || { echo "cannot download ${packages[*]}" >&2; exit 1; }
fi

new="$dir.partial"
$SUDO rm -rf "$new"
$SUDO mkdir -p "$new"
for deb in "$work"/*.deb; do $SUDO dpkg-deb -x "$deb" "$new"; done
bin="$new/usr/lib/wine"
dlls="$new/usr/lib/i386-linux-gnu/wine/i386-windows"
[ -f "$dlls/kernel32.dll" ] && [ -x "$bin/wine-preloader" ] && [ -x "$bin/wine" ] ||
  { echo "the i386 Wine packages lack kernel32.dll or a loader" >&2; exit 1; }
# zlib1.dll comes from another package; libwine's installation script makes
# it a builtin of each architecture, the amd64 one for i386 too.
$SUDO cp /usr/lib/x86_64-linux-gnu/wine/i386-windows/zlib1.dll "$dlls/"

# Wine starts a program of the other width with the loader of that width
# found beside its own (the folder of /proc/self/exe), so both loaders live
# here: a copy of the native wine64 (which finds the 64-bit libraries and
# data relative to itself, hence the two links), and "wine", the script that
# runs the i386 loader under the emulator. The i386 loader moves to i386/
# under its own name, which Wine reuses for the next 32-bit program.
$SUDO mkdir -p "$bin/i386" "$new/usr/lib/x86_64-linux-gnu" "$new/usr/share"
$SUDO mv "$bin/wine" "$bin/i386/wine"
$SUDO cp /usr/lib/wine/wine64 "$bin/wine64"
$SUDO ln -sfn /usr/lib/wine/wineserver64 "$bin/wineserver"
$SUDO ln -sfn /usr/lib/x86_64-linux-gnu/wine "$new/usr/lib/x86_64-linux-gnu/wine"
$SUDO rm -rf "$new/usr/share/wine"  # the same data as the native Wine's, without wine.inf
$SUDO ln -sfn /usr/share/wine "$new/usr/share/wine"
{
  echo '#!/bin/sh'
  echo '# The 32-bit Wine loader, run by QEMU'"'"'s i386 emulator on the unpacked files'
  echo '# (through Wine'"'"'s preloader, which lays out the 32-bit address space).'
  echo "WINELOADERNOEXEC=1 exec qemu-i386 -L \"$dir\" \"$dir/usr/lib/wine/wine-preloader\" \"$dir/usr/lib/wine/i386/wine\" \"\$@\""
} | $SUDO tee "$bin/wine" >/dev/null
$SUDO chmod 755 "$bin/wine"
# The emulated programs find their C library and libgcc here, never in the
# machine's own 32-bit libraries (which the machine's cache may list).
# FreeType stays out: with it, Wine's font set-up deadlocks under the
# emulator; without it Wine says once per program that it cannot find it.
echo 'include /etc/ld.so.conf.d/*.conf' | $SUDO tee "$new/etc/ld.so.conf" >/dev/null
$SUDO ldconfig -r "$new"
$SUDO touch "$new/.complete"
$SUDO rm -rf "$dir"
$SUDO mv "$new" "$dir"
