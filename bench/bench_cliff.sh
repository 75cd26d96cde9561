#!/usr/bin/env bash
# Cliff export against GDAL, side by side in one run on the demo landscape at 8193 x 8193:
#   altimo-cli cliff terrain.dat      (decode the height file, slope of every sample, 8-bit BMP)
#   gdaldem slope on the same heights (read through a VRT of the RAW map, Float32 GeoTIFF)
# Each runs ALTIMO_BENCH_RUNS times (default 3), interleaved; the best wall time counts, and the
# CPU time (user + system) of that run is shown too, the fairer figure on a loaded machine.
# Target: cliff at least 5x faster than gdaldem slope. The bitmap must equal reference.bmp in the
# bench folder, which ALTIMO_BENCH_REFERENCE_CLI (an altimo-cli of an earlier version) writes
# once when it is missing.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
RUNS="${ALTIMO_BENCH_RUNS:-3}"
REFERENCE_CLI="${ALTIMO_BENCH_REFERENCE_CLI:-}"
SIZE=8193
data="$ALTIMO_BENCH_DIR/demo8193"
dir="$ALTIMO_BENCH_DIR/cliff"
mkdir -p "$dir"
for tool in gdaldem /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench_cliff: $tool is missing (scripts/install-deps.sh --bench)"; exit 1; }
done
[ -e "$data/complete" ] || bash "$(dirname "$0")/bench_00_data.sh"
# The same raster for both: the demo's RAW map made into a height file without lever and water.
raw="$dir/terrain.raw"
dat="$dir/terrain.dat"
ln -sf "$data/terrain.raw" "$raw"
[ -s "$dat" ] || "$ALTIMO_CLI" -q process "$raw" --width "$SIZE" --height "$SIZE" --pixel-size 6.25

# The heights as GDAL sees them: samples of 6.25 m (the demo's 51.2 km square), in height
# units of 2550 / 65535 m (the cliff export's default height scale 10 times 255), so that
# gdaldem computes the same slopes.
raw_vrt "$raw" "$SIZE" "$dir/terrain.vrt" 6.25
[ -s "$dir/reference.bmp" ] || [ -z "$REFERENCE_CLI" ] || "$REFERENCE_CLI" -q cliff "$dat" -o "$dir/reference.bmp"
cat "$raw" "$dat" >/dev/null # into the page cache for both alike

declare -A wall cpu rss
TIMED_DIR="$dir"

for run in $(seq "$RUNS"); do
    timed cliff "$ALTIMO_CLI" cliff "$dat" -o "$dir/cliff.bmp"
    timed gdaldem gdaldem slope -q -s "$(awk 'BEGIN { print 65535 / 2550 }')" "$dir/terrain.vrt" "$dir/slope.tif"
done
same="no reference (set ALTIMO_BENCH_REFERENCE_CLI)"
if [ -s "$dir/reference.bmp" ]; then
    cmp -s "$dir/cliff.bmp" "$dir/reference.bmp" || { echo "bench_cliff: cliff.bmp DIFFERS from reference.bmp"; exit 1; }
    same="identical to reference.bmp"
fi
awk -v same="$same" -v c="${wall[cliff]}" -v g="${wall[gdaldem]}" -v cc="${cpu[cliff]}" -v gc="${cpu[gdaldem]}" \
    -v runs="$RUNS" -v cores="$(nproc)" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
    printf "cliff vs gdaldem slope on %d x %d samples (best of %d runs, %d cores, load average %s at the end)\n", 8193, 8193, runs, cores, load
    printf "  altimo cliff       %6.2f s wall  %6.2f s CPU\n", c, cc
    printf "  gdaldem slope      %6.2f s wall  %6.2f s CPU  -> cliff %.1fx faster (target 5x), %.1fx less CPU\n", g, gc, g / c, gc / cc
    printf "  bitmap %s\n", same
}'
rm -f "$dir/slope.tif" "$dir"/*.aux.xml
