#include "tools/MapGeoTiff.h"

#include "tools/GdalRaster.h"
#include "tools/LoadedDat.h"
#include "tools/MapGeoSource.h"
#include "tools/MapSidecar.h"

#include <algorithm>

namespace
{
// Loads the height file and finds its georeference (`geoTiff`: one is wanted).
bool LoadWithGeoReference(MapRasterWrite& write, bool geoTiff, LoadedDat& dat, MapGeoReference& geo,
                          IProgressSink& progress, int loadedPos, std::string& error)
{
    if (!LoadDatFile(write.dat, dat, error))
        return false;
    write.width = dat.width;
    write.height = dat.height;
    progress.setPos(loadedPos);
    return !geoTiff || FindMapGeoReference(write.dat, write.like, dat.width, dat.height, geo, write.geoSource, error,
                                           write.warnings);
}
} // namespace

bool ExportHeightFile(MapRasterWrite& write, bool metres, IProgressSink& progress, std::string& error,
                      ExportedNodata* exported)
{
    const HeightImageFormat format = HeightImageFormatOf(write.output);
    LoadedDat dat;
    MapGeoReference geo;
    if (!LoadWithGeoReference(write, format == HeightImageFormat::GeoTiff, dat, geo, progress, 100, error))
        return false;
    if (metres && !(!write.geoSource.empty() && geo.hasMapping))
    {
        error = write.dat + ": the heights in metres are not known (" +
                (write.geoSource.empty()
                     ? "neither " + MapSidecarPath(write.dat) + " nor " + ImportHeaderOf(write.dat) + " is there"
                     : write.geoSource + " has no data gain and offset") +
                "); give --like the RAW's header that import wrote";
        return false;
    }
    const MapNodata recorded = FindMapNodata(write.dat, dat.width, dat.height, write.warnings);
    std::vector<std::uint8_t> nodata;
    if (format == HeightImageFormat::GeoTiff && !recorded.mask.empty())
    {
        std::string reason;
        if (!GdalReadByteRaster(recorded.mask, dat.width, dat.height, nodata, reason))
            write.warnings.push_back(recorded.mask + ": " + reason + "; the output marks no nodata");
    }
    if (exported != nullptr)
        *exported = {recorded, std::count_if(nodata.begin(), nodata.end(), [](std::uint8_t kind) { return kind != 0; })};
    if (write.geoSource.empty())
    {
        if (nodata.empty())
            return WriteHeightImage(write.output, format, dat.samples.data(), dat.width, dat.height, dat.pixelSize,
                                    progress, 100, error);
        geo = LocalMapGeoReference(dat.height, dat.pixelSize);
    }
    GeoTiffRaster raster{dat.samples.data(), metres ? GeoTiffSamples::Metres : GeoTiffSamples::UInt16, 1, dat.width,
                         dat.height};
    raster.nodata = nodata.empty() ? nullptr : nodata.data();
    return WriteGeoTiff(write.output, raster, &geo, error);
}

bool WriteCliffGeoTiff(MapRasterWrite& write, const CliffSettings& settings, IProgressSink& progress,
                       std::string& error)
{
    LoadedDat dat;
    MapGeoReference geo;
    if (!LoadWithGeoReference(write, true, dat, geo, progress, 60, error))
        return false;
    if (write.geoSource.empty())
        geo = LocalMapGeoReference(dat.height, dat.pixelSize);
    LargeBuffer<std::uint8_t> mask;
    mask.allocate(std::size_t(dat.width) * std::size_t(dat.height));
    ComputeCliffMask(dat.view(), dat.pixelSize, settings, RasterView<std::uint8_t>(mask.data(), dat.width, dat.height),
                     progress, 140);
    if (!WriteGeoTiff(write.output, GeoTiffRaster{mask.data(), GeoTiffSamples::Byte, 1, dat.width, dat.height}, &geo,
                      error))
        return false;
    progress.setPos(200);
    return true;
}
