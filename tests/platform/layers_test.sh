#!/usr/bin/env bash
# Checks the platform's layering: a source of a layer includes only its own layer and the
# layers below it. Usage: layers_test.sh SOURCE_ROOT
set -u
root=${1:-.}
# Each layer with the layers it may include (besides itself).
declare -A below=(
  [kernel]=""
  [storage]="kernel"
  [device]="kernel storage"
  [gdi]="kernel storage device"
  [windows]="kernel storage device gdi"
  [imaging]="kernel storage device gdi"
  [media]="kernel storage device gdi windows imaging"
  [host]="kernel storage device gdi windows imaging media"
)
faults=0
for layer in "${!below[@]}"; do
  allowed=" $layer ${below[$layer]} "
  for file in "$root"/platform/"$layer"/*; do
    [ -f "$file" ] || continue
    while IFS= read -r used; do
      case "$allowed" in
        *" $used "*) ;;
        *) echo "${file#"$root"/}: includes platform/$used, a layer above or beside $layer"; faults=$((faults + 1)) ;;
      esac
    done < <(sed -n 's|^#include "platform/\([a-z]*\)/.*|\1|p' "$file")
  done
done
# Every platform source lives in a layer.
for file in "$root"/platform/*.cpp "$root"/platform/*.h; do
  [ -e "$file" ] && { echo "${file#"$root"/}: not in a layer"; faults=$((faults + 1)); }
done
[ "$faults" -eq 0 ] && echo "platform layers: clean" || exit 1
