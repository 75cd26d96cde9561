#!/usr/bin/env bash
# Height files against GDAL, side by side in one run on the same 8193 x 8193 maps:
#   altimo-cli process (no lever, no water)   vs  gdal_translate to a 64 x 64 tiled GeoTIFF,
#                                                 DEFLATE with PREDICTOR=2, and lossless LERC
#   altimo-cli dat-decode                      vs  gdal_translate of the DEFLATE GeoTIFF to raw
# on two maps: a fractal terrain with noise on the land (altimo-bench-terrain, seed 1, noise
# +-4: the detail of real survey data, which costs bits) and the demo landscape (smoother, it
# compresses better than real terrain).
# Each command runs ALTIMO_BENCH_RUNS times (default 3), the runs of the contenders interleaved,
# and the best wall time counts: the machine is shared, so the best run is the one least
# disturbed by other work. The least CPU time (user + system) is shown beside it, also per
# sample. Every run starts without the output of the last one, so no tool pays for deleting it.
# Peak memory of process comes from /usr/bin/time, its write calls from strace.
#
# Identical outputs: the height file must equal reference.dat in the map's folder, which
# ALTIMO_BENCH_REFERENCE_CLI (an altimo-cli built from an earlier version) writes once when it
# is missing; without either the check is skipped and says so. dat-decode must give back the
# RAW map.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
SIZE="${ALTIMO_PROCESS_BENCH_SIZE:-8193}"
RUNS="${ALTIMO_BENCH_RUNS:-3}"
MAKER="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}/altimo-bench-terrain"
REFERENCE_CLI="${ALTIMO_BENCH_REFERENCE_CLI:-}"
for tool in gdal_translate /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench_process: $tool is missing (scripts/install-deps.sh --bench)"; exit 1; }
done

# make_input NAME RAW: writes the map NAME into RAW.
make_input() {
    case "$1" in
    fractal) "$MAKER" "$2" "$SIZE" 1 4 ;;
    demo)
        local made
        made="$(dirname "$2")/demo"
        "$ALTIMO_CLI" demo --dir "$made" --size "$SIZE" >/dev/null
        mv "$made/terrain.raw" "$2"
        rm -rf "$made"
        ;;
    esac
}

inputs=(fractal)
"$ALTIMO_CLI" demo --help >/dev/null 2>&1 && inputs+=(demo)

TIFF_OPTIONS=(-q -of GTiff -co TILED=YES -co BLOCKXSIZE=64 -co BLOCKYSIZE=64)
declare -A wall cpu rss

