#!/usr/bin/env bash
# Derives the include arrows between the project's folders from the sources and
# fails on any arrow that does not point down the layer order below. This is
# the one place where the order is written down.
set -euo pipefail
cd "$(dirname "$0")/.."

# Bottom first. A folder may include its own files and any folder on a lower
# line; folders on one line are peers and must not include each other.
layers=(
  "platform"
  "virtmidi"
  "core"
  "link hostprotocols desktop driver"
  "logicosc"
  "routing"
  "app tools bench packaging"
)
# Folders outside the order: they may include anything.
unlayered="tests build cmake scripts docs"

declare -A level
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do level[$folder]=$i; done
done

status=0
# A new folder of sources must take its place in the order.
for dir in */; do
  folder=${dir%/}
  [ -n "${level[$folder]+set}" ] && continue
  [[ " $unlayered " == *" $folder "* ]] && continue
  if [ -n "$(find "$folder" -name '*.cpp' -o -name '*.h' | head -1)" ]; then
    echo "folder without a layer: $folder/ (add it to scripts/check-layers.sh)"
    status=1
  fi
done

declare -A arrows
for folder in "${!level[@]}"; do
  [ -d "$folder" ] || continue
  # "#include <x/...>" or "#include "x/..."" where x is one of the folders.
  while IFS=: read -r file _ target; do
    [ -n "${level[$target]+set}" ] || continue
    [ "$target" = "$folder" ] && continue
    arrows["$folder -> $target"]=1
    if (( level[$target] >= level[$folder] )); then
      echo "upward include: $file includes $target/ (layer $((level[$target]))), $folder/ is layer $((level[$folder]))"
      status=1
    fi
  done < <(grep -rnE --include='*.h' --include='*.cpp' --include='*.c' \
             '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][a-z]+/' "$folder" \
           | sed -E 's/^([^:]+):([0-9]+):.*include[[:space:]]*[<"]([a-z]+)\/.*/\1:\2:\3/')
done

if [ "${1:-}" = "--arrows" ]; then
  printf '%s\n' "${!arrows[@]}" | sort
fi
if (( status == 0 )); then
  echo "layers: ${#arrows[@]} arrows between folders, all pointing down"
fi
exit $status
