#include "tools/ShorelineVector.h"

#include "base/AtomicFile.h"
#include "base/JobFiles.h"
#include "tools/GdalRaster.h"

#include <algorithm>
#include <cctype>
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

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
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
    // Mask cells: x from the left edge, rows down from the mask's row 0; then samples. The
    // process puts the mask's row 0 at sample row H - 1 - (its block rows / scale), in whole
    // samples, and its column 0 at the map's left edge.
    const double scale = double(placement.scale);
    const double column = double(point.x) / placement.cellSize / scale;
    const double topRow = double(placement.mapHeight - 1 - placement.blockRows / placement.scale);
    const double row = topRow + (double(placement.maskRows) - double(point.z) / placement.cellSize) / scale;
    const double* t = placement.geo.geoTransform;
    return {t[0] + column * t[1] + row * t[2], t[3] + column * t[4] + row * t[5]};
}

bool WriteShorelineVector(const std::string& path, const ShorelineSet& lines, const ShorelinePlacement* placement,
                          std::string& error)
{
    const std::string driver = ShorelineVectorDriver(path);
    if (driver.empty())
    {
        error = path + ": not a vector format Altimo writes; name it " + std::string(kShorelineVectorExtensions);
        return false;
    }
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
    std::string reason;
    if (!GdalEncodeLines(driver, layer, Lower(extension), coordinates, placement ? placement->geo.projectionWkt : "",
                         files, reason))
    {
        error = path + ": " + reason;
        return false;
    }
    // Each file is replaced whole, the main one last: a failure on the way leaves it as it was.
    const std::string mainExtension = Lower(extension);
    const auto write = [&](const CodedFile& file)
    {
        const std::string target = file.extension == mainExtension ? path : base + file.extension;
        if (WriteFileAtomically(target, file.bytes.data(), file.bytes.size()))
            return true;
        error = OutputFailure(target);
        return false;
    };
    if (driver == kShapefile)
    {
        for (const CodedFile& file : files)
            if (file.extension != mainExtension && !write(file))
                return false;
        for (const char* part : kOptionalShapefileParts)
            if (std::none_of(files.begin(), files.end(), [&](const CodedFile& file) { return file.extension == part; }))
                std::remove((base + part).c_str());
    }
    // Other formats are one file; anything else the driver left (a journal) is not part of it.
    for (const CodedFile& file : files)
        if (file.extension == mainExtension && !write(file))
            return false;
    return true;
}
