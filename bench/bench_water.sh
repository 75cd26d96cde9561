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
#
# Then the table's row: `process --water` at scale 1 (hill 30 and 100) on the noisy fractal map of
# bench_process.sh with the 8192 x 8192 mask of bench_banks.sh (29% water), in units of
# `gdaldem slope` on the same map in the same run, interleaved, best of ALTIMO_BENCH_RUNS (3),
# wall and CPU. The outputs must equal those of ALTIMO_BENCH_REFERENCE_CLI (an earlier build,
# run once when the references are missing). ALTIMO_WATER_BENCH_ROWS picks the parts:
# "demo fractal" (default), or either alone.
set -euo pipefail
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
SIZE="${ALTIMO_WATER_BENCH_SIZE:-8193}"
SMALL="${ALTIMO_WATER_BENCH_SMALL:-1025}"
TOOL="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}/altimo-bench-water"
dir="$ALTIMO_BENCH_DIR/water"
mkdir -p "$dir"

ROWS="${ALTIMO_WATER_BENCH_ROWS:-demo fractal}"
if [[ " $ROWS " == *" demo "* ]]; then
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
fi

[[ " $ROWS " == *" fractal "* ]] || exit 0
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
RUNS="${ALTIMO_BENCH_RUNS:-3}"
REFERENCE_CLI="${ALTIMO_BENCH_REFERENCE_CLI:-}"
fractal="$ALTIMO_BENCH_DIR/process/fractal/terrain.raw"
mask="$ALTIMO_BENCH_DIR/banks/mask8k.wtr"
[ -s "$fractal" ] || { mkdir -p "$(dirname "$fractal")"; "$(dirname "$TOOL")/altimo-bench-terrain" "$fractal" 8193 1 4; }
[ -s "$mask" ] || { mkdir -p "$(dirname "$mask")"; "$(dirname "$TOOL")/altimo-bench-banks" mask "$mask" "${mask%.wtr}.raw" 8192 1; }
fdir="$dir/fractal"
mkdir -p "$fdir"
ln -sf "$fractal" "$fdir/terrain.raw"
raw_vrt "$fractal" 8193 "$fdir/terrain.vrt" 1
cat "$fractal" "$mask" >/dev/null
declare -A wall cpu rss
TIMED_DIR="$fdir"
# water_job CLI HILL OUT: the command line of one run.
water_job() {
    job=("$1" -q process "$fdir/terrain.raw" --width 8193 --height 8193 --water "$mask" --scale 1 --blur-height
        --hill-size "$2" -o "$3")
}
for hill in 30 100; do
    if [ ! -s "$fdir/reference$hill.dat" ] && [ -n "$REFERENCE_CLI" ]; then
        water_job "$REFERENCE_CLI" "$hill" "$fdir/reference$hill"
        "${job[@]}"
    fi
done
for run in $(seq "$RUNS"); do
    timed slope gdaldem slope -q "$fdir/terrain.vrt" "$fdir/slope.tif"
    for hill in 30 100; do
        rm -f "$fdir/out$hill.dat" "$fdir/out${hill}_w.dat"
        water_job "$ALTIMO_CLI" "$hill" "$fdir/out$hill"
        timed "hill$hill" "${job[@]}"
    done
done
for hill in 30 100; do
    same="no reference (set ALTIMO_BENCH_REFERENCE_CLI)"
    if [ -s "$fdir/reference$hill.dat" ]; then
        cmp -s "$fdir/out$hill.dat" "$fdir/reference$hill.dat" && cmp -s "$fdir/out${hill}_w.dat" "$fdir/reference${hill}_w.dat" ||
            { echo "bench_water: hill $hill: outputs DIFFER from the references"; exit 1; }
        same="identical to the references"
    fi
    awk -v w="${wall[hill$hill]}" -v c="${cpu[hill$hill]}" -v sw="${wall[slope]}" -v sc="${cpu[slope]}" -v hill="$hill" \
        -v same="$same" -v runs="$RUNS" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
        printf "process --water fractal 8193^2, scale 1, hill %d: %.2f s wall %.2f s CPU | gdaldem slope %.2f s wall %.2f s CPU | %.2f units wall, %.2f CPU (best of %d, load %s); outputs %s\n",
            hill, w, c, sw, sc, w / sw, c / sc, runs, load, same }'
done
rm -f "$fdir"/out*.dat "$fdir/slope.tif" "$fdir/time.txt" "$fdir/stderr.txt"
