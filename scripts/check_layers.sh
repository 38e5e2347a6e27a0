#!/usr/bin/env bash
# Refuses an include that climbs the floors: a file on one floor may include
# only the folders its floor links (<build>/layers.txt, written by CMake from
# cmake/Layers.cmake), and only the window layer (app/qt) may include Qt.
# Usage: check_layers.sh LAYERS_FILE [SOURCE_DIR]
set -euo pipefail
rules="$1"
cd "${2:-$(dirname "$0")/..}"

declare -A allowed
while IFS=: read -r folder folders; do
  [ -n "$folder" ] && allowed[$folder]=",$folders,"
done < "$rules"

status=0
for folder in "${!allowed[@]}"; do
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r line; do
      number=${line%%:*}
      included=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")
      target=$(dirname "$included")
      # Only the project's own floors are judged; other quoted includes
      # (generated files beside the source) are not floors.
      [ -n "${allowed[$target]+set}" ] || continue
      if [[ "${allowed[$folder]}" != *",$target,"* ]]; then
        echo "$file:$number: includes \"$included\", but $folder/ may use only $(tr , " " <<<"${allowed[$folder]}" | xargs)" >&2
        status=1
      fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
    if [ "$folder" != "app/qt" ] && grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file" >/dev/null; then
      echo "$file: includes Qt, which only the window layer (app/qt) may use" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "layers: every include stays on its floor or goes down"
exit "$status"
