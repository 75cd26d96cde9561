#!/usr/bin/env bash
# Levering and water processing on the 8193 x 8193 demo terrain with a lever bitmap and a water
# mask at scale 2 (about 40% water), defaults otherwise (blur 10, bank 5, hill 30):
# - whole `altimo-cli process` runs with lever and water (hill 30 and hill 100): the CLI's own
#   stage times, wall time and peak memory against 3.2 x the RAW's size + 64 MB;
# - each stage alone, wall and processor time (targets: levering <= 2.5 s, water stage <= 10 s,
#   <= 20 s with hill 100, the fill of a dry map from one lake <= 3 s);
# - the speed-up over the plain versions on a 1025 x 1025 map (they are far too slow for the
#   large one), checking that the results are identical;
# - GDAL's gdal_fillnodata.py, a related fill, on a one-lake map as a comparison, when installed.
set -euo pipefail
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
SIZE="${ALTIMO_WATER_BENCH_SIZE:-8193}"
SMALL="${ALTIMO_WATER_BENCH_SMALL:-1025}"
TOOL="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}/altimo-bench-water"
dir="$ALTIMO_BENCH_DIR/water"
mkdir -p "$dir"

"$TOOL" inputs "$dir" "$SIZE" 2
raw="$dir/demo_$SIZE.raw"
limit_kb=$(awk -v s="$SIZE" 'BEGIN { printf "%d", (3.2 * s * s * 2 + 64 * 1048576) / 1024 }')
for hill in 30 100; do
    /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$ALTIMO_CLI" process "$raw" --width "$SIZE" --height "$SIZE" \
        --lever "$dir/lever_$SIZE.bmp" --water "$dir/water_${SIZE}_s2.wtr" --scale 2 --blur-height --hill-size "$hill" |
        grep '^process:' | sed "s/^process:/process (hill $hill):/"
    read -r wall peak_kb <"$dir/time.txt"
    verdict=$([ "$peak_kb" -le "$limit_kb" ] && echo "within" || echo "ABOVE")
    echo "process (hill $hill): $wall s wall, peak $((peak_kb / 1024)) MiB, $verdict the limit of $((limit_kb / 1024)) MiB"
done
rm -f "$dir/demo_$SIZE.dat" "$dir/demo_${SIZE}_w.dat" "$dir/time.txt"

"$TOOL" stages "$dir" "$SIZE" 2
"$TOOL" speedup "$SMALL"

if command -v gdal_fillnodata.py >/dev/null; then
    "$TOOL" lake "$dir/lake.bil" "$SMALL"
    start=$(date +%s.%N)
    gdal_fillnodata.py -q -md $((SMALL * 2)) "$dir/lake.bil" "$dir/lake_filled.tif"
    echo "gdal_fillnodata.py on the dry $SMALL x $SMALL map from one lake: $(awk -v s="$start" -v e="$(date +%s.%N)" \
        'BEGIN { printf "%.2f", e - s }') s wall (altimo's fill of the same map: see above)"
    rm -f "$dir/lake.bil" "$dir/lake.hdr" "$dir/lake_filled.tif"
fi
