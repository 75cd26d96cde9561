// Built instead of GdalRaster.cpp when GDAL was not found: every GDAL path says so.
#include "tools/GdalRaster.h"

namespace
{
constexpr const char* kNoGdal = "this build of Altimo has no GDAL support (install libgdal-dev and rebuild)";
}

bool GdalAvailable()
{
    return false;
}

bool GdalReadHeightImage(const std::string&, const HeightImportOptions&, HeightImage&, std::string& reason)
{
    reason = std::string("not a PNG image, and ") + kNoGdal + " for other formats";
    return false;
}

bool GdalEncodeGeoTiff(const GeoTiffRaster&, const MapGeoReference*, std::vector<std::uint8_t>&, std::string& reason)
{
    reason = std::string("GeoTIFF needs GDAL: ") + kNoGdal;
    return false;
}

std::string GdalEsriWkt(const std::string&)
{
    return {};
}

std::string GdalMapUnits(const std::string&)
{
    return {};
}

bool GdalReadGeoReference(const std::string&, int&, int&, MapGeoReference&, std::string& reason)
{
    reason = std::string("reading a georeference needs GDAL: ") + kNoGdal;
    return false;
}

double GdalMapPixelSize(const MapGeoReference&, int, int, std::string& note)
{
    note = std::string("a pixel size from a georeference needs GDAL: ") + kNoGdal;
    return 0;
}

bool GdalEncodeLines(const std::string&, const std::string&, const std::string&, const std::vector<std::vector<double>>&,
                     const std::string&, std::vector<CodedFile>&, std::string& reason)
{
    reason = std::string("vector output needs GDAL: ") + kNoGdal;
    return false;
}
