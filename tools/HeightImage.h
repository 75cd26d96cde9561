#pragma once
// Height maps as they arrive from terrain tools and GIS: one grey band of 8 or 16 bits in a PNG
// (read with libpng) or, when the build has GDAL, an elevation raster of any sample type in any
// format GDAL reads (GeoTIFF, ...), mapped to 16-bit samples; and height or water files written
// back as a 16-bit grey PNG or GeoTIFF.
#include "base/Sinks.h"
#include "base/Status.h"
#include "tools/NodataFill.h"

#include <cstdint>
#include <string>
#include <vector>

// The sizes a height map may have (the process command's width and height ranges).
inline constexpr int kHeightImageMinSide = 256;
inline constexpr int kHeightImageMaxSide = 20000;

// How heights become 16-bit samples: sample s stands for the height BASE + s * STEP, and a
// height h becomes floor((h - BASE) / STEP + 0.5), to the nearest sample (halves up), heights
// outside the 65,536 samples becoming 0 or 65535. The map's own units (Scale, Step) take STEP
// as Height scale S / 257, the jobs' reading of a sample, and BASE as the largest multiple of S
// metres strictly below the lowest height: Height scale S then gives real angles, and Sea level
// N (N x 257 samples) is the round height BASE + N x S. A range MIN..MAX takes BASE = MIN and
// STEP = (MAX - MIN) / 65535.
struct HeightImportOptions
{
    enum class Range
    {
        Default, // unsigned 8 and 16 bits: the samples as they are (8-bit v: v * 257); else Scale
        Scale,   // S the smallest of 1, 2, 5, 10, 20, 50, 100 (then 200, 500, ...) whose 65,535
                 // samples above BASE hold the data: 100 holds 25,500 m, any relief on Earth
        Step,    // STEP = heightStep metres (S = 257 x heightStep)
        Auto,    // MIN..MAX the lowest and highest height of the cells that are not nodata
        Given,   // rangeMin..rangeMax
    };
    // How a raster that is not square becomes size x size samples.
    enum class Fit
    {
        Pad,  // the whole raster, the short side padded with nodata, centred
        Crop, // the centre square
    };
    Range range = Range::Default;
    double rangeMin = 0;
    double rangeMax = 0;
    double heightStep = 0;        // for Step: metres a sample, above 0
    bool hasNodataHeight = false; // else nodata cells get the lowest valid height
    double nodataHeight = 0;
    // What nodata cells become: Fill, voids filled from their rims and the cells outside the
    // footprint carried outward from its edge (NodataFill.h); Constant, nodataHeight. Default:
    // Constant when a nodataHeight is given, else Fill, except that unsigned samples read as
    // they are keep their nodata cells as heights (Fill reads them as heights to fill them).
    enum class Nodata
    {
        Default,
        Fill,
        Constant,
    };
    Nodata nodata = Nodata::Default;
    double pixelSize = 0;               // a source pixel in metres where no system measures it; 0: none
    int size = 0;                       // resample to size x size; 0: keep the raster's size
    Fit fit = Fit::Pad;                 // for `size`
    bool hasWindow = false;             // for `size`: only these source pixels, padded if not square
    int window[4] = {0, 0, 0, 0};       // x offset, y offset, width, height
    std::string resampling = "bilinear"; // a GDAL resampling method, for `size` and reprojection
    int band = 0;                       // 1-based; 0: the raster's only band
    std::string targetSrs;              // reproject to this system (EPSG:n, WKT, ...); empty: see keepCrs
    bool keepCrs = false;               // else a raster in degrees goes to the UTM zone of its centre

    // Whether these options need GDAL beyond reading a PNG as it is.
    bool needsGdal() const
    {
        return range != Range::Default || hasNodataHeight || size != 0 || band != 0 || !targetSrs.empty();
    }
    bool fillsNodata() const { return nodata == Nodata::Fill || (nodata == Nodata::Default && !hasNodataHeight); }
};

// The GDAL resampling methods that `size` takes. The default, bilinear, never makes a height
// outside the range of the cells it reads from; cubic and lanczos can overshoot.
inline constexpr const char* kHeightResamplings[] = {"nearest", "bilinear", "cubic", "cubicspline",
                                                     "lanczos", "average", "mode"};

