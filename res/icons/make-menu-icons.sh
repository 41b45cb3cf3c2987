#!/usr/bin/env bash
# Draws the tray menu's icons (130 calibrate, 135 quit, 137 help, 138 about) as multi-size .ico
# files: every size is drawn at its own resolution from one 16-unit design, so the 16 px image is
# crisp and high-DPI menus get a real 20/24/32/48 px image instead of a stretched 16.
# Needs ImageMagick. Run from anywhere; writes beside this script.
set -euo pipefail
cd "$(dirname "$0")"
SIZES="16 20 24 32 48"
FONT=${FONT:-DejaVu-Sans-Bold}

# draw NAME PRIMITIVES [TEXT]: PRIMITIVES are in a 16 x 16 design space.
draw() {
  local name=$1 prims=$2 text=${3:-} files=()
  for s in $SIZES; do
    local k; k=$(awk "BEGIN{print $s/16}")
    local f; f=$(mktemp --suffix=.png)
    local args=(-size "${s}x${s}" xc:none -draw "affine $k,0,0,$k,0,0 $prims")
    if [ -n "$text" ]; then
      args+=(-font "$FONT" -pointsize "$(awk "BEGIN{print $s*0.8}")" -fill white -gravity center -annotate +0+0 "$text")
    fi
    convert "${args[@]}" -define png:color-type=6 "$f"
    files+=("$f")
  done
  convert "${files[@]}" "$name.ico"
  rm -f "${files[@]}"
}

BLUE='#2f5fa8'
# Calibrate: a target with a cross, the mark the pen is held on.
draw MenuCalibrate "stroke $BLUE stroke-width 1.6 fill none circle 8,8 8,2.6 \
  stroke-width 1.4 line 8,0.8 8,5 line 8,11 8,15.2 line 0.8,8 5,8 line 11,8 15.2,8 \
  stroke none fill '#d03020' circle 8,8 8,6.6"
# Quit: a red disc with a white cross.
draw MenuQuit "fill '#c8322a' stroke none circle 8,8 8,0.8 stroke white stroke-width 2 line 5,5 11,11 line 11,5 5,11"
# Help: a blue disc with a question mark.
draw MenuHelp "fill $BLUE stroke none circle 8,8 8,0.8" "?"
# About: a blue disc with an "i".
draw MenuAbout "fill $BLUE stroke none circle 8,8 8,0.8 fill white circle 8,4.6 8,3.3 rectangle 6.9,6.6 9.1,12.4"
