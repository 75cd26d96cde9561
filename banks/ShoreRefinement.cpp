#include "banks/ShoreRefinement.h"

#include "banks/ShoreSnapping.h"
#include "support/BufferMask.h"

#include <cassert>
#include <cmath>
#include <cstdint>

using shore_walk::Difference;
using shore_walk::kRounding;
using shore_walk::SnapLine;
using shore_walk::Truncate;

BanksStatus TessellateLine(Shoreline& line, int T)
{
    assert(T >= 1);
    const std::size_t n = line.size();
    if (n < 2)
    {
        line.clear();
        return BanksStatus::ok;
    }
    if ((n - 1) * std::size_t(T) > std::size_t(kMaxShoreCount))
        return BanksStatus::lineTooLong;

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
    return BanksStatus::ok;
}

ShoreSampler::ShoreSampler(CBufferMask& mask)
    : m_mask(mask), m_xRes(mask.getXRes()), m_zRes(mask.getZRes()), m_blockSize(mask.m_blockSize),
      m_side(mask.m_maskSide), m_generation(mask.cacheGeneration())
{
}

const ShoreSampler::Block& ShoreSampler::block(long bx, long bz)
{
    m_last = int((bx & 1) | ((bz & 1) << 1));
    Block& slot = m_blocks[m_last];
    if (m_generation == m_mask.cacheGeneration() && slot.bx == bx && slot.bz == bz)
        return slot;
    // The mask's own steps for one value: make the block resident, then ask where it lies.
    m_mask.beginUpdate();
    m_mask.requestUpdate(bx, bz);
    m_mask.endUpdate();
    if (m_generation != m_mask.cacheGeneration())
    {
        // Something was stored: positions remembered earlier may have moved.
        for (Block& b : m_blocks)
            b = Block{};
        m_generation = m_mask.cacheGeneration();
    }
    long ox = 0;
    long oz = 0;
    slot.bx = bx;
    slot.bz = bz;
    slot.x0 = bx * m_blockSize;
    slot.z0 = bz * m_blockSize;
    slot.origin = m_mask.getBlockXY(bx, bz, &ox, &oz) && m_mask.buffer() != nullptr ? m_mask.buffer() + oz * m_side + ox
                                                                                    : nullptr;
    return slot;
}

float ShoreSampler::cell(const Block& b, long x, long z) const
{
    if (b.origin == nullptr)
        return 0.0f;
    const unsigned char value = b.origin[(z - b.z0) * m_side + (x - b.x0)];
    return static_cast<float>(double(value) * double(0.06666667f));
}

float ShoreSampler::interpolated(double x, double z)
{
    // Inside, away from the last row and column, no position is clamped and truncation is the
    // floor; everything else (edges, outside, NaN) is the mask's own business.
    if (!(x >= 0.0 && z >= 0.0 && x + 1.0 < double(m_xRes) && z + 1.0 < double(m_zRes)) || m_blockSize <= 0)
        return m_mask.getInterpolated(x, z);
    const long ix = static_cast<long>(x);
    const long iz = static_cast<long>(z);
    const long ix1 = static_cast<long>(x + 1.0);
    const long iz1 = static_cast<long>(z + 1.0);
    const float fx = static_cast<float>(x - double(ix));
    const float fz = static_cast<float>(z - double(iz));
    double a, b, c, d;
    // A walk stays in one block for many samples: try the last one before dividing.
    const Block* one = &m_blocks[m_last];
    const auto inside = [this](long position, long first)
    { return static_cast<unsigned long>(position - first) < static_cast<unsigned long>(m_blockSize); };
    const bool sameBlock = m_generation == m_mask.cacheGeneration() && one->bx >= 0 && inside(ix, one->x0) &&
                           inside(ix1, one->x0) && inside(iz, one->z0) && inside(iz1, one->z0);
    const long bx = sameBlock ? one->bx : ix / m_blockSize;
    const long bz = sameBlock ? one->bz : iz / m_blockSize;
    if (sameBlock || (ix1 < (bx + 1) * m_blockSize && iz1 < (bz + 1) * m_blockSize))
    {
        if (!sameBlock)
            one = &block(bx, bz);
        a = cell(*one, ix, iz);
        b = cell(*one, ix1, iz);
        c = cell(*one, ix1, iz1);
        d = cell(*one, ix, iz1);
    }
    else
    {
        // Each value read right after its block is made resident, as getValue does.
        a = cell(block(bx, bz), ix, iz);
        b = cell(block(ix1 / m_blockSize, bz), ix1, iz);
        c = cell(block(ix1 / m_blockSize, iz1 / m_blockSize), ix1, iz1);
        d = cell(block(bx, iz1 / m_blockSize), ix, iz1);
    }
    const double left = a + (d - a) * double(fz);
    const double right = b + (c - b) * double(fz);
    return static_cast<float>(left + (right - left) * double(fx));
}


void SnapLineToShore(Shoreline& line, CBufferMask& mask, float psize, float shore)
{
    ShoreSampler sampler(mask);
    SnapLine(line, mask.getZRes(), psize, shore, [&](double x, double z) { return sampler.interpolated(x, z); });
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
} // namespace

BanksStatus SplitLine(const Shoreline& line, ShorelineSet& output, int T)
{
    assert(T >= 1);
    const std::size_t n = line.size();
    if (n == 0)
        return BanksStatus::ok;
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
        // acos of a dot product above 1 is NaN, which compares false: no cut.
        if (double(after.length) > threshold || std::acos(double(dot)) > double(0.7f))
        {
            if (!keep(piece))
                return BanksStatus::tooManyLines;
            piece.clear();
        }
    }
    if (!keep(piece))
        return BanksStatus::tooManyLines;
    return BanksStatus::ok;
}
