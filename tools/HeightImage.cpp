#include "tools/HeightImage.h"

#include "base/AtomicFile.h"
#include "base/JobFiles.h"
#include "base/Text.h"
#include "tools/GdalRaster.h"
#include "tools/PngReader.h"
#include "tools/PngWriter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sys/stat.h>

namespace
{
std::string SideReason(std::uint32_t width, std::uint32_t height)
{
    return "the image is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; a height map is 256..20000 pixels wide and high";
}

// Why a PNG of this colour type and depth is not a height map; empty when it is one.
std::string LayoutReason(int colourType, int bitDepth)
{
    switch (colourType)
    {
    case PNG_COLOR_TYPE_GRAY:
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return "the image has 2 bands (grey and alpha); a height map has one grey band";
    case PNG_COLOR_TYPE_RGB:
        return "the image has 3 bands (red, green, blue); a height map has one grey band";
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return "the image has 4 bands (red, green, blue, alpha); a height map has one grey band";
    case PNG_COLOR_TYPE_PALETTE:
        return "the image has a colour palette; a height map has one grey band";
    default:
        return "unknown PNG colour type";
    }
    if (bitDepth != 8 && bitDepth != 16)
        return "the image has " + std::to_string(bitDepth) + "-bit samples; a height map has 8- or 16-bit samples";
    return {};
}

Status ReadPng(std::FILE* file, long long fileLength, HeightImage& image)
{
    PngReader reader(file, fileLength);
    if (Status header = reader.ReadHeader(); !header)
        return header;
    const std::uint32_t width = reader.Width();
    const std::uint32_t height = reader.Height();
    const int bitDepth = reader.BitDepth();
    if (std::string layout = LayoutReason(reader.ColourType(), bitDepth); !layout.empty())
        return {StatusCode::invalidInput, std::move(layout)};
    if (width < kHeightImageMinSide || width > kHeightImageMaxSide || height < kHeightImageMinSide ||
        height > kHeightImageMaxSide)
        return {StatusCode::invalidInput, SideReason(width, height)};
    if (reader.ClaimsMoreThanFileHolds())
        return {StatusCode::invalidInput, "the PNG claims a size its file cannot hold"};
    if (Status prepared = reader.Prepare(PngRows::AsStored); !prepared)
        return prepared;

    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.sourceBits = bitDepth;
    image.samples.resize(std::size_t(width) * height);
    std::vector<png_bytep> rows(height);
    // An 8-bit row is read into the first half of its 16-bit row and widened afterwards.
    for (std::uint32_t y = 0; y < height; ++y)
        rows[y] = reinterpret_cast<png_bytep>(image.samples.data() + std::size_t(y) * width);
    if (Status read = reader.ReadRows(rows.data()); !read)
        return read;
    if (bitDepth == 8)
        for (std::uint32_t y = 0; y < height; ++y)
        {
            const std::uint8_t* bytes = rows[y];
            std::uint16_t* samples = image.samples.data() + std::size_t(y) * width;
            // Backwards, so no byte is overwritten before it is read.
            for (std::uint32_t x = width; x-- > 0;)
                samples[x] = static_cast<std::uint16_t>(bytes[x] * 257);
        }
    image.format = "PNG";
    return Ok();
}

std::string LowerExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return Lower(std::string_view(path).substr(dot));
}
} // namespace

Status ReadHeightImage(const std::string& path, HeightImage& image)
{
    return ReadHeightImage(path, HeightImportOptions{}, image);
}

