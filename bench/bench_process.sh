#!/usr/bin/env bash
# Height files against GDAL, side by side in one run on the same 8193 x 8193 terrain:
#   altimo-cli process (no lever, no water)   vs  gdal_translate to a 64 x 64 tiled GeoTIFF,
#                                                 DEFLATE with PREDICTOR=2, and lossless LERC
#   altimo-cli dat-decode                      vs  gdal_translate of the DEFLATE GeoTIFF to raw
# Each command runs ALTIMO_BENCH_RUNS times (default 3), the runs of the contenders interleaved,
# and the best wall time counts: the machine is shared, so the best run is the one least
# disturbed by other work. Peak memory of process comes from /usr/bin/time.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
SIZE="${ALTIMO_PROCESS_BENCH_SIZE:-8193}"
RUNS="${ALTIMO_BENCH_RUNS:-3}"
MAKER="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}/altimo-bench-terrain"
dir="$ALTIMO_BENCH_DIR/process"
mkdir -p "$dir"
for tool in gdal_translate /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench_process: $tool is missing (scripts/install-deps.sh --bench)"; exit 1; }
done

# The input: the demo landscape when the command line has it, otherwise a fractal stand-in.
raw="$dir/terrain.raw"
if [ ! -s "$raw" ]; then
    if "$ALTIMO_CLI" demo --help >/dev/null 2>&1; then
        "$ALTIMO_CLI" demo --dir "$dir/demo" --size "$SIZE" >/dev/null
        mv "$dir/demo/terrain.raw" "$raw"
        rm -rf "$dir/demo"
        echo "input: demo landscape ${SIZE}x${SIZE}"
    else
        "$MAKER" "$raw" "$SIZE" 1
        echo "input: fractal stand-in terrain ${SIZE}x${SIZE} (no demo command)"
    fi
fi
rawBytes=$(stat -c %s "$raw")
samples=$((SIZE * SIZE))
[ "$rawBytes" -eq $((samples * 2)) ] || { echo "bench_process: $raw is not ${SIZE}x${SIZE}"; exit 1; }
raw_vrt "$raw" "$SIZE" "$dir/terrain.vrt"
cat "$raw" >/dev/null # into the page cache for every contender alike

TIFF_OPTIONS=(-q -of GTiff -co TILED=YES -co BLOCKXSIZE=64 -co BLOCKYSIZE=64)
declare -A best cpu rss
# timed NAME COMMAND...: runs it, keeps the best wall time, the least CPU time (user + system,
# the fairer figure when other work shares the cores) and the peak memory of NAME.
timed() {
    local name="$1"
    shift
    /usr/bin/time -f "%e %M %U %S" -o "$dir/time.txt" "$@" >/dev/null 2>"$dir/stderr.txt" || {
        echo "bench_process: $name failed:"
        cat "$dir/stderr.txt"
        exit 1
    }
    read -r seconds kilobytes user system <"$dir/time.txt"
    if [ -z "${best[$name]:-}" ] || awk -v a="$seconds" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
        best[$name]=$seconds
    fi
    local used
    used=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    if [ -z "${cpu[$name]:-}" ] || awk -v a="$used" -v b="${cpu[$name]}" 'BEGIN { exit !(a < b) }'; then
        cpu[$name]=$used
    fi
    rss[$name]=$kilobytes
}

for run in $(seq "$RUNS"); do
    timed process "$ALTIMO_CLI" process "$raw" --width "$SIZE" --height "$SIZE"
    timed deflate gdal_translate "${TIFF_OPTIONS[@]}" -co COMPRESS=DEFLATE -co PREDICTOR=2 "$dir/terrain.vrt" "$dir/deflate.tif"
    timed lerc gdal_translate "${TIFF_OPTIONS[@]}" -co COMPRESS=LERC -co MAX_Z_ERROR=0 "$dir/terrain.vrt" "$dir/lerc.tif"
    timed dat-decode "$ALTIMO_CLI" dat-decode "$dir/terrain.dat" -o "$dir/decoded.raw"
    timed gdal-decode gdal_translate -q -of ENVI "$dir/deflate.tif" "$dir/gdal-decoded.raw"
done
cmp -s "$raw" "$dir/decoded.raw" && echo "dat-decode round trip: identical" || { echo "dat-decode round trip: DIFFERENT"; exit 1; }
cmp -s "$raw" "$dir/gdal-decoded.raw" || { echo "GDAL round trip: DIFFERENT"; exit 1; }

datBytes=$(stat -c %s "$dir/terrain.dat")
deflateBytes=$(stat -c %s "$dir/deflate.tif")
lercBytes=$(stat -c %s "$dir/lerc.tif")
awk -v p="${best[process]}" -v d="${best[deflate]}" -v l="${best[lerc]}" \
    -v dd="${best[dat-decode]}" -v gd="${best[gdal-decode]}" \
    -v cp="${cpu[process]}" -v cd="${cpu[deflate]}" -v cl="${cpu[lerc]}" \
    -v cdd="${cpu[dat-decode]}" -v cgd="${cpu[gdal-decode]}" \
    -v dat="$datBytes" -v def="$deflateBytes" -v lerc="$lercBytes" -v n="$samples" -v raw="$rawBytes" \
    -v rss="${rss[process]}" -v runs="$RUNS" -v cores="$(nproc)" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
    printf "process vs GDAL on %d samples (best of %d runs, %d cores, load average %s at the end)\n", n, runs, cores, load
    printf "                             wall      CPU    bits/sample  wall ratio  CPU ratio\n"
    printf "  write  altimo process    %6.2f s %6.2f s  %6.2f\n", p, cp, dat * 8 / n
    printf "  write  GeoTIFF DEFLATE   %6.2f s %6.2f s  %6.2f       %5.1fx     %5.1fx  (target 4x)\n", d, cd, def * 8 / n, d / p, cd / cp
    printf "  write  GeoTIFF LERC      %6.2f s %6.2f s  %6.2f       %5.1fx     %5.1fx  (target > 1x)\n", l, cl, lerc * 8 / n, l / p, cl / cp
    printf "  read   altimo dat-decode %6.2f s %6.2f s\n", dd, cdd
    printf "  read   GDAL from DEFLATE %6.2f s %6.2f s                %5.1fx     %5.1fx  (target 3x)\n", gd, cgd, gd / dd, cgd / cdd
    printf "  size   DAT %.1f MB, DEFLATE %.1f MB, LERC %.1f MB; DAT/DEFLATE %.2f\n", dat / 1e6, def / 1e6, lerc / 1e6, dat / def
    printf "  memory process peak %.1f MB = raster %.1f MB + %.1f MB (target + 64 MB)\n", rss / 1024, raw / 1048576, rss / 1024 - raw / 1048576
}'
rm -f "$dir/decoded.raw" "$dir/gdal-decoded.raw" "$dir/gdal-decoded.hdr" "$dir"/*.aux.xml
