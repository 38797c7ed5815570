#!/usr/bin/env bash
# The main job on the bundled sample: builds the deliverables, then runs the
# sample installation scripts (samples/install) through the 32-bit engine
# stand-in and the 32-bit TVISX.dll, as they ship, under the 32-bit Wine, on
# a copy of the sample folder, and shows the files it changed and the log it
# wrote. It ends with the uninstall hand-off: the engine in uninstall mode
# calls the library's uninstall hooks, which start the sample's uninstall
# program (samples/uninstall) beside the copy, and shows the configuration
# afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh i686
bash scripts/wineprefix.sh 32

echo
echo "Deliverable: $(ls -l build/i686/extension/TVISX.dll)"
echo "Exports:"
i686-w64-mingw32-objdump -p build/i686/extension/TVISX.dll |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' | awk '{print "  " $NF}'

run=build/sample-run
rm -rf "$run"
cp -r samples/install "$run"
cp build/i686/extension/TVISX.dll "$run/"
cp build/i686/samples/uninst.exe "$run/uninst.exe"
winpath() { echo "Z:$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr / '\\'; }

export TV_WINEPREFIX32="$PWD/build/wineprefix32" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
engine=$(winpath build/i686/tools/tvengine.exe)
echo
for program in build/i686/tools/tvengine.exe "$run/TVISX.dll"; do
  echo "Running $(basename "$program"): $(i686-w64-mingw32-objdump -f "$program" | sed -n 's/.*file format //p'), 32-bit"
done
folder=$(winpath "$run")
status=0
for script in install.tvs discover.tvs; do
  echo
  echo "Running samples/install/$script:"
  (cd "$run" && ../../cmake/wine-run32.sh "$engine" "$folder" "$folder\\$script") || { status=$?; break; }
done
echo
echo "--- tvwserve.ini after the installation"
tr -d '\r' < "$run/tvwserve.ini"
echo "--- tvworld.ini after the installation"
tr -d '\r' < "$run/tvworld.ini"
echo "--- install.log"
tr -d '\r' < "$run/install.log"
[ "$status" = 0 ] || exit $status

# The uninstaller's command line names uninst.dat of the installation; the
# library derives uninst.exe from it, runs it with "-quiet -remove" and waits.
# The value goes unquoted: Wine would escape quotes given on a Unix command
# line, and the sample folder's path has no blanks.
echo
echo "Running the uninstall hand-off: tvengine -uninstall -f$folder\\uninst.dat"
cp build/i686/tools/tvengine.exe "$run/"
uninstaller=$(winpath "$run/tvengine.exe")
(cd "$run" && ../../cmake/wine-run32.sh "$uninstaller" -uninstall "-f$folder\\uninst.dat") || status=$?
echo
echo "--- tvwserve.ini after the removal"
tr -d '\r' < "$run/tvwserve.ini"
echo "--- tvworld.ini after the removal"
tr -d '\r' < "$run/tvworld.ini"
exit $status
