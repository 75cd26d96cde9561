#include "banks/ShoreTracing.h"

#include "base/Concurrency.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>

ShorePoint PixelCentre(int c, int r, float f)
{
    // c f + f / 2 = (2c + 1) f / 2 needs at most 28 + 24 bits, so double holds it exactly and the
    // result equals the extended-precision evaluation of the definition.
    const double size = f;
    return {static_cast<std::int32_t>(double(c) * size + 0.5 * size),
            static_cast<std::int32_t>(double(r) * size + 0.5 * size)};
}

float ShoreDistance(const ShorePoint& a, const ShorePoint& b)
{
    const float dx = static_cast<float>(std::int64_t(a.x) - b.x);
    const float dz = static_cast<float>(std::int64_t(a.z) - b.z);
    const float squareX = static_cast<float>(std::pow(double(dx), 2));
    const float squareZ = static_cast<float>(std::pow(double(dz), 2));
    const float sum = squareX + squareZ;
    return static_cast<float>(std::sqrt(double(sum)));
}

void SmoothLine(Shoreline& line, int passes)
{
    const std::ptrdiff_t n = std::ssize(line);
    for (int pass = 0; pass < passes; ++pass)
    {
        for (std::ptrdiff_t j = 1; j < n - 1; ++j)
        {
            // 64-bit sums: the same truncated averages without overflow for any coordinates.
            const std::int64_t x = std::int64_t(line[j - 1].x) + line[j].x + line[j + 1].x;
            const std::int64_t z = std::int64_t(line[j - 1].z) + line[j].z + line[j + 1].z;
            line[j].x = static_cast<std::int32_t>(x / 3);
            line[j].z = static_cast<std::int32_t>(z / 3);
        }
    }
}

namespace
{
std::uint64_t Load8(const std::uint8_t* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// The boundary pixels of row r, columns [begin, end), in order. Eight pixels at a time: a byte's
// top bit says "water" (a value of 128 or more), so the words of the row, its neighbours above
// and below and the row shifted by one column either way tell at once which of the eight are
// water with one to three water neighbours. Reads columns begin - 1 .. end only.
void ScanRow(ConstRasterView<std::uint8_t> image, int r, int begin, int end, std::vector<BoundaryPixel>& found)
{
    constexpr std::uint64_t kTop = 0x8080808080808080u;
    const std::uint8_t* below = image.row(r - 1);
    const std::uint8_t* here = image.row(r);
    const std::uint8_t* above = image.row(r + 1);
    int c = begin;
    for (; c + 8 <= end; c += 8)
    {
        const std::uint64_t water = Load8(here + c) & kTop;
        if (water == 0)
            continue;
        const std::uint64_t n1 = Load8(below + c) & kTop;
        const std::uint64_t n2 = Load8(above + c) & kTop;
        const std::uint64_t n3 = Load8(here + c - 1) & kTop;
        const std::uint64_t n4 = Load8(here + c + 1) & kTop;
        // Little-endian words: byte k of each is column c + k.
        std::uint64_t marked = water & (n1 | n2 | n3 | n4) & ~(n1 & n2 & n3 & n4);
        while (marked != 0)
        {
            found.push_back({c + std::countr_zero(marked) / 8, r});
            marked &= marked - 1;
        }
    }
    for (; c < end; ++c)
    {
        if (here[c] < 128)
            continue;
        const int neighbours = (below[c] >= 128) + (here[c + 1] >= 128) + (above[c] >= 128) + (here[c - 1] >= 128);
        if (neighbours >= 1 && neighbours <= 3)
            found.push_back({c, r});
    }
}
} // namespace

std::vector<BoundaryPixel> ScanBoundary(RasterView<std::uint8_t> image, int R)
{
    static_assert(std::endian::native == std::endian::little);
    assert(R >= 0);
    const int first = R + 1;
    const int last = image.height - R - 1;
    std::vector<BoundaryPixel> boundary;
    if (first >= last || R + 1 >= image.width - R - 1)
        return boundary;
    // Bands of rows found side by side, then joined in row order; marking only once every row
    // has been read keeps the bands from reading rows that others write (the marks would not
    // change a test anyway: 190 is water too).
    const ConstRasterView<std::uint8_t> view(image.data, image.width, image.height, image.stride);
    const int bands = std::max(1, std::min(static_cast<int>(WorkerCount()), last - first));
    std::vector<std::vector<BoundaryPixel>> found(static_cast<std::size_t>(bands));
    RunInBands(first, last, bands,
               [&](int band, int y0, int y1)
               {
                   for (int r = y0; r < y1; ++r)
                       ScanRow(view, r, R + 1, image.width - R - 1, found[std::size_t(band)]);
               });
    std::size_t total = 0;
    for (const auto& band : found)
        total += band.size();
    boundary.reserve(total);
    for (const auto& band : found)
        boundary.insert(boundary.end(), band.begin(), band.end());
    for (const BoundaryPixel& p : boundary)
        image.at(p.c, p.r) = 190;
    return boundary;
}

namespace
{
// Which pixels are still in the boundary list: one bit per image pixel.
class PixelSet
{
public:
    PixelSet(int width, int height)
        : m_wordsPerRow((std::size_t(width) + 63) / 64), m_words(m_wordsPerRow * std::size_t(height), 0)
    {
    }
    bool contains(BoundaryPixel p) const { return (m_words[word(p)] >> bit(p)) & 1u; }
    void insert(BoundaryPixel p) { m_words[word(p)] |= std::uint64_t(1) << bit(p); }
    void erase(BoundaryPixel p) { m_words[word(p)] &= ~(std::uint64_t(1) << bit(p)); }

private:
    std::size_t word(BoundaryPixel p) const { return std::size_t(p.r) * m_wordsPerRow + std::size_t(p.c) / 64; }
    static unsigned bit(BoundaryPixel p) { return unsigned(p.c) % 64; }

