#pragma once
// Where a RAW map lies, as the ENVI header that import writes beside it ("<raw>.hdr") says, so
// that process carries it into the sidecar of the height file ("<base>.dat.json") and takes the
// pixel size from it. process and the batch's map jobs share this.
#include "heightproc/ProcessSettings.h"
#include "tools/HeightImage.h"

#include <string>
#include <vector>

struct RawGeoReference
{
    bool found = false; // the header has a georeference for a map of the settings' size
    std::string header;
    MapGeoReference geo;
    std::vector<std::string> warnings; // a header that cannot be used, an approximate pixel size
};

// Reads "<raw>.hdr" when there is one. Unless the pixel size was given, the header's ground size
// of a sample (in metres) becomes settings.pixelSize; one outside the field's range is named in a
// warning and the default is kept. A header whose pixels are not square (or that is rotated) is
// named in a warning however the pixel size came.
RawGeoReference ApplyRawGeoReference(const std::string& raw, ProcessSettings& settings, bool pixelSizeGiven);

// Writes the sidecar of the height file when the header had a georeference; false with the
// message in `error`. True and nothing written without one.
bool WriteRawGeoReference(const RawGeoReference& found, const std::string& heightDat, const ProcessSettings& settings,
                          const std::string& raw, std::string& error);
