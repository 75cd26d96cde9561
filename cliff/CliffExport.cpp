#include "cliff/CliffExport.h"

#include "base/JobFiles.h"

#include "base/Concurrency.h"
#include "base/LargeBuffer.h"
#include "support/Bitmap.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

namespace
{
// The page's value of pi; the masks the engine was tuned with use it.
constexpr double kPi = 3.14159;
constexpr double kMinLength = 0.0001;
constexpr int kRowsPerBlock = 16;
// Rows computed before they are written; bounds the memory beside the decoded map.
constexpr int kRowsPerBand = 256;

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
    std::vector<float> scaled; // ScaledElevations
    double pixelSize;
    CliffConstants constants;
    Bands bands;

    Kernel(ConstRasterView<std::uint16_t> view, float p, const CliffSettings& settings)
        : samples(view), pixelSize(p), constants(MakeCliffConstants(settings))
    {
        scaled = ScaledElevations(constants.heightFactor);
        bands = MakeBands(p, constants);
    }
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

void CliffRow(const Kernel& kernel, int y, RowBuffers& buffers, std::uint8_t* out)
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
// Computes rows first..last - 1, out(y) giving row y's bytes, on `threads` threads (0: every
// core) that claim blocks of rows in turn. report(rows done) is called on the calling thread
// only, after each block it finished.
template <typename OutRow, typename Report>
void RunRows(const Kernel& kernel, int first, int last, int threads, const OutRow& out, const Report& report)
{
    const int blocks = (last - first + kRowsPerBlock - 1) / kRowsPerBlock;
    const int workers = std::max(1, std::min(static_cast<int>(WorkerCount(static_cast<unsigned>(threads))), blocks));
    std::atomic<int> nextBlock{0};
    std::atomic<int> rowsDone{0};
    // One band per worker; band 0 runs on the calling thread, the only one that reports.
    RunInBands(0, workers, workers, [&](int worker, int, int)
    {
        RowBuffers buffers;
        buffers.here.resize(std::size_t(kernel.samples.width) + 1);
        buffers.down.resize(std::size_t(kernel.samples.width));
        buffers.lengthSquared.resize(std::size_t(kernel.samples.width));
        for (int block = nextBlock++; block < blocks; block = nextBlock++)
        {
            const int begin = first + block * kRowsPerBlock;
            const int end = std::min(last, begin + kRowsPerBlock);
            for (int y = begin; y < end; ++y)
                CliffRow(kernel, y, buffers, out(y));
            const int done = rowsDone += end - begin;
            if (worker == 0)
                report(done);
        }
    });
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

void ComputeCliffMask(ConstRasterView<std::uint16_t> samples, float pixelSize, const CliffSettings& settings,
                      RasterView<std::uint8_t> image, IProgressSink& progress, int progressSpan, int threads)
{
    assert(image.width == samples.width && image.height == samples.height);
    if (samples.width <= 0 || samples.height <= 0)
        return;
    const Kernel kernel(samples, pixelSize, settings);
    const int start = progress.pos();
    RunRows(
        kernel, 0, samples.height, threads, [&](int y) { return image.row(y); },
        [&](int done)
        {
            if (progressSpan > 0)
                progress.setPos(start + static_cast<int>(static_cast<long long>(progressSpan) * done / samples.height));
        });
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
    case CliffStatus::NoTarget:
        return "No file was chosen for the cliff bitmap";
    }
    return {};
}

CliffStatus ExportCliffBitmap(const std::string& datPath, const std::string& bmpPath, const CliffSettings& settings,
                              IProgressSink& progress)
{
    return ExportCliffBitmap(datPath, [&] { return std::optional<std::string>(bmpPath); }, settings, progress);
}

CliffStatus ExportCliffBitmap(const std::string& datPath, const CliffTargetChooser& chooseTarget,
                              const CliffSettings& settings, IProgressSink& progress)
{
    progress.setPos(0);
    LargeBuffer<std::uint16_t> samples;
    int width = 0;
    int height = 0;
    float pixelSize = 0.0f;
    {
        // One pass checks and decodes every tile on every core, straight into our raster.
        CDATElevationDB reader(false);
        bool tooLarge = false;
        const bool loaded = reader.load(datPath.c_str(),
                                        [&](long w, long h) -> std::uint16_t*
                                        {
                                            const long long bytesPerRow = (static_cast<long long>(w) + 3) & ~3LL;
                                            if (w <= 0 || h <= 0 || bytesPerRow * h > INT_MAX - 2048)
                                            {
                                                tooLarge = true;
                                                return nullptr;
                                            }
                                            samples.allocate(std::size_t(w) * std::size_t(h));
                                            return samples.data();
                                        });
        if (tooLarge)
            return CliffStatus::TooLarge;
        if (!loaded)
            return CliffStatus::CannotOpenHeights;
        width = static_cast<int>(reader.getWidth());
        height = static_cast<int>(reader.getHeight());
        pixelSize = reader.getPixelSize();
        reader.uninit();
        if (samples.size() != std::size_t(width) * std::size_t(height))
            return CliffStatus::CorruptHeights;
    }
    progress.setPos(60);
    const std::optional<std::string> bmpPath = chooseTarget();
    if (!bmpPath)
        return CliffStatus::NoTarget;
    // Replacing the height file would destroy it: the bitmap is not written, as when it cannot be.
    if (IsSameFile(*bmpPath, datPath))
        return CliffStatus::CannotWrite;

    RGBQUAD_ grey[256];
    for (int i = 0; i < 256; ++i)
        grey[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 0};
    BmpWriter writer;
    if (!writer.open(bmpPath->c_str(), width, height, 8, grey))
        return CliffStatus::CannotWrite;
    // The file stores the bottom row first: bands are computed from the bottom up and written
    // as they are done, so the picture is never held whole.
    const Kernel kernel(ConstRasterView<std::uint16_t>(samples.data(), width, height), pixelSize, settings);
    const auto rowBytes = static_cast<std::size_t>(writer.bytesPerRow());
    std::vector<std::uint8_t> band(rowBytes * kRowsPerBand, 0);
    for (int bandEnd = height; bandEnd > 0; bandEnd -= kRowsPerBand)
    {
        const int bandStart = std::max(0, bandEnd - kRowsPerBand);
        RunRows(
            kernel, bandStart, bandEnd, 0, [&](int y) { return band.data() + std::size_t(bandEnd - 1 - y) * rowBytes; },
            [&](int done) { progress.setPos(60 + static_cast<int>(140LL * (height - bandEnd + done) / height)); });
        if (!writer.writeRows(band.data(), bandEnd - bandStart))
            return CliffStatus::CannotWrite;
    }
    const bool saved = writer.commit();
    progress.setPos(200);
    return saved ? CliffStatus::Written : CliffStatus::CannotWrite;
}
