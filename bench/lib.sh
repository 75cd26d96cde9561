# Shared by the benchmark scripts (sourced, not run by bench/run.sh).

# raw_vrt RAW SIZE VRT [PIXEL_METRES]: writes a GDAL VRT that reads the SIZE x SIZE 16-bit
# little-endian RAW map as it is, so the GDAL tools see the very samples Altimo reads. With
# PIXEL_METRES the raster gets that ground size per sample (north up).
raw_vrt() {
    local raw="$1" size="$2" vrt="$3" pixel="${4:-}"
    {
        echo "<VRTDataset rasterXSize=\"$size\" rasterYSize=\"$size\">"
        [ -z "$pixel" ] || echo "  <GeoTransform>0, $pixel, 0, 0, 0, -$pixel</GeoTransform>"
        echo "  <VRTRasterBand dataType=\"UInt16\" band=\"1\" subClass=\"VRTRawRasterBand\">"
        echo "    <SourceFilename relativeToVRT=\"0\">$raw</SourceFilename>"
        echo "    <ImageOffset>0</ImageOffset><PixelOffset>2</PixelOffset><LineOffset>$((size * 2))</LineOffset>"
        echo "    <ByteOrder>LSB</ByteOrder>"
        echo "  </VRTRasterBand>"
        echo "</VRTDataset>"
    } >"$vrt"
}

# timed NAME COMMAND...: runs the command, its output discarded, and keeps for NAME the best wall
# time in wall[NAME], the least CPU time (user + system, the fairer figure when other work shares
# the cores) in cpu[NAME] and the last peak memory in kilobytes in rss[NAME]. The caller declares
# the arrays (declare -A wall cpu rss) and sets TIMED_DIR to a scratch folder; a failing command
# stops the script with its error output.
timed() {
    local name="$1"
    shift
    /usr/bin/time -f "%e %M %U %S" -o "$TIMED_DIR/time.txt" "$@" >/dev/null 2>"$TIMED_DIR/stderr.txt" || {
        echo "$(basename "$0" .sh): $name failed:"
        cat "$TIMED_DIR/stderr.txt"
        exit 1
    }
    local seconds kilobytes user system used
    read -r seconds kilobytes user system <"$TIMED_DIR/time.txt"
    used=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    if [ -z "${wall[$name]:-}" ] || awk -v a="$seconds" -v b="${wall[$name]}" 'BEGIN { exit !(a < b) }'; then
        wall[$name]=$seconds
    fi
    if [ -z "${cpu[$name]:-}" ] || awk -v a="$used" -v b="${cpu[$name]}" 'BEGIN { exit !(a < b) }'; then
        cpu[$name]=$used
    fi
    rss[$name]=$kilobytes
}
