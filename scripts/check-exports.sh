#!/usr/bin/env bash
# Checks a built TVISX.dll against the .def file the build wrote from the
# export list: every export present under its plain name, nothing decorated,
# nothing extra, and no imports but the system DLLs.
set -euo pipefail
dll=$1; def=$2; objdump=${3:-i686-w64-mingw32-objdump}
expected=$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d; s/;.*//; s/=.*//; s/[[:space:]]//g' | grep -v '^$' | sort)
dump=$($objdump -p "$dll")
actual=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' | awk '{print $NF}' | sort)
status=0
if [ "$expected" != "$actual" ]; then
  echo "export table of $dll differs from $def:"
  diff <(echo "$expected") <(echo "$actual") || true
  status=1
fi
if echo "$actual" | grep -q '@'; then
  echo "decorated export names in $dll:"; echo "$actual" | grep '@'; status=1
fi
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|msvcrt)\.dll$'
while read -r name; do
  if ! echo "$name" | grep -qiE "$allowed"; then echo "$dll imports $name"; status=1; fi
done < <(echo "$dump" | awk '/DLL Name:/ {print $3}')
if [ $status -eq 0 ]; then
  echo "$dll: $(echo "$actual" | wc -l) exports, undecorated; imports: $(echo "$dump" | awk '/DLL Name:/ {printf "%s ", $3}')"
fi
exit $status
