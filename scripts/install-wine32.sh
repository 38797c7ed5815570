#!/usr/bin/env bash
# Prepares the 32-bit Wine that runs the 32-bit build, and decides how 32-bit
# programs run on this host. This is the one place that decides; the
# runners (cmake/wine-run32.sh, scripts/wineprefix.sh, scripts/sample.sh)
# take its answer from --env.
#
# Machines of this kind come in two flavours:
# - the host runs 32-bit x86 code: Wine's WoW64 mode. The machine's own
#   /usr/lib/wine/wine64 runs 32-bit Windows programs inside the 64-bit Wine
#   process, with WINEDLLPATH naming the unpacked i386 Wine's libraries
#   (already when the prefix is made: syswow64 is filled then, and only then);
# - the host refuses 32-bit code (no 32-bit user code segment: "Exec format
#   error"): QEMU's user-mode i386 emulator runs the i386 Wine loader and
#   everything it loads, the 32-bit Windows programs included; the wineserver
#   and the prefix's 64-bit services run natively.
# Both need Debian's i386 Wine of exactly the installed wine64's version,
# downloaded and unpacked (never installed) into a folder of its own with
# the few i386 libraries it loads, and the loader script that runs it under
# the emulator.
#
# The host is probed once, by running the unpacked i386 preloader (a static
# 32-bit program that prints its usage), and the answer is kept beside the
# unpacked files. TV_WINE32_MODE=wow64 or =qemu forces either way; forcing
# WoW64 on a host that refuses 32-bit code is an error.
#
# Idempotent: does nothing when that version is already prepared.
# --print-dir prints the folder.
# --env prints shell assignments for the runners: wine32_dir, wine32_mode
#   (wow64 or qemu), wine32_why (how it was chosen), WINEDLLPATH, wine32_run
#   (runs a 32-bit program) and wine32_boot (the 64-bit loader that makes
#   the prefix). It fails, saying why, when the
#   forced mode cannot work here.
# --describe prints the one line that names the mode ("32-bit programs: ...").
set -euo pipefail
version=$(dpkg-query -W -f='${Version}' wine64)
root=${TV_WINE32_ROOT:-/opt/tv-wine32}
dir="$root/${version//[^A-Za-z0-9.+-]/_}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo

# "native" when the host runs a 32-bit static program, otherwise why not.
probe_host() {
  local out status=0
  out=$(timeout 10 bash -c 'exec "$0"' "${1:-$dir}/usr/lib/wine/wine-preloader.static" 2>&1) || status=$?
  if grep -q '^Usage: .*wine_binary' <<<"$out"; then
    echo native
  elif [ -n "$out" ]; then
    echo "refuses 32-bit code (the i386 preloader: $(head -1 <<<"$out" | sed 's/.*: //'))"
  else
    echo "refuses 32-bit code (the i386 preloader ended with $status, printing nothing)"
  fi
}
host_answer() {
  if [ -s "$dir/.host" ]; then cat "$dir/.host"; else probe_host; fi
}

# Prints the assignments of --env, or fails with the reason.
decide() {
  local answer mode why
  answer=$(host_answer)
  case "${TV_WINE32_MODE:-}" in
    "")
      if [ "$answer" = native ]; then mode=wow64; why="as the host runs 32-bit code"
      else mode=qemu; why="as the host $answer"; fi ;;
    wow64)
      if [ "$answer" != native ]; then
        echo "32-bit programs: native WoW64 was forced (TV_WINE32_MODE=wow64), but the host $answer." >&2
        echo "Unset TV_WINE32_MODE, or set it to qemu to run them under the emulator." >&2
        return 1
      fi
      mode=wow64; why="forced by TV_WINE32_MODE" ;;
    qemu) mode=qemu; why="forced by TV_WINE32_MODE" ;;
    *) echo "TV_WINE32_MODE must be wow64 or qemu, not \"$TV_WINE32_MODE\"" >&2; return 1 ;;
  esac
  printf 'wine32_dir=%q\nwine32_mode=%q\nwine32_why=%q\n' "$dir" "$mode" "$why"
  printf 'WINEDLLPATH=%q\n' "$dir/usr/lib/i386-linux-gnu/wine"
  if [ "$mode" = wow64 ]; then
    printf 'wine32_run=%q\nwine32_boot=%q\n' /usr/lib/wine/wine64 /usr/lib/wine/wine64
  else
    printf 'wine32_run=%q\nwine32_boot=%q\n' "$dir/usr/lib/wine/wine" "$dir/usr/lib/wine/wine64"
  fi
}

case "${1:-}" in
  --print-dir) echo "$dir"; exit 0 ;;
  --env) decide; exit ;;
  --describe)
    assignments=$(decide) || exit 1
    eval "$assignments"
    if [ "$wine32_mode" = wow64 ]; then echo "32-bit programs: native WoW64, $wine32_why"
    else echo "32-bit programs: emulated (qemu-i386), $wine32_why"; fi
    exit 0 ;;
  "") ;;
  *) echo "usage: install-wine32.sh [--print-dir | --env | --describe]" >&2; exit 2 ;;
esac

if [ -f "$dir/.complete" ]; then
  # Prepared before the host's answer was kept.
  [ -s "$dir/.host" ] || probe_host | $SUDO tee "$dir/.host" >/dev/null
  exit 0
fi

echo "Preparing the 32-bit Wine (i386 Wine $version) in $dir..."
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

# For the emulated way: Wine starts a program of the other width with the
# loader of that width found beside its own (the folder of /proc/self/exe), so both loaders live
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
probe_host "$new" | $SUDO tee "$new/.host" >/dev/null
$SUDO touch "$new/.complete"
$SUDO rm -rf "$dir"
$SUDO mv "$new" "$dir"
