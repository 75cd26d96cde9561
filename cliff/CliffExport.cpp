#include "cliff/CliffExport.h"

#include "base/JobFiles.h"

#include "base/Concurrency.h"
#include "base/VectorUnit.h"
#include "support/Bitmap.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
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

// What the first pass over a row leaves in a pixel whose squared length lies between the bands.
constexpr std::uint8_t kNeedsExactPixel = 1;

struct Kernel;
// The first pass over a row in the widest vector registers of the machine.
using CliffRowFn = void (*)(const Kernel&, const std::uint16_t*, const std::uint16_t*, int, float*, std::uint8_t*);
CliffRowFn SelectCliffRow();

struct Kernel
{
    double pixelSize;
    CliffConstants constants;
    Bands bands;
    CliffRowFn firstPass = SelectCliffRow();

    Kernel(float p, const CliffSettings& settings)
        : pixelSize(p), constants(MakeCliffConstants(settings)), bands(MakeBands(p, constants))
    {
    }
};

std::uint8_t ExactPixel(float lengthSquared, const Kernel& kernel)
{
    const auto length = static_cast<float>(std::sqrt(double(lengthSquared)));
    const double n = VerticalComponent(kernel.pixelSize, length);
    return CliffPixelFromAngle(static_cast<float>(std::acos(n)), kernel.constants);
}

// The first pass over a row: every sample's squared length, and its pixel when the bands decide
// it (kNeedsExactPixel otherwise). No branches, so that the compiler can use vector registers
// of whatever width the function is compiled for; every lane does the same double steps.
[[gnu::always_inline]] inline void CliffRowLanes(const Kernel& kernel, const std::uint16_t* hereRow,
                                                 const std::uint16_t* downRow, int width, float* lengthSquared,
                                                 std::uint8_t* out)
{
    const double pp = kernel.pixelSize * kernel.pixelSize;
    const double zeroBelow = kernel.bands.zeroBelow;
    const double fullAbove = kernel.bands.fullAbove;
    const float heightFactor = kernel.constants.heightFactor;
    // Not from a table: a gather would keep the loop out of vector registers.
    const auto scaled = [&](std::uint16_t sample) { return ScaledElevation(sample, heightFactor); };
    const auto sample = [&](int x, int right)
    {
        const float here = scaled(hereRow[x]);
        const double dX = double(here) - double(scaled(hereRow[right]));
        const double dZ = double(scaled(downRow[x])) - double(here);
        const auto length = static_cast<float>(pp + dX * dX + dZ * dZ);
        const double s = length;
        lengthSquared[x] = length;
        const std::uint8_t decided = s > fullAbove ? 255 : kNeedsExactPixel;
        out[x] = s < zeroBelow ? 0 : decided;
    };
    for (int x = 0; x + 1 < width; ++x)
        sample(x, x + 1);
    sample(width - 1, width - 1); // one beyond the last column is the edge sample
}

