#include "cliff/CliffExport.h"

#include "support/Bitmap.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace
{
// The page's value of pi; the masks the engine was tuned with use it.
constexpr double kPi = 3.14159;
constexpr double kMinLength = 0.0001;
constexpr int kRowsPerBlock = 16;

// The cliff export never divides by a near-zero length; a surface that short counts as flat.
double VerticalComponent(double pixelSize, float length)
{
    return double(length) > kMinLength ? pixelSize / double(length) : 1.0;
}

// Every sample the reader can answer, already times K in single precision as the export reads it.
std::vector<float> ScaledElevations(float heightFactor)
{
    std::vector<float> table(65536);
    for (unsigned v = 0; v < 65536; ++v)
        table[v] = ElevationOfSample(static_cast<std::uint16_t>(v)) * heightFactor;
    return table;
}

// Smallest float s in [0, 4] whose pixel reaches `level`; -1 when none does. The pixel never
// falls as s grows, and positive floats order like their bit patterns.
float FirstAngleReaching(int level, const CliffConstants& constants)
{
    std::uint32_t low = 0;
    std::uint32_t high = std::bit_cast<std::uint32_t>(4.0f);
    if (CliffPixelFromAngle(4.0f, constants) < level)
        return -1.0f;
    if (CliffPixelFromAngle(0.0f, constants) >= level)
        return 0.0f;
    while (high - low > 1)
    {
        const std::uint32_t mid = low + (high - low) / 2;
        if (CliffPixelFromAngle(std::bit_cast<float>(mid), constants) >= level)
            high = mid;
        else
            low = mid;
    }
    return std::bit_cast<float>(high);
}

// Most samples are far from the ramp: their squared length alone decides 0 or 255. The bands
// are widened by margins far beyond the rounding of the root, the division and acos, so a
// sample near a band edge always takes the exact path and the output stays identical.
struct Bands
{
    double zeroBelow = -std::numeric_limits<double>::infinity();
    double fullAbove = std::numeric_limits<double>::infinity();
};

Bands MakeBands(float pixelSize, const CliffConstants& constants)
{
    Bands bands;
    const double p = pixelSize;
    if (!(pixelSize >= 0.001f && pixelSize <= 1e15f))
        return bands;
    // The shortest length a sample can have must not be shorter than p, or n could exceed 1.
    const float shortest = static_cast<float>(std::sqrt(double(static_cast<float>(p * p))));
    if (shortest < pixelSize)
        return bands;
    const float firstRising = FirstAngleReaching(1, constants);
    if (firstRising < 0.0f)
        bands.zeroBelow = std::numeric_limits<double>::infinity();
    else if (firstRising > 0.0f)
    {
        const double below = std::nextafter(firstRising, 0.0f);
        const double cosine = std::cos(below - 1e-12) + 1e-14;
        const double root = p / (cosine * (1 + 1e-6));
        bands.zeroBelow = cosine <= 0.0 ? std::numeric_limits<double>::infinity() : root * root * (1 - 1e-9);
    }
    const float firstFull = FirstAngleReaching(255, constants);
    if (firstFull >= 0.0f)
    {
        const double cosine = std::cos(double(firstFull) + 1e-12) - 1e-14;
        const double root = p * (1 + 1e-6) / cosine;
        if (cosine > 0.0)
            bands.fullAbove = root * root * (1 + 1e-9);
    }
    return bands;
}

struct Kernel
{
    ConstRasterView<std::uint16_t> samples;
    RasterView<std::uint8_t> image;
    const float* scaled; // ScaledElevations
    double pixelSize;
    CliffConstants constants;
    Bands bands;
};

std::uint8_t ExactPixel(float lengthSquared, const Kernel& kernel)
{
    const auto length = static_cast<float>(std::sqrt(double(lengthSquared)));
    const double n = VerticalComponent(kernel.pixelSize, length);
    return CliffPixelFromAngle(static_cast<float>(std::acos(n)), kernel.constants);
}

struct RowBuffers
{
    std::vector<float> here, down, lengthSquared;
};

void CliffRow(const Kernel& kernel, int y, RowBuffers& buffers)
{
    const int width = kernel.samples.width;
    const std::uint16_t* hereRow = kernel.samples.row(y);
    const std::uint16_t* downRow = kernel.samples.row(std::min(y + 1, kernel.samples.height - 1));
    float* here = buffers.here.data();
    float* down = buffers.down.data();
    float* lengthSquared = buffers.lengthSquared.data();
    for (int x = 0; x < width; ++x)
    {
        here[x] = kernel.scaled[hereRow[x]];
        down[x] = kernel.scaled[downRow[x]];
    }
    here[width] = here[width - 1]; // one beyond the last column is the edge sample
    const double pp = kernel.pixelSize * kernel.pixelSize;
    for (int x = 0; x < width; ++x)
    {
        const double dX = double(here[x]) - double(here[x + 1]);
        const double dZ = double(down[x]) - double(here[x]);
        lengthSquared[x] = static_cast<float>(pp + dX * dX + dZ * dZ);
    }
    std::uint8_t* out = kernel.image.row(y);
    for (int x = 0; x < width; ++x)
    {
        const double s = lengthSquared[x];
        if (s < kernel.bands.zeroBelow)
            out[x] = 0;
        else if (s > kernel.bands.fullAbove)
            out[x] = 255;
        else
            out[x] = ExactPixel(lengthSquared[x], kernel);
    }
}
} // namespace

