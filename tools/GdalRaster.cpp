// GDAL access for height images; compiled only when the build found GDAL.
#include "tools/GdalRaster.h"

#include <atomic>
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <cstdlib>
#include <gdal.h>
#include <mutex>
#include <unistd.h>

namespace
{
void RegisterDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL prints its errors on stderr by default; here they become the reason of the failure.
class QuietErrors
{
public:
    QuietErrors()
    {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietErrors() { CPLPopErrorHandler(); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;
    static std::string last(const char* fallback)
    {
        const char* text = CPLGetLastErrorMsg();
        return text != nullptr && *text != '\0' ? text : fallback;
    }
};

struct DatasetCloser
{
    GDALDatasetH dataset;
    ~DatasetCloser()
    {
        if (dataset != nullptr)
            GDALClose(dataset);
    }
};

std::string SideReason(int width, int height)
{
    return "the image is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; a height map is 256..20000 pixels wide and high";
}

// The bits per sample the band really holds: NBITS (1-bit and 4-bit TIFFs are read as bytes).
int BandBits(GDALRasterBandH band, GDALDataType type)
{
    if (const char* nbits = GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE"))
        return std::atoi(nbits);
    return GDALGetDataTypeSizeBits(type);
}
} // namespace

bool GdalAvailable()
{
    return true;
}

bool GdalReadHeightImage(const std::string& path, HeightImage& image, std::string& reason)
{
    RegisterDrivers();
    QuietErrors quiet;
    DatasetCloser dataset{GDALOpen(path.c_str(), GA_ReadOnly)};
    if (dataset.dataset == nullptr)
    {
        reason = "not an image that PNG or GDAL reads (" + QuietErrors::last("unknown format") + ")";
        return false;
    }
    const int bands = GDALGetRasterCount(dataset.dataset);
    if (bands != 1)
    {
        reason = "the image has " + std::to_string(bands) + " bands; a height map has one grey band";
        return false;
    }
    GDALRasterBandH band = GDALGetRasterBand(dataset.dataset, 1);
    const GDALDataType type = GDALGetRasterDataType(band);
    const int bits = BandBits(band, type);
    if (GDALGetRasterColorTable(band) != nullptr)
    {
        reason = "the image has a colour palette; a height map has one grey band";
        return false;
    }
    if ((type != GDT_Byte && type != GDT_UInt16) || (bits != 8 && bits != 16))
    {
        reason = std::string("the samples are ") + GDALGetDataTypeName(type) + " (" + std::to_string(bits) +
                 " bits); a height map has 8 or 16 unsigned bits per sample";
        return false;
    }
    const int width = GDALGetRasterXSize(dataset.dataset);
    const int height = GDALGetRasterYSize(dataset.dataset);
    if (width < kHeightImageMinSide || width > kHeightImageMaxSide || height < kHeightImageMinSide ||
        height > kHeightImageMaxSide)
    {
        reason = SideReason(width, height);
        return false;
    }
    image.samples.resize(std::size_t(width) * std::size_t(height));
    if (GDALRasterIO(band, GF_Read, 0, 0, width, height, image.samples.data(), width, height, GDT_UInt16, 0, 0) !=
        CE_None)
    {
        reason = "cannot read the samples (" + QuietErrors::last("read error") + ")";
        image = HeightImage{};
        return false;
    }
    if (bits == 8)
        for (std::uint16_t& sample : image.samples)
            sample = static_cast<std::uint16_t>(sample * 257);
    image.width = width;
    image.height = height;
    image.sourceBits = bits;
    image.format = GDALGetDriverShortName(GDALGetDatasetDriver(dataset.dataset));
    return true;
}

bool GdalEncodeGeoTiff(const std::uint16_t* samples, int width, int height, float pixelSize,
                       std::vector<std::uint8_t>& bytes, std::string& reason)
{
    RegisterDrivers();
    QuietErrors quiet;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr)
    {
        reason = "this GDAL has no GeoTIFF driver";
        return false;
    }
    static std::atomic<unsigned> counter{0};
    const std::string memPath =
        "/vsimem/altimo-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tif";
    char compress[] = "COMPRESS=DEFLATE";
    char predictor[] = "PREDICTOR=2";
    char tiled[] = "TILED=YES";
    char bigTiff[] = "BIGTIFF=IF_SAFER";
    char* options[] = {compress, predictor, tiled, bigTiff, nullptr};
    bool ok = false;
    {
        DatasetCloser dataset{GDALCreate(driver, memPath.c_str(), width, height, 1, GDT_UInt16, options)};
        if (dataset.dataset != nullptr)
        {
            // North up, the map covering 0..W*p east and 0..H*p north.
            double transform[6] = {0, double(pixelSize), 0, double(height) * double(pixelSize), 0, -double(pixelSize)};
            GDALSetGeoTransform(dataset.dataset, transform);
            ok = GDALRasterIO(GDALGetRasterBand(dataset.dataset, 1), GF_Write, 0, 0, width, height,
                              const_cast<std::uint16_t*>(samples), width, height, GDT_UInt16, 0, 0) == CE_None;
        }
    }
    vsi_l_offset length = 0;
    GByte* buffer = VSIGetMemFileBuffer(memPath.c_str(), &length, TRUE);
    if (ok && buffer != nullptr)
        bytes.assign(buffer, buffer + length);
    else
        reason = "cannot code the GeoTIFF (" + QuietErrors::last("GDAL error") + ")";
    CPLFree(buffer);
    return ok && buffer != nullptr;
}
