#!/usr/bin/env bash
# The main job on the bundled sample: builds the deliverables and reports
# where they are and what they export.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh i686
echo
echo "Deliverables (32-bit Windows):"
ls -l build/i686/extension/TVISX.dll
echo
echo "Exports of TVISX.dll:"
i686-w64-mingw32-objdump -p build/i686/extension/TVISX.dll |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' | awk '{print "  " $NF}'
