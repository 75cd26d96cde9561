#include "heightproc/Lever.h"

#include "base/Concurrency.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <atomic>
#include <cstring>
#include <vector>

namespace
{

// blue / 255 in single precision, as the blur sums it and the blend weighs it.
const std::array<float, 256>& MaskQuotients()
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int b = 0; b < 256; ++b)
        {
            t[static_cast<std::size_t>(b)] = static_cast<float>(b / 255.0);
            // The blur forms the same quotients by a float division, which vectorises.
            assert(t[static_cast<std::size_t>(b)] == static_cast<float>(b) / 255.0f);
        }
        return t;
    }();
    return table;
}

// No clones under ThreadSanitizer: their resolver runs while the program's relocations are
// applied, before the sanitizer's runtime is ready.
#if defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define ALTIMO_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define ALTIMO_VECTOR_CLONES
#endif

// A source row as the blur reads it: the mask as single-precision quotients and the lever height
// where the mask is set (0 elsewhere), so the maximum filter needs no test.
ALTIMO_VECTOR_CLONES void LoadBlurRow(const std::uint8_t* __restrict mask, const std::uint8_t* __restrict red,
                                      float* __restrict quotient, std::uint8_t* __restrict maskedRed, int width)
{
    // float(b) / 255.0f equals float(b / 255.0) for every byte (checked in MaskQuotients).
    for (int x = 0; x < width; ++x)
        quotient[x] = static_cast<float>(mask[x]) / 255.0f;
    for (int x = 0; x < width; ++x)
        maskedRed[x] = mask[x] != 0 ? red[x] : std::uint8_t(0);
}

struct BlurRow
{
    std::vector<float> quotient;
    std::vector<std::uint8_t> maskedRed;

    explicit BlurRow(int width) : quotient(static_cast<std::size_t>(width)), maskedRed(static_cast<std::size_t>(width))
    {
    }

    void load(const std::uint8_t* mask, const std::uint8_t* red, int width)
    {
        LoadBlurRow(mask, red, quotient.data(), maskedRed.data(), width);
    }
};

// One output row of a pass from the rows below (stored row y - 1), at (y) and above (y + 1).
// The eight quotients are added in single precision in the order the blur is defined with, one
// sum per column, so the loop vectorises across columns without changing any sum.
ALTIMO_VECTOR_CLONES void BlurRowKernel(const float* __restrict qb, const float* __restrict qh,
                                        const float* __restrict qa, const std::uint8_t* __restrict rb,
                                        const std::uint8_t* __restrict rh, const std::uint8_t* __restrict ra,
                                        std::uint8_t* __restrict mask, std::uint8_t* __restrict red, int width)
{
    for (int x = 1; x < width - 1; ++x)
    {
        float s = qa[x];
        s += qa[x + 1];
        s += qh[x + 1];
        s += qb[x + 1];
        s += qb[x];
        s += qb[x - 1];
        s += qh[x - 1];
        s += qa[x - 1];
        mask[x] = static_cast<std::uint8_t>(static_cast<int>(static_cast<double>(s) * 0.125 * 255.0));
    }
    for (int x = 1; x < width - 1; ++x)
    {
        const std::uint8_t m1 = std::max(std::max(ra[x - 1], ra[x]), std::max(ra[x + 1], rh[x - 1]));
        const std::uint8_t m2 = std::max(std::max(rh[x + 1], rb[x - 1]), std::max(rb[x], rb[x + 1]));
        red[x] = std::max(m1, m2);
    }
    mask[0] = mask[width - 1] = 0;
    red[0] = red[width - 1] = 0;
}

// One blur pass over interior rows [y0, y1), in place. The rows y0 - 1 and y1 as they were
// before the pass come from `before` and `after`, since neighbouring bands overwrite them.
void BlurBand(const LeverPlanes& lever, int y0, int y1, const std::uint8_t* before, const std::uint8_t* after)
{
    const int w = lever.width;
    BlurRow rows[3] = {BlurRow(w), BlurRow(w), BlurRow(w)};
    BlurRow* below = &rows[0];
    BlurRow* here = &rows[1];
    BlurRow* above = &rows[2];
    below->load(before, before + w, w);
    here->load(lever.mask(y0), lever.red(y0), w);
    for (int y = y0; y < y1; ++y)
    {
        if (y + 1 == y1)
            above->load(after, after + w, w);
        else
            above->load(lever.mask(y + 1), lever.red(y + 1), w);
        // Row y's old values live on in `here`, so it can be overwritten now.
        BlurRowKernel(below->quotient.data(), here->quotient.data(), above->quotient.data(), below->maskedRed.data(),
                      here->maskedRed.data(), above->maskedRed.data(), lever.mask(y), lever.red(y), w);
        std::swap(below, here);
        std::swap(here, above);
    }
}

void ClearRow(const LeverPlanes& lever, int storedRow)
{
    std::memset(lever.mask(storedRow), 0, static_cast<std::size_t>(lever.width) * 2);
}

