#include "tools/MapGeoSource.h"

#include "base/JobFiles.h"
#include "codec/DATElevationDB.h"
#include "tools/EnviHeader.h"
#include "tools/GdalRaster.h"
#include "tools/MapSidecar.h"

std::string ImportHeaderOf(const std::string& dat)
{
    return MapBaseOf(dat) + ".raw.hdr";
}

StatusOr<std::string> FindMapGeoReference(const std::string& dat, const std::string& like, int width, int height,
                                          MapGeoReference& geo, std::vector<std::string>& warnings)
{
    if (!like.empty())
    {
        if (Status read = ReadMapGeoReference(like, width, height, geo); !read)
            return read;
        return like;
    }
    std::string source;
    Status read;
    const std::string sidecar = MapSidecarPath(dat);
    const std::string header = ImportHeaderOf(dat);
    if (FileSize(sidecar) > 0)
    {
        if ((read = ReadMapSidecar(sidecar, width, height, geo)))
            source = sidecar;
    }
    else if (FileSize(header) > 0 && (read = ReadMapGeoReference(header, width, height, geo)))
        source = header;
    if (!read)
        warnings.push_back(read.message + "; the output gets no georeference");
    return source;
}

StatusOr<std::string> ReadLikeMap(const std::string& like, MapGeoReference& geo, int& width, int& height,
                                  std::vector<std::string>& warnings)
{
    if (like.ends_with(".dat"))
    {
        // The header alone gives the size: the load stops as soon as it asks where the samples go.
        CDATElevationDB db(false);
        long datWidth = 0;
        long datHeight = 0;
        static_cast<void>(db.load(like.c_str(),
                                  [&](long w, long h) -> std::uint16_t*
                                  {
                                      datWidth = w;
                                      datHeight = h;
                                      return nullptr;
                                  }));
        if (datWidth <= 0 || datHeight <= 0)
            return Status(StatusCode::invalidInput, like + ": not a valid height file (cannot read its header)");
        width = static_cast<int>(datWidth);
        height = static_cast<int>(datHeight);
        StatusOr<std::string> found = FindMapGeoReference(like, "", width, height, geo, warnings);
        if (found->empty())
            return Status(StatusCode::invalidInput, like + ": the map has no georeference (neither " +
                                                        MapSidecarPath(like) + " nor " + ImportHeaderOf(like) +
                                                        " describes it)");
        return found;
    }
    width = height = 0;
    if (Status read = ReadMapGeoReferenceAndSize(like, geo, width, height); !read)
        return read;
    return like;
}

MapNodata FindMapNodata(const std::string& dat, int width, int height, std::vector<std::string>& warnings)
{
    MapNodata nodata;
    Status read;
    const std::string sidecar = MapSidecarPath(dat);
    const std::string header = ImportHeaderOf(dat);
    if (FileSize(sidecar) > 0)
    {
        MapGeoReference geo;
        if (!(read = ReadMapSidecar(sidecar, width, height, geo, &nodata)))
            nodata = MapNodata{};
    }
    else if (FileSize(header) > 0)
    {
        EnviHeader envi;
        if ((read = ReadEnviHeader(header, envi)) && envi.samples == width && envi.lines == height)
            nodata = envi.nodata;
    }
    if (!read)
        warnings.push_back(read.message + "; its nodata is not known");
    return nodata;
}
