#!/usr/bin/env bash
# Makes docs/error-window.png: runs the error window's unfolding test of the
# 64-bit build on a virtual display with TV_ERROR_WINDOW_SHOT set, which
# saves the unfolded window as a bitmap, and converts that to PNG. Then
# makes docs/progress-window.png: the 64-bit setup.exe stages a medium of
# 1.6 GB on a virtual display that keeps its screen in a file, and the
# window is cut out of a copy of that screen taken while the copy runs.
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

# The medium: the script, a probe program as the engine, three large files.
mkdir -p "$shot/medium" "$shot/temp"
echo script > "$shot/medium/setup.inx"
cp build/x86_64/tests/kernel/probe_program.exe "$shot/medium/_ISmain"
for i in 1 2 3 4; do head -c 400M /dev/zero > "$shot/medium/data$i.cab"; done
win() { echo "Z:$1" | tr / '\\'; }
/usr/lib/wine/wineserver -k 2>/dev/null || true
shot=$shot src=$(win "$shot/medium") tmp=$(win "$shot/temp") \
  xvfb-run -a -s "-screen 0 800x600x24 -br -nocursor -fbdir $shot" bash -c '
  x11="HKCU\\Software\\Wine\\X11 Driver"
  cmake/wine-run.sh reg add "$x11" /v Managed /d N /f >/dev/null
  cmake/wine-run.sh build/x86_64/launcher/setup.exe "-SRC:$src" "-TMP:$tmp" & run=$!
  for at in $(seq 10 40); do sleep 0.2; cp "$shot/Xvfb_screen0" "$shot/screen$at.xwd"; done
  wait $run; status=$?
  cmake/wine-run.sh reg delete "$x11" /v Managed /f >/dev/null
  /usr/lib/wine/wineserver -k 2>/dev/null
  exit $status'
# The latest screen with the largest window on it, cut to what is not
# background.
python3 - docs/progress-window.png $(ls -r "$shot"/screen*.xwd) <<'PY'
import struct, sys, zlib
best = None
for path in sys.argv[2:]:
    data = open(path, 'rb').read()
    f = struct.unpack_from('>25I', data)
    size, width, height, bpp, stride, ncolors = f[0], f[4], f[5], f[11], f[12], f[19]
    assert bpp == 32, bpp
    pixels = data[size + 12 * ncolors:]
    rows = [pixels[y * stride:y * stride + width * 4] for y in range(height)]
    used = [y for y in range(height) if rows[y].strip(b'\0')]
    if not used:
        continue
    cols = [x for x in range(width) if any(rows[y][4 * x:4 * x + 3] != b'\0\0\0' for y in used)]
    top, bottom, left, right = used[0], used[-1] + 1, cols[0], cols[-1] + 1
    if best and (right - left) * (bottom - top) <= best[0]:
        continue
    best = ((right - left) * (bottom - top), path, rows, top, bottom, left, right)
if not best:
    sys.exit("no window on the screen: the copy ended too soon")
_, path, rows, top, bottom, left, right = best
raw = b''.join(b'\0' + bytes(c for x in range(left, right) for c in rows[y][4 * x:4 * x + 3][::-1])
               for y in range(top, bottom))
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', right - left, bottom - top, 8, 2, 0, 0, 0))
png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
open(sys.argv[1], 'wb').write(png)
print(f"{sys.argv[1]}: {right - left} x {bottom - top} ({path.rsplit('/', 1)[1]})")
PY
