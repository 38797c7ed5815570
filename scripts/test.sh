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
# Under a virtual display: one warm wine server for the whole run, with its
# background services (and desktop) started now, on that display, rather than
# by the first test.
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true  # a server left by an earlier run
xvfb-run -a bash -c '
  /usr/lib/wine/wineserver -p
  cmake/wine-run.sh cmd /c exit >/dev/null
  ctest --preset x86_64 -j "${TV_JOBS:-2}"
  status=$?
  /usr/lib/wine/wineserver -k >/dev/null 2>&1
  exit $status'