bench_input() {
    local name="$1"
    dir="$ALTIMO_BENCH_DIR/process/$name"
    TIMED_DIR="$dir"
    mkdir -p "$dir"
    local raw="$dir/terrain.raw"
    [ -s "$raw" ] || make_input "$name" "$raw"
    local rawBytes samples
    rawBytes=$(stat -c %s "$raw")
    samples=$((SIZE * SIZE))
    [ "$rawBytes" -eq $((samples * 2)) ] || { echo "bench_process: $raw is not ${SIZE}x${SIZE}"; exit 1; }
    raw_vrt "$raw" "$SIZE" "$dir/terrain.vrt"
    if [ ! -s "$dir/reference.dat" ] && [ -n "$REFERENCE_CLI" ]; then
        mkdir -p "$dir/reference"
        ln -sf "$raw" "$dir/reference/terrain.raw" # process writes beside its input
        "$REFERENCE_CLI" -q process "$dir/reference/terrain.raw" --width "$SIZE" --height "$SIZE"
        mv "$dir/reference/terrain.dat" "$dir/reference.dat"
        rm -rf "$dir/reference"
    fi
    cat "$raw" >/dev/null # into the page cache for every contender alike
    wall=() cpu=() rss=()

    for run in $(seq "$RUNS"); do
        rm -f "$dir/terrain.dat"
        timed process "$ALTIMO_CLI" process "$raw" --width "$SIZE" --height "$SIZE"
        rm -f "$dir/deflate.tif"
        timed deflate gdal_translate "${TIFF_OPTIONS[@]}" -co COMPRESS=DEFLATE -co PREDICTOR=2 "$dir/terrain.vrt" "$dir/deflate.tif"
        rm -f "$dir/lerc.tif"
        timed lerc gdal_translate "${TIFF_OPTIONS[@]}" -co COMPRESS=LERC -co MAX_Z_ERROR=0 "$dir/terrain.vrt" "$dir/lerc.tif"
        rm -f "$dir/decoded.raw"
        timed dat-decode "$ALTIMO_CLI" dat-decode "$dir/terrain.dat" -o "$dir/decoded.raw"
        rm -f "$dir/gdal-decoded.raw" "$dir/gdal-decoded.hdr"
        timed gdal-decode gdal_translate -q -of ENVI "$dir/deflate.tif" "$dir/gdal-decoded.raw"
    done
    # The write calls of one more, untimed run (strace slows what it traces): the height file's
    # records are a few KB each and must reach the file in pieces of a megabyte or more.
    local writes="not counted (strace is missing or may not trace here)"
    rm -f "$dir/terrain.dat"
    if command -v strace >/dev/null &&
        strace -f -c -e trace=write -o "$dir/strace.txt" "$ALTIMO_CLI" -q process "$raw" --width "$SIZE" --height "$SIZE" 2>/dev/null; then
        writes="$(awk '$NF == "write" { print $(NF - 1) }' "$dir/strace.txt") (target at most 200)"
    else
        "$ALTIMO_CLI" -q process "$raw" --width "$SIZE" --height "$SIZE"
    fi
    rm -f "$dir/strace.txt"
    local same="no reference (set ALTIMO_BENCH_REFERENCE_CLI)"
    if [ -s "$dir/reference.dat" ]; then
        cmp -s "$dir/terrain.dat" "$dir/reference.dat" || { echo "bench_process: $name: terrain.dat DIFFERS from reference.dat"; exit 1; }
        same="identical to reference.dat"
    fi
    cmp -s "$raw" "$dir/decoded.raw" || { echo "bench_process: $name: dat-decode round trip DIFFERENT"; exit 1; }
    cmp -s "$raw" "$dir/gdal-decoded.raw" || { echo "bench_process: $name: GDAL round trip DIFFERENT"; exit 1; }

    local datBytes deflateBytes lercBytes
    datBytes=$(stat -c %s "$dir/terrain.dat")
    deflateBytes=$(stat -c %s "$dir/deflate.tif")
    lercBytes=$(stat -c %s "$dir/lerc.tif")
    awk -v p="${wall[process]}" -v d="${wall[deflate]}" -v l="${wall[lerc]}" \
        -v dd="${wall[dat-decode]}" -v gd="${wall[gdal-decode]}" \
        -v cp="${cpu[process]}" -v cd="${cpu[deflate]}" -v cl="${cpu[lerc]}" \
        -v cdd="${cpu[dat-decode]}" -v cgd="${cpu[gdal-decode]}" -v name="$name" -v same="$same" \
        -v dat="$datBytes" -v def="$deflateBytes" -v lerc="$lercBytes" -v n="$samples" -v raw="$rawBytes" \
        -v rss="${rss[process]}" -v writes="$writes" -v runs="$RUNS" -v cores="$(nproc)" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
        printf "%s map: process vs GDAL on %d samples (best of %d runs, %d cores, load average %s at the end)\n", name, n, runs, cores, load
        printf "                             wall      CPU  CPU ns/sample  bits/sample  wall ratio  CPU ratio\n"
        printf "  write  altimo process    %6.2f s %6.2f s  %8.2f      %6.2f\n", p, cp, cp * 1e9 / n, dat * 8 / n
        printf "  write  GeoTIFF DEFLATE   %6.2f s %6.2f s  %8.2f      %6.2f       %5.1fx     %5.1fx  (target 8x)\n", d, cd, cd * 1e9 / n, def * 8 / n, d / p, cd / cp
        printf "  write  GeoTIFF LERC      %6.2f s %6.2f s  %8.2f      %6.2f       %5.1fx     %5.1fx  (target > 1x)\n", l, cl, cl * 1e9 / n, lerc * 8 / n, l / p, cl / cp
        printf "  read   altimo dat-decode %6.2f s %6.2f s  %8.2f\n", dd, cdd, cdd * 1e9 / n
        printf "  read   GDAL from DEFLATE %6.2f s %6.2f s  %8.2f                   %5.1fx     %5.1fx  (target 6x)\n", gd, cgd, cgd * 1e9 / n, gd / dd, cgd / cdd
        printf "  size   DAT %.1f MB, DEFLATE %.1f MB, LERC %.1f MB; DAT/DEFLATE %.2f\n", dat / 1e6, def / 1e6, lerc / 1e6, dat / def
        printf "  memory process peak %.1f MB, raster %.1f MB (target at most the raster + 64 MB)\n", rss / 1024, raw / 1048576
        printf "  calls  process write calls: %s\n", writes
        printf "  output terrain.dat %s; dat-decode gives back the RAW map\n", same
    }'
    rm -f "$dir/decoded.raw" "$dir/gdal-decoded.raw" "$dir/gdal-decoded.hdr" "$dir"/*.aux.xml
}

for input in "${inputs[@]}"; do
    bench_input "$input"
done
