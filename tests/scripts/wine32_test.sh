#!/usr/bin/env bash
# How 32-bit programs run on this host: the decision of
# scripts/install-wine32.sh (the host's answer, kept once, and the forced
# ways) and the prefix marker of scripts/wineprefix.sh, on a fake unpacked
# Wine whose preloader says either answer and whose 64-bit loader only
# pretends to make a prefix.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
expect_has() {  # <what> <text> <expected part>
  grep -qF -- "$3" <<<"$2" || fail "$1: expected \"$3\" in: $2"
}

export TV_WINE32_ROOT=$work/root
dir=$(bash "$here/scripts/install-wine32.sh" --print-dir)
bin=$dir/usr/lib/wine
mkdir -p "$bin"
touch "$dir/.complete"
# The preloader of a host that runs 32-bit code prints its usage; on one that
# refuses it, the kernel cannot execute it.
host_runs_32bit() {
  if [ "$1" = yes ]; then printf '#!/bin/sh\necho "Usage: $0 wine_binary [args]"\nexit 1\n'
  else printf '\177ELF\001\001\001not a program'; fi >"$bin/wine-preloader.static"
  chmod +x "$bin/wine-preloader.static"
  rm -f "$dir/.host"
}

# probe, forced way -> the way taken (with its 32-bit runner), or the error.
while read -r probe forced expected; do
  host_runs_32bit "$probe"
  [ "$forced" = - ] && forced=""
  out=$(TV_WINE32_MODE=$forced bash "$here/scripts/install-wine32.sh" --env 2>&1); status=$?
  case "$expected" in
    error:*)
      [ $status -ne 0 ] || fail "$probe/$forced: should be refused, gave: $out"
      expect_has "$probe/$forced" "$out" "${expected#error:}" ;;
    *)
      [ $status -eq 0 ] || fail "$probe/$forced: refused: $out"
      eval "$out"
      [ "$wine32_mode" = "$expected" ] || fail "$probe/$forced: took $wine32_mode, not $expected"
      if [ "$expected" = wow64 ]; then want=/usr/lib/wine/wine64; else want=$bin/wine; fi
      [ "$wine32_run" = "$want" ] || fail "$probe/$forced: runs 32-bit programs with $wine32_run"
      [ "$WINEDLLPATH" = "$dir/usr/lib/i386-linux-gnu/wine" ] || fail "$probe/$forced: WINEDLLPATH=$WINEDLLPATH" ;;
  esac
done <<'TABLE'
yes -     wow64
no  -     qemu
yes qemu  qemu
no  qemu  qemu
yes wow64 wow64
no  wow64 error:native WoW64 was forced (TV_WINE32_MODE=wow64), but the host refuses 32-bit code (the i386 preloader: Exec format error)
yes emu   error:TV_WINE32_MODE must be wow64 or qemu, not "emu"
TABLE

# The describe line names the way and why.
host_runs_32bit yes
expect_has describe "$(bash "$here/scripts/install-wine32.sh" --describe)" "32-bit programs: native WoW64, as the host runs 32-bit code"
expect_has describe "$(TV_WINE32_MODE=qemu bash "$here/scripts/install-wine32.sh" --describe)" "32-bit programs: emulated (qemu-i386), forced by TV_WINE32_MODE"

# The host is probed once: its answer is kept beside the unpacked files.
host_runs_32bit no
bash "$here/scripts/install-wine32.sh" || fail "preparing an already unpacked Wine failed"
host_runs_32bit_kept=$(cat "$dir/.host" 2>/dev/null)
printf '#!/bin/sh\necho "Usage: $0 wine_binary [args]"\n' >"$bin/wine-preloader.static"
expect_has "kept answer" "$host_runs_32bit_kept" "refuses 32-bit code"
expect_has "kept answer" "$(bash "$here/scripts/install-wine32.sh" --describe)" "emulated (qemu-i386), as the host refuses 32-bit code"

# The prefix, made by a fake 64-bit loader that records its calls (the
# emulated way, on a host that refuses 32-bit code).
host_runs_32bit no
cat >"$bin/wine64" <<'FAKE'
#!/bin/sh
echo "$*" >>"$WINEPREFIX.calls"
if [ "$1" = wineboot ]; then
  [ -n "${FAKE_BOOT_FAILS:-}" ] && { echo "wine: could not load kernel32.dll, status c0000135"; exit 1; }
  mkdir -p "$WINEPREFIX/drive_c/windows/syswow64" && touch "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll"
fi
FAKE
chmod +x "$bin/wine64"
export TV_WINEPREFIX32=$work/prefix32
calls=$TV_WINEPREFIX32.calls
make_prefix() { rm -f "$calls"; bash "$here/scripts/wineprefix.sh" 32 2>&1; }
boots() { grep -c '^wineboot' "$calls" 2>/dev/null; }

out=$(make_prefix) || fail "making the prefix failed: $out"
[ "$(cat "$TV_WINEPREFIX32/.tv-test-prefix")" = mode=qemu ] || fail "the marker does not name the way"
[ "$(boots)" = 1 ] && [ "$(grep -c '^reg add' "$calls")" = 2 ] || fail "a new prefix: $(cat "$calls")"
out=$(make_prefix) || fail "reusing the prefix failed: $out"
[ ! -f "$calls" ] || fail "a prefix made the same way was set up again: $(cat "$calls")"
for other in mode=wow64 ""; do   # the other way, and a marker from before the ways were named
  echo "$other" >"$TV_WINEPREFIX32/.tv-test-prefix"
  touch "$TV_WINEPREFIX32/stale"
  out=$(make_prefix) || fail "remaking the prefix failed: $out"
  [ "$(boots)" = 1 ] && [ ! -e "$TV_WINEPREFIX32/stale" ] || fail "a prefix marked \"$other\" was reused"
  [ "$(cat "$TV_WINEPREFIX32/.tv-test-prefix")" = mode=qemu ] || fail "remade prefix's marker"
done

# A failed wineboot: what failed, Wine's words and what to try; no prefix left.
rm -rf "$TV_WINEPREFIX32"
out=$(FAKE_BOOT_FAILS=1 make_prefix) && fail "a prefix that was not made passed"
for part in "was not made: wineboot left no drive_c/windows/syswow64/kernel32.dll" \
            "32-bit programs: emulated (qemu-i386), as the host refuses 32-bit code" \
            "  wine: could not load kernel32.dll, status c0000135" "Check that qemu-i386 runs"; do
  expect_has "failed wineboot" "$out" "$part"
done
[ ! -e "$TV_WINEPREFIX32" ] || fail "a half-made prefix was left"

# WoW64 forced where the host refuses 32-bit code: refused before anything runs.
out=$(TV_WINE32_MODE=wow64 make_prefix) && fail "forced WoW64 passed on a host that refuses 32-bit code"
expect_has "forced WoW64" "$out" "Unset TV_WINE32_MODE, or set it to qemu"
[ ! -e "$TV_WINEPREFIX32" ] && [ ! -f "$calls" ] || fail "forced WoW64 started making a prefix"

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
