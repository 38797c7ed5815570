#!/usr/bin/env bash
# Checks the Windows conventions of the two deliverables of a build
# (TVISX.dll and setup.exe): imports of system DLLs only and none of them
# delay-loaded, ASLR (a movable image with the relocations to move it) and
# DEP, high-entropy ASLR in a 64-bit build, a readable version resource with
# the module's version, the icon 101, setup.exe's manifest (asInvoker), and
# both stripped of debug sections with a debug link to a symbol file beside
# them that holds them (a test build, compiled without -g, has no debug
# information to keep).
#   scripts/check-binaries.sh BUILD [TRIPLE]
set -euo pipefail
build=$1; triple=${2:-i686-w64-mingw32}
objdump=$triple-objdump; windres=$triple-windres
status=0
fail() { echo "$1"; status=1; }
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|msvcrt)\.dll$'
testBuild=no
grep -qs '^TV_BUILD_TESTS:BOOL=ON' "$build/CMakeCache.txt" && testBuild=yes
# The size of a data directory entry of the PE header, in hexadecimal.
directory() { awk -v name="$1" 'index($0, name) {print $3; exit}' <<<"$headers"; }
for binary in "$build/extension/TVISX.dll" "$build/launcher/setup.exe"; do
  name=$(basename "$binary")
  [ -f "$binary" ] || { fail "$binary: missing"; continue; }
  headers=$($objdump -p "$binary")
  imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
  for dll in $imports; do echo "$dll" | grep -qiE "$allowed" || fail "$name imports $dll"; done
  [ $((16#$(directory "Delay Import Directory"))) -eq 0 ] || fail "$name delay-loads an import"
  flags=$((16#$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")))
  hardening="ASLR, DEP"
  [ $((flags & 0x40)) -ne 0 ] || fail "$name: no ASLR (DYNAMIC_BASE)"
  [ $((16#$(directory "Base Relocation Directory"))) -gt 0 ] || fail "$name: no base relocations, ASLR cannot move it"
  [ $((flags & 0x100)) -ne 0 ] || fail "$name: no DEP (NX_COMPAT)"
  # (grep -q reads no further than a match: never at the end of a pipe here.)
  if grep -q '^Magic.*(PE32+)' <<<"$headers"; then
    [ $((flags & 0x20)) -ne 0 ] || fail "$name: no high-entropy ASLR (HIGH_ENTROPY_VA)"
    hardening="high-entropy ASLR, DEP"
  fi
  sections=$($objdump -h "$binary")
  if grep -q ' \.debug_' <<<"$sections"; then fail "$name keeps debug sections"; fi
  grep -q ' \.gnu_debuglink' <<<"$sections" || fail "$name has no debug link"
  if [ $testBuild = no ] && ! $objdump -h "$binary.debug" 2>/dev/null | grep -q ' \.debug_info'; then
    fail "$name: no symbol file $name.debug with debug information beside it"
  fi
  rc=$($windres -i "$binary" -O rc 2>/dev/null) || { fail "$name: resources unreadable"; continue; }
  version=$(echo "$rc" | sed -n 's/.*VALUE "FileVersion", "\(.*\)"/\1/p')
  words=$(echo "$rc" | sed -n 's/^ *FILEVERSION \(.*\)/\1/p')
  [ -n "$version" ] && [ -n "$words" ] || fail "$name: no version resource"
  echo "$rc" | grep -q '^101 14 ' || fail "$name: no icon resource 101"
  if [ "$name" = setup.exe ]; then
    echo "$rc" | sed -n '/^1 24 /,/^END/p' | grep -q 'requestedExecutionLevel level=""asInvoker""' ||
      fail "setup.exe: manifest without asInvoker"
  fi
  [ $status -ne 0 ] || echo "$name: version $version ($words), icon 101, imports: $(echo $imports), $hardening, stripped, symbols in $name.debug"
done
exit $status
