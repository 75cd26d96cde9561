#!/usr/bin/env bash
# Shorelines (altimo-cli banks), three measurements:
# 1. An 8192 x 8192 mask (about 30% water: a coast and 4000 lakes) at scale 1, the whole job
#    side by side with gdal_contour -fl 127.5 tracing the same cells as an 8-bit image (grey =
#    value * 17, so 127.5 lies between the values 7 and 8 like the shore level 0.5). Target: at
#    most 2x gdal_contour. Best of three runs each, wall and CPU (user + system) time; on a
#    loaded machine the CPU ratio is the fairer one.
# 2. The demo's water mask at 16384 x 16384 cells (demo size 3277, scale 5). Targets: the whole
#    job at most 3 s, loading and drawing at most 1 s.
# 3. The chaining against its straightforward form (linear search of the boundary list) on
#    growing crops of the 8192 mask, with the outlines checked identical.
set -euo pipefail
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
TOOLS="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}"
BUDGET="${ALTIMO_BANKS_CHAIN_BUDGET:-10}" # seconds the straightforward chaining may take per crop
dir="$ALTIMO_BENCH_DIR/banks"
mkdir -p "$dir"
command -v gdal_contour >/dev/null || { echo "gdal_contour missing: run scripts/install-deps.sh --bench"; exit 1; }
[ -s "$dir/mask8k.wtr" ] || "$TOOLS/altimo-bench-banks" mask "$dir/mask8k.wtr" "$dir/mask8k.raw" 8192 1

# Runs a command three times; prints the best wall and the best CPU seconds.
best_of_three() {
    local wall="" cpu=""
    for _ in 1 2 3; do
        rm -f "$dir"/contour.*
        /usr/bin/time -f "%e %U %S" -o "$dir/time.txt" "$@" >"$dir/last_out.txt" 2>&1
        read -r w u s <"$dir/time.txt"
        wall=$(awk -v a="$w" -v b="$wall" 'BEGIN { print (b == "" || a < b) ? a : b }')
        cpu=$(awk -v a="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')" -v b="$cpu" 'BEGIN { print (b == "" || a < b) ? a : b }')
    done
    echo "$wall $cpu"
}

read -r ours_wall ours_cpu < <(best_of_three "$ALTIMO_CLI" banks "$dir/mask8k.wtr" -o "$dir/mask8k.sl" --scale 1)
echo "banks 8192x8192 scale 1: $(head -1 "$dir/last_out.txt")"
echo "  $(tail -1 "$dir/last_out.txt")"
read -r gdal_wall gdal_cpu < <(best_of_three gdal_contour -q -fl 127.5 "$dir/mask8k.raw" "$dir/contour.shp")
awk -v ow="$ours_wall" -v oc="$ours_cpu" -v gw="$gdal_wall" -v gc="$gdal_cpu" 'BEGIN {
    printf "banks %.2f s wall %.2f s cpu | gdal_contour %.2f s wall %.2f s cpu | ratio %.2f wall %.2f cpu (target <= 2)\n",
        ow, oc, gw, gc, ow / gw, oc / gc }'

# The demo's mask: made once by the demo command at size 3277 (16380 cells a side at scale 5).
demo="$dir/demo"
wtr=$(ls "$demo"/*.wtr 2>/dev/null | head -1 || true)
if [ -z "$wtr" ]; then
    "$ALTIMO_CLI" demo --dir "$demo" --size 3277 >/dev/null
    wtr=$(ls "$demo"/*.wtr | head -1)
fi
read -r demo_wall demo_cpu < <(best_of_three "$ALTIMO_CLI" banks "$wtr" -o "$dir/demo.sl" --scale 5 --water-pixel-size 10)
echo "banks demo mask ($(basename "$wtr")) scale 5: $(head -1 "$dir/last_out.txt")"
echo "  $(tail -1 "$dir/last_out.txt")"
awk -v w="$demo_wall" -v c="$demo_cpu" 'BEGIN { printf "  best %.2f s wall, %.2f s cpu (target <= 3 s; load+draw <= 1 s, above)\n", w, c }'

"$TOOLS/altimo-bench-banks" chain "$dir/mask8k.wtr" 1 8 "$BUDGET"
rm -f "$dir"/contour.* "$dir/time.txt" "$dir/last_out.txt"
