#include "banks/ShoreRefinement.h"

#include "banks/ShoreSnapping.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>

using shore_walk::Difference;
using shore_walk::kRounding;
using shore_walk::SnapLine;
using shore_walk::Truncate;

Status TessellateLine(Shoreline& line, int T)
{
    assert(T >= 1);
    const std::size_t n = line.size();
    if (n < 2)
    {
        line.clear();
        return Ok();
    }
    if ((n - 1) * std::size_t(T) > std::size_t(kMaxShoreCount))
        return ShoreLineTooLong();

    // Every operation in single precision, as the stored shorelines expect.
    const float inverse = 1.0f / static_cast<float>(T);
    Shoreline result;
    result.reserve((n - 1) * std::size_t(T));
    for (std::size_t j = 0; j + 1 < n; ++j)
    {
        const float ax = static_cast<float>(line[j].x);
        const float az = static_cast<float>(line[j].z);
        const float dx = static_cast<float>(line[j + 1].x) - ax;
        const float dz = static_cast<float>(line[j + 1].z) - az;
        for (int k = 0; k < T; ++k)
        {
            const float x = ax + (dx * static_cast<float>(k)) * inverse;
            const float z = az + (dz * static_cast<float>(k)) * inverse;
            result.push_back({Truncate(double(x) + kRounding), Truncate(double(z) + kRounding)});
        }
    }
    line = std::move(result);
    return Ok();
}

namespace
{
// CBufferMask::getInterpolated's clamping: positions beyond one pixel outside the mask all give
// the border pixel's value, and NaN reads as 0.
double ClampPosition(double value, long resolution)
{
    if (std::isnan(value))
        return 0.0;
    return std::clamp(value, -2.0, static_cast<double>(resolution) + 1.0);
}
} // namespace

ShoreSampler::ShoreSampler(MaskCells& cells)
    : m_cells(cells), m_xRes(cells.mask().getXRes()), m_zRes(cells.mask().getZRes()), m_xLimit(double(m_xRes)),
      m_zLimit(double(m_zRes)), m_blockSize(cells.mask().m_blockSize)
{
}

const ShoreSampler::Block& ShoreSampler::block(long bx, long bz)
{
    m_last = int((bx & 1) | ((bz & 1) << 1));
    Block& slot = m_blocks[m_last];
    if (slot.bx == bx && slot.bz == bz)
        return slot;
    slot.bx = bx;
    slot.bz = bz;
    slot.x0 = bx * m_blockSize;
    slot.z0 = bz * m_blockSize;
    slot.xEnd = std::min(slot.x0 + m_blockSize, m_xRes);
    slot.zEnd = std::min(slot.z0 + m_blockSize, m_zRes);
    slot.cells = m_cells.block(bx, bz, slot.spare);
    return slot;
}

double ShoreSampler::cell(const Block& b, long x, long z) const
{
    if (b.cells == nullptr)
        return 0.0;
    return kCellValue[b.cells[(z - b.z0) * m_blockSize + (x - b.x0)]];
}

double ShoreSampler::value(long x, long z)
{
    x = std::clamp(x, 0L, m_xRes - 1);
    z = std::clamp(z, 0L, m_zRes - 1);
    return cell(block(x / m_blockSize, z / m_blockSize), x, z);
}

float ShoreSampler::interpolatedElsewhere(double x, double z)
{
    if (m_xRes <= 0 || m_zRes <= 0 || m_blockSize <= 0)
        return 0.0f;
    x = ClampPosition(x, m_xRes);
    z = ClampPosition(z, m_zRes);
    // Truncation toward zero, also for negative positions.
    const long ix = static_cast<long>(x);
    const long iz = static_cast<long>(z);
    const long ix1 = static_cast<long>(x + 1.0);
    const long iz1 = static_cast<long>(z + 1.0);
    const float fx = static_cast<float>(x - double(ix));
    const float fz = static_cast<float>(z - double(iz));
    // Inside one block (the next samples of a walk will likely be too): one lookup.
    if (ix >= 0 && iz >= 0 && ix1 < m_xRes && iz1 < m_zRes)
    {
        const Block& one = block(ix / m_blockSize, iz / m_blockSize);
        if (ix1 < one.xEnd && iz1 < one.zEnd)
            return Blend(cell(one, ix, iz), cell(one, ix1, iz), cell(one, ix1, iz1), cell(one, ix, iz1), fx, fz);
    }
    return Blend(value(ix, iz), value(ix1, iz), value(ix1, iz1), value(ix, iz1), fx, fz);
}

void SnapLineToShore(Shoreline& line, ShoreSampler& sampler, float psize, float shore)
{
    SnapLine(line, sampler.rows(), psize, shore, [&](double x, double z) { return sampler.interpolated(x, z); });
}

void SnapLineToShore(Shoreline& line, const CBitMask& mask, float psize, float shore)
{
    MaskCells cells(mask, std::size_t(-1));
    ShoreSampler sampler(cells);
    SnapLineToShore(line, sampler, psize, shore);
}

namespace
{
struct Direction
{
    float x;
    float z;
    float length;
};

// The segment from a to b as floats, normalised when it has a length.
Direction UnitDirection(const ShorePoint& a, const ShorePoint& b)
{
    Direction d{Difference(b.x, a.x), Difference(b.z, a.z), 0.0f};
    d.length = std::sqrt(d.x * d.x + d.z * d.z);
    if (d.length > 0.0f)
    {
        d.x /= d.length;
        d.z /= d.length;
    }
    return d;
}

// acos(dot) > 0.7f: the arc cosine falls, so away from cos(0.7f) comparing the dot product with
// that cosine decides, and only within a margin far wider than the rounding of either function
// does the arc cosine itself. A dot product that rounding pushes beyond -1 or 1 has no arc
// cosine (NaN, which compares false).
bool TurnsSharply(float dot)
{
    static const double kCosine = std::cos(double(0.7f));
    const double d = double(dot);
    if (d >= -1.0 && d < kCosine - 1e-9)
        return true;
    if (d > kCosine + 1e-9)
        return false;
    return std::acos(d) > double(0.7f);
}
} // namespace

Status SplitLine(const Shoreline& line, ShorelineSet& output, int T)
{
    assert(T >= 1);
    const std::size_t n = line.size();
    if (n == 0)
        return Ok();
    const double threshold = 100.0 / double(T);
    const std::size_t shortest = 5 * std::size_t(T) + 1;
    auto keep = [&](const Shoreline& piece)
    {
        if (piece.size() < shortest)
            return true;
        if (output.size() >= std::size_t(kMaxShoreCount))
            return false;
        output.push_back(piece);
        return true;
    };

    Shoreline piece{line[0]};
    for (std::size_t j = 1; j + 1 < n; ++j)
    {
        piece.push_back(line[j]);
        const Direction before = UnitDirection(line[j - 1], line[j]);
        const Direction after = UnitDirection(line[j], line[j + 1]);
        const float dot = before.x * after.x + before.z * after.z;
        if (double(after.length) > threshold || TurnsSharply(dot))
        {
            if (!keep(piece))
                return TooManyShoreLines();
            piece.clear();
        }
    }
    if (!keep(piece))
        return TooManyShoreLines();
    return Ok();
}
