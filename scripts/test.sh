#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds both targets, checks
# the export tables and runs every test under Wine (with a virtual display).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix..."
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
fi
# One warm server for the whole run, with its background services started
# now rather than by the first test.
/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
cmake/wine-run.sh cmd /c exit >/dev/null
xvfb-run -a ctest --preset x86_64 -j "${TV_JOBS:-2}"
