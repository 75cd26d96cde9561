#pragma once
// Small pictures put together into one overview: box-filter downsampling, crops, whole-number
// enlargement, a grid of captioned panels on a plain background, and a built-in 5 x 7 bitmap
// font for the captions. Integer arithmetic only and one thread, so the same input gives the
// same bytes on every machine.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// 8-bit pixels, rows top first without padding; 1 channel (grey) or 3 (red, green, blue).
struct PixelsView
{
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int channels = 3;
};

struct Picture
{
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    int channels = 3;

    PixelsView view() const { return {pixels.data(), width, height, channels}; }
    bool empty() const { return width <= 0 || height <= 0; }
};

using OverviewColour = std::array<std::uint8_t, 3>;

// A picture of width x height pixels with `channels` channels, every pixel `colour` (grey
// pictures take the colour's first channel).
Picture MakePicture(int width, int height, int channels, OverviewColour colour);

// The smallest factor f >= 1 that brings the longer side to at most target + 1 pixels through
// DownsampleBox: ceil(side / (target + 1)). So maps of 2^k + 1 samples become exactly
// target + 1 pixels (1025 at target 512 is halved to 513). target >= 1.
int ReductionFactor(int width, int height, int target);

// Box filter by `factor`: output pixel (x, y) is the mean of the input block of columns
// x * factor .. min(width, (x + 1) * factor) - 1 and the same rows, per channel, rounded half
// up: (sum + n / 2) / n with n the block's pixel count. The output is ceil(width / factor) x
// ceil(height / factor), the right and bottom blocks covering what is left. factor 1 copies.
// An empty source or factor < 1 gives an empty picture.
Picture DownsampleBox(PixelsView source, int factor);

// Every pixel repeated factor x factor times (factor >= 1).
Picture Enlarge(PixelsView source, int factor);

// The rectangle (x, y, width, height) of the source, clipped to the source; empty when nothing
// of it lies inside.
Picture Crop(PixelsView source, int x, int y, int width, int height);

// Brings the longer side near `target`: reduced through DownsampleBox by ReductionFactor when
// it is longer than target + 1, otherwise enlarged by target / side when that is at least 2.
Picture FitToSide(PixelsView source, int target);

// Copies the source with its top-left corner at (x, y) of the canvas, only where it falls
// inside both the canvas and the clip rectangle (clipX, clipY, clipWidth, clipHeight). A grey
// source on a colour canvas is written to all three channels; a colour source on a grey canvas
// is not supported (nothing is drawn).
void Blit(Picture& canvas, PixelsView source, int x, int y, int clipX, int clipY, int clipWidth, int clipHeight);

// Two pictures next to each other, `gap` pixels apart, tops aligned, on the background colour.
Picture SideBySide(PixelsView left, PixelsView right, int gap, OverviewColour background);

// The font: every glyph is kGlyphWidth x kGlyphHeight cells, text advances kGlyphAdvance cells
// per character. It has A-Z, 0-9, the space and . , : ; - + = / | ( ) ' ? ; lower-case letters
// are drawn as capitals and every other character as '?'.
inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6;

// The glyph's rows, top first, bit 4 the leftmost cell; nullptr when the font has no glyph for
// the character (before the capital and '?' substitutions).
const std::uint8_t* FindGlyph(char character);

// The pixels the text covers across at `scale` pixels per cell (the last character's spacing
// column not counted); 0 for empty text.
int TextWidth(const std::string& text, int scale);

// Draws the text with the top-left of its first cell at (x, y), each set cell a scale x scale
// square of `colour`, clipped to the canvas and to the clip rectangle. Unset cells are left as
// they were.
void DrawText(Picture& canvas, int x, int y, const std::string& text, OverviewColour colour, int scale, int clipX,
              int clipY, int clipWidth, int clipHeight);

struct OverviewPanel
{
    std::string caption;
    Picture picture;
};

struct OverviewLayout
{
    int columns = 3;
    // The picture area of every cell; 0 takes the widest (highest) panel. Larger panels are
    // clipped to it, smaller ones centred across and placed at its top.
    int cellWidth = 0;
    int cellHeight = 0;
    int margin = 16;      // around the grid and between cells
    int captionScale = 2; // font pixels per glyph cell
    OverviewColour background = {56, 56, 56};
    OverviewColour text = {235, 235, 235};
};

// The caption band above each cell's picture: the glyph height and two cells of spacing.
int CaptionHeight(const OverviewLayout& layout);

// The grid: cell i is in column i % columns and row i / columns. Its caption starts at
// (margin + column * (cellWidth + margin), margin + row * (CaptionHeight + cellHeight + margin))
// and is clipped to the cell's width; the picture follows CaptionHeight pixels lower. The canvas
// is margin + min(columns, panels) * (cellWidth + margin) wide and margin + rows * (CaptionHeight + cellHeight
// + margin) high, filled with the background. No panels (or columns < 1) give an empty picture.
Picture ComposeOverview(const std::vector<OverviewPanel>& panels, const OverviewLayout& layout);
