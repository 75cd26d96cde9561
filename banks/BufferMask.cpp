#include "banks/BufferMask.h"

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
    const long blockSize = m_blockSize;
    const long bx = x / blockSize;
    const long bz = z / blockSize;

    // A walk near one place asks for the same few blocks over and over; while nothing new has
    // been stored in the cache, the answer of the update protocol for them cannot change.
    if (m_recentGeneration != cacheGeneration())
        forgetRecent();
    RecentBlock& recent = m_recent[(bx & 1) | ((bz & 1) << 1)];
    if (recent.bx != bx || recent.bz != bz)
    {
        beginUpdate();
        requestUpdate(bx, bz);
        endUpdate();
        if (m_recentGeneration != cacheGeneration())
            forgetRecent();
        recent.present = getBlockXY(bx, bz, &recent.x, &recent.z);
        recent.bx = bx;
        recent.bz = bz;
    }
    if (!recent.present)
        return 0.0f;
    const std::size_t row = static_cast<std::size_t>(recent.z + (z - bz * blockSize));
    const std::size_t column = static_cast<std::size_t>(recent.x + (x - bx * blockSize));
    const unsigned char cell = m_buffer[row * static_cast<std::size_t>(m_maskSide) + column];
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
