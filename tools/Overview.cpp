#include "tools/Overview.h"

#include <algorithm>
#include <cstddef>

namespace
{

struct GlyphEntry
{
    char character;
    std::uint8_t rows[kGlyphHeight];
};

// Bit 4 is the leftmost cell of a row.
constexpr GlyphEntry kGlyphs[] = {
    {' ', {0, 0, 0, 0, 0, 0, 0}},
    {'A', {0b01110, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'B', {0b11110, 0b10001, 0b10001, 0b11110, 0b10001, 0b10001, 0b11110}},
    {'C', {0b01110, 0b10001, 0b10000, 0b10000, 0b10000, 0b10001, 0b01110}},
    {'D', {0b11110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b11110}},
    {'E', {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b11111}},
    {'F', {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b10000}},
    {'G', {0b01110, 0b10001, 0b10000, 0b10111, 0b10001, 0b10001, 0b01111}},
    {'H', {0b10001, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'I', {0b01110, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {'J', {0b00111, 0b00010, 0b00010, 0b00010, 0b00010, 0b10010, 0b01100}},
    {'K', {0b10001, 0b10010, 0b10100, 0b11000, 0b10100, 0b10010, 0b10001}},
    {'L', {0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b11111}},
    {'M', {0b10001, 0b11011, 0b10101, 0b10101, 0b10001, 0b10001, 0b10001}},
    {'N', {0b10001, 0b10001, 0b11001, 0b10101, 0b10011, 0b10001, 0b10001}},
    {'O', {0b01110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01110}},
    {'P', {0b11110, 0b10001, 0b10001, 0b11110, 0b10000, 0b10000, 0b10000}},
    {'Q', {0b01110, 0b10001, 0b10001, 0b10001, 0b10101, 0b10010, 0b01101}},
    {'R', {0b11110, 0b10001, 0b10001, 0b11110, 0b10100, 0b10010, 0b10001}},
    {'S', {0b01111, 0b10000, 0b10000, 0b01110, 0b00001, 0b00001, 0b11110}},
    {'T', {0b11111, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100}},
    {'U', {0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01110}},
    {'V', {0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01010, 0b00100}},
    {'W', {0b10001, 0b10001, 0b10001, 0b10101, 0b10101, 0b10101, 0b01010}},
    {'X', {0b10001, 0b10001, 0b01010, 0b00100, 0b01010, 0b10001, 0b10001}},
    {'Y', {0b10001, 0b10001, 0b01010, 0b00100, 0b00100, 0b00100, 0b00100}},
    {'Z', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b10000, 0b11111}},
    {'0', {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110}},
    {'1', {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {'2', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111}},
    {'3', {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110}},
    {'4', {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010}},
    {'5', {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110}},
    {'6', {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110}},
    {'7', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000}},
    {'8', {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110}},
    {'9', {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100}},
    {'.', {0, 0, 0, 0, 0, 0b01100, 0b01100}},
    {',', {0, 0, 0, 0, 0b01100, 0b00100, 0b01000}},
    {':', {0, 0b01100, 0b01100, 0, 0b01100, 0b01100, 0}},
    {';', {0, 0b01100, 0b01100, 0, 0b01100, 0b00100, 0b01000}},
    {'-', {0, 0, 0, 0b11111, 0, 0, 0}},
    {'+', {0, 0b00100, 0b00100, 0b11111, 0b00100, 0b00100, 0}},
    {'=', {0, 0, 0b11111, 0, 0b11111, 0, 0}},
    {'/', {0b00001, 0b00001, 0b00010, 0b00100, 0b01000, 0b10000, 0b10000}},
    {'|', {0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100}},
    {'(', {0b00010, 0b00100, 0b01000, 0b01000, 0b01000, 0b00100, 0b00010}},
    {')', {0b01000, 0b00100, 0b00010, 0b00010, 0b00010, 0b00100, 0b01000}},
    {'\'', {0b00100, 0b00100, 0b01000, 0, 0, 0, 0}},
    {'?', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0, 0b00100}},
};

bool IsValid(PixelsView view)
{
    return view.pixels != nullptr && view.width > 0 && view.height > 0 && (view.channels == 1 || view.channels == 3);
}

std::size_t Offset(int x, int y, int width, int channels)
{
    return (std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(channels);
}

// The glyph drawn for a character: capitals for lower-case letters, '?' for the rest.
const std::uint8_t* DrawnGlyph(char character)
{
    if (character >= 'a' && character <= 'z')
        character = static_cast<char>(character - 'a' + 'A');
    const std::uint8_t* glyph = FindGlyph(character);
    return glyph != nullptr ? glyph : FindGlyph('?');
}

// The intersection of the canvas and the clip rectangle as [left, right) x [top, bottom).
struct Bounds
{
    int left, top, right, bottom;
};

Bounds ClipBounds(const Picture& canvas, int clipX, int clipY, int clipWidth, int clipHeight)
{
    return {std::max(0, clipX), std::max(0, clipY), std::min(canvas.width, clipX + std::max(0, clipWidth)),
            std::min(canvas.height, clipY + std::max(0, clipHeight))};
}

void FillRect(Picture& canvas, int x0, int y0, int x1, int y1, OverviewColour colour, const Bounds& bounds)
{
    x0 = std::max(x0, bounds.left);
    y0 = std::max(y0, bounds.top);
    x1 = std::min(x1, bounds.right);
    y1 = std::min(y1, bounds.bottom);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < canvas.channels; ++c)
                canvas.pixels[Offset(x, y, canvas.width, canvas.channels) + std::size_t(c)] = colour[std::size_t(c)];
}

} // namespace

Picture MakePicture(int width, int height, int channels, OverviewColour colour)
{
    Picture picture;
    if (width <= 0 || height <= 0 || (channels != 1 && channels != 3))
        return picture;
    picture.width = width;
    picture.height = height;
    picture.channels = channels;
    picture.pixels.resize(std::size_t(width) * std::size_t(height) * std::size_t(channels));
    for (std::size_t i = 0; i < picture.pixels.size(); i += std::size_t(channels))
        for (int c = 0; c < channels; ++c)
            picture.pixels[i + std::size_t(c)] = colour[std::size_t(c)];
    return picture;
}

int ReductionFactor(int width, int height, int target)
{
    const int side = std::max(width, height);
    if (side <= target + 1 || target < 1)
        return 1;
    return (side + target) / (target + 1);
}

Picture DownsampleBox(PixelsView source, int factor)
{
    Picture out;
    if (!IsValid(source) || factor < 1)
        return out;
    out.width = (source.width + factor - 1) / factor;
    out.height = (source.height + factor - 1) / factor;
    out.channels = source.channels;
    out.pixels.resize(Offset(0, out.height, out.width, out.channels));
    const std::size_t rowValues = std::size_t(out.width) * std::size_t(out.channels);
    // One row of block sums, filled from the source rows in order: each source pixel is read
    // once and only one output row is open at a time.
    std::vector<std::uint64_t> sums(rowValues);
    for (int outY = 0; outY < out.height; ++outY)
    {
        std::fill(sums.begin(), sums.end(), 0);
        const int firstRow = outY * factor;
        const int endRow = std::min(source.height, firstRow + factor);
        for (int y = firstRow; y < endRow; ++y)
        {
            const std::uint8_t* row = source.pixels + Offset(0, y, source.width, source.channels);
            for (int x = 0; x < source.width; ++x)
                for (int c = 0; c < source.channels; ++c)
                    sums[std::size_t(x / factor) * std::size_t(source.channels) + std::size_t(c)] +=
                        row[std::size_t(x) * std::size_t(source.channels) + std::size_t(c)];
        }
        const std::uint64_t rows = std::uint64_t(endRow - firstRow);
        std::uint8_t* outRow = out.pixels.data() + Offset(0, outY, out.width, out.channels);
        for (int outX = 0; outX < out.width; ++outX)
        {
            const std::uint64_t columns = std::uint64_t(std::min(source.width, (outX + 1) * factor) - outX * factor);
            const std::uint64_t count = rows * columns;
            for (int c = 0; c < out.channels; ++c)
            {
                const std::size_t i = std::size_t(outX) * std::size_t(out.channels) + std::size_t(c);
                outRow[i] = static_cast<std::uint8_t>((sums[i] + count / 2) / count);
            }
        }
    }
    return out;
}

Picture Enlarge(PixelsView source, int factor)
{
    Picture out;
    if (!IsValid(source) || factor < 1)
        return out;
    out.width = source.width * factor;
    out.height = source.height * factor;
    out.channels = source.channels;
    out.pixels.resize(Offset(0, out.height, out.width, out.channels));
    const std::size_t pixelBytes = std::size_t(source.channels);
    for (int y = 0; y < out.height; ++y)
    {
        const std::uint8_t* row = source.pixels + Offset(0, y / factor, source.width, source.channels);
        std::uint8_t* outRow = out.pixels.data() + Offset(0, y, out.width, out.channels);
        for (int x = 0; x < out.width; ++x)
            std::copy_n(row + std::size_t(x / factor) * pixelBytes, pixelBytes, outRow + std::size_t(x) * pixelBytes);
    }
    return out;
}

Picture Crop(PixelsView source, int x, int y, int width, int height)
{
    Picture out;
    if (!IsValid(source))
        return out;
    const int left = std::max(0, x);
    const int top = std::max(0, y);
    const int right = std::min(source.width, x + std::max(0, width));
    const int bottom = std::min(source.height, y + std::max(0, height));
    if (left >= right || top >= bottom)
        return out;
    out.width = right - left;
    out.height = bottom - top;
    out.channels = source.channels;
    out.pixels.resize(Offset(0, out.height, out.width, out.channels));
    const std::size_t rowBytes = std::size_t(out.width) * std::size_t(out.channels);
    for (int row = 0; row < out.height; ++row)
        std::copy_n(source.pixels + Offset(left, top + row, source.width, source.channels), rowBytes,
                    out.pixels.data() + Offset(0, row, out.width, out.channels));
    return out;
}

Picture FitToSide(PixelsView source, int target)
{
    if (!IsValid(source) || target < 1)
        return {};
    const int side = std::max(source.width, source.height);
    if (side > target + 1)
        return DownsampleBox(source, ReductionFactor(source.width, source.height, target));
    return Enlarge(source, std::max(1, target / side));
}

void Blit(Picture& canvas, PixelsView source, int x, int y, int clipX, int clipY, int clipWidth, int clipHeight)
{
    if (!IsValid(source) || canvas.empty() || (canvas.channels == 1 && source.channels == 3))
        return;
    const Bounds bounds = ClipBounds(canvas, clipX, clipY, clipWidth, clipHeight);
    const int left = std::max(x, bounds.left);
    const int top = std::max(y, bounds.top);
    const int right = std::min(x + source.width, bounds.right);
    const int bottom = std::min(y + source.height, bounds.bottom);
    for (int row = top; row < bottom; ++row)
    {
        const std::uint8_t* from = source.pixels + Offset(left - x, row - y, source.width, source.channels);
        std::uint8_t* to = canvas.pixels.data() + Offset(left, row, canvas.width, canvas.channels);
        if (source.channels == canvas.channels)
            std::copy_n(from, std::size_t(std::max(0, right - left)) * std::size_t(source.channels), to);
        else // grey on colour
            for (int column = left; column < right; ++column, ++from, to += 3)
                to[0] = to[1] = to[2] = *from;
    }
}

Picture SideBySide(PixelsView left, PixelsView right, int gap, OverviewColour background)
{
    const int channels = left.channels == 3 || right.channels == 3 ? 3 : 1;
    const int width = std::max(0, left.width) + std::max(0, gap) + std::max(0, right.width);
    Picture out = MakePicture(width, std::max(left.height, right.height), channels, background);
    Blit(out, left, 0, 0, 0, 0, out.width, out.height);
    Blit(out, right, left.width + gap, 0, 0, 0, out.width, out.height);
    return out;
}

const std::uint8_t* FindGlyph(char character)
{
    for (const GlyphEntry& entry : kGlyphs)
        if (entry.character == character)
            return entry.rows;
    return nullptr;
}

int TextWidth(const std::string& text, int scale)
{
    if (text.empty())
        return 0;
    return (int(text.size()) * kGlyphAdvance - (kGlyphAdvance - kGlyphWidth)) * scale;
}

void DrawText(Picture& canvas, int x, int y, const std::string& text, OverviewColour colour, int scale, int clipX,
              int clipY, int clipWidth, int clipHeight)
{
    if (canvas.empty() || scale < 1)
        return;
    const Bounds bounds = ClipBounds(canvas, clipX, clipY, clipWidth, clipHeight);
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const int left = x + int(i) * kGlyphAdvance * scale;
        if (left >= bounds.right)
            break;
        const std::uint8_t* glyph = DrawnGlyph(text[i]);
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int cell = 0; cell < kGlyphWidth; ++cell)
                if ((glyph[row] >> (kGlyphWidth - 1 - cell) & 1) != 0)
                {
                    const int px = left + cell * scale;
                    const int py = y + row * scale;
                    FillRect(canvas, px, py, px + scale, py + scale, colour, bounds);
                }
    }
}

