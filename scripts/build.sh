#!/usr/bin/env bash
# Checks the size limits of the sources, builds the 32-bit deliverables
# (and checks their export table and Windows conventions) and, unless told
# "i686", the two test builds: the 32-bit one (the deliverable's code with
# the tests) and the 64-bit one, each checked the same way.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${TV_JOBS:-2}
python3 scripts/check-lengths.py  # size limits of functions and files, before anything is built
cmake --preset i686 >/dev/null
cmake --build --preset i686 -j "$jobs"
bash scripts/check-exports.sh build/i686/extension/TVISX.dll build/i686/extension/TVISX.def
bash scripts/check-binaries.sh build/i686
if [ "${1:-}" != "i686" ]; then
  cmake --preset i686-tests >/dev/null
  cmake --build --preset i686-tests -j "$jobs"
  bash scripts/check-exports.sh build/i686-tests/extension/TVISX.dll build/i686-tests/extension/TVISX.def
  bash scripts/check-binaries.sh build/i686-tests
  cmake --preset x86_64 >/dev/null
  cmake --build --preset x86_64 -j "$jobs"
  bash scripts/check-exports.sh build/x86_64/extension/TVISX.dll build/x86_64/extension/TVISX.def x86_64-w64-mingw32-objdump
  bash scripts/check-binaries.sh build/x86_64 x86_64-w64-mingw32
fi
