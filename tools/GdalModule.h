#pragma once
// The functions of tools/GdalRaster.h as the GDAL module hands them over. GDAL and the hundred
// libraries it pulls in are loaded only when a command first needs them: binding them at every
// start cost each run of altimo-cli about a tenth of a second of CPU, a third of a height-file
// decode. Both sides are built from the same sources, so the layout below is checked by the
// version number only.
#include "tools/GdalRaster.h"

inline constexpr int kGdalModuleVersion = 4;

struct GdalModuleFunctions
{
    int version;
    decltype(&GdalReadHeightImage) readHeightImage;
    decltype(&GdalEncodeGeoTiff) encodeGeoTiff;
    decltype(&GdalEsriWkt) esriWkt;
    decltype(&GdalMapUnits) mapUnits;
    decltype(&GdalReadGeoReference) readGeoReference;
    decltype(&GdalMapPixelSize) mapPixelSize;
    decltype(&GdalEncodeLines) encodeLines;
    decltype(&GdalReadByteRaster) readByteRaster;
};

// The one symbol the module exports.
extern "C" const GdalModuleFunctions* AltimoGdalModuleFunctions();
