#!/usr/bin/env bash
# Makes the private Wine prefix of a test run when it is missing, and sets it
# up for tests: "64" for build/wineprefix (64-bit Wine), "32" for
# build/wineprefix32 (32-bit programs run the way scripts/install-wine32.sh
# decided for this host, with a populated syswow64). Idempotent; a prefix
# left half-made, or made for the other way of running 32-bit programs
# (whose 32-bit files differ), is made anew. When it ends, no wine server
# of the prefix is left running: the test run starts its own.
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
  assignments=$(bash scripts/install-wine32.sh --env) || exit 1
  eval "$assignments"
  # The 32-bit DLLs must be known when the prefix is made: syswow64 is
  # filled then, and only then.
  export WINEDLLPATH
  export WINEPREFIX=${TV_WINEPREFIX32:-$PWD/build/wineprefix32}
  wine64=$wine32_boot
  ready=$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll
  made_for="mode=$wine32_mode"
else
  export WINEPREFIX=$PWD/build/wineprefix
  wine64=/usr/lib/wine/wine64
  ready=$WINEPREFIX/system.reg
  made_for="mode=wine64"
fi
marker=$WINEPREFIX/.tv-test-prefix
# Drive T: is an empty folder of the prefix, for tests that need a drive's
# root of their own (a medium at T:\).
spare_drive() { mkdir -p "$WINEPREFIX/drive_t" "$WINEPREFIX/dosdevices" && ln -sfn ../drive_t "$WINEPREFIX/dosdevices/t:"; }
if [ -f "$marker" ]; then
  if [ "$(cat "$marker")" = "$made_for" ]; then spare_drive; exit 0; fi
  echo "The Wine prefix $WINEPREFIX was made for another way ($(cat "$marker")); making it anew for $made_for"
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi

if [ ! -f "$ready" ]; then
  echo "Creating the $width-bit Wine prefix $WINEPREFIX..."
  rm -rf "$WINEPREFIX"
  log="$WINEPREFIX.wineboot.log"
  "$wine64" wineboot -i >"$log" 2>&1 || true
  /usr/lib/wine/wineserver -w
  if [ ! -f "$ready" ]; then
    {
      echo "the Wine prefix $WINEPREFIX was not made: wineboot left no ${ready#"$WINEPREFIX"/}"
      [ "$width" = 32 ] && bash scripts/install-wine32.sh --describe
      echo "Wine said (the last lines of $log):"
      tail -n 15 "$log" | sed 's/^/  /'
      if [ "$width" = 32 ] && [ "$wine32_mode" = wow64 ]; then
        echo "Try the emulator instead: TV_WINE32_MODE=qemu $0 32"
      elif [ "$width" = 32 ]; then
        echo "Check that qemu-i386 runs ($(command -v qemu-i386 || echo "not found")), or unpack the 32-bit Wine anew:"
        echo "remove $wine32_dir and run scripts/install-wine32.sh."
      fi
    } >&2
    rm -rf "$WINEPREFIX"
    exit 1
  fi
fi
for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
           'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
  "$wine64" reg add "$key" /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1 ||
    { echo "cannot turn off the crash debugger in $WINEPREFIX" >&2; exit 1; }
done
spare_drive
/usr/lib/wine/wineserver -w
echo "$made_for" >"$marker"