    std::size_t m_wordsPerRow;
    std::vector<std::uint64_t> m_words;
};

// Side 1 reversed without its first point (the start pixel again), then side 0; kept when it
// has more than 5 points.
void CloseOutline(Shoreline& side0, Shoreline& side1, ShorelineSet& outlines)
{
    Shoreline outline;
    if (side1.size() > 1)
    {
        outline.reserve(side1.size() - 1 + side0.size());
        outline.insert(outline.end(), side1.rbegin(), side1.rend() - 1);
        outline.insert(outline.end(), side0.begin(), side0.end());
    }
    else
        outline.swap(side0);
    if (outline.size() > 5)
        outlines.push_back(std::move(outline));
    side0.clear();
    side1.clear();
}
} // namespace

ShorelineSet ChainBoundary(const std::vector<BoundaryPixel>& boundary, int width, int height, float f)
{
    // The list in the definition is searched from its beginning for the one entry equal to a
    // candidate, and entries leave it once taken. Since positions are unique, "found at index
    // k, then take entry k" is just "the candidate is still in the list, take it", and a fresh
    // outline starts at the first entry still in the list, which a forward cursor tracks.
    PixelSet present(width, height);
    for (const BoundaryPixel& p : boundary)
        present.insert(p);
    std::size_t remaining = boundary.size();
    std::size_t first = 0;

    ShorelineSet outlines;
    Shoreline sides[2];
    int side = 0;
    int d = 3;
    BoundaryPixel start;
    BoundaryPixel next;
    while (remaining > 0)
    {
        BoundaryPixel current;
        if (side == 0 || !sides[1].empty())
        {
            if (side == 0 && sides[0].empty())
            {
                while (!present.contains(boundary[first]))
                    ++first;
                start = boundary[first];
                next = start;
            }
            current = next;
            present.erase(current);
            --remaining;
        }
        else
            current = start;
        sides[side].push_back(PixelCentre(current.c, current.r, f));

        bool found = false;
        for (int t = 0; t < 8 && !found; ++t)
        {
            const int dd = (d - t + 8) % 8;
            const BoundaryPixel candidate{current.c + kChainSteps[dd].c, current.r + kChainSteps[dd].r};
            if (present.contains(candidate))
            {
                next = candidate;
                d = (dd + 4) % 8;
                found = true;
            }
        }
        if (found)
            continue;
        if (side == 0)
            side = 1;
        else
        {
            CloseOutline(sides[0], sides[1], outlines);
            side = 0;
        }
        d = 3;
    }
    CloseOutline(sides[0], sides[1], outlines);
    return outlines;
}

void CleanUpLines(ShorelineSet& lines, int R, float f)
{
    const float square = static_cast<float>(std::pow(double(f), 2));
    const float twice = 2.0f * square;
    const float diagonal = static_cast<float>(std::sqrt(double(twice)));
    const double closing = double(diagonal) + 0.001;
    const double minRadius = double(R) * double(f);

    std::size_t kept = 0;
    for (Shoreline& line : lines)
    {
        const std::size_t n = line.size();
        assert(n >= 2);
        if (double(ShoreDistance(line[1], line[n - 1])) <= closing)
            line.erase(line.begin());
        else if (double(ShoreDistance(line[0], line[n - 2])) <= closing)
            line.pop_back();

        SmoothLine(line, 4);

        // The centroid is defined on unsigned 32-bit sums and quotients, which wrap for long lines
        // far from the origin; every point count here is above 4, so the quotients fit a signed
        // coordinate.
        std::uint32_t sumX = 0;
        std::uint32_t sumZ = 0;
        for (const ShorePoint& p : line)
        {
            sumX += static_cast<std::uint32_t>(p.x);
            sumZ += static_cast<std::uint32_t>(p.z);
        }
        const auto count = static_cast<std::uint32_t>(line.size());
        const ShorePoint centroid{static_cast<std::int32_t>(sumX / count), static_cast<std::int32_t>(sumZ / count)};
        float radius = 0.0f;
        for (const ShorePoint& p : line)
            radius = std::max(radius, ShoreDistance(centroid, p));
        if (double(radius) < minRadius)
            continue;
        if (&lines[kept] != &line)
            lines[kept] = std::move(line);
        ++kept;
    }
    lines.resize(kept);
}

void OrientLines(ShorelineSet& lines, ConstRasterView<std::uint8_t> image, int R, float f)
{
    const float inv = 1.0f / f;
    const int width = image.width;
    const int height = image.height;
    for (Shoreline& line : lines)
    {
        std::int32_t water = 0;
        std::int32_t land = 0;
        for (std::size_t j = 1; j < line.size(); ++j)
        {
            const std::int64_t dx = std::int64_t(line[j].x) - line[j - 1].x;
            const std::int64_t dz = std::int64_t(line[j].z) - line[j - 1].z;
            // The probe: twice the incoming segment turned a quarter to the left.
            auto pc = static_cast<std::int64_t>(double(line[j].x - 2 * dz) * double(inv));
            auto pr = static_cast<std::int64_t>(double(line[j].z + 2 * dx) * double(inv));
            if (pc < R)
                pc = R;
            if (pc >= width - R)
                pc = width - R - 1;
            if (pr < R)
                pr = R;
            if (pr >= height - R)
                pr = height - R - 1;
            if (image.at(int(pc), int(pr)) >= 128)
                ++water;
            else
                ++land;
        }
        if (water > land && line.size() >= 2)
            std::reverse(line.begin(), line.end());
    }
}

Status TraceShorelines(RasterView<std::uint8_t> image, ShorelineSet& lines, int R, float f)
{
    assert(R >= 0);
    lines.clear();
    const std::vector<BoundaryPixel> boundary = ScanBoundary(image, R);
    ShorelineSet outlines = ChainBoundary(boundary, image.width, image.height, f);
    if (outlines.size() > std::size_t(kMaxShoreCount))
        return TooManyShoreLines();
    for (const Shoreline& outline : outlines)
        if (outline.size() > std::size_t(kMaxShoreCount))
            return ShoreLineTooLong();
    lines = std::move(outlines);
    CleanUpLines(lines, R, f);
    OrientLines(lines, ConstRasterView<std::uint8_t>(image.data, image.width, image.height, image.stride), R, f);
    return Ok();
}
