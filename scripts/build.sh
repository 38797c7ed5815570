#!/usr/bin/env bash
# Builds the 32-bit deliverables and, unless told "i686", the 64-bit test build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${TV_JOBS:-2}
cmake --preset i686 >/dev/null
cmake --build --preset i686 -j "$jobs"
bash scripts/check-exports.sh build/i686/extension/TVISX.dll extension/TVISX.def
if [ "${1:-}" != "i686" ]; then
  cmake --preset x86_64 >/dev/null
  cmake --build --preset x86_64 -j "$jobs"
  bash scripts/check-exports.sh build/x86_64/extension/TVISX.dll extension/TVISX.def x86_64-w64-mingw32-objdump
fi
