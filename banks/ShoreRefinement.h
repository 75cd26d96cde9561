#pragma once
// Shoreline refinement: the traced lines follow pixel centres of the down-scaled image; these
// stages put T points on every segment, slide every point to the shore level of the
// full-resolution water, and cut the lines where they jump or turn sharply.
#include "banks/Shoreline.h"
#include "support/MaskCells.h"

#include <array>
#include <cstdint>
#include <vector>

// Replaces the line by T points per segment: for segment j (A = point j, B = point j + 1 as
// floats) the points A + ((B - A) k) (1 / T), k = 0 .. T - 1, all in single precision, stored as
// trunc(value + 0.555f). The last input point is not emitted, so n points become (n - 1) T; a
// line of fewer than 2 points becomes empty. T >= 1 (the page allows 2..8). Refuses with
// ShoreLineTooLong(), leaving the line unchanged, when the result would exceed kMaxShoreCount points.
Status TessellateLine(Shoreline& line, int T);

// Slides every point along the line's left-hand normal (averaged over both neighbouring
// segments for inner points; rows of the mask run against z) until the interpolated water value
// of the mask crosses `shore`: a point below the level walks toward the water, one at or above it
// walks away, in steps of a tenth of a full-resolution pixel, at least one and at most 501
// steps. The first sample is taken at the point itself, later ones half a pixel left and down
// (column - 0.5, row + 0.5). psize is metres per mask cell (> 0); every point reads only the
// unchanged line. Lines of fewer than 2 points are left as they are (they have no normal).
class ShoreSampler;
void SnapLineToShore(Shoreline& line, ShoreSampler& sampler, float psize, float shore);
// The same for one line on its own (the mask's blocks are decoded for this call).
void SnapLineToShore(Shoreline& line, const CBitMask& mask, float psize, float shore);

// The interpolated water value of a loaded mask, equal to CBufferMask::getInterpolated(x, z)
// for every position, for the snapping walk's hundreds of samples per point: inside the mask
// the four cells are read straight from the decoded blocks (one block lookup for the usual four
// cells in one block); near and beyond the edges the positions are clamped as the mask clamps
// them. One sampler per thread; any number may share one MaskCells.
class ShoreSampler
{
public:
    explicit ShoreSampler(MaskCells& cells);
    float interpolated(double x, double z)
    {
        // The usual case of a walk, inline: the four cells inside the block used last (which
        // also keeps them inside the mask, so nothing is clamped and truncation is the floor).
        if (x >= 0.0 && z >= 0.0 && x + 1.0 < m_xLimit && z + 1.0 < m_zLimit)
        {
            const Block& last = m_blocks[m_last];
            const long ix = static_cast<long>(x);
            const long iz = static_cast<long>(z);
            const long ix1 = static_cast<long>(x + 1.0);
            const long iz1 = static_cast<long>(z + 1.0);
            if (ix >= last.x0 && iz >= last.z0 && ix1 < last.xEnd && iz1 < last.zEnd)
            {
                if (last.cells == nullptr)
                    return 0.0f;
                const std::uint8_t* row0 = last.cells + (iz - last.z0) * m_blockSize + (ix - last.x0);
                const std::uint8_t* row1 = row0 + (iz1 - iz) * m_blockSize;
                const long right = ix1 - ix;
                return Blend(kCellValue[row0[0]], kCellValue[row0[right]], kCellValue[row1[right]],
                             kCellValue[row1[0]], static_cast<float>(x - double(ix)),
                             static_cast<float>(z - double(iz)));
            }
        }
        return interpolatedElsewhere(x, z);
    }
    long rows() const { return m_zRes; }

private:
    struct Block
    {
        long bx = -1;
        long bz = -1;
        long x0 = 1; // the block's first cell; 1 and 0 with no block: contains no cell
        long z0 = 1;
        long xEnd = 0; // the block's last cell + 1, at most the mask's size
        long zEnd = 0;
        const std::uint8_t* cells = nullptr; // null: absent
        std::vector<std::uint8_t> spare;     // the block's cells when MaskCells keeps no more
    };

    // A cell's water value: the cell times the float 1/15, in double rounded to float (and
    // widened again for the blend).
    static constexpr auto kCellValue = []
    {
        std::array<double, 256> values{};
        for (int v = 0; v < 256; ++v)
            values[std::size_t(v)] = double(static_cast<float>(double(v) * double(0.06666667f)));
        return values;
    }();
    // The bilinear blend of the four cells around a position, in double, rounded once.
    static float Blend(double a, double b, double c, double d, float fx, float fz)
    {
        const double left = a + (d - a) * double(fz);
        const double right = b + (c - b) * double(fz);
        return static_cast<float>(left + (right - left) * double(fx));
    }

    float interpolatedElsewhere(double x, double z);
    const Block& block(long bx, long bz);
    double cell(const Block& block, long x, long z) const;
    // The value of cell (x, z), the position clamped to the mask.
    double value(long x, long z);

    MaskCells& m_cells;
    long m_xRes;
    long m_zRes;
    double m_xLimit;
    double m_zLimit;
    long m_blockSize;
    Block m_blocks[4]; // by (bx & 1, bz & 1)
    int m_last = 0;    // the slot used last
};

// Appends to `output` the pieces of the line between cuts that have more than 5 T points. A cut
// falls at inner point j when the segment after it is longer than 100 / T metres or turns by
// more than 0.7 radians from the segment before it (a zero-length segment counts as a turn of
// pi / 2; a dot product that rounding pushes above 1 counts as no turn). The point after a cut
// starts the next piece, and the line's last point never enters one. The line is not changed.
// Refuses with TooManyShoreLines() when `output` would exceed kMaxShoreCount lines.
Status SplitLine(const Shoreline& line, ShorelineSet& output, int T);
