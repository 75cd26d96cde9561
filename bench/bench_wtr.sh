#!/usr/bin/env bash
# Water mask: encode a 16384 x 16384 picture of land and ~40% water (the size of the demo's mask)
# and time wtr-encode and wtr-decode. wtr-decode's own summary splits loading and decoding every
# block (the work the water stage and the shoreline job do before drawing) from writing the BMP.
set -euo pipefail
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
SIZE="${ALTIMO_WTR_BENCH_SIZE:-16384}"
MAKER="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}/altimo-bench-watermask"
dir="$ALTIMO_BENCH_DIR/wtr"
mkdir -p "$dir"
picture="$dir/mask_$SIZE.bmp"
[ -s "$picture" ] || "$MAKER" "$picture" "$SIZE" 1

seconds() { awk -v s="$1" -v e="$(date +%s.%N)" 'BEGIN { printf "%.3f", e - s }'; }

start=$(date +%s.%N)
"$ALTIMO_CLI" wtr-encode "$picture" -o "$dir/mask.wtr"
echo "wtr-encode ${SIZE}x${SIZE}: $(seconds "$start") s wall, $(stat -c %s "$dir/mask.wtr") bytes"

for run in 1 2 3; do
    start=$(date +%s.%N)
    "$ALTIMO_CLI" wtr-decode "$dir/mask.wtr" -o "$dir/decoded.bmp"
    echo "wtr-decode run $run: $(seconds "$start") s wall"
done
# Pixels only: both files have a 1078-byte header, written by different programs.
cmp -s <(tail -c +1079 "$picture") <(tail -c +1079 "$dir/decoded.bmp") && echo "round trip: identical" || { echo "round trip: DIFFERENT"; exit 1; }
rm -f "$dir/decoded.bmp"
