#!/usr/bin/env bash
# Checks the Windows conventions of the two deliverables of a build
# (TVISX.dll and setup.exe): imports of system DLLs only, a readable version
# resource with the module's version, the icon 101, setup.exe's manifest
# (asInvoker), and both stripped of debug sections with a debug link to a
# symbol file beside them that holds them.
#   scripts/check-binaries.sh BUILD [TRIPLE]
set -euo pipefail
build=$1; triple=${2:-i686-w64-mingw32}
objdump=$triple-objdump; windres=$triple-windres
status=0
fail() { echo "$1"; status=1; }
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|msvcrt)\.dll$'
for binary in "$build/extension/TVISX.dll" "$build/launcher/setup.exe"; do
  name=$(basename "$binary")
  [ -f "$binary" ] || { fail "$binary: missing"; continue; }
  imports=$($objdump -p "$binary" | awk '/DLL Name:/ {print $3}')
  for dll in $imports; do echo "$dll" | grep -qiE "$allowed" || fail "$name imports $dll"; done
  sections=$($objdump -h "$binary")
  if echo "$sections" | grep -q ' \.debug_'; then fail "$name keeps debug sections"; fi
  echo "$sections" | grep -q ' \.gnu_debuglink' || fail "$name has no debug link"
  if ! $objdump -h "$binary.debug" 2>/dev/null | grep -q ' \.debug_info'; then
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
  [ $status -ne 0 ] || echo "$name: version $version ($words), icon 101, imports: $(echo $imports), stripped, symbols in $name.debug"
done
exit $status
