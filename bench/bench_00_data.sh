#!/usr/bin/env bash
# The shared benchmark input: the demo landscape at 8193 x 8193, made once into
# $ALTIMO_BENCH_DIR/demo8193 (about 750 MB) and reused by every later run and script:
#   terrain.raw         the 16-bit RAW map (134 MB)
#   terrain.png         shaded relief picture
#   terrain_lever.bmp   the 24-bit lever bitmap (a flattened runway)
#   terrain.wtr         the water mask, 16384 x 16384 cells at scale 2 (sea, lakes, a river)
#   terrain_w.dat       the water height file, and terrain.dat the height file, from process
#                       with lever and water (pixel size 6.25, sea level 35)
#   terrain_cliff.bmp   the cliff mask of terrain.dat
#   terrain.sl          the shorelines of terrain.wtr, and terrain_banks.png their picture
#   terrain_before.png, terrain_after.png, terrain_water.png, terrain_cliff.png
#                       reliefs before and after levering, water depths, the cliff mask, and
#                       terrain_overview.png with all of them
# The folder counts as complete only when the demo finished (the stamp file "complete").
set -euo pipefail
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
dir="$ALTIMO_BENCH_DIR/demo8193"
if [ -e "$dir/complete" ]; then
    echo "demo landscape 8193 x 8193: $dir (made earlier)"
    exit 0
fi
rm -rf "$dir"
mkdir -p "$dir"
"$ALTIMO_CLI" demo --dir "$dir" --size 8193
touch "$dir/complete"
