#!/usr/bin/env bash
# Pictures and height images on an 8193 x 8193 terrain, side by side with GDAL in one run:
#   altimo-cli preview (relief, PNG)     vs  gdaldem hillshade -of PNG (grey, no tint)
#   altimo-cli export DAT -> 16-bit PNG  vs  gdal_translate RAW -> 16-bit PNG
#   altimo-cli import 16-bit PNG -> RAW  (round trip checked byte for byte)
# Best wall time of ALTIMO_BENCH_RUNS runs (default 3), the contenders interleaved.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
SIZE="${ALTIMO_PREVIEW_BENCH_SIZE:-8193}"
RUNS="${ALTIMO_BENCH_RUNS:-3}"
MAKER="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}/altimo-bench-terrain"
dir="$ALTIMO_BENCH_DIR/preview"
mkdir -p "$dir"
raw="$dir/terrain.raw"
[ -s "$raw" ] || "$MAKER" "$raw" "$SIZE" 1
[ -s "$dir/terrain.dat" ] || "$ALTIMO_CLI" -q process "$raw" --width "$SIZE" --height "$SIZE"
raw_vrt "$raw" "$SIZE" "$dir/terrain.vrt" 50

now() { date +%s.%N; }
best() { sort -g | head -1; }
declare -A times
run() { # name command...
    local name="$1"
    shift
    local start
    start=$(now)
    "$@" >/dev/null 2>&1 || { echo "bench_preview: $name failed"; exit 1; }
    times[$name]+="$(awk -v s="$start" -v e="$(now)" 'BEGIN { printf "%.3f", e - s }')"$'\n'
}
have_gdal=0
command -v gdaldem >/dev/null && command -v gdal_translate >/dev/null && have_gdal=1
for _ in $(seq "$RUNS"); do
    run "altimo preview" "$ALTIMO_CLI" -q preview "$dir/terrain.dat" -o "$dir/relief.png"
    run "altimo export png16" "$ALTIMO_CLI" -q export "$dir/terrain.dat" -o "$dir/export.png"
    run "altimo import png16" "$ALTIMO_CLI" -q import "$dir/export.png" -o "$dir/import.raw"
    if [ "$have_gdal" = 1 ]; then
        run "gdaldem hillshade png" gdaldem hillshade -q -of PNG -z 1 "$dir/terrain.vrt" "$dir/gdal_relief.png"
        run "gdal_translate png16" gdal_translate -q -of PNG "$dir/terrain.vrt" "$dir/gdal_export.png"
    fi
done
for name in "altimo preview" "gdaldem hillshade png" "altimo export png16" "gdal_translate png16" "altimo import png16"; do
    [ -n "${times[$name]:-}" ] || continue
    file=""
    case "$name" in
    "altimo preview") file="$dir/relief.png" ;;
    "gdaldem hillshade png") file="$dir/gdal_relief.png" ;;
    "altimo export png16") file="$dir/export.png" ;;
    "gdal_translate png16") file="$dir/gdal_export.png" ;;
    esac
    size=""
    [ -n "$file" ] && size=", $(stat -c %s "$file") bytes"
    printf '%-24s %s x %s: best %s s of %s%s\n' "$name" "$SIZE" "$SIZE" "$(printf '%s' "${times[$name]}" | best)" "$RUNS" "$size"
done
cmp -s "$raw" "$dir/import.raw" && echo "round trip RAW -> DAT -> PNG16 -> RAW: identical" ||
    { echo "round trip: DIFFERENT"; exit 1; }
rm -f "$dir/import.raw" "$dir"/*.aux.xml
