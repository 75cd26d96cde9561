#pragma once
// The ENVI header beside a RAW map ("map.raw.hdr"): import writes it so that GDAL and QGIS open
// the RAW directly, and process reads the map's size and byte order back from it. Both sides are
// here so that what one writes the other reads.
#include "base/Status.h"
#include "tools/HeightImage.h"

#include <string>

struct EnviHeader
{
    long samples = 0;
    long lines = 0;
    long dataType = 0;
    long byteOrder = 0; // 1: big-endian
    long bands = 1;
    long headerOffset = 0;
    bool hasMapInfo = false; // a header written by hand for the size alone has none
    // The height mapping, metres = offset + gain * sample, when the header gives a data gain
    // (the first value of "data gain values"; "data offset values" defaults to 0).
    bool hasMapping = false;
    double gain = 1;
    double offset = 0;
    std::string mappingProblem; // why a gain or offset given could not be used; the map is read all the same
    MapNodata nodata;        // the mask's path as found from the header's folder
};

// "dem_nodata.tif" for "dem.raw": the mask of the nodata cells that import writes beside a RAW.
std::string NodataMaskPathOf(const std::string& raw);

// Reads the keys a one-band map needs. invalidInput (the path and the reason) when the file is
// not an ENVI header or its numbers are not numbers. A data gain or offset that is not a finite
// number (or a gain of 0) leaves the mapping unknown, saying why in mappingProblem.
Status ReadEnviHeader(const std::string& path, EnviHeader& header);

// The header import writes for `image`: its size and byte order, the georeference as map info
// and coordinate system string, the height mapping as data gain and offset
// (metres = offset + gain * sample) and, when the image had nodata, the name of its mask
// `maskName` (beside the header) with the counts of each kind and how they were filled.
std::string HeightImageEnviHeader(const HeightImage& image, const std::string& description,
                                  const std::string& maskName = {});
