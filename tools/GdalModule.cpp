// The entry of the GDAL module: everything else in it stays hidden, so its functions never
// stand in for the loader's functions of the same names in the program.
#include "tools/GdalModule.h"

extern "C" __attribute__((visibility("default"))) const GdalModuleFunctions* AltimoGdalModuleFunctions()
{
    static const GdalModuleFunctions functions{kGdalModuleVersion, GdalReadHeightImage, GdalEncodeGeoTiff,
                                               GdalEsriWkt,        GdalMapUnits,        GdalReadGeoReference,
                                               GdalMapPixelSize,   GdalEncodeLines,
                                               GdalReadByteRaster};
    return &functions;
}
