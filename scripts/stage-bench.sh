#!/usr/bin/env bash
# Runs the staging benchmark (tools/bench/stage_bench.cpp) of the 64-bit
# build on a virtual display with a window manager, as a user's desktop has.
# Without one, Wine waits two seconds, each time a framed window is hidden,
# for a window manager to confirm the window was shown; the progress
# window's closing would then cost two seconds that no desktop pays.
# --bare runs it on the bare virtual display instead, to show that wait.
# Installs the window manager (openbox) when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bare=0; [ "${1:-}" = --bare ] && { bare=1; shift; }
bash scripts/install-deps.sh >/dev/null
if [ "$bare" -eq 0 ] && ! command -v openbox >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get install -y --no-install-recommends openbox >/dev/null
fi
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 --target stage_bench >/dev/null
bash scripts/wineprefix.sh 64 >/dev/null
export WINEPREFIX=$PWD/build/wineprefix bare
/usr/lib/wine/wineserver -k 2>/dev/null || true
xvfb-run -a bash -c '
  if [ "$bare" -eq 0 ]; then
    openbox >/dev/null 2>&1 & manager=$!
    sleep 1
  fi
  cmake/wine-run.sh build/x86_64/tools/stage_bench.exe "$@"; status=$?
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ "$bare" -eq 0 ] && kill "$manager" 2>/dev/null
  exit $status' stage-bench "$@"