// The side of the smallest map of 2^n + 1 samples (at least 257, at most 16385) that holds
// `side` samples: what `size` should be for a raster whose longer side that is.
inline int MapSideFor(int side)
{
    int n = 257;
    while (n < side && n < 16385)
        n = 2 * n - 1;
    return n;
}

struct HeightImage
{
    std::vector<std::uint16_t> samples; // row-major, row 0 the top row
    int width = 0;
    int height = 0;
    int sourceBits = 0;     // bits per sample of the image's band (8, 16, 32, 64)
    std::string sampleType; // "Byte", "UInt16", "Int16", "Float32", ...
    std::string format;     // "PNG" or the GDAL driver's short name ("GTiff")
    int sourceWidth = 0;    // before resampling
    int sourceHeight = 0;

    // The mapping used (HeightImportOptions): the heights of samples 0 and 65535; for an
    // unchanged 8-bit image 0..255.
    double heightMin = 0;
    double heightMax = 65535;
    // In the map's units (Scale, Step): STEP, a sample's metres, as chosen (S / 257 for Scale,
    // the step given for Step), so that the header holds it to the last digit. 0 for a mapping by
    // range or samples kept as they are: STEP is then (heightMax - heightMin) / 65535.
    double heightStep = 0;
    long long nodataCells = 0;  // nodata or NaN cells
    bool nodataReplaced = false; // false: unsigned samples kept as they were
    double nodataHeight = 0;    // the height they got unless filled
    // Which cells were nodata, a NodataKind per sample, when nodataReplaced and there were any
    // (else empty); how many of each kind, and whether they were filled or got nodataHeight.
    std::vector<std::uint8_t> nodataMask;
    NodataCounts nodataKinds;
    bool nodataFilled = false;
    double fillSeconds = 0;
    long long clippedCells = 0; // heights outside heightMin..heightMax
    double lowestHeight = 0;    // of the valid cells, when read as heights
    double highestHeight = 0;

    // Georeference, when the raster has one: the affine transform from pixel (column, row) to
    // coordinates (GDAL's order: x0, dx/dcol, dx/drow, y0, dy/dcol, dy/drow), the coordinate
    // system as WKT (empty: none), and the ground size of a pixel in metres (0: unknown).
    bool hasGeoTransform = false;
    double geoTransform[6] = {0, 1, 0, 0, 0, 1};
    std::string projectionWkt;
    double pixelSize = 0;
    std::vector<std::string> warnings; // e.g. the approximate pixel size of a geographic raster
    // What was done on the way, for the summary: reprojection, resampling, padding or cutting,
    // heights converted from feet, the band's scale and offset.
    std::vector<std::string> notes;
};

// Reads one grey band of 8 or 16 bits; 8-bit values v become v * 257, so 255 is the highest
// height 65535. Refused, with a message that names the path and the reason: files that cannot be
// opened (cannotOpen) or decoded, more than one band (colour, alpha, palette), other bit depths
// or sample types (1, 2, 4 or 32 bits, signed, floating point), and widths or heights outside
// 256..20000 (checked before anything is allocated). Files that are not PNG go to GDAL, or are
// refused when the build has none. `image` is empty after a failure.
Status ReadHeightImage(const std::string& path, HeightImage& image);

// Reads an elevation raster: any one band of unsigned or signed integers or floats through GDAL
// (PNGs without GDAL when the options ask nothing of it), heights in metres (the band's scale and
// offset applied, feet converted) mapped as the options say, with the nodata and NaN cells
// recorded in nodataMask and filled as options.nodata says, the georeference and the pixel size
// taken along. Resampled, a cell is nodata where nearest-neighbour resampling finds none. With `size`, or for a raster in
// degrees unless `keepCrs` (unsigned samples read as they are aside), GDAL's warper brings it
// onto a grid of square pixels first. Refused as above, and also: rasters that are rotated or
// whose pixels are not square without `size` (the message names the --size that fixes them),
// a range whose MIN is not below MAX, rasters with no valid cell.
Status ReadHeightImage(const std::string& path, const HeightImportOptions& options, HeightImage& image);

// Whether this build reads and writes rasters through GDAL.
bool HeightImageHasGdal();

