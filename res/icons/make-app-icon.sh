#!/usr/bin/env bash
# Rebuilds Tavori.ico (the program's icon: a blue ring with a white centre, the pen's light seen by
# the camera) at every size Windows asks for, each drawn from a 1024 px master so small sizes stay crisp.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
convert -size 1024x1024 xc:none -fill '#1F6FD1' -draw 'circle 511.5,511.5 511.5,31' \
        -fill white -draw 'circle 511.5,511.5 511.5,307' "$tmp/master.png"
sizes=(16 20 24 32 48 64 128 256)
for s in "${sizes[@]}"; do
  convert "$tmp/master.png" -filter Lanczos -resize "${s}x${s}" "$tmp/$s.png"
done
convert $(printf "$tmp/%s.png " "${sizes[@]}") Tavori.ico
identify Tavori.ico | awk '{print $3}' | tr '\n' ' '; echo
