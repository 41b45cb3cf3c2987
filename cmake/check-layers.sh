#!/usr/bin/env bash
# Checks the include graph of src/: every #include "folder/..." between src folders must point to
# a lower layer (or one of the same layer), and the folder graph must have no cycle.
#   app > calibration, ui > storage, output, capture > config, win
set -euo pipefail
src=${1:-$(dirname "$0")/../src}
declare -A rank=([app]=4 [calibration]=3 [ui]=3 [storage]=2 [output]=2 [capture]=2 [config]=1 [win]=1)
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
bad=0
for dir in "$src"/*/; do
  from=$(basename "$dir")
  [ -n "${rank[$from]:-}" ] || { echo "unknown folder src/$from: give it a layer"; bad=1; continue; }
  while IFS=: read -r file line; do
    to=${line#*\"}; to=${to%%/*}
    [ -n "${rank[$to]:-}" ] && [ "$to" != "$from" ] || continue
    echo "$from $to" >>"$edges"
    if [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
      echo "upward include: ${file#"$src"/} -> $to"; bad=1
    fi
  done < <(grep -H -o '^#include "[a-z]*/[^"]*"' "$dir"*.h "$dir"*.cpp 2>/dev/null || true)
done
if ! sort -u "$edges" | tsort >/dev/null 2>"$edges.err"; then
  echo "include cycle between folders:"; cat "$edges.err"; bad=1
fi
rm -f "$edges.err"
[ "$bad" -eq 0 ] && echo "src/ layers: $(sort -u "$edges" | wc -l) folder arrows, all downward, no cycle"
exit "$bad"
