#!/usr/bin/env bash
# Makes docs/error-window.png: runs the error window's unfolding test of the
# 64-bit build on a virtual display with TV_ERROR_WINDOW_SHOT set, which
# saves the unfolded window as a bitmap, and converts that to PNG.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/wineprefix.sh 64
export WINEPREFIX=$PWD/build/wineprefix
shot=$(mktemp -d)
trap 'rm -rf "$shot"' EXIT
# A wine server left from a run without the display would keep its windows
# off this one. Without a window manager on the virtual display, Wine draws
# frames and captions itself only when told to, for this run.
/usr/lib/wine/wineserver -k 2>/dev/null || true
TV_ERROR_WINDOW_SHOT="Z:$(echo "$shot/window.bmp" | tr / '\\')" xvfb-run -a bash -c '
  x11="HKCU\\Software\\Wine\\X11 Driver"
  cmake/wine-run.sh reg add "$x11" /v Managed /d N /f >/dev/null
  GTEST_FILTER=ErrorWindow.DetailsUnfoldTheErrorChainNewestFirst \
    cmake/wine-run.sh build/x86_64/tests/kernel/kernel_error_window.exe; status=$?
  cmake/wine-run.sh reg delete "$x11" /v Managed /f >/dev/null
  /usr/lib/wine/wineserver -k 2>/dev/null
  exit $status'
python3 - "$shot/window.bmp" docs/error-window.png <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
offset, = struct.unpack_from('<I', data, 10)
width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
assert bits == 24, bits
stride = (width * 3 + 3) & ~3
rows = []
for y in range(abs(height)):
    row = data[offset + (abs(height) - 1 - y if height > 0 else y) * stride:][:width * 3]
    rows.append(b'\0' + bytes(row[i + 2 - 2 * (i % 3)] for i in range(len(row))))
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0))
png += chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(png)
print(f"{sys.argv[2]}: {width} x {abs(height)}")
PY
