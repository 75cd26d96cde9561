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