enum class HeightImageFormat
{
    Png,
    GeoTiff,
    Unknown,
};

// By the extension, in any letter case: ".png", ".tif" / ".tiff".
HeightImageFormat HeightImageFormatOf(const std::string& path);

// Writes a 16-bit grey PNG or a one-band 16-bit GeoTIFF (pixelSize: the ground size of a
// sample, stored as the TIFF's pixel size with the origin at 0, 0) atomically. A failure's
// message names the path: the file cannot be written or GeoTIFF is asked of a build without
// GDAL; an older file of that name is then left as it was.
Status WriteHeightImage(const std::string& path, HeightImageFormat format, const std::uint16_t* samples, int width,
                        int height, float pixelSize, IProgressSink& progress, int progressSpan);

// Where a map lies and what its samples stand for, as read from a raster or header of the same
// map and written into the GeoTIFFs made of it.
struct MapGeoReference
{
    double geoTransform[6] = {0, 1, 0, 0, 0, 1}; // GDAL's order, as in HeightImage
    std::string projectionWkt;                  // empty: none known
    bool hasMapping = false;                    // whether gain and offset are known
    double gain = 1;                            // metres = offset + gain * sample
    double offset = 0;
};

// Reads the georeference of a raster of the map: any raster GDAL opens, or an ENVI header
// ("dem.raw.hdr", for which the RAW beside it is opened). Refused with a sentence (the path and
// the reason) when the build has no GDAL, the file cannot be read, has no geotransform, or is not
// width x height pixels.
Status ReadMapGeoReference(const std::string& path, int width, int height, MapGeoReference& geo);
// The same for a map whose size is not known yet: any size is taken and returned.
Status ReadMapGeoReferenceAndSize(const std::string& path, MapGeoReference& geo, int& width, int& height);

// Which cells of a map had no data in its source, as import records it beside the RAW (in its
// ENVI header) and process beside the height file (in its sidecar): the mask raster, one byte a
// sample holding a NodataKind, and the counts it holds.
struct MapNodata
{
    std::string mask; // its path; empty: the map records no nodata
    NodataCounts kinds;
    bool filled = true; // false: they all got one height (import --fill-voids off)
};

// A map that lies nowhere in particular: north up, covering 0 .. width * pixelSize east and
// 0 .. height * pixelSize north, no coordinate system, no height mapping.
MapGeoReference LocalMapGeoReference(int height, float pixelSize);

// The ground size of one sample in metres on a width x height map with this georeference:
// projected units converted to metres, degrees approximated at the map's centre latitude (with
// a note in `note` saying so). Refused (value 0) when the build has no GDAL, the map is rotated
// or its pixels are not square.
StatusOr<double> MapPixelSizeMetres(const MapGeoReference& geo, int width, int height, std::string& note);

// What a GeoTIFF holds: 16-bit samples; the same samples as 32-bit floats in metres,
// offset + gain * sample of the georeference (computed in double, stored as float); or 8-bit
// pictures of one grey band or three interleaved bands (red, green, blue).
enum class GeoTiffSamples
{
    UInt16,
    Metres,
    Byte,
};

struct GeoTiffRaster
{
    const void* samples = nullptr; // row-major, row 0 the top (north) row
    GeoTiffSamples kind = GeoTiffSamples::UInt16;
    int bands = 1;
    int width = 0;
    int height = 0;
    // UInt16 and Metres: nonzero where the map had no data (a nodata mask); null: data everywhere.
    // Metres get the NoData value kGeoTiffNodataMetres there, 16-bit samples a mask band.
    const std::uint8_t* nodata = nullptr;
};

// The NoData value of heights in metres: below any height on Earth, and a whole number that any
// reader's type holds.
inline constexpr float kGeoTiffNodataMetres = -32768.0f;

// Writes the raster as a GeoTIFF atomically. With `geo` the file gets its geotransform and
// projection, and 16-bit samples its height mapping as the band's scale and offset; its nodata
// as a NoData value (Metres) or an internal mask band (UInt16); without `geo`,
// no georeference (Metres needs one). Refused with a sentence naming the path when GDAL is
// missing or the file cannot be written; an older file of that name is then left as it was.
Status WriteGeoTiff(const std::string& path, const GeoTiffRaster& raster, const MapGeoReference* geo);
