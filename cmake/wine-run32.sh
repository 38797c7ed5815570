#!/bin/sh
# Runs a 32-bit Windows program with the build's private 32-bit prefix, the
# way scripts/install-wine32.sh decided for this host: native WoW64 or the
# emulated i386 Wine. The test script keeps one wine server alive for the
# whole run; output goes through a file for the reason given in wine-run.sh.
here=$(cd "$(dirname "$0")/.." && pwd)
assignments=$(bash "$here/scripts/install-wine32.sh" --env) || exit 1
eval "$assignments"
export WINEDLLPATH
export WINEPREFIX="${TV_WINEPREFIX32:-$here/build/wineprefix32}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
out=$(mktemp)
"$wine32_run" "$@" >"$out" 2>&1 </dev/null
status=$?
# Without FreeType (which deadlocks under the emulator) Wine says so once
# per program; the note is left out of the output.
grep -v -e '^Wine cannot find the FreeType font library\.' -e '^use TrueType fonts please install a version' \
        -e '^or equal to 2\.0\.5\.$' -e '^http://www\.freetype\.org$' "$out"
rm -f "$out"
exit $status