void CliffRowBase(const Kernel& kernel, const std::uint16_t* hereRow, const std::uint16_t* downRow, int width,
                  float* lengthSquared, std::uint8_t* out)
{
    CliffRowLanes(kernel, hereRow, downRow, width, lengthSquared, out);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void CliffRowAvx2(const Kernel& kernel, const std::uint16_t* hereRow,
                                          const std::uint16_t* downRow, int width, float* lengthSquared,
                                          std::uint8_t* out)
{
    CliffRowLanes(kernel, hereRow, downRow, width, lengthSquared, out);
}

[[gnu::target("avx512f,avx512bw")]] void CliffRowAvx512(const Kernel& kernel, const std::uint16_t* hereRow,
                                                        const std::uint16_t* downRow, int width,
                                                        float* lengthSquared, std::uint8_t* out)
{
    CliffRowLanes(kernel, hereRow, downRow, width, lengthSquared, out);
}
#endif

CliffRowFn SelectCliffRow()
{
    switch (WidestVectorUnit())
    {
#if defined(__x86_64__) || defined(__i386__)
    case VectorUnit::Avx512:
        return CliffRowAvx512;
    case VectorUnit::Avx2:
        return CliffRowAvx2;
#endif
    default:
        return CliffRowBase;
    }
}

// One row of pixels from its samples and those of the row below (the row itself on the last);
// lengthSquared holds `width` floats for the row's use.
void CliffRow(const Kernel& kernel, const std::uint16_t* hereRow, const std::uint16_t* downRow, int width,
              float* lengthSquared, std::uint8_t* out)
{
    kernel.firstPass(kernel, hereRow, downRow, width, lengthSquared, out);
    // The rest are on the ramp, or near a band's edge: few, found with memchr.
    const auto end = out + width;
    for (auto* p = out; (p = static_cast<std::uint8_t*>(std::memchr(p, kNeedsExactPixel, std::size_t(end - p)))); ++p)
        *p = ExactPixel(lengthSquared[p - out], kernel);
}

// Computes rows first..last - 1, out(y) giving row y's bytes, on `threads` threads (0: every
// core) that claim blocks of rows in turn. report(rows done) is called on the calling thread
// only, after each block it finished.
template <typename OutRow, typename Report>
void RunRows(const Kernel& kernel, ConstRasterView<std::uint16_t> samples, int first, int last, int threads,
             const OutRow& out, const Report& report)
{
    const int blocks = (last - first + kRowsPerBlock - 1) / kRowsPerBlock;
    const int workers = std::max(1, std::min(static_cast<int>(WorkerCount(static_cast<unsigned>(threads))), blocks));
    std::atomic<int> nextBlock{0};
    std::atomic<int> rowsDone{0};
    // One band per worker; band 0 runs on the calling thread, the only one that reports.
    RunInBands(0, workers, workers, [&](int worker, int, int)
    {
        std::vector<float> lengthSquared(std::size_t(samples.width));
        for (int block = nextBlock++; block < blocks; block = nextBlock++)
        {
            const int begin = first + block * kRowsPerBlock;
            const int end = std::min(last, begin + kRowsPerBlock);
            for (int y = begin; y < end; ++y)
                CliffRow(kernel, samples.row(y), samples.row(std::min(y + 1, samples.height - 1)), samples.width,
                         lengthSquared.data(), out(y));
            const int done = rowsDone += end - begin;
            if (worker == 0)
                report(done);
        }
    });
}

// The export's failure with its line for the command line.
Status CliffFailure(StatusCode code, const std::string& datPath, const std::string& bmpPath)
{
    switch (code)
    {
    case StatusCode::cannotOpen:
        return {code, "Can not open height DAT file " + datPath + " (missing, unreadable or not a valid height file)"};
    case StatusCode::invalidInput:
        return {code, "Height DAT file is corrupt: " + datPath};
    case StatusCode::tooLarge:
        return {code, "Height DAT file is too large for a cliff bitmap: " + datPath};
    case StatusCode::writeFailed:
        return {code, "Can not write cliff bitmap " + bmpPath};
    case StatusCode::noTarget:
        return {code, "No file was chosen for the cliff bitmap"};
    default:
        return {code, datPath};
    }
}

bool TooLargeForBitmap(long width, long height)
{
    const long long bytesPerRow = (static_cast<long long>(width) + 3) & ~3LL;
    return width <= 0 || height <= 0 || bytesPerRow * height > INT_MAX - 2048;
}

// The file stores the bottom row first, so the height file is decoded from the bottom up, a band
// of rows at a time while the next one is decoded, and each band is written as it is done: the
// map and the picture are never held whole. Progress goes from where it is up to 200.
Status StreamCliffBitmap(const std::string& datPath, const std::string& bmpPath, const CliffSettings& settings,
                         IProgressSink& progress)
{
    // Replacing the height file would destroy it: the bitmap is not written, as when it cannot be.
    if (IsSameFile(bmpPath, datPath))
        return CliffFailure(StatusCode::writeFailed, datPath, bmpPath);
    StatusCode failure = StatusCode::cannotOpen;
    BmpWriter writer;
    std::optional<Kernel> kernel;
    std::vector<float> lengthSquared;
    std::vector<std::uint16_t> below; // the top row of the band before, under this band's last row
    std::vector<std::uint8_t> pixels; // the band's rows in the order the file stores them
    long height = 0;
    long rowsDone = 0;
    const int base = progress.pos();
    const auto start = [&](long width, long h, float pixelSize)
    {
        if (TooLargeForBitmap(width, h))
        {
            failure = StatusCode::tooLarge;
            return false;
        }
        RGBQUAD_ grey[256];
        for (int i = 0; i < 256; ++i)
            grey[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 0};
        if (!writer.open(bmpPath.c_str(), static_cast<int>(width), static_cast<int>(h), 8, grey))
        {
            failure = StatusCode::writeFailed;
            return false;
        }
        // From here on a failure not of the writer's making is a tile that does not decode.
        failure = StatusCode::invalidInput;
        height = h;
        kernel.emplace(pixelSize, settings);
        lengthSquared.resize(std::size_t(width));
        below.resize(std::size_t(width));
        return true;
    };
    const auto band = [&](long firstRow, long rows, long width, const std::uint16_t* samples)
    {
        const auto rowBytes = static_cast<std::size_t>(writer.bytesPerRow());
        if (pixels.size() < std::size_t(rows) * rowBytes)
            pixels.resize(std::size_t(rows) * rowBytes, 0); // the row padding stays zero
        for (long r = rows - 1; r >= 0; --r)
        {
            const std::uint16_t* here = samples + r * width;
            const bool lastOfMap = firstRow + r == height - 1;
            const std::uint16_t* down = r + 1 < rows ? here + width : (lastOfMap ? here : below.data());
            CliffRow(*kernel, here, down, static_cast<int>(width), lengthSquared.data(),
                     pixels.data() + std::size_t(rows - 1 - r) * rowBytes);
        }
        std::copy(samples, samples + width, below.begin());
        if (!writer.writeRows(pixels.data(), static_cast<int>(rows)))
        {
            failure = StatusCode::writeFailed;
            return false;
        }
        rowsDone += rows;
        progress.setPos(base + static_cast<int>((200LL - base) * rowsDone / height));
        return true;
    };
    CDATElevationDB reader(false);
    if (!reader.loadInBands(datPath.c_str(), band, CDATElevationDB::BandOrder::BottomUp, start))
        return CliffFailure(failure, datPath, bmpPath);
    return writer.commit() ? Ok() : CliffFailure(StatusCode::writeFailed, datPath, bmpPath);
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
    const Kernel kernel(pixelSize, settings);
    const int start = progress.pos();
    RunRows(
        kernel, samples, 0, samples.height, threads, [&](int y) { return image.row(y); },
        [&](int done)
        {
            if (progressSpan > 0)
                progress.setPos(start + static_cast<int>(static_cast<long long>(progressSpan) * done / samples.height));
        });
}

Status ExportCliffBitmap(const std::string& datPath, const std::string& bmpPath, const CliffSettings& settings,
                         IProgressSink& progress)
{
    progress.setPos(0);
    return StreamCliffBitmap(datPath, bmpPath, settings, progress);
}

Status ExportCliffBitmap(const std::string& datPath, const CliffTargetChooser& chooseTarget,
                         const CliffSettings& settings, IProgressSink& progress)
{
    progress.setPos(0);
    {
        // The whole height file is checked before anyone is asked where its mask should go.
        CDATElevationDB reader(false);
        if (!reader.init(datPath.c_str()))
            return CliffFailure(StatusCode::cannotOpen, datPath, {});
        if (TooLargeForBitmap(reader.getWidth(), reader.getHeight()))
            return CliffFailure(StatusCode::tooLarge, datPath, {});
    }
    progress.setPos(60);
    const std::optional<std::string> bmpPath = chooseTarget();
    if (!bmpPath)
        return CliffFailure(StatusCode::noTarget, datPath, {});
    return StreamCliffBitmap(datPath, *bmpPath, settings, progress);
}
