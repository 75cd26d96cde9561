#!/usr/bin/env bash
# Shorelines (altimo-cli banks), three measurements:
# 1. An 8192 x 8192 mask (about 30% water: a coast and 4000 lakes) at scale 1, the whole job
#    side by side with gdal_contour -fl 127.5 tracing the same cells as an 8-bit image (grey =
#    value * 17, so 127.5 lies between the values 7 and 8 like the shore level 0.5). Goal: at
#    least 1.5x as fast as gdal_contour. Best of three rounds, the two interleaved, wall and CPU
#    (user + system) time; on a loaded machine the CPU ratio is the fairer one.
# 2. The demo's water mask at 16384 x 16384 cells (demo size 3277, scale 5). Targets: the whole
#    job at most 3 s, loading and drawing at most 1 s.
# 3. The chaining against its straightforward form (linear search of the boundary list) on
#    growing crops of the 8192 mask, with the outlines checked identical.
#
# Identical outputs: the .sl files of 1. and 2. must equal reference-mask8k.sl and
# reference-demo.sl in the banks folder, which ALTIMO_BENCH_REFERENCE_CLI (an altimo-cli built
# from an earlier version) writes once when they are missing; without either the check is
# skipped and says so.
set -euo pipefail
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
TOOLS="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}"
BUDGET="${ALTIMO_BANKS_CHAIN_BUDGET:-10}" # seconds the straightforward chaining may take per crop
REFERENCE_CLI="${ALTIMO_BENCH_REFERENCE_CLI:-}"
dir="$ALTIMO_BENCH_DIR/banks"
mkdir -p "$dir"
command -v gdal_contour >/dev/null || { echo "gdal_contour missing: run scripts/install-deps.sh --bench"; exit 1; }
[ -s "$dir/mask8k.wtr" ] || "$TOOLS/altimo-bench-banks" mask "$dir/mask8k.wtr" "$dir/mask8k.raw" 8192 1

# Runs a command once; keeps the least wall and CPU seconds in the variables named $1 and $2.
timed_best() {
    local wallVar="$1" cpuVar="$2"
    shift 2
    /usr/bin/time -f "%e %U %S" -o "$dir/time.txt" "$@" >"$dir/last_out.txt" 2>&1
    read -r w u s <"$dir/time.txt"
    local c
    c=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
    printf -v "$wallVar" '%s' "$(awk -v a="$w" -v b="${!wallVar}" 'BEGIN { print (b == "" || a < b) ? a : b }')"
    printf -v "$cpuVar" '%s' "$(awk -v a="$c" -v b="${!cpuVar}" 'BEGIN { print (b == "" || a < b) ? a : b }')"
}

# Compares an output with its reference (made first by the reference build when given).
check_reference() {
    local output="$1" reference="$2"
    shift 2
    if [ ! -s "$reference" ] && [ -n "$REFERENCE_CLI" ]; then
        "$REFERENCE_CLI" -q banks "$@" -o "$reference"
    fi
    if [ ! -s "$reference" ]; then
        echo "  no reference: $(basename "$reference") missing (set ALTIMO_BENCH_REFERENCE_CLI)"
        return
    fi
    cmp -s "$output" "$reference" || { echo "bench_banks: $(basename "$output") DIFFERS from $(basename "$reference")"; exit 1; }
    echo "  identical to $(basename "$reference")"
}

ours_wall="" ours_cpu="" gdal_wall="" gdal_cpu=""
for _ in 1 2 3; do
    rm -f "$dir/mask8k.sl"
    timed_best ours_wall ours_cpu "$ALTIMO_CLI" banks "$dir/mask8k.wtr" -o "$dir/mask8k.sl" --scale 1
    cp "$dir/last_out.txt" "$dir/ours_out.txt"
    rm -f "$dir"/contour.*
    timed_best gdal_wall gdal_cpu gdal_contour -q -fl 127.5 "$dir/mask8k.raw" "$dir/contour.shp"
done
echo "banks 8192x8192 scale 1: $(head -1 "$dir/ours_out.txt")"
echo "  $(tail -1 "$dir/ours_out.txt")"
awk -v ow="$ours_wall" -v oc="$ours_cpu" -v gw="$gdal_wall" -v gc="$gdal_cpu" 'BEGIN {
    printf "banks %.2f s wall %.2f s cpu | gdal_contour %.2f s wall %.2f s cpu | %.2fx as fast wall, %.2fx cpu (goal >= 1.5x)\n",
        ow, oc, gw, gc, gw / ow, gc / oc }'
check_reference "$dir/mask8k.sl" "$dir/reference-mask8k.sl" "$dir/mask8k.wtr" --scale 1

# The demo's mask: made once by the demo command at size 3277 (16380 cells a side at scale 5).
demo="$dir/demo"
wtr=$(ls "$demo"/*.wtr 2>/dev/null | head -1 || true)
if [ -z "$wtr" ]; then
    "$ALTIMO_CLI" demo --dir "$demo" --size 3277 >/dev/null
    wtr=$(ls "$demo"/*.wtr | head -1)
fi
demo_wall="" demo_cpu=""
for _ in 1 2 3; do
    rm -f "$dir/demo.sl"
    timed_best demo_wall demo_cpu "$ALTIMO_CLI" banks "$wtr" -o "$dir/demo.sl" --scale 5 --water-pixel-size 10
done
echo "banks demo mask ($(basename "$wtr")) scale 5: $(head -1 "$dir/last_out.txt")"
echo "  $(tail -1 "$dir/last_out.txt")"
awk -v w="$demo_wall" -v c="$demo_cpu" 'BEGIN { printf "  best %.2f s wall, %.2f s cpu (target <= 3 s; load+draw <= 1 s, above)\n", w, c }'
check_reference "$dir/demo.sl" "$dir/reference-demo.sl" "$wtr" --scale 5 --water-pixel-size 10

"$TOOLS/altimo-bench-banks" chain "$dir/mask8k.wtr" 1 8 "$BUDGET"
rm -f "$dir"/contour.* "$dir/time.txt" "$dir/last_out.txt" "$dir/ours_out.txt"
