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

bool FindMapGeoReference(const std::string& dat, const std::string& like, int width, int height,
                         MapGeoReference& geo, std::string& source, std::string& error,
                         std::vector<std::string>& warnings)
{
    source.clear();
    if (!like.empty())
    {
        if (!ReadMapGeoReference(like, width, height, geo, error))
            return false;
        source = like;
        return true;
    }
    std::string problem;
    const std::string sidecar = MapSidecarPath(dat);
    const std::string header = ImportHeaderOf(dat);
    if (FileSize(sidecar) > 0)
    {
        if (ReadMapSidecar(sidecar, width, height, geo, problem))
            source = sidecar;
    }
    else if (FileSize(header) > 0 && ReadMapGeoReference(header, width, height, geo, problem))
        source = header;
    if (!problem.empty())
        warnings.push_back(problem + "; the output gets no georeference");
    return true;
}

bool ReadLikeMap(const std::string& like, MapGeoReference& geo, int& width, int& height, std::string& source,
                 std::string& error, std::vector<std::string>& warnings)
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
        {
            error = like + ": not a valid height file (cannot read its header)";
            return false;
        }
        width = static_cast<int>(datWidth);
        height = static_cast<int>(datHeight);
        FindMapGeoReference(like, "", width, height, geo, source, error, warnings);
        if (source.empty())
            error = like + ": the map has no georeference (neither " + MapSidecarPath(like) + " nor " +
                    ImportHeaderOf(like) + " describes it)";
        return !source.empty();
    }
    width = height = 0;
    if (!ReadMapGeoReferenceAndSize(like, geo, width, height, error))
        return false;
    source = like;
    return true;
}

MapNodata FindMapNodata(const std::string& dat, int width, int height, std::vector<std::string>& warnings)
{
    MapNodata nodata;
    std::string problem;
    const std::string sidecar = MapSidecarPath(dat);
    const std::string header = ImportHeaderOf(dat);
    if (FileSize(sidecar) > 0)
    {
        MapGeoReference geo;
        if (!ReadMapSidecar(sidecar, width, height, geo, problem, &nodata))
            nodata = MapNodata{};
    }
    else if (FileSize(header) > 0)
    {
        EnviHeader envi;
        if (ReadEnviHeader(header, envi, problem) && envi.samples == width && envi.lines == height)
            nodata = envi.nodata;
    }
    if (!problem.empty())
        warnings.push_back(problem + "; its nodata is not known");
    return nodata;
}
