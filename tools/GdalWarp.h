#pragma once
// How import brings a raster onto the grid of a map: the coordinate system it goes to, and GDAL's
// warper taking one band (or a window of it) to square pixels, to another system or to a square
// of 2^n + 1 samples, in memory. Compiled only into the GDAL module; never included outside tools/.
#include "base/Status.h"
#include "tools/HeightImage.h"

#include <gdal.h>
#include <string>
#include <vector>

namespace gdalwarp
{
// "%.6g": the numbers of summaries and messages.
std::string Number(double value);

// The EPSG code of the WGS 84 UTM zone around longitude, latitude (326zz north, 327zz south).
int UtmEpsgAt(double longitude, double latitude);

// The ground size of one pixel of a raster with this geotransform and coordinate system:
// `across` along a row, `down` along a column, in metres for projected systems (their units
// converted) and, at the raster's centre, for geographic ones; in the raster's own units when
// it has no coordinate system (`metres` false then).
void PixelSides(const double* geoTransform, const std::string& wkt, int width, int height, double& across,
                double& down, bool& metres);

// The system named for a person: "WGS 84 / UTM zone 33N (EPSG:32633)".
std::string SrsName(const std::string& wkt);

// The system a raster goes to as WKT: the --t-srs, else for a raster in degrees the UTM zone of
// its centre (unless keepCrs or `keepDegrees`), else empty: its own. invalidSettings for a
// --t-srs that GDAL does not know or a raster without a system to reproject from.
StatusOr<std::string> ChooseTargetSrs(GDALDatasetH source, const HeightImportOptions& options, bool keepDegrees);

// One band of `source` (options.window of it when given) as 32-bit floats in memory, NaN where
// there is no height: in the system `targetWkt` (empty: its own) with square pixels and, with
// options.size, on size x size samples fitted as options.fit says (the window padded to a
// square). A raster without a georeference is warped on its pixel grid; the result's
// geotransform then means nothing. What was done goes to `notes`; invalidInput with the reason
// on failure, a result wider or higher than a map may be among them.
StatusOr<GDALDatasetH> WarpToMap(GDALDatasetH source, int band, const HeightImportOptions& options,
                                 const std::string& targetWkt, std::vector<std::string>& notes);
} // namespace gdalwarp
