#!/usr/bin/env bash
# The main job on the bundled sample: builds the deliverables, then runs the
# sample installation scripts (samples/install) under Wine through the engine
# stand-in, on a copy of the sample folder, and shows the files it changed
# and the log it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh i686
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 -j "${TV_JOBS:-2}" --target TVISX tvengine

echo
echo "Deliverable: $(ls -l build/i686/extension/TVISX.dll)"
echo "Exports:"
i686-w64-mingw32-objdump -p build/i686/extension/TVISX.dll |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' | awk '{print "  " $NF}'

run=build/sample-run
rm -rf "$run"
cp -r samples/install "$run"
cp build/x86_64/extension/TVISX.dll "$run/"
winpath() { echo "Z:$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr / '\\'; }

export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
engine=$(winpath build/x86_64/tools/tvengine.exe)
folder=$(winpath "$run")
status=0
for script in install.tvs discover.tvs; do
  echo
  echo "Running samples/install/$script:"
  (cd "$run" && ../../cmake/wine-run.sh "$engine" "$folder" "$folder\\$script") || { status=$?; break; }
done
echo
echo "--- tvwserve.ini after the installation"
tr -d '\r' < "$run/tvwserve.ini"
echo "--- tvworld.ini after the installation"
tr -d '\r' < "$run/tvworld.ini"
echo "--- install.log"
tr -d '\r' < "$run/install.log"
exit $status
