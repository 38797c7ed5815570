#!/usr/bin/env bash
# The main job on the bundled sample: builds the deliverables, installs the
# sample from its medium (build/i686/samples/medium) through the 32-bit
# setup.exe, which stages the engine stand-in and starts it, and shows the
# staged files, the installed configuration and the log. Then it runs the
# sample installation scripts (samples/install) through the 32-bit engine
# stand-in and the 32-bit TVISX.dll, as they ship, under the 32-bit Wine, on
# a copy of the sample folder, and shows the files it changed and the log it
# wrote. It ends with the uninstall hand-off: the engine in uninstall mode
# calls the library's uninstall hooks, which start the sample's uninstall
# program (samples/uninstall) beside the copy, and shows the configuration
# afterwards. Last, tvdoctor checks the installation (a clean report) and
# the damaged copy of samples/damaged.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/install-wine32.sh --describe
bash scripts/build.sh i686
bash scripts/wineprefix.sh 32

echo
echo "Deliverable: $(ls -l build/i686/extension/TVISX.dll)"
echo "Exports:"
i686-w64-mingw32-objdump -p build/i686/extension/TVISX.dll |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' | awk '{print "  " $NF}'

winpath() { echo "Z:$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr / '\\'; }
export TV_WINEPREFIX32="$PWD/build/wineprefix32" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The installation from the medium. The launcher stages the medium in
# TarvelInst under a temporary folder of its own (-TMP:) and starts the
# staged engine without waiting for it; the job waits for the wine server
# to go idle, that is for the engine to end.
medium=build/i686/samples/medium
temp=build/sample-temp
rm -rf "$temp"
mkdir -p "$temp"
echo
echo "Medium $medium:"
ls -l "$medium" | tail -n +2 | awk '{printf "  %-14s %8d\n", $NF, $5}'
echo
options=("-SRC:$(winpath "$medium")" "-TMP:$(winpath "$temp")")
echo "Running setup.exe ${options[*]}"
status=0
(cd "$medium" && ../../../../cmake/wine-run32.sh "$(winpath setup.exe)" "${options[@]}") || status=$?
echo "setup.exe ended with exit code $status; waiting for the engine"
WINEPREFIX=$TV_WINEPREFIX32 timeout 600 /usr/lib/wine/wineserver -w || true
staged=$temp/TarvelInst
echo
echo "--- staged in $staged"
ls -l "$staged" | tail -n +2 | awk '{printf "  %-14s %8d\n", $NF, $5}'
echo "--- the engine's transcript (tvengine.out)"
tr -d '\r' < "$staged/tvengine.out" 2>/dev/null || echo "(none)"
echo "--- tvwserve.ini as installed"
tr -d '\r' < "$staged/tvwserve.ini"
echo "--- tvworld.ini as installed"
tr -d '\r' < "$staged/tvworld.ini"
echo "--- install.log"
tr -d '\r' < "$staged/install.log" 2>/dev/null || echo "(none)"
[ "$status" = 0 ] || exit "$status"
grep -q '^tvengine: exit code 0' "$staged/tvengine.out" || { echo "the installation did not complete"; exit 1; }

run=build/sample-run
rm -rf "$run"
cp -r samples/install "$run"
cp build/i686/extension/TVISX.dll "$run/"
cp build/i686/samples/uninst.exe "$run/uninst.exe"
engine=$(winpath build/i686/tools/tvengine.exe)
echo
for program in build/i686/tools/tvengine.exe "$run/TVISX.dll"; do
  echo "Running $(basename "$program"): $(i686-w64-mingw32-objdump -f "$program" | sed -n 's/.*file format //p'), 32-bit"
done
folder=$(winpath "$run")
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
[ "$status" = 0 ] || exit $status

# The configuration check (docs/doctor.md), with the 32-bit tvdoctor.exe that
# ships beside the library: the installation reads clean (exit code 0), and
# the damaged copy the sample ships (samples/damaged, run from its folder,
# where its relative ProgDir points) shows findings of every group (exit
# code 2: errors).
doctor=$(winpath build/i686/tools/tvdoctor.exe)
echo
echo "Running tvdoctor $folder"
(cd "$run" && ../../cmake/wine-run32.sh "$doctor" "$folder") || status=$?
[ "$status" = 0 ] || { echo "tvdoctor found the installation not clean (exit code $status)"; exit 1; }
damaged=build/sample-damaged
rm -rf "$damaged"
cp -r samples/damaged "$damaged"
echo
echo "Running tvdoctor on the damaged copy $(winpath "$damaged")"
(cd "$damaged" && ../../cmake/wine-run32.sh "$doctor" .) || status=$?
echo "tvdoctor ended with exit code $status"
[ "$status" = 2 ] || exit 1
exit 0
