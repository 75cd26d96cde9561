#include "banks/GenerateShorelines.h"

#include "support/BufferMask.h"
#include "banks/ShoreRefinement.h"
#include "banks/ShoreTracing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

const char* BanksStatusMessage(BanksStatus status)
{
    switch (status)
    {
    case BanksStatus::ok:
        return "";
    case BanksStatus::cannotOpen:
        return "The compressed water file cannot be opened";
    case BanksStatus::invalidMask:
        return "The file is not a valid compressed water mask";
    case BanksStatus::invalidSettings:
        return "A setting is out of range";
    case BanksStatus::tooLarge:
        return "The water mask is too large in metres for 32-bit shoreline coordinates; use a smaller water pixel size";
    case BanksStatus::imageTooLarge:
        return "The water image would be larger than 32768 x 32768 pixels; use a larger resolution scale";
    case BanksStatus::tooManyLines:
        return "The shorelines would be more than 32767 lines; use a larger resolution scale or min river size";
    case BanksStatus::lineTooLong:
        return "A shoreline would have more than 32767 points; use a larger resolution scale or a smaller tesselation";
    case BanksStatus::writeFailed:
        return "The file could not be written";
    }
    return "";
}

std::string CheckBanksSettings(const BanksSettings& settings)
{
    if (const JobField<BanksSettings>* field = FirstFieldOutOfRange(kBanksFields, settings, true))
    {
        char text[160];
        if (field->bounds)
            std::snprintf(text, sizeof text, "%s must be a number %s", field->range.field, field->bounds);
        else
            std::snprintf(text, sizeof text, "%s must be between %g and %g", field->range.field, field->range.min,
                          field->range.max);
        return text;
    }
    if (!std::isfinite(settings.shoreLevel))
        return "shoreLevel must be a finite number";
    return {};
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

WaterImage DrawWaterImage(CBitMask& mask, int scale)
{
    const int width = static_cast<int>(mask.getXRes() / scale);
    const int height = static_cast<int>(mask.getZRes() / scale);
    WaterImage image(width, height);
    const int blockSize = mask.m_blockSize;
    const float step = static_cast<float>(blockSize) / static_cast<float>(scale);
    // The block rows are placed so that the last one ends at the image's bottom edge; the first
    // ones may start above the top edge, and those are not drawn.
    float ypos = static_cast<float>(double(height) - double(mask.getZBlocks()) * double(step));
    for (long zb = 0; zb < mask.getZBlocks(); ++zb)
    {
        float xpos = 0.0f;
        for (long xb = 0; xb < mask.getXBlocks(); ++xb)
        {
            if (const unsigned char* block = mask.decodeBlock(xb, zb))
                DrawMaskBlock(image.view(), static_cast<int>(xpos), static_cast<int>(ypos), block, blockSize, scale);
            xpos += step;
        }
        ypos += step;
    }
    return image;
}

BanksStatus Refine(ShorelineSet& lines, CBufferMask& mask, const BanksSettings& settings)
{
    for (Shoreline& line : lines)
        if (const BanksStatus status = TessellateLine(line, settings.tesselation); status != BanksStatus::ok)
            return status;
    for (Shoreline& line : lines)
        SnapLineToShore(line, mask, settings.waterPixelSize, settings.shoreLevel);
    ShorelineSet pieces;
    for (const Shoreline& line : lines)
        if (const BanksStatus status = SplitLine(line, pieces, settings.tesselation); status != BanksStatus::ok)
            return status;
    lines = std::move(pieces);
    for (Shoreline& line : lines)
        SmoothLine(line, 1);
    return BanksStatus::ok;
}

BanksResult Fail(BanksResult& result, BanksStatus status, IMessageSink& messages)
{
    messages.show(BanksStatusMessage(status), kAppName);
    result.status = status;
    result.lines.clear();
    result.filtered = WaterImage();
    return std::move(result);
}
} // namespace

BanksResult GenerateShorelines(const std::string& wtrPath, const BanksSettings& settings, IMessageSink& messages)
{
    BanksResult result;
    if (const std::string problem = CheckBanksSettings(settings); !problem.empty())
    {
        messages.show(problem, kAppName);
        result.status = BanksStatus::invalidSettings;
        return result;
    }
    Clock::time_point phase = Clock::now();

    CBufferMask mask(256);
    std::FILE* file = std::fopen(wtrPath.c_str(), "rb");
    if (file == nullptr)
    {
        messages.show(wtrPath, kCannotOpenWtrCaption);
        result.status = BanksStatus::cannotOpen;
        return result;
    }
    const bool loaded = mask.load(file);
    std::fclose(file);
    if (!loaded)
    {
        messages.show(wtrPath, kInvalidWtrCaption);
        result.status = BanksStatus::invalidMask;
        return result;
    }
    const double extent = double(std::max(mask.getXRes(), mask.getZRes()) + 1024) * double(settings.waterPixelSize);
    if (!(extent < kMaxExtentMetres))
        return Fail(result, BanksStatus::tooLarge, messages);

    const int scale = static_cast<int>(settings.resolutionScale);
    // A header may claim a mask far larger than its file (absent blocks cost nothing), so the
    // image is bounded before it is allocated.
    if (double(mask.getXRes() / scale) * double(mask.getZRes() / scale) > kMaxWaterImagePixels)
        return Fail(result, BanksStatus::imageTooLarge, messages);
    const int R = settings.minRiverSize;
    result.metresPerPixel = settings.waterPixelSize * static_cast<float>(scale);
    {
        const WaterImage water = DrawWaterImage(mask, scale);
        result.timings.loadAndDraw = Seconds(phase);
        // Every block with data has been decoded once by now. Reading a damaged block as dry
        // land would give plausible but wrong shorelines, which nobody would notice in a batch.
        if (mask.corruptBlocks() > 0)
        {
            messages.show(wtrPath + " (" + std::to_string(mask.corruptBlocks()) + " corrupt blocks)",
                          kInvalidWtrCaption);
            result.status = BanksStatus::invalidMask;
            result.filtered = WaterImage();
            return result;
        }
        result.filtered = WaterImage(water.width, water.height);
        FilterNarrowWater(water.view(), result.filtered.view(), R);
    }
    result.timings.filter = Seconds(phase);

    BanksStatus status = TraceShorelines(result.filtered.view(), result.lines, R, result.metresPerPixel);
    result.timings.trace = Seconds(phase);
    if (status == BanksStatus::ok)
        status = Refine(result.lines, mask, settings);
    result.timings.refine = Seconds(phase);
    mask.close();
    if (status != BanksStatus::ok)
        return Fail(result, status, messages);
    return result;
}
