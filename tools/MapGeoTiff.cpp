#include "tools/MapGeoTiff.h"

#include "tools/GdalRaster.h"
#include "tools/LoadedDat.h"
#include "tools/MapGeoSource.h"
#include "tools/MapSidecar.h"

#include <algorithm>

namespace
{
// Loads the height file and finds its georeference (`geoTiff`: one is wanted).
Status LoadWithGeoReference(MapRasterWrite& write, bool geoTiff, LoadedDat& dat, MapGeoReference& geo,
                            IProgressSink& progress, int loadedPos)
{
    if (Status loaded = LoadDatFile(write.dat, dat); !loaded)
        return loaded;
    write.width = dat.width;
    write.height = dat.height;
    progress.setPos(loadedPos);
    if (!geoTiff)
        return Ok();
    StatusOr<std::string> found =
        FindMapGeoReference(write.dat, write.like, dat.width, dat.height, geo, write.warnings);
    write.geoSource = std::move(found.value);
    return found.status;
}
} // namespace

Status ExportHeightFile(MapRasterWrite& write, bool metres, IProgressSink& progress, ExportedNodata* exported)
{
    const HeightImageFormat format = HeightImageFormatOf(write.output);
    LoadedDat dat;
    MapGeoReference geo;
    if (Status loaded = LoadWithGeoReference(write, format == HeightImageFormat::GeoTiff, dat, geo, progress, 100);
        !loaded)
        return loaded;
    if (metres && !(!write.geoSource.empty() && geo.hasMapping))
        return {StatusCode::invalidInput,
                write.dat + ": the heights in metres are not known (" +
                    (write.geoSource.empty()
                         ? "neither " + MapSidecarPath(write.dat) + " nor " + ImportHeaderOf(write.dat) + " is there"
                         : write.geoSource + " has no data gain and offset") +
                    "); give --like the RAW's header that import wrote"};
    const MapNodata recorded = FindMapNodata(write.dat, dat.width, dat.height, write.warnings);
    std::vector<std::uint8_t> nodata;
    if (format == HeightImageFormat::GeoTiff && !recorded.mask.empty())
        if (Status read = GdalReadByteRaster(recorded.mask, dat.width, dat.height, nodata); !read)
            write.warnings.push_back(recorded.mask + ": " + read.message + "; the output marks no nodata");
    if (exported != nullptr)
        *exported = {recorded, std::count_if(nodata.begin(), nodata.end(), [](std::uint8_t kind) { return kind != 0; })};
    if (write.geoSource.empty())
    {
        if (nodata.empty())
            return WriteHeightImage(write.output, format, dat.samples.data(), dat.width, dat.height, dat.pixelSize,
                                    progress, 100);
        geo = LocalMapGeoReference(dat.height, dat.pixelSize);
    }
    GeoTiffRaster raster{dat.samples.data(), metres ? GeoTiffSamples::Metres : GeoTiffSamples::UInt16, 1, dat.width,
                         dat.height};
    raster.nodata = nodata.empty() ? nullptr : nodata.data();
    return WriteGeoTiff(write.output, raster, &geo);
}

Status WriteCliffGeoTiff(MapRasterWrite& write, const CliffSettings& settings, IProgressSink& progress)
{
    LoadedDat dat;
    MapGeoReference geo;
    if (Status loaded = LoadWithGeoReference(write, true, dat, geo, progress, 60); !loaded)
        return loaded;
    if (write.geoSource.empty())
        geo = LocalMapGeoReference(dat.height, dat.pixelSize);
    LargeBuffer<std::uint8_t> mask;
    mask.allocate(std::size_t(dat.width) * std::size_t(dat.height));
    ComputeCliffMask(dat.view(), dat.pixelSize, settings, RasterView<std::uint8_t>(mask.data(), dat.width, dat.height),
                     progress, 140);
    if (Status written = WriteGeoTiff(write.output,
                                      GeoTiffRaster{mask.data(), GeoTiffSamples::Byte, 1, dat.width, dat.height}, &geo);
        !written)
        return written;
    progress.setPos(200);
    return Ok();
}
