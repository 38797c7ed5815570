#!/usr/bin/env bash
# Keeps the kernel's layers apart (docs/architecture.md): base below storage
# below core. Fails when
# - a base object references a symbol that only storage or core defines, or
#   a storage object one that only core defines: the only way up is the
#   context record and the hooks (tvContext, tvHooks), which base defines;
# - a base or storage source or header includes a header of a layer above;
# - a header sits in the folder of another layer than the one that defines
#   what it declares (kernel/include/<layer>/: each Tv function a header
#   declares is defined first in that layer).
# The kernel's build runs it after every link of the library (kernel/CMakeLists.txt).
# usage: check-layers.sh [build directory] [nm]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/x86_64}
nm=${2:-x86_64-w64-mingw32-nm}
filt=${nm%nm}c++filt
command -v "$filt" >/dev/null || filt=cat
objects=$build/kernel/CMakeFiles/tvkernel.dir
[ -d "$objects" ] || { echo "no kernel objects in $objects" >&2; exit 1; }

headers() { (cd kernel/include/$1 && ls -- *.h); }
storage_headers=$(headers storage)
core_headers=$(headers core)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# The objects of a layer whose sources still exist (a renamed source leaves
# its old object behind).
layer_objects() {
  for o in "$objects/$1"/*.obj; do
    [ -f "kernel/$1/$(basename "$o" .obj)" ] && echo "$o"
  done
}

for layer in base storage core; do
  layer_objects $layer > "$work/$layer.objects"
  [ -s "$work/$layer.objects" ] || { echo "no $layer objects in $objects" >&2; exit 1; }
  xargs "$nm" -g --defined-only < "$work/$layer.objects" | awk 'NF == 3 {print $3}' | sort -u > "$work/$layer.defined"
done
sort -u "$work/base.defined" > "$work/below-storage"
sort -u "$work/base.defined" "$work/storage.defined" > "$work/below-core"
# Symbols only a higher layer defines (inline functions defined in several
# layers belong to the lowest).
comm -23 "$work/storage.defined" "$work/below-storage" > "$work/storage.only"
comm -23 "$work/core.defined" "$work/below-core" > "$work/core.only"
sort -u "$work/storage.only" "$work/core.only" > "$work/above-base"

check_objects() {  # layer, file of symbols it must not reference
  local pairs=0
  while read -r o; do
    "$nm" -u "$o" | awk '{print $NF}' | sort -u | comm -12 - "$2" > "$work/hits"
    if [ -s "$work/hits" ]; then
      pairs=$((pairs + 1))
      echo "kernel/$1/$(basename "$o" .obj) reaches up to:"
      "$filt" < "$work/hits" | sed 's/^/  /'
    fi
  done < "$work/$1.objects"
  [ $pairs -eq 0 ] || status=1
}
check_objects base "$work/above-base"
check_objects storage "$work/core.only"

check_includes() {  # files..., then the headers they must not include
  local files=$1 banned=$2
  for f in $files; do
    for h in $banned; do
      if grep -q "#include \"$h\"" "$f"; then echo "$f includes $h"; status=1; fi
    done
  done
}
check_includes "kernel/base/*.cpp kernel/include/base/*.h" "$storage_headers $core_headers"
check_includes "kernel/storage/*.cpp kernel/storage/*.h kernel/include/storage/*.h" "$core_headers"

# The lowest layer that defines each function: "<name> <layer>".
for layer in base storage core; do
  "$filt" < "$work/$layer.defined" | sed -n 's/^\(Tv[A-Za-z0-9_]*\)(.*/\1 '$layer'/p'
done | LC_ALL=C sort -k1,1 -s | awk '!seen[$1]++' > "$work/homes"
for layer in base storage core; do
  for h in kernel/include/$layer/*.h; do
    { grep -oE '^[A-Za-z_][A-Za-z0-9_ *&:<>,]*[ *&]Tv[A-Za-z0-9_]+\(' "$h" || true; } |
      sed -E 's/.*[ *&](Tv[A-Za-z0-9_]+)\($/\1/' | LC_ALL=C sort -u |
      LC_ALL=C join - "$work/homes" | while read -r name home; do
        [ "$home" = "$layer" ] || echo "$h $home $name"
      done
  done
done > "$work/misplaced"
if [ -s "$work/misplaced" ]; then
  awk '{n[$1" "$2]++; if (!first[$1" "$2]) first[$1" "$2] = $3}
       END {for (k in n) {split(k, f, " ");
            printf "%s declares %s (and %d more) that kernel/%s defines: it belongs in kernel/include/%s\n",
                   f[1], first[k], n[k] - 1, f[2], f[2]}}' "$work/misplaced" | sort
  status=1
fi

if [ $status -eq 0 ]; then
  echo "kernel layers of $build: base $(wc -l < "$work/base.objects") objects, storage" \
       "$(wc -l < "$work/storage.objects"), core $(wc -l < "$work/core.objects"); nothing reaches up"
fi
exit $status
