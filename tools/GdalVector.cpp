// Vector output through OGR; compiled only when the build found GDAL.
#include "tools/GdalRaster.h"

#include "tools/GdalSupport.h"

#include <algorithm>
#include <cpl_string.h>
#include <ogr_api.h>

using namespace gdalsupport;

Status GdalEncodeLines(const std::string& driverName, const std::string& layerName, const std::string& extension,
                       const std::vector<std::vector<double>>& lines, const std::string& wkt,
                       std::vector<CodedFile>& files)
{
    RegisterDrivers();
    QuietErrors quiet;
    GDALDriverH driver = GDALGetDriverByName(driverName.c_str());
    if (driver == nullptr)
    {
        return {StatusCode::writeFailed, "this GDAL has no " + driverName + " driver"};
    }
    // A folder of its own: a shapefile is several files, all named after the layer.
    const std::string folder = MemoryPath("lines");
    VSIMkdir(folder.c_str(), 0755);
    const std::string mainPath = folder + "/" + layerName + extension;
    bool ok = false;
    {
        DatasetCloser dataset{GDALCreate(driver, mainPath.c_str(), 0, 0, 0, GDT_Unknown, nullptr)};
        SrsCloser srs{wkt.empty() ? nullptr : OSRNewSpatialReference(wkt.c_str())};
        if (srs.srs != nullptr) // x east (or longitude), y north, as in the geotransform
            OSRSetAxisMappingStrategy(srs.srs, OAMS_TRADITIONAL_GIS_ORDER);
        OGRLayerH layer = dataset.dataset == nullptr ? nullptr
                                                     : GDALDatasetCreateLayer(dataset.dataset, layerName.c_str(),
                                                                              srs.srs, wkbLineString, nullptr);
        ok = layer != nullptr && (wkt.empty() || srs.srs != nullptr);
        for (const char* name : {"index", "points"})
        {
            if (!ok)
                break;
            OGRFieldDefnH field = OGR_Fld_Create(name, OFTInteger);
            ok = OGR_L_CreateField(layer, field, TRUE) == OGRERR_NONE;
            OGR_Fld_Destroy(field);
        }
        // One transaction: a GeoPackage would otherwise commit every feature on its own.
        const bool transaction = ok && GDALDatasetStartTransaction(dataset.dataset, FALSE) == OGRERR_NONE;
        for (std::size_t i = 0; ok && i < lines.size(); ++i)
        {
            const std::vector<double>& xy = lines[i];
            const int points = static_cast<int>(xy.size() / 2);
            OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
            OGR_F_SetFieldInteger(feature, 0, static_cast<int>(i));
            OGR_F_SetFieldInteger(feature, 1, points);
            OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
            OGR_G_SetPoints(line, points, xy.data(), 2 * sizeof(double), xy.data() + 1, 2 * sizeof(double), nullptr,
                            0);
            OGR_F_SetGeometryDirectly(feature, line);
            ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
            OGR_F_Destroy(feature);
        }
        if (transaction)
            ok = GDALDatasetCommitTransaction(dataset.dataset) == OGRERR_NONE && ok;
    }
    Status coded;
    if (!ok)
        coded = {StatusCode::writeFailed,
                 "cannot code the " + driverName + " data (" + QuietErrors::last("GDAL error") + ")"};
    // Close first, then take every file the driver made; the folder is left empty and removed.
    files.clear();
    if (char** names = VSIReadDir(folder.c_str()))
    {
        for (int i = 0; names[i] != nullptr; ++i)
        {
            const std::string name = names[i];
            CodedFile file;
            if (TakeMemoryFile(folder + "/" + name, file.bytes) && ok && name.starts_with(layerName))
            {
                file.extension = name.substr(layerName.size());
                files.push_back(std::move(file));
            }
        }
        CSLDestroy(names);
    }
    VSIRmdirRecursive(folder.c_str());
    const bool mainMade = std::any_of(files.begin(), files.end(),
                                      [&](const CodedFile& file) { return file.extension == extension; });
    if (ok && !mainMade)
        coded = {StatusCode::writeFailed, "cannot code the " + driverName + " data (GDAL made no file)"};
    return coded;
}
