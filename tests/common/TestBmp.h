#pragma once
// A BMP file built byte by byte, for the layouts SaveBitmap does not write: 1, 4, 16 and 32 bits,
// top-down rows, the 12-byte core and the 124-byte headers, a compression field.
#include "base/ByteOrder.h"

#include <cstdint>
#include <vector>

namespace testbmp
{

struct Rgb
{
    std::uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};

struct Layout
{
    int width = 5;
    int height = 3;
    int bits = 24;
    bool topDown = false;
    std::uint32_t headerSize = 40;
    std::uint32_t compression = 0;
    std::vector<Rgb> palette; // for 1, 4 and 8 bits; the header leaves its count 0 ("all")
};

// `pixel(x, y)` of image row y (0 = top) is a palette index, or the stored value of a 16-bit
// pixel, or 0xAARRGGBB for 24 and 32 bits (the A byte is stored only at 32 bits).
template <typename Pixel> std::vector<std::uint8_t> MakeBmp(const Layout& layout, Pixel pixel)
{
    const bool core = layout.headerSize == 12;
    const std::size_t entry = core ? 3 : 4;
    const std::size_t rowBytes = std::size_t((layout.width * layout.bits + 31) / 32 * 4);
    const std::size_t offset = 14 + layout.headerSize + layout.palette.size() * entry;
    std::vector<std::uint8_t> out(offset + rowBytes * std::size_t(layout.height), 0);
    std::uint8_t* p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    WriteLe32(p + 2, static_cast<std::uint32_t>(out.size()));
    WriteLe32(p + 10, static_cast<std::uint32_t>(offset));
    WriteLe32(p + 14, layout.headerSize);
    if (core)
    {
        WriteLe16(p + 18, static_cast<std::uint32_t>(layout.width));
        WriteLe16(p + 20, static_cast<std::uint32_t>(layout.height));
        WriteLe16(p + 22, 1);
        WriteLe16(p + 24, static_cast<std::uint32_t>(layout.bits));
    }
    else
    {
        WriteLe32(p + 18, static_cast<std::uint32_t>(layout.width));
        WriteLe32(p + 22, static_cast<std::uint32_t>(layout.topDown ? -layout.height : layout.height));
        WriteLe16(p + 26, 1);
        WriteLe16(p + 28, static_cast<std::uint32_t>(layout.bits));
        WriteLe32(p + 30, layout.compression);
    }
    for (std::size_t i = 0; i < layout.palette.size(); ++i)
    {
        std::uint8_t* colour = p + 14 + layout.headerSize + i * entry;
        colour[0] = layout.palette[i].blue;
        colour[1] = layout.palette[i].green;
        colour[2] = layout.palette[i].red;
    }
    for (int y = 0; y < layout.height; ++y)
    {
        std::uint8_t* row = p + offset + std::size_t(layout.topDown ? y : layout.height - 1 - y) * rowBytes;
        for (int x = 0; x < layout.width; ++x)
        {
            const std::uint32_t v = pixel(x, y);
            if (layout.bits >= 16)
                for (int c = 0; c < layout.bits / 8; ++c)
                    row[std::size_t(x * layout.bits / 8 + c)] = static_cast<std::uint8_t>(v >> (8 * c));
            else
            {
                const int bit = x * layout.bits;
                row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | v << (8 - layout.bits - bit % 8));
            }
        }
    }
    return out;
}

} // namespace testbmp
