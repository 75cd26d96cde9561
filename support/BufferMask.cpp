#include "support/BufferMask.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
// The float 1/15: the water value of one step, as the shore snapping expects it.
constexpr float kWaterStep = 0.06666667f;

// Positions beyond one pixel outside the mask all give the border pixel's value (both
// neighbours clamp to it, whatever the fraction), so bringing them into that margin changes no
// result and keeps the truncation and the fraction finite; NaN reads as 0.
double ClampPosition(double value, long resolution)
{
    if (std::isnan(value))
        return 0.0;
    return std::clamp(value, -2.0, static_cast<double>(resolution) + 1.0);
}
} // namespace

void CBufferMask::storeBlock(short x, short z, unsigned char* block)
{
    const std::size_t side = static_cast<std::size_t>(m_blockSize);
    const std::size_t stride = static_cast<std::size_t>(m_maskSide);
    unsigned char* target = m_buffer.get() + static_cast<std::size_t>(z) * stride + static_cast<std::size_t>(x);
    for (std::size_t r = 0; r < side; ++r)
        std::memcpy(target + r * stride, block + r * side, side);
}

void CBufferMask::create(short blockSize, short maskSide, short slotsAcross, short slotsDown)
{
    CBitMask::create(blockSize, maskSide, slotsAcross, slotsDown);
    m_buffer.reset();
    const std::size_t side = static_cast<std::size_t>(maskSide);
    m_buffer.reset(new unsigned char[side * side]);
}

float CBufferMask::getValue(long x, long z)
{
    const long xRes = getXRes();
    const long zRes = getZRes();
    if (xRes <= 0 || zRes <= 0 || !m_buffer)
        return 0.0f;
    x = std::clamp(x, 0L, xRes - 1);
    z = std::clamp(z, 0L, zRes - 1);

    // A walk near one place asks for the same few blocks over and over; while nothing new has
    // been stored in the cache, the update protocol's answer for them cannot change, so the
    // remembered ones are answered directly (and without the divisions).
    if (m_recentGeneration != cacheGeneration())
        forgetRecent();
    const unsigned long blockSize = static_cast<unsigned long>(m_blockSize);
    for (const RecentBlock& recent : m_recent)
        if (static_cast<unsigned long>(x - recent.x0) < blockSize && static_cast<unsigned long>(z - recent.z0) < blockSize)
            return cellValue(recent, x, z);

    const long bx = x / m_blockSize;
    const long bz = z / m_blockSize;
    beginUpdate();
    requestUpdate(bx, bz);
    endUpdate();
    if (m_recentGeneration != cacheGeneration())
        forgetRecent();
    long ox = 0;
    long oz = 0;
    RecentBlock& recent = m_recent[(bx & 1) | ((bz & 1) << 1)];
    recent.x0 = bx * m_blockSize;
    recent.z0 = bz * m_blockSize;
    recent.present = getBlockXY(bx, bz, &ox, &oz);
    // While the block stays where it is, cell (x, z) is at buffer index base + z * side + x.
    recent.base = (oz - recent.z0) * m_maskSide + (ox - recent.x0);
    return cellValue(recent, x, z);
}

float CBufferMask::cellValue(const RecentBlock& recent, long x, long z) const
{
    if (!recent.present)
        return 0.0f;
    const unsigned char cell = m_buffer[static_cast<std::size_t>(recent.base + z * m_maskSide + x)];
    return static_cast<float>(static_cast<double>(cell) * static_cast<double>(kWaterStep));
}

float CBufferMask::getInterpolated(double x, double z)
{
    x = ClampPosition(x, getXRes());
    z = ClampPosition(z, getZRes());
    // Truncation toward zero, also for negative positions.
    const long ix = static_cast<long>(x);
    const long iz = static_cast<long>(z);
    const long ix1 = static_cast<long>(x + 1.0);
    const long iz1 = static_cast<long>(z + 1.0);
    const float fx = static_cast<float>(x - static_cast<double>(ix));
    const float fz = static_cast<float>(z - static_cast<double>(iz));
    const double a = getValue(ix, iz);
    const double b = getValue(ix1, iz);
    const double c = getValue(ix1, iz1);
    const double d = getValue(ix, iz1);
    // In double from the four float values, rounded once.
    const double left = a + (d - a) * static_cast<double>(fz);
    const double right = b + (c - b) * static_cast<double>(fz);
    return static_cast<float>(left + (right - left) * static_cast<double>(fx));
}

void CBufferMask::forgetRecent()
{
    for (RecentBlock& recent : m_recent)
        recent = RecentBlock{};
    m_recentGeneration = cacheGeneration();
}