CliffConstants MakeCliffConstants(const CliffSettings& settings)
{
    CliffConstants c{};
    c.angle = static_cast<float>(double(settings.cliffAngle) / 180 * kPi);
    c.threshold = static_cast<float>(double(settings.cliffThreshold) / 180 * kPi);
    c.inverse = static_cast<float>(1.0 / double(c.threshold));
    c.heightFactor = static_cast<float>(double(settings.heightScale) * 255);
    c.halfThreshold = double(c.threshold) * 0.5;
    return c;
}

std::uint8_t CliffPixelFromAngle(float slope, const CliffConstants& c)
{
    auto v = static_cast<float>((double(slope) - double(c.angle) + c.halfThreshold) * double(c.inverse));
    if (std::isnan(v))
        v = 1.0f;
    v = std::clamp(v, 0.0f, 1.0f);
    return static_cast<std::uint8_t>(double(v) * 255);
}

float ElevationOfSample(std::uint16_t sample)
{
    return static_cast<float>(double(sample) / 65535.0);
}

void ComputeCliffMaskReference(IElevationDB& heights, const CliffSettings& settings, RasterView<std::uint8_t> image)
{
    const CliffConstants c = MakeCliffConstants(settings);
    const float k = c.heightFactor;
    for (long y = 0; y < heights.getHeight(); ++y)
    {
        for (long x = 0; x < heights.getWidth(); ++x)
        {
            const float eDown = heights.getElevation(x, y + 1) * k;
            const float eHere = heights.getElevation(x, y) * k;
            const float eRight = heights.getElevation(x + 1, y) * k;
            const double dX = double(eHere) - double(eRight);
            const double dZ = double(eDown) - double(eHere);
            const double p = heights.getPixelSize();
            const auto length = static_cast<float>(std::sqrt(double(static_cast<float>(p * p + dX * dX + dZ * dZ))));
            const double n = double(length) > kMinLength ? p / double(length) : 1.0;
            const auto s = static_cast<float>(std::acos(n));
            image.at(static_cast<int>(x), static_cast<int>(y)) = CliffPixelFromAngle(s, c);
        }
    }
}

