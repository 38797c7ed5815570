#!/usr/bin/env bash
# Makes the private Wine prefix of a test run when it is missing, and sets it
# up for tests: "64" for build/wineprefix (64-bit Wine), "32" for
# build/wineprefix32 (the 32-bit Wine of scripts/install-wine32.sh, with a
# populated syswow64). Idempotent; a prefix left half-made is made anew.
#
# In both, a program that crashes ends at once with its exception code: the
# crash debugger (AeDebug's Debugger) names no program. Wine's default,
# which it also uses when the value is missing, starts winedbg, which with
# a display waits on its crash dialog until the test's time-out.
set -euo pipefail
cd "$(dirname "$0")/.."
width=${1:?usage: wineprefix.sh 64|32}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$width" = 32 ]; then
  wine32=$(bash scripts/install-wine32.sh --print-dir)
  export WINEPREFIX=${TV_WINEPREFIX32:-$PWD/build/wineprefix32}
  # The 32-bit DLLs must be known when the prefix is made: syswow64 is
  # filled then, and only then.
  export WINEDLLPATH="$wine32/usr/lib/i386-linux-gnu/wine"
  wine64="$wine32/usr/lib/wine/wine64"
  ready=$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll
else
  export WINEPREFIX=$PWD/build/wineprefix
  wine64=/usr/lib/wine/wine64
  ready=$WINEPREFIX/system.reg
fi
marker=$WINEPREFIX/.tv-test-prefix
# Drive T: is an empty folder of the prefix, for tests that need a drive's
# root of their own (a medium at T:\).
spare_drive() { mkdir -p "$WINEPREFIX/drive_t" && ln -sfn ../drive_t "$WINEPREFIX/dosdevices/t:"; }
if [ -f "$marker" ]; then spare_drive; exit 0; fi

if [ ! -f "$ready" ]; then
  echo "Creating the $width-bit Wine prefix $WINEPREFIX..."
  [ "$width" = 32 ] && rm -rf "$WINEPREFIX"
  "$wine64" wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
  [ -f "$ready" ] || { echo "the Wine prefix $WINEPREFIX was not made" >&2; exit 1; }
fi
for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
           'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
  "$wine64" reg add "$key" /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1 ||
    { echo "cannot turn off the crash debugger in $WINEPREFIX" >&2; exit 1; }
done
spare_drive
touch "$marker"
