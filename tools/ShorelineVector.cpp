#include "tools/ShorelineVector.h"

#include "base/AtomicFile.h"
#include "base/JobFiles.h"
#include "base/Text.h"
#include "support/BitMask.h"
#include "tools/GdalRaster.h"
#include "tools/MapGeoSource.h"
#include "tools/MapUnits.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <utility>

namespace
{
// The extension as written (".shp"), or empty; a dot in a folder name is not one.
std::string ExtensionOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot);
}

constexpr const char* kShapefile = "ESRI Shapefile";
// The files of a shapefile that one write may or may not make; an old one of these would
// describe the new lines wrongly.
constexpr const char* kOptionalShapefileParts[] = {".prj", ".cpg"};
} // namespace

std::string ShorelineVectorDriver(const std::string& path)
{
    const std::string extension = Lower(ExtensionOf(path));
    if (extension == ".gpkg")
        return "GPKG";
    if (extension == ".geojson" || extension == ".json")
        return "GeoJSON";
    if (extension == ".shp")
        return kShapefile;
    return {};
}

MapPoint PlaceShorePoint(const ShorelinePlacement& placement, const ShorePoint& point)
{
    // Cell corners from the mask's left and top edges; then the sample of the block they fall
    // in, and the cells into it. Beyond the mask the first or last block carries on.
    const double scale = double(placement.scale);
    const double block = double(placement.blockSize);
    const auto sample = [&](double cells, const std::vector<int>& starts)
    {
        if (starts.empty() || block <= 0)
            return cells / scale;
        const double index = std::clamp(std::floor(cells / block), 0.0, double(starts.size() - 1));
        return double(starts[std::size_t(index)]) + (cells - index * block) / scale;
    };
    const double column = sample(double(point.x) / placement.cellSize, placement.starts.columns);
    const double row =
        sample(double(placement.maskRows) - double(point.z) / placement.cellSize, placement.starts.rows);
    const double* t = placement.geo.geoTransform;
    return {t[0] + column * t[1] + row * t[2], t[3] + column * t[4] + row * t[5]};
}

Status PlaceMaskOnMap(const std::string& wtr, const std::string& like, long scale, double cellSize,
                      double fallbackCellSize, ShorelinePlacement& placement, std::vector<std::string>& warnings)
{
    CBitMask mask(1);
    mask.load(wtr); // one that fails stays empty: block size 0
    placement.blockSize = int(mask.m_blockSize);
    if (placement.blockSize <= 0)
        return Ok();
    int width = 0;
    int height = 0;
    const StatusOr<std::string> found = ReadLikeMap(like, placement.geo, width, height, warnings);
    if (!found)
        return found.status;
    const std::string& source = *found;
    placement.scale = scale;
    placement.maskRows = mask.getZRes();
    placement.starts = FindWaterBlockStarts(mask.getXBlocks(), mask.getZBlocks(), placement.blockSize, height, int(scale));
    placement.cellSize = cellSize;
    if (cellSize <= 0)
    {
        float datPixelSize = 0;
        int datWidth = 0;
        int datHeight = 0;
        std::string note;
        double pixelSize = 0;
        if (like.ends_with(".dat") && ReadDatSize(like, datWidth, datHeight, &datPixelSize))
            pixelSize = double(datPixelSize);
        else if (const StatusOr<double> sized = MapPixelSizeMetres(placement.geo, width, height, note); sized)
            pixelSize = *sized;
        else
            note = sized.status.message;
        const bool known = pixelSize > 0 && std::isfinite(pixelSize);
        placement.cellSize = known ? pixelSize / double(scale) : fallbackCellSize;
        char metres[32];
        std::snprintf(metres, sizeof metres, "%g m", known ? pixelSize : fallbackCellSize);
        if (known)
            placement.cellSizeSource = std::string("the map's pixel size ") + metres + " / scale " + std::to_string(scale);
        else
            warnings.push_back(like + ": no pixel size (" + note + "); the water cells are " + metres +
                               ", --water-pixel-size gives another");
    }
    const long across = mask.getXBlocks() * placement.blockSize / scale;
    const long down = mask.getZBlocks() * placement.blockSize / scale;
    if (across >= width || down >= height)
        warnings.push_back(wtr + ": its blocks cover " + std::to_string(across) + " x " + std::to_string(down) +
                           " samples at scale " + std::to_string(scale) + " and the map " + source + " is " +
                           std::to_string(width) + " x " + std::to_string(height) +
                           ": process leaves the blocks that pass its right or bottom edge out; the lines are placed "
                           "all the same");
    return Ok();
}

Status WriteShorelineVector(const std::string& path, const ShorelineSet& lines, const ShorelinePlacement* placement)
{
    const std::string driver = ShorelineVectorDriver(path);
    if (driver.empty())
        return {StatusCode::invalidSettings,
                path + ": not a vector format Altimo writes; name it " + std::string(kShorelineVectorExtensions)};
    std::vector<std::vector<double>> coordinates;
    coordinates.reserve(lines.size());
    for (const Shoreline& line : lines)
    {
        std::vector<double>& xy = coordinates.emplace_back();
        xy.reserve(line.size() * 2);
        for (const ShorePoint& point : line)
        {
            const MapPoint at = placement != nullptr ? PlaceShorePoint(*placement, point)
                                                     : MapPoint{double(point.x), double(point.z)};
            xy.push_back(at.x);
            xy.push_back(at.y);
        }
    }
    const std::string extension = ExtensionOf(path);
    const std::string base = path.substr(0, path.size() - extension.size());
    const std::size_t slash = base.rfind('/');
    std::string layer = base.substr(slash == std::string::npos ? 0 : slash + 1);
    if (layer.empty())
        layer = "shorelines";
    std::vector<CodedFile> files;
    if (Status coded = GdalEncodeLines(driver, layer, Lower(extension), coordinates,
                                       placement ? placement->geo.projectionWkt : "", files);
        !coded)
    {
        coded.message = path + ": " + coded.message;
        return coded;
    }
    // Each file is replaced whole, the main one last: a failure on the way leaves it as it was.
    const std::string mainExtension = Lower(extension);
    const auto write = [&](const CodedFile& file)
    {
        const std::string target = file.extension == mainExtension ? path : base + file.extension;
        if (WriteFileAtomically(target, file.bytes.data(), file.bytes.size()))
            return Ok();
        return Status(StatusCode::writeFailed, OutputFailure(target));
    };
    if (driver == kShapefile)
    {
        for (const CodedFile& file : files)
            if (file.extension != mainExtension)
                if (Status written = write(file); !written)
                    return written;
        for (const char* part : kOptionalShapefileParts)
            if (std::none_of(files.begin(), files.end(), [&](const CodedFile& file) { return file.extension == part; }))
                std::remove((base + part).c_str());
    }
    // Other formats are one file; anything else the driver left (a journal) is not part of it.
    for (const CodedFile& file : files)
        if (file.extension == mainExtension)
            if (Status written = write(file); !written)
                return written;
    return Ok();
}