void ComputeCliffMask(ConstRasterView<std::uint16_t> samples, float pixelSize, const CliffSettings& settings,
                      RasterView<std::uint8_t> image, IProgressSink& progress, int progressSpan, int threads)
{
    assert(image.width == samples.width && image.height == samples.height);
    if (samples.width <= 0 || samples.height <= 0)
        return;
    const std::vector<float> scaled = ScaledElevations(MakeCliffConstants(settings).heightFactor);
    Kernel kernel{samples, image, scaled.data(), pixelSize, MakeCliffConstants(settings), {}};
    kernel.bands = MakeBands(pixelSize, kernel.constants);

    if (threads <= 0)
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int blocks = (samples.height + kRowsPerBlock - 1) / kRowsPerBlock;
    threads = std::min(threads, blocks);
    std::atomic<int> nextBlock{0};
    std::atomic<int> rowsDone{0};
    const auto work = [&](bool reporting) {
        RowBuffers buffers;
        buffers.here.resize(std::size_t(samples.width) + 1);
        buffers.down.resize(std::size_t(samples.width));
        buffers.lengthSquared.resize(std::size_t(samples.width));
        const int start = progress.pos();
        for (int block = nextBlock++; block < blocks; block = nextBlock++)
        {
            const int last = std::min(samples.height, (block + 1) * kRowsPerBlock);
            for (int y = block * kRowsPerBlock; y < last; ++y)
                CliffRow(kernel, y, buffers);
            const int done = rowsDone += last - block * kRowsPerBlock;
            if (reporting && progressSpan > 0)
                progress.setPos(start + static_cast<int>(static_cast<long long>(progressSpan) * done / samples.height));
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i)
        helpers.emplace_back(work, false);
    work(true);
    for (std::thread& helper : helpers)
        helper.join();
}

std::string CliffStatusMessage(CliffStatus status, const std::string& datPath, const std::string& bmpPath)
{
    switch (status)
    {
    case CliffStatus::Written:
        return "Cliff bitmap written to " + bmpPath;
    case CliffStatus::CannotOpenHeights:
        return "Can not open height DAT file " + datPath + " (missing, unreadable or not a valid height file)";
    case CliffStatus::CorruptHeights:
        return "Height DAT file is corrupt: " + datPath;
    case CliffStatus::TooLarge:
        return "Height DAT file is too large for a cliff bitmap: " + datPath;
    case CliffStatus::CannotWrite:
        return "Can not write cliff bitmap " + bmpPath;
    }
    return {};
}

namespace
{
struct BitmapOwner
{
    BITMAP_ bitmap;
    ~BitmapOwner() { FreeBitmap(&bitmap); }
};
} // namespace

CliffStatus ExportCliffBitmap(const std::string& datPath, const std::string& bmpPath, const CliffSettings& settings,
                              IProgressSink& progress)
{
    progress.setPos(0);
    std::vector<std::uint16_t> samples;
    long width = 0;
    long height = 0;
    float pixelSize = 0.0f;
    {
        // One pass checks and decodes every tile on every core, straight into our raster.
        CDATElevationDB reader(false);
        bool tooLarge = false;
        const bool loaded = reader.load(datPath.c_str(), [&](long w, long h) -> std::uint16_t* {
            const long long bytesPerRow = (static_cast<long long>(w) + 3) & ~3LL;
            if (w <= 0 || h <= 0 || w > INT_MAX || bytesPerRow * h > INT_MAX)
            {
                tooLarge = true;
                return nullptr;
            }
            samples.resize(std::size_t(w) * std::size_t(h));
            return samples.data();
        });
        if (tooLarge)
            return CliffStatus::TooLarge;
        if (!loaded)
            return CliffStatus::CannotOpenHeights;
        width = reader.getWidth();
        height = reader.getHeight();
        pixelSize = reader.getPixelSize();
        reader.uninit();
        if (samples.size() != std::size_t(width) * std::size_t(height))
            return CliffStatus::CorruptHeights;
    }
    progress.setPos(60);

    BitmapOwner owner;
    BITMAP_& bitmap = owner.bitmap;
    InitBitmap(&bitmap, static_cast<int>(width), static_cast<int>(height), 8);
    if (bitmap.data == nullptr)
        return CliffStatus::TooLarge;
    for (int i = 0; i < 256; ++i)
    {
        RGBQUAD_& entry = bitmap.info->colors[i];
        entry.blue = entry.green = entry.red = static_cast<std::uint8_t>(i);
    }
    // Stored rows run bottom-up: a negative stride makes row 0 of the view the picture's top.
    RasterView<std::uint8_t> image(bitmap.data + std::ptrdiff_t(bitmap.height - 1) * bitmap.bytesPerRow, bitmap.width,
                                   bitmap.height, -std::ptrdiff_t(bitmap.bytesPerRow));
    ComputeCliffMask(ConstRasterView<std::uint16_t>(samples.data(), bitmap.width, bitmap.height), pixelSize, settings,
                     image, progress, 120);
    samples = {};
    const bool saved = SaveBitmap(&bitmap, bmpPath.c_str());
    progress.setPos(200);
    return saved ? CliffStatus::Written : CliffStatus::CannotWrite;
}
