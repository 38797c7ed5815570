#!/bin/sh
# Runs a Windows program under 64-bit Wine with the build's private prefix.
# The test script keeps one wine server alive for the whole run.
#
# Wine starts its background services (and the desktop process) from the
# first program that needs them, and they inherit that program's output.
# The output therefore goes through a file, never straight into the pipe of
# the caller (CTest would wait for that pipe until its time-out).
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
out=$(mktemp)
/usr/lib/wine/wine64 "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
rm -f "$out"
exit $status