Status ReadHeightImage(const std::string& path, const HeightImportOptions& options, HeightImage& image)
{
    image = HeightImage{};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {StatusCode::cannotOpen, path + ": cannot open the file: " + std::strerror(errno)};
    Status read;
    // A PNG read as it is needs no GDAL; remapping or resampling one goes through GDAL.
    if (HasPngSignature(path) && !(options.needsGdal() && GdalAvailable()))
    {
        struct stat status
        {
        };
        const long long fileLength = ::fstat(::fileno(file), &status) == 0 ? status.st_size : 0;
        read = ReadPng(file, fileLength, image);
        if (read && options.needsGdal())
            read = {StatusCode::invalidSettings,
                    "--height-range, --nodata-height and --size need GDAL: " + GdalMissing()};
        if (read)
        {
            image.sampleType = image.sourceBits == 8 ? "Byte" : "UInt16";
            image.heightMax = image.sourceBits == 8 ? 255 : 65535;
            image.sourceWidth = image.width;
            image.sourceHeight = image.height;
            image.pixelSize = options.pixelSize;
        }
    }
    else
        read = GdalReadHeightImage(path, options, image);
    std::fclose(file);
    if (!read)
    {
        image = HeightImage{};
        read.message = path + ": " + read.message;
        return read;
    }
    if (!image.nodataMask.empty())
    {
        image.nodataKinds = ClassifyNodata(image.nodataMask.data(), image.width, image.height);
        image.nodataFilled = options.fillsNodata();
        if (image.nodataFilled)
        {
            const auto start = std::chrono::steady_clock::now();
            FillNodata(image.samples.data(), image.nodataMask.data(), image.width, image.height);
            image.fillSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    return Ok();
}

bool HeightImageHasGdal()
{
    return GdalAvailable();
}

HeightImageFormat HeightImageFormatOf(const std::string& path)
{
    const std::string extension = LowerExtension(path);
    if (extension == ".png")
        return HeightImageFormat::Png;
    if (extension == ".tif" || extension == ".tiff")
        return HeightImageFormat::GeoTiff;
    return HeightImageFormat::Unknown;
}

Status WriteHeightImage(const std::string& path, HeightImageFormat format, const std::uint16_t* samples, int width,
                        int height, float pixelSize, IProgressSink& progress, int progressSpan)
{
    if (format == HeightImageFormat::Png)
    {
        if (WritePngGrey16(path, samples, width, height, progress, progressSpan))
            return Ok();
        return {StatusCode::writeFailed, OutputFailure(path)};
    }
    if (format != HeightImageFormat::GeoTiff)
        return {StatusCode::invalidSettings, path + ": unknown image format; use .png or .tif"};
    const MapGeoReference local = LocalMapGeoReference(height, pixelSize);
    if (Status written = WriteGeoTiff(path, GeoTiffRaster{samples, GeoTiffSamples::UInt16, 1, width, height}, &local);
        !written)
        return written;
    progress.setPos(progress.pos() + progressSpan);
    return Ok();
}

Status ReadMapGeoReference(const std::string& path, int width, int height, MapGeoReference& geo)
{
    return ReadMapGeoReferenceAndSize(path, geo, width, height);
}

Status ReadMapGeoReferenceAndSize(const std::string& path, MapGeoReference& geo, int& width, int& height)
{
    geo = MapGeoReference{};
    Status read = GdalReadGeoReference(path, width, height, geo);
    if (!read)
        read.message = path + ": " + read.message;
    return read;
}

MapGeoReference LocalMapGeoReference(int height, float pixelSize)
{
    MapGeoReference geo;
    const double p = pixelSize;
    const double transform[6] = {0, p, 0, double(height) * p, 0, -p};
    std::copy(std::begin(transform), std::end(transform), geo.geoTransform);
    return geo;
}

StatusOr<double> MapPixelSizeMetres(const MapGeoReference& geo, int width, int height, std::string& note)
{
    return GdalMapPixelSize(geo, width, height, note);
}

Status WriteGeoTiff(const std::string& path, const GeoTiffRaster& raster, const MapGeoReference* geo)
{
    std::vector<std::uint8_t> bytes;
    if (Status coded = GdalEncodeGeoTiff(raster, geo, bytes); !coded)
    {
        coded.message = path + ": " + coded.message;
        return coded;
    }
    if (!WriteFileAtomically(path, bytes.data(), bytes.size()))
        return {StatusCode::writeFailed, OutputFailure(path)};
    return Ok();
}
