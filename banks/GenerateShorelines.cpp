#include "banks/GenerateShorelines.h"

#include "banks/ShoreRefinement.h"
#include "banks/ShoreTracing.h"
#include "base/Concurrency.h"
#include "support/MaskCells.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

Status CheckBanksSettings(const BanksSettings& settings)
{
    if (const JobField<BanksSettings>* field = FirstFieldOutOfRange(kBanksFields, settings, true))
    {
        char text[160];
        if (field->bounds)
            std::snprintf(text, sizeof text, "%s must be a number %s", field->range.field, field->bounds);
        else
            std::snprintf(text, sizeof text, "%s must be between %g and %g", field->range.field, field->range.min,
                          field->range.max);
        return {StatusCode::invalidSettings, text};
    }
    if (!std::isfinite(settings.shoreLevel))
        return {StatusCode::invalidSettings, "shoreLevel must be a finite number"};
    return Ok();
}

namespace
{
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point& since)
{
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - since).count();
    since = now;
    return seconds;
}

// Every coordinate the stages make lies within the mask's extent plus the snapping walk (about
// 50 cells); keeping that extent below 2^29 metres leaves the sums of three coordinates that
// the smoothing forms, and every truncation to 32 bits, exact.
constexpr double kMaxExtentMetres = 536870912.0;

// Tessellation, snapping, splitting and the final smoothing of one line touch nothing but the
// line and the mask's cells, so the lines are refined side by side and their pieces joined in
// line order; the refusals are those of the stages run one after another over all lines.
Status Refine(ShorelineSet& lines, const CBitMask& mask, const BanksSettings& settings, std::size_t budget)
{
    MaskCells cells(mask, budget);
    const int workers = static_cast<int>(WorkerCount());
    std::vector<ShoreSampler> samplers;
    samplers.reserve(std::size_t(workers));
    for (int w = 0; w < workers; ++w)
        samplers.emplace_back(cells);
    std::vector<ShorelineSet> pieces(lines.size());
    std::atomic<bool> tooLong{false};
    std::atomic<bool> tooMany{false};
    const int T = settings.tesselation;
    RunInChunks(
        0, static_cast<int>(lines.size()), 8, workers,
        [&](int worker, int first, int last)
        {
            for (int i = first; i < last; ++i)
            {
                Shoreline& line = lines[std::size_t(i)];
                if (!TessellateLine(line, T))
                {
                    tooLong = true;
                    continue;
                }
                SnapLineToShore(line, samplers[std::size_t(worker)], settings.waterPixelSize, settings.shoreLevel);
                if (!SplitLine(line, pieces[std::size_t(i)], T))
                    tooMany = true;
                for (Shoreline& piece : pieces[std::size_t(i)])
                    SmoothLine(piece, 1);
                Shoreline().swap(line);
            }
        },
        [] {});
    if (tooLong)
        return ShoreLineTooLong();
    std::size_t total = 0;
    for (const ShorelineSet& set : pieces)
        total += set.size();
    if (tooMany || total > std::size_t(kMaxShoreCount))
        return TooManyShoreLines();
    lines.clear();
    lines.reserve(total);
    for (ShorelineSet& set : pieces)
        for (Shoreline& piece : set)
            lines.push_back(std::move(piece));
    return Ok();
}

// The decoded cells the refinement may keep: as many bytes as the job's two images and 64 MB
// more. At scale 1 that holds every block of the mask (the image is the mask); at larger scales
// the blocks near the shores usually fit, and past the budget a block is decoded again whenever
// a walk enters it, as with a block cache.
std::size_t RefineBudget(const WaterImage& image)
{
    return 2 * image.bits.size() + (std::size_t(64) << 20);
}

BanksResult Fail(BanksResult& result, Status status, IMessageSink& messages)
{
    messages.show(status.message, kAppName);
    result.status = std::move(status);
    result.lines.clear();
    result.filtered = WaterImage();
    return std::move(result);
}
} // namespace

BanksResult GenerateShorelines(const std::string& wtrPath, const BanksSettings& settings, IMessageSink& messages)
{
    BanksResult result;
    if (Status checked = CheckBanksSettings(settings); !checked)
    {
        messages.show(checked.message, kAppName);
        result.status = std::move(checked);
        return result;
    }
    Clock::time_point phase = Clock::now();

    CBitMask mask(256);
    std::FILE* file = std::fopen(wtrPath.c_str(), "rb");
    if (file == nullptr)
    {
        messages.show(wtrPath, kCannotOpenWtrCaption);
        result.status = {StatusCode::cannotOpen, wtrPath};
        return result;
    }
    const bool loaded = mask.load(file);
    std::fclose(file);
    if (!loaded)
    {
        messages.show(wtrPath, kInvalidWtrCaption);
        result.status = {StatusCode::invalidInput, wtrPath};
        return result;
    }
    const double extent = double(std::max(mask.getXRes(), mask.getZRes()) + 1024) * double(settings.waterPixelSize);
    if (!(extent < kMaxExtentMetres))
        return Fail(result,
                    {StatusCode::tooLarge, "The water mask is too large in metres for 32-bit shoreline coordinates; "
                                           "use a smaller water pixel size"},
                    messages);

    const int scale = static_cast<int>(settings.resolutionScale);
    // A header may claim a mask far larger than its file (absent blocks cost nothing), so the
    // image is bounded before it is allocated.
    if (double(mask.getXRes() / scale) * double(mask.getZRes() / scale) > kMaxWaterImagePixels)
        return Fail(result,
                    {StatusCode::tooLarge,
                     "The water image would be larger than 32768 x 32768 pixels; use a larger resolution scale"},
                    messages);
    const int R = settings.minRiverSize;
    result.metresPerPixel = settings.waterPixelSize * static_cast<float>(scale);
    {
        const WaterImage water = DrawWaterImage(mask, scale);
        result.timings.loadAndDraw = Seconds(phase);
        // Every block with data has been decoded once by now. Reading a damaged block as dry
        // land would give plausible but wrong shorelines, which nobody would notice in a batch.
        if (mask.corruptBlocks() > 0)
        {
            const std::string corrupt = wtrPath + " (" + std::to_string(mask.corruptBlocks()) + " corrupt blocks)";
            messages.show(corrupt, kInvalidWtrCaption);
            result.status = {StatusCode::invalidInput, corrupt};
            result.filtered = WaterImage();
            return result;
        }
        // The new image's row padding reads as zero; the filter writes every pixel.
        result.filtered = WaterImage(water.width, water.height);
        FilterNarrowWater(water.view(), result.filtered.view(), R);
    }
    result.timings.filter = Seconds(phase);

    Status status = TraceShorelines(result.filtered.view(), result.lines, R, result.metresPerPixel);
    result.timings.trace = Seconds(phase);
    if (status)
        status = Refine(result.lines, mask, settings, RefineBudget(result.filtered));
    result.timings.refine = Seconds(phase);
    mask.close();
    if (!status)
        return Fail(result, std::move(status), messages);
    return result;
}
