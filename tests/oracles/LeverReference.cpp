#include "tests/oracles/LeverReference.h"

#include <cstring>
#include <utility>

namespace reference
{
namespace
{

std::uint8_t* Pixel(const BITMAP_* bitmap, int x, int y)
{
    return bitmap->data + static_cast<std::ptrdiff_t>(y) * bitmap->bytesPerRow + static_cast<std::ptrdiff_t>(x) * 3;
}

} // namespace

void BinarizeLever(BITMAP_* lever)
{
    for (int y = 1; y < lever->height - 1; ++y)
    {
        for (int x = 1; x < lever->width - 1; ++x)
        {
            std::uint8_t* p = Pixel(lever, x, y);
            p[0] = p[2] != 0 ? 255 : 0;
        }
    }
}

BITMAP_* BlurLever(BITMAP_* source, BITMAP_* destination, int passes, IProgressSink& progress)
{
    const int base = progress.pos();
    if (passes <= 0)
        return source;
    static const int kNeighbours[8][2] = {{0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
    for (int i = 0; i < passes; ++i)
    {
        std::memset(destination->data, 0, static_cast<std::size_t>(destination->dataSize));
        for (int y = 1; y < source->height - 1; ++y)
        {
            for (int x = 1; x < source->width - 1; ++x)
            {
                float s = 0.0f;
                int red = 0;
                for (const auto& d : kNeighbours)
                {
                    const std::uint8_t* n = Pixel(source, x + d[0], y + d[1]);
                    s += static_cast<float>(n[0] / 255.0);
                    if (n[0] != 0 && n[2] > red)
                        red = n[2];
                }
                std::uint8_t* out = Pixel(destination, x, y);
                out[0] = static_cast<std::uint8_t>(static_cast<int>(static_cast<double>(s) * 0.125 * 255));
                out[2] = static_cast<std::uint8_t>(red);
            }
        }
        std::swap(source, destination);
        progress.setPos(passes == 1 ? base + 100 : base + (100 * i) / (passes - 1));
    }
    return source;
}

void BlendLever(const BITMAP_* lever, RasterView<std::uint16_t> height, float factor)
{
    for (int y = 1; y < height.height - 1; ++y)
    {
        for (int x = 1; x < height.width - 1; ++x)
        {
            const std::uint8_t* p = Pixel(lever, x, lever->height - 1 - y);
            float w = 1.0f;
            if (factor > 0.001f)
            {
                w = static_cast<float>(static_cast<double>(static_cast<float>(p[0] / 255.0)) / factor);
                if (w > 1.0f)
                    w = 1.0f;
            }
            const int h = height.at(x, y);
            const int t = p[2] * 256;
            height.at(x, y) = static_cast<std::uint16_t>(static_cast<int>(h + (t - h) * static_cast<double>(w)));
        }
    }
}

Status ApplyLever(const ProcessSettings& settings, const std::string& leverPath, RasterView<std::uint16_t> height,
                  IProgressSink& progress, IMessageSink& messages)
{
    BITMAP_ lever;
    if (!LoadBitmap24(&lever, leverPath.c_str()))
        return {StatusCode::cannotOpen, "could not read the lever bitmap " + leverPath};
    if (lever.width != height.width || lever.height != height.height)
    {
        messages.show(kLeverSizeMessage, kAppName);
        FreeBitmap(&lever);
        return {StatusCode::invalidInput, kLeverSizeMessage};
    }
    BITMAP_ work;
    InitBitmap(&work, lever.width, lever.height, 24);
    std::memset(work.data, 0, static_cast<std::size_t>(work.dataSize));
    BinarizeLever(&lever);
    BITMAP_* blurred = BlurLever(&lever, &work, settings.blur, progress);
    const float factor = static_cast<float>(1.0 - static_cast<double>(settings.sharpness));
    BlendLever(blurred, height, factor);
    FreeBitmap(&lever);
    FreeBitmap(&work);
    return Ok();
}

} // namespace reference