void BlurPass(const LeverPlanes& lever, int workers)
{
    const int w = lever.width;
    const int h = lever.height;
    if (h >= 3 && w >= 3)
    {
        const int bands = std::max(1, std::min(workers, (h - 2) / 16));
        // Each band's neighbour rows, copied before any band writes.
        const std::size_t rowBytes = static_cast<std::size_t>(w) * 2;
        std::vector<std::uint8_t> edges(rowBytes * 2 * static_cast<std::size_t>(bands));
        for (int b = 0; b < bands; ++b)
        {
            std::uint8_t* saved = edges.data() + rowBytes * 2 * static_cast<std::size_t>(b);
            std::memcpy(saved, lever.mask(BandStart(1, h - 2, bands, b) - 1), rowBytes);
            std::memcpy(saved + rowBytes, lever.mask(BandStart(1, h - 2, bands, b + 1)), rowBytes);
        }
        RunInBands(1, h - 1, bands, [&](int band, int y0, int y1) {
            const std::uint8_t* saved = edges.data() + rowBytes * 2 * static_cast<std::size_t>(band);
            BlurBand(lever, y0, y1, saved, saved + rowBytes);
        });
    }
    else
    {
        for (int y = 1; y < h - 1; ++y)
            ClearRow(lever, y);
    }
    ClearRow(lever, 0);
    if (h > 1)
        ClearRow(lever, h - 1);
}

} // namespace

LeverPlanes BinarizeLever(BITMAP_& lever)
{
    LeverPlanes planes{lever.data, lever.width, lever.height, lever.bytesPerRow};
    const int w = lever.width;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * 3);
    for (int y = 0; y < lever.height; ++y)
    {
        std::memcpy(pixels.data(), planes.mask(y), pixels.size());
        std::uint8_t* mask = planes.mask(y);
        std::uint8_t* red = planes.red(y);
        const bool borderRow = y == 0 || y == lever.height - 1;
        for (int x = 0; x < w; ++x)
        {
            const std::uint8_t blue = pixels[static_cast<std::size_t>(x) * 3];
            const std::uint8_t r = pixels[static_cast<std::size_t>(x) * 3 + 2];
            const bool border = borderRow || x == 0 || x == w - 1;
            mask[x] = border ? blue : (r != 0 ? 255 : 0);
            red[x] = r;
        }
    }
    return planes;
}

void BlurLever(const LeverPlanes& lever, int passes, IProgressSink& progress)
{
    const int base = progress.pos();
    const int workers = static_cast<int>(WorkerCount());
    for (int i = 0; i < passes; ++i)
    {
        BlurPass(lever, workers);
        progress.setPos(passes == 1 ? base + 100 : base + (100 * i) / (passes - 1));
    }
}

float LeverFactor(float sharpness)
{
    return static_cast<float>(1.0 - static_cast<double>(sharpness));
}

void BlendLever(const LeverPlanes& lever, RasterView<std::uint16_t> height, float factor)
{
    // The weight depends on the mask byte alone: one table for the whole raster.
    std::array<double, 256> weight{};
    const std::array<float, 256>& q = MaskQuotients();
    for (int b = 0; b < 256; ++b)
    {
        float w = 1.0f;
        if (factor > 0.001f)
        {
            w = static_cast<float>(static_cast<double>(q[static_cast<std::size_t>(b)]) / static_cast<double>(factor));
            if (w > 1.0f)
                w = 1.0f;
        }
        weight[static_cast<std::size_t>(b)] = static_cast<double>(w);
    }
    const int rows = height.height;
    RunInBands(1, rows - 1, static_cast<int>(WorkerCount()), [&](int, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
        {
            const std::uint8_t* mask = lever.mask(rows - 1 - y);
            const std::uint8_t* red = lever.red(rows - 1 - y);
            std::uint16_t* out = height.row(y);
            for (int x = 1; x < height.width - 1; ++x)
            {
                const int h = out[x];
                const int t = red[x] * 256;
                const double v = h + (t - h) * weight[mask[x]];
                out[x] = static_cast<std::uint16_t>(static_cast<int>(v));
            }
        }
    });
}

Status ApplyLever(const ProcessSettings& settings, const std::string& leverPath, RasterView<std::uint16_t> height,
                  IProgressSink& progress, IMessageSink& messages)
{
    BitmapOwner owner;
    BITMAP_& lever = owner.bitmap;
    if (!LoadBitmap24(&lever, leverPath.c_str()))
        return {StatusCode::cannotOpen, "could not read the lever bitmap " + leverPath};
    if (lever.width != height.width || lever.height != height.height)
    {
        messages.show(kLeverSizeMessage, kAppName);
        return {StatusCode::invalidInput, kLeverSizeMessage};
    }
    // The blur runs in place inside the loaded bitmap, so no second bitmap is needed: the peak
    // stays at the raster plus one 24-bit bitmap.
    const LeverPlanes planes = BinarizeLever(lever);
    BlurLever(planes, settings.blur, progress);
    BlendLever(planes, height, LeverFactor(settings.sharpness));
    return Ok();
}
