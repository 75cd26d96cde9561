#!/usr/bin/env bash
# Nodata filling against GDAL, side by side in one run on a 4097 x 4097 DEM of 32-bit floats with
# a third of it nodata (a wobbly footprint and 400 voids in it, made by altimo-bench-nodata):
#   altimo-cli import dem.vrt      (read, sort the nodata into voids and outside cells, fill them
#                                   all, write the RAW, its header and the mask); its summary
#                                   gives the fill's own time
#   gdal_fillnodata.py -md 4097    (the same job: every cell filled) and at its default -md 100,
#                                   which leaves the cells further than 100 pixels from data empty
# Each runs ALTIMO_BENCH_RUNS times (default 3), interleaved, except the full gdal_fillnodata,
# which takes about a minute and runs once; the best wall time counts, the CPU time (user +
# system) of the best run is shown too. Target: import, fill included, at least as fast as
# gdal_fillnodata.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
: "${ALTIMO_CLI:?set ALTIMO_CLI to altimo-cli}"
: "${ALTIMO_BENCH_DIR:?set ALTIMO_BENCH_DIR to a scratch folder}"
RUNS="${ALTIMO_BENCH_RUNS:-3}"
SIZE=4097
MAKER="${ALTIMO_BENCH_TOOLS:-$(dirname "$ALTIMO_CLI")/../bench}/altimo-bench-nodata"
dir="$ALTIMO_BENCH_DIR/fill"
mkdir -p "$dir"
for tool in gdal_fillnodata.py gdalinfo /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench_fill: $tool is missing (scripts/install-deps.sh --bench)"; exit 1; }
done
[ -s "$dir/dem.f32" ] || "$MAKER" "$dir/dem.f32" "$SIZE" 1 >"$dir/share.txt"
cat >"$dir/dem.vrt" <<EOF
<VRTDataset rasterXSize="$SIZE" rasterYSize="$SIZE">
  <SRS>EPSG:32633</SRS>
  <GeoTransform>500000, 30, 0, 4700000, 0, -30</GeoTransform>
  <VRTRasterBand dataType="Float32" band="1" subClass="VRTRawRasterBand">
    <NoDataValue>-9999</NoDataValue>
    <SourceFilename relativeToVRT="0">$dir/dem.f32</SourceFilename>
    <ImageOffset>0</ImageOffset><PixelOffset>4</PixelOffset><LineOffset>$((SIZE * 4))</LineOffset>
    <ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>
EOF
cat "$dir/dem.f32" >/dev/null # into the page cache for both alike

declare -A wall cpu rss
TIMED_DIR="$dir"
fill=""
for run in $(seq "$RUNS"); do
    timed import "$ALTIMO_CLI" import "$dir/dem.vrt" -o "$dir/dem.raw"
    seconds=$("$ALTIMO_CLI" import "$dir/dem.vrt" -o "$dir/dem.raw" | sed -n 's/^nodata cells: .*(\([0-9.]*\) s)$/\1/p')
    if [ -z "$fill" ] || awk -v a="$seconds" -v b="$fill" 'BEGIN { exit !(a < b) }'; then fill=$seconds; fi
    rm -f "$dir/filled100.tif"
    timed gdal100 gdal_fillnodata.py -q -md 100 "$dir/dem.vrt" "$dir/filled100.tif"
done
rm -f "$dir/filled.tif"
timed gdal gdal_fillnodata.py -q -md "$SIZE" "$dir/dem.vrt" "$dir/filled.tif"
left=$(gdalinfo -stats "$dir/filled100.tif" | sed -n 's/.*STATISTICS_VALID_PERCENT=//p')
awk -v share="$(cat "$dir/share.txt")" -v i="${wall[import]}" -v ic="${cpu[import]}" -v f="$fill" \
    -v g="${wall[gdal]}" -v gc="${cpu[gdal]}" -v h="${wall[gdal100]}" -v hc="${cpu[gdal100]}" -v left="$left" \
    -v runs="$RUNS" -v cores="$(nproc)" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
    printf "nodata fill on 4097 x 4097 floats, %s (best of %d runs, %d cores, load average %s at the end)\n", share, runs, cores, load
    printf "  altimo import             %6.2f s wall  %6.2f s CPU  (the fill itself %.2f s)\n", i, ic, f
    printf "  gdal_fillnodata -md 4097  %6.2f s wall  %6.2f s CPU  -> import %.1fx faster (target 1x)\n", g, gc, g / i
    printf "  gdal_fillnodata -md 100   %6.2f s wall  %6.2f s CPU  (leaves %.1f%% of the cells nodata)\n", h, hc, 100 - left
}'
rm -f "$dir/filled.tif" "$dir/filled100.tif" "$dir"/*.aux.xml
