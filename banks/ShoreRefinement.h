#pragma once
// Shoreline refinement: the traced lines follow pixel centres of the down-scaled image; these
// stages put T points on every segment, slide every point to the shore level of the
// full-resolution water, and cut the lines where they jump or turn sharply.
#include "banks/Shoreline.h"

#include <cstdint>

class CBufferMask;

// Replaces the line by T points per segment: for segment j (A = point j, B = point j + 1 as
// floats) the points A + ((B - A) k) (1 / T), k = 0 .. T - 1, all in single precision, stored as
// trunc(value + 0.555f). The last input point is not emitted, so n points become (n - 1) T; a
// line of fewer than 2 points becomes empty. T >= 1 (the page allows 2..8). Refuses with
// lineTooLong, leaving the line unchanged, when the result would exceed kMaxShoreCount points.
BanksStatus TessellateLine(Shoreline& line, int T);

// Slides every point along the line's left-hand normal (averaged over both neighbouring
// segments for inner points; rows of the mask run against z) until the interpolated water value
// of `mask` crosses `shore`: a point below the level walks toward the water, one at or above it
// walks away, in steps of a tenth of a full-resolution pixel, at least one and at most 501
// steps. The first sample is taken at the point itself, later ones half a pixel left and down
// (column - 0.5, row + 0.5). psize is metres per mask cell (> 0); every point reads only the
// unchanged line. Lines of fewer than 2 points are left as they are (they have no normal).
void SnapLineToShore(Shoreline& line, CBufferMask& mask, float psize, float shore);

// The interpolated water value of a loaded mask, equal to mask.getInterpolated(x, z) for every
// position, for the snapping walk's hundreds of samples per point: inside the mask the four
// cells are read straight from the mask's block cache (made resident through the same update
// protocol, one block lookup for the usual four cells in one block); near and beyond the edges
// it asks the mask itself.
class ShoreSampler
{
public:
    explicit ShoreSampler(CBufferMask& mask);
    float interpolated(double x, double z);

private:
    struct Block
    {
        long bx = -1;
        long bz = -1;
        long x0 = 0; // the block's first cell
        long z0 = 0;
        const unsigned char* origin = nullptr; // where cell (x0, z0) lies in the cache; null: absent
    };
    const Block& block(long bx, long bz);
    float cell(const Block& block, long x, long z) const;

    CBufferMask& m_mask;
    long m_xRes;
    long m_zRes;
    long m_blockSize;
    long m_side;       // the cache buffer's row length
    Block m_blocks[4]; // by (bx & 1, bz & 1)
    int m_last = 0;    // the slot used last
    std::uint64_t m_generation;
};

// Appends to `output` the pieces of the line between cuts that have more than 5 T points. A cut
// falls at inner point j when the segment after it is longer than 100 / T metres or turns by
// more than 0.7 radians from the segment before it (a zero-length segment counts as a turn of
// pi / 2; a dot product that rounding pushes above 1 counts as no turn). The point after a cut
// starts the next piece, and the line's last point never enters one. The line is not changed.
// Refuses with tooManyLines when `output` would exceed kMaxShoreCount lines.
BanksStatus SplitLine(const Shoreline& line, ShorelineSet& output, int T);