int CaptionHeight(const OverviewLayout& layout)
{
    return (kGlyphHeight + 2) * std::max(1, layout.captionScale);
}

Picture ComposeOverview(const std::vector<OverviewPanel>& panels, const OverviewLayout& layout)
{
    if (panels.empty() || layout.columns < 1)
        return {};
    int cellWidth = layout.cellWidth;
    int cellHeight = layout.cellHeight;
    for (const OverviewPanel& panel : panels)
    {
        if (layout.cellWidth <= 0)
            cellWidth = std::max(cellWidth, panel.picture.width);
        if (layout.cellHeight <= 0)
            cellHeight = std::max(cellHeight, panel.picture.height);
    }
    const int margin = std::max(0, layout.margin);
    const int caption = CaptionHeight(layout);
    const int columns = std::min(layout.columns, int(panels.size()));
    const int rows = (int(panels.size()) + layout.columns - 1) / layout.columns;
    const int pitchX = cellWidth + margin;
    const int pitchY = caption + cellHeight + margin;
    Picture canvas = MakePicture(margin + columns * pitchX, margin + rows * pitchY, 3, layout.background);
    for (std::size_t i = 0; i < panels.size(); ++i)
    {
        const int left = margin + int(i) % layout.columns * pitchX;
        const int top = margin + int(i) / layout.columns * pitchY;
        DrawText(canvas, left, top, panels[i].caption, layout.text, std::max(1, layout.captionScale), left, top,
                 cellWidth, caption);
        const Picture& picture = panels[i].picture;
        const int x = left + std::max(0, (cellWidth - picture.width) / 2);
        Blit(canvas, picture.view(), x, top + caption, left, top + caption, cellWidth, cellHeight);
    }
    return canvas;
}
